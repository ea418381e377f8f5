#include "app/Application.h"
#include "tests/support/ScriptedMessages.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikHS6533Device.h"
#include "editors/CDeviceProfileUI.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "editors/CVoice6533ControlUI.h"
#include "tests/editors/ControlTable.h"
#include <json/reader.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

// The headset end to end: the simulator runs as its own process with its audio-chip model, the
// real main window builds the headset page, and the real osConfLib talks to the chip. What the
// panels changed is read back from the simulator (tessel-devsim dump) and from the profile file.
namespace {

constexpr int kWaitMs = 15000;

QJsonObject runDevsim(const QString& dir, const QStringList& args, int* exitCode = nullptr)
{
    QProcess cli;
    cli.start(TESSEL_DEVSIM, QStringList{"--dir", dir} + args);
    cli.waitForFinished(10000);
    if (exitCode)
        *exitCode = cli.exitCode();
    return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
}

class HeadsetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
        app::RegisterControlClasses();
    }
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("TESSEL_SIM_DIR", simDir().toUtf8());
        qputenv("TESSEL_OSCONFLIB", library().toUtf8());
        ASSERT_TRUE(QDir(home.path()).mkpath("sim"));
        simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        simulator.start(TESSEL_DEVSIM, {"serve", "--dir", simDir()});
        ASSERT_TRUE(simulator.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(simDir() + "/control"); }, kWaitMs));
        messages.clear();
        CVantikHS6533Device::SetMessageHandler([this](QWidget*, const QString& text, bool) { messages << text; });
        confirmAnswer = true;
        CVantikHS6533Device::SetConfirmHandler([this](QWidget*, const QString& text) {
            questions << text;
            return confirmAnswer;
        });
    }
    void TearDown() override
    {
        closeWindow();
        runDevsim(simDir(), {"shutdown"});
        if (!simulator.waitForFinished(5000))
            simulator.kill();
        qunsetenv("TESSEL_SIM_DIR");
        qunsetenv("TESSEL_OSCONFLIB");
    }
    virtual QString library() const { return TESSEL_OSCONFLIB; }
    QString simDir() const { return home.filePath("sim"); }

    void openWindow()
    {
        window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        testsupport::AnswerMessages();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, kWaitMs));
    }
    void closeWindow()
    {
        if (!window)
            return;
        window->Shutdown();
        window.reset();
        headset = nullptr;
    }
    // Waits for the headset's tab and its first connection.
    bool waitForHeadset()
    {
        return waitFor([&] {
            headset = nullptr;
            for (CVantikUSBDevice* d : window->Devices()->AllDevices())
                if (d->DeviceType() == 7)
                    headset = static_cast<CVantikHS6533Device*>(d);
            return headset && headset->Tab() && !headset->Tab()->isHidden() && headset->Transport().isReady() &&
                   !headset->Profile().GetProfilePath().isEmpty();
        });
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }
    // The control socket's file appears a moment before the simulator listens on it.
    bool plugHeadset()
    {
        return waitFor([&] { return runDevsim(simDir(), {"plug", "headset"})["ok"].toBool(); });
    }

    template <class T>
    T* control(const QString& name) const
    {
        return qobject_cast<T*>(ui::PaintManager::FindSubControlByName(headset, name));
    }
    void click(const QString& name) { control<QAbstractButton>(name)->click(); }
    // A slider moved by the user: its value changes through the keyboard-like setter, which the
    // window reports as "valuechanged".
    void slide(const QString& name, int value) { control<QAbstractSlider>(name)->setValue(value); }

    QJsonObject chip(const char* endpoint) const
    {
        return runDevsim(simDir(), {"dump", "headset", "audio"})["audio"].toObject()[endpoint].toObject();
    }
    QJsonObject stages() const
    {
        QFile f(headset->Profile().GetProfilePath());
        f.open(QIODevice::ReadOnly);
        const QJsonObject entry = QJsonDocument::fromJson(f.readAll()).object()["Device"].toArray()[0].toObject();
        return entry["SystemSetStages"].toObject();
    }
    QJsonObject profileEntry() const
    {
        QFile f(headset->Profile().GetProfilePath());
        f.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(f.readAll()).object()["Device"].toArray()[0].toObject();
    }

    QTemporaryDir home;
    QProcess simulator;
    std::unique_ptr<CMainWnd> window;
    CVantikHS6533Device* headset = nullptr;
    QStringList messages;
    QStringList questions;
    bool confirmAnswer = true;
};

}  // namespace

TEST_F(HeadsetTest, PanelChangesReachTheChipAndTheProfileAndSurviveARestart)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    ASSERT_TRUE(headset->AudioAvailable());
    ASSERT_NE(control<QAbstractButton>("6533_eq_option_5"), nullptr) << "the sound panel is not in the page";

    // A built-in preset: the chip's equaliser on with the flat curve, the custom area off.
    click("6533_eq_option_2");
    click("6533_eq_option_5");
    QJsonObject out = chip("output");
    EXPECT_EQ(out["Enable_EQ_GFX"].toString(), "1");
    for (int b = 1; b <= 10; ++b)
        EXPECT_EQ(out[QString("EQ_Slider%1").arg(b)].toString(), "0") << b;
    EXPECT_FALSE(control<QWidget>("custom_eq_option_layout")->isEnabled());
    EXPECT_EQ(stages()["EqType"].toInt(), 5);

    // Preset 2, then band 3 moved: the custom preset takes over and only "EQ_Slider4" changes.
    click("6533_eq_option_2");
    EXPECT_EQ(chip("output")["EQ_Slider5"].toString(), "-11");
    control<QLineEdit>("custom_eq_name_edit")->setText("left over");
    slide("6533_eq_hz_slider_3", 7);
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_13")->isChecked());
    EXPECT_FALSE(control<QAbstractButton>("6533_eq_option_2")->isChecked());
    EXPECT_TRUE(control<QWidget>("custom_eq_option_layout")->isEnabled());
    EXPECT_EQ(control<QComboBox>("custom_eq_name_combo")->currentIndex(), -1);
    EXPECT_TRUE(control<QLineEdit>("custom_eq_name_edit")->text().isEmpty());
    out = chip("output");
    EXPECT_EQ(out["EQ_Slider4"].toString(), "7");
    EXPECT_EQ(out["EQ_Slider5"].toString(), "-11");
    EXPECT_EQ(stages()["EqType"].toInt(), 13);

    // Microphone and side tone: the level as a fraction, the mute as the option's opposite.
    slide("6533_MicIn_slider", 35);
    click("6533_MicIn_option");
    slide("6533_MicMoniter_slider", 60);
    click("6533_MicMoniter_option");
    QJsonObject in = chip("input");
    EXPECT_EQ(in["VolumeScalarControl"].toString(), "0.35");
    EXPECT_EQ(in["MuteControl"].toString(), "1");
    EXPECT_EQ(in["AAVolumeScalarControl"].toString(), "0.6");
    EXPECT_EQ(in["AAMuteControl"].toString(), "0");
    QJsonObject s = stages();
    EXPECT_EQ(s["MicInValue"].toInt(), 35);
    EXPECT_EQ(s["MicInSelect"].toInt(), 0);
    EXPECT_EQ(s["MicMoniterValue"].toInt(), 60);
    EXPECT_EQ(s["MicMoniterSelect"].toInt(), 1);

    // The voice changer: on (the microphone echo off with it), effect 1 is the chip's 0.
    click("magic_enable_option");
    EXPECT_TRUE(control<QWidget>("magic_option_layout")->isEnabled());
    click("magic_option_1");
    EXPECT_EQ(chip("input")["MagicVoice_Selection"].toString(), "0");
    click("magic_option_3");
    in = chip("input");
    EXPECT_EQ(in["Enable_MAGICVOICE"].toString(), "1");
    EXPECT_EQ(in["Enable_MICECHO"].toString(), "0");
    EXPECT_EQ(in["MagicVoice_Selection"].toString(), "2");
    EXPECT_EQ(stages()["MagicEnable"].toInt(), 1);
    EXPECT_EQ(stages()["MagicType"].toInt(), 3);

    // A named preset, and the same name again in other letters: refused with the message.
    control<QLineEdit>("custom_eq_name_edit")->setText("Club");
    click("hs_EQ_btn_save");
    control<QLineEdit>("custom_eq_name_edit")->setText("CLUB");
    click("hs_EQ_btn_save");
    EXPECT_EQ(control<QComboBox>("custom_eq_name_combo")->count(), 1);
    EXPECT_TRUE(waitFor([&] { return messages.contains("message_text_5"); }));

    // A restart: the panels show what the chip and the profile kept.
    closeWindow();
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_13")->isChecked());
    EXPECT_EQ(control<QComboBox>("custom_eq_name_combo")->currentText(), "Club");
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_3")->value(), 7);
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_4")->value(), -11);
    EXPECT_EQ(control<QAbstractSlider>("6533_MicIn_slider")->value(), 35);
    EXPECT_FALSE(control<QAbstractButton>("6533_MicIn_option")->isChecked());
    EXPECT_EQ(control<QAbstractSlider>("6533_MicMoniter_slider")->value(), 60);
    EXPECT_TRUE(control<QAbstractButton>("6533_MicMoniter_option")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>("magic_enable_option")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>("magic_option_3")->isChecked());

    // Pictures of both panels with these values, on request (docs/screenshots/headset/).
    const QString shots = qEnvironmentVariable("TESSEL_HEADSET_SHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        click("device_tab_sound");
        window->grab().save(shots + "/headset-sound-custom.png");
        click("device_tab_magic");
        window->grab().save(shots + "/headset-voice-effects.png");
    }
}

TEST_F(HeadsetTest, DeletingACustomPresetKeepsEachPresetsBands)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    // Three named presets, told apart by band 1.
    for (int i = 0; i < 3; ++i) {
        slide("6533_eq_hz_slider_0", 10 + i);
        control<QLineEdit>("custom_eq_name_edit")->setText(QString("P%1").arg(i));
        click("hs_EQ_btn_save");
    }
    auto* combo = control<QComboBox>("custom_eq_name_combo");
    ASSERT_EQ(combo->count(), 3);
    combo->setCurrentIndex(0);
    click("hs_EQ_btn_delete");
    // P1 and P2 remain with their own bands; P1 (now first) is shown and playing.
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentText(), "P1");
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_0")->value(), 11);
    EXPECT_EQ(chip("output")["EQ_Slider1"].toString(), "11");
    const QJsonArray bands = profileEntry()["CustomEQHzValueInfo"].toArray();
    ASSERT_EQ(bands.size(), 2);
    EXPECT_EQ(bands[0].toArray()[0].toObject()["value"].toInt(), 11);
    EXPECT_EQ(bands[1].toArray()[0].toObject()["value"].toInt(), 12);

    // The last ones go: back to preset 1, the custom area off.
    click("hs_EQ_btn_delete");
    click("hs_EQ_btn_delete");
    EXPECT_EQ(combo->count(), 0);
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_1")->isChecked());
    EXPECT_FALSE(control<QWidget>("custom_eq_option_layout")->isEnabled());
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_1")->value(), 11);
    EXPECT_EQ(stages()["EqType"].toInt(), 1);
}

TEST_F(HeadsetTest, LightingFramesSendOnlyTheReportsThatChanged)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    auto reportsSoFar = [&] {
        return runDevsim(simDir(), {"state"})["devices"].toObject()["headset"].toObject()["counters"].toObject()
            ["headsetLightReports"].toInt();
    };
    auto drained = [&] {
        auto done = std::make_shared<bool>(false);
        headset->Io().AfterQueued([done] { *done = true; });
        return waitFor([done] { return *done; });
    };
    // Static full red at full brightness: 255 goes out as 247 on both drivers.
    LightState s;
    s.mode = 3;
    s.brightness = 4;
    s.red = 255;
    headset->SetLightBlock(s);
    const QString on = QString("f7").repeated(13), off = QString("00").repeated(13);
    ASSERT_TRUE(waitFor([&] {
        return runDevsim(simDir(), {"dump", "headset", "frame"})["hex"].toString() == (on + off + off).repeated(2);
    }));
    ASSERT_TRUE(drained());
    const int first = reportsSoFar();
    EXPECT_GE(first, 12) << "the first frame of a connection sends every report";

    // Red to green: the red and green planes change on both drivers (8 reports), blue does not.
    s.red = 0;
    s.green = 255;
    headset->SetLightBlock(s);
    ASSERT_TRUE(waitFor([&] {
        return runDevsim(simDir(), {"dump", "headset", "frame"})["hex"].toString() == (off + on + off).repeated(2);
    }));
    ASSERT_TRUE(drained());
    EXPECT_EQ(reportsSoFar() - first, 8);

    // Plugged again, the headset holds nothing Tessel sent: the whole frame goes out again.
    ASSERT_TRUE(runDevsim(simDir(), {"unplug", "headset"})["ok"].toBool());
    ASSERT_TRUE(waitFor([&] { return !headset->Transport().isReady(); }));
    const int beforeReplug = reportsSoFar();
    ASSERT_TRUE(plugHeadset());
    ASSERT_TRUE(waitFor([&] { return headset->Transport().isReady(); }));
    EXPECT_TRUE(waitFor([&] { return reportsSoFar() - beforeReplug >= 12; }));
}

TEST_F(HeadsetTest, LightReportLayout)
{
    std::vector<LedColour> leds(13);
    for (int i = 0; i < 13; ++i)
        leds[size_t(i)] = {uint8_t(i + 1), uint8_t(0x40 + i), uint8_t(0x80 + i), 255};
    const auto reports = CVantikHS6533Device::BuildLightReports(leds);
    // (target, group, first LED, LED count, plane) per report.
    const struct { uint8_t target, group; int first, count, plane; } rows[12] = {
        {0x22, 0xAA, 0, 7, 0}, {0x22, 0xAD, 7, 6, 0}, {0x44, 0xAA, 0, 7, 0}, {0x44, 0xAD, 7, 6, 0},
        {0x22, 0xAB, 0, 7, 1}, {0x22, 0xAE, 7, 6, 1}, {0x44, 0xAB, 0, 7, 1}, {0x44, 0xAE, 7, 6, 1},
        {0x22, 0xAC, 0, 7, 2}, {0x22, 0xAF, 7, 6, 2}, {0x44, 0xAC, 0, 7, 2}, {0x44, 0xAF, 7, 6, 2}};
    for (int r = 0; r < 12; ++r) {
        const auto& report = reports[size_t(r)];
        EXPECT_EQ(report[0], 0xFF) << r;
        EXPECT_EQ(report[1], rows[r].target) << r;
        EXPECT_EQ(report[2], rows[r].group) << r;
        EXPECT_EQ(report[3], 0) << r;
        for (int k = 0; k < rows[r].count; ++k) {
            const LedColour c = leds[size_t(rows[r].first + k)];
            const uint8_t component = rows[r].plane == 0 ? c.red : rows[r].plane == 1 ? c.green : c.blue;
            EXPECT_EQ(report[size_t(4 + k)], (component * 255) >> 8) << r << " " << k;
        }
    }
}

TEST_F(HeadsetTest, UnpluggingWithThePanelOpenIsClean)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    slide("6533_MicIn_slider", 40);
    ASSERT_EQ(stages()["MicInValue"].toInt(), 40);
    CVantikHS6533Device* device = headset;
    ASSERT_EQ(runDevsim(simDir(), {"unplug", "headset"})["ok"].toBool(), true);
    ASSERT_TRUE(waitFor([&] { return device->Tab()->isHidden(); }));
    // The chip is gone: a change fails and leaves the mirror, the panel and the profile alone.
    EXPECT_FALSE(device->SetMicVolume(70));
    EXPECT_FALSE(device->ToggleMicMute());
    EXPECT_EQ(device->Mirror().micPercent, 40);
    EXPECT_EQ(control<QAbstractSlider>("6533_MicIn_slider")->value(), 40);
    EXPECT_EQ(stages()["MicInValue"].toInt(), 40);
    // Back again: the same object works as before.
    ASSERT_TRUE(plugHeadset());
    ASSERT_TRUE(waitForHeadset());
    EXPECT_EQ(headset, device);
    EXPECT_TRUE(device->SetMicVolume(70));
    EXPECT_EQ(chip("input")["VolumeScalarControl"].toString(), "0.7");
}

// What the chip should hold for a profile's sound values, and what the panel should show.
void expectChipAndPanelFollow(const QJsonObject& stages, const QJsonObject& out, const QJsonObject& in,
                              const std::vector<int>& curve)
{
    for (int b = 0; b < 10; ++b)
        EXPECT_EQ(out[QString("EQ_Slider%1").arg(b + 1)].toString(), QString::number(curve[size_t(b)])) << "band " << b;
    EXPECT_EQ(in["VolumeScalarControl"].toString().toDouble(), stages["MicInValue"].toInt() / 100.0);
    EXPECT_EQ(in["MuteControl"].toString(), stages["MicInSelect"].toInt() ? "0" : "1");
    EXPECT_EQ(in["AAVolumeScalarControl"].toString().toDouble(), stages["MicMoniterValue"].toInt() / 100.0);
    EXPECT_EQ(in["AAMuteControl"].toString(), stages["MicMoniterSelect"].toInt() ? "0" : "1");
    EXPECT_EQ(in["Enable_MAGICVOICE"].toString(), QString::number(stages["MagicEnable"].toInt()));
    EXPECT_EQ(in["MagicVoice_Selection"].toString(), QString::number(stages["MagicType"].toInt() - 1));
}

TEST_F(HeadsetTest, ASettingsWriteKeepsTheHeadsetsOwnBytesEvenBeforeTheFirstRead)
{
    ASSERT_TRUE(plugHeadset());
    auto block = [&] { return QByteArray::fromHex(runDevsim(simDir(), {"dump", "headset", "settings"})["hex"].toString().toLatin1()); };
    const QByteArray own = block().mid(9, 12);
    ASSERT_NE(own, QByteArray(12, '\0')) << "the headset's own bytes must be something to keep";
    openWindow();
    // As soon as the headset answers, before its connection has read anything back: a write
    // then must not send zeros for what it has not read yet.
    ASSERT_TRUE(waitFor([&] {
        for (CVantikUSBDevice* d : window->Devices()->AllDevices())
            if (d->DeviceType() == 7 && d->Tab() && !d->Tab()->isHidden() && d->Transport().isReady())
                headset = static_cast<CVantikHS6533Device*>(d);
        return headset != nullptr;
    }));
    bool landed = false;
    headset->PostSettings(0, [&](IoResult r) {
        landed = true;
        EXPECT_TRUE(r.ok()) << r.code;
    });
    ASSERT_TRUE(waitFor([&] { return landed; }));
    EXPECT_EQ(block().mid(9, 12), own);
    // And after the connection's own read, the same.
    ASSERT_TRUE(waitForHeadset());
    headset->PostSettings(0);
    bool drained = false;
    headset->Io().AfterQueued([&] { drained = true; });
    ASSERT_TRUE(waitFor([&] { return drained; }));
    EXPECT_EQ(block().mid(9, 12), own);
}

TEST_F(HeadsetTest, ProfileSwitchAndAPowerCycledChipGetTheProfilesSound)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    // The first profile: preset 2, a quiet microphone, the side tone on, the voice changer on.
    click("6533_eq_option_2");
    slide("6533_MicIn_slider", 35);
    click("6533_MicMoniter_option");
    click("magic_enable_option");
    click("magic_option_3");
    const QJsonObject first = stages();
    const std::vector<int> preset2{7, 11, 6, -3, -11, -1, 6, 13, 6, 13};

    // A second profile, switched to through the profile panel: the chip takes its values.
    auto* profiles = headset->findChild<CDeviceProfileUI*>();
    ASSERT_NE(profiles, nullptr);
    click("device_add_btn");
    auto* combo = control<QComboBox>("device_profile_combo");
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return headset->Profile().GetProfilePath() == profiles->GetProfileFileAt(1); }));
    const QJsonObject second = stages();
    ASSERT_NE(second["MicInValue"].toInt(), 35) << "the second profile must differ for this test to mean anything";
    ASSERT_NE(second["EqType"].toInt(), 2);
    std::vector<int> secondCurve;
    for (const QJsonValue band : profileEntry()["EQHzValueInfo"].toArray()[second["EqType"].toInt()].toArray())
        secondCurve.push_back(band.toObject()["value"].toInt());
    ASSERT_EQ(secondCurve.size(), 10u);
    ASSERT_TRUE(waitFor([&] { return chip("input")["VolumeScalarControl"].toString().toDouble() == second["MicInValue"].toInt() / 100.0; }));
    expectChipAndPanelFollow(second, chip("output"), chip("input"), secondCurve);
    EXPECT_EQ(control<QAbstractSlider>("6533_MicIn_slider")->value(), second["MicInValue"].toInt());
    EXPECT_TRUE(control<QAbstractButton>(QString("6533_eq_option_%1").arg(second["EqType"].toInt()))->isChecked());
    // ... and the first profile's values did not leak into the second's file.
    EXPECT_EQ(stages(), second);

    // Back to the first profile, then the headset is power-cycled: its chip forgets everything
    // and gets the profile's values again when it is back.
    combo->setCurrentIndex(0);
    ASSERT_TRUE(waitFor([&] { return headset->Profile().GetProfilePath() == profiles->GetProfileFileAt(0); }));
    ASSERT_TRUE(waitFor([&] { return chip("input")["VolumeScalarControl"].toString() == "0.35"; }));
    CVantikHS6533Device* device = headset;
    ASSERT_TRUE(runDevsim(simDir(), {"unplug", "headset"})["ok"].toBool());
    ASSERT_TRUE(waitFor([&] { return device->Tab()->isHidden(); }));
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "reset"})["ok"].toBool());
    ASSERT_EQ(chip("output")["EQ_Slider5"].toString(), "0");
    ASSERT_TRUE(plugHeadset());
    ASSERT_TRUE(waitForHeadset());
    ASSERT_TRUE(waitFor([&] { return chip("output")["EQ_Slider5"].toString() == "-11"; }));
    expectChipAndPanelFollow(first, chip("output"), chip("input"), preset2);
    // The panel shows one state, the profile's, which the chip now holds.
    EXPECT_EQ(stages(), first);
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_2")->isChecked());
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_4")->value(), -11);
    EXPECT_EQ(control<QAbstractSlider>("6533_MicIn_slider")->value(), 35);
    EXPECT_TRUE(control<QAbstractButton>("6533_MicMoniter_option")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>("magic_enable_option")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>("magic_option_3")->isChecked());
}

TEST_F(HeadsetTest, AMovedCurveOutlivesARestartAndTheLabelFollowsTheDrag)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    // A named preset from preset 2's curve (the custom preset starts from what is playing), then
    // the flat preset 5.
    click("6533_eq_option_2");
    click("6533_eq_option_13");
    control<QLineEdit>("custom_eq_name_edit")->setText("Club");
    click("hs_EQ_btn_save");
    ASSERT_EQ(control<QComboBox>("custom_eq_name_combo")->currentText(), "Club");
    click("6533_eq_option_5");

    // Band 4 dragged to 7: its label follows while the handle is held.
    auto* slider = control<QAbstractSlider>("6533_eq_hz_slider_3");
    slider->setSliderDown(true);
    slider->setSliderPosition(7);
    EXPECT_EQ(control<QLabel>("6533_eq_hz_value_3")->text(), "+7");
    EXPECT_EQ(chip("output")["EQ_Slider4"].toString(), "7");
    slider->setSliderDown(false);
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_13")->isChecked());
    EXPECT_EQ(control<QComboBox>("custom_eq_name_combo")->currentIndex(), -1);

    // Tessel ends, and the chip loses its curve meanwhile: the next start shows the moved flat
    // curve (not Club's) and puts it back on the chip.
    closeWindow();
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "reset"})["ok"].toBool());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_13")->isChecked());
    EXPECT_EQ(control<QComboBox>("custom_eq_name_combo")->currentIndex(), -1);
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_3")->value(), 7);
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_4")->value(), 0);
    EXPECT_EQ(control<QLabel>("6533_eq_hz_value_3")->text(), "+7");
    const QJsonObject out = chip("output");
    EXPECT_EQ(out["EQ_Slider4"].toString(), "7");
    EXPECT_EQ(out["EQ_Slider5"].toString(), "0");
    EXPECT_EQ(out["Enable_EQ_GFX"].toString(), "1");

    // Club still plays its own curve when chosen.
    control<QComboBox>("custom_eq_name_combo")->setCurrentIndex(0);
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_4")->value(), -11);
    EXPECT_EQ(chip("output")["EQ_Slider5"].toString(), "-11");
}

TEST_F(HeadsetTest, ThePresetListSaysWhatWentWrongAndAsksBeforeDeleting)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    click("6533_eq_option_13");
    auto* combo = control<QComboBox>("custom_eq_name_combo");
    auto* name = control<QLineEdit>("custom_eq_name_edit");

    // Nothing to save into, nothing to delete.
    click("hs_EQ_btn_save");
    click("hs_EQ_btn_delete");
    EXPECT_TRUE(waitFor([&] { return messages.contains("hs_eq_delete_none_text"); }));
    EXPECT_TRUE(messages.contains("hs_eq_need_name_text"));
    EXPECT_EQ(combo->count(), 0);
    EXPECT_TRUE(questions.isEmpty());

    // Twenty presets fit; the twenty-first is refused with a message.
    for (int i = 0; i < 20; ++i) {
        name->setText(QString("P%1").arg(i));
        click("hs_EQ_btn_save");
    }
    ASSERT_EQ(combo->count(), 20);
    name->setText("P20");
    click("hs_EQ_btn_save");
    EXPECT_TRUE(waitFor([&] { return messages.contains("hs_eq_full_text"); }));
    EXPECT_EQ(combo->count(), 20);
    EXPECT_EQ(profileEntry()["CustomEQNameInfo"].toArray().size(), 20);

    // Delete asks, naming the preset; a "no" keeps it.
    combo->setCurrentIndex(3);
    confirmAnswer = false;
    click("hs_EQ_btn_delete");
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains("P3")) << questions[0].toStdString();
    EXPECT_EQ(combo->count(), 20);
    confirmAnswer = true;
    click("hs_EQ_btn_delete");
    EXPECT_EQ(combo->count(), 19);
    EXPECT_EQ(combo->findText("P3"), -1);

    // Every band's label carries its unit.
    for (int b = 0; b < 10; ++b) {
        const QString text = control<QLabel>(QString("6533_eq_hz_label_%1").arg(b))->text();
        EXPECT_TRUE(text.endsWith("Hz")) << b << " " << text.toStdString();
    }
}

// A machine that cannot apply the equaliser (no PipeWire) nor the voice changer (no pitch
// shifter): those panels are disabled and say why, show the profile's values, and neither the
// chip nor the profile changes; the microphone, which the card's mixer serves, still works.
TEST_F(HeadsetTest, PanelsOfAMissingFeatureSayWhyAndKeepTheProfilesValues)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_TRUE(headset->Availability().eq.isEmpty());
    EXPECT_TRUE(control<QLabel>("6533_eq_unavailable")->isHidden());
    click("6533_eq_option_3");
    click("magic_enable_option");
    click("magic_option_2");
    closeWindow();

    // The chip forgets everything, and the machine now lacks PipeWire (and the filter graph) for
    // the equaliser and the pitch shifter for the voice changer.
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "reset"})["ok"].toBool());
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "features", "output", "0,5,0,0,0,0,0"})["ok"].toBool());
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "features", "input", "0,2,0,0,0,0,1"})["ok"].toBool());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_EQ(headset->Availability().eq, "hs_sound_need_pipewire_text");
    EXPECT_EQ(headset->Availability().magic, "hs_sound_need_pitch_text");
    EXPECT_TRUE(headset->Availability().mic.isEmpty());

    const ui::Language& language = ui::Language::instance();
    auto* eqReason = control<QLabel>("6533_eq_unavailable");
    auto* magicReason = control<QLabel>("magic_unavailable");
    EXPECT_FALSE(eqReason->isHidden());
    EXPECT_EQ(eqReason->text(), language.Text("hs_sound_need_pipewire_text"));
    EXPECT_TRUE(eqReason->text().contains("pipewire")) << eqReason->text().toStdString();
    EXPECT_FALSE(magicReason->isHidden());
    EXPECT_TRUE(magicReason->text().contains("rubberband-ladspa")) << magicReason->text().toStdString();
    EXPECT_TRUE(control<QLabel>("6533_mic_unavailable")->isHidden());
    for (const char* name : {"6533_eq_option_3", "6533_eq_hz_slider_0", "custom_eq_name_combo", "magic_enable_option",
                             "magic_option_2"})
        EXPECT_FALSE(control<QWidget>(name)->isEnabled()) << name;
    EXPECT_TRUE(control<QWidget>("6533_MicIn_slider")->isEnabled());

    // The profile's values are shown, not defaults, and the chip got none of them.
    const std::vector<int> preset3 = {10, 4, 0, -3, -4, -3, -2, -1, 0, 0};
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_3")->isChecked());
    for (int b = 0; b < 10; ++b)
        EXPECT_EQ(control<QAbstractSlider>(QString("6533_eq_hz_slider_%1").arg(b))->value(), preset3[size_t(b)]) << b;
    EXPECT_TRUE(control<QAbstractButton>("magic_enable_option")->isChecked());
    EXPECT_TRUE(control<QAbstractButton>("magic_option_2")->isChecked());
    EXPECT_EQ(chip("output")["EQ_Slider1"].toString(), "0");
    EXPECT_EQ(chip("input")["Enable_MAGICVOICE"].toString(), "0");

    // A change that still arrives (a notification of a disabled control) is refused and the
    // panel goes back to the profile.
    control<QAbstractSlider>("6533_eq_hz_slider_0")->setValue(-5);
    control<QAbstractButton>("6533_eq_option_7")->setChecked(true);
    EXPECT_FALSE(headset->SetMagicEffect(4));
    EXPECT_TRUE(control<QAbstractButton>("6533_eq_option_3")->isChecked());
    EXPECT_EQ(control<QAbstractSlider>("6533_eq_hz_slider_0")->value(), 10);
    EXPECT_TRUE(control<QAbstractButton>("magic_option_2")->isChecked());
    QJsonObject s = stages();
    EXPECT_EQ(s["EqType"].toInt(), 3);
    EXPECT_EQ(s["MagicEnable"].toInt(), 1);
    EXPECT_EQ(s["MagicType"].toInt(), 2);
    EXPECT_EQ(chip("output")["EQ_Slider1"].toString(), "0");

    // The microphone is the card's own control and goes on working.
    slide("6533_MicIn_slider", 30);
    EXPECT_EQ(chip("input")["VolumeScalarControl"].toString(), "0.3");
    EXPECT_EQ(stages()["MicInValue"].toInt(), 30);

    // The features come back (the chip power-cycled, as a fresh session would find it): the panels
    // are live again and the chip gets the profile's values.
    ASSERT_TRUE(runDevsim(simDir(), {"audio", "headset", "reset"})["ok"].toBool());
    closeWindow();
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_TRUE(control<QLabel>("6533_eq_unavailable")->isHidden());
    EXPECT_TRUE(control<QWidget>("6533_eq_hz_slider_0")->isEnabled());
    EXPECT_TRUE(control<QWidget>("magic_option_2")->isEnabled());
    EXPECT_EQ(chip("output")["EQ_Slider1"].toString(), "10");
    EXPECT_EQ(chip("input")["MagicVoice_Selection"].toString(), "1");
}

namespace {
// Counts the times a file is written in place or replaced by a rename.
class FileWrites {
public:
    explicit FileWrites(const QString& path)
        : m_name(QFileInfo(path).fileName().toStdString()), m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFileInfo(path).absolutePath().toLocal8Bit().constData(), IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~FileWrites()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    int Count()
    {
        alignas(inotify_event) char buffer[8192];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len && m_name == e->name)
                    ++m_count;
                p += sizeof(inotify_event) + e->len;
            }
        }
        return m_count;
    }

private:
    std::string m_name;
    int m_fd;
    int m_count = 0;
};

void sendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}
}  // namespace

// A band dragged with the mouse through many values: each position reaches the chip, the
// profile file is written once, when the handle is let go, and holds the final value.
TEST_F(HeadsetTest, DraggingASliderWritesTheProfileOnce)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    click("6533_eq_option_5");
    click("device_tab_sound");
    auto* slider = qobject_cast<QSlider*>(control<QAbstractSlider>("6533_eq_hz_slider_2"));
    ASSERT_NE(slider, nullptr);
    ASSERT_TRUE(waitFor([&] { return slider->isVisible() && slider->height() > 40; }));
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.upsideDown = slider->orientation() == Qt::Vertical ? !slider->invertedAppearance() : slider->invertedAppearance();
    const QPoint handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();

    FileWrites writes(headset->Profile().GetProfilePath());
    ASSERT_TRUE(writes.ok());
    QCoreApplication::processEvents();
    const int before = writes.Count();
    sendMouse(slider, QEvent::MouseButtonPress, handle, Qt::LeftButton);
    ASSERT_TRUE(slider->isSliderDown());
    QStringList seen;
    for (int step = 1; step <= 19; ++step) {
        sendMouse(slider, QEvent::MouseMove, handle - QPoint(0, step * 2), Qt::LeftButton);
        const QString v = chip("output")["EQ_Slider3"].toString();
        if (seen.isEmpty() || seen.last() != v)
            seen << v;
    }
    const int during = writes.Count() - before;
    const int final = slider->value();
    sendMouse(slider, QEvent::MouseButtonRelease, handle - QPoint(0, 38), Qt::NoButton);
    EXPECT_GT(final, 5);
    EXPECT_GE(seen.size(), 5) << "the chip follows the handle while it is held";
    EXPECT_EQ(during, 0);
    EXPECT_EQ(writes.Count() - before, 1);
    EXPECT_EQ(chip("output")["EQ_Slider3"].toString(), QString::number(final));
    // The file holds the custom preset's curve with the band's final value.
    EXPECT_EQ(stages()["EqType"].toInt(), 13);
    EXPECT_EQ(profileEntry()["EQHzValueInfo"].toArray()[13].toArray()[2].toObject()["value"].toInt(), final);
}

namespace {
class FailingLibraryTest : public HeadsetTest {
protected:
    QString library() const override { return TESSEL_OSCONF_STUB; }
};
}  // namespace

TEST_F(FailingLibraryTest, AFailingInitialisationIsReportedAndTheHeadsetGoesOn)
{
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    EXPECT_TRUE(waitFor([&] { return messages.contains("ConfLibInit called failed!"); }));
    // The HID side works as usual: lighting reaches the headset.
    EXPECT_TRUE(waitFor([&] {
        return runDevsim(simDir(), {"state"})["devices"].toObject()["headset"].toObject()["counters"].toObject()
                   ["headsetLightReports"].toInt() >= 12;
    }));
    EXPECT_FALSE(headset->SetMicVolume(50));
}

// Every control of the sound panel, by table: each row operates one control with input events
// on the control itself and must change the audio chip (read back from the simulator) and the
// profile; a control a user can operate on the panel without a row fails.
TEST_F(HeadsetTest, EverySoundControlChangesTheChipAndTheProfile)
{
    using namespace controltable;
    ASSERT_TRUE(plugHeadset());
    openWindow();
    ASSERT_TRUE(waitForHeadset());
    Click(control<QAbstractButton>("device_tab_sound"));
    QWidget* panel = headset->findChild<CVoice6533ControlUI*>();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(waitFor([&] { return panel->isVisible(); }));
    auto output = [&] { return QJsonDocument(chip("output")).toJson().toStdString(); };
    auto input = [&] { return QJsonDocument(chip("input")).toJson().toStdString(); };
    auto profile = [&] {
        Json::Value v;
        Json::Reader().parse(QJsonDocument(profileEntry()).toJson().toStdString(), v, false);
        return v;
    };
    // A preset other than `n` first, so that choosing `n` is a change.
    auto presetOtherThan = [&](int n) {
        return [&, n] {
            auto* b = control<QAbstractButton>(QString("6533_eq_option_%1").arg(n));
            ASSERT_NE(b, nullptr);
            if (b->isChecked())
                Click(control<QAbstractButton>(QString("6533_eq_option_%1").arg(n == 3 ? 4 : 3)));
        };
    };
    // The custom preset, with a named curve saved besides the one shown.
    auto customWithTwoNames = [&] {
        auto* combo = control<QComboBox>("custom_eq_name_combo");
        while (combo->count() < 2) {
            StepSlider(control<QWidget>("6533_eq_hz_slider_0"));
            TypeAndLeave(control<QWidget>("custom_eq_name_edit"), QString("curve %1").arg(combo->count()));
            Click(control<QWidget>("hs_EQ_btn_save"));
        }
    };
    std::vector<Row> rows;
    for (int n = 1; n <= 12; ++n)
        rows.push_back({"6533_eq_option_" + std::to_string(n), presetOtherThan(n), Click, output, profile});
    // The custom preset plays the curve moved by hand; a built-in one is chosen after moving it.
    rows.push_back({"6533_eq_option_13",
                    [&] {
                        StepSlider(control<QWidget>("6533_eq_hz_slider_4"));
                        ASSERT_TRUE(control<QAbstractButton>("6533_eq_option_13")->isChecked());
                        Click(control<QWidget>("6533_eq_option_3"));
                    },
                    Click, output, profile});
    for (int n = 0; n < 10; ++n)
        rows.push_back({"6533_eq_hz_slider_" + std::to_string(n), {}, StepSlider, output, profile});
    rows.push_back({"6533_MicIn_slider", {}, StepSlider, input, profile});
    rows.push_back({"6533_MicIn_option", {}, Click, input, profile});
    rows.push_back({"6533_MicMoniter_slider", {}, StepSlider, input, profile});
    rows.push_back({"6533_MicMoniter_option", {}, Click, input, profile});
    // Named curves: saving one keeps the curve the chip already plays; choosing one plays it;
    // deleting the one shown plays the next.
    rows.push_back({"custom_eq_name_edit", {},
                    [&](QWidget* w) {
                        TypeAndLeave(w, "typed");
                        Click(control<QWidget>("hs_EQ_btn_save"));
                    },
                    {}, profile, "a name for the curve the chip already plays"});
    rows.push_back({"hs_EQ_btn_save",
                    [&] {
                        StepSlider(control<QWidget>("6533_eq_hz_slider_1"));
                        TypeAndLeave(control<QWidget>("custom_eq_name_edit"), "saved");
                    },
                    Click, {}, profile, "keeps the curve the chip already plays"});
    rows.push_back({"custom_eq_name_combo", customWithTwoNames, ChooseAnother, output, profile});
    rows.push_back({"hs_EQ_btn_delete", customWithTwoNames, Click, output, profile});

    Walker walker(panel, [] { return true; }, [&](const std::function<bool()>& c) { return waitFor(c); });
    walker.Walk(rows);
    walker.ExpectEveryControlHasARow({});
}
