#pragma once

#include <QPointer>

#include "ui/WindowImplBase.h"

// The skin chooser: a borderless popup under the main window's skin button (its right edge on
// the button's right edge, its top on the button's bottom) that offers background images,
// background colours, a picture of the user's own and the default background. A choice is
// broadcast to every skin receiver and kept in "main.ini". Closes when it loses the focus (a
// click elsewhere, Escape) and deletes itself once closed.
class CSkinFrame : public WindowImplBase {
    Q_OBJECT
public:
    // Builds and shows the popup at once. `parent`: the window the choice is for (the file
    // dialog's parent); `anchor`: the control it opens under; `dpi`: the parent's DPI.
    CSkinFrame(QWidget* parent, QWidget* anchor, int dpi = 96);

    QString GetSkinFile() override { return QStringLiteral("XML/skin.ui"); }
    QString GetWindowClassName() override { return QStringLiteral("UISkinFrame"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                 bool& bHandled) override;
    void OnFinalMessage() override;

    // The background colour (ARGB) a colour button stands for.
    static uint32_t ButtonColour(const QWidget* button);

private:
    void ShowTexts();
    void ShowPage(int page);
    void PlaceUnderAnchor();

    QPointer<QWidget> m_parent;
    QPointer<QWidget> m_anchor;
};
