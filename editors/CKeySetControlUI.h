#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "devices/CDevicePanel.h"
#include "devices/CVantikUSBDevice.h"
#include "profiles/ProfileRecords.h"

class QComboBox;
class QLineEdit;
class QStackedWidget;

// The key assignment panel of the keyboard and mouse pages. Picking a key on the device picture
// shows that key's function; every change the user makes is stored at once in the device's
// assignments and in the profile held in memory (nothing is sent yet), and the key buttons are
// relabelled. "key_butt_prosave" writes the macros the keys use, the key table and the profile
// file.
class CKeySetControlUI : public QWidget, public CDevicePanel {
    Q_OBJECT
public:
    // Function categories: the user data of the category chooser's items and the page index.
    enum Category {
        CatDefault = 0, CatMouseButton, CatHScroll, CatVScroll, CatDpi, CatFire, CatKey, CatMedia,
        CatSystem, CatMacro, CatGun, CatShortcut, CatCount
    };
    // The keyboard message numbers a captured key arrives with.
    static constexpr uint32_t kKeyDown = 0x0100, kKeyUp = 0x0101, kSysKeyDown = 0x0104, kSysKeyUp = 0x0105;

    explicit CKeySetControlUI(QWidget* parent = nullptr);

    // CDevicePanel
    void AttachDevice(CVantikUSBDevice& device) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;

    // 1 keyboard (no DPI and no gun category), 2 mouse; the receiver kinds 9 and 6 alike.
    void SetDeviceKind(int kind);
    int DeviceKind() const { return m_kind; }
    void SetMacroNames(const QStringList& names);
    void AddMacroName(const QString& name);
    void RemoveMacroName(int index);
    void RenameMacroName(int index, const QString& name);
    QStringList MacroNames() const;

    void LoadKey(const KeyAssignmentPair& pair);
    void ShowAssignment(const KeyAssignment& a);
    KeyAssignmentPair ReadAssignment();
    void SetCurrentAssignment(const KeyAssignment& a) { m_current = a; }
    KeyAssignment CurrentAssignment() const { return m_current; }
    void SetModifierOption(int i);
    int GetModifierOption() const;
    void SetKeyButtonsEnabled(bool on);

    // A key event of the capture: scan code and flags (bit 0 extended, bit 7 released) of the
    // hook's record. Only presses change the key: Ctrl+C pressed and released in the natural
    // order stays Ctrl+C.
    void CaptureKey(uint32_t scanCode, uint32_t flags);
    // Picks key `position` of the device for editing.
    void EditKey(int position);
    int EditedKey() const { return m_editedKey; }
    // Stores what the controls show for the edited key (the panel's apply).
    void ApplyKeyPanel();
    // Posts the write of the macros and the key table to the device's I/O worker (0 without a
    // device, else 1); where it lands the profile is saved and failures are told.
    int WriteToDevice();
    void KeysWritten(const CVantikUSBDevice::KeyWriteResult& result);
    // Labels every key button of the device with its function.
    void RelabelKeys();
    // A profile switch, reset or restore loaded other assignments: relabel, reload the edited key.
    void OnAssignmentsReloaded();
    // Shows the note that keys are only captured while the window has the focus (no X server).
    void ShowCaptureNotice();

private:
    QWidget* Find(const char* name) const;
    QComboBox* Combo(const char* name) const;
    QLineEdit* Edit(const char* name) const;
    void SelectCategoryPage(int category);
    int SelectedCategory() const;
    void OnCategoryChange();
    void SetKeyText(const QString& text);
    QString KeyText() const;

    CVantikUSBDevice* m_device = nullptr;
    int m_kind = 0;
    int m_editedKey = -1;
    KeyAssignment m_current;
    KeyAssignment m_default;
    bool m_noticeShown = false;
};
