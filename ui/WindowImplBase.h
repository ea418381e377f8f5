#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "ui/Notify.h"
#include "ui/PaintManager.h"

class QEventLoop;

// The base of every window: names its skin (.ui file relative to the skin folder) and window
// class, builds the skin into itself on Create, and receives every notification of its controls
// in Notify and custom messages in HandleCustomMessage. Lives on the UI thread; only
// SendMessage and PostMessage may be called from other threads.
class WindowImplBase : public QWidget {
    Q_OBJECT
public:
    explicit WindowImplBase(QWidget* parent = nullptr);
    ~WindowImplBase() override;

    // Relative .ui name under PaintManager::GetResourcePath(); empty builds no skin.
    virtual QString GetSkinFile() { return {}; }
    virtual QString GetWindowClassName() { return {}; }
    // Called by Create once the skin is built and wired, before "windowinit".
    virtual void InitWindow() {}
    virtual void Notify(TNotifyUI& msg) { (void)msg; }
    // Custom messages from SendMessage/PostMessage, the tray icon and similar. Set bHandled
    // when the message was consumed; the return value goes back to SendMessage.
    virtual intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                         bool& bHandled);
    // The builder callback: a control for a class name the skin uses that neither Qt nor the
    // control factory knows (compare without regard to case); null = not mine.
    virtual QWidget* CreateControl(const QString& className) { (void)className; return nullptr; }
    // Called once after the window was closed (Close, the user, or hide while modal ended);
    // a window that owns itself calls deleteLater() here (never `delete this`).
    virtual void OnFinalMessage() {}

    // Builds the skin into the window, wires every control to Notify, resolves text ids, calls
    // InitWindow and sends "windowinit". The window is always a top-level window; a non-null
    // parent owns it (it stays above the parent, is centred over it and dies with it). An empty
    // title keeps the skin's window title. False when the skin file could not be loaded (the
    // window still exists, empty, and InitWindow still runs).
    bool Create(QWidget* parent, const QString& title);
    // Shows the window application-modal and runs a local event loop until it is closed;
    // returns the code given to Close, or 0 when closed any other way.
    int ShowModal();
    void Close(int code = 0);
    // Centres over the parent window when there is one, else over its screen.
    void CenterWindow();
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Runs HandleCustomMessage on the window's thread and waits for its result; called on the
    // window's thread it runs directly. Returns 0 when the window is gone before it ran.
    intptr_t SendMessage(uint32_t msg, intptr_t wParam, intptr_t lParam);
    // Queues HandleCustomMessage on the window's thread; dropped if the window is destroyed.
    void PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam);

    ui::PaintManager& PM() { return m_pm; }
    // The built skin (the .ui's top-level widget), null before Create or when it failed.
    QWidget* Root() const { return m_root; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void finishModal();

    ui::PaintManager m_pm;
    QPointer<QWidget> m_root;
    QEventLoop* m_modalLoop = nullptr;
    int* m_modalResult = nullptr;
    bool m_created = false;
};
