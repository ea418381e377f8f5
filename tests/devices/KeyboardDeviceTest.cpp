#include "app/Application.h"
#include "tests/support/WindowOnSimulator.h"
#include "tests/support/SimulatorProcess.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/KeyboardEffects.h"
#include "profiles/CJsonFile.h"
#include "keytables/DefaultKeyTables.h"
#include "editors/PanelServices.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDeviceOptionUI.h"

#include <memory>
#include <optional>

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// The keyboard end to end: the simulator runs as its own process, the real main window finds the
// keyboard through the HID layer, and what the keyboard object wrote is read back from the
// simulator's memories. Every wait is for a state (bounded only to turn a hang into a failure).
namespace {

constexpr int kWaitMs = 20000;

class Simulator : public testsupport::SimulatorProcess {
public:
    using testsupport::SimulatorProcess::SimulatorProcess;
    QJsonObject call(const QStringList& args)
    {
        const auto out = Call(args);
        return out ? QJsonDocument::fromJson(*out).object() : QJsonObject();
    }
    bool run(const QStringList& args) { return call(args).value("ok").toBool(); }
    QByteArray dump(const QString& region)
    {
        return QByteArray::fromHex(call({"dump", "keyboard", region}).value("hex").toString().toLatin1());
    }
    qint64 framesStarted()
    {
        const QJsonObject devices = call({"state"}).value("devices").toObject();
        return devices.value("keyboard").toObject().value("counters").toObject().value("framesStarted").toInteger(-1);
    }
};

class KeyboardDeviceTest : public testsupport::WindowOnSimulatorTest<Simulator> {
protected:
    void SetUp() override
    {
        WindowOnSimulatorTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(sim->run({"plug", "keyboard", "--route", "cable"}));
        ASSERT_TRUE(waitFor([&] {
            for (CVantikUSBDevice* d : window->Devices()->AllDevices())
                if (auto* k = qobject_cast<CVantikKeyboardDevice*>(d); k && k->Transport().isReady() && k->IdentifiedKeyCount() > 0)
                    keyboard = k;
            return keyboard != nullptr;
        }));
        ASSERT_TRUE(waitFor([&] { return window->Devices()->CurrentDevice() == keyboard; }));
        // The system page takes changes once the profile and the keyboard's settings are read.
        ASSERT_TRUE(waitFor([&] { return keyboard->findChild<QWidget*>("keyboard_system_bar")->isEnabled(); }));
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }

    // The 27 bytes the keyboard's profile 0 should hold for the profile in memory.
    QByteArray expectedBlock()
    {
        const LightInfo li = keyboard->Profile().GetLightInfo();
        const KeyboardSystemStages st = keyboard->KeyboardProfile().GetSystemStages();
        QByteArray b(27, '\0');
        b[1] = char(keyboard->ModeList().at(li.mode));
        b[2] = char(li.brightness);
        b[3] = char(4 - li.speed);
        b[4] = char(li.direction);
        b[5] = char(li.multicolour);
        b[6] = char(li.red), b[7] = char(li.green), b[8] = char(li.blue);
        b[18] = char(li.zzccMode);
        b[19] = char(st.wFlag), b[20] = char(st.key6Flag), b[21] = char(st.winFlag), b[22] = char(st.pollingRate);
        b[25] = char(li.customGroup);
        return b;
    }

    CVantikKeyboardDevice* keyboard = nullptr;
};

// The LED index the simulated keyboard gives a key: its LEDs are chained column by column.
int chainedLed(int position)
{
    int led = 0;
    for (const auto& column : lighting::KeyboardLayout::Columns())
        for (uint8_t k : column) {
            if (k == 170) continue;
            if (k == position) return led;
            ++led;
        }
    return -1;
}

}  // namespace

TEST_F(KeyboardDeviceTest, IdentifiesEveryKeySlotAndTheLitOnes)
{
    EXPECT_EQ(keyboard->IdentifiedKeyCount(), 132);
    const QByteArray table = sim->dump("keytable");
    ASSERT_EQ(table.size(), 3 * 132);
    for (int position : {0, 56, 75, 108, 16, 131}) {
        const int slot = keyboard->SlotOf(position);
        ASSERT_NE(slot, 255) << position;
        const auto& t = keytables::keyboardDefaultKeyTable()[size_t(position)];
        EXPECT_EQ(uint8_t(table[3 * slot]), t.type) << position;
        EXPECT_EQ(uint8_t(table[3 * slot + 2]), t.p2) << position;
        // Slots from 90 up are not lit by index, whatever the LED map says.
        EXPECT_EQ(keyboard->LedOf(position), slot < 90 ? chainedLed(position) : 255) << position;
    }
    // The picture: a button per key, and each lit key of the page reaches its LED.
    EXPECT_EQ(keyboard->findChildren<ui::CDeviceKeyButtonUI*>().size(), 122);
}

TEST_F(KeyboardDeviceTest, PageSettingsLandInTheKeyboardsSettingsBlock)
{
    auto* polling = keyboard->findChild<QRadioButton*>("polling_rate_option_3");
    ASSERT_NE(polling, nullptr);
    polling->click();
    EXPECT_EQ(keyboard->KeyboardProfile().GetSystemStages().pollingRate, 3);
    EXPECT_TRUE(waitFor([&] { return sim->dump("settings").mid(0, 27) == expectedBlock(); }));
    EXPECT_EQ(uint8_t(sim->dump("settings")[22]), 3);

    auto* winLock = keyboard->findChild<QAbstractButton*>("winlockflag_option");
    ASSERT_NE(winLock, nullptr);
    winLock->click();
    EXPECT_TRUE(waitFor([&] { return uint8_t(sim->dump("settings")[21]) == 1; }));
    EXPECT_EQ(sim->dump("settings").mid(0, 27), expectedBlock());

    // A repeat delay is kept in the profile only.
    const QByteArray before = sim->dump("settings");
    keyboard->findChild<QRadioButton*>("repeat_delay_check_2")->click();
    EXPECT_EQ(keyboard->KeyboardProfile().GetSystemStages().repeatDelay, 2);
    EXPECT_TRUE(keyboard->findChild<QLabel*>("repeat_delay_time_label1")->text().contains("750"));
    EXPECT_EQ(sim->dump("settings"), before);

    // A brightness change made on the keyboard itself comes back into the profile.
    ASSERT_TRUE(sim->run({"poke", "keyboard", "settings", "2", "01", "--announce"}));
    EXPECT_TRUE(waitFor([&] { return keyboard->Profile().GetLightInfo().brightness == 1; }));
}

TEST_F(KeyboardDeviceTest, ProfilePushWritesKeyTableWithRenumberedMacrosAndCustomColours)
{
    // Seven macros in the list; keys in position order use macros 5, 2, 5 and 7 (gone).
    Json::Value list(Json::objectValue);
    for (int i = 0; i < 7; ++i)
        list["MacroInfo"][i]["MacroName"] = "m" + std::to_string(i);
    ASSERT_EQ(CJsonFile::WriteJson(keyboard->DataFolder() + "/macro.config", list), 0);
    std::vector<KeyAssignmentPair> keys = keyboard->Profile().GetKeyList();
    auto assign = [&](int position, uint8_t macro) {
        for (KeyAssignmentPair& k : keys)
            if (k.current.position == position)
                k.current.type = 0x70, k.current.p1 = macro, k.current.p2 = 1;
    };
    assign(22, 5);
    assign(23, 2);
    assign(24, 5);
    assign(25, 7);
    keyboard->Profile().SetKeyList(keys);
    keyboard->KeyboardProfile().SetCustomLightColors({}, 0);
    std::vector<LightColor> colours = keyboard->KeyboardProfile().GetCustomLightColors(0, 170);
    colours[64] = {1, 2, 3, 255};
    keyboard->KeyboardProfile().SetCustomLightColors(colours, 0);
    ASSERT_TRUE(keyboard->Profile().Save());

    std::optional<CVantikUSBDevice::PushResult> pushed;
    keyboard->PushProfile([&](CVantikUSBDevice::PushResult r) { pushed = r; });
    ASSERT_TRUE(waitFor([&] { return pushed.has_value(); }));
    EXPECT_EQ(pushed->code, 1) << pushed->step.toStdString();
    EXPECT_EQ(pushed->stepsDone, 4) << "settings, macros, key table, custom colours";
    EXPECT_EQ(keyboard->CollectUsedMacros(), (std::vector<int>{5, 2}));

    const QByteArray table = sim->dump("keytable");
    auto at = [&](int position, int byte) { return uint8_t(table[3 * keyboard->SlotOf(position) + byte]); };
    EXPECT_EQ(at(22, 0), 0x70);
    EXPECT_EQ(at(22, 1), 0) << "macro 5 is the first used";
    EXPECT_EQ(at(23, 1), 1) << "macro 2 the second";
    EXPECT_EQ(at(24, 1), 0);
    const auto& factory = keytables::keyboardDefaultKeyTable()[25];
    EXPECT_EQ(at(25, 0), factory.type) << "a macro that no longer exists gives the key back";
    EXPECT_EQ(at(25, 2), factory.p2);
    EXPECT_EQ(sim->dump("settings").mid(0, 27), expectedBlock());
    const QByteArray lights = sim->dump("lighttable");
    const int led = keyboard->LedOf(64);
    EXPECT_EQ(lights.mid(3 * led, 3), QByteArray("\x01\x02\x03", 3));
}

TEST_F(KeyboardDeviceTest, OnDeviceProfileSwitchIsFollowed)
{
    ASSERT_TRUE(sim->run({"profile", "keyboard", "2"}));
    EXPECT_TRUE(waitFor([&] { return keyboard->ActiveDeviceProfile() == 2; }));
    auto* label = keyboard->findChild<QLabel*>("device_info_profile");
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(waitFor([&] { return label->isVisibleTo(keyboard) && label->text().contains("3"); }));
    EXPECT_TRUE(waitFor([&] { return keyboard->SettingsMirror()[0] == 2; })) << "the settings of that profile are read";

    // A change on the page is written as on-board profile 1's, which the keyboard then uses:
    // the page names that profile, as the keyboard's memory does.
    keyboard->findChild<QRadioButton*>("polling_rate_option_2")->click();
    EXPECT_TRUE(waitFor([&] { return sim->dump("settings").at(0) == 0; }));
    EXPECT_TRUE(waitFor([&] { return label->text().contains("1") && !label->text().contains("3"); }))
        << label->text().toStdString();
    EXPECT_EQ(keyboard->ActiveDeviceProfile(), 0);
}

TEST_F(KeyboardDeviceTest, StreamsOnlyTheSoftwareModesAndSuspendsSlowRoutes)
{
    LightState s = keyboard->GetLightState();
    s.mode = 5;  // rendered by the keyboard itself: the picture moves, nothing is sent
    s.brightness = 4;
    s.speed = 4;
    keyboard->SetLightBlock(s);
    const uint64_t previews = keyboard->PreviewUpdates();
    EXPECT_TRUE(waitFor([&] { return keyboard->PreviewUpdates() > previews + 3; }));
    EXPECT_EQ(sim->framesStarted(), 0);

    s.mode = 30;
    keyboard->SetLightBlock(s);
    const int colour[3] = {200, 100, 50};
    keyboard->SetExternalColour(colour, 3);
    const int led = keyboard->LedOf(64);
    EXPECT_TRUE(waitFor([&] { return sim->dump("frame").mid(3 * led, 3) == QByteArray("\xc7\x63\x31", 3); }));

    // A suspended route sends no more frames (beyond one already on its way to the keyboard).
    keyboard->SetStreamSuspended(false, true);
    ASSERT_TRUE(waitFor([&] { return keyboard->Io().Pending() == 0; }));
    const qint64 frames = sim->framesStarted();
    const int other[3] = {10, 20, 30};
    keyboard->SetExternalColour(other, 3);
    // The preview is painted in the same push that would send the frame, and the keyboard reads
    // its reports in order: once the preview shows the colour and a command has been answered,
    // a frame sent for it would have been counted.
    EXPECT_TRUE(waitFor([&] {
        for (auto* key : keyboard->findChildren<ui::CDeviceKeyButtonUI*>())
            if (key->LightColourPacked() == PackForPreview({10, 20, 30, 255}))
                return true;
        return false;
    }));
    EXPECT_EQ(keyboard->Transport().openSession(), 1);
    EXPECT_EQ(keyboard->Transport().closeSession(), 1);
    EXPECT_EQ(sim->framesStarted(), frames);

    // Two sends slower than 500 ms in a row suspend the route by themselves.
    keyboard->SetStreamSuspended(false, false);
    ASSERT_TRUE(sim->run({"fault", "keyboard", "late-reply", "600", "--count", "9", "--command", "0x12"}));
    for (int i = 0; i < 40 && !keyboard->StreamSuspended(false); ++i) {
        const int next[3] = {i, 0, 0};
        keyboard->SetExternalColour(next, 3);
        QTest::qWait(50);
    }
    EXPECT_TRUE(waitFor([&] { return keyboard->StreamSuspended(false); }));

    // Unplugged in the middle of a stream: the object stays, says nothing, and streams again to
    // the keyboard plugged back.
    keyboard->SetStreamSuspended(false, false);
    ASSERT_TRUE(sim->run({"fault", "keyboard", "clear"}));
    QStringList told;
    editors::PanelServices services;
    services.message = [&](QWidget*, const QString& body, bool, int) {
        told << body;
        return 1;
    };
    editors::InstallServices(services);
    ASSERT_TRUE(sim->run({"unplug", "keyboard"}));
    EXPECT_TRUE(waitFor([&] { return !keyboard->Transport().isReady(); }));
    EXPECT_TRUE(waitFor([&] { return keyboard->Tab() && keyboard->Tab()->isHidden(); }));
    const int last[3] = {1, 2, 3};
    keyboard->SetExternalColour(last, 3);
    const auto listed = window->Devices()->AllDevices();
    EXPECT_NE(std::find(listed.begin(), listed.end(), keyboard), listed.end()) << "the keyboard's object stays";

    // Plugged back, it takes the profile's lighting again; an external colour stream set anew
    // reaches it through the same object.
    ASSERT_TRUE(sim->run({"plug", "keyboard", "--route", "cable"}));
    EXPECT_TRUE(waitFor([&] { return keyboard->Transport().isReady() && keyboard->Tab() && !keyboard->Tab()->isHidden(); }));
    EXPECT_FALSE(keyboard->StreamSuspended(false)) << "an unplugged keyboard is not a slow one";
    EXPECT_TRUE(waitFor([&] { return keyboard->GetLightState().mode != s.mode; })) << "the profile's lighting is back";
    // The rest of the connection's reads land first (they show the profile's lighting again).
    auto drained = std::make_shared<bool>(false);
    keyboard->Io().AfterQueued([drained] { *drained = true; });
    ASSERT_TRUE(waitFor([&] { return *drained; }));
    keyboard->SetLightBlock(s);
    const int back[3] = {90, 60, 30};
    keyboard->SetExternalColour(back, 3);
    EXPECT_TRUE(waitFor([&] { return sim->dump("frame").mid(3 * led, 3) == QByteArray("\x59\x3b\x1d", 3); }))
        << sim->dump("frame").mid(3 * led, 3).toHex().toStdString();
    EXPECT_TRUE(told.isEmpty()) << told.join(", ").toStdString();
}

namespace {

struct ReactiveCase {
    const char* name;
    uint8_t mode;
    bool heldKeyStaysLit;  // the pressed key itself shows while held, else a ripple passes
};

class KeyPressLighting : public KeyboardDeviceTest, public ::testing::WithParamInterface<ReactiveCase> {
protected:
    ui::CDeviceKeyButtonUI* key(int position)
    {
        return static_cast<ui::CDeviceKeyButtonUI*>(keyboard->KeyButton(position));
    }
    static bool lit(const ui::CDeviceKeyButtonUI* k)
    {
        return ui::CDeviceKeyButtonUI::ShownColour(k->LightColourPacked(), k->LightBrightness()) != QColor(Qt::black);
    }
    std::string litKeys()
    {
        std::string out;
        for (auto* k : keyboard->findChildren<ui::CDeviceKeyButtonUI*>())
            if (lit(k))
                out += k->objectName().toStdString() + " ";
        return out;
    }
};

const ReactiveCase kReactiveCases[] = {
    {"Reaction", 7, true},
    {"RippleWithColourCycling", 8, false},
    {"Ripple", 9, false},
    {"ReactionWithNeighbours", 25, true},
};

}  // namespace

// A key pressed on the keyboard (its keys report, read beside the event reports) reaches the
// modes that react to key presses: the picture lights where the keyboard would.
TEST_P(KeyPressLighting, AKeyPressedOnTheKeyboardLightsThePicture)
{
    const ReactiveCase& c = GetParam();
    ASSERT_TRUE(waitFor([&] { return keyboard->KeyReportsOpen(false); }));
    // The connection's reads land first (the keyboard's own mode would replace the one set here).
    auto drained = std::make_shared<bool>(false);
    keyboard->Io().AfterQueued([drained] { *drained = true; });
    ASSERT_TRUE(waitFor([&] { return *drained; }));
    LightState s = keyboard->GetLightState();
    s.mode = c.mode;
    s.brightness = 4;
    s.speed = 0;  // the slowest steps: a ripple stays in the picture longest
    s.multicolour = 0;
    s.red = 255, s.green = 255, s.blue = 255;
    keyboard->SetLightBlock(s);
    constexpr int kA = 64;  // key position of A, usage 0x04
    ASSERT_NE(key(kA), nullptr);
    // Nothing pressed: once the mode shows, the key is dark and stays so.
    uint64_t previews = keyboard->PreviewUpdates();
    ASSERT_TRUE(waitFor([&] { return keyboard->PreviewUpdates() > previews + 5; }));
    ASSERT_TRUE(waitFor([&] { return !lit(key(kA)); })) << litKeys();
    previews = keyboard->PreviewUpdates();
    ASSERT_TRUE(waitFor([&] { return keyboard->PreviewUpdates() > previews + 5; }));
    ASSERT_FALSE(lit(key(kA)));

    ASSERT_TRUE(sim->run({"key", "keyboard", "0x04", "down"}));
    EXPECT_TRUE(waitFor([&] { return lit(key(kA)); })) << "the pressed key lights";
    if (c.heldKeyStaysLit) {
        previews = keyboard->PreviewUpdates();
        ASSERT_TRUE(waitFor([&] { return keyboard->PreviewUpdates() > previews + 5; }));
        EXPECT_TRUE(lit(key(kA))) << "and stays lit while held";
    }
    ASSERT_TRUE(sim->run({"key", "keyboard", "0x04", "up"}));
    // Released, the light fades out again.
    EXPECT_TRUE(waitFor([&] { return !lit(key(kA)); }));
}

INSTANTIATE_TEST_SUITE_P(ReactiveModes, KeyPressLighting, ::testing::ValuesIn(kReactiveCases),
                         [](const ::testing::TestParamInfo<ReactiveCase>& info) { return std::string(info.param.name); });
