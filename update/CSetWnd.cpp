#include "update/CSetWnd.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QStyle>

#include "ui/SkinDpi.h"
#include "app/LanguageSettings.h"
#include "app/PrivateMessages.h"
#include "app/RegisteredMessages.h"
#include "app/SettingsStore.h"
#include "app/SkinResources.h"
#include "hid/DebugLog.h"
#include "update/CUpdateInfoListItemUI.h"
#include "update/HttpClient.h"
#include "ui/Language.h"

namespace {

bool isNamed(const QWidget* w, const char* name)
{
    return w && w->objectName().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

// Where a downloaded file would be kept: the temporary folder's "UpdateData" + name + ".exe".
// Nothing is downloaded; the name is kept with the result.
QString targetFileFor(const QString& name)
{
    return QDir(QDir::tempPath()).filePath(QStringLiteral("UpdateData/%1.exe").arg(name));
}

QString placeholderName(const app::SoftwareIdentity& row)
{
    return row.modelCode == QLatin1String(app::kApplicationModelCode) ? QStringLiteral("AP") : row.shortName;
}

}  // namespace

CSetWnd::CSetWnd() : WindowImplBase(nullptr)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_QuitOnClose, false);
}

CSetWnd::~CSetWnd()
{
    StopWorkers();
}

QString CSetWnd::GetSkinFile()
{
    const QString file = app::SkinResources::Instance().Resolve(QStringLiteral("XML_SETWND"));
    return file.isEmpty() ? QStringLiteral("XML/setwnd.ui") : file;
}

void CSetWnd::SetOwnerWindow(WindowImplBase* owner, int languageIndex)
{
    m_owner = owner;
    m_languageIndex = languageIndex;
}

void CSetWnd::SetWindowDpi(int dpi)
{
    m_dpi = ui::ValidDpi(dpi, "SET_WND DPI SET ERROR");
    dpi = m_dpi;
    PM().SetDPI(dpi);
}

void CSetWnd::InitWindow()
{
    FillLanguages();
    if (auto* ring = PM().Find<QWidget>(QStringLiteral("update_status_ring")))
        ring->setFixedSize(18, 18);
    if (QWidget* button = PM().FindControl(QStringLiteral("update_fw_and_ap")))
        button->setVisible(false);
    m_lastDate = update::ReadOrInitLastCheckDate(m_dateFile.isEmpty() ? update::LastCheckDateFile() : m_dateFile);
    StartCheck();
}

void CSetWnd::FillLanguages()
{
    auto* combo = PM().Find<QComboBox>(QStringLiteral("Language_combox_info"));
    if (!combo)
        return;
    app::SettingsStore unused;
    const std::vector<app::LanguageEntry> list = app::LanguageSettings(unused, m_languageConfig).Languages();
    const QSignalBlocker block(combo);
    combo->clear();
    for (const app::LanguageEntry& entry : list)
        combo->addItem(ui::Language::instance().Text(entry.text));
    if (m_languageIndex >= 0 && m_languageIndex < combo->count())
        combo->setCurrentIndex(m_languageIndex);
}

void CSetWnd::StartCheck()
{
    StopWorkers();
    SetCheckStatus(Checking);
    auto* list = PM().FindControl(QStringLiteral("device_update_list_info"));
    for (CUpdateInfoListItemUI* item : m_items)
        delete item;
    m_items.clear();
    m_results.assign(m_rows.size(), update::UpdateResult{});
    for (size_t k = 0; k < m_rows.size(); ++k) {
        auto* item = new CUpdateInfoListItemUI(this, list);
        if (list && list->layout()) {
            auto* box = qobject_cast<QBoxLayout*>(list->layout());
            if (box)
                box->insertWidget(int(k), item);
            else
                list->layout()->addWidget(item);
        }
        m_items.push_back(item);
        ResetRowItem(k);
        item->SetState(7);
        item->EnableOption(false);
        item->SetStatusNote(QStringLiteral("UpdateItemCheckingText"));
    }
    if (m_rows.empty()) {
        // Nothing to ask about: no request is sent.
        OnCheckDone(0, m_generation);
        return;
    }
    m_checking = true;
    m_stop = false;
    const uint64_t generation = ++m_generation;
    const QString baseUrl = update::BaseUrl();
    const QString dateFile = m_dateFile.isEmpty() ? update::LastCheckDateFile() : m_dateFile;
    std::vector<app::SoftwareIdentity> rows = m_rows;
    m_worker = std::thread([this, rows = std::move(rows), baseUrl, dateFile, generation] {
        qCDebug(tesselDebug) << "update check thread start";
        int failures = 0;
        for (size_t k = 0; k < rows.size() && !m_stop.load(); ++k) {
            const app::SoftwareIdentity& row = rows[k];
            update::UpdateResult r = update::CheckUpdate(baseUrl, update::MakeAppKey(row), row.version,
                                                         row.kind != 0, &m_stop);
            if (m_stop.load())
                break;
            if (r.name.compare(QLatin1String(update::kNoLinkServer), Qt::CaseInsensitive) == 0) {
                ++failures;
                r.name.clear();
            }
            r.targetFile = targetFileFor(row.shortName);
            update::WriteLastCheckDate(QDate::currentDate(), dateFile);
            QMetaObject::invokeMethod(this, [this, k, r, generation] { OnRowResult(k, r, generation); },
                                      Qt::QueuedConnection);
        }
        if (!m_stop.load())
            QMetaObject::invokeMethod(this, [this, failures, generation] { OnCheckDone(failures, generation); },
                                      Qt::QueuedConnection);
        qCDebug(tesselDebug) << "update check thread end";
    });
}

void CSetWnd::ResetRowItem(size_t k)
{
    const app::SoftwareIdentity& row = m_rows[k];
    CUpdateInfoListItemUI* item = m_items[k];
    item->SetName(placeholderName(row));
    item->SetCurrentVersion(app::VersionDisplay(row));
    item->SetOfferedVersion(QString());
    item->SetTargetFile(targetFileFor(row.shortName));
}

void CSetWnd::OnRowResult(size_t k, update::UpdateResult r, uint64_t generation)
{
    if (generation != m_generation || k >= m_items.size())
        return;
    const app::SoftwareIdentity& row = m_rows[k];
    const bool answered = !r.name.isEmpty();
    if (!answered) {
        // No answer for this row (unreachable, not JSON, or no "name"): the row as it is.
        r.currentVersion = app::VersionDisplay(row);
        r.offeredVersion.clear();
        r.status = update::kStatusNothingNewer;
    }
    r.name = row.shortName;
    CUpdateInfoListItemUI* item = m_items[k];
    item->SetName(r.name);
    item->SetCurrentVersion(r.currentVersion);
    item->SetOfferedVersion(r.status == update::kStatusNothingNewer ? QString() : r.offeredVersion);
    item->SetDownloadPath(r.downloadPath);
    item->SetState(r.status);
    item->SetStatusNote(answered ? QString() : QStringLiteral("UpdateNoAnswerText"));
    item->EnableOption(false);
    item->SetTargetFile(r.targetFile);
    m_results[k] = r;
}

void CSetWnd::OnCheckDone(int failures, uint64_t generation)
{
    if (generation != m_generation)
        return;
    m_checking = false;
    if (m_worker.joinable())
        m_worker.join();  // it has posted its last message and is ending
    bool offered = false;
    for (CUpdateInfoListItemUI* item : m_items) {
        if (item->State() != 7 && item->State() != 0) {
            item->EnableOption(true);
            item->SelectOption(true);
            offered = true;
        } else {
            item->EnableOption(false);
        }
    }
    if (QWidget* button = PM().FindControl(QStringLiteral("update_fw_and_ap"))) {
        button->setEnabled(offered);
        button->setVisible(offered);
    }
    if (offered)
        SetCheckStatus(UpdatesFound);
    else if (failures == int(m_rows.size()))
        SetCheckStatus(NoServer);
    else
        SetCheckStatus(UpToDate);
    emit checkFinished(m_status);
}

void CSetWnd::SetCheckStatus(int status)
{
    if (status < Checking || status > UpToDate)
        return;
    m_status = status;
    QWidget* ring = PM().FindControl(QStringLiteral("update_status_ring"));
    QWidget* image = PM().FindControl(QStringLiteral("update_status_image"));
    auto* text = PM().Find<QLabel>(QStringLiteral("Update_Status_text"));
    if (ring)
        ring->setVisible(status == Checking);
    if (image) {
        image->setVisible(status != Checking);
        image->setProperty("checkstatus", status);
        image->style()->unpolish(image);
        image->style()->polish(image);
    }
    static const char* const kIds[] = {"GetUpdateInfoText", "HaveUpdateInfoText", "NoUpdateInfoText",
                                       "ISUpdateINGText"};
    if (status != UpToDate) {
        if (text)
            ui::Language::instance().SetTextId(text, QString::fromLatin1(kIds[status]));
        return;
    }
    // Up to date: the text in the current language with the date after it, as plain text.
    if (text) {
        text->setProperty("textid", QVariant());
        text->setText(ui::Language::instance().Text(QStringLiteral("UpdateIsLastText")) + m_lastDate);
        text->setAccessibleName(text->text());
    }
    if (m_owner)
        m_owner->SendMessage(app::pm::kClearSetButtonImage, 0, 0);
}

void CSetWnd::StopWorkers()
{
    m_stop = true;
    ++m_generation;  // whatever the worker still posts is stale
    if (m_worker.joinable())
        m_worker.join();
    m_checking = false;
}

bool CSetWnd::CloseRefused() const
{
    // Items being downloaded or installed keep the window open. An item only marked for update
    // (3) does not: nothing ever works on it, and the next opening checks and offers it again.
    for (const CUpdateInfoListItemUI* item : m_items) {
        const int s = item->State();
        if (s == 0 || s == 4 || s == 5 || s == 6)
            return true;
    }
    return false;
}

void CSetWnd::closeEvent(QCloseEvent* event)
{
    if (CloseRefused()) {
        event->ignore();
        return;
    }
    StopWorkers();
    WindowImplBase::closeEvent(event);
}

void CSetWnd::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        StopWorkers();
        Close(0);
        return;
    }
    WindowImplBase::keyPressEvent(event);
}

void CSetWnd::OnFinalMessage()
{
    deleteLater();
}

void CSetWnd::Notify(TNotifyUI& msg)
{
    QWidget* sender = msg.pSender;
    if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        if (isNamed(sender, "closebtn") || isNamed(sender, "laterbtn")) {
            StopWorkers();
            Close(0);
        } else if (isNamed(sender, "minbtn")) {
            showMinimized();
        } else if (isNamed(sender, "update_fw_and_ap")) {
            if (auto* tabs = PM().Find<QStackedWidget>(QStringLiteral("get_update_tab_layout")))
                tabs->setCurrentIndex(1);
        } else if (isNamed(sender, "update_OK_btn")) {
            OnConfirm();
        }
    } else if (msg.sType == QLatin1String(ui::kNotifySelectChanged)) {
        if (isNamed(sender, "check_name_select"))
            UpdateUpdateButton();
    } else if (msg.sType == QLatin1String(ui::kNotifyItemSelect)) {
        if (isNamed(sender, "Language_combox_info") && m_owner) {
            m_languageIndex = int(msg.wParam);
            m_owner->SendMessage(app::pm::kLanguageChange, msg.wParam, 0);
        }
    }
}

void CSetWnd::UpdateUpdateButton()
{
    bool any = false;
    for (const CUpdateInfoListItemUI* item : m_items)
        any = any || item->OptionSelected();
    if (QWidget* button = PM().FindControl(QStringLiteral("update_fw_and_ap"))) {
        button->setEnabled(any);
        button->setVisible(any);
    }
}

void CSetWnd::OnConfirm()
{
    for (CUpdateInfoListItemUI* item : m_items) {
        if (item->State() != 1 && item->State() != 2)
            continue;
        if (item->OptionSelected())
            item->SetState(3);
        else
            item->EnableOption(false);
    }
    if (QWidget* button = PM().FindControl(QStringLiteral("update_fw_and_ap")))
        button->setEnabled(false);
    if (auto* tabs = PM().Find<QStackedWidget>(QStringLiteral("get_update_tab_layout")))
        tabs->setCurrentIndex(0);
}

intptr_t CSetWnd::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& bHandled)
{
    if (msg == app::pm::kLanguageChange) {
        // The texts were reloaded with the language; the combo's items and the status line that
        // carries the date are made here.
        FillLanguages();
        if (m_status == UpToDate)
            SetCheckStatus(UpToDate);
        update();
        bHandled = true;
        return 0;
    }
    if (msg == app::RegisteredMessages::Find(app::msg::kUpdateRelay)) {
        // An external updater's progress: accepted; no item of this window is ever being
        // updated, so it changes nothing.
        bHandled = true;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, bHandled);
}
