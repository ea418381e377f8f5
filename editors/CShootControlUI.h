#pragma once

#include <QString>
#include <QWidget>
#include <json/value.h>

#include <array>
#include <cstdint>
#include <vector>

#include "devices/CDevicePanel.h"

class CVantikMouseDevice;

// The shoot pattern editor of the mouse page: four guns of thirty bullets. For each bullet the
// user sets how far the mouse moves sideways and vertically after the shot and how long it waits
// before the next one. Each gun is a pattern file "ShootData_<g>.Shoot" of the device folder in
// the macro event format, six events a bullet (press, release, move x, move y with the wait, and
// two zero moves); the mouse receives all four as one macro image.
//
// Edits are written to the gun's file when an edit loses the focus; "send" writes the four files
// to the mouse.
class CShootControlUI : public QWidget, public CDevicePanel {
    Q_OBJECT
public:
    static constexpr int kGuns = 4;
    static constexpr int kBullets = 30;
    static constexpr int kEventsPerBullet = 6;

    // What one bullet does, as the edits show it.
    struct Bullet {
        bool left = false;   // sideways move to the left (else to the right)
        int x = 0;
        bool up = false;     // vertical move upwards (else downwards)
        int y = 0;
        int delay = 0;       // ms before the next shot
    };

    explicit CShootControlUI(QWidget* parent = nullptr);

    // CDevicePanel
    void AttachDevice(CVantikUSBDevice& device) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;

    void SetShootFolder(const QString& folder) { m_folder = folder; }
    void SetShootDefaultFolder(const QString& folder) { m_defaultFolder = folder; }
    // Looks up the controls and restores every missing or unreadable pattern file from its
    // shipped copy.
    void InitShootPanel();
    void SelectGun(int gun);
    void SelectBullet(int bullet);
    void ShowBullet();
    void SaveBullet();
    // Copies the shipped file of the current gun over the user's and shows the bullet again.
    void ResetGun();
    void ResetGun(int gun);
    // Copies a chosen file over the current gun's file, or the other way. A file that is not a
    // pattern of the bullet layout with values in range is refused with a message.
    bool ImportGun(const QString& path);
    bool ExportGun(const QString& path);
    // Builds the image of the four patterns and has the mouse take it; the first time, a notice
    // about games that forbid movement scripts comes first (unless turned off). Result code.
    int SendToMouse();

    int CurrentGun() const { return m_gun; }
    int CurrentBullet() const { return m_bullet; }
    QString GunFile(int gun) const;
    QString ShippedGunFile(int gun) const;
    // Bullet `b` of gun `g` as its file holds it (zeros when unreadable).
    Bullet ReadBullet(int gun, int bullet) const;
    // The image the mouse is sent: the four guns' "Events" as macro records. Empty when a
    // pattern is too large for the format.
    std::vector<uint8_t> BuildShootImage() const;

    // What makes `doc` unfit to be a gun's pattern, in words naming the event and member (180
    // events of the bullet layout, "Action" "down" or "up", "Button" 0 to 255, "Delay" 0 to
    // 65535, "Type" as the layout gives it); empty when it is fit.
    static QString PatternProblem(const Json::Value& doc);

    // The settings store key of the notice shown before the first send (1: turned off).
    static constexpr char kNoticeOffKey[] = "ShootNoticeOff";
    // Where the notice's setting lives; empty: the application's settings store.
    static void SetSettingsPath(const QString& path);

private:
    QWidget* Control(const QString& name) const;
    void SetOptionText(QWidget* option, bool selected, const char* selectedId, const char* otherId);
    bool ConfirmNotice();
    void ShowStatus(const QString& textId);

    CVantikMouseDevice* m_mouse = nullptr;
    QString m_folder;
    QString m_defaultFolder;
    int m_gun = 0;
    int m_bullet = -1;
};
