#pragma once

#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "app/SoftwareIdentity.h"
#include "ui/WindowImplBase.h"
#include "update/UpdateCheck.h"

class CUpdateInfoListItemUI;

// The settings window: the interface language and, each time it opens, one check of the update
// server for the application and each connected device's firmware, shown as a list of
// CUpdateInfoListItemUI rows. The check runs on a worker thread; each request can be aborted,
// so closing the window never waits for the server. Nothing is downloaded: an offered version
// links to its download page. The window deletes itself once closed.
class CSetWnd : public WindowImplBase {
    Q_OBJECT
public:
    // Status line values (SetCheckStatus).
    enum CheckStatus { Checking = 0, UpdatesFound = 1, NoServer = 2, Updating = 3, UpToDate = 4 };

    CSetWnd();
    ~CSetWnd() override;

    QString GetSkinFile() override;
    QString GetWindowClassName() override { return QStringLiteral("SetWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                 bool& bHandled) override;
    void OnFinalMessage() override;

    // The main window that receives the language choice (0x0C11) and "nothing to update"
    // (0x0C16), and the language index to show selected.
    void SetOwnerWindow(WindowImplBase* owner, int languageIndex);
    // The language list file (empty: the shipped "Language.config").
    void SetLanguageConfig(const QString& path) { m_languageConfig = path; }
    // The rows to check, in order: the application row and the connected devices' firmware.
    void SetUpdateRows(std::vector<app::SoftwareIdentity> rows) { m_rows = std::move(rows); }
    // Accepts 48, 72, 96, 120, 144, 168 and 192; anything else is 96 with a debug trace.
    void SetWindowDpi(int dpi);
    // Where the last check date is kept (empty: "updatetime.config" in the user data folder).
    void SetDateFile(const QString& path) { m_dateFile = path; }

    static QString MakeAppKey(const app::SoftwareIdentity& row) { return update::MakeAppKey(row); }
    void SetCheckStatus(int status);
    int CurrentCheckStatus() const { return m_status; }
    // Ends the check: aborts the request in flight and waits for the worker, which ends on its
    // own within a few tens of milliseconds.
    void StopWorkers();
    bool IsChecking() const { return m_checking; }

    const std::vector<CUpdateInfoListItemUI*>& Items() const { return m_items; }
    const std::vector<update::UpdateResult>& Results() const { return m_results; }
    QString LastCheckDate() const { return m_lastDate; }
    // True when a close would be refused now (an item is being worked on).
    bool CloseRefused() const;

signals:
    // The check ended (after the status line was set).
    void checkFinished(int status);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillLanguages();
    void StartCheck();
    void OnRowResult(size_t row, update::UpdateResult result, uint64_t generation);
    void OnCheckDone(int failures, uint64_t generation);
    void UpdateUpdateButton();
    void OnConfirm();
    void ResetRowItem(size_t k);

    QPointer<WindowImplBase> m_owner;
    int m_languageIndex = 0;
    QString m_languageConfig;
    QString m_dateFile;
    std::vector<app::SoftwareIdentity> m_rows;
    std::vector<update::UpdateResult> m_results;
    std::vector<CUpdateInfoListItemUI*> m_items;
    QString m_lastDate;
    int m_status = -1;
    int m_dpi = 96;
    bool m_checking = false;

    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    uint64_t m_generation = 0;
};
