#include "editors/CDeviceHook.h"

#include "app/RegisteredMessages.h"
#include "ui/WindowImplBase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QWindow>

#include <dlfcn.h>

// Last: Xlib defines macros that clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#undef None
#undef Bool
#undef KeyPress
#undef KeyRelease
#undef FocusIn
#undef FocusOut
#undef Status

namespace {

bool IsKeyEvent(QEvent::Type t)
{
    return t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride || t == QEvent::ContextMenu;
}

// The virtual-key codes other programs know for the keys whose meaning the hook keeps.
uint32_t VirtualKeyOf(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    default: return 0;
    }
}

bool IsLockKey(uint32_t vk)
{
    return vk == 0x14 || vk == 0x90 || vk == 0x91;
}

// Mouse events arrive on the library's thread; the window takes them on its own, in order.
void SendFromLibrary(void* context, const char* messageName, uint32_t mouseMessage, const HookMouseRecord* record)
{
    auto* hook = static_cast<CDeviceHook*>(context);
    if (!hook || !record)
        return;
    const HookMouseRecord copy = *record;
    const uint32_t id = app::RegisteredMessages::Register(QString::fromLatin1(messageName));
    QMetaObject::invokeMethod(hook, [hook, id, mouseMessage, copy]() mutable {
        if (!hook->IsOn())
            return;
        if (WindowImplBase* w = hook->Window())
            w->SendMessage(id, intptr_t(mouseMessage), reinterpret_cast<intptr_t>(&copy));
    }, Qt::QueuedConnection);
}

// The application's own connection to the X server, or null on other platforms.
Display* QtDisplay()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

}  // namespace

CDeviceHook::CDeviceHook(QObject* parent) : QObject(parent)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) { OnApplicationState(int(state)); });
}

CDeviceHook::~CDeviceHook()
{
    RemoveHook();
    if (m_library)
        ::dlclose(m_library);
}

const char* CDeviceHook::KeyboardMessageName(int mode)
{
    switch (mode) {
    case SingleKey: return "WM_HOOK_KEY_SINGLEKEY_MSG";
    case HitKey: return "WM_HOOK_KEY_HITKEY_MSG";
    case MacroAppend: return "WM_HOOK_KEY_KBMACRO_MSG";
    case MacroBefore: return "WM_HOOK_KEY_KBMACROPREVIOUS_MSG";
    case MacroAfter: return "WM_HOOK_KEY_KBMACROLATER_MSG";
    case MacroReplace: return "WM_HOOK_KEY_KBMACROSINGLE_MSG";
    case MouseSingleKey: return "WM_HOOK_MOU_SINGLEKEY_MSG";
    case MouseHitKey: return "WM_HOOK_MOU_HITKEY_MSG";
    case MouseMacro: return "WM_HOOK_MOU_KBMACRO_MSG";
    default: return nullptr;
    }
}

bool CDeviceHook::ScanCodeOfXKey(uint32_t xKeycode, uint8_t& scan, bool& extended)
{
    if (xKeycode < 8)
        return false;
    const uint32_t code = xKeycode - 8;  // the kernel's key code
    extended = false;
    // The main block, the function keys up to F10 and the keypad: the kernel numbers these
    // keys by their set-1 make code.
    if (code >= 1 && code <= 83 && code != 69) {
        scan = uint8_t(code);
        return true;
    }
    struct Special { uint16_t code; uint8_t scan; bool extended; };
    static constexpr Special kSpecial[] = {
        {69, 0x45, true},   // Num Lock
        {86, 0x56, false},  // the key beside left Shift (K45)
        {87, 0x57, false}, {88, 0x58, false},  // F11, F12
        {89, 0x73, false},  // Ro (K56)
        {92, 0x79, false},  // Henkan (K132)
        {93, 0x70, false},  // Katakana/Hiragana (K133)
        {94, 0x7B, false},  // Muhenkan (K131)
        {96, 0x1C, true},   // keypad Enter
        {97, 0x1D, true},   // right Ctrl
        {98, 0x35, true},   // keypad /
        {99, 0x37, true},   // Print Screen
        {100, 0x38, true},  // right Alt
        {102, 0x47, true}, {103, 0x48, true}, {104, 0x49, true},  // Home, Up, Page Up
        {105, 0x4B, true}, {106, 0x4D, true},                     // Left, Right
        {107, 0x4F, true}, {108, 0x50, true}, {109, 0x51, true},  // End, Down, Page Down
        {110, 0x52, true}, {111, 0x53, true},                     // Insert, Delete
        {119, 0x45, false},  // Pause
        {121, 0x7E, false},  // keypad comma (K107)
        {122, 0x72, false},  // Hangeul (K151)
        {123, 0x71, false},  // Hanja (K150)
        {124, 0x7D, false},  // Yen (K14)
        {125, 0x5B, true}, {126, 0x5C, true},  // left and right Super
        {127, 0x5D, true},   // Menu
    };
    for (const Special& s : kSpecial) {
        if (s.code == code) {
            scan = s.scan;
            extended = s.extended;
            return true;
        }
    }
    return false;
}

bool CDeviceHook::LoadLibrary()
{
    if (m_library)
        return true;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/libHookDLL.so");
    for (const QString& file : {beside, QStringLiteral("libHookDLL.so")}) {
        if (file == beside && !QFileInfo::exists(beside))
            continue;
        m_library = ::dlopen(file.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (m_library)
            break;
    }
    if (!m_library)
        return false;
    m_install = reinterpret_cast<InstallHookFn>(::dlsym(m_library, "InstallHook"));
    m_uninstall = reinterpret_cast<UnInstallHookFn>(::dlsym(m_library, "UnInstallHook"));
    return m_install && m_uninstall;
}

int CDeviceHook::StartHook(int mode, WindowImplBase* window, bool keyboard, bool library)
{
    if (m_keyboardOn) {
        qApp->removeEventFilter(this);
        if (m_serverGrab && m_window && m_window->windowHandle())
            m_window->windowHandle()->setKeyboardGrabEnabled(false);
        m_serverGrab = false;
        m_keyboardOn = false;
        m_down.clear();
        RestoreRepeat();
    }
    if (m_libraryOn) {
        if (m_uninstall)
            m_uninstall(&m_target);
        m_libraryOn = false;
    }
    if (keyboard) {
        if (!window)
            return 0;
        m_windowOnly = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb") && window->windowHandle())
            m_serverGrab = window->windowHandle()->setKeyboardGrabEnabled(true);
        m_windowOnly = !m_serverGrab;
        DetectRepeat();
        qApp->installEventFilter(this);
        m_keyboardOn = true;
    }
    if (library && LoadLibrary()) {
        m_target = HookTarget{SendFromLibrary, this};
        m_install(&m_target, mode);
        m_libraryOn = true;
    }
    m_window = window;
    m_mode = mode;
    return 1;
}

int CDeviceHook::RemoveHook()
{
    const int result = m_keyboardOn ? 1 : 0;
    if (m_keyboardOn) {
        qApp->removeEventFilter(this);
        if (m_serverGrab && m_window && m_window->windowHandle())
            m_window->windowHandle()->setKeyboardGrabEnabled(false);
        m_serverGrab = false;
        m_keyboardOn = false;
        m_down.clear();
        RestoreRepeat();
    }
    if (m_uninstall)
        m_uninstall(&m_target);
    m_libraryOn = false;
    return result;
}

void CDeviceHook::DetectRepeat()
{
    // The server then repeats a held key as presses alone (no release between them), so no
    // repeat can pass for a new press and release, however late the window reads its events.
    Display* display = QtDisplay();
    if (!display || m_repeatDetected)
        return;
    int supported = 0;
    m_repeatWasDetectable = XkbGetDetectableAutoRepeat(display, &supported) && supported;
    if (XkbSetDetectableAutoRepeat(display, 1, &supported) && supported)
        m_repeatDetected = true;
}

void CDeviceHook::RestoreRepeat()
{
    if (!m_repeatDetected)
        return;
    m_repeatDetected = false;
    if (Display* display = QtDisplay(); display && !m_repeatWasDetectable) {
        int supported = 0;
        XkbSetDetectableAutoRepeat(display, 0, &supported);
    }
}

void CDeviceHook::OnApplicationState(int state)
{
    if (state == Qt::ApplicationActive || (!m_keyboardOn && !m_libraryOn))
        return;
    // A capture must never keep the keyboard once the user went elsewhere.
    RemoveHook();
    emit lost();
}

bool CDeviceHook::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_keyboardOn || !IsKeyEvent(event->type()))
        return QObject::eventFilter(watched, event);
    // Key events reach widgets, and their windows before them: take each event once, at its
    // first receiver, and keep it from every control.
    if (!watched->isWidgetType())
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();  // no shortcut runs while the keyboard is captured
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        // The Menu key is a key to capture: the context menu it would open takes the focus and
        // so ends the capture.
        if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
            event->accept();
            return true;
        }
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const bool press = event->type() == QEvent::KeyPress;
    // A held key is one press and one release: the server repeats it as release and press
    // pairs, which Qt marks; with detectable repeat it sends presses only, and a press of a key
    // that is down already is such a repeat too.
    const quint32 native = key->nativeScanCode();
    if (key->isAutoRepeat()) {
        event->accept();
        return !IsLockKey(VirtualKeyOf(key->key()));
    }
    if (press && native != 0) {
        if (m_down.contains(native)) {
            event->accept();
            return !IsLockKey(VirtualKeyOf(key->key()));
        }
        m_down.insert(native);
    } else if (!press) {
        m_down.remove(native);
    }
    KeyboardHookRecord record;
    uint8_t scan = 0;
    bool extended = false;
    if (ScanCodeOfXKey(key->nativeScanCode(), scan, extended)) {
        record.scanCode = scan;
        record.flags = extended ? 1 : 0;
    }
    if (!press)
        record.flags |= 0x80;
    record.vkCode = VirtualKeyOf(key->key());
    // The time the event happened (the X server's time stamp), not the time it is handled
    // here: a busy window must not shorten the delays of a recording. Only the X server's time
    // shares its clock with the hook library's mouse events; elsewhere, and for events made
    // inside the application, 0 (unknown).
    record.time = QGuiApplication::platformName() == QLatin1String("xcb") ? uint32_t(key->timestamp()) : 0;
    const bool alt = key->modifiers().testFlag(Qt::AltModifier) || key->key() == Qt::Key_Alt;
    const uint32_t message = press ? (alt ? kSysKeyDown : kKeyDown) : (alt ? kSysKeyUp : kKeyUp);
    if (const char* name = KeyboardMessageName(m_mode); name && m_window)
        m_window->SendMessage(app::RegisteredMessages::Register(QString::fromLatin1(name)), intptr_t(message),
                              reinterpret_cast<intptr_t>(&record));
    return !IsLockKey(record.vkCode);
}
