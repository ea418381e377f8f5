#pragma once

#include "hid/DeviceAccess.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QDialog;
class QPushButton;
class QWidget;

namespace ui {
class PaintManager;
}

namespace app {

// The device strip's notice for supported devices that are plugged in but whose node this user
// may not open ("Tessel can see your keyboard but may not open it"), and the page it opens:
// per device the cause and the exact command that fixes it, to copy and run by hand (Tessel
// never runs it). Lives on the UI thread; discovery hands it the list through SetDenied.
class PermissionNotice : public QObject {
    Q_OBJECT
public:
    // Puts its (hidden) button into the window's device strip. `rulesFile`: the udev rule the
    // fix command installs.
    PermissionNotice(QWidget* window, ui::PaintManager& pm, QString rulesFile);

    void SetDenied(const std::vector<hid::DeviceAccess>& denied);
    const std::vector<hid::DeviceAccess>& denied() const { return m_denied; }
    // The strip's text for the current list; empty when every device opens.
    QString StripText() const;
    // Opens (or raises) the page with the causes and fixes.
    QDialog* ShowPage();
    // Reapplies the texts after a language change.
    void ReloadText();

    static QString CauseText(hid::AccessCause cause);
    static QString KindText(uint16_t deviceType);

private:
    QWidget* m_window;
    QString m_rulesFile;
    QPushButton* m_button = nullptr;
    QPointer<QDialog> m_page;
    std::vector<hid::DeviceAccess> m_denied;
};

}  // namespace app
