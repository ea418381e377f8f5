// Tessel restarted in the middle of a user's work, for each device: settings are changed through
// the page, the main window and its device objects are made anew on the same simulator and data
// folder (as a new start of Tessel meets them), more is changed, and then the device's memory
// (read back from the simulator), the page and the profile file must tell the same story.
#include "tests/editors/PanelTestFixture.h"

#include "devices/CVantikHS6533Device.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/CKeySetControlUI.h"
#include "editors/CLightControlUI.h"
#include "ui/Language.h"

#include <QAbstractSlider>
#include <QSlider>

namespace {

struct DeviceCase {
    const char* sim;
    const char* kind;
    int staticMode;  // the still single-colour effect in the device's mode list
};
constexpr DeviceCase kKeyboard{"keyboard", "keyboard", 6};
constexpr DeviceCase kMouse{"mouse", "mouse", 3};
constexpr DeviceCase kPad{"pad", "MousePad", 3};
constexpr DeviceCase kHeadset{"headset", "HD", 3};

class RestartTest : public PanelWithAudioChipTest {
protected:
    // Tessel ends and starts again: a new main window with new device objects finds the device
    // still plugged into the same simulator, with the same data folder and settings.
    CVantikUSBDevice* restart(const DeviceCase& c)
    {
        window->Shutdown();
        window.reset();
        window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
        if (!window->Create(nullptr, "tamrel wireless"))
            return nullptr;
        hub = window->Devices();
        installScriptedServices();
        if (!waitFor([&] {
                CVantikUSBDevice* d = deviceOfKind(c.kind);
                return d && d->Tab() && !d->Tab()->isHidden() && d->Transport().isReady() &&
                       !d->Profile().GetProfilePath().isEmpty();
            }))
            return nullptr;
        CVantikUSBDevice* d = deviceOfKind(c.kind);
        hub->TabSelected(d->Tab());
        return d;
    }

    // The active settings block's first bytes, the same on the four devices: profile, mode,
    // brightness, speed, direction, seven-colour flag, red, green, blue.
    QByteArray settings(const DeviceCase& c) { return QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex(c.sim, "settings"))); }
    bool waitForBytes(const DeviceCase& c, int offset, const QByteArray& expected)
    {
        return waitFor([&] { return settings(c).mid(offset, expected.size()) == expected; });
    }
    Json::Value profileEntry(CVantikUSBDevice* d)
    {
        return CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][Json::ArrayIndex(d->Profile().GetDeviceIndex())];
    }

    CLightControlUI* showLighting(CVantikUSBDevice* d)
    {
        if (auto* tab = control<QAbstractButton>(d, "device_tab_light"))
            tab->click();
        if (!waitFor([&] {
                auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
                return modes && modes->count() > 0;
            }))
            return nullptr;
        return d->findChild<CLightControlUI*>();
    }

    // Before the restart: the still mode in yellow (a swatch), through the lighting panel.
    void lightBeforeRestart(const DeviceCase& c, CVantikUSBDevice* d)
    {
        CLightControlUI* panel = showLighting(d);
        ASSERT_NE(panel, nullptr);
        control<QComboBox>(panel, "light_combo_modeSelect")->setCurrentIndex(c.staticMode);
        ASSERT_TRUE(waitForBytes(c, 1, QByteArray(1, char(c.staticMode))));
        click(panel, "color_option_3");
        ASSERT_TRUE(waitForBytes(c, 5, QByteArray::fromHex("00ffff00"))) << settings(c).left(9).toHex().toStdString();
    }
    // After it: the page shows that lighting again; the brightness moved to 2 reaches the device
    // and the profile, and the mode and colour stay in all three.
    void lightAfterRestart(const DeviceCase& c, CVantikUSBDevice* d)
    {
        CLightControlUI* panel = showLighting(d);
        ASSERT_NE(panel, nullptr);
        auto* modes = control<QComboBox>(panel, "light_combo_modeSelect");
        EXPECT_TRUE(waitFor([&] { return modes->currentIndex() == c.staticMode; })) << modes->currentIndex();
        EXPECT_EQ(control<QLineEdit>(panel, "deng_edit_R")->text(), "255");
        EXPECT_EQ(control<QLineEdit>(panel, "deng_edit_G")->text(), "255");
        EXPECT_EQ(control<QLineEdit>(panel, "deng_edit_B")->text(), "0");
        EXPECT_FALSE(control<QAbstractButton>(panel, "deng_7color_check")->isChecked());

        control<QSlider>(panel, "deng_light_slider")->setValue(2);
        EXPECT_TRUE(waitForBytes(c, 2, QByteArray(1, char(2)))) << settings(c).left(9).toHex().toStdString();
        const QByteArray now = settings(c);
        EXPECT_EQ(now.at(1), char(c.staticMode));
        EXPECT_EQ(now.mid(5, 4).toHex(), QByteArray("00ffff00"));

        const Json::Value light = profileEntry(d)["LightInfo"];
        EXPECT_EQ(light["SelectItem"].asInt(), c.staticMode);
        EXPECT_EQ(light["Light"].asInt(), 2);
        EXPECT_EQ(light["Red"].asInt(), 255);
        EXPECT_EQ(light["Green"].asInt(), 255);
        EXPECT_EQ(light["Blue"].asInt(), 0);
        EXPECT_FALSE(light["MultiColor"].asBool());
        EXPECT_EQ(control<QSlider>(panel, "deng_light_slider")->value(), 2);
    }

    // Picks key `position` on the device's picture with the key tab shown.
    CKeySetControlUI* pickKey(CVantikUSBDevice* device, int position)
    {
        auto* profile = device->findChild<CDeviceProfileUI*>();
        auto* panel = device->findChild<CKeySetControlUI*>();
        if (!profile || !panel)
            return nullptr;
        profile->SelectFeatureTab(CDeviceProfileUI::TabKeys);
        if (!waitFor([&] { return device->KeyAssignments().size() > size_t(position); }))
            return nullptr;
        auto* button = qobject_cast<QAbstractButton*>(device->KeyButton(position));
        if (!button)
            return nullptr;
        button->click();
        return panel->EditedKey() == position ? panel : nullptr;
    }
    // Gives key `position` a media function (an index of the media list) and writes the keys to
    // the device, as the user does with the panel's two buttons.
    void assignMedia(CVantikUSBDevice* device, int position, int media, bool keyboard)
    {
        CKeySetControlUI* panel = pickKey(device, position);
        ASSERT_NE(panel, nullptr) << position;
        auto* categories = control<QComboBox>(panel, "keyset_function_combo");
        categories->setCurrentIndex(categories->findData(QString::number(CKeySetControlUI::CatMedia)));
        control<QComboBox>(panel, "keyset_media_combo")->setCurrentIndex(media);
        if (!keyboard)
            click(panel, "key_butt_keysave");
        click(panel, "key_butt_prosave");
    }
    std::string slotHex(const DeviceCase& c, int slot)
    {
        const std::string hex = sim->dumpHex(c.sim, "keytable");
        return hex.size() >= size_t(6 * slot + 6) ? hex.substr(size_t(6 * slot), 6) : std::string();
    }
    static QString keyLabel(CVantikUSBDevice* d, int position)
    {
        auto* b = qobject_cast<QAbstractButton*>(d->KeyButton(position));
        return b ? b->text() : QString();
    }
    static QString text(const char* id) { return ui::Language::instance().Text(QLatin1String(id)); }
};

// Media list rows and what the device's key table holds for them.
constexpr int kMediaMute = 7;
constexpr int kMediaMail = 17;
constexpr uint32_t kMuteCode = 0x30E200;
constexpr uint32_t kMailCode = 0x308A01;

}  // namespace

TEST_F(RestartTest, Keyboard)
{
    auto* keyboard = qobject_cast<CVantikKeyboardDevice*>(plugAndShow(kKeyboard.sim, kKeyboard.kind));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
    // Two neighbouring keys of the picture that the keyboard has slots for.
    std::vector<int> keys;
    for (int p = 20; p < CVantikKeyboardDevice::kKeyPositions && keys.size() < 2; ++p)
        if (keyboard->SlotOf(p) != CVantikKeyboardDevice::kUnknown && keyboard->KeyButton(p))
            keys.push_back(p);
    ASSERT_EQ(keys.size(), 2u);
    const int first = keys[0], second = keys[1];
    const int firstSlot = keyboard->SlotOf(first), secondSlot = keyboard->SlotOf(second);
    const std::string tableBefore = sim->dumpHex(kKeyboard.sim, "keytable");

    lightBeforeRestart(kKeyboard, keyboard);
    assignMedia(keyboard, first, kMediaMail, true);
    ASSERT_TRUE(waitFor([&] { return slotHex(kKeyboard, firstSlot) == "308a01"; })) << slotHex(kKeyboard, firstSlot);

    keyboard = qobject_cast<CVantikKeyboardDevice*>(restart(kKeyboard));
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(waitFor([&] { return keyboard->IdentifiedKeyCount() > 0 && !keyboard->KeyAssignments().empty(); }));
    lightAfterRestart(kKeyboard, keyboard);

    // The page shows what the reassigned key does.
    ASSERT_NE(pickKey(keyboard, first), nullptr);
    EXPECT_EQ(keyLabel(keyboard, first), text("media_mail"));

    // More after the restart: the second key mutes; the first keeps mail, every other slot stays.
    assignMedia(keyboard, second, kMediaMute, true);
    EXPECT_TRUE(waitFor([&] { return slotHex(kKeyboard, secondSlot) == "30e200"; })) << slotHex(kKeyboard, secondSlot);
    EXPECT_EQ(slotHex(kKeyboard, firstSlot), "308a01");
    const std::string tableAfter = sim->dumpHex(kKeyboard.sim, "keytable");
    ASSERT_EQ(tableAfter.size(), tableBefore.size());
    for (size_t slot = 0; slot * 6 < tableBefore.size(); ++slot) {
        if (int(slot) != firstSlot && int(slot) != secondSlot) {
            EXPECT_EQ(tableAfter.substr(slot * 6, 6), tableBefore.substr(slot * 6, 6)) << "slot " << slot;
        }
    }
    EXPECT_EQ(keyLabel(keyboard, first), text("media_mail"));
    EXPECT_EQ(keyLabel(keyboard, second), text("media_mute"));
    const Json::Value list = profileEntry(keyboard)["KeyList"];
    EXPECT_EQ(list[first]["Assignment"].asUInt(), kMailCode);
    EXPECT_EQ(list[second]["Assignment"].asUInt(), kMuteCode);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();

    // Both keys are still known at their slots, whatever they were given.
    EXPECT_EQ(keyboard->SlotOf(second), secondSlot);
    EXPECT_EQ(keyboard->SlotOf(first), firstSlot);
}

TEST_F(RestartTest, Mouse)
{
    auto* mouse = qobject_cast<CVantikMouseDevice*>(plugAndShow(kMouse.sim, kMouse.kind));
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return mouse->Sensor().step != 0 && mouse->ButtonSlots()[0] != CVantikMouseDevice::kNotFound; }));
    int button = -1;
    for (int j = 1; j < CVantikMouseDevice::kButtons && button < 0; ++j)
        if (mouse->ButtonSlots()[size_t(j)] != CVantikMouseDevice::kNotFound && mouse->KeyButton(j))
            button = j;
    ASSERT_GE(button, 0);
    const int slot = mouse->ButtonSlots()[size_t(button)];

    lightBeforeRestart(kMouse, mouse);
    // Stage 3's resolution at index 30 and polling rate 1, then a button sends mail.
    control<QAbstractSlider>(mouse, "DPI_slider_2")->setValue(30);
    control<QAbstractButton>(mouse, "polling_rate_option_1")->click();
    ASSERT_TRUE(waitFor([&] { const QByteArray s = settings(kMouse); return s.size() > 36 && s[34] == 30 && s[36] == 30 && s[11] == 1; }))
        << settings(kMouse).left(40).toHex().toStdString();
    assignMedia(mouse, button, kMediaMail, false);
    ASSERT_TRUE(waitFor([&] { return slotHex(kMouse, slot) == "308a01"; })) << slotHex(kMouse, slot);

    mouse = qobject_cast<CVantikMouseDevice*>(restart(kMouse));
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return mouse->Sensor().step != 0 && mouse->ButtonSlots()[0] != CVantikMouseDevice::kNotFound; }));
    // The page shows what the mouse holds, and nothing reverted it at the connection.
    const QByteArray held = settings(kMouse);
    EXPECT_EQ(held[34], 30);
    EXPECT_EQ(held[11], 1);
    EXPECT_TRUE(waitFor([&] { return control<QAbstractSlider>(mouse, "DPI_slider_2")->value() == 30; }));
    EXPECT_EQ(control<QLineEdit>(mouse, "DPI_edit_2")->text(), "3200");
    EXPECT_TRUE(control<QAbstractButton>(mouse, "polling_rate_option_1")->isChecked());
    EXPECT_EQ(slotHex(kMouse, slot), "308a01");
    lightAfterRestart(kMouse, mouse);

    // More after the restart: stage 4 becomes the current one, another button mutes.
    control<QAbstractButton>(mouse, "DPI_select_check_4")->click();
    EXPECT_TRUE(waitFor([&] { return settings(kMouse)[12] == 4; })) << settings(kMouse).left(16).toHex().toStdString();
    int other = -1;
    for (int j = button + 1; j < CVantikMouseDevice::kButtons && other < 0; ++j)
        if (mouse->ButtonSlots()[size_t(j)] != CVantikMouseDevice::kNotFound && mouse->KeyButton(j))
            other = j;
    ASSERT_GE(other, 0);
    const int otherSlot = mouse->ButtonSlots()[size_t(other)];
    assignMedia(mouse, other, kMediaMute, false);
    EXPECT_TRUE(waitFor([&] { return slotHex(kMouse, otherSlot) == "30e200"; })) << slotHex(kMouse, otherSlot);
    EXPECT_EQ(slotHex(kMouse, slot), "308a01");

    const QByteArray now = settings(kMouse);
    EXPECT_EQ(now[34], 30);
    EXPECT_EQ(now[11], 1);
    EXPECT_EQ(now[12], 4);
    EXPECT_EQ(keyLabel(mouse, button), text("media_mail"));
    EXPECT_EQ(keyLabel(mouse, other), text("media_mute"));
    EXPECT_TRUE(control<QAbstractButton>(mouse, "DPI_select_check_4")->isChecked());
    const Json::Value entry = profileEntry(mouse);
    EXPECT_EQ(entry["DPIStages"]["StageActive"].asInt(), 4);
    EXPECT_EQ(entry["DPIStages"]["StageDPIs"][2]["StageDPIX"].asInt(), 30);
    EXPECT_EQ(entry["ReportStages"]["StageActive"].asInt(), 1);
    EXPECT_EQ(entry["KeyList"][button]["Assignment"].asUInt(), kMailCode);
    EXPECT_EQ(entry["KeyList"][other]["Assignment"].asUInt(), kMuteCode);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();

    // The reassigned button is still known at its slot.
    EXPECT_EQ(mouse->ButtonSlots()[size_t(other)], otherSlot);
    EXPECT_EQ(mouse->ButtonSlots()[size_t(button)], slot);
}

TEST_F(RestartTest, MousePad)
{
    CVantikUSBDevice* pad = plugAndShow(kPad.sim, kPad.kind);
    ASSERT_NE(pad, nullptr);
    ASSERT_TRUE(waitFor([&] { return !pad->LastStatus().empty(); }));
    const QByteArray ownBytes = settings(kPad).mid(9, 12);

    // A second profile, switched to and lit through the panel.
    auto* profiles = pad->findChild<CDeviceProfileUI*>();
    ASSERT_NE(profiles, nullptr);
    click(profiles, "device_add_btn");
    auto* combo = control<QComboBox>(profiles, "device_profile_combo");
    ASSERT_EQ(combo->count(), 2);
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(pad) == 1 && pad->Profile().GetProfilePath() == profiles->GetProfileFileAt(1); }));
    lightBeforeRestart(kPad, pad);

    pad = restart(kPad);
    ASSERT_NE(pad, nullptr);
    profiles = pad->findChild<CDeviceProfileUI*>();
    combo = control<QComboBox>(profiles, "device_profile_combo");
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(control<QLineEdit>(profiles, "device_profile_name_edit")->text(), "profile2");
    EXPECT_EQ(pad->Profile().GetProfilePath(), profiles->GetProfileFileAt(1));
    lightAfterRestart(kPad, pad);

    // More after the restart: back to the first profile, whose lighting the pad then holds.
    combo->setCurrentIndex(0);
    EXPECT_TRUE(waitFor([&] { return listSelection(pad) == 0; }));
    EXPECT_EQ(pad->Profile().GetProfilePath(), profiles->GetProfileFileAt(0));
    const Json::Value first = profileEntry(pad)["LightInfo"];
    EXPECT_TRUE(waitForBytes(kPad, 1, QByteArray(1, char(first["SelectItem"].asInt())) + char(first["Light"].asInt())))
        << settings(kPad).left(9).toHex().toStdString();
    EXPECT_EQ(control<QComboBox>(pad, "light_combo_modeSelect")->currentIndex(), first["SelectItem"].asInt());
    EXPECT_EQ(settings(kPad).mid(9, 12), ownBytes) << "the pad's own bytes go back as it reported them";
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();
}

TEST_F(RestartTest, Headset)
{
    auto* headset = qobject_cast<CVantikHS6533Device*>(plugAndShow(kHeadset.sim, kHeadset.kind));
    ASSERT_NE(headset, nullptr);
    ASSERT_TRUE(headset->AudioAvailable());
    const QByteArray ownBytes = settings(kHeadset).mid(9, 12);
    auto chip = [&](const char* endpoint) {
        return sim->run({"dump", "headset", "audio"})["audio"][endpoint];
    };
    auto stages = [&] { return profileEntry(headset)["SystemSetStages"]; };
    auto slide = [&](const char* name, int value) { control<QAbstractSlider>(headset, name)->setValue(value); };

    lightBeforeRestart(kHeadset, headset);
    // Preset 2, then band 4 moved: the curve becomes the custom one.
    click(headset, "6533_eq_option_2");
    slide("6533_eq_hz_slider_3", 7);
    slide("6533_MicIn_slider", 35);
    ASSERT_EQ(chip("output")["EQ_Slider4"].asString(), "7");
    ASSERT_EQ(chip("output")["EQ_Slider5"].asString(), "-11");
    ASSERT_EQ(chip("input")["VolumeScalarControl"].asString(), "0.35");

    headset = qobject_cast<CVantikHS6533Device*>(restart(kHeadset));
    ASSERT_NE(headset, nullptr);
    // The page shows the moved curve and the level, as the chip and the profile keep them.
    EXPECT_TRUE(control<QAbstractButton>(headset, "6533_eq_option_13")->isChecked());
    EXPECT_EQ(control<QAbstractSlider>(headset, "6533_eq_hz_slider_3")->value(), 7);
    EXPECT_EQ(control<QAbstractSlider>(headset, "6533_eq_hz_slider_4")->value(), -11);
    EXPECT_EQ(control<QAbstractSlider>(headset, "6533_MicIn_slider")->value(), 35);
    lightAfterRestart(kHeadset, headset);

    // More after the restart: band 1 and the side tone.
    slide("6533_eq_hz_slider_0", 5);
    slide("6533_MicMoniter_slider", 60);
    const Json::Value out = chip("output");
    EXPECT_EQ(out["EQ_Slider1"].asString(), "5");
    EXPECT_EQ(out["EQ_Slider4"].asString(), "7");
    EXPECT_EQ(out["EQ_Slider5"].asString(), "-11");
    const Json::Value in = chip("input");
    EXPECT_EQ(in["VolumeScalarControl"].asString(), "0.35");
    EXPECT_EQ(in["AAVolumeScalarControl"].asString(), "0.6");
    EXPECT_EQ(stages()["EqType"].asInt(), 13);
    EXPECT_EQ(stages()["MicInValue"].asInt(), 35);
    EXPECT_EQ(stages()["MicMoniterValue"].asInt(), 60);
    EXPECT_EQ(control<QAbstractSlider>(headset, "6533_eq_hz_slider_0")->value(), 5);

    EXPECT_EQ(settings(kHeadset).mid(9, 12), ownBytes) << "the headset's own bytes go back as it reported them";
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();
}
