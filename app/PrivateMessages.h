#pragma once

#include <cstdint>

// The main window's private message numbers, in one place. Threads and panels send these to the
// main window (Send or Post); the main window's custom-message handler dispatches on them.
namespace app::pm {

inline constexpr uint32_t kTrayCallback = 0x0401;        // lParam: the mouse event on the tray icon
inline constexpr uint32_t kKeyboardCapture = 0x041E;     // wParam 1 start, 0 stop the capture hook
inline constexpr uint32_t kMenuCommand = 0x0479;         // a tray or popup menu item was chosen
inline constexpr uint32_t kDpiChangedTrace = 0x04C8;     // only traced
inline constexpr uint32_t kShowSettingProgress = 0x0C00; // show "setting_progress"
inline constexpr uint32_t kLanguageChange = 0x0C11;      // wParam: language index
inline constexpr uint32_t kInterfaceFound = 0x0C12;      // wParam: interface register index
inline constexpr uint32_t kInterfaceLost = 0x0C13;       // wParam: interface register index
inline constexpr uint32_t kOpenSettingsCentred = 0x0C15;
inline constexpr uint32_t kClearSetButtonImage = 0x0C16;
inline constexpr uint32_t kDeviceTabIgnored = 0x0D02;
inline constexpr uint32_t kDeviceTabVisibility = 0x0D03; // wParam tab, lParam 0 hide / 1 show
inline constexpr uint32_t kRecorderStart = 0x0C20;       // the audio watchdog: launch the capture program
inline constexpr uint32_t kRecorderRegister = 0x0C21;    // the audio watchdog: register with it

// Mouse events carried in lParam of kTrayCallback.
inline constexpr intptr_t kTrayLeftButtonUp = 0x0202;
inline constexpr intptr_t kTrayRightButtonUp = 0x0205;

// The main window's timers.
inline constexpr int kTimerDpiSetup = 1011;
inline constexpr int kTimerTrayMenu = 1032;
inline constexpr int kTimerProfileSwitch = 1055;
inline constexpr int kTimerGameLightRestore = 1066;
inline constexpr int kTimerAudioFrames = 1067;

}  // namespace app::pm
