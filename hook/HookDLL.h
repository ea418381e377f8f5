#pragma once

// The mouse side of the recording hook: between InstallHook and UnInstallHook the library
// watches the mouse buttons of the whole desktop (without taking them from anyone) and reports
// each press and release to its target in the macro modes 4, 8, 16 and 32. Loaded at run time
// by name ("libHookDLL.so"); plain C entry points.

#include <cstdint>

extern "C" {

// The cursor position in screen coordinates, and at byte offset 20 the mouse data whose high
// word is the extra button number (1 back, 2 forward) of the extra-button messages; after it
// the X server's time of the event in milliseconds (0 when unknown).
struct HookMouseRecord {
    int32_t x;
    int32_t y;
    uint32_t window;
    uint32_t hitTest;
    uint32_t extraInfo;
    uint32_t mouseData;
    uint32_t time;
};

// Called on the library's own thread for every reported event: the registered name of the
// message (by the mode), the mouse message (0x0201 to 0x020C) and the record, valid during the
// call. The target must hand the event over to its own thread.
typedef void (*HookSendFn)(void* context, const char* messageName, uint32_t mouseMessage,
                           const HookMouseRecord* record);

// What the application passes as its "window".
struct HookTarget {
    HookSendFn send;
    void* context;
};

typedef int (*InstallHookFn)(HookTarget* target, int mode);
typedef int (*UnInstallHookFn)(HookTarget* target);

// 1 when the watch runs (no X server or no XInput2: 0). Replaces any earlier watch.
__attribute__((visibility("default"))) int InstallHook(HookTarget* target, int mode);
// Stops the watch; returns once no more events will be reported. Always 1.
__attribute__((visibility("default"))) int UnInstallHook(HookTarget* target);
}

// The registered message name the library reports mouse events with in `mode`, or null.
const char* HookMouseMessageName(int mode);
// The mouse message and mouse data of an X button, false for buttons that are not reported
// (wheel steps and unknown buttons).
bool HookMouseMessageOf(int xButton, bool press, uint32_t& message, uint32_t& mouseData);
