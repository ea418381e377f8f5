#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <cstdint>

#include "hook/HookDLL.h"

#include "ui/WindowImplBase.h"

// The record a keyboard event of the hook carries (laid out as the low-level keyboard record
// other programs know): virtual-key code, set-1 scan code, flags (bit 0 extended key, bit 7
// released), the time of the event in ms (the X server's time stamp; 0 when the event carries
// none), extra information.
struct KeyboardHookRecord {
    uint32_t vkCode = 0;
    uint32_t scanCode = 0;
    uint32_t flags = 0;
    uint32_t time = 0;
    uintptr_t extraInfo = 0;
};

// The input hook of the key capture and the macro recorder. While it is on, the keyboard belongs
// to the main window: on X11 by a server grab of the window (so Alt+Tab and the Super key reach
// the editor, not the desktop); without an X server only the application's own window is
// watched. Every key event is reported to the window as the registered message of the hook mode
// with the keyboard message in wParam and a KeyboardHookRecord in lParam; the key itself reaches
// no control. The lock keys are reported and keep working. In the macro modes the hook library
// reports the mouse buttons.
//
// The hook goes off when it is removed, when it is replaced, when the application loses the
// focus (lost() then tells the window to end the capture or recording) and when it is destroyed.
class CDeviceHook : public QObject {
    Q_OBJECT
public:
    enum Mode {
        SingleKey = 1, HitKey = 2, MacroAppend = 4, MacroBefore = 8, MacroAfter = 16, MacroReplace = 32,
        MouseSingleKey = 256, MouseHitKey = 512, MouseMacro = 1024
    };
    static constexpr uint32_t kKeyDown = 0x0100, kKeyUp = 0x0101, kSysKeyDown = 0x0104, kSysKeyUp = 0x0105;

    explicit CDeviceHook(QObject* parent = nullptr);
    ~CDeviceHook() override;

    // Replaces any hook with one for `mode`. 1, or 0 when no keyboard hook could be set up.
    int StartHook(int mode, WindowImplBase* window, bool keyboard, bool library);
    // Removes both hooks; 1 when a keyboard hook was on, else 0.
    int RemoveHook();

    bool IsOn() const { return m_keyboardOn || m_libraryOn; }
    WindowImplBase* Window() const { return m_window; }
    int Mode() const { return m_mode; }
    // True while the keyboard is held by a server grab.
    bool HasServerGrab() const { return m_serverGrab; }
    // True when the last start could only watch the application's own window.
    bool WindowOnly() const { return m_windowOnly; }

    // The message name the keyboard hook reports with in `mode`, or null.
    static const char* KeyboardMessageName(int mode);
    // An X key code (evdev code + 8) as the set-1 make code and extended flag of a PC keyboard;
    // false for keys without one.
    static bool ScanCodeOfXKey(uint32_t xKeycode, uint8_t& scan, bool& extended);

signals:
    // The application lost the focus while the hook was on; the hook is already removed.
    void lost();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool LoadLibrary();
    void DetectRepeat();
    void RestoreRepeat();
    void OnApplicationState(int state);

    QPointer<WindowImplBase> m_window;
    int m_mode = 0;
    bool m_keyboardOn = false;
    bool m_libraryOn = false;
    bool m_serverGrab = false;
    bool m_windowOnly = false;
    InstallHookFn m_install = nullptr;
    UnInstallHookFn m_uninstall = nullptr;
    void* m_library = nullptr;
    HookTarget m_target{};
    // The native codes of the keys pressed and not yet released while the hook is on.
    QSet<quint32> m_down;
    // Whether the hook asked the X server to repeat held keys as presses only, and whether the
    // application had asked so before.
    bool m_repeatDetected = false;
    bool m_repeatWasDetectable = false;
};
