#include "editors/CDeviceProfileUI.h"

#include "devices/CVantikUSBDevice.h"
#include "editors/FocusRulesEditor.h"
#include "editors/PanelServices.h"
#include "profiles/CJsonFile.h"
#include "profiles/ProfileCheck.h"
#include "ui/CSelectPanelUI.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStackedWidget>

#include "ui/StackSizing.h"
#include "ui/TabRow.h"

using editors::Services;

namespace {

constexpr char kNameEdit[] = "device_profile_name_edit";
constexpr char kMenuLayout[] = "profile_menu_layout";
constexpr char kStatusLabel[] = "device_profile_status";
constexpr char kProfileFilter[] = "Profile Files(*.json)";

// One feature tab of a device page: its button, the container of its editor, and the device
// kinds it belongs to (offered on a page only when the kind fits).
struct FeatureTabInfo {
    int number;
    const char* button;
    const char* container;
    bool (*fits)(int kind);
};

bool IsMouse(int k) { return k == 2 || k == 6; }
bool IsHeadset(int k) { return k == 7; }
bool HasKeys(int k) { return k != 3 && k != 7; }
bool Always(int) { return true; }

constexpr FeatureTabInfo kFeatureTabs[] = {
    {CDeviceProfileUI::TabLight, "device_tab_light", "LightControlItem", Always},
    {CDeviceProfileUI::TabKeys, "device_tab_keys", "KeySetControlItem", HasKeys},
    {CDeviceProfileUI::TabMacro, "device_tab_macro", "MacroControlItem", HasKeys},
    {CDeviceProfileUI::TabSystem, "device_tab_system", "device_function_more", HasKeys},
    {CDeviceProfileUI::TabCursor, "device_tab_cursor", "CursorControlItem", IsMouse},
    {CDeviceProfileUI::TabSound, "device_tab_sound", "Voice6533ControlItem", IsHeadset},
    {CDeviceProfileUI::TabMagic, "device_tab_magic", "MagicControlItem", IsHeadset},
    {CDeviceProfileUI::TabVirtual, "device_tab_virtual", "VirtualSetControlItem", IsHeadset},
    {CDeviceProfileUI::TabShoot, "device_tab_shoot", "ShootControlItem", IsMouse},
    {CDeviceProfileUI::TabProfile, "device_tab_profile", "DeviceProfileItem", Always},
};

// The tabs whose editors work on the device picture keep it in view; the others take its room.
// The device picture stays beside the editors that work on it (and the small system bar).
bool UsesPicture(int tab)
{
    return tab == CDeviceProfileUI::TabLight || tab == CDeviceProfileUI::TabKeys || tab == CDeviceProfileUI::TabSystem ||
           tab == CDeviceProfileUI::TabCursor;
}

QWidget* FindIn(QWidget* root, const char* name)
{
    return root ? ui::PaintManager::FindSubControlByName(root, QLatin1String(name)) : nullptr;
}

}  // namespace

CDeviceProfileUI::CDeviceProfileUI(QWidget* parent) : QWidget(parent) {}

void CDeviceProfileUI::AttachDevice(CVantikUSBDevice& device)
{
    m_device = &device;
    SetDeviceKind(int(device.DeviceType()));
    SetProfilePaths(device.DataFolder(), device.DefaultProfileFile());
    // The applications whose focus selects a profile are listed on the profile card, above its
    // hint.
    if (!m_focusRules) {
        if (QWidget* card = FindIn(this, "profile_card"); card && qobject_cast<QBoxLayout*>(card->layout())) {
            auto* layout = static_cast<QBoxLayout*>(card->layout());
            m_focusRules = new FocusRulesEditor(card);
            QWidget* hint = FindIn(card, "profile_hint");
            const int at = hint ? layout->indexOf(hint) : -1;
            layout->insertWidget(at >= 0 ? at : layout->count(), m_focusRules);
        }
    }
    if (m_focusRules)
        m_focusRules->SetFolder(device.DataFolder(), device.DefaultProfileFile());
    InitProfiles();
    // A mouse opens on its DPI and polling rate; the other devices on their lighting.
    SelectFeatureTab(IsMouse(m_deviceKind) ? TabCursor : TabLight);
}

void CDeviceProfileUI::SetProfilePaths(const QString& userFolder, const QString& defaultProfile)
{
    m_userFolder = userFolder;
    m_defaultProfile = defaultProfile;
}

QComboBox* CDeviceProfileUI::Combo()
{
    if (!m_combo)
        m_combo = qobject_cast<QComboBox*>(FindIn(this, kComboName));
    return m_combo;
}

QLineEdit* CDeviceProfileUI::NameEdit() const
{
    return qobject_cast<QLineEdit*>(FindIn(const_cast<CDeviceProfileUI*>(this), kNameEdit));
}

QStringList CDeviceProfileUI::ComboNames() const
{
    QStringList names;
    if (QComboBox* c = const_cast<CDeviceProfileUI*>(this)->Combo()) {
        for (int i = 0; i < c->count(); ++i)
            names << c->itemText(i);
    }
    return names;
}

void CDeviceProfileUI::InitProfiles()
{
    const ProfileList list(m_userFolder, m_defaultProfile);
    m_lastEntries = list.Entries();
    const int selected = list.SelectedIndex();
    FillCombo();
    if (Combo() && !m_lastEntries.empty())
        SelectProfile(selected, false);
    RefreshFeatureTabs();
}

void CDeviceProfileUI::FillCombo()
{
    QComboBox* combo = Combo();
    if (!combo)
        return;
    const QSignalBlocker block(combo);
    combo->clear();
    for (const ProfileList::Entry& e : m_lastEntries)
        combo->addItem(e.name);
}

bool CDeviceProfileUI::SelectProfile(int index, bool notify)
{
    QComboBox* combo = Combo();
    if (!combo || index < 0 || index >= combo->count())
        return false;
    if (notify) {
        combo->setCurrentIndex(index);
    } else {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
    SetNameEditText(combo->itemText(index));
    const ProfileList list(m_userFolder, m_defaultProfile);
    // A selection that cannot be written still holds when the list already selects `index`
    // (the page showing again what was selected).
    const bool selected = list.Select(index) || list.SelectedIndex() == index;
    m_lastEntries = list.Entries();
    if (selected && index < int(m_lastEntries.size()))
        m_selectedId = m_lastEntries[size_t(index)].id;
    if (m_focusRules)
        m_focusRules->ShowProfile(m_selectedId);
    return selected;
}

int CDeviceProfileUI::GetSelectedIndex() const
{
    QComboBox* combo = const_cast<CDeviceProfileUI*>(this)->Combo();
    return combo ? combo->currentIndex() : -1;
}

QString CDeviceProfileUI::GetNameEditText() const
{
    QLineEdit* edit = NameEdit();
    return edit ? edit->text() : QString();
}

void CDeviceProfileUI::SetNameEditText(const QString& text)
{
    if (QLineEdit* edit = NameEdit()) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
}

void CDeviceProfileUI::ShowProfileMenu(bool show)
{
    if (QWidget* menu = FindIn(this, kMenuLayout))
        menu->setVisible(show);
}

bool CDeviceProfileUI::IsProfileMenuShown() const
{
    QWidget* menu = FindIn(const_cast<CDeviceProfileUI*>(this), kMenuLayout);
    return menu && !menu->isHidden();
}

int CDeviceProfileUI::GetProfileCount()
{
    m_lastEntries = ProfileList(m_userFolder, m_defaultProfile).Entries();
    return int(m_lastEntries.size());
}

QString CDeviceProfileUI::GetProfileFileAt(int index) const
{
    if (index < 0 || index >= int(m_lastEntries.size()))
        return {};
    return ProfileList(m_userFolder, m_defaultProfile).ProfileFile(m_lastEntries[size_t(index)].id);
}

bool CDeviceProfileUI::NewProfile()
{
    QComboBox* combo = Combo();
    if (!combo || combo->count() >= ProfileList::kMaxNewProfiles)
        return false;
    const QString name = ProfileList::FreeNewName(ComboNames());
    // The selection stays where it is, on disk as in the combo: a device that reloads (after a
    // reconnection, say) must load the profile the page shows.
    if (ProfileList(m_userFolder, m_defaultProfile).AddFromDefault(name, false) < 0) {
        ShowFileFailure();
        return false;
    }
    const QSignalBlocker block(combo);
    combo->addItem(name);
    return true;
}

bool CDeviceProfileUI::DeleteProfile()
{
    QComboBox* combo = Combo();
    if (!combo)
        return false;
    const int s = combo->currentIndex();
    if (s < 0 || combo->count() < 2)
        return false;
    const int next = s > 0 ? s - 1 : 0;
    if (!ProfileList(m_userFolder, m_defaultProfile).Remove(s, next)) {
        ShowFileFailure();
        return false;
    }
    {
        const QSignalBlocker block(combo);
        combo->removeItem(s);
        combo->setCurrentIndex(next);
    }
    SetNameEditText(combo->itemText(next));
    m_lastEntries = ProfileList(m_userFolder, m_defaultProfile).Entries();
    // The selection moved: the main window switches the device as for a user's choice.
    ui::PaintManager::Notify(combo, QLatin1String(ui::kNotifyItemSelect), next, s);
    return true;
}

bool CDeviceProfileUI::CopyProfile()
{
    QComboBox* combo = Combo();
    if (!combo || combo->currentIndex() < 0)
        return false;
    const int s = combo->currentIndex();
    const QString name = ProfileList::FreeCopyName(ComboNames(), combo->itemText(s));
    if (ProfileList(m_userFolder, m_defaultProfile).AddCopy(s, name) < 0) {
        ShowFileFailure();
        return false;
    }
    const QSignalBlocker block(combo);
    combo->addItem(name);
    return true;
}

bool CDeviceProfileUI::ImportProfile(const QString& path)
{
    QComboBox* combo = Combo();
    if (!combo || combo->currentIndex() < 0)
        return false;
    Json::Value doc = CJsonFile::ReadJson(path);
    if (!ProfileList::IsImportableProfile(doc)) {
        Services().message(window(), QStringLiteral("profile_import_invalid_text"), true, 0);
        return false;
    }
    // Every device entry is checked against the ranges of this device: values of the wrong
    // type refuse the file; values out of range are brought into it, and the user is told.
    profilecheck::Limits limits;
    limits.deviceKind = m_deviceKind;
    if (m_device)
        limits = m_device->ProfileLimits();
    const Json::Value defaults = CJsonFile::ReadJson(m_defaultProfile);
    std::vector<profilecheck::Finding> findings;
    if (doc.isMember("Device") && doc["Device"].isArray()) {
        Json::Value& entries = doc["Device"];
        for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
            const Json::Value fallback = defaults.isObject() && defaults["Device"].isArray() && i < defaults["Device"].size()
                                             ? defaults["Device"][i]
                                             : Json::Value();
            const std::vector<profilecheck::Finding> found = profilecheck::CheckDeviceEntry(entries[i], limits, fallback);
            findings.insert(findings.end(), found.begin(), found.end());
        }
    }
    const ui::Language& language = ui::Language::instance();
    if (profilecheck::AnyWrongType(findings)) {
        Services().message(window(),
                           language.Text(QStringLiteral("profile_import_wrong_type_format"))
                               .arg(profilecheck::Describe(findings, 8, true)),
                           false, 0);
        return false;
    }
    const QString name = ProfileList::FreeImportName(ComboNames(), CJsonFile::GetFileTitle(path));
    if (ProfileList(m_userFolder, m_defaultProfile).AddDocument(doc, name) < 0) {
        ShowFileFailure();
        return false;
    }
    {
        const QSignalBlocker block(combo);
        combo->addItem(name);
    }
    if (!findings.empty())
        Services().message(window(),
                           language.Text(QStringLiteral("profile_import_corrected_format")).arg(profilecheck::Describe(findings)),
                           false, 0);
    return true;
}

bool CDeviceProfileUI::ExportProfile(const QString& target)
{
    const int s = GetSelectedIndex();
    if (s < 0 || target.isEmpty())
        return false;
    if (!ProfileList(m_userFolder, m_defaultProfile).Export(s, target)) {
        ShowFileFailure();
        return false;
    }
    return true;
}

bool CDeviceProfileUI::ResetProfile()
{
    const int s = GetSelectedIndex();
    if (s < 0)
        return false;
    if (!ProfileList(m_userFolder, m_defaultProfile).Reset(s, m_deviceKind == 7)) {
        ShowFileFailure();
        return false;
    }
    return true;
}

int CDeviceProfileUI::RenameProfile(const QString& name)
{
    if (name.trimmed().isEmpty())
        return RenameBlank;
    QComboBox* combo = Combo();
    if (!combo || combo->currentIndex() < 0)
        return RenameNameUsed;
    const int s = combo->currentIndex();
    for (int i = 0; i < combo->count(); ++i) {
        if (i != s && combo->itemText(i).compare(name, Qt::CaseInsensitive) == 0)
            return RenameNameUsed;
    }
    if (!ProfileList(m_userFolder, m_defaultProfile).Rename(s, name)) {
        ShowFileFailure();
        SetNameEditText(combo->itemText(s));
        return -1;
    }
    {
        const QSignalBlocker block(combo);
        combo->setItemText(s, name);
    }
    SetNameEditText(name);
    return RenameDone;
}

void CDeviceProfileUI::RefreshFeatureTabs()
{
    QWidget* page = m_device ? static_cast<QWidget*>(m_device) : parentWidget();
    if (!page)
        return;
    ui::MakeTabRow(FindIn(page, "device_function_tabs"));
    for (const FeatureTabInfo& t : kFeatureTabs) {
        QWidget* button = FindIn(page, t.button);
        if (!button)
            continue;
        // A tab is offered once its editor is in the page (or its page says it is ready).
        QWidget* container = FindIn(page, t.container);
        const bool hasEditor = container && !container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty();
        const QVariant pending = button->property("pending");
        const bool ready = hasEditor || (pending.isValid() && !pending.toBool());
        button->setVisible(ready && t.fits(m_deviceKind));
    }
}

void CDeviceProfileUI::SelectFeatureTab(int tab)
{
    QWidget* page = m_device ? static_cast<QWidget*>(m_device) : parentWidget();
    if (!page)
        return;
    const FeatureTabInfo* chosen = nullptr;
    for (const FeatureTabInfo& t : kFeatureTabs) {
        if (t.number == tab)
            chosen = &t;
    }
    QWidget* chosenButton = chosen ? FindIn(page, chosen->button) : nullptr;
    // A tab the page does not offer gives way to the first tab that is offered.
    if (!chosenButton || chosenButton->isHidden()) {
        chosen = nullptr;
        for (const FeatureTabInfo& t : kFeatureTabs) {
            QWidget* b = FindIn(page, t.button);
            if (b && !b->isHidden()) {
                chosen = &t;
                chosenButton = b;
                break;
            }
        }
    }
    if (!chosen)
        return;
    m_featureTab = chosen->number;
    // The device follows the page shown: the keyboard lights its keys only on the lighting
    // page and takes the FN key out of reach on the key page. Its own tab choice comes first;
    // the stacks below then show the chosen editor.
    if (m_device)
        m_device->SelectFunctionPage(chosen->number);
    for (const FeatureTabInfo& t : kFeatureTabs) {
        if (auto* b = qobject_cast<QAbstractButton*>(FindIn(page, t.button))) {
            const QSignalBlocker block(b);
            const bool exclusive = b->autoExclusive();
            b->setAutoExclusive(false);
            b->setChecked(b == chosenButton);
            b->setAutoExclusive(exclusive);
        }
    }
    // Every stack between the page and the editor's container shows the branch that holds it.
    QWidget* container = FindIn(page, chosen->container);
    for (QWidget* w = container; w && w != page; w = w->parentWidget()) {
        if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget()))
            stack->setCurrentWidget(w);
    }
    // A stack is as large as its largest page; only the page shown may claim room, so a tall
    // editor on another tab does not stretch the window.
    for (auto* stack : page->findChildren<QStackedWidget*>())
        ui::FitStackToCurrentPage(stack);
    // The picture's frame ("device_picture"; else the page's child that holds the picture).
    if (auto* picture = page->findChild<ui::CSelectPanelUI*>()) {
        QWidget* frame = picture;
        while (frame->parentWidget() && frame->parentWidget() != page && frame->objectName() != QLatin1String("device_picture"))
            frame = frame->parentWidget();
        frame->setVisible(UsesPicture(m_featureTab));
    }
}

void CDeviceProfileUI::ReloadDevice()
{
    if (!m_device)
        return;
    QPointer<CDeviceProfileUI> self(this);
    m_device->PushProfile([self](CVantikUSBDevice::PushResult r) {
        if (self && !r.ok())
            self->ShowWriteFailure(r.code, r.failure);
    });
}

bool CDeviceProfileUI::SwitchToProfileId(const QString& id)
{
    QComboBox* combo = Combo();
    if (!combo || id.isEmpty())
        return false;
    m_lastEntries = ProfileList(m_userFolder, m_defaultProfile).Entries();
    int index = -1;
    for (size_t i = 0; i < m_lastEntries.size(); ++i) {
        if (m_lastEntries[i].id == id)
            index = int(i);
    }
    if (index < 0 || index >= combo->count())
        return false;
    {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
    m_automaticSwitch = true;
    const int result = SwitchToSelectedProfile();
    m_automaticSwitch = false;
    return result == 1;
}

int CDeviceProfileUI::SwitchToSelectedProfile()
{
    const int index = GetSelectedIndex();
    if (index < 0)
        return 0;
    if (!m_automaticSwitch)
        m_lastUserSwitch = std::chrono::steady_clock::now();
    const ProfileList list(m_userFolder, m_defaultProfile);
    Switch sw;
    sw.serial = ++m_switchSerial;
    sw.listBefore = CJsonFile::ReadJson(list.ListPath());
    sw.previous = list.SelectedIndex();
    sw.previousId = m_selectedId;
    if (QComboBox* combo = Combo()) {
        sw.wanted = combo->itemText(index);
        sw.kept = sw.previous >= 0 && sw.previous < combo->count() ? combo->itemText(sw.previous) : QString();
    }

    if (!SelectProfile(index, false)) {
        // The device loads the profile the list on disk selects, and later edits are saved
        // there: the page must not show another one.
        if (QComboBox* combo = Combo(); combo && sw.previous >= 0 && sw.previous < combo->count()) {
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(sw.previous);
            SetNameEditText(combo->itemText(sw.previous));
        }
        m_selectedId = sw.previousId;
        if (m_focusRules)
            m_focusRules->ShowProfile(m_selectedId);
        ShowStatus(QStringLiteral("profile_file_failed_text"));
        Services().message(window(),
                           ui::Language::instance().Text(QStringLiteral("profile_switch_not_saved_format")).arg(sw.wanted, sw.kept),
                           false, 0);
        return 0;
    }
    if (!m_device) {
        ShowStatus(QString());
        emit profileSwitched(sw.wanted);
        return 1;
    }
    QPointer<CDeviceProfileUI> self(this);
    ++m_switchesInFlight;
    m_device->PushProfile([self, sw](CVantikUSBDevice::PushResult r) {
        if (self)
            self->SwitchLanded(sw, r);
    });
    return 1;
}

void CDeviceProfileUI::SwitchLanded(const Switch& sw, const CVantikUSBDevice::PushResult& result)
{
    // A later switch decides what the device ends up with: it was queued behind this one.
    if (sw.serial != m_switchSerial) {
        --m_switchesInFlight;
        return;
    }
    if (result.ok()) {
        --m_switchesInFlight;
        ShowStatus(QString());
        emit profileSwitched(sw.wanted);
        return;
    }
    // The device could not take the profile: the list keeps the profile it had, and the combo
    // and the device go back to it, once.
    const ProfileList list(m_userFolder, m_defaultProfile);
    if (!sw.listBefore.isNull())
        CJsonFile::WriteJson(list.ListPath(), sw.listBefore);
    if (QComboBox* combo = Combo(); combo && sw.previous >= 0 && sw.previous < combo->count()) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(sw.previous);
        SetNameEditText(combo->itemText(sw.previous));
    }
    m_selectedId = sw.previousId;
    if (m_focusRules)
        m_focusRules->ShowProfile(m_selectedId);
    ShowStatus(QStringLiteral("profile_switch_failed_text"));
    if (!m_device) {
        --m_switchesInFlight;
        return;
    }
    QPointer<CDeviceProfileUI> self(this);
    // A device that stopped answering fails the rollback at once, so the message never waits
    // behind a second time-out.
    m_device->PushProfile([self, sw, result](CVantikUSBDevice::PushResult back) {
        if (!self)
            return;
        --self->m_switchesInFlight;
        self->ShowSwitchFailure(sw, result, back);
    });
}

void CDeviceProfileUI::ShowSwitchFailure(const Switch& sw, const CVantikUSBDevice::PushResult& failed,
                                         const CVantikUSBDevice::PushResult& rollback)
{
    const ui::Language& language = ui::Language::instance();
    const QString device = m_device ? language.Text(m_device->DeviceName()) : QString();
    const QString step = failed.step.isEmpty() ? QString() : language.Text(failed.step);
    // A profile file that could not be loaded never reached the device: say so, not a transfer.
    const QString why = failed.step == QLatin1String("push_step_profile_file")
                            ? language.Text(QStringLiteral("profile_file_unreadable"))
                            : editors::FailureInWords(failed.code, failed.failure);
    QString text = language.Text(QStringLiteral("profile_switch_failed_format")).arg(device, sw.wanted, step, why);
    QString kept;
    if (failed.failure == IoFailure::Unplugged)
        kept = language.Text(QStringLiteral("profile_switch_kept_unplugged")).arg(sw.kept);
    else if (rollback.ok())
        kept = language.Text(QStringLiteral("profile_switch_kept_set_back")).arg(sw.kept);
    else
        kept = language.Text(QStringLiteral("profile_switch_kept_not_set_back"))
                   .arg(sw.kept, editors::FailureInWords(rollback.code, rollback.failure));
    Services().message(window(), text + QLatin1Char(' ') + kept, false, 0);
}

void CDeviceProfileUI::ShowWriteFailure(int code, IoFailure failure)
{
    editors::ShowWriteFailure(window(), code, failure, m_device ? m_device->DeviceName() : QString());
}

void CDeviceProfileUI::ShowFileFailure()
{
    ShowStatus(QStringLiteral("profile_file_failed_text"));
    Services().message(window(), QStringLiteral("profile_file_failed_text"), true, 0);
}

void CDeviceProfileUI::ShowStatus(const QString& textId)
{
    auto* label = qobject_cast<QLabel*>(FindIn(this, kStatusLabel));
    if (!label)
        return;
    if (textId.isEmpty()) {
        label->setProperty("textid", QVariant());
        label->clear();
        label->setVisible(false);
        return;
    }
    ui::Language::instance().SetTextId(label, textId);
    label->setVisible(true);
}

bool CDeviceProfileUI::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    const QString name = msg.pSender->objectName();
    // A tab checked by other means than a click (a screen reader's toggle, a script) shows its
    // page too; the click that checks a tab comes after its toggle and finds the page shown.
    if (msg.sType == QLatin1String(ui::kNotifySelectChanged) && msg.wParam == 1) {
        for (const FeatureTabInfo& t : kFeatureTabs) {
            if (name == QLatin1String(t.button)) {
                if (t.number != m_featureTab)
                    SelectFeatureTab(t.number);
                return false;
            }
        }
    }
    if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        for (const FeatureTabInfo& t : kFeatureTabs) {
            if (name == QLatin1String(t.button)) {
                SelectFeatureTab(t.number);
                return true;
            }
        }
        if (!isAncestorOf(msg.pSender))
            return false;
        OnClick(name);
        return true;
    }
    if (!isAncestorOf(msg.pSender))
        return false;
    if (msg.sType == QLatin1String(ui::kNotifyReturn) && name == QLatin1String(kNameEdit)) {
        OnClick(QStringLiteral("device_profile_edit_save_btn"));
        return true;
    }
    // The combo's selections are switched by the main window's timer.
    return msg.sType == QLatin1String(ui::kNotifyItemSelect) && name == QLatin1String(kComboName);
}

void CDeviceProfileUI::OnClick(const QString& name)
{
    if (name == QLatin1String("device_add_btn")) {
        NewProfile();
    } else if (name == QLatin1String("device_sub_btn")) {
        DeleteProfile();
    } else if (name == QLatin1String("device_copy_btn")) {
        CopyProfile();
    } else if (name == QLatin1String("device_import_btn")) {
        if (GetSelectedIndex() < 0)
            return;
        const QString path = Services().openFile(window(), QLatin1String(kProfileFilter));
        if (!path.isEmpty())
            ImportProfile(path);
    } else if (name == QLatin1String("device_export_btn")) {
        if (GetSelectedIndex() < 0)
            return;
        const QString path = Services().saveFile(window(), QLatin1String(kProfileFilter),
                                                 Combo()->currentText() + QStringLiteral(".json"));
        if (!path.isEmpty())
            ExportProfile(path);
    } else if (name == QLatin1String("device_reset_btn")) {
        if (Services().message(window(), QStringLiteral("message_text_22"), true, 1) == 1 && ResetProfile())
            ReloadDevice();
    } else if (name == QLatin1String("device_profile_edit_save_btn")) {
        const QString text = GetNameEditText();
        if (text.isEmpty())
            return;
        const int result = RenameProfile(text);
        if (result == RenameNameUsed)
            Services().message(window(), QStringLiteral("message_text_5"), true, 0);
        else if (result == RenameBlank)
            Services().message(window(), QStringLiteral("message_text_25"), true, 0);
    } else if (name == QLatin1String("profile_fun_spread_btn")) {
        ShowProfileMenu(!IsProfileMenuShown());
    }
}
