#pragma once

#include "ui/WindowImplBase.h"

// The application's one modal message box: a title, a body (a text id or ready text) and either
// a confirm button alone or confirm and cancel. It deletes itself once closed.
class CMsgWnd : public WindowImplBase {
    Q_OBJECT
public:
    enum ButtonMode { ConfirmOnly = 0, ConfirmAndCancel = 1 };

    // Shows a box modally over `parent` and returns 1 when "confirm_btn" closed it, 0 when
    // "cancel_btn", "closebtn" or anything else did. An empty title or body keeps the skin's
    // own text; `bodyIsId` resolves the body through the language. Other button modes keep the
    // skin's buttons. A DPI the box cannot use is shown at 96.
    static int ShowMessage(QWidget* parent, const QString& title, const QString& body, int dpi,
                           bool bodyIsId, int buttonMode);

    CMsgWnd();

    QString GetSkinFile() override;
    QString GetWindowClassName() override { return QStringLiteral("MsgWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage() override;

    // Accepts 48, 72, 96, 120, 144, 168 and 192; anything else becomes 96 with a debug trace.
    void SetDPI(int dpi);
    int Dpi() const { return m_dpi; }

protected:
    // Escape answers as the close button does; Enter presses the focused button.
    void keyPressEvent(QKeyEvent* e) override;

private:
    QWidget* m_closeBtn = nullptr;
    int m_dpi = 96;
};
