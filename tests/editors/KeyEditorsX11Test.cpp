// The key editors of the real main window on a real X server (the Xvfb that
// KeyCaptureX11Test's main starts): a key held while the server repeats it is recorded as one
// press and one release, with the time it was held as the delay between them; and the Menu key
// pressed in the key panel's capture is captured like any key.
#include "tests/editors/PanelTestFixture.h"
#include "devices/CVantikKeyboardDevice.h"
#include "editors/CDeviceHook.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"

#include <QApplication>

// Last: Xlib defines macros that clash with names above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef None
#undef Bool
#undef KeyPress
#undef KeyRelease

// Why the X server is not there (empty when it runs); set by the binary's main.
extern std::string g_noXServer;

namespace {

// Without the X server each test reports itself skipped with the reason.
class KeyEditorsX11Test : public PanelOnSimulatorTest {
protected:
    void SetUp() override
    {
        if (!g_noXServer.empty())
            GTEST_SKIP() << g_noXServer;
        PanelOnSimulatorTest::SetUp();
    }
    void TearDown() override
    {
        if (g_noXServer.empty())
            PanelOnSimulatorTest::TearDown();
    }
};

TEST_F(KeyEditorsX11Test, HeldKeyIsOnePressAndOneReleaseWithTheHeldTimeBetween)
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

TEST_F(KeyEditorsX11Test, MenuKeyIsCapturedAndTheCaptureGoesOn)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    auto* profile = keyboard->findChild<CDeviceProfileUI*>();
    auto* panel = keyboard->findChild<CKeySetControlUI*>();
    ASSERT_TRUE(profile && panel);
    profile->SelectFeatureTab(CDeviceProfileUI::TabKeys);
    int position = -1;
    ASSERT_TRUE(waitFor([&] {
        for (int p = 20; p < CVantikKeyboardDevice::kKeyPositions && position < 0; ++p)
            if (keyboard->SlotOf(p) != CVantikKeyboardDevice::kUnknown && keyboard->KeyButton(p) &&
                keyboard->KeyAssignments().size() > size_t(p))
                position = p;
        return position >= 0;
    }));
    qobject_cast<QAbstractButton*>(keyboard->KeyButton(position))->click();
    ASSERT_EQ(panel->EditedKey(), position);
    auto* categories = control<QComboBox>(panel, "keyset_function_combo");
    categories->setCurrentIndex(categories->findData(QString::number(CKeySetControlUI::CatKey)));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    auto* edit = control<QLineEdit>(panel, "keyset_keyboard_text_edit");
    edit->setFocus();
    CDeviceHook* hook = nullptr;
    ASSERT_TRUE(waitFor([&] { hook = window->findChild<CDeviceHook*>(); return hook && hook->IsOn(); }));

    Display* input = XOpenDisplay(nullptr);
    ASSERT_NE(input, nullptr);
    const KeyCode menu = XKeysymToKeycode(input, XK_Menu);
    XTestFakeKeyEvent(input, menu, 1, 0);
    XTestFakeKeyEvent(input, menu, 0, 0);
    XCloseDisplay(input);
    // App (usage 0x65), with no modifier chosen.
    EXPECT_TRUE(waitFor([&] { return keyboard->KeyAssignments()[size_t(position)].current.packed() == 0x200065u; }))
        << std::hex << keyboard->KeyAssignments()[size_t(position)].current.packed();
    QTest::qWait(200);  // a context menu the press made would be open by now
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_TRUE(hook->IsOn()) << "the capture goes on";
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
}

}  // namespace
