#pragma once

#include "ui/WindowImplBase.h"

class QLabel;

// The about window: the program's name and version, and the licence of the program and of the
// libraries it links. Closes with its buttons and Escape; deletes itself once closed.
class CAboutWnd : public WindowImplBase {
    Q_OBJECT
public:
    CAboutWnd();

    QString GetSkinFile() override;
    QString GetWindowClassName() override { return QStringLiteral("AboutWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                 bool& bHandled) override;
    void OnFinalMessage() override;

    // "software_ver_label" shows the current language's text of "software_rev_text" followed
    // by `version`; it follows language changes.
    void SetVersionText(const QString& version);
    QString VersionLabelText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowTexts();

    QString m_version;
};
