#include "tests/editors/PanelTestFixture.h"
#include "tests/editors/ControlTable.h"
#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/DeviceHub.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/CDeviceHook.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CMacroControlUI.h"
#include "editors/KeyFunctionTables.h"
#include "editors/MacroRowDelegate.h"
#include "editors/PanelServices.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/CJsonFile.h"
#include "ui/CRedioMacroButtonUI.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QDirIterator>
#include <QListWidget>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QElapsedTimer>
#include <iostream>
#include <gtest/gtest.h>
#include <json/reader.h>

// The key assignment panel end to end: the simulator runs as its own process, the real main
// window finds the keyboard and the mouse, the panel is worked through its controls, and what
// reached a device is read back from the simulator's key table.
namespace {


class KeyPanelTest : public PanelOnSimulatorTest {
protected:

    // Shows the key tab of the current device's page and picks key `position` on its picture.
    CKeySetControlUI* pickKey(CVantikUSBDevice* device, int position)
    {
        auto* profile = device->findChild<CDeviceProfileUI*>();
        auto* panel = device->findChild<CKeySetControlUI*>();
        if (!profile || !panel)
            return nullptr;
        profile->SelectFeatureTab(CDeviceProfileUI::TabKeys);
        // The device loads its profile once it has read itself after the connection.
        if (!waitFor([&] { return device->KeyAssignments().size() > size_t(position); })) {
            ADD_FAILURE() << "no assignments in " << device->Profile().GetProfilePath().toStdString();
            return nullptr;
        }
        auto* button = qobject_cast<QAbstractButton*>(device->KeyButton(position));
        if (!button) {
            ADD_FAILURE() << "no button " << position << " keys " << device->KeyCount() << " assignments "
                          << device->KeyAssignments().size();
            return nullptr;
        }
        button->click();
        if (panel->EditedKey() != position)
            ADD_FAILURE() << "not picked " << position << " visible " << panel->isVisible() << " assignments "
                          << device->KeyAssignments().size();
        return panel->EditedKey() == position ? panel : nullptr;
    }
    static void chooseCategory(CKeySetControlUI* panel, int category)
    {
        auto* combo = control<QComboBox>(panel, "keyset_function_combo");
        ASSERT_NE(combo, nullptr);
        const int item = combo->findData(QString::number(category));
        ASSERT_GE(item, 0) << category;
        combo->setCurrentIndex(item);
    }
    static void choose(CKeySetControlUI* panel, const char* comboName, int index)
    {
        auto* combo = control<QComboBox>(panel, comboName);
        ASSERT_NE(combo, nullptr) << comboName;
        combo->setCurrentIndex(index);
    }
    static void type(CKeySetControlUI* panel, const char* editName, const QString& text)
    {
        auto* edit = control<QLineEdit>(panel, editName);
        ASSERT_NE(edit, nullptr) << editName;
        edit->setText(text);
    }
    // The triple the device holds in key slot `slot`, as hex.
    std::string slotHex(const QString& simName, int slot)
    {
        const std::string hex = sim->dumpHex(simName, "keytable");
        return hex.size() >= size_t(6 * slot + 6) ? hex.substr(size_t(6 * slot), 6) : std::string();
    }
    // The delay editor of event row `row`, opened as the user does: a click in the row's delay box.
    static QLineEdit* openDelay(CMacroControlUI* macros, int row)
    {
        auto* list = control<QListWidget>(macros, "macro_action_list");
        if (!list || row >= list->count())
            return nullptr;
        list->scrollToItem(list->item(row));
        const QRect box = macroview::MacroRowDelegate::DelayRect(list->visualItemRect(list->item(row)), list->fontMetrics());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
        return list->viewport()->findChild<QLineEdit*>("macro_delay");
    }
    // A key of the keyboard picture that the keyboard has a slot for.
    static int knownKeyboardKey(CVantikKeyboardDevice* k, int from)
    {
        for (int p = from; p < CVantikKeyboardDevice::kKeyPositions; ++p)
            if (k->SlotOf(p) != CVantikKeyboardDevice::kUnknown && k->KeyButton(p))
                return p;
        return -1;
    }
};

QString text(const char* id)
{
    return ui::Language::instance().Text(QLatin1String(id));
}

}  // namespace

TEST_F(KeyPanelTest, AssignmentsReachTheKeyTableAtTheKeysSlot)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
    const int position = knownKeyboardKey(keyboard, 20);
    ASSERT_GE(position, 0) << keyboard->KeyCount() << " " << keyboard->IdentifiedKeyCount() << " " << (keyboard->KeyButton(20) != nullptr);
    CKeySetControlUI* panel = pickKey(keyboard, position);
    ASSERT_NE(panel, nullptr);
    auto* layout = control<QWidget>(panel, "keyset_layout");
    EXPECT_TRUE(layout->isVisible());
    // A keyboard offers neither DPI actions nor gun patterns.
    auto* categories = control<QComboBox>(panel, "keyset_function_combo");
    EXPECT_EQ(categories->count(), 10);
    EXPECT_LT(categories->findData("4"), 0);
    EXPECT_LT(categories->findData("10"), 0);

    const int slot = keyboard->SlotOf(position);
    const std::string before = slotHex("keyboard", slot);
    chooseCategory(panel, CKeySetControlUI::CatMedia);
    choose(panel, "keyset_media_combo", 17);  // mail, usage 0x018A
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x308A01u);
    EXPECT_EQ(qobject_cast<QAbstractButton*>(keyboard->KeyButton(position))->text(), text("media_mail"));
    // Nothing reaches the keyboard before "write to device".
    EXPECT_EQ(slotHex("keyboard", slot), before);
    click(panel, "key_butt_prosave");
    EXPECT_TRUE(waitFor([&] { return slotHex("keyboard", slot) == "308a01"; })) << slotHex("keyboard", slot);
    EXPECT_EQ(keyboard->KeyboardProfile().GetKeyList()[size_t(position)].current.packed(), 0x308A01u);

    // The mouse: rapid fire with values wider than their fields, stored cut to 8 bits.
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    int button = -1;
    ASSERT_TRUE(waitFor([&] {
        return !mouse->KeyAssignments().empty() &&
               std::count(mouse->ButtonSlots().begin(), mouse->ButtonSlots().end(), CVantikMouseDevice::kNotFound) <
                   CVantikMouseDevice::kButtons;
    }));
    for (int j = 0; j < CVantikMouseDevice::kButtons; ++j)
        if (mouse->ButtonSlots()[size_t(j)] != CVantikMouseDevice::kNotFound && mouse->KeyButton(j)) {
            button = j;
            break;
        }
    ASSERT_GE(button, 0);
    CKeySetControlUI* mousePanel = pickKey(mouse, button);
    ASSERT_NE(mousePanel, nullptr);
    EXPECT_EQ(control<QComboBox>(mousePanel, "keyset_function_combo")->count(), 12);
    chooseCategory(mousePanel, CKeySetControlUI::CatFire);
    type(mousePanel, "keyset_mousefire_interval_edit", "300");
    type(mousePanel, "keyset_mousefire_num_edit", "5x");
    click(mousePanel, "key_butt_keysave");
    EXPECT_EQ(mouse->KeyAssignments()[size_t(button)].current.packed(), 0x142C05u);
    click(mousePanel, "key_butt_prosave");
    const int mouseSlot = mouse->ButtonSlots()[size_t(button)];
    EXPECT_TRUE(waitFor([&] { return slotHex("mouse", mouseSlot) == "142c05"; })) << slotHex("mouse", mouseSlot);
    EXPECT_EQ(qobject_cast<QAbstractButton*>(mouse->KeyButton(button))->text(), text("mouse_key_fire_key"));
}

namespace {

// A key event as the X server reports it: the kernel's key code + 8.
void sendKey(QWidget* to, QEvent::Type type, int qtKey, uint32_t kernelCode)
{
    QKeyEvent event(type, qtKey, Qt::NoModifier, kernelCode + 8, 0, 0);
    QApplication::sendEvent(to, &event);
}

}  // namespace

TEST_F(KeyPanelTest, CapturedKeysBuildTheKeyAndModifierAndStayFromControls)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
    const int position = knownKeyboardKey(keyboard, 20);
    CKeySetControlUI* panel = pickKey(keyboard, position);
    ASSERT_NE(panel, nullptr);
    chooseCategory(panel, CKeySetControlUI::CatKey);
    auto* edit = control<QLineEdit>(panel, "keyset_keyboard_text_edit");
    auto* hook = window->findChild<CDeviceHook*>();
    window->activateWindow();
    edit->setFocus();
    ASSERT_TRUE(waitFor([&] { hook = window->findChild<CDeviceHook*>(); return hook && hook->IsOn(); }));
    // No X server here: only the window is watched, and the panel says so.
    EXPECT_TRUE(hook->WindowOnly());
    EXPECT_TRUE(control<QWidget>(panel, "keyset_capture_notice")->isVisibleTo(panel));

    // RShift (kernel 54), then A (30): first the modifier alone, then the key with it.
    sendKey(edit, QEvent::KeyPress, Qt::Key_Shift, 54);
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x200200u);
    EXPECT_EQ(panel->GetModifierOption(), 2);
    sendKey(edit, QEvent::KeyRelease, Qt::Key_Shift, 54);
    sendKey(edit, QEvent::KeyPress, Qt::Key_A, 30);
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x200204u);
    EXPECT_EQ(edit->text(), text("keyboard_key_A")) << "the key reached the edit as text only through the panel";
    // Right Ctrl (kernel 97, extended) shows the Ctrl option and stores the left-side bit.
    sendKey(edit, QEvent::KeyPress, Qt::Key_Control, 97);
    EXPECT_EQ(panel->GetModifierOption(), 1);
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x200100u);
    // A key without a scan code (a media key) is ignored.
    sendKey(edit, QEvent::KeyPress, Qt::Key_VolumeUp, 115);
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x200100u);
    // Ctrl+C the natural way (Ctrl down, C down, C up, Ctrl up) stays Ctrl+C: releases change
    // nothing.
    sendKey(edit, QEvent::KeyPress, Qt::Key_Control, 29);
    sendKey(edit, QEvent::KeyPress, Qt::Key_C, 46);
    sendKey(edit, QEvent::KeyRelease, Qt::Key_C, 46);
    sendKey(edit, QEvent::KeyRelease, Qt::Key_Control, 29);
    EXPECT_EQ(keyboard->KeyAssignments()[size_t(position)].current.packed(), 0x200106u);
    EXPECT_EQ(panel->GetModifierOption(), 1);
    EXPECT_EQ(edit->text(), text("keyboard_key_C"));

    // Leaving the edit ends the capture.
    control<QWidget>(panel, "key_butt_keysave")->setFocus();
    EXPECT_TRUE(waitFor([&] { return !hook->IsOn(); }));
}

TEST_F(KeyPanelTest, ChoosingACategoryAssignsNothingUntilAnItemIsPicked)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
    const int position = knownKeyboardKey(keyboard, 20);
    CKeySetControlUI* panel = pickKey(keyboard, position);
    ASSERT_NE(panel, nullptr);
    panel->SetMacroNames({"macro_1"});
    auto assigned = [&] { return keyboard->KeyAssignments()[size_t(position)].current.packed(); };
    const uint32_t before = assigned();
    // Each category's list shows nothing chosen, and the key keeps its function (choosing
    // "Keyboard key" used to turn it off, "System" to assign Power).
    const struct {
        int category;
        const char* combo;  // the list to pick from, or null
    } cases[] = {
        {CKeySetControlUI::CatKey, nullptr},
        {CKeySetControlUI::CatSystem, "keyset_system_combo"},
        {CKeySetControlUI::CatMedia, "keyset_media_combo"},
        {CKeySetControlUI::CatShortcut, "keyset_combokey_combo"},
        {CKeySetControlUI::CatMacro, "keyset_macro_combo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.category);
        chooseCategory(panel, c.category);
        EXPECT_EQ(assigned(), before);
        if (c.combo) {
            EXPECT_EQ(control<QComboBox>(panel, c.combo)->currentIndex(), -1);
        }
    }
    // Picking an item assigns it, the first item included.
    chooseCategory(panel, CKeySetControlUI::CatSystem);
    choose(panel, "keyset_system_combo", 0);
    EXPECT_EQ(assigned(), 0x400100u);
    // The default category has nothing to pick: choosing it restores the default.
    chooseCategory(panel, CKeySetControlUI::CatDefault);
    EXPECT_EQ(assigned(), keyboard->KeyAssignments()[size_t(position)].defaults.packed());
}

TEST_F(KeyPanelTest, ShowingAndReadingBackFollowTheEncoding)
{
    auto* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    CKeySetControlUI* panel = pickKey(mouse, 0);
    ASSERT_NE(panel, nullptr);
    panel->SetMacroNames({"macro_1", "macro_2"});
    const KeyAssignment def{0, 0x10, 0x01, 0};
    struct Case {
        KeyAssignment shown;
        int category;
        uint32_t readBack;  // what applying the shown controls stores
    } cases[] = {
        {{0, 0x10, 0x01, 0}, CKeySetControlUI::CatDefault, 0x100100},  // equal to the default
        {{0, 0x12, 0x23, 0xFB}, CKeySetControlUI::CatVScroll, 0x1223FB},  // down 5
        {{0, 0x12, 0x23, 0x80}, CKeySetControlUI::CatVScroll, 0x122380},  // down 0 shows 128
        {{0, 0x11, 0x11, 0x83}, CKeySetControlUI::CatHScroll, 0x111183},
        {{0, 0x20, 0x10, 0x04}, CKeySetControlUI::CatKey, 0x200104},  // RCtrl shows Ctrl
        {{0, 0x20, 0x03, 0x04}, CKeySetControlUI::CatKey, 0x200004},  // two bits: option 0
        {{0, 0x20, 0x01, 0x12}, CKeySetControlUI::CatKey, 0x200112},  // a shortcut reads as a key
        {{0, 0x71, 1, 7}, CKeySetControlUI::CatMacro, 0x710107},
        {{0, 0x70, 1, 2}, CKeySetControlUI::CatMacro, 0x700102},
        {{0, 0x72, 2, 0}, CKeySetControlUI::CatGun, 0x720200},
        {{0, 0x30, 0xCD, 0}, CKeySetControlUI::CatMedia, 0x30CD00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readBack);
        panel->LoadKey({c.shown, def});
        EXPECT_TRUE(control<QWidget>(panel, "keyset_layout")->isVisibleTo(panel));
        auto* chooser = control<QComboBox>(panel, "keyset_function_combo");
        EXPECT_EQ(chooser->currentData().toString().toInt(), c.category);
        EXPECT_EQ(control<QStackedWidget>(panel, "function_switch_tablayout")->currentIndex(), c.category);
        EXPECT_EQ(panel->ReadAssignment().current.packed(), c.readBack);
    }
    // Down with count 0 shows 128 and the down item.
    panel->LoadKey({{0, 0x12, 0, 0x80}, def});
    EXPECT_EQ(control<QLineEdit>(panel, "keyset_mousewheel_num_edit")->text(), "128");
    EXPECT_EQ(control<QComboBox>(panel, "keyset_mousewheel_combo")->currentIndex(), 1);
    // Typed values are cut to their fields; delay 17 is stored as 1, down 5 as 0xFB.
    chooseCategory(panel, CKeySetControlUI::CatVScroll);
    type(panel, "keyset_mousewheel_delay_edit", "17");
    type(panel, "keyset_mousewheel_speed_edit", "2");
    type(panel, "keyset_mousewheel_num_edit", "5");
    choose(panel, "keyset_mousewheel_combo", 1);
    EXPECT_EQ(panel->ReadAssignment().current.packed(), 0x1212FBu);
    // Macro category without a play mode stores mode 0xFF.
    chooseCategory(panel, CKeySetControlUI::CatMacro);
    choose(panel, "keyset_macro_over_combo", -1);
    choose(panel, "keyset_macro_combo", 1);
    EXPECT_EQ(panel->ReadAssignment().current.packed(), 0x7001FFu);
    // An unknown type hides the editing area.
    panel->LoadKey({{0, 0x99, 0, 0}, def});
    EXPECT_FALSE(control<QWidget>(panel, "keyset_layout")->isVisibleTo(panel));
}

TEST(KeyLabels, EveryTypeFollowsItsFunction)
{
    auto id = [](const QString& s) { return s; };
    auto label = [&](uint8_t t, uint8_t p1, uint8_t p2, keyfn::PageKind page = keyfn::PageKind::Keyboard) {
        return keyfn::AssignmentLabel({0, t, p1, p2}, page, {"first", "second"}, id);
    };
    EXPECT_EQ(label(0x20, 0x01, 0x12), "keyboard_key_LCtrl+keyboard_key_O");
    EXPECT_EQ(label(0x20, 0x03, 0x04), "keyboard_key_LCtrl+keyboard_key_LShift+keyboard_key_A");
    EXPECT_EQ(label(0x20, 0, 0), "close_text");
    EXPECT_EQ(label(0x20, 0, 0x04), "keyboard_key_A");
    EXPECT_EQ(label(0x10, 0x08, 0), "mouse_key_back");
    EXPECT_EQ(label(0x12, 0x11, 0xFB), "mouse_key_down_Swing");
    EXPECT_EQ(label(0x11, 0x11, 0x05), "mouse_key_left_Swing");
    EXPECT_EQ(label(0x22, 0, 2), "custem_paste");
    EXPECT_EQ(label(0x71, 1, 3), "second");
    EXPECT_EQ(label(0x70, 2, 0), "") << "a macro beyond the list keeps the label";
    EXPECT_EQ(label(0x72, 1, 0, keyfn::PageKind::Mouse), "gun_2_txt");
    EXPECT_EQ(label(0x72, 1, 0), "关闭");
    EXPECT_EQ(label(0xD0, 0xA2, 3), "keyboard_key_M3");
    EXPECT_EQ(label(0xD0, 0xA2, 3, keyfn::PageKind::Mouse), "关闭");
    EXPECT_EQ(label(0xA0, 0x1B, 0), "keyboard_key_GM");
    EXPECT_EQ(label(0xA0, 0x02, 0), "mouse_key_smart_key");
    EXPECT_EQ(label(0x15, 1, 1), "");
    EXPECT_EQ(label(0x99, 0, 0), "关闭");
}

TEST(KeyCapture, XKeyCodesBecomeScanCodesOfTheTable)
{
    struct Case {
        uint32_t kernel;
        const char* id;
    } cases[] = {
        {30, "keyboard_key_A"},        {125, "keyboard_key_LWin"},   {126, "keyboard_key_RWin"},
        {97, "keyboard_key_RCtrl"},    {54, "keyboard_key_RShift"},  {100, "keyboard_key_RAlt"},
        {15, "keyboard_key_Tab"},      {69, "keyboard_key_Num Lock"}, {119, "keyboard_key_Pause"},
        {96, "keyboard_key_Num Enter"}, {98, "keyboard_key_Num /"},  {99, "keyboard_key_Print Scr"},
        {111, "keyboard_key_Delete"},  {83, "keyboard_key_Decimal"}, {127, "keyboard_key_App"},
        {88, "keyboard_key_F12"},      {86, "keyboard_key_K45"},     {124, "keyboard_key_K14"},
    };
    for (const Case& c : cases) {
        uint8_t scan = 0;
        bool extended = false;
        ASSERT_TRUE(CDeviceHook::ScanCodeOfXKey(c.kernel + 8, scan, extended)) << c.id;
        const int row = keyfn::FindScanRow(scan, extended);
        ASSERT_GE(row, 0) << c.id;
        EXPECT_STREQ(keyfn::KeyTable()[size_t(row)].textId, c.id);
    }
    uint8_t scan = 0;
    bool extended = false;
    EXPECT_FALSE(CDeviceHook::ScanCodeOfXKey(115 + 8, scan, extended)) << "volume up has no scan code";
}

namespace {

KeyboardHookRecord keyRecord(uint32_t scan, bool extended = false)
{
    KeyboardHookRecord r;
    r.scanCode = scan;
    r.flags = extended ? 1 : 0;
    return r;
}

Json::Value rowJson(const QString& text)
{
    return parseJson(text.toUtf8());
}

}  // namespace

// A delay being typed into a row keeps its macro: selecting another macro finishes the edit,
// which saves the rows where they came from, and the other macro's file is left alone.
TEST_F(KeyPanelTest, ADelayBeingEditedIsSavedToItsOwnMacroWhenAnotherIsSelected)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(macros, "macro_btn_name_add");
    click(macros, "macro_btn_name_add");
    macros->SelectMacro(0);
    macros->StartRecording(1);
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1E));
    macros->StopRecording();
    macros->SaveMacro();

    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QLineEdit* delay = openDelay(macros, 0);
    ASSERT_NE(delay, nullptr);
    ASSERT_TRUE(waitFor([&] { return delay->hasFocus(); }));
    delay->selectAll();
    QTest::keyClicks(delay, "250");

    macros->SelectMacro(1);
    EXPECT_TRUE(macros->RowData().isEmpty()) << "the second macro has no events";
    const Json::Value list = CJsonFile::ReadJson(keyboard->DataFolder() + "/macro.config");
    auto file = [&](int i) {
        return CJsonFile::ReadJson(keyboard->DataFolder() + "/" +
                                   QString::fromStdString(list["MacroInfo"][i]["Guid"].asString()) + ".mac");
    };
    ASSERT_EQ(file(0)["Events"].size(), 2u);
    EXPECT_EQ(file(0)["Events"][0]["Delay"].asString(), "250");
    EXPECT_FALSE(file(1).isMember("Events"));
}

TEST_F(KeyPanelTest, MacroListNamesRecordingAndTheFilesItWrites)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    auto* keys = keyboard->findChild<CKeySetControlUI*>();
    ASSERT_NE(macros, nullptr);
    const QString folder = keyboard->DataFolder();

    // Names: the smallest free "macro_N", compared without regard to case.
    // Worked through the buttons, so the key panel follows the list.
    click(macros, "macro_btn_name_add");
    click(macros, "macro_btn_name_add");
    EXPECT_EQ(macros->MacroNames(), (QStringList{"macro_1", "macro_2"}));
    auto* nameEdit = control<QLineEdit>(macros, "macro_edit_macroname");
    nameEdit->setText("MACRO_3");
    click(macros, "macro_btn_name_edit");
    EXPECT_TRUE(nameEdit->text().isEmpty());
    click(macros, "macro_btn_name_add");
    EXPECT_EQ(macros->MacroNames().back(), "macro_2") << "macro_1 and MACRO_3 leave macro_2 free";
    macros->SelectMacro(0);
    nameEdit->setText("Macro_1");
    messages.clear();
    EXPECT_EQ(macros->RenameMacro(), -1);
    EXPECT_EQ(messages, QStringList{"message_text_5"});
    EXPECT_EQ(macros->MacroNames(), (QStringList{"macro_1", "MACRO_3", "macro_2"}));
    const Json::Value list = CJsonFile::ReadJson(folder + "/macro.config");
    ASSERT_EQ(list["MacroInfo"].size(), 3u);
    EXPECT_EQ(list["MacroInfo"][1]["MacroName"].asString(), "MACRO_3");

    // Time mode 1: A down at 0, up at 120, B down at 300.
    int64_t now = 1000;
    macros->SetClock([&] { return now; });
    macros->SelectMacro(0);
    macros->StartRecording(1);
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));
    now += 60;
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));  // repeat
    now += 60;
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1E));
    now += 180;
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x30));
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x76));  // not in the table
    macros->StopRecording();
    macros->SaveMacro();
    QStringList rows = macros->RowData();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rowJson(rows[0])["Delay"].asString(), "120");
    EXPECT_EQ(rowJson(rows[0])["Button"].asInt(), 0x04);
    EXPECT_EQ(rowJson(rows[0])["Type"].asInt(), 10);
    EXPECT_EQ(rowJson(rows[1])["Action"].asString(), "up");
    EXPECT_EQ(rowJson(rows[1])["Delay"].asString(), "180");
    EXPECT_EQ(rowJson(rows[2])["Delay"].asString(), "0");
    const QString id = QString::fromStdString(list["MacroInfo"][0]["Guid"].asString());
    const Json::Value file = CJsonFile::ReadJson(folder + "/" + id + ".mac");
    EXPECT_EQ(file["Version"].asInt(), 64);
    EXPECT_EQ(file["Events"].size(), 3u);

    // Events stamped by the X server: the delay is the gap of their own times (across the wrap
    // of the 32-bit time), not the 85 ms the busy window took between handling them.
    macros->StartRecording(1);
    KeyboardHookRecord down = keyRecord(0x1E), up = keyRecord(0x1E);
    down.time = 0xFFFFFFC0u;
    up.time = 0x38;
    HookMouseRecord leftDown{};
    leftDown.time = 0x38 + 250;
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, down);
    now += 85;
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, up);
    now += 10;
    macros->RecordMouseEvent(CMacroControlUI::Append, 0x0201, leftDown);
    macros->StopRecording();
    rows = macros->RowData();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rowJson(rows[3])["Delay"].asString(), "120");
    EXPECT_EQ(rowJson(rows[4])["Delay"].asString(), "250");

    // A move wider than a byte keeps its low 8 bits; an empty delay is saved as 0.
    control<QLineEdit>(macros, "mouse_x_left_edit")->setText("300");
    macros->InsertMouseAction(0x0200, 0);
    rows = macros->RowData();
    EXPECT_EQ(rowJson(rows[macros->SelectedRow()])["Button"].asInt(), 44);
    EXPECT_EQ(rowJson(rows[macros->SelectedRow()])["Type"].asInt(), 4);

    // Fixed delays above 65535 are cut and shown cut.
    macros->SelectMacro(1);
    control<QLineEdit>(macros, "macro_fixed_time_edit")->setText("70000");
    macros->StartRecording(2);
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1D));  // LCtrl
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1D));
    macros->StopRecording();
    EXPECT_EQ(control<QLineEdit>(macros, "macro_fixed_time_edit")->text(), "65535");
    rows = macros->RowData();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rowJson(rows[0])["Delay"].asString(), "65535");
    EXPECT_EQ(rowJson(rows[0])["Type"].asInt(), 9);
    EXPECT_EQ(rowJson(rows[1])["Delay"].asString(), "65535");
    // Typed by hand, a delay past 65535 is refused at the keystroke that would cross it, in
    // the rows and in the fixed delay alike.
    for (QLineEdit* edit : {openDelay(macros, 0), control<QLineEdit>(macros, "macro_fixed_time_edit")}) {
        ASSERT_NE(edit, nullptr);
        edit->clear();
        QTest::keyClicks(edit, "99999");
        EXPECT_EQ(edit->text(), "9999") << edit->objectName().toStdString();
        edit->clear();
        QTest::keyClicks(edit, "65535");
        EXPECT_EQ(edit->text(), "65535") << edit->objectName().toStdString();
    }
    macros->SaveMacro();
    // A macro without rows is saved without "Events".
    macros->SelectMacro(2);
    macros->SaveMacro();
    const QString emptyId = QString::fromStdString(CJsonFile::ReadJson(folder + "/macro.config")["MacroInfo"][2]["Guid"].asString());
    const Json::Value empty = CJsonFile::ReadJson(folder + "/" + emptyId + ".mac");
    EXPECT_FALSE(empty.isMember("Events"));
    EXPECT_EQ(empty["Version"].asInt(), 64);

    // The key panel lists the macros in order; assigning macro 0 writes its image to the keyboard.
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->MacroNames(), (QStringList{"macro_1", "MACRO_3", "macro_2"}));
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(keyboard);
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    const int position = knownKeyboardKey(kb, 20);
    ASSERT_NE(pickKey(keyboard, position), nullptr);
    chooseCategory(keys, CKeySetControlUI::CatMacro);
    choose(keys, "keyset_macro_over_combo", 0);
    choose(keys, "keyset_macro_combo", 0);
    EXPECT_EQ(kb->KeyAssignments()[size_t(position)].current.packed(), 0x700000u);
    EXPECT_EQ(qobject_cast<QAbstractButton*>(kb->KeyButton(position))->text(), "macro_1");
    click(keys, "key_butt_prosave");
    const int slot = kb->SlotOf(position);
    EXPECT_TRUE(waitFor([&] { return slotHex("keyboard", slot) == "700000"; })) << slotHex("keyboard", slot);
    // The macro in use is what the write collects; nothing exceeded the macro memory.
    EXPECT_EQ(kb->CollectUsedMacros(), std::vector<int>{0});
    EXPECT_FALSE(messages.contains("message_text_7"));
}

namespace {

// A button of the mouse with a known slot other than the left button (which must keep a key
// with the left-button function).
int knownMouseButton(CVantikMouseDevice* m)
{
    for (int j = 1; j < CVantikMouseDevice::kButtons; ++j)
        if (m->ButtonSlots()[size_t(j)] != CVantikMouseDevice::kNotFound && m->KeyButton(j))
            return j;
    return -1;
}

}  // namespace

TEST_F(KeyPanelTest, AssignedMacroReachesTheMacroMemoryAndTheKeyTable)
{
    struct Case {
        const char* sim;
        const char* kind;
    } cases[] = {{"keyboard", "keyboard"}, {"mouse", "mouse"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sim);
        CVantikUSBDevice* device = plugAndShow(c.sim, c.kind);
        ASSERT_NE(device, nullptr);
        int position = -1;
        if (auto* kb = dynamic_cast<CVantikKeyboardDevice*>(device)) {
            ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
            position = knownKeyboardKey(kb, 20);
        } else {
            auto* mouse = dynamic_cast<CVantikMouseDevice*>(device);
            ASSERT_TRUE(waitFor([&] { return !mouse->KeyAssignments().empty() && knownMouseButton(mouse) >= 0; }));
            position = knownMouseButton(mouse);
        }
        ASSERT_GE(position, 0);

        // Two macros made through the editor; the second one gets events: a recorded key and an
        // inserted click. The key uses macro 1 only, so on the device it is macro 0.
        auto* macros = device->findChild<CMacroControlUI*>();
        ASSERT_NE(macros, nullptr);
        click(macros, "macro_btn_name_add");
        click(macros, "macro_btn_name_add");
        macros->SelectMacro(1);
        int64_t now = 0;
        macros->SetClock([&] { return now; });
        macros->StartRecording(1);
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));  // A
        now += 90;
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1E));
        macros->StopRecording();
        macros->InsertMouseAction(0x0201, 0);
        macros->InsertMouseAction(0x0202, 0);
        macros->SaveMacro();
        const QStringList rows = macros->RowData();
        ASSERT_EQ(rows.size(), 4);

        CKeySetControlUI* keys = pickKey(device, position);
        ASSERT_NE(keys, nullptr);
        chooseCategory(keys, CKeySetControlUI::CatMacro);
        choose(keys, "keyset_macro_over_combo", 2);
        choose(keys, "keyset_macro_combo", 1);
        EXPECT_EQ(device->KeyAssignments()[size_t(position)].current.packed(), 0x700102u);
        messages.clear();
        click(keys, "key_butt_prosave");
        ASSERT_TRUE(drained(device));
        EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();

        // The macro memory holds the image of exactly that macro, event by event.
        const Json::Value dump = sim->run({"dump", c.sim, "macro"});
        EXPECT_EQ(dump["hex"].asString().substr(0, 4), "aa55");
        const Json::Value& image = dump["image"];
        ASSERT_TRUE(image["valid"].asBool()) << image["problem"].asString();
        ASSERT_EQ(image["macros"].size(), 1u);
        const Json::Value& events = image["macros"][0];
        ASSERT_EQ(events.size(), Json::ArrayIndex(rows.size()));
        for (int i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(i);
            const Json::Value row = rowJson(rows[i]);
            EXPECT_EQ(events[i]["delay"].asInt(), std::atoi(row["Delay"].asCString()));
            EXPECT_EQ(events[i]["type"].asInt(), row["Type"].asInt());
            EXPECT_EQ(events[i]["down"].asBool(), row["Action"].asString() == "down");
            EXPECT_EQ(events[i]["button"].asInt(), row["Button"].asInt());
        }
        EXPECT_EQ(events[0]["delay"].asInt(), 90);
        EXPECT_EQ(events[0]["button"].asInt(), 0x04);
        EXPECT_EQ(events[2]["button"].asInt(), 0x01);

        // The key's slot holds the macro triple with the device's macro number.
        const int slot = c.sim == std::string("keyboard")
                             ? dynamic_cast<CVantikKeyboardDevice*>(device)->SlotOf(position)
                             : dynamic_cast<CVantikMouseDevice*>(device)->ButtonSlots()[size_t(position)];
        EXPECT_EQ(slotHex(c.sim, slot), "700002");
    }
}

TEST_F(KeyPanelTest, MacrosBeyondTheMacroMemoryAreReportedAndNothingIsWritten)
{
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(kb, nullptr);
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    auto* macros = kb->findChild<CMacroControlUI*>();
    click(macros, "macro_btn_name_add");
    // 1100 events: 16 + 6 + 4400 bytes against the keyboard's 4096, (326 / 4) + 1 = 82 too many.
    const Json::Value list = CJsonFile::ReadJson(kb->DataFolder() + "/macro.config");
    Json::Value file(Json::objectValue);
    for (int i = 0; i < 1100; ++i) {
        Json::Value e(Json::objectValue);
        e["Action"] = i % 2 ? "up" : "down";
        e["Button"] = 4;
        e["Type"] = 10;
        e["Delay"] = "10";
        file["Events"].append(e);
    }
    file["Version"] = 64;
    ASSERT_EQ(CJsonFile::WriteJson(kb->DataFolder() + "/" + QString::fromStdString(list["MacroInfo"][0]["Guid"].asString()) + ".mac", file), 0);

    const int position = knownKeyboardKey(kb, 20);
    CKeySetControlUI* keys = pickKey(kb, position);
    ASSERT_NE(keys, nullptr);
    const int slot = kb->SlotOf(position);
    const std::string slotBefore = slotHex("keyboard", slot);
    const std::string memoryBefore = sim->dumpHex("keyboard", "macro");
    chooseCategory(keys, CKeySetControlUI::CatMacro);
    choose(keys, "keyset_macro_over_combo", 0);
    choose(keys, "keyset_macro_combo", 0);
    messages.clear();
    click(keys, "key_butt_prosave");
    ASSERT_TRUE(drained(kb));
    const QString expected = text("message_text_16").replace("%d", "82");
    EXPECT_EQ(messages, QStringList{expected});
    EXPECT_TRUE(expected.contains("82")) << "the text carries the count";
    EXPECT_EQ(sim->dumpHex("keyboard", "macro"), memoryBefore);
    EXPECT_EQ(slotHex("keyboard", slot), slotBefore) << "no key may point at a macro the keyboard lacks";
    EXPECT_TRUE(control<QWidget>(keys, "key_butt_prosave")->isEnabled()) << "the change is still to be written";
}

TEST_F(KeyPanelTest, RowMenuRecordsAroundTheRowAndInsertsMouseButtons)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    keyboard->findChild<CDeviceProfileUI*>()->SelectFeatureTab(CDeviceProfileUI::TabMacro);
    click(macros, "macro_btn_name_add");
    EXPECT_EQ(macros->OpenActionMenu(0), nullptr) << "an empty macro has no row to open a menu on";
    macros->StartRecording(3);
    for (uint32_t scan : {0x1Eu, 0x30u})  // A, B
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(scan));
    macros->StopRecording();
    macros->SaveMacro();

    // Activating a row (double click or Enter) pops the menu of the skin file.
    auto* list = control<QListWidget>(macros, "macro_action_list");
    ASSERT_NE(list, nullptr);
    emit list->activated(list->model()->index(1, 0));
    auto* menu = window->findChild<ui::MenuWnd*>();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(macros->SelectedRow(), 1);
    for (const char* item : {"redio_previous_record_time", "redio_later_ignore_time", "macro_action_edit", "left_click",
                             "back_up", "forward_down"})
        EXPECT_NE(menu->FindItem(item), nullptr) << item;

    // "back_click": press then release of the back button, behind row 1, saved at once.
    menu->Choose(menu->FindItem("back_click"));
    QStringList rows = macros->RowData();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rowJson(rows[2])["Action"].asString(), "down");
    EXPECT_EQ(rowJson(rows[2])["Button"].asInt(), 0x08);
    EXPECT_EQ(rowJson(rows[3])["Action"].asString(), "up");
    EXPECT_EQ(rowJson(rows[3])["Type"].asInt(), 1);
    const QString id = QString::fromStdString(CJsonFile::ReadJson(keyboard->DataFolder() + "/macro.config")["MacroInfo"][0]["Guid"].asString());
    EXPECT_EQ(CJsonFile::ReadJson(keyboard->DataFolder() + "/" + id + ".mac")["Events"].size(), 4u);

    // Recording before row 0: the hook's events go in front of it, in order.
    menu = macros->OpenActionMenu(0);
    ASSERT_NE(menu, nullptr);
    menu->Choose(menu->FindItem("redio_previous_ignore_time"));
    EXPECT_TRUE(macros->IsRecording());
    EXPECT_EQ(macros->OpenActionMenu(0), nullptr) << "no menu while recording";
    macros->RecordKeyEvent(CMacroControlUI::Before, CDeviceHook::kKeyDown, keyRecord(0x2E));  // C
    macros->RecordKeyEvent(CMacroControlUI::Before, CDeviceHook::kKeyDown, keyRecord(0x20));  // D
    click(macros, "macro_btn_stopredio");
    EXPECT_FALSE(macros->IsRecording());
    rows = macros->RowData();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rowJson(rows[0])["Button"].asInt(), 0x06);
    EXPECT_EQ(rowJson(rows[1])["Button"].asInt(), 0x07);
    EXPECT_EQ(rowJson(rows[2])["Button"].asInt(), 0x04);

    // Replacing the key of a row keeps its action and delay.
    ASSERT_NE(macros->OpenActionMenu(2), nullptr);
    EXPECT_TRUE(macros->RunActionMenuItem("MACRO_ACTION_EDIT")) << "item names compare without regard to case";
    ASSERT_TRUE(macros->IsRecording());
    macros->RecordKeyEvent(CMacroControlUI::Replace, CDeviceHook::kKeyDown, keyRecord(0x2C));  // Z
    click(macros, "macro_btn_stopredio");
    rows = macros->RowData();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rowJson(rows[2])["Button"].asInt(), 0x1D);
    EXPECT_EQ(rowJson(rows[2])["Action"].asString(), "down");
}

TEST_F(KeyPanelTest, KeyLabelsFollowTheProfileSwitchedTo)
{
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(kb, nullptr);
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    auto* macros = kb->findChild<CMacroControlUI*>();
    click(macros, "macro_btn_name_add");  // macro_1
    auto* profiles = kb->findChild<CDeviceProfileUI*>();
    click(profiles, "device_add_btn");
    ASSERT_EQ(profiles->GetProfileCount(), 2);

    std::vector<int> positions;
    for (int p = knownKeyboardKey(kb, 20); p >= 0 && positions.size() < 5; p = knownKeyboardKey(kb, p + 1))
        positions.push_back(p);
    ASSERT_EQ(positions.size(), 5u);
    auto label = [&](int p) { return qobject_cast<QAbstractButton*>(kb->KeyButton(p))->text(); };
    std::vector<QString> own;
    for (int p : positions)
        own.push_back(label(p));

    // Per key: its assignment in profile 1 and in profile 2, and the label each must show.
    struct Case {
        uint32_t first, second;
        QString firstLabel, secondLabel;
    } cases[] = {
        {0x308A01, 0x000000, text("media_mail"), QString()},                 // profile 2: default
        {0x000000, 0x200112, QString(), text("keyboard_key_LCtrl") + "+" + text("keyboard_key_O")},
        {0x700000, 0x400200, "macro_1", text("system_sleep")},               // a macro's name
        {0x100800, 0x150000, text("mouse_key_back"), QString()},             // no label: the key's own
        {0x710003, 0x308A01, "macro_1", text("media_mail")},
    };
    auto write = [&](int profile, bool second) {
        const QString file = profiles->GetProfileFileAt(profile);
        Json::Value doc = CJsonFile::ReadJson(file);
        Json::Value& keys = doc["Device"][0]["KeyList"];
        for (size_t i = 0; i < positions.size(); ++i) {
            Json::Value& key = keys[positions[i]];
            const uint32_t a = second ? cases[i].second : cases[i].first;
            key["Assignment"] = a ? Json::Int(a) : key["DefaultAssignment"].asInt();
        }
        ASSERT_EQ(CJsonFile::WriteJson(file, doc), 0);
    };
    // The profile in memory is saved where the keyboard's reads land: let them land first.
    ASSERT_TRUE(drained(kb));
    write(0, false);
    write(1, true);
    // The page is showing key 0 of the list in the editor; the switch must not carry it over.
    ASSERT_NE(pickKey(kb, positions[0]), nullptr);

    auto* combo = control<QComboBox>(profiles, "device_profile_combo");
    auto expectLabels = [&](bool second) {
        for (size_t i = 0; i < positions.size(); ++i) {
            SCOPED_TRACE(i);
            const QString want = second ? cases[i].secondLabel : cases[i].firstLabel;
            EXPECT_EQ(label(positions[i]), want.isEmpty() ? own[i] : want);
        }
    };
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(kb) == 1 && !profiles->SwitchInFlight(); }));
    expectLabels(true);
    EXPECT_EQ(kb->findChild<CKeySetControlUI*>()->ReadAssignment().current.packed(),
              kb->KeyAssignments()[size_t(positions[0])].current.packed()) << "the editor shows the new profile's function";
    combo->setCurrentIndex(0);
    ASSERT_TRUE(waitFor([&] { return listSelection(kb) == 0 && !profiles->SwitchInFlight(); }));
    expectLabels(false);
}

TEST_F(KeyPanelTest, DeletingAMacroRenumbersTheKeysOfEveryProfile)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(keyboard);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    auto* profiles = keyboard->findChild<CDeviceProfileUI*>();
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    for (int i = 0; i < 3; ++i)
        click(macros, "macro_btn_name_add");
    // Keys 1, 2, 3 on macros 0, 1, 2 in the active profile and in a second one.
    std::vector<KeyAssignmentPair> active = kb->KeyAssignments();
    const KeyAssignmentPair original = active[2];
    for (int i = 0; i < 3; ++i)
        active[size_t(i + 1)].current = {uint16_t(i + 1), 0x70, uint8_t(i), 0};
    kb->StoreKeyAssignments(active);
    kb->SaveProfile();
    click(profiles, "device_add_btn");
    ASSERT_EQ(profiles->GetProfileCount(), 2);
    const QString second = profiles->GetProfileFileAt(1);
    Json::Value doc = CJsonFile::ReadJson(second);
    for (int i = 0; i < 3; ++i)
        doc["Device"][0]["KeyList"][i + 1]["Assignment"] = (0x70 << 16) | (i << 8);
    ASSERT_EQ(CJsonFile::WriteJson(second, doc), 0);

    macros->SelectMacro(1);
    messages.clear();
    confirm = 1;
    ASSERT_TRUE(macros->DeleteSelectedMacro());
    EXPECT_EQ(messages, (QStringList{"message_text_4", "message_text_2"}));
    const std::vector<KeyAssignmentPair> after = kb->KeyAssignments();
    EXPECT_EQ(after[1].current.packed(), 0x700000u);
    EXPECT_EQ(after[2].current.packed(), original.defaults.packed()) << "the key on the deleted macro is back to its default";
    EXPECT_EQ(after[3].current.packed(), 0x700100u);
    const Json::Value other = CJsonFile::ReadJson(second)["Device"][0]["KeyList"];
    EXPECT_EQ(other[1]["Assignment"].asInt(), 0x700000);
    EXPECT_EQ(other[2]["Assignment"].asInt(), other[2]["DefaultAssignment"].asInt());
    EXPECT_EQ(other[3]["Assignment"].asInt(), 0x700100);
    EXPECT_EQ(macros->MacroNames(), (QStringList{"macro_1", "macro_3"}));
    EXPECT_EQ(keyboard->findChild<CKeySetControlUI*>()->MacroNames(), (QStringList{"macro_1", "macro_3"}));
}

TEST_F(KeyPanelTest, BadMacroFilesLoadAsFarAsTheyAreSound)
{
    CVantikUSBDevice* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    auto* macros = mouse->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    struct Case {
        const char* content;
        int rows;
    } cases[] = {
        {"", 0},
        {"{not json", 0},
        {"[1,2,3]", 0},
        {"{\"Events\": 5}", 0},
        {"{\"Events\": [1, \"x\", {\"Action\": \"down\", \"Button\": 4, \"Type\": 10, \"Delay\": \"70000\"}]}", 1},
        // A row that does not convert is left out, not shown (and later sent) as zeros.
        {"{\"Events\": [{\"Action\": 3, \"Button\": \"q\", \"Type\": [], \"Delay\": {}}]}", 0},
    };
    const QString source = home.filePath("import.mac");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.content);
        f.close();
        ASSERT_TRUE(macros->ImportMacro(source));
        EXPECT_EQ(macros->RowData().size(), c.rows);
        macros->SaveMacro();
    }
    // The delay above 65534 is shown as 65535 and saved so.
    macros->SelectMacro(4);
    ASSERT_EQ(macros->RowData().size(), 1);
    EXPECT_EQ(rowJson(macros->RowData()[0])["Delay"].asString(), "65535");
}

TEST_F(KeyPanelTest, MacroFilesBeyondTheCapAreRefusedAndBadRowsNeverReachTheKeyboard)
{
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(kb, nullptr);
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    auto* macros = kb->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    const QString source = home.filePath("import.mac");
    chosenFile = source;  // what the import button's file dialog gives
    const auto writeEvents = [&](int count, const std::vector<Json::Value>& extra = {}) {
        Json::Value file(Json::objectValue);
        file["Events"] = Json::Value(Json::arrayValue);
        for (int i = 0; i < count; ++i) {
            Json::Value e(Json::objectValue);
            e["Action"] = i % 2 ? "up" : "down";
            e["Button"] = 4;
            e["Type"] = 10;
            e["Delay"] = "10";
            file["Events"].append(e);
        }
        for (const Json::Value& e : extra)
            file["Events"].append(e);
        ASSERT_EQ(CJsonFile::WriteJson(source, file), 0);
    };

    // One event over the cap (1018: what 4096 bytes of macro memory take for one macro): refused
    // with a message naming the cap, and no macro is made for it.
    writeEvents(1019);
    const QStringList before = macros->MacroNames();
    messages.clear();
    click(macros, "macro_btn_import");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("1018")) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].startsWith("message_text")) << "told in words";
    EXPECT_EQ(macros->MacroNames(), before);

    // At the cap it loads, every row shown (the time is a figure for the report, not a bound).
    writeEvents(1018);
    auto residentKb = [] {
        QFile status("/proc/self/status");
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        return 0L;
    };
    const long rssBefore = residentKb();
    QElapsedTimer timer;
    timer.start();
    click(macros, "macro_btn_import");
    EXPECT_EQ(macros->RowData().size(), 1018);
    QApplication::processEvents();  // the rows in view are drawn
    std::cout << "[ figure ] import of a macro at the cap (1018 events): " << timer.elapsed() << " ms, resident memory +"
              << (residentKb() - rssBefore) / 1024.0 << " MB" << std::endl;
    // The rows are drawn, not built of widgets: the list holds its scroll bars and viewport, not
    // a few thousand labels and line edits.
    auto* actions = control<QListWidget>(macros, "macro_action_list");
    EXPECT_LT(actions->findChildren<QWidget*>().size(), 20);

    // A row that does not parse is left out and a delay of 99999 is held at 65535 (told once);
    // the keyboard gets the two sound rows with 65535, never 34463.
    writeEvents(0, {parseJson(R"({"Action":"down","Button":4,"Type":10,"Delay":"99999"})"),
                    parseJson(R"({"Action":"down","Button":"junk","Type":10,"Delay":"5"})"),
                    parseJson(R"({"Action":"up","Button":4,"Type":10,"Delay":"20"})")});
    messages.clear();
    click(macros, "macro_btn_import");
    ASSERT_EQ(macros->RowData().size(), 2);
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    EXPECT_TRUE(messages[0].contains("65535")) << messages[0].toStdString();
    macros->SaveMacro();
    const int number = macros->MacroNames().size() - 1;

    const int position = knownKeyboardKey(kb, 20);
    CKeySetControlUI* keys = pickKey(kb, position);
    ASSERT_NE(keys, nullptr);
    chooseCategory(keys, CKeySetControlUI::CatMacro);
    choose(keys, "keyset_macro_over_combo", 0);
    choose(keys, "keyset_macro_combo", number);
    messages.clear();
    click(keys, "key_butt_prosave");
    ASSERT_TRUE(drained(kb));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    const Json::Value dump = sim->run({"dump", "keyboard", "macro"});
    const Json::Value& image = dump["image"];
    ASSERT_TRUE(image["valid"].asBool()) << image["problem"].asString();
    ASSERT_EQ(image["macros"].size(), 1u);
    const Json::Value& events = image["macros"][0];
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["delay"].asInt(), 65535);
    EXPECT_EQ(events[1]["delay"].asInt(), 20);
    EXPECT_EQ(events[1]["button"].asInt(), 4);
}

TEST_F(KeyPanelTest, MacroIdsThatLeadOutOfTheFolderAreLeftOutAndTold)
{
    CVantikUSBDevice* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    auto* macros = mouse->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    const QString list = mouse->DataFolder() + "/macro.config";
    ASSERT_EQ(CJsonFile::WriteJson(list, parseJson(R"({"MacroInfo":[
        {"MacroName":"Good","Guid":"2026_01_01_00_00_00_001"},
        {"MacroName":"Escape","Guid":"../../evil"},
        {"MacroName":"Nested","Guid":"sub/dir"}]})")), 0);
    messages.clear();
    macros->LoadMacroList();
    EXPECT_EQ(macros->MacroNames(), QStringList{"Good"});
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Escape")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("Nested")) << messages[0].toStdString();
    EXPECT_FALSE(messages[0].startsWith("message_text")) << "told in words";
}

TEST_F(KeyPanelTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("TESSEL_KEYS_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSEL_KEYS_SCREENSHOTS is not set";
    QDir().mkpath(folder);
    // The strip as a user with the whole family sees it; the keyboard's page is shown.
    ASSERT_FALSE(sim->run({"plug", "mouse", "--route", "receiver"}).isNull());
    ASSERT_FALSE(sim->run({"plug", "pad"}).isNull());
    ASSERT_FALSE(sim->run({"plug", "headset"}).isNull());
    auto* kb = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(kb, nullptr);
    ASSERT_TRUE(waitFor([&] { return hub->AllDevices().size() >= 4; }));
    ASSERT_TRUE(waitFor([&] { return kb->IdentifiedKeyCount() > 0 && !kb->KeyAssignments().empty(); }));
    auto* macros = kb->findChild<CMacroControlUI*>();
    click(macros, "macro_btn_name_add");
    click(macros, "macro_btn_name_add");
    macros->SelectMacro(0);
    int64_t now = 0;
    macros->SetClock([&] { return now; });
    macros->StartRecording(1);
    for (uint32_t scan : {0x1Du, 0x1Eu}) {
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(scan));
        now += 40;
    }
    for (uint32_t scan : {0x1Eu, 0x1Du}) {
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(scan));
        now += 65;
    }
    macros->StopRecording();
    macros->InsertMouseAction(0x0201, 0);
    macros->InsertMouseAction(0x0202, 0);
    macros->SaveMacro();
    const int position = knownKeyboardKey(kb, 20);
    CKeySetControlUI* keys = pickKey(kb, position);
    ASSERT_NE(keys, nullptr);
    chooseCategory(keys, CKeySetControlUI::CatMacro);
    choose(keys, "keyset_macro_over_combo", 4);
    type(keys, "keyset_macro_cycle_edit", "3");
    choose(keys, "keyset_macro_combo", 0);
    const int second = knownKeyboardKey(kb, position + 1);
    ASSERT_NE(pickKey(kb, second), nullptr);
    chooseCategory(keys, CKeySetControlUI::CatKey);
    keys->CaptureKey(0x1D, 0);
    keys->CaptureKey(0x2E, 0);
    QTest::qWait(300);
    window->grab().save(folder + "/key-assignment-en.png");
    kb->findChild<CDeviceProfileUI*>()->SelectFeatureTab(CDeviceProfileUI::TabMacro);
    QTest::qWait(300);
    window->grab().save(folder + "/macro-editor-en.png");
    window->ApplyLanguage(kChinese);
    QTest::qWait(300);
    window->grab().save(folder + "/macro-editor-cn.png");
    kb->findChild<CDeviceProfileUI*>()->SelectFeatureTab(CDeviceProfileUI::TabKeys);
    QTest::qWait(300);
    window->grab().save(folder + "/key-assignment-cn.png");

    // The mouse (through its receiver): a side button on vertical scrolling.
    window->ApplyLanguage(kEnglish);
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(deviceOfKind("mouse"));
    ASSERT_NE(mouse, nullptr);
    hub->TabSelected(mouse->Tab());
    ASSERT_EQ(hub->CurrentDevice(), mouse);
    ASSERT_TRUE(waitFor([&] { return !mouse->KeyAssignments().empty() && knownMouseButton(mouse) >= 0; }));
    CKeySetControlUI* mouseKeys = pickKey(mouse, knownMouseButton(mouse));
    ASSERT_NE(mouseKeys, nullptr);
    chooseCategory(mouseKeys, CKeySetControlUI::CatVScroll);
    type(mouseKeys, "keyset_mousewheel_delay_edit", "2");
    type(mouseKeys, "keyset_mousewheel_speed_edit", "8");
    type(mouseKeys, "keyset_mousewheel_num_edit", "3");
    click(mouseKeys, "key_butt_keysave");
    QTest::qWait(300);
    window->grab().save(folder + "/mouse-key-assignment-en.png");
    for (const QString& shot : QDir(folder).entryList({"*.png"})) {
        SCOPED_TRACE(shot.toStdString());
        EXPECT_EQ(QImage(folder + "/" + shot).size(), QSize(1000, 640)) << "the window keeps its size";
    }
}

// Tessel ending in the middle of a recording keeps what was recorded.
TEST_F(KeyPanelTest, EndingTesselMidRecordingSavesTheRecordedEvents)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(macros, "macro_btn_name_add");
    macros->SelectMacro(0);
    click(macros, "macro_btn_starredio");
    ASSERT_TRUE(macros->IsRecording());
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1E));
    const QString folder = keyboard->DataFolder();
    const Json::Value list = CJsonFile::ReadJson(folder + "/macro.config");
    window->Shutdown();
    const Json::Value file =
        CJsonFile::ReadJson(folder + "/" + QString::fromStdString(list["MacroInfo"][0]["Guid"].asString()) + ".mac");
    EXPECT_EQ(file["Events"].size(), 2u);
}

// Every control of the key panel on the keyboard and on the mouse, by table: each row picks a
// key, chooses the category that shows the control, operates the control with input events and
// writes to the device ("write to device"), and must change the key's triple in the device's key
// table and the key list in the profile. A control of the panel without a row fails the last
// check.
class KeyPanelTableTest : public KeyPanelTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(KeyPanelTableTest, EveryKeyControlChangesTheKeyTableAndTheProfile)
{
    using namespace controltable;
    const std::string sim = GetParam();
    const bool mouse = sim == "mouse";
    CVantikUSBDevice* device = plugAndShow(QString::fromStdString(sim), QString::fromStdString(sim));
    ASSERT_NE(device, nullptr);
    // A macro to assign.
    auto* macros = device->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(macros, "macro_btn_name_add");
    click(macros, "macro_btn_name_add");
    int position = -1, slot = -1;
    if (auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(device)) {
        ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
        position = knownKeyboardKey(keyboard, 20);
        ASSERT_GE(position, 0);
        slot = keyboard->SlotOf(position);
    } else {
        auto* m = dynamic_cast<CVantikMouseDevice*>(device);
        ASSERT_NE(m, nullptr);
        // A button past the left and right buttons, so the mouse keeps working as one.
        ASSERT_TRUE(waitFor([&] {
            for (int j = 2; j < CVantikMouseDevice::kButtons && position < 0; ++j)
                if (m->ButtonSlots()[size_t(j)] != CVantikMouseDevice::kNotFound && m->KeyButton(j))
                    position = j;
            return position >= 0 && m->KeyAssignments().size() > size_t(position);
        }));
        slot = m->ButtonSlots()[size_t(position)];
    }
    // The page shows the profile once it is loaded after connecting; a key picked before would
    // be shown again by the load.
    ASSERT_TRUE(waitFor([&] { return !device->Profile().GetProfilePath().isEmpty(); }));
    ASSERT_TRUE(drained(device));
    CKeySetControlUI* panel = pickKey(device, position);
    ASSERT_NE(panel, nullptr);
    auto triple = [this, slot, sim] { return slotHex(QString::fromStdString(sim), slot); };
    auto keyList = [device] { return CJsonFile::ReadJson(device->Profile().GetProfilePath())["Device"][0]; };
    auto category = [&](int c) {
        return [&, c] {
            ASSERT_EQ(pickKey(device, position), panel);
            auto* combo = control<QComboBox>(panel, "keyset_function_combo");
            ASSERT_TRUE(ChooseItem(combo, combo->findData(QString::number(c))));
        };
    };
    // The gesture, then "write to device".
    auto andWrite = [panel](std::function<void(QWidget*)> gesture) {
        return [panel, gesture](QWidget* w) {
            gesture(w);
            Click(control<QWidget>(panel, "key_butt_keysave"));
            Click(control<QWidget>(panel, "key_butt_prosave"));
        };
    };
    auto typeNumber = [](QWidget* w) {
        TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "3" ? "4" : "3");
    };
    // A key pressed in the capture edit, as the window receives it: F (kernel 33) or G (34).
    auto pressAKey = [this](QWidget* w) {
        window->activateWindow();
        Click(w);
        ASSERT_TRUE(waitFor([&] { return w->hasFocus(); }));
        const bool f = qobject_cast<QLineEdit*>(w)->text() == text("keyboard_key_F");
        sendKey(w, QEvent::KeyPress, f ? Qt::Key_G : Qt::Key_F, f ? 34 : 33);
        sendKey(w, QEvent::KeyRelease, f ? Qt::Key_G : Qt::Key_F, f ? 34 : 33);
    };
    std::vector<Row> rows = {
        {"keyset_mousekey_combo", category(CKeySetControlUI::CatMouseButton), andWrite(ChooseAnother), triple, keyList},
        {"keyset_mouseswing_combo", category(CKeySetControlUI::CatHScroll), andWrite(ChooseAnother), triple, keyList},
        {"keyset_mouseswing_num_edit", category(CKeySetControlUI::CatHScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mouseswing_speed_edit", category(CKeySetControlUI::CatHScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mouseswing_delay_edit", category(CKeySetControlUI::CatHScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mousewheel_combo", category(CKeySetControlUI::CatVScroll), andWrite(ChooseAnother), triple, keyList},
        {"keyset_mousewheel_num_edit", category(CKeySetControlUI::CatVScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mousewheel_speed_edit", category(CKeySetControlUI::CatVScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mousewheel_delay_edit", category(CKeySetControlUI::CatVScroll), andWrite(typeNumber), triple, keyList},
        {"keyset_mousefire_interval_edit", category(CKeySetControlUI::CatFire), andWrite(typeNumber), triple, keyList},
        {"keyset_mousefire_num_edit", category(CKeySetControlUI::CatFire), andWrite(typeNumber), triple, keyList},
        {"keyset_keyboard_text_edit", category(CKeySetControlUI::CatKey), andWrite(pressAKey), triple, keyList},
        {"keyset_media_combo", category(CKeySetControlUI::CatMedia), andWrite(ChooseAnother), triple, keyList},
        {"keyset_system_combo", category(CKeySetControlUI::CatSystem), andWrite(ChooseAnother), triple, keyList},
        {"keyset_macro_combo", category(CKeySetControlUI::CatMacro), andWrite(ChooseAnother), triple, keyList},
        {"keyset_macro_over_combo", category(CKeySetControlUI::CatMacro), andWrite(ChooseAnother), triple, keyList},
        // The count of runs is offered for the way of playing that repeats a given number of times.
        {"keyset_macro_cycle_edit",
         [&] {
             category(CKeySetControlUI::CatMacro)();
             auto* over = control<QComboBox>(panel, "keyset_macro_over_combo");
             auto* cycle = control<QWidget>(panel, "keyset_macro_cycle_edit");
             for (int i = 0; i < over->count() && !(cycle->isVisible() && cycle->isEnabled()); ++i)
                 ASSERT_TRUE(ChooseItem(over, i));
         },
         andWrite(typeNumber), triple, keyList},
        {"keyset_combokey_combo", category(CKeySetControlUI::CatShortcut), andWrite(ChooseAnother), triple, keyList},
        {"key_butt_prosave",
         [&] {
             category(CKeySetControlUI::CatMedia)();
             ChooseAnother(control<QWidget>(panel, "keyset_media_combo"));
             Click(control<QWidget>(panel, "key_butt_keysave"));
         },
         Click, triple, keyList},
        // The key's own function back, after another was written (mail: no key's own function).
        {"key_butt_keydefalut",
         [&] {
             category(CKeySetControlUI::CatMedia)();
             andWrite([](QWidget* w) { ASSERT_TRUE(ChooseItem(qobject_cast<QComboBox*>(w), 17)); })(
                 control<QWidget>(panel, "keyset_media_combo"));
             ASSERT_TRUE(drained(device));
         },
         [panel](QWidget* w) {
             Click(w);
             Click(control<QWidget>(panel, "key_butt_keysave"));
             Click(control<QWidget>(panel, "key_butt_prosave"));
         },
         triple, keyList},
    };
    if (mouse) {
        rows.push_back({"keyset_mousedpi_combo", category(CKeySetControlUI::CatDpi), andWrite(ChooseAnother), triple, keyList});
        rows.push_back({"keyset_gunkey_combo", category(CKeySetControlUI::CatGun), andWrite(ChooseAnother), triple, keyList});
    }
    for (int n = 0; n < 5; ++n)
        rows.push_back({"key_ComBox_check_" + std::to_string(n), category(CKeySetControlUI::CatKey), andWrite(Click), triple,
                        keyList});
    Walker walker(panel, [&] { return drained(device); }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    walker.ExpectEveryControlHasARow({
        {"keyset_function_combo", "chooses the category shown; choosing one assigns nothing by itself"},
        {"key_butt_keycancel", "drops a choice not yet saved: nothing stored changes"},
        {"key_butt_keysave", "keeps the choice in the page; \"write to device\" sends and stores it (every row)"},
    });
}

INSTANTIATE_TEST_SUITE_P(Devices, KeyPanelTableTest, ::testing::Values(std::string("keyboard"), std::string("mouse")),
                         [](const auto& info) { return info.param; });

// Every control of the macro panel, by table: each row operates one control with input events
// and must change what Tessel keeps of the macros (the macro files and their list in the data
// folder). Macros reach the device's macro memory with "write to device" on the key page, which
// the key panel's table and AssignedMacroReachesTheMacroMemoryAndTheKeyTable cover.
TEST_F(KeyPanelTest, EveryMacroControlChangesTheStoredMacros)
{
    using namespace controltable;
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return !keyboard->Profile().GetProfilePath().isEmpty(); }));
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(keyboard, "device_tab_macro");
    click(macros, "macro_btn_name_add");
    macros->SelectMacro(0);
    // Every file of the device's data folder, by name, with its text.
    auto stored = [keyboard] {
        Json::Value files;
        QDirIterator it(keyboard->DataFolder(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            files[path.toStdString()] = f.readAll().toStdString();
        }
        return files;
    };
    const char* why = "macros reach the device with \"write to device\" on the key page";
    auto list = [&] { return control<QListWidget>(macros, "macro_action_list"); };
    // A macro being shown with at least three events of different kinds.
    auto threeEvents = [&] {
        if (!list() || list()->count() < 3) {
            for (const char* b : {"macro_inset_moveleftkey_btn", "macro_inset_moveupkey_btn", "macro_inset_moverightkey_btn"})
                Click(control<QWidget>(macros, b));
        }
        ASSERT_GE(list()->count(), 3);
    };
    // Clicks row `row` of the event list, as the mouse picks it.
    auto pickRow = [&](int row) {
        return [&, row] {
            threeEvents();
            QListWidget* l = list();
            const int r = row < 0 ? l->count() + row : row;
            l->scrollToItem(l->item(r));
            QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::NoModifier, l->visualItemRect(l->item(r)).center());
            ASSERT_EQ(l->currentRow(), r);
        };
    };
    // A recording of A pressed and released, as the recording hook reports it.
    auto recordA = [&] {
        Click(control<QWidget>(macros, "macro_btn_starredio"));
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x1E));
        macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x1E));
        auto* stop = control<QWidget>(macros, "macro_btn_stopredio");
        if (stop && stop->isVisible())
            Click(stop);
        else
            macros->StopRecording();
        Click(control<QWidget>(macros, "macro_btn_save"));
    };
    auto typeOther = [](QWidget* w) { TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "7" ? "9" : "7"); };
    int names = 0;
    auto rename = [&](QWidget*) {
        TypeAndLeave(control<QWidget>(macros, "macro_edit_macroname"), QString("renamed %1").arg(++names));
        Click(control<QWidget>(macros, "macro_btn_name_edit"));
    };
    chosenFile = home.filePath("exported.mac");
    std::vector<Row> rows = {
        {"macro_btn_name_add", {}, Click, {}, stored, why},
        {"macro_edit_macroname", {}, rename, {}, stored, why},
        {"macro_btn_name_edit", {}, rename, {}, stored, why},
        {"macro_btn_starredio", {}, [&](QWidget*) { recordA(); }, {}, stored, why},
        {"macro_check_time", {}, [&](QWidget* w) { Click(w); recordA(); }, {}, stored, why},
        {"macro_fixed_time_edit", [&] {
             auto* fixed = control<QAbstractButton>(macros, "macro_check_time");
             if (!fixed->isChecked())
                 Click(fixed);
         },
         [&](QWidget* w) { TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "77" ? "99" : "77"); recordA(); }, {},
         stored, why},
        {"macro_inset_moveleftkey_btn", {}, Click, {}, stored, why},
        {"macro_inset_moverightkey_btn", {}, Click, {}, stored, why},
        {"macro_inset_moveupkey_btn", {}, Click, {}, stored, why},
        {"macro_inset_movedownkey_btn", {}, Click, {}, stored, why},
        {"mouse_x_left_edit", {}, [&](QWidget* w) { typeOther(w); Click(control<QWidget>(macros, "macro_inset_moveleftkey_btn")); }, {}, stored, why},
        {"mouse_x_right_edit", {}, [&](QWidget* w) { typeOther(w); Click(control<QWidget>(macros, "macro_inset_moverightkey_btn")); }, {}, stored, why},
        {"mouse_y_up_edit", {}, [&](QWidget* w) { typeOther(w); Click(control<QWidget>(macros, "macro_inset_moveupkey_btn")); }, {}, stored, why},
        {"mouse_y_down_edit", {}, [&](QWidget* w) { typeOther(w); Click(control<QWidget>(macros, "macro_inset_movedownkey_btn")); }, {}, stored, why},
        {"macro_btn_up", pickRow(1), Click, {}, stored, why},
        {"macro_btn_down", pickRow(1), Click, {}, stored, why},
        {"macro_btn_uptop", pickRow(-1), Click, {}, stored, why},
        {"macro_btn_downbottom", pickRow(0), Click, {}, stored, why},
        {"macro_btn_delete", pickRow(0), Click, {}, stored, why},
        // The delay of an event, typed into its row, goes into the files with "save".
        {"macro_delay", [&] {
             threeEvents();
             ASSERT_NE(openDelay(macros, 0), nullptr);
         },
         [&](QWidget* w) {
             typeOther(w);
             Click(control<QWidget>(macros, "macro_btn_save"));
         },
         {}, stored, why},
        {"macro_btn_deleteall", threeEvents, Click, {}, stored, why},
        // A recording not saved yet goes into the files with "save".
        {"macro_btn_save", [&] {
             threeEvents();
             Click(control<QWidget>(macros, "macro_btn_starredio"));
             macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x30));
             macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x30));
             macros->StopRecording();
         },
         Click, {}, stored, why},
        {"macro_btn_export", {}, Click, {}, [&] {
             Json::Value v;
             QFile f(chosenFile);
             if (f.open(QIODevice::ReadOnly))
                 v = f.readAll().toStdString();
             return v;
         }, "writes the chosen file"},
        {"macro_btn_import", [&] { ASSERT_TRUE(QFileInfo::exists(chosenFile)); }, Click, {}, stored, why},
        // Deleting asks first; the scripted answer is yes.
        {"macro_btn_name_sub", [&] { Click(control<QWidget>(macros, "macro_btn_name_add")); }, Click, {}, stored, why},
    };
    Walker walker(macros, [&] { return drained(keyboard); }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    // Cancel: an unsaved recording goes, the saved events come back in the list.
    threeEvents();
    const int saved = list()->count();
    Click(control<QWidget>(macros, "macro_btn_starredio"));
    // The stop button blinks while the recording runs, and only then.
    auto* blink = qobject_cast<ui::CRedioMacroButtonUI*>(control<QWidget>(macros, "macro_btn_stopredio"));
    ASSERT_NE(blink, nullptr);
    EXPECT_TRUE(blink->IsBlinking());
    EXPECT_TRUE(waitFor([&] { return blink->FadeLevel() < ui::CRedioMacroButtonUI::kFadeMax; }));
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyDown, keyRecord(0x30));
    macros->RecordKeyEvent(CMacroControlUI::Append, CDeviceHook::kKeyUp, keyRecord(0x30));
    macros->StopRecording();
    EXPECT_FALSE(blink->IsBlinking());
    ASSERT_EQ(list()->count(), saved + 2);
    Click(control<QWidget>(macros, "macro_btn_cancel"));
    EXPECT_EQ(list()->count(), saved) << "cancel drops what was not saved";
    walker.Collect();
    walker.ExpectEveryControlHasARow({
        {"macro_name_list", "chooses the macro shown"},
        {"macro_action_list", "chooses the event the buttons act on; activating a row opens its menu"},
        {"macro_btn_cancel", "drops what was not saved (checked after the table)"},
        {"macro_btn_stopredio", "ends a recording (part of every recording row)"},
    });
}
