#include "editors/FocusRulesEditor.h"

#include "profiles/FocusRules.h"
#include "profiles/ProfileList.h"
#include "ui/Language.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

FocusRulesEditor::Hooks& TheHooks()
{
    static FocusRulesEditor::Hooks hooks;
    return hooks;
}

// The field's list is filled anew each time it opens: applications come and go.
class RunningAppsCombo : public QComboBox {
public:
    std::function<void()> beforePopup;
    using QComboBox::QComboBox;
    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

}  // namespace

void FocusRulesEditor::SetHooks(Hooks hooks)
{
    TheHooks() = std::move(hooks);
}

FocusRulesEditor::FocusRulesEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("profile_focus_rules"));
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(6);
    ui::Language& language = ui::Language::instance();

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("profile_focus_title"));
    m_title->setWordWrap(true);
    language.SetTextId(m_title, QStringLiteral("profile_focus_title_text"));
    box->addWidget(m_title);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("profile_focus_list"));
    m_list->setMaximumHeight(72);
    language.SetToolTipId(m_list, QStringLiteral("profile_focus_list_tip"));
    row->addWidget(m_list, 1);
    auto* side = new QVBoxLayout;
    side->setSpacing(6);
    auto* field = new RunningAppsCombo(this);
    field->beforePopup = [this] { OfferRunningApplications(); };
    m_field = field;
    m_field->setObjectName(QStringLiteral("profile_focus_app_combo"));
    m_field->setEditable(true);
    m_field->setInsertPolicy(QComboBox::NoInsert);
    m_field->setMinimumWidth(180);
    m_field->lineEdit()->setMaxLength(128);
    language.SetTextId(m_field->lineEdit(), QStringLiteral("profile_focus_app_placeholder"));
    language.SetToolTipId(m_field, QStringLiteral("profile_focus_app_tip"));
    side->addWidget(m_field);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_add = new QPushButton(this);
    m_add->setObjectName(QStringLiteral("profile_focus_add_btn"));
    language.SetTextId(m_add, QStringLiteral("profile_focus_add_text"));
    m_remove = new QPushButton(this);
    m_remove->setObjectName(QStringLiteral("profile_focus_remove_btn"));
    language.SetTextId(m_remove, QStringLiteral("profile_focus_remove_text"));
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    side->addLayout(buttons);
    row->addLayout(side);
    box->addLayout(row);

    m_default = new QCheckBox(this);
    m_default->setObjectName(QStringLiteral("profile_focus_default_check"));
    language.SetTextId(m_default, QStringLiteral("profile_focus_default_text"));
    box->addWidget(m_default);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("profile_focus_status"));
    m_status->setWordWrap(true);
    m_status->setVisible(false);
    box->addWidget(m_status);

    connect(m_add, &QPushButton::clicked, this, [this] {
        if (AddMatch(m_field->currentText()))
            m_field->setEditText(QString());
    });
    connect(m_field->lineEdit(), &QLineEdit::returnPressed, m_add, &QPushButton::click);
    connect(m_remove, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* item = m_list->currentItem())
            RemoveMatch(item->text());
    });
    connect(m_default, &QCheckBox::toggled, this, [this](bool on) { SetDefault(on); });
}

void FocusRulesEditor::ShowProfile(const QString& profileId)
{
    m_profileId = profileId;
    const focusrules::LoadResult loaded = focusrules::Load(m_folder);
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        m_list->addItems(loaded.set.MatchesOf(profileId));
    }
    {
        const QSignalBlocker block(m_default);
        m_default->setChecked(!profileId.isEmpty() && loaded.set.defaultProfileId == profileId);
    }
    const bool usable = !m_folder.isEmpty() && !profileId.isEmpty();
    for (QWidget* w : {static_cast<QWidget*>(m_list), static_cast<QWidget*>(m_field), static_cast<QWidget*>(m_add),
                       static_cast<QWidget*>(m_remove), static_cast<QWidget*>(m_default)})
        w->setEnabled(usable);
    // The damaged file was kept beside itself; the next change writes a fresh one.
    ShowStatus(loaded.damaged ? QStringLiteral("profile_focus_damaged_text") : QString());
}

QStringList FocusRulesEditor::Matches() const
{
    QStringList out;
    for (int i = 0; i < m_list->count(); ++i)
        out << m_list->item(i)->text();
    return out;
}

bool FocusRulesEditor::Store(const FocusRuleSet& given)
{
    FocusRuleSet set = given;
    // Rules of profiles deleted since are dropped with this change.
    QStringList known;
    for (const ProfileList::Entry& e : ProfileList(m_folder, m_defaultProfile).Entries())
        known << e.id;
    if (!known.isEmpty())
        set.DropUnknown(known);
    if (!focusrules::Save(m_folder, set)) {
        ShowStatus(QStringLiteral("profile_file_failed_text"));
        return false;
    }
    ShowProfile(m_profileId);
    if (TheHooks().changed)
        TheHooks().changed(m_folder);
    return true;
}

bool FocusRulesEditor::AddMatch(const QString& match)
{
    const QString m = match.trimmed();
    if (m.isEmpty() || m_profileId.isEmpty())
        return false;
    FocusRuleSet set = focusrules::Load(m_folder).set;
    QStringList mine = set.MatchesOf(m_profileId);
    if (mine.contains(m, Qt::CaseInsensitive))
        return false;
    if (int(set.rules.size()) >= FocusRuleSet::kMaxRules) {
        ShowStatus(QStringLiteral("profile_focus_full_text"));
        return false;
    }
    // An application switches to one profile: naming it here takes it from any other.
    std::erase_if(set.rules, [&](const FocusRule& r) { return r.profileId != m_profileId && r.match.compare(m, Qt::CaseInsensitive) == 0; });
    mine << m;
    set.SetMatchesOf(m_profileId, mine);
    return Store(set);
}

bool FocusRulesEditor::RemoveMatch(const QString& match)
{
    FocusRuleSet set = focusrules::Load(m_folder).set;
    QStringList mine = set.MatchesOf(m_profileId);
    const qsizetype before = mine.size();
    mine.removeIf([&](const QString& s) { return s.compare(match, Qt::CaseInsensitive) == 0; });
    if (mine.size() == before)
        return false;
    set.SetMatchesOf(m_profileId, mine);
    return Store(set);
}

bool FocusRulesEditor::SetDefault(bool isDefault)
{
    if (m_profileId.isEmpty())
        return false;
    FocusRuleSet set = focusrules::Load(m_folder).set;
    if (isDefault)
        set.defaultProfileId = m_profileId;
    else if (set.defaultProfileId == m_profileId)
        set.defaultProfileId.clear();
    else
        return false;
    return Store(set);
}

void FocusRulesEditor::OfferRunningApplications()
{
    const QString typed = m_field->currentText();
    const std::optional<QStringList> running =
        TheHooks().runningApplications ? TheHooks().runningApplications() : std::nullopt;
    const QSignalBlocker block(m_field);
    m_field->clear();
    if (running) {
        QStringList names = *running;
        names.removeDuplicates();
        names.sort(Qt::CaseInsensitive);
        m_field->addItems(names);
    }
    m_field->setEditText(typed);
}

void FocusRulesEditor::ShowStatus(const QString& textId)
{
    if (textId.isEmpty()) {
        m_status->clear();
        m_status->setVisible(false);
        return;
    }
    ui::Language::instance().SetTextId(m_status, textId);
    m_status->setVisible(true);
}
