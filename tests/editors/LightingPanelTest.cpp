// The lighting panel on the real main window with the simulator process: every control reaches
// the device's settings memory, the preview and the profile; same lighting carries one device's
// effect to the others; game events switch the mode and it comes back; keys are painted by a
// drag over the keyboard picture.
#include "tests/editors/PanelTestFixture.h"
#include "tests/editors/ControlTable.h"

#include "app/MusicWnd.h"
#include "app/SdkBridge.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/LightTypes.h"
#include "editors/CLightControlUI.h"
#include "editors/LightingActions.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "ui/CAudioRecordUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CSelectPanelUI.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QMouseEvent>
#include <QSet>
#include <QSlider>
#include <QTcpSocket>

#include <array>
#include <cstring>

namespace {

struct DeviceCase {
    const char* sim;
    const char* kind;
    int staticMode;  // the still single-colour effect in the device's mode list
};

const DeviceCase kDevices[] = {
    {"keyboard", "keyboard", 6},
    {"mouse", "mouse", 3},
    {"pad", "MousePad", 3},
    {"headset", "HD", 3},
};

class LightingPanelTest : public PanelOnSimulatorTest {
protected:
    // The first bytes of the active settings block, the same on the four devices: profile, mode,
    // brightness, speed, direction, seven-colour flag, red, green, blue.
    QByteArray lightBytes(const char* device)
    {
        return QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex(device, "settings"))).left(9);
    }
    bool waitForBytes(const char* device, int offset, const QByteArray& expected)
    {
        return waitFor([&] { return lightBytes(device).mid(offset, expected.size()) == expected; });
    }
    static CLightControlUI* panelOf(CVantikUSBDevice* d)
    {
        return d ? d->findChild<CLightControlUI*>() : nullptr;
    }
    CVantikUSBDevice* showLighting(const DeviceCase& c)
    {
        CVantikUSBDevice* d = deviceOfKind(c.kind);
        if (!d)
            return nullptr;
        hub->TabSelected(d->Tab());
        if (auto* tab = control<QAbstractButton>(d, "device_tab_light"))
            tab->click();
        // The page is filled once the device has been read after connecting.
        if (!waitFor([&] {
                auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
                return modes && modes->count() > 0;
            }))
            return nullptr;
        return d;
    }
    void plugAll()
    {
        for (const DeviceCase& c : kDevices)
            ASSERT_NE(plugAndShow(c.sim, c.kind), nullptr) << c.kind;
    }
    // The settings writes (command 0x06) each device has taken so far.
    Json::Value settingsWrites()
    {
        Json::Value writes;
        const Json::Value devices = sim->run({"state"})["devices"];
        for (const DeviceCase& c : kDevices)
            writes[c.sim] = devices[c.sim]["counters"]["commands"]["0x06"];
        return writes;
    }
    static bool previewShows(CVantikUSBDevice* d, uint32_t packed)
    {
        for (auto* key : d->findChildren<ui::CDeviceKeyButtonUI*>())
            if (key->LightColourPacked() == packed)
                return true;
        return false;
    }
};

}  // namespace

TEST_F(LightingPanelTest, EachControlReachesTheDeviceThePreviewAndTheProfile)
{
    plugAll();
    for (const DeviceCase& c : kDevices) {
        SCOPED_TRACE(c.kind);
        CVantikUSBDevice* d = showLighting(c);
        ASSERT_NE(d, nullptr);
        CLightControlUI* panel = panelOf(d);
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(panel->isVisible());

        // Screen readers find every control by a name in the current language.
        for (QWidget* w : panel->findChildren<QWidget*>()) {
            if (w->isVisible() && w->focusPolicy() != Qt::NoFocus && !qobject_cast<QComboBox*>(w->parentWidget()) &&
                (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) ||
                 qobject_cast<QLineEdit*>(w) || qobject_cast<CColorPaletteUI*>(w))) {
                EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
                EXPECT_FALSE(w->accessibleName().startsWith("light_")) << w->objectName().toStdString();
            }
        }

        auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
        ASSERT_NE(modes, nullptr);
        modes->setCurrentIndex(c.staticMode);
        EXPECT_TRUE(waitForBytes(c.sim, 1, QByteArray(1, char(c.staticMode))));

        // A swatch: the colour, and the seven-colour cycle goes off.
        click(panel, "color_option_3");
        EXPECT_TRUE(waitForBytes(c.sim, 5, QByteArray::fromHex("00ffff00")));
        EXPECT_TRUE(waitFor([&] { return previewShows(d, PackForPreview({255, 255, 0, 255})); }));

        auto* brightness = control<QSlider>(panel, "deng_light_slider");
        ASSERT_NE(brightness, nullptr);
        brightness->setValue(2);
        EXPECT_TRUE(waitForBytes(c.sim, 2, QByteArray(1, char(2))));

        // A typed colour is cut to 0..255 when the edit loses focus.
        auto* green = control<QLineEdit>(panel, "deng_edit_G");
        ASSERT_NE(green, nullptr);
        green->setFocus();
        green->setText("300");
        control<QLineEdit>(panel, "deng_edit_B")->setFocus();
        QCoreApplication::processEvents();
        EXPECT_EQ(green->text(), "255");

        // The profile file keeps what the device took.
        const Json::Value light = CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][0]["LightInfo"];
        EXPECT_EQ(light["SelectItem"].asInt(), c.staticMode);
        EXPECT_EQ(light["Light"].asInt(), 2);
        EXPECT_EQ(light["Red"].asInt(), 255);
        EXPECT_EQ(light["Green"].asInt(), 255);
        EXPECT_FALSE(light["MultiColor"].asBool());
    }
}

// The direction options and the seven-colour cycle, clicked as a user does, on every device: a
// mode that offers each is chosen first, and each click must reach the device and the profile.
TEST_F(LightingPanelTest, DirectionAndSevenColoursReachTheDevice)
{
    plugAll();
    for (const DeviceCase& c : kDevices) {
        SCOPED_TRACE(c.kind);
        CVantikUSBDevice* d = showLighting(c);
        ASSERT_NE(d, nullptr);
        CLightControlUI* panel = panelOf(d);
        auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
        ASSERT_NE(modes, nullptr);
        const int kind = editors::KindOf(*d);
        int directionMode = -1, cycleMode = -1;
        for (int m = 0; m < modes->count(); ++m) {
            const editors::ModeLayout l = editors::LayoutFor(kind, m);
            if (directionMode < 0 && l.direction)
                directionMode = m;
            if (cycleMode < 0 && l.colourOption)
                cycleMode = m;
        }
        ASSERT_GE(cycleMode, 0);

        if (directionMode >= 0) {
            modes->setCurrentIndex(directionMode);
            ASSERT_TRUE(waitForBytes(c.sim, 1, QByteArray(1, char(directionMode))));
            // Both ways, twice: a control that answers once and then stays silent fails here.
            // The keyboard and the mouse keep the direction in their settings block; the pad and
            // the headset keep their own byte and take the direction into their light thread.
            const bool inSettings = QByteArray(c.sim) == "keyboard" || QByteArray(c.sim) == "mouse";
            auto fx = [&] {
                return CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][0]["LightInfo"]["Fx"].asInt();
            };
            for (int round = 0; round < 2; ++round) {
                for (auto [name, dir] : {std::pair{"deng_FXL_check", 1}, std::pair{"deng_FXR_check", 0}}) {
                    click(panel, name);
                    EXPECT_TRUE(waitFor([&] { return fx() == dir; })) << name << " round " << round;
                    if (inSettings) {
                        EXPECT_TRUE(waitForBytes(c.sim, 4, QByteArray(1, char(dir)))) << name << " round " << round;
                    }
                }
            }
        }

        modes->setCurrentIndex(cycleMode);
        ASSERT_TRUE(waitForBytes(c.sim, 1, QByteArray(1, char(cycleMode))));
        auto* cycle = control<QAbstractButton>(panel, "deng_7color_check");
        ASSERT_NE(cycle, nullptr);
        if (cycle->isChecked()) {
            cycle->click();
            ASSERT_TRUE(waitForBytes(c.sim, 5, QByteArray(1, char(0))));
        }
        cycle->click();
        EXPECT_TRUE(waitForBytes(c.sim, 5, QByteArray(1, char(1))));
        EXPECT_TRUE(CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][0]["LightInfo"]["MultiColor"].asBool());
        cycle->click();
        EXPECT_TRUE(waitForBytes(c.sim, 5, QByteArray(1, char(0))));
    }
}

TEST_F(LightingPanelTest, SameLightingCarriesTheKeyboardsEffectToEveryDevice)
{
    plugAll();
    CVantikUSBDevice* keyboard = showLighting(kDevices[0]);
    ASSERT_NE(keyboard, nullptr);
    CLightControlUI* panel = panelOf(keyboard);
    ASSERT_NE(panel, nullptr);
    control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(23);  // flash
    click(panel, "color_option_6");                                             // blue
    control<QSlider>(panel, "deng_light_slider")->setValue(3);
    ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray::fromHex("1703")));

    auto* same = control<QAbstractButton>(panel, "deng_same_mode");
    ASSERT_NE(same, nullptr);
    ASSERT_TRUE(same->isVisible()) << "four devices are connected";
    same->click();
    // Flash is mode 4 on the mouse, the pad and the headset, with the keyboard's values.
    for (const DeviceCase& c : kDevices) {
        SCOPED_TRACE(c.kind);
        const QByteArray expected = QByteArray::fromHex(c.sim == std::string("keyboard") ? "1703" : "0403");
        EXPECT_TRUE(waitForBytes(c.sim, 1, expected));
        EXPECT_TRUE(waitForBytes(c.sim, 6, QByteArray::fromHex("0000ff")));
        EXPECT_NE(deviceOfKind(c.kind)->SameLighting(), 0u);
    }

    // Changing one device's own lighting takes it out of the shared lighting.
    CVantikUSBDevice* mouse = showLighting(kDevices[1]);
    control<QSlider>(panelOf(mouse), "deng_speed_slider")->setValue(1);
    EXPECT_EQ(mouse->SameLighting(), 0u);
    EXPECT_NE(keyboard->SameLighting(), 0u);

    // A mode outside every family offers the button but changes nothing.
    control<QComboBox>(panelOf(mouse), "light_combo_modeSelect")->setCurrentIndex(6);
    ASSERT_TRUE(waitForBytes("mouse", 1, QByteArray(1, char(6))));
    for (const DeviceCase& c : kDevices)
        ASSERT_TRUE(drained(deviceOfKind(c.kind)));
    const Json::Value writesBefore = settingsWrites();
    click(panelOf(mouse), "deng_same_mode");
    // Whatever the click sent is on the devices' workers now: once they are drained, it has
    // reached the simulator.
    for (const DeviceCase& c : kDevices)
        ASSERT_TRUE(drained(deviceOfKind(c.kind)));
    EXPECT_EQ(settingsWrites(), writesBefore) << "no device was written";
    EXPECT_EQ(lightBytes("keyboard").at(1), char(23));
}

TEST_F(LightingPanelTest, GameEventSwitchesTheModeAndItReturnsAfterTheLastEvent)
{
    ASSERT_NE(plugAndShow("keyboard", "keyboard"), nullptr);
    CVantikUSBDevice* keyboard = showLighting(kDevices[0]);
    control<QComboBox>(panelOf(keyboard), "light_combo_modeSelect")->setCurrentIndex(25);
    ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(25))));

    const uint32_t start = app::RegisteredMessages::Find("Game_Start");
    window->PostMessage(start, 0, 7);
    EXPECT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(7))));
    // 25 lies outside 1..20: the mode to return to is 1.
    EXPECT_EQ(keyboard->Profile().GetLightInfo().previousMode, 1);
    EXPECT_EQ(control<QComboBox>(panelOf(keyboard), "light_combo_modeSelect")->currentIndex(), 7);
    // A mode the keyboard does not have is not shown, but the event still counts: the return
    // comes 5 s after the second event, not 5 s after the first (2.5 s after the second). A
    // loaded machine can only make it later, so the lower bound holds whatever the load.
    QTest::qWait(2500);
    window->PostMessage(app::RegisteredMessages::Find("Game_Death"), 1, 200);
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return lightBytes("keyboard").at(1) == char(1); }, 15000));
    EXPECT_GE(sinceSecond.elapsed(), 4000) << "the second event put the return off";
    EXPECT_EQ(keyboard->Profile().GetLightInfo().mode, 1);
}

TEST_F(LightingPanelTest, DraggingOverKeysPaintsThemInTheCustomColourMode)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    showLighting(kDevices[0]);
    CLightControlUI* panel = panelOf(keyboard);
    control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(19);
    ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(19))));
    ASSERT_TRUE(control<QWidget>(panel, "lightcustom_layout")->isVisible());
    click(panel, "color_option_1");  // red

    auto* picture = keyboard->findChild<ui::CSelectPanelUI*>();
    ASSERT_NE(picture, nullptr);
    auto keyAt = [&](const char* name) { return control<ui::CDeviceKeyButtonUI>(picture, name); };
    // Q, W and E sit side by side in the letter row; Esc is far away.
    ui::CDeviceKeyButtonUI* first = nullptr;
    ui::CDeviceKeyButtonUI* last = nullptr;
    for (auto* key : picture->findChildren<ui::CDeviceKeyButtonUI*>()) {
        if (key->toolTip() == "Q")
            first = key;
        if (key->toolTip() == "E")
            last = key;
    }
    ASSERT_NE(first, nullptr);
    ASSERT_NE(last, nullptr);
    const auto countRed = [&] {
        const QByteArray table = QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("keyboard", "lighttable")));
        int n = 0;
        for (int i = 0; i + 2 < 3 * 170 && i + 2 < table.size(); i += 3)
            n += table.mid(i, 3) == QByteArray::fromHex("ff0000");
        return n;
    };
    const int redBefore = countRed();

    // A real drag on the picture from the middle of Q over W to the middle of E.
    const QPoint from = first->geometry().center();
    const QPoint to = last->geometry().center();
    QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 8; ++i)
        QTest::mouseMove(picture, from + (to - from) * i / 8);
    QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, to);

    EXPECT_TRUE(waitFor([&] { return countRed() == redBefore + 3; })) << "red keys: " << countRed() << " before " << redBefore;
    EXPECT_TRUE(first->IsSelected());
    EXPECT_TRUE(last->IsSelected());
    EXPECT_FALSE(keyAt("key_0")->IsSelected());
    // The colours are the profile's custom group, so a restart shows them again.
    const LightInfo info = keyboard->Profile().GetLightInfo();
    const auto colours = keyboard->KeyboardProfile().GetCustomLightColors(info.customGroup, 170);
    int red = 0;
    for (const auto& c : colours)
        red += c.red == 255 && c.green == 0 && c.blue == 0;
    EXPECT_GE(red, 3);

    // "Clear" turns the selected keys off.
    click(panel, "custom_off_color_btn");
    EXPECT_TRUE(waitFor([&] { return countRed() == redBefore; }));
}

TEST_F(LightingPanelTest, ADragThatStartsOnAKeyPaintsTheRectangle)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    showLighting(kDevices[0]);
    CLightControlUI* panel = panelOf(keyboard);
    control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(19);
    ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(19))));
    click(panel, "color_option_1");  // red

    auto* picture = keyboard->findChild<ui::CSelectPanelUI*>();
    ASSERT_NE(picture, nullptr);
    ui::CDeviceKeyButtonUI* q = nullptr;
    ui::CDeviceKeyButtonUI* w = nullptr;
    ui::CDeviceKeyButtonUI* e = nullptr;
    ui::CDeviceKeyButtonUI* a = nullptr;
    for (auto* key : picture->findChildren<ui::CDeviceKeyButtonUI*>()) {
        const QString name = key->toolTip();
        if (name == "Q")
            q = key;
        else if (name == "W")
            w = key;
        else if (name == "E")
            e = key;
        else if (name == "A")
            a = key;
    }
    ASSERT_TRUE(q && w && e && a);

    // The press lands on Q itself; the button then holds the mouse, so every move and the
    // release reach Q, with positions beyond its edges, as they do on a real screen.
    const QPoint from = q->rect().center();
    const QPoint to = q->mapFrom(picture, e->geometry().center());
    QTest::mousePress(q, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 8; ++i)
        QTest::mouseMove(q, from + (to - from) * i / 8);
    QTest::mouseRelease(q, Qt::LeftButton, Qt::NoModifier, to);

    EXPECT_TRUE(q->IsSelected());
    EXPECT_TRUE(w->IsSelected()) << "the rectangle reaches from Q to E";
    EXPECT_TRUE(e->IsSelected());
    EXPECT_FALSE(a->IsSelected()) << "the row below is outside the rectangle";
    EXPECT_FALSE(q->isDown());
    const LightInfo info = keyboard->Profile().GetLightInfo();
    const auto colours = keyboard->KeyboardProfile().GetCustomLightColors(info.customGroup, 170);
    int red = 0;
    for (const auto& c : colours)
        red += c.red == 255 && c.green == 0 && c.blue == 0;
    EXPECT_GE(red, 3);
}

TEST_F(LightingPanelTest, EveryMusicStyleCanBeChosen)
{
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    showLighting(kDevices[0]);
    CLightControlUI* panel = panelOf(keyboard);
    control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(29);
    auto* styles = control<QComboBox>(panel, "light_combo_audiomodeSelect");
    ASSERT_NE(styles, nullptr);
    ASSERT_EQ(styles->count(), 7);
    QSet<QString> names;
    for (int i = 0; i < styles->count(); ++i)
        names.insert(styles->itemText(i));
    EXPECT_EQ(names.size(), 7) << "each style has its own name";
    for (const QString& name : names)
        EXPECT_FALSE(name.isEmpty() || name.startsWith("light_audio_mode")) << qPrintable(name);
    for (int style : {6, 4, 0}) {
        styles->setCurrentIndex(style);
        EXPECT_TRUE(waitFor([&] { return keyboard->Profile().GetAudioLightInfo().audioMode == style; })) << style;
    }
}

TEST_F(LightingPanelTest, TheKeyPageTakesTheFnKeyOutOfReachAndShowsTheKeysUnlit)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(showLighting(kDevices[0]), nullptr);
    auto* fn = control<ui::CDeviceKeyButtonUI>(keyboard, "key_110");
    ASSERT_NE(fn, nullptr);
    auto litKeys = [&] {
        int lit = 0;
        for (auto* key : keyboard->findChildren<ui::CDeviceKeyButtonUI*>())
            lit += key->LightColourPacked() != 0 ? 1 : 0;
        return lit;
    };
    EXPECT_TRUE(fn->isEnabled());
    EXPECT_TRUE(waitFor([&] { return litKeys() > 0; })) << "the lighting page shows the keys lit";

    click(keyboard, "device_tab_keys");
    EXPECT_EQ(keyboard->GetFunctionPage(), 2);
    EXPECT_FALSE(fn->isEnabled()) << "the FN key cannot be reassigned";
    EXPECT_TRUE(waitFor([&] { return litKeys() == 0; })) << "keys show unlit away from the lighting page";

    click(keyboard, "device_tab_light");
    EXPECT_EQ(keyboard->GetFunctionPage(), 1);
    EXPECT_TRUE(fn->isEnabled());
    EXPECT_TRUE(waitFor([&] { return litKeys() > 0; }));
}

TEST_F(LightingPanelTest, TheLightingIsShownAgainAfterARestart)
{
    ASSERT_NE(plugAndShow("keyboard", "keyboard"), nullptr);
    CLightControlUI* panel = panelOf(showLighting(kDevices[0]));
    ASSERT_NE(panel, nullptr);
    control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(6);
    click(panel, "color_option_4");  // green
    ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(6))));
    ASSERT_TRUE(waitForBytes("keyboard", 6, QByteArray::fromHex("00ff00")));

    // Tessel ends and starts again on the same keyboard.
    window->Shutdown();
    window.reset();
    window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
    ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
    hub = window->Devices();
    ASSERT_TRUE(waitFor([&] {
        CVantikUSBDevice* d = deviceOfKind("keyboard");
        return d && d->Tab() && !d->Tab()->isHidden() && d->Transport().isReady();
    }));
    panel = panelOf(showLighting(kDevices[0]));
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(waitFor([&] { return control<QComboBox>(panel, "light_combo_modeSelect")->currentIndex() == 6; }));
    EXPECT_EQ(control<QLineEdit>(panel, "deng_edit_G")->text(), "255");
    EXPECT_EQ(control<QLineEdit>(panel, "deng_edit_R")->text(), "0");
    EXPECT_FALSE(control<QAbstractButton>(panel, "deng_7color_check")->isChecked());
}

TEST_F(LightingPanelTest, NothingIsWrittenWhileAnotherProgramHoldsTheLighting)
{
    ASSERT_NE(plugAndShow("mouse", "mouse"), nullptr);
    CVantikUSBDevice* mouse = showLighting(kDevices[1]);
    ASSERT_NE(mouse, nullptr);
    auto* modes = control<QComboBox>(panelOf(mouse), "light_combo_modeSelect");
    modes->setCurrentIndex(3);
    ASSERT_TRUE(waitForBytes("mouse", 1, QByteArray(1, char(3))));

    const uint32_t request = app::RegisteredMessages::Find(app::msg::kLightControlRequest);
    window->PostMessage(request, 1, 0);  // another program takes the lighting
    ASSERT_TRUE(waitFor([&] { return mouse->LightingControl() == 0; }));
    ASSERT_TRUE(drained(mouse));
    const Json::Value writesBefore = settingsWrites();
    modes->setCurrentIndex(2);
    ASSERT_TRUE(drained(mouse));
    EXPECT_EQ(settingsWrites()["mouse"], writesBefore["mouse"]) << "nothing was written";
    EXPECT_EQ(lightBytes("mouse").at(1), char(3)) << "the mouse keeps what the other program shows";
    EXPECT_EQ(mouse->Profile().GetLightInfo().mode, 2) << "the choice is kept for later";

    window->PostMessage(request, 1, 1);  // and gives it back
    ASSERT_TRUE(waitFor([&] { return mouse->LightingControl() != 0; }));
    modes->setCurrentIndex(4);
    EXPECT_TRUE(waitForBytes("mouse", 1, QByteArray(1, char(4))));
}

// A lighting tool drives the pad through the SDK server: the panel says who, its controls rest,
// the profile stays as it was and nothing of it is written; when the tool goes, the profile's
// lighting is sent again and the panel is the user's again.
TEST_F(LightingPanelTest, AnSdkClientDrivesThePadAndThePanelSaysWho)
{
    ASSERT_NE(plugAndShow("pad", "MousePad"), nullptr);
    CVantikUSBDevice* pad = showLighting(kDevices[2]);
    ASSERT_NE(pad, nullptr);
    CLightControlUI* panel = panelOf(pad);
    const LightInfo profileBefore = pad->Profile().GetLightInfo();

    app::SdkBridge bridge(*hub);
    QString error;
    ASSERT_TRUE(bridge.Start({true, 0, false}, &error)) << error.toStdString();
    int index = -1;
    ASSERT_TRUE(waitFor([&] {
        const auto& list = bridge.Server().Controllers();
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].type == sdk::DeviceType::MouseMat)
                index = int(i);
        }
        return index >= 0;
    }));
    const uint32_t ledCount = uint32_t(bridge.Server().Controllers()[size_t(index)].leds.size());
    ASSERT_EQ(ledCount, 15u);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, bridge.Server().Port());
    ASSERT_TRUE(client.waitForConnected(5000));
    auto send = [&](uint32_t id, const std::vector<uint8_t>& payload) {
        const std::vector<uint8_t> b = sdk::EncodePacket(uint32_t(index), id, payload);
        client.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    };
    const std::string name = "Visualiser";
    send(sdk::packet::kSetClientName, std::vector<uint8_t>(name.begin(), name.end() + 1));
    std::vector<uint8_t> leds(6 + 4 * ledCount, 0);
    const uint32_t size = uint32_t(leds.size());
    std::memcpy(&leds[0], &size, 4);
    std::memcpy(&leds[4], &ledCount, 2);
    for (uint32_t i = 0; i < ledCount; ++i)
        leds[6 + 4 * i] = 0xC8;  // red 200
    const Json::Value writesBefore = settingsWrites();
    send(sdk::packet::kUpdateLeds, leds);

    const QString expected = QStringLiteral("Controlled by Visualiser");
    auto notice = [&] { return panel->findChild<QLabel*>(QStringLiteral("light_external_control_text")); };
    ASSERT_TRUE(waitFor([&] { return notice() && notice()->isVisible() && notice()->text() == expected; }));
    EXPECT_FALSE(control<QWidget>(panel, "lighteffect_layout")->isEnabled()) << "the controls rest";
    const QByteArray red = QByteArray::fromHex("c70000");  // 200 at full brightness: 200 * 255 >> 8
    ASSERT_TRUE(waitFor([&] {
        const QByteArray frame = QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("pad", "frame")));
        return frame.left(3) == red && frame.mid(42, 3) == red;
    })) << "the pad's frames carry the client's colours";
    EXPECT_EQ(settingsWrites()["pad"], writesBefore["pad"]) << "nothing of the profile is written";

    // A tool that sends the same colours again at its frame rate: the pad already shows them,
    // so a change followed by five repeats costs what the change alone costs.
    auto frameChunks = [&] { return sim->run({"state"})["devices"]["pad"]["counters"]["commands"]["0x12"].asInt(); };
    auto showAll = [&](uint8_t red, uint8_t green, uint8_t blue, int repeats) {
        for (uint32_t i = 0; i < ledCount; ++i) {
            leds[6 + 4 * i] = red;
            leds[6 + 4 * i + 1] = green;
            leds[6 + 4 * i + 2] = blue;
        }
        for (int k = 0; k <= repeats; ++k) {
            send(sdk::packet::kUpdateLeds, leds);
            // Apart, as a tool's frames come: each repeat would be a frame of its own if it were
            // pushed (the wait only gives that fault room to show; it cannot fail the test).
            if (k < repeats)
                QTest::qWait(40);
        }
        const QByteArray want = QByteArray::fromHex(QByteArray::number((red * 255) >> 8, 16).rightJustified(2, '0') +
                                                    QByteArray::number((green * 255) >> 8, 16).rightJustified(2, '0') +
                                                    QByteArray::number((blue * 255) >> 8, 16).rightJustified(2, '0'));
        return waitFor([&] {
            const QByteArray frame = QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("pad", "frame")));
            return frame.left(3) == want && frame.mid(42, 3) == want;
        });
    };
    const int beforeOne = frameChunks();
    ASSERT_TRUE(showAll(0, 0xC8, 0, 0));
    const int oneChange = frameChunks() - beforeOne;
    ASSERT_TRUE(showAll(0, 0, 0xC8, 5));
    EXPECT_EQ(frameChunks() - beforeOne - oneChange, oneChange) << "repeated colours were sent again";

    client.disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return !notice()->isVisible(); }));
    EXPECT_TRUE(control<QWidget>(panel, "lighteffect_layout")->isEnabled());
    EXPECT_TRUE(waitFor([&] { return settingsWrites()["pad"].asInt() > writesBefore["pad"].asInt(); }))
        << "the profile's lighting is sent again";
    EXPECT_FALSE(pad->ExternalLighting());
    const LightInfo profileAfter = pad->Profile().GetLightInfo();
    EXPECT_EQ(profileAfter.mode, profileBefore.mode);
    EXPECT_EQ((std::array{profileAfter.red, profileAfter.green, profileAfter.blue}),
              (std::array{profileBefore.red, profileBefore.green, profileBefore.blue}));
}

// A drag over the colour field, as the mouse makes it: the keyboard gets the colour the drag ends
// on, in far fewer settings writes than mouse moves, and the profile file is written once, after
// the drag.
TEST_F(LightingPanelTest, ADragOverTheColourFieldSendsAtTheDevicesPaceAndSavesOnce)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(showLighting(kDevices[0]), nullptr);
    ASSERT_TRUE(drained(keyboard));
    auto* field = control<QWidget>(keyboard, "deng_Color_Pallet");
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(field->isVisible());
    auto writes = [&] { return sim->run({"state"})["devices"]["keyboard"]["counters"]["commands"]["0x06"].asUInt64(); };
    const QString profile = keyboard->Profile().GetProfilePath();
    int saves = 0;
    QFileSystemWatcher watcher({QFileInfo(profile).absolutePath()});
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, [&] { ++saves; });
    const uint64_t before = writes();

    const int moves = 30;
    const QPoint start(field->width() / 8, field->height() / 2);
    QElapsedTimer dragTime;
    dragTime.start();
    QTest::mousePress(field, Qt::LeftButton, {}, start);
    for (int i = 1; i <= moves; ++i) {
        QMouseEvent move(QEvent::MouseMove, QPointF(start.x() + i * field->width() / 48, start.y()),
                         field->mapToGlobal(QPointF(start.x() + i * field->width() / 48, start.y())), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &move);
        QTest::qWait(20);
    }
    const QPoint end(start.x() + moves * field->width() / 48, start.y());
    QTest::mouseRelease(field, Qt::LeftButton, {}, end);
    const qint64 dragMs = dragTime.elapsed();
    const LightInfo chosen = keyboard->Profile().GetLightInfo();

    // The device comes to hold the last colour (the last write of a drag may wait out the
    // device's pace after the button is up, so it is waited for, not expected at once).
    const char rgb[3] = {char(chosen.red), char(chosen.green), char(chosen.blue)};
    EXPECT_TRUE(waitForBytes("keyboard", 6, QByteArray(rgb, 3))) << lightBytes("keyboard").toHex().toStdString();
    ASSERT_TRUE(drained(keyboard));
    // The writes were merged to the device's pace: a mouse move every 20 ms, a write at most
    // every kSettingsPaceMs (and the last one after them). A loaded machine that stretches the
    // moves apart allows as many writes as the time allows.
    const uint64_t sent = writes() - before;
    EXPECT_GE(sent, 1u);
    EXPECT_LE(sent, uint64_t(dragMs / CVantikUSBDevice::kSettingsPaceMs + 2)) << "one write per mouse move in "
                                                                              << dragMs << " ms";
    // Saved once the drag is over, and only then.
    EXPECT_TRUE(waitFor([&] {
        const Json::Value saved = CJsonFile::ReadJson(profile)["Device"][0]["LightInfo"];
        return saved["Red"].asInt() == chosen.red && saved["Green"].asInt() == chosen.green &&
               saved["Blue"].asInt() == chosen.blue;
    }));
    EXPECT_LE(saves, 4) << "a save (a temporary file and its rename) per mouse move";
}

// Every control of the keyboard's lighting panel, by table: each row puts the panel into a mode
// that offers the control, operates it with input events on the control itself and must change
// the keyboard's memory (read back from the simulator) and the profile file. A control the user
// can operate in any of the modes visited without a row fails the last check.
TEST_F(LightingPanelTest, EveryKeyboardLightingControlChangesTheDeviceAndTheProfile)
{
    using namespace controltable;
    // A second device makes "same lighting" available.
    ASSERT_NE(plugAndShow("mouse", "mouse"), nullptr);
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(showLighting(kDevices[0]), nullptr);
    CLightControlUI* panel = panelOf(keyboard);
    ASSERT_NE(panel, nullptr);
    auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
    ASSERT_NE(modes, nullptr);
    auto mode = [&](int m) {
        return [this, keyboard, modes, m] {
            ASSERT_TRUE(ChooseItem(modes, m)) << "mode " << m;
            ASSERT_TRUE(waitForBytes("keyboard", 1, QByteArray(1, char(m))));
            ASSERT_TRUE(drained(keyboard));
        };
    };
    auto settings = [this] { return sim->dumpHex("keyboard", "settings"); };
    auto keyColours = [this] { return sim->dumpHex("keyboard", "lighttable"); };
    auto profile = [keyboard](const char* key) {
        return [keyboard, key] { return CJsonFile::ReadJson(keyboard->Profile().GetProfilePath())["Device"][0][key]; };
    };
    auto lightInfo = profile("LightInfo");
    auto audioInfo = profile("AudioLightInfo");
    auto wholeProfile = [keyboard] { return CJsonFile::ReadJson(keyboard->Profile().GetProfilePath())["Device"][0]; };
    auto toggleOption = [&](const char* other) {
        return [this, panel, other](QWidget* w) {
            // An option already chosen is left by choosing the other first.
            if (qobject_cast<QAbstractButton*>(w)->isChecked())
                Click(control<QWidget>(panel, other));
            ASSERT_TRUE(drained(deviceOfKind("keyboard")));
            Click(w);
        };
    };
    auto typeOther = [](QWidget* w) {
        TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "17" ? "18" : "17");
    };
    // A swatch of another colour than the one the panel shows.
    auto otherSwatch = [panel](const char* prefix, const char* edit) {
        return [panel, prefix, edit](QWidget*) {
            const QString shown = control<QLineEdit>(panel, edit)->text();
            Click(control<QWidget>(panel, (QByteArray(prefix) + (shown == "255" ? "2" : "1")).constData()));
        };
    };
    auto pickInField = [](QWidget* w) {
        static int n = 0;
        const QPoint at(w->width() * (2 + (n++ % 5)) / 8, w->height() / 3);
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
    };
    // Selects Q on the keyboard picture (which paints it), for the buttons that colour or clear
    // the selected keys; `lit` leaves it lit, else it is cleared.
    auto selectAKey = [&](bool lit) {
        return [&, lit] {
            mode(19)();
            for (auto* key : keyboard->findChildren<ui::CDeviceKeyButtonUI*>())
                if (key->toolTip() == "Q" && !key->IsSelected())
                    Click(key);
            Click(control<QWidget>(panel, lit ? "custom_bright_color_btn" : "custom_off_color_btn"));
        };
    };

    const std::vector<Row> rows = {
        {"light_combo_modeSelect", mode(1), [](QWidget* w) { ASSERT_TRUE(ChooseItem(qobject_cast<QComboBox*>(w), 6)); },
         settings, lightInfo},
        {"deng_light_slider", mode(1), StepSlider, settings, lightInfo},
        {"deng_speed_slider", mode(1), StepSlider, settings, lightInfo},
        {"deng_FXL_check", mode(1), toggleOption("deng_FXR_check"), settings, lightInfo},
        {"deng_FXR_check", mode(1), toggleOption("deng_FXL_check"), settings, lightInfo},
        {"deng_7color_check", mode(1), Click, settings, lightInfo},
        {"color_option_", mode(6), otherSwatch("color_option_", "deng_edit_R"), settings, lightInfo},
        {"deng_edit_R", mode(6), typeOther, settings, lightInfo},
        {"deng_edit_G", mode(6), typeOther, settings, lightInfo},
        {"deng_edit_B", mode(6), typeOther, settings, lightInfo},
        {"deng_Color_Pallet", mode(6), pickInField, settings, lightInfo},
        {"light_combo_ZZCCmodeSelect", mode(17), ChooseAnother, settings, lightInfo},
        {"custom_bright_color_btn", selectAKey(false), Click, keyColours, wholeProfile},
        {"custom_off_color_btn", selectAKey(true), Click, keyColours, wholeProfile},
        // Entering a group writes its colours into the device's table for it: the table, or where
        // it already holds them, the count of table writes shows it.
        {"light_combo_custommodeSelect", selectAKey(true), ChooseAnother,
         [this, keyColours] {
             const auto commands = sim->run({"state"})["devices"]["keyboard"]["counters"]["commands"];
             return commands["0x0B"].toStyledString() + commands["0x0b"].toStyledString() + keyColours();
         },
         lightInfo},
        {"deng_same_mode", mode(23), Click, [this] { return sim->dumpHex("mouse", "settings"); },
         [this] {
             return CJsonFile::ReadJson(deviceOfKind("mouse")->Profile().GetProfilePath())["Device"][0]["LightInfo"];
         }},
        // The music mode's colours are drawn by Tessel into the frames it streams; the
        // keyboard's memory has no place for them.
        {"light_combo_audiomodeSelect", mode(29), ChooseAnother, {}, audioInfo, "drawn into the frames"},
        {"deng_7audiocolor_check", [&] { mode(29)(); Click(control<QWidget>(panel, "audio_FgColor_check")); },
         Click, {}, audioInfo, "drawn into the frames"},
        {"audio_BkColor_check", mode(29), toggleOption("audio_FgColor_check"), {}, audioInfo, "drawn into the frames"},
        {"audio_FgColor_check", mode(29), toggleOption("audio_BkColor_check"), {}, audioInfo, "drawn into the frames"},
        {"audiocolor_option_", mode(29), otherSwatch("audiocolor_option_", "deng_audioedit_R"), {}, audioInfo,
         "drawn into the frames"},
        {"deng_audioedit_R", mode(29), typeOther, {}, audioInfo, "drawn into the frames"},
        {"deng_audioedit_G", mode(29), typeOther, {}, audioInfo, "drawn into the frames"},
        {"deng_audioedit_B", mode(29), typeOther, {}, audioInfo, "drawn into the frames"},
        {"deng_audioColor_Pallet", mode(29), pickInField, {}, audioInfo, "drawn into the frames"},
        {"Close_bkColor_btn",
         [&] {
             mode(29)();
             Click(control<QWidget>(panel, "audio_BkColor_check"));
             TypeAndLeave(control<QWidget>(panel, "deng_audioedit_R"), "90");
         },
         Click, {}, audioInfo, "drawn into the frames"},
        // The audio styles are the capture program's: the button opens their window, where a step
        // of the red slider and OK land in the user's audio style file.
        {"music_setting_btn", mode(29),
         [this](QWidget* w) {
             // Polled from the modal window's own event loop.
             QTimer poll;
             bool done = false;
             QObject::connect(&poll, &QTimer::timeout, [this, &done] {
                 MusicWnd* music = window->MusicWindow();
                 if (done || !music || !music->isVisible())
                     return;
                 done = true;
                 StepSlider(music->PM().FindControl("audio_r_slider"));
                 Click(music->PM().FindControl("okbtn"));
             });
             poll.start(20);
             Click(w);
             EXPECT_TRUE(waitFor([&] { return done && !window->MusicWindow(); })) << "the style window did not open";
         },
         {}, [] { return CJsonFile::ReadJson(QDir(paths::userDataFolder()).filePath("AudioFile.json")); },
         "the styles go to the capture program, not to the keyboard"},
    };
    Walker walker(panel, [&] { return drained(keyboard); }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    // Modes whose controls no row visits.
    for (int m : {3, 12, 18, 21, 24}) {
        mode(m)();
        walker.Collect();
    }
    walker.ExpectEveryControlHasARow({
        {"deng_colordp_btn", "shows the chosen colour; it takes no input"},
        {"deng_audiocolordp_btn", "shows the chosen audio colour; it takes no input"},
    });
}

// The same panel on the mouse, the pad and the headset, by table: their modes differ from the
// keyboard's, and the keyboard-only choices are not offered.
TEST_F(LightingPanelTest, EveryLightingControlOfTheOtherDevicesChangesTheDeviceAndTheProfile)
{
    using namespace controltable;
    plugAll();
    for (const DeviceCase& c : {kDevices[1], kDevices[2], kDevices[3]}) {
        SCOPED_TRACE(c.kind);
        CVantikUSBDevice* d = showLighting(c);
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(waitFor([d] { return !d->Profile().GetProfilePath().isEmpty(); }));
        CLightControlUI* panel = panelOf(d);
        auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
        ASSERT_NE(modes, nullptr);
        auto mode = [&](int m) {
            return [this, d, modes, m, &c] {
                ASSERT_TRUE(ChooseItem(modes, m)) << "mode " << m;
                ASSERT_TRUE(waitForBytes(c.sim, 1, QByteArray(1, char(m))));
                ASSERT_TRUE(drained(d));
            };
        };
        auto settings = [this, &c] { return sim->dumpHex(c.sim, "settings"); };
        auto lightInfo = [d] { return CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][0]["LightInfo"]; };
        auto toggleOption = [&](const char* other) {
            return [this, panel, other, d](QWidget* w) {
                if (qobject_cast<QAbstractButton*>(w)->isChecked())
                    Click(control<QWidget>(panel, other));
                ASSERT_TRUE(drained(d));
                Click(w);
            };
        };
        auto typeOther = [](QWidget* w) { TypeAndLeave(w, qobject_cast<QLineEdit*>(w)->text() == "17" ? "18" : "17"); };
        auto otherSwatch = [panel](QWidget*) {
            Click(control<QWidget>(panel, control<QLineEdit>(panel, "deng_edit_R")->text() == "255" ? "color_option_2"
                                                                                                  : "color_option_1"));
        };
        auto pickInField = [](QWidget* w) {
            static int n = 0;
            QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(w->width() * (2 + (n++ % 5)) / 8, w->height() / 3));
        };
        // The keyboard and the mouse keep the direction in their settings; the pad and the
        // headset draw it in Tessel's light thread into the frames they are sent.
        const bool directionInSettings = QByteArray(c.sim) == "mouse";
        std::function<std::string()> direction;
        if (directionInSettings)
            direction = settings;
        const char* directionWhy = directionInSettings ? "" : "drawn by Tessel into the frames";
        const std::vector<Row> rows = {
            {"light_combo_modeSelect", mode(0), [](QWidget* w) { ASSERT_TRUE(ChooseItem(qobject_cast<QComboBox*>(w), 2)); },
             settings, lightInfo},
            {"deng_light_slider", mode(0), StepSlider, settings, lightInfo},
            {"deng_speed_slider", mode(0), StepSlider, settings, lightInfo},
            {"deng_FXL_check", mode(0), toggleOption("deng_FXR_check"), direction, lightInfo, directionWhy},
            {"deng_FXR_check", mode(0), toggleOption("deng_FXL_check"), direction, lightInfo, directionWhy},
            {"deng_7color_check", mode(0), Click, settings, lightInfo},
            {"color_option_", mode(2), otherSwatch, settings, lightInfo},
            {"deng_edit_R", mode(2), typeOther, settings, lightInfo},
            {"deng_edit_G", mode(2), typeOther, settings, lightInfo},
            {"deng_edit_B", mode(2), typeOther, settings, lightInfo},
            {"deng_Color_Pallet", mode(2), pickInField, settings, lightInfo},
            // Mode 2 belongs to the family the keyboard shows as mode 5.
            {"deng_same_mode", mode(2), Click, [this] { return sim->dumpHex("keyboard", "settings"); },
             [this] {
                 return CJsonFile::ReadJson(deviceOfKind("keyboard")->Profile().GetProfilePath())["Device"][0]["LightInfo"];
             }},
        };
        Walker walker(panel, [&] { return drained(d); }, [&](const std::function<bool()>& cond) { return waitFor(cond); });
        walker.Walk(rows);
        for (int m = 0; m < modes->count(); ++m) {
            if (qobject_cast<QListView*>(modes->view())->isRowHidden(m))
                continue;
            mode(m)();
            walker.Collect();
        }
        walker.ExpectEveryControlHasARow({
            {"deng_colordp_btn", "shows the chosen colour; it takes no input"},
        });
    }
}

// The music mode's row: the audio style button opens its window from a real click and from a
// screen reader's press, one window at a time; the spectrum beside it shows the frames the
// capture program sends while the row is on screen and keeps the last one while it is hidden.
TEST_F(LightingPanelTest, MusicModeRowOpensTheStyleWindowAndShowsTheLiveSpectrum)
{
    using namespace controltable;
    auto* keyboard = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(showLighting(kDevices[0]), nullptr);
    CLightControlUI* panel = panelOf(keyboard);
    ASSERT_NE(panel, nullptr);
    auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
    auto* button = control<QAbstractButton>(panel, "music_setting_btn");
    auto* spectrum = panel->findChild<ui::CAudioRecordUI*>("light_audio_spectrum");
    ASSERT_TRUE(modes && button && spectrum);
    ASSERT_TRUE(ChooseItem(modes, 1));
    EXPECT_FALSE(button->isVisible()) << "the row belongs to the music mode";
    ASSERT_TRUE(ChooseItem(modes, 29));
    ASSERT_TRUE(button->isVisible() && spectrum->isVisible());
    EXPECT_EQ(spectrum->accessibleName(), "Live sound");
    EXPECT_EQ(button->accessibleName(), "Audio styles");
    // The music style without colours turns the colour choices off, the seven-colour check beside
    // the button with them, but not the styles.
    auto* styles = control<QComboBox>(panel, "light_combo_audiomodeSelect");
    auto* seven = control<QWidget>(panel, "deng_7audiocolor_check");
    ASSERT_TRUE(styles && seven);
    Click(control<QWidget>(panel, "audio_FgColor_check"));
    for (const int style : {3, 0}) {
        ASSERT_TRUE(ChooseItem(styles, style));
        EXPECT_EQ(seven->isEnabled(), style != 3) << "style " << style;
        EXPECT_TRUE(button->isEnabled()) << "style " << style;
    }

    // Opened by a click, by the accessible press, and not a second time while it is open.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
    ASSERT_TRUE(accessible && accessible->actionInterface());
    for (const char* how : {"click", "accessible press"}) {
        SCOPED_TRACE(how);
        MusicWnd* opened = nullptr;
        bool secondOpened = false;
        // Polled from whichever event loop runs, the modal window's own included.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            MusicWnd* shown = window->MusicWindow();
            if (opened || !shown || !shown->isVisible())
                return;
            opened = shown;
            button->click();  // the window is modal; a click that still arrives opens nothing new
            secondOpened = window->MusicWindow() != opened;
            opened->Close(0);
        });
        poll.start(20);
        if (QByteArray(how) == "click")
            Click(button);
        else
            accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        // The accessible press clicks the button a moment later.
        EXPECT_TRUE(waitFor([&] { return opened != nullptr && window->MusicWindow() == nullptr; }));
        EXPECT_FALSE(secondOpened);
    }

    std::vector<int32_t> frame(500, 0);
    frame[3] = 4096;
    window->ProcessSpectrum(frame.data());
    EXPECT_EQ(spectrum->Values()[3], 4096);
    ASSERT_TRUE(ChooseItem(modes, 1));
    ASSERT_FALSE(spectrum->isVisible());
    frame[3] = 100;
    window->ProcessSpectrum(frame.data());
    EXPECT_EQ(spectrum->Values()[3], 4096) << "a hidden view takes no frames";
}
