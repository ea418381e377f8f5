// The recording hook on a real X server (Xvfb, started here): the keyboard grab takes Alt+Tab
// and the Super key from the desktop, keys arrive as set-1 scan codes, the grab is gone after
// the hook stops, and the hook library reports mouse buttons without grabbing them; a held key
// is one press and one release, each event carries the server's own time, and the Menu key is
// a key like any other. Input is made by xdotool and XTest, as a user's would be.
#include "tests/support/OwnXServer.h"
#include "app/RegisteredMessages.h"
#include "editors/CDeviceHook.h"
#include "ui/WindowImplBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

// Last: Xlib defines macros that clash with names above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef KeyPress
#undef KeyRelease

namespace {

constexpr int kWaitMs = 10000;

struct Event {
    QString name;
    uint32_t message;
    uint32_t scan;
    uint32_t flags;
    uint32_t mouseData;
    uint32_t time;
};

class RecordingWindow : public WindowImplBase {
public:
    std::vector<Event> events;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& handled) override
    {
        const QString name = app::RegisteredMessages::Name(msg);
        if (!name.startsWith("WM_HOOK_"))
            return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, handled);
        handled = true;
        Event e{name, uint32_t(wParam), 0, 0, 0, 0};
        if (name.contains("_MSMACRO")) {
            e.mouseData = reinterpret_cast<const HookMouseRecord*>(lParam)->mouseData;
            e.time = reinterpret_cast<const HookMouseRecord*>(lParam)->time;
        } else {
            const auto* r = reinterpret_cast<const KeyboardHookRecord*>(lParam);
            e.scan = r->scanCode;
            e.flags = r->flags;
            e.time = r->time;
        }
        events.push_back(e);
        return 0;
    }
};

bool xdotool(const QStringList& args)
{
    return QProcess::execute(QStandardPaths::findExecutable("xdotool"), args) == 0;
}

// Whether another client can take the keyboard now (it cannot while a grab holds it).
bool keyboardFree()
{
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return false;
    const int status = XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XUngrabKeyboard(d, CurrentTime);
    XCloseDisplay(d);
    return status == GrabSuccess;
}

// A connection of its own for XTest input, as a second keyboard on the desk would be.
struct FakeInput {
    Display* display = XOpenDisplay(nullptr);
    ~FakeInput()
    {
        if (display)
            XCloseDisplay(display);
    }
    // The key of `keysym`, pressed or released after the server waited `delayMs`.
    void key(unsigned long keysym, bool press, unsigned long delayMs = 0)
    {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), press, delayMs);
        XFlush(display);
    }
};

// Sees the key presses Qt hands out before the hook does (filters run newest first), so a test
// can tell that the server really repeated a held key (as marked repeats, or as presses alone).
struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched->isWidgetType() && event->type() == QEvent::KeyPress)
            ++presses;
        return false;
    }
};

struct ShownWindow {
    RecordingWindow window;
    QLineEdit* edit = nullptr;
    bool show()
    {
        app::RegisteredMessages::RegisterAll();
        if (!window.Create(nullptr, "capture"))
            return false;
        window.resize(300, 200);
        edit = new QLineEdit(&window);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowExposed(&window, kWaitMs) || !QTest::qWaitForWindowActive(&window, kWaitMs))
            return false;
        edit->setFocus();
        return true;
    }
    int count(uint32_t message) const
    {
        return int(std::count_if(window.events.begin(), window.events.end(),
                                 [&](const Event& e) { return e.message == message; }));
    }
};

}  // namespace

// Why the X server the tests need is not there (empty when it runs); set by main.
std::string g_noXServer;

namespace {
// Without the X server, each test reports itself skipped with the reason, never passed.
class KeyCaptureX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_noXServer.empty())
            GTEST_SKIP() << g_noXServer;
    }
};
}  // namespace

TEST_F(KeyCaptureX11, HeldKeyIsOnePressAndOneReleaseWhileTheServerRepeats)
{
    ShownWindow shown;
    ASSERT_TRUE(shown.show());
    FakeInput input;
    ASSERT_NE(input.display, nullptr);
    // Repeat soon and fast, so a short hold gives many repeats.
    XAutoRepeatOn(input.display);
    ASSERT_TRUE(XkbSetAutoRepeatRate(input.display, XkbUseCoreKbd, 60, 15));
    XSync(input.display, False);

    for (int mode : {int(CDeviceHook::MacroAppend), int(CDeviceHook::SingleKey)}) {
        SCOPED_TRACE(mode);
        shown.window.events.clear();
        CDeviceHook hook;
        ASSERT_EQ(hook.StartHook(mode, &shown.window, true, false), 1);
        PressCounter counter;
        qApp->installEventFilter(&counter);
        input.key(XK_a, true);
        // The hold itself: the user keeps the key down this long.
        QTest::qWait(600);
        input.key(XK_a, false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count(CDeviceHook::kKeyUp) >= 1; }, kWaitMs));
        QTest::qWait(100);  // a stray event after the release would still be counted below
        qApp->removeEventFilter(&counter);
        EXPECT_GT(counter.presses, 4) << "the server repeated the held key";
        EXPECT_EQ(shown.count(CDeviceHook::kKeyDown), 1);
        EXPECT_EQ(shown.count(CDeviceHook::kKeyUp), 1);
        for (const Event& e : shown.window.events)
            EXPECT_EQ(e.scan, 0x1Eu);
        hook.RemoveHook();
        // The application's connection gets its usual repeat back.
        int supported = 0;
        EXPECT_FALSE(XkbGetDetectableAutoRepeat(
            qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display(), &supported));
    }
    XkbSetAutoRepeatRate(input.display, XkbUseCoreKbd, 660, 40);
    XSync(input.display, False);
}

TEST_F(KeyCaptureX11, EventsCarryTheServersTimeNotTheTimeTheyAreHandled)
{
    ShownWindow shown;
    ASSERT_TRUE(shown.show());
    FakeInput input;
    ASSERT_NE(input.display, nullptr);
    CDeviceHook hook;
    ASSERT_EQ(hook.StartHook(CDeviceHook::MacroAppend, &shown.window, true, false), 1);
    // The server makes the release 150 ms after the press; the window is busy meanwhile and
    // handles both at once afterwards.
    input.key(XK_b, true);
    input.key(XK_b, false, 150);
    XSync(input.display, False);
    QThread::msleep(400);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.window.events.size() >= 2; }, kWaitMs));
    const uint32_t gap = shown.window.events[1].time - shown.window.events[0].time;
    EXPECT_GE(gap, 145u);
    EXPECT_LT(gap, 5000u);
    hook.RemoveHook();
}

TEST_F(KeyCaptureX11, MenuKeyIsCapturedAndOpensNoContextMenu)
{
    ShownWindow shown;
    ASSERT_TRUE(shown.show());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.edit->hasFocus(); }, kWaitMs));
    FakeInput input;
    ASSERT_NE(input.display, nullptr);
    CDeviceHook hook;
    ASSERT_EQ(hook.StartHook(CDeviceHook::SingleKey, &shown.window, true, false), 1);
    input.key(XK_Menu, true);
    input.key(XK_Menu, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.window.events.size() >= 2; }, kWaitMs));
    // Whatever the press made (a context menu event comes with it) has been handled by now.
    QTest::qWait(200);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no context menu over the edit";
    EXPECT_TRUE(shown.edit->hasFocus());
    EXPECT_TRUE(hook.IsOn());
    ASSERT_EQ(shown.window.events.size(), 2u);
    for (const Event& e : shown.window.events) {
        EXPECT_EQ(e.scan, 0x5Du);
        EXPECT_EQ(e.flags & 1, 1u);
    }
    hook.RemoveHook();
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

TEST_F(KeyCaptureX11, GrabTakesAltTabAndSuperAndIsGoneAfterStop)
{
    app::RegisteredMessages::RegisterAll();
    RecordingWindow window;
    ASSERT_TRUE(window.Create(nullptr, "capture"));
    window.resize(300, 200);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, kWaitMs));
    CDeviceHook hook;
    ASSERT_EQ(hook.StartHook(CDeviceHook::SingleKey, &window, true, true), 1);
    ASSERT_TRUE(hook.HasServerGrab());
    EXPECT_FALSE(keyboardFree());

    ASSERT_TRUE(xdotool({"key", "--clearmodifiers", "alt+Tab"}));
    ASSERT_TRUE(xdotool({"key", "Super_L"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.events.size() >= 6; }, kWaitMs)) << window.events.size();
    // Alt down, Tab down, Alt up, Tab up (as xdotool releases them), Super down, Super up.
    const uint32_t expected[][2] = {{0x38, 0}, {0x0F, 0}, {0x38, 0}, {0x0F, 0}, {0x5B, 1}, {0x5B, 1}};
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(window.events[i].name, "WM_HOOK_KEY_SINGLEKEY_MSG");
        EXPECT_EQ(window.events[i].scan, expected[i][0]);
        EXPECT_EQ(window.events[i].flags & 1, expected[i][1]);
    }
    EXPECT_EQ(window.events[0].message, CDeviceHook::kSysKeyDown);
    EXPECT_EQ(window.events[5].flags & 0x80, 0x80u) << "a release carries the up flag";

    hook.RemoveHook();
    EXPECT_FALSE(hook.IsOn());
    EXPECT_TRUE(QTest::qWaitFor(keyboardFree, kWaitMs)) << "the grab is gone after stop";
    window.events.clear();
    ASSERT_TRUE(xdotool({"key", "a"}));
    QTest::qWait(300);  // nothing should arrive; the check below is on the outcome, not the time
    EXPECT_TRUE(window.events.empty());

    // A recording: the library reports the mouse buttons system-wide, nothing is grabbed.
    ASSERT_EQ(hook.StartHook(CDeviceHook::MacroAppend, &window, true, true), 1);
    ASSERT_TRUE(xdotool({"mousemove", "5", "5", "click", "3"}));
    ASSERT_TRUE(xdotool({"click", "9"}));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return std::count_if(window.events.begin(), window.events.end(),
                             [](const Event& e) { return e.name == "WM_HOOK_KEY_MSMACRO_MSG"; }) >= 4;
    }, kWaitMs)) << window.events.size();
    std::vector<Event> mouse;
    for (const Event& e : window.events)
        if (e.name == "WM_HOOK_KEY_MSMACRO_MSG")
            mouse.push_back(e);
    EXPECT_EQ(mouse[0].message, 0x0204u);
    EXPECT_EQ(mouse[1].message, 0x0205u);
    EXPECT_EQ(mouse[2].message, 0x020Bu);
    EXPECT_EQ(mouse[2].mouseData >> 16, 2u) << "button 9 is forward";
    EXPECT_NE(mouse[0].time, 0u) << "mouse events carry the server's time too";
    EXPECT_GE(mouse[1].time, mouse[0].time);
    hook.RemoveHook();
    EXPECT_TRUE(QTest::qWaitFor(keyboardFree, kWaitMs));
}

// Starts its own X server, so the tests need nothing from the machine but Xvfb and xdotool;
// without them every test reports itself skipped (ctest shows it as skipped too).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (ctest's discovery) needs no X server.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QProcess server;
    g_noXServer = testsupport::StartOwnXServer(server, {"xdotool"});
    // The fixtures need an application object either way; without X it draws nowhere.
    qputenv("QT_QPA_PLATFORM", g_noXServer.empty() ? "xcb" : "offscreen");
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(3000)) {
            server.kill();
            server.waitForFinished(3000);
        }
    }
    return result;
}
