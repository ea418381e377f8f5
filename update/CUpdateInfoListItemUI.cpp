#include "update/CUpdateInfoListItemUI.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QUrl>
#include <array>

#include "ui/Builder.h"
#include "ui/Language.h"
#include "ui/WindowImplBase.h"

namespace {

struct StateLook {
    const char* textId;
    bool optionEnabled;
    bool progress;
    bool ok;
    const char* text;      // option text colour
    const char* selected;  // option colour when selected or disabled
};

// What each state shows.
constexpr std::array<StateLook, CUpdateInfoListItemUI::kStates> kLooks{{
    {"LessUpdateText", false, false, false, "#FFFFFF", "#666666"},
    {"NeedUpdateText", true, false, false, "#0099FF", "#0078C8"},
    {"NeedUpdateText", true, false, false, "#0099FF", "#0078C8"},
    {"DownloadWaitText", false, false, false, "#0099FF", "#0078C8"},
    {"DownloadIngText", false, true, false, "#0099FF", "#0078C8"},
    {"DownloadOkText", false, false, true, "#0099FF", "#0078C8"},
    {"UpdateIngText", false, true, false, "#0099FF", "#0078C8"},
    {"UpdateOkText", false, false, false, "#FFFFFF", "#666666"},
    {"UpdateFailText", true, false, false, "#0099FF", "#0078C8"},
}};

}  // namespace

CUpdateInfoListItemUI::CUpdateInfoListItemUI(WindowImplBase* window, QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("update_list_item"));
    setFixedHeight(kHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ui::Builder builder(window);
    if (QWidget* row = builder.Create(QStringLiteral("XML/CustomControlXML/device_Update_list_item.xml"), this))
        layout->addWidget(row);
    m_option = findChild<QAbstractButton*>(QStringLiteral("check_name_select"));
    m_oldRev = findChild<QLabel*>(QStringLiteral("OldRev"));
    m_newRev = findChild<QLabel*>(QStringLiteral("updateRev"));
    m_arrow = findChild<QWidget*>(QStringLiteral("update_arrow"));
    m_statusText = findChild<QLabel*>(QStringLiteral("update_status_text"));
    m_progress = findChild<QProgressBar*>(QStringLiteral("update_status_ing"));
    m_progressValue = findChild<QLabel*>(QStringLiteral("update_progress_value"));
    m_ok = findChild<QLabel*>(QStringLiteral("update_status_ok"));
    m_link = findChild<QAbstractButton*>(QStringLiteral("update_download_link"));
    if (m_ok)
        ui::Language::instance().SetToolTipId(m_ok, QStringLiteral("UpdateStateOkTip"));
    if (m_link) {
        ui::Language::instance().SetToolTipId(m_link, QStringLiteral("UpdateDownloadTip"));
        connect(m_link, &QAbstractButton::clicked, this, [this] {
            const QUrl url(m_downloadPath);
            if (url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
                QDesktopServices::openUrl(url);
        });
    }
    SetOfferedVersion(QString());
    SetState(7);
}

QString CUpdateInfoListItemUI::StateTextId(int state)
{
    if (state < 0 || state >= kStates)
        return {};
    return QString::fromLatin1(kLooks[size_t(state)].textId);
}

void CUpdateInfoListItemUI::SetState(int state)
{
    if (state < 0 || state >= kStates || state == m_state)
        return;
    const bool progressBefore = m_state >= 0 && kLooks[size_t(m_state)].progress;
    m_state = state;
    const StateLook& look = kLooks[size_t(state)];
    m_note.clear();
    if (m_statusText)
        ui::Language::instance().SetTextId(m_statusText, QString::fromLatin1(look.textId));
    EnableOption(look.optionEnabled);
    if (m_progress)
        m_progress->setVisible(look.progress);
    if (m_progressValue)
        m_progressValue->setVisible(look.progress);
    if (progressBefore != look.progress)
        SetProgress(0);
    if (m_ok)
        m_ok->setVisible(look.ok);
    if (m_option) {
        m_option->setStyleSheet(QStringLiteral("QCheckBox { color: %1; } QCheckBox:checked, QCheckBox:disabled { color: %2; }")
                                    .arg(QLatin1String(look.text), QLatin1String(look.selected)));
    }
    setProperty("updatestate", state);
    // The style sheet colours the row by its state.
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(m_statusText)}) {
        if (w) {
            w->style()->unpolish(w);
            w->style()->polish(w);
        }
    }
    updateLink();
}

void CUpdateInfoListItemUI::SetName(const QString& name)
{
    if (m_option)
        m_option->setText(name);
}

QString CUpdateInfoListItemUI::Name() const
{
    return m_option ? m_option->text() : QString();
}

void CUpdateInfoListItemUI::SetCurrentVersion(const QString& text)
{
    if (m_oldRev)
        m_oldRev->setText(text);
}

void CUpdateInfoListItemUI::SetOfferedVersion(const QString& text)
{
    if (m_newRev) {
        m_newRev->setText(text);
        m_newRev->setVisible(!text.isEmpty());
    }
    if (m_arrow)
        m_arrow->setVisible(!text.isEmpty());
}

QString CUpdateInfoListItemUI::OfferedVersion() const
{
    return m_newRev ? m_newRev->text() : QString();
}

void CUpdateInfoListItemUI::SetDownloadPath(const QString& path)
{
    m_downloadPath = path;
    updateLink();
}

void CUpdateInfoListItemUI::updateLink()
{
    if (!m_link)
        return;
    const QUrl url(m_downloadPath);
    const bool web = url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    // Only an offered version has a page to go to.
    const bool offered = m_state != 7 && m_state != 0;
    m_link->setVisible(web && offered);
}

void CUpdateInfoListItemUI::SetStatusNote(const QString& textId)
{
    m_note = textId;
    if (m_statusText && m_state >= 0)
        ui::Language::instance().SetTextId(m_statusText, !textId.isEmpty() ? textId
                                                                           : QString::fromLatin1(kLooks[size_t(m_state)].textId));
}

bool CUpdateInfoListItemUI::OptionSelected() const
{
    return m_option && m_option->isChecked();
}

void CUpdateInfoListItemUI::SelectOption(bool selected)
{
    if (!m_option)
        return;
    const QSignalBlocker block(m_option);
    m_option->setChecked(selected);
}

void CUpdateInfoListItemUI::EnableOption(bool enabled)
{
    if (m_option)
        m_option->setEnabled(enabled);
}

void CUpdateInfoListItemUI::SetProgress(int percent)
{
    if (m_progress)
        m_progress->setValue(percent);
    if (m_progressValue)
        m_progressValue->setText(QStringLiteral("%1%2").arg(percent).arg(QLatin1Char('%')));
}
