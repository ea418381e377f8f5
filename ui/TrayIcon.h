#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <cstdint>

class WindowImplBase;

namespace ui {

// lParam values of the tray message: the button that was released on the icon.
inline constexpr intptr_t kTrayLeftButtonUp = 0x0202;
inline constexpr intptr_t kTrayRightButtonUp = 0x0205;
inline constexpr intptr_t kTrayDoubleClick = 0x0203;
// The default custom-message number of the tray callback.
inline constexpr uint32_t kTrayMessage = 0x0401;

// The application's icon in the system tray. Clicks reach the owner's HandleCustomMessage with
// the tray message, wParam 0 and lParam kTrayLeftButtonUp / kTrayRightButtonUp /
// kTrayDoubleClick; the owner pops its own menu on a right click (ui::MenuWnd::Popup).
class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Creates (or re-creates) the icon; shown at once. False when the desktop has no tray (the
    // icon object still exists and shows once a tray appears).
    bool Create(WindowImplBase* owner, const QIcon& icon, const QString& tip,
                uint32_t message = kTrayMessage);
    void SetTip(const QString& tip);
    QString Tip() const;
    void SetIcon(const QIcon& icon);
    void Show();
    void Hide();
    bool IsVisible() const;
    static bool IsAvailable();

    // Delivers an activation as a click on the icon would (tests call it directly).
    void Activate(QSystemTrayIcon::ActivationReason reason);

private:
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<WindowImplBase> m_owner;
    uint32_t m_message = kTrayMessage;
};

}  // namespace ui
