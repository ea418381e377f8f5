// A macro recorded through the real main window on a real X server (the Xvfb that
// KeyCaptureX11Test's main starts): a key held while the server repeats it is recorded as one
// press and one release, with the time it was held as the delay between them.
#include "tests/editors/PanelTestFixture.h"
#include "editors/CDeviceHook.h"
#include "editors/CMacroControlUI.h"

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

class MacroRecordX11Test : public PanelOnSimulatorTest {};

TEST_F(MacroRecordX11Test, HeldKeyIsOnePressAndOneReleaseWithTheHeldTimeBetween)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(macros, "macro_btn_name_add");
    macros->SelectMacro(0);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    Display* input = XOpenDisplay(nullptr);
    ASSERT_NE(input, nullptr);
    XAutoRepeatOn(input);
    XkbSetAutoRepeatRate(input, XkbUseCoreKbd, 60, 15);
    XSync(input, False);

    macros->BeginRecording(CMacroControlUI::Append, 1);
    auto* hook = window->findChild<CDeviceHook*>();
    ASSERT_NE(hook, nullptr);
    EXPECT_TRUE(hook->HasServerGrab());
    const KeyCode a = XKeysymToKeycode(input, XK_a);
    XTestFakeKeyEvent(input, a, 1, 0);
    XFlush(input);
    QTest::qWait(600);  // the user holds the key this long; the server repeats it meanwhile
    XTestFakeKeyEvent(input, a, 0, 0);
    XFlush(input);
    EXPECT_TRUE(waitFor([&] { return macros->RowData().size() >= 2; }));
    QTest::qWait(100);  // a stray row after the release would still be seen below
    macros->EndRecording();
    XkbSetAutoRepeatRate(input, XkbUseCoreKbd, 660, 40);
    XCloseDisplay(input);

    const QStringList rows = macros->RowData();
    ASSERT_EQ(rows.size(), 2) << rows.join('\n').toStdString();
    const Json::Value down = parseJson(rows[0].toUtf8()), up = parseJson(rows[1].toUtf8());
    EXPECT_EQ(down["Button"].asInt(), 0x04);
    EXPECT_EQ(up["Button"].asInt(), 0x04);
    EXPECT_EQ(up["Action"].asString(), "up");
    const int held = std::stoi(down["Delay"].asString());
    EXPECT_GE(held, 550);
    EXPECT_LT(held, 5000);
}

}  // namespace
