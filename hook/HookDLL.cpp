#include "hook/HookDLL.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

struct Watch {
    std::thread thread;
    std::atomic<bool> stop{false};
    HookTarget target{};
    int mode = 0;
};

std::mutex g_lock;
Watch* g_watch = nullptr;

void Run(Watch* watch, Display* display, int xiOpcode)
{
    const Window root = DefaultRootWindow(display);
    const char* name = HookMouseMessageName(watch->mode);
    const int fd = ConnectionNumber(display);
    while (!watch->stop.load()) {
        if (XPending(display) == 0) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, 50);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode || !XGetEventData(display, cookie))
            continue;
        if (cookie->evtype == XI_RawButtonPress || cookie->evtype == XI_RawButtonRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
            uint32_t message = 0, mouseData = 0;
            if (name && HookMouseMessageOf(raw->detail, cookie->evtype == XI_RawButtonPress, message, mouseData)) {
                Window rootReturn, child;
                int rootX = 0, rootY = 0, winX = 0, winY = 0;
                unsigned int mask = 0;
                XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask);
                HookMouseRecord record{rootX, rootY, 0, 0, 0, mouseData, uint32_t(raw->time)};
                if (!watch->stop.load() && watch->target.send)
                    watch->target.send(watch->target.context, name, message, &record);
            }
        }
        XFreeEventData(display, cookie);
    }
    XCloseDisplay(display);
}

void StopLocked()
{
    if (!g_watch)
        return;
    g_watch->stop = true;
    if (g_watch->thread.joinable())
        g_watch->thread.join();
    delete g_watch;
    g_watch = nullptr;
}

}  // namespace

const char* HookMouseMessageName(int mode)
{
    switch (mode) {
    case 4: return "WM_HOOK_KEY_MSMACRO_MSG";
    case 8: return "WM_HOOK_KEY_MSMACROPREVIOUS_MSG";
    case 16: return "WM_HOOK_KEY_MSMACROLATER_MSG";
    case 32: return "WM_HOOK_KEY_MSMACROSINGLE_MSG";
    default: return nullptr;
    }
}

bool HookMouseMessageOf(int xButton, bool press, uint32_t& message, uint32_t& mouseData)
{
    mouseData = 0;
    switch (xButton) {
    case 1: message = press ? 0x0201 : 0x0202; return true;
    case 2: message = press ? 0x0207 : 0x0208; return true;
    case 3: message = press ? 0x0204 : 0x0205; return true;
    case 8: message = press ? 0x020B : 0x020C; mouseData = 1u << 16; return true;  // back
    case 9: message = press ? 0x020B : 0x020C; mouseData = 2u << 16; return true;  // forward
    default: return false;
    }
}

int InstallHook(HookTarget* target, int mode)
{
    std::lock_guard lock(g_lock);
    StopLocked();
    if (!target)
        return 0;
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    int opcode = 0, event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success) {
        XCloseDisplay(display);
        return 0;
    }
    // Raw events reach every client that asks, whoever has the pointer: nothing is grabbed.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawButtonRelease);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XSync(display, False);
    auto* watch = new Watch;
    watch->target = *target;
    watch->mode = mode;
    watch->thread = std::thread(Run, watch, display, opcode);
    g_watch = watch;
    return 1;
}

int UnInstallHook(HookTarget*)
{
    std::lock_guard lock(g_lock);
    StopLocked();
    return 1;
}
