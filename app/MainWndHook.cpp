// The main window's part of the recording hook: starting and stopping the key capture on
// 0x041E, and handing the hook's messages to the editors of the current device.
#include "app/CMainWnd.h"

#include "app/PrivateMessages.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/CDeviceHook.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "hid/DebugLog.h"

namespace {

bool HasKeyEditors(const CVantikUSBDevice* device)
{
    const uint32_t kind = device ? device->DeviceType() : 0;
    return kind == 1 || kind == 9 || kind == 2 || kind == 6;
}

}  // namespace

bool CMainWnd::HandleHookMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, intptr_t& result)
{
    using app::RegisteredMessages;
    result = 0;
    // The hook is made on the first start (a recording may have made it already).
    if (!m_hook)
        m_hook = findChild<CDeviceHook*>();
    if (!m_hook && msg == app::pm::kKeyboardCapture && wParam == 1 && !m_shutDown)
        m_hook = new CDeviceHook(this);
    if (m_hook && !m_hookConnected) {
        connect(m_hook, &CDeviceHook::lost, this, &CMainWnd::OnHookLost);
        m_hookConnected = true;
    }
    CVantikUSBDevice* device = m_devices ? m_devices->CurrentDevice() : nullptr;
    if (msg == app::pm::kKeyboardCapture) {
        if (!m_hook)
            return true;
        if (wParam == 1 && !m_shutDown) {
            result = m_hook->StartHook(CDeviceHook::SingleKey, this, true, true);
            if (m_hook->WindowOnly() && device)
                if (auto* panel = device->findChild<CKeySetControlUI*>())
                    panel->ShowCaptureNotice();
        } else {
            result = m_hook->RemoveHook();
        }
        return true;
    }
    if (msg < RegisteredMessages::kFirstId)
        return false;
    const QString name = RegisteredMessages::Name(msg);
    if (!name.startsWith(QLatin1String("WM_HOOK_")))
        return false;
    // While the system sleeps, and for devices without key editors, the events are dropped.
    if (!IsSystemAwake() || !HasKeyEditors(device) || !lParam)
        return true;
    if (name == QLatin1String("WM_HOOK_KEY_SINGLEKEY_MSG")) {
        const auto* record = reinterpret_cast<const KeyboardHookRecord*>(lParam);
        if (auto* panel = device->findChild<CKeySetControlUI*>())
            panel->CaptureKey(record->scanCode, record->flags);
        return true;
    }
    struct Route {
        const char* keyboard;
        const char* mouse;
        CMacroControlUI::Placement placement;
    };
    static constexpr Route kRoutes[] = {
        {"WM_HOOK_KEY_KBMACRO_MSG", "WM_HOOK_KEY_MSMACRO_MSG", CMacroControlUI::Append},
        {"WM_HOOK_KEY_KBMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROPREVIOUS_MSG", CMacroControlUI::Before},
        {"WM_HOOK_KEY_KBMACROLATER_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG", CMacroControlUI::After},
        {"WM_HOOK_KEY_KBMACROSINGLE_MSG", "WM_HOOK_KEY_MSMACROSINGLE_MSG", CMacroControlUI::Replace},
    };
    if (name == QLatin1String("WM_HOOK_KEY_MSMACRO_MSG"))
        qCDebug(tesselDebug) << "WM_HOOK_KEY_MSMACRO";
    auto* macros = device->findChild<CMacroControlUI*>();
    if (!macros)
        return true;
    for (const Route& r : kRoutes) {
        if (name == QLatin1String(r.keyboard))
            macros->RecordKeyEvent(r.placement, uint32_t(wParam), *reinterpret_cast<const KeyboardHookRecord*>(lParam));
        else if (name == QLatin1String(r.mouse))
            macros->RecordMouseEvent(r.placement, uint32_t(wParam), *reinterpret_cast<const HookMouseRecord*>(lParam));
    }
    return true;
}

void CMainWnd::OnHookLost()
{
    // The hook is already off; a recording of the current device ends and is saved.
    qCDebug(tesselDebug) << "hook released: focus lost";
    CVantikUSBDevice* device = m_devices ? m_devices->CurrentDevice() : nullptr;
    if (auto* macros = device ? device->findChild<CMacroControlUI*>() : nullptr; macros && macros->IsRecording())
        macros->EndRecording();
}

void CMainWnd::OnShutdownHook()
{
    // A recording in progress is ended and saved first: ending Tessel (Exit, SIGTERM, logout)
    // must not lose the events recorded so far.
    for (CMacroControlUI* macros : findChildren<CMacroControlUI*>())
        if (macros->IsRecording())
            macros->EndRecording();
    if (auto* hook = m_hook ? m_hook.data() : findChild<CDeviceHook*>())
        hook->RemoveHook();
}
