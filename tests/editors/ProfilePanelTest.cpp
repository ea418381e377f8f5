#include "tests/editors/PanelTestFixture.h"
#include "editors/CMacroControlUI.h"
#include <QDirIterator>
#include "app/Application.h"
#include "tests/support/SimulatorProcess.h"
#include "app/CMainWnd.h"
#include "app/DeviceHub.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/CShootControlUI.h"
#include "editors/PanelServices.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/CJsonFile.h"
#include "profiles/UserFiles.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/ControlFactory.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <json/reader.h>

#include <csignal>
#include <sys/resource.h>

// The profile panel and the shoot editor end to end: the simulator runs as its own process, the
// real main window finds the devices, and the panels are worked through their controls, so every
// notification takes the main window's route. What reached a device is read back from the
// simulator's memory dump. Waits are for states, bounded only to turn a hang into a failure.
namespace {


// A mouse that refuses profiles named "broken", as a device whose write fails half way would.
class RefusingMouse : public CVantikMouseDevice {
public:
    using CVantikMouseDevice::CVantikMouseDevice;
    int ReloadProfile() override
    {
        const int result = CVantikMouseDevice::ReloadProfile();
        const Json::Value doc = CJsonFile::ReadJson(Profile().GetProfilePath());
        return doc["profilename"].asString() == "broken" ? -1 : result;
    }
};

class ProfilePanelTest : public PanelOnSimulatorTest {};

TEST_F(ProfilePanelTest, SwitchingProfileChangesWhatEachDeviceHoldsAndShows)
{
    struct Case {
        const char* sim;
        const char* kind;
        int stillMode;
        bool hasFrame;  // the headset takes its lighting by other reports; the keyboard streams
                        // frames only in its software modes and holds the colour in its settings
    } cases[] = {
        {"keyboard", "keyboard", 0, false},
        {"mouse", "mouse", 3, true},
        {"pad", "MousePad", 3, true},
        {"headset", "HD", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        CVantikUSBDevice* device = plugAndShow(c.sim, c.kind);
        ASSERT_NE(device, nullptr);
        // The connection's reads land first: the settings read stores what the device holds in
        // the current profile and saves it, which would overwrite the colour written below.
        // They start on the tab's connect timer, after the device shows as connected, with the
        // information block (its firmware version); each read then posts the next from its
        // landing (settings, then the mouse's profile push), so the worker is drained once per
        // step.
        ASSERT_TRUE(waitFor([&] { return !device->FirmwareVersion().isEmpty(); }));
        for (int step = 0; step < 3; ++step)
            ASSERT_TRUE(drained(device));
        auto* panel = device->findChild<CDeviceProfileUI*>();
        ASSERT_NE(panel, nullptr);
        auto* combo = control<QComboBox>(panel, "device_profile_combo");
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), 1);

        click(panel, "device_add_btn");
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(1), "profile2");
        EXPECT_EQ(combo->currentIndex(), 0) << "New leaves the current profile";
        setProfileColour(panel, 0, c.stillMode, 0, 0, 255);
        setProfileColour(panel, 1, c.stillMode, 255, 0, 0);

        combo->setCurrentIndex(1);  // as the user does: the window switches 400 ms later
        EXPECT_EQ(listSelection(device), 0) << "New leaves the selection on disk as the page shows it";
        ASSERT_TRUE(waitFor([&] { return listSelection(device) == 1 && !panel->SwitchInFlight(); }));
        EXPECT_EQ(device->Profile().GetProfilePath(), panel->GetProfileFileAt(1));
        EXPECT_EQ(control<QLineEdit>(panel, "device_profile_name_edit")->text(), "profile2");
        if (c.hasFrame) {
            // The frame the device holds turns red: first LED red, no blue.
            EXPECT_TRUE(waitFor([&] {
                const std::string hex = sim->dumpHex(c.sim, "frame");
                return hex.size() >= 6 && hex.substr(0, 2) != "00" && hex.substr(4, 2) == "00";
            })) << sim->dumpHex(c.sim, "frame").substr(0, 12);
            combo->setCurrentIndex(0);
            EXPECT_TRUE(waitFor([&] {
                const std::string hex = sim->dumpHex(c.sim, "frame");
                return hex.size() >= 6 && hex.substr(0, 2) == "00" && hex.substr(4, 2) != "00";
            })) << sim->dumpHex(c.sim, "frame").substr(0, 12);
        }
        if (std::string(c.sim) == "keyboard") {
            // The keyboard's settings block (bytes 6 to 8: red, green, blue) holds the colour.
            EXPECT_TRUE(waitFor([&] { return sim->dumpHex(c.sim, "settings").substr(12, 6) == "ff0000"; }))
                << sim->dumpHex(c.sim, "settings").substr(0, 54);
            combo->setCurrentIndex(0);
            EXPECT_TRUE(waitFor([&] { return sim->dumpHex(c.sim, "settings").substr(12, 6) == "0000ff"; }))
                << sim->dumpHex(c.sim, "settings").substr(0, 54);
        }
        EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();
    }
}

TEST_F(ProfilePanelTest, AMouseProfileSwitchSendsItsButtonTable)
{
    CVantikUSBDevice* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    // Its buttons are found in the table it reports when it connects.
    auto* buttons = qobject_cast<CVantikMouseDevice*>(mouse);
    ASSERT_NE(buttons, nullptr);
    ASSERT_TRUE(waitFor([&] {
        return buttons->ButtonSlots()[0] != CVantikMouseDevice::kNotFound &&
               buttons->ButtonSlots()[1] != CVantikMouseDevice::kNotFound;
    }));
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    click(panel, "device_add_btn");
    ASSERT_EQ(combo->count(), 2);
    const std::string before = sim->dumpHex("mouse", "keytable");
    ASSERT_GE(before.size(), 12u);

    // The second profile swaps the first two buttons.
    panel->GetProfileCount();
    const QString second = panel->GetProfileFileAt(1);
    Json::Value doc = CJsonFile::ReadJson(second);
    Json::Value& keys = doc["Device"][Json::ArrayIndex(mouse->Profile().GetDeviceIndex())]["KeyList"];
    ASSERT_GE(keys.size(), 2u);
    std::swap(keys[0]["Assignment"], keys[1]["Assignment"]);
    ASSERT_EQ(CJsonFile::WriteJson(second, doc), 0);

    combo->setCurrentIndex(1);
    EXPECT_TRUE(waitFor([&] {
        const std::string now = sim->dumpHex("mouse", "keytable");
        return now.size() >= 12 && now.substr(0, 6) == before.substr(6, 6) && now.substr(6, 6) == before.substr(0, 6);
    })) << before.substr(0, 12) << " -> " << sim->dumpHex("mouse", "keytable").substr(0, 12);
    combo->setCurrentIndex(0);
    EXPECT_TRUE(waitFor([&] { return sim->dumpHex("mouse", "keytable").substr(0, 12) == before.substr(0, 12); }))
        << sim->dumpHex("mouse", "keytable").substr(0, 12);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();
}

TEST_F(ProfilePanelTest, ManagingProfilesThroughThePanel)
{
    CVantikUSBDevice* device = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(device, nullptr);
    auto* panel = device->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    auto* name = control<QLineEdit>(panel, "device_profile_name_edit");

    // Rename: blank and taken names are refused with their messages; other case is taken.
    click(panel, "device_copy_btn");
    ASSERT_EQ(combo->itemText(1), "profile1 copy");
    name->setText("   ");
    click(panel, "device_profile_edit_save_btn");
    name->setText("PROFILE1 COPY");
    click(panel, "device_profile_edit_save_btn");
    EXPECT_EQ(messages, (QStringList{"message_text_25", "message_text_5"}));
    EXPECT_EQ(combo->itemText(0), "profile1");
    name->setText(QString::fromUtf8("Tír 配置"));
    click(panel, "device_profile_edit_save_btn");
    EXPECT_EQ(combo->itemText(0), QString::fromUtf8("Tír 配置"));
    messages.clear();

    // Export, then import: the import is named after the file, the content kept.
    chosenFile = home.filePath(QString::fromUtf8("Tír 配置.json"));
    click(panel, "device_export_btn");
    ASSERT_TRUE(QFileInfo::exists(chosenFile));
    click(panel, "device_import_btn");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), QString::fromUtf8("Tír 配置(1)"));

    // A file that is not a profile is refused and changes nothing.
    const QByteArray listBefore = [&] {
        QFile f(device->DataFolder() + "/ProfileList.ini");
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    for (const char* content : {"{\"profilename\":\"x\"}", "not json at all", "[1,2]"}) {
        chosenFile = home.filePath("bad.json");
        QFile f(chosenFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        click(panel, "device_import_btn");
    }
    EXPECT_EQ(messages, QStringList(3, "profile_import_invalid_text"));
    EXPECT_EQ(combo->count(), 3);
    QFile listFile(device->DataFolder() + "/ProfileList.ini");
    ASSERT_TRUE(listFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(listFile.readAll(), listBefore);
    messages.clear();

    // Reset asks first; cancelling keeps the profile.
    setProfileColour(panel, 0, 0, 1, 2, 3);
    confirm = 0;
    click(panel, "device_reset_btn");
    EXPECT_EQ(CJsonFile::ReadJson(panel->GetProfileFileAt(0))["Device"][0]["LightInfo"]["Red"].asInt(), 1);
    confirm = 1;
    click(panel, "device_reset_btn");
    EXPECT_NE(CJsonFile::ReadJson(panel->GetProfileFileAt(0))["Device"][0]["LightInfo"]["Red"].asInt(), 1);
    EXPECT_EQ(messages, (QStringList{"message_text_22", "message_text_22"}));

    // Delete the current (first) profile: the next one becomes current and the device follows.
    const QString deleted = panel->GetProfileFileAt(0);
    click(panel, "device_sub_btn");
    EXPECT_EQ(combo->count(), 2);
    EXPECT_FALSE(QFileInfo::exists(deleted));
    ASSERT_TRUE(waitFor([&] { return device->Profile().GetProfilePath() == panel->GetProfileFileAt(0); }));
    EXPECT_EQ(listSelection(device), 0);

    // The limit of 50 counts for New, not for Copy.
    while (combo->count() < ProfileList::kMaxNewProfiles)
        click(panel, "device_add_btn");
    click(panel, "device_add_btn");
    EXPECT_EQ(combo->count(), 50);
    click(panel, "device_copy_btn");
    EXPECT_EQ(combo->count(), 51);
    EXPECT_EQ(panel->GetProfileCount(), 51);
}

// The window with a mouse that refuses some profiles (the mouse object is made at start-up).
class FailingSwitchTest : public ProfilePanelTest {
protected:
    void SetUp() override
    {
        ui::ControlFactory::instance().RegistControl("CVantikMouseDevice", [](QWidget* p) { return new RefusingMouse(p); });
        ProfilePanelTest::SetUp();
    }
    void TearDown() override
    {
        ProfilePanelTest::TearDown();
        ui::ControlFactory::instance().RegistControl("CVantikMouseDevice", [](QWidget* p) { return new CVantikMouseDevice(p); });
    }
};

TEST_F(FailingSwitchTest, FailedSwitchKeepsThePreviousProfileOnDiskAndInTheDevice)
{
    CVantikUSBDevice* device = plugAndShow("mouse", "mouse");
    ASSERT_NE(device, nullptr);
    ASSERT_NE(dynamic_cast<RefusingMouse*>(device), nullptr);
    auto* panel = device->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    click(panel, "device_add_btn");
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(device) == 1 && !panel->SwitchInFlight(); }));
    ASSERT_EQ(combo->currentIndex(), 1);
    control<QLineEdit>(panel, "device_profile_name_edit")->setText("broken");
    click(panel, "device_profile_edit_save_btn");
    click(panel, "device_add_btn");

    combo->setCurrentIndex(0);  // "profile1" is fine; back to "broken" fails
    ASSERT_TRUE(waitFor([&] { return listSelection(device) == 0; }));
    messages.clear();
    const Json::Value beforeFailure = CJsonFile::ReadJson(device->DataFolder() + "/ProfileList.ini");
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    // One message, in words: the device, the profile that failed, why, and the one kept.
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].toStdString(), "Mouse: the profile “broken” could not be written (profile file): the file could not "
                                         "be read. The profile “profile1” stays selected, and the device was set back to it.");
    EXPECT_EQ(CJsonFile::ReadJson(device->DataFolder() + "/ProfileList.ini"), beforeFailure);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(control<QLineEdit>(panel, "device_profile_name_edit")->text(), "profile1");
    EXPECT_EQ(device->Profile().GetProfilePath(), panel->GetProfileFileAt(0));
    auto* status = control<QLabel>(panel, "device_profile_status");
    EXPECT_TRUE(status && !status->isHidden() && !status->text().isEmpty());
}

// While it lives, every file write of this process fails the way it does on a full disk (a file
// size limit of 0: writes fail with EFBIG; a read-only folder would not stop a test run as root).
class FullDisk {
public:
    FullDisk()
    {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit none = m_before;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_before); }

private:
    rlimit m_before{};
};

TEST_F(ProfilePanelTest, OnAFullDiskTheSwitchIsUndoneAndEveryFailedSaveIsTold)
{
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    click(panel, "device_add_btn");
    ASSERT_EQ(combo->count(), 2);
    ASSERT_TRUE(drained(mouse));
    const QString first = panel->GetProfileFileAt(0);
    ASSERT_TRUE(waitFor([&] { return mouse->Profile().GetProfilePath() == first; }));
    messages.clear();

    {
        const FullDisk full;
        // A DPI change goes to the mouse but cannot be kept: told once, not at every change.
        const std::string saved = CJsonFile::ReadFileText(first);
        auto* edit = control<QLineEdit>(mouse, "DPI_edit_0");
        ASSERT_NE(edit, nullptr);
        for (const char* dpi : {"400", "1600", "800"}) {
            if (edit->text() == dpi)
                continue;
            edit->setText(dpi);
            ui::PaintManager::Notify(edit, ui::kNotifyKillFocus);
            ASSERT_TRUE(drained(mouse));
        }
        // 800 DPI is step 6 on this sensor (100 per step from 200): stage 0, bytes 16-17.
        EXPECT_TRUE(waitFor([&] { return sim->dumpHex("mouse", "settings").substr(32, 4) == "0600"; }))
            << sim->dumpHex("mouse", "settings").substr(32, 4);
        const QString name = QFileInfo(first).fileName();
        ASSERT_TRUE(waitFor([&] { return messages.join("|").contains(name); })) << messages.join("|").toStdString();
        EXPECT_TRUE(userfiles::TakeNotices().empty());
        EXPECT_EQ(messages.join("|").count(name), 1) << messages.join("|").toStdString();
        EXPECT_EQ(CJsonFile::ReadFileText(first), saved);

        // The switch cannot be recorded: the page stays on the profile the device and the
        // list keep, and says so.
        messages.clear();
        combo->setCurrentIndex(1);
        ASSERT_TRUE(waitFor([&] { return messages.join("|").contains("profile2"); }));
        EXPECT_TRUE(messages.join("|").contains("“profile1” stays selected")) << messages.join("|").toStdString();
        EXPECT_EQ(combo->currentIndex(), 0);
        EXPECT_EQ(control<QLineEdit>(panel, "device_profile_name_edit")->text(), "profile1");
        EXPECT_EQ(listSelection(mouse), 0);
        EXPECT_EQ(mouse->Profile().GetProfilePath(), first);
        EXPECT_FALSE(panel->SwitchInFlight());
    }

    // With room again the switch goes through and saves work in silence.
    messages.clear();
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(mouse) == 1 && !panel->SwitchInFlight(); }));
    EXPECT_EQ(mouse->Profile().GetProfilePath(), panel->GetProfileFileAt(1));
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
}

TEST_F(ProfilePanelTest, ImportedAndHandEditedProfilesReachTheMouseOnlyWithinItsRanges)
{
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return mouse->Sensor().highest == 100; }));
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    const Json::Value original = CJsonFile::ReadJson(panel->GetProfileFileAt(0));
    // The mouse's settings: polling choice (byte 11) and stage 0's DPI step (bytes 16-17).
    auto polling = [&] { return sim->dumpHex("mouse", "settings").substr(22, 2); };
    auto firstStep = [&] { return sim->dumpHex("mouse", "settings").substr(32, 4); };

    // Out of range: imported with the nearest values, and the user learns which fields.
    Json::Value doc = original;
    Json::Value& entry = doc["Device"][0];
    entry["ReportStages"]["StageActive"] = 77;
    entry["DPIStages"]["StageDPIs"][0]["StageDPIX"] = 0xffff;
    entry["DPIStages"]["StageDPIs"][0]["StageDPIY"] = 0xffff;
    entry["LightInfo"]["Light"] = 9;
    chosenFile = home.filePath("odd.json");
    ASSERT_EQ(CJsonFile::WriteJson(chosenFile, doc), 0);
    click(panel, "device_import_btn");
    ASSERT_EQ(panel->GetProfileCount(), 2);
    ASSERT_EQ(messages.size(), 1);
    for (const char* named : {"ReportStages.StageActive: 77 (0 – 3)", "DPIStages.StageDPIs[0].StageDPIX: 65535 (0 – 100)",
                              "LightInfo.Light: 9 (0 – 4)"})
        EXPECT_TRUE(messages[0].contains(QString::fromUtf8(named))) << messages[0].toStdString();
    const Json::Value imported = CJsonFile::ReadJson(panel->GetProfileFileAt(1))["Device"][0];
    EXPECT_EQ(imported["ReportStages"]["StageActive"].asInt(), 3);
    EXPECT_EQ(imported["DPIStages"]["StageDPIs"][0]["StageDPIX"].asInt(), 100);
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(mouse) == 1 && !panel->SwitchInFlight(); }));
    EXPECT_TRUE(waitFor([&] { return polling() == "03" && firstStep() == "6400"; })) << polling() << " " << firstStep();
    EXPECT_EQ(control<QLineEdit>(mouse, "DPI_edit_0")->text(), QString::number(mouse->Sensor().DpiOfIndex(100)));

    // Of the wrong type: refused, naming the field.
    messages.clear();
    entry["LightInfo"]["Red"] = "255";
    ASSERT_EQ(CJsonFile::WriteJson(chosenFile, doc), 0);
    click(panel, "device_import_btn");
    EXPECT_EQ(combo->count(), 2);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("LightInfo.Red")) << messages[0].toStdString();

    // Edited by hand: corrected when loaded, before the mouse gets it, and told once.
    messages.clear();
    Json::Value edited = original;
    edited["Device"][0]["ReportStages"]["StageActive"] = -4;
    ASSERT_EQ(CJsonFile::WriteJson(panel->GetProfileFileAt(0), edited), 0);
    combo->setCurrentIndex(0);
    ASSERT_TRUE(waitFor([&] { return listSelection(mouse) == 0 && !panel->SwitchInFlight(); }));
    EXPECT_TRUE(waitFor([&] { return polling() == "00"; })) << polling();
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    EXPECT_TRUE(messages.join("|").contains(QString::fromUtf8("ReportStages.StageActive: -4 (0 – 3)")))
        << messages.join("|").toStdString();
}

TEST_F(ProfilePanelTest, ADamagedProfileListIsRebuiltAndTheUserIsToldWhatWasKept)
{
    CVantikUSBDevice* device = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(device, nullptr);
    auto* panel = device->findChild<CDeviceProfileUI*>();
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    click(panel, "device_copy_btn");
    ASSERT_TRUE(waitFor([&] { return combo->count() == 2; }));
    const QString second = combo->itemText(1);

    // Tessel ends, the list is cut short on disk, and Tessel starts again on the same keyboard.
    window->Shutdown();
    const QString listPath = home.filePath("data/tamrel wireless/keyboard/ProfileList.ini");
    QFile list(listPath);
    ASSERT_TRUE(list.open(QIODevice::ReadWrite));
    const QByteArray damaged = list.read(20);
    ASSERT_TRUE(list.resize(20));
    list.close();
    messages.clear();
    restartWindow();
    ASSERT_NE(connected("keyboard"), nullptr);
    combo = control<QComboBox>(deviceOfKind("keyboard")->findChild<CDeviceProfileUI*>(), "device_profile_combo");
    ASSERT_NE(combo, nullptr);
    // Both profiles are back under their own names, not a fresh "profile1" alone.
    EXPECT_TRUE(waitFor([&] { return combo->count() == 2; }));
    EXPECT_EQ(combo->itemText(0), "profile1");
    EXPECT_EQ(combo->itemText(1), second);

    // The user is told once which file was kept and where; the copy holds the damaged bytes.
    ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
    const QStringList kept = QFileInfo(listPath).dir().entryList({"ProfileList.ini.damaged-*"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(messages.join('\n').contains(listPath)) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.join('\n').contains(kept[0])) << messages.join('\n').toStdString();
    QFile copy(QFileInfo(listPath).dir().filePath(kept[0]));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), damaged);
}

// Every kind of user file the pages replace, damaged or far too large, across a restart: the
// window starts, a damaged file is copied beside itself (byte for byte) before anything replaces
// it, a file too large is left exactly as it was and never rewritten, and the user is told.
TEST_F(ProfilePanelTest, DamagedOrHugeUserFilesOfEveryKindAreKeptOrLeftAndTold)
{
    auto* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    auto* macros = keyboard->findChild<CMacroControlUI*>();
    ASSERT_NE(macros, nullptr);
    click(macros, "macro_btn_name_add");
    click(macros, "macro_btn_name_add");
    ASSERT_NE(plugAndShow("mouse", "mouse"), nullptr);
    const QString keyboardFolder = home.filePath("data/tamrel wireless/keyboard");
    const Json::Value macroList = CJsonFile::ReadJson(keyboardFolder + "/macro.config");
    const QString macroFile = keyboardFolder + "/" + QString::fromStdString(macroList["MacroInfo"][0]["Guid"].asString()) + ".mac";
    const QString hugeMacroFile =
        keyboardFolder + "/" + QString::fromStdString(macroList["MacroInfo"][1]["Guid"].asString()) + ".mac";
    QString shootFile;
    for (QDirIterator it(home.path(), {"ShootData_0.Shoot"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        shootFile = it.next();
    ASSERT_FALSE(shootFile.isEmpty());
    const QString mouseProfile =
        deviceOfKind("mouse")->findChild<CDeviceProfileUI*>()->GetProfileFileAt(0);
    ASSERT_TRUE(QFileInfo::exists(mouseProfile));

    struct Case {
        QString path;
        QByteArray bytes;
        bool tooLarge;
    } cases[] = {
        {macroFile, "\x01\x02 not json", false},
        {shootFile, R"({"Events":[{"Action")", false},
        {mouseProfile, QByteArray(2 * 1024 * 1024, ' ') + "{}", true},
        {hugeMacroFile, QByteArray(2 * 1024 * 1024, ' ') + R"({"Events":[]})", true},
    };
    window->Shutdown();
    for (const Case& c : cases) {
        QFile f(c.path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << c.path.toStdString();
        ASSERT_EQ(f.write(c.bytes), c.bytes.size());
    }
    messages.clear();
    restartWindow();
    keyboard = connected("keyboard");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(connected("mouse"), nullptr);
    // What replaces these files: the macro shown and saved (its events), a bullet saved (the pattern; its page replaces a damaged one when built), the
    // mouse's profile saved by a page change.
    hub->TabSelected(keyboard->Tab());
    macros = keyboard->findChild<CMacroControlUI*>();
    for (int i : {0, 1}) {
        macros->SelectMacro(i);
        macros->SaveMacro();
    }
    auto* mouse = deviceOfKind("mouse");
    hub->TabSelected(mouse->Tab());
    mouse->findChild<CShootControlUI*>()->SaveBullet();
    mouse->SaveProfile();
    // The list of macros, damaged now, is kept when adding a macro replaces it.
    const QByteArray damagedList = R"({"MacroInfo":[{"MacroName":"m)";
    {
        QFile f(keyboardFolder + "/macro.config");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damagedList);
    }
    hub->TabSelected(keyboard->Tab());
    click(macros, "macro_btn_name_add");
    const Case listCase{keyboardFolder + "/macro.config", damagedList, false};
    EXPECT_TRUE(waitFor([&] {
        const QString all = messages.join('\n');
        return std::all_of(std::begin(cases), std::end(cases), [&](const Case& c) { return all.contains(c.path); }) &&
               all.contains(listCase.path);
    })) << messages.join('\n').toStdString();
    const QString told = messages.join('\n');

    std::vector<Case> all(std::begin(cases), std::end(cases));
    all.push_back(listCase);
    for (const Case& c : all) {
        SCOPED_TRACE(c.path.toStdString());
        const QFileInfo info(c.path);
        const QStringList kept = info.dir().entryList({info.fileName() + ".damaged-*"}, QDir::Files);
        EXPECT_TRUE(told.contains(c.path)) << told.toStdString();
        if (c.tooLarge) {
            EXPECT_TRUE(kept.isEmpty());
            QFile f(c.path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_TRUE(f.readAll() == c.bytes) << "left exactly as it was";
            continue;
        }
        ASSERT_EQ(kept.size(), 1) << told.toStdString();
        EXPECT_TRUE(told.contains(kept[0])) << told.toStdString();
        QFile copy(info.dir().filePath(kept[0]));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == c.bytes) << "the copy holds the damaged bytes";
    }
}

TEST_F(ProfilePanelTest, EditedBulletReachesTheMouseAndImportReplacesOnlyItsGun)
{
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    auto* shoot = mouse->findChild<CShootControlUI*>();
    ASSERT_NE(shoot, nullptr);

    // Gun 2 (index 1), bullet 4 (index 3): 12 to the right, 7 up, 40 ms.
    click(shoot, "shoot_gun_op_1");
    click(shoot, "bullet_op_3");
    EXPECT_EQ(control<QLabel>(shoot, "bullet_select_index")->text(), "4");
    auto* xCheck = control<QAbstractButton>(shoot, "bullet_x_check");
    auto* yCheck = control<QAbstractButton>(shoot, "bullet_y_check");
    if (xCheck->isChecked())
        xCheck->click();
    if (!yCheck->isChecked())
        yCheck->click();
    EXPECT_EQ(yCheck->text(), "Up");
    for (auto [name, value] : {std::pair{"bullet_x_eidt", "12"}, {"bullet_y_eidt", "7"}, {"bullet_delay_eidt", "40"}}) {
        control<QLineEdit>(shoot, name)->setText(value);
        ui::PaintManager::Notify(control<QWidget>(shoot, name), ui::kNotifyKillFocus);
    }
    const Json::Value events = CJsonFile::ReadJson(shoot->GunFile(1))["Events"];
    ASSERT_EQ(events.size(), 180u);
    EXPECT_EQ(events[20], parseJson(R"({"Action":"up","Button":12,"Delay":5,"Type":4})"));
    EXPECT_EQ(events[21], parseJson(R"({"Action":"down","Button":7,"Delay":40,"Type":5})"));
    EXPECT_EQ(events[22], parseJson(R"({"Action":"up","Button":0,"Delay":0,"Type":4})"));

    click(shoot, "shootdate_save_btn");
    ASSERT_TRUE(waitFor([&] { return sim->run({"dump", "mouse", "shoot"})["image"]["valid"].asBool(); }));
    EXPECT_EQ(messages, QStringList{"shoot_notice_text"}) << "the notice comes before the first send only";
    const std::vector<uint8_t> image = shoot->BuildShootImage();
    std::string expectedHex;
    for (uint8_t byte : image)
        expectedHex += QString::asprintf("%02x", byte).toStdString();
    Json::Value dump = sim->run({"dump", "mouse", "shoot"});
    EXPECT_EQ(dump["hex"].asString().substr(0, expectedHex.size()), expectedHex);
    EXPECT_EQ(dump["image"]["macros"].size(), 4u);
    EXPECT_EQ(dump["image"]["macros"][1][21]["button"].asInt(), 7);
    EXPECT_EQ(dump["image"]["macros"][1][21]["delay"].asInt(), 40);

    // Import for gun 3 (index 2) replaces only that gun's file; the mouse then gets it.
    std::string before[4];
    for (int g = 0; g < 4; ++g)
        before[g] = CJsonFile::ReadFileText(shoot->GunFile(g));
    Json::Value pattern = CJsonFile::ReadJson(shoot->ShippedGunFile(3));
    pattern["Events"][3]["Button"] = 99;
    chosenFile = home.filePath("mine.shoot");
    ASSERT_EQ(CJsonFile::WriteJson(chosenFile, pattern), 0);
    click(shoot, "shoot_gun_op_2");
    click(shoot, "shootdate_import_btn");
    EXPECT_EQ(CJsonFile::ReadFileText(shoot->GunFile(2)), CJsonFile::ReadFileText(chosenFile));
    for (int g : {0, 1, 3})
        EXPECT_EQ(CJsonFile::ReadFileText(shoot->GunFile(g)), before[g]) << "gun " << g;
    click(shoot, "bullet_op_0");
    EXPECT_EQ(control<QLineEdit>(shoot, "bullet_y_eidt")->text(), "99");
    click(shoot, "shootdate_save_btn");
    EXPECT_TRUE(waitFor([&] { return sim->run({"dump", "mouse", "shoot"})["image"]["macros"][2][3]["button"].asInt() == 99; }));
    EXPECT_EQ(messages.size(), 1) << "no second notice once turned off";

    // Next on the last bullet stays there; a deleted pattern comes back from the shipped copy.
    click(shoot, "bullet_op_29");
    click(shoot, "bullet_selected_next");
    EXPECT_EQ(shoot->CurrentBullet(), 29);
    ASSERT_TRUE(QFile::remove(shoot->GunFile(0)));
    shoot->InitShootPanel();
    EXPECT_EQ(CJsonFile::ReadFileText(shoot->GunFile(0)), CJsonFile::ReadFileText(shoot->ShippedGunFile(0)));
}

TEST_F(ProfilePanelTest, ShootValuesStayInRangeAndOnlyPatternsAreImportedOrSent)
{
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    auto* shoot = mouse->findChild<CShootControlUI*>();
    ASSERT_NE(shoot, nullptr);
    click(shoot, "bullet_op_2");

    // Key by key, a distance above 255 or a wait above 65535 cannot be typed at all.
    for (auto [name, keys, shown] : {std::tuple{"bullet_x_eidt", "300", "30"}, {"bullet_delay_eidt", "99999", "9999"}}) {
        auto* edit = control<QLineEdit>(shoot, name);
        edit->clear();
        QTest::keyClicks(edit, keys);
        EXPECT_EQ(edit->text(), shown) << name;
    }

    // Values set otherwise (by a program, not typed) beyond what the mouse keeps are limited when
    // saved, in the file and in the edits.
    for (auto [name, value] : {std::pair{"bullet_x_eidt", "300"}, {"bullet_y_eidt", "-5"}, {"bullet_delay_eidt", "99999"}}) {
        control<QLineEdit>(shoot, name)->setText(value);
        ui::PaintManager::Notify(control<QWidget>(shoot, name), ui::kNotifyKillFocus);
    }
    const Json::Value events = CJsonFile::ReadJson(shoot->GunFile(0))["Events"];
    EXPECT_EQ(events[14]["Button"].asInt(), 255);
    EXPECT_EQ(events[15]["Button"].asInt(), 0);
    EXPECT_EQ(events[15]["Delay"].asInt(), 65535);
    EXPECT_EQ(control<QLineEdit>(shoot, "bullet_x_eidt")->text(), "255");
    EXPECT_EQ(control<QLineEdit>(shoot, "bullet_delay_eidt")->text(), "65535");

    // Files that are not patterns of the bullet layout are refused, naming what is wrong.
    const Json::Value shipped = CJsonFile::ReadJson(shoot->ShippedGunFile(1));
    auto with = [&](const std::function<void(Json::Value&)>& change) {
        Json::Value doc = shipped;
        change(doc);
        return doc;
    };
    struct Case {
        const char* what;
        Json::Value doc;
        const char* named;  // part of the message
    } cases[] = {
        {"a profile", parseJson(R"({"profilename":"p","Device":[]})"), "180"},
        {"too few events", with([](Json::Value& d) { d["Events"].resize(12); }), "12"},
        {"a distance of 300", with([](Json::Value& d) { d["Events"][3]["Button"] = 300; }), "event 4, “Button” is 300"},
        {"a wait of 99999", with([](Json::Value& d) { d["Events"][9]["Delay"] = 99999; }), "“Delay” is 99999"},
        {"a wait as text", with([](Json::Value& d) { d["Events"][3]["Delay"] = "40"; }), "“Delay”"},
        {"an unknown action", with([](Json::Value& d) { d["Events"][2]["Action"] = "left"; }), "“Action”"},
        {"a key event in a move", with([](Json::Value& d) { d["Events"][2]["Type"] = 2; }), "“Type”"},
    };
    chosenFile = home.filePath("other.shoot");
    const std::string before = CJsonFile::ReadFileText(shoot->GunFile(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        ASSERT_EQ(CJsonFile::WriteJson(chosenFile, c.doc), 0);
        click(shoot, "shootdate_import_btn");
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains(QString::fromUtf8(c.named))) << messages[0].toStdString();
        EXPECT_EQ(CJsonFile::ReadFileText(shoot->GunFile(0)), before);
    }

    // A pattern file changed by hand is not sent: nothing reaches the mouse.
    Json::Value edited = CJsonFile::ReadJson(shoot->GunFile(3));
    edited["Events"][21]["Button"] = 300;
    ASSERT_EQ(CJsonFile::WriteJson(shoot->GunFile(3), edited), 0);
    messages.clear();
    click(shoot, "shootdate_save_btn");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("Gun 4")) << messages[0].toStdString();
    ASSERT_TRUE(drained(mouse));
    EXPECT_FALSE(sim->run({"dump", "mouse", "shoot"})["image"]["valid"].asBool());
}

}  // namespace

namespace {

// Pictures of the panels for the documentation, taken only when TESSEL_PROFILE_SCREENSHOTS
// names a folder.
TEST_F(ProfilePanelTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("TESSEL_PROFILE_SCREENSHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSEL_PROFILE_SCREENSHOTS is not set";
    QDir().mkpath(folder);
    auto* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return !mouse->FirmwareVersion().isEmpty(); }));
    QTest::qWait(1500);  // the page header shows the status block read after the firmware
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    click(panel, "device_add_btn");
    click(panel, "device_copy_btn");
    control<QLineEdit>(panel, "device_profile_name_edit")->setText(QString::fromUtf8("FPS · low sens"));
    click(panel, "device_profile_edit_save_btn");
    panel->SelectFeatureTab(CDeviceProfileUI::TabProfile);
    QTest::qWait(300);
    window->grab().save(folder + "/profile-panel-en.png");

    auto* shoot = mouse->findChild<CShootControlUI*>();
    panel->SelectFeatureTab(CDeviceProfileUI::TabShoot);
    click(shoot, "shoot_gun_op_1");
    click(shoot, "bullet_op_6");
    QTest::qWait(300);
    window->grab().save(folder + "/shoot-editor-en.png");
    window->ApplyLanguage(kChinese);
    QTest::qWait(300);
    window->grab().save(folder + "/shoot-editor-cn.png");
    panel->SelectFeatureTab(CDeviceProfileUI::TabProfile);
    QTest::qWait(300);
    window->grab().save(folder + "/profile-panel-cn.png");
}

}  // namespace

// The mouse's page shows its active DPI stage from the start, whichever device's tab is shown
// first.
TEST_F(ProfilePanelTest, TheActiveDpiStageIsShownWhenAnotherTabIsCurrent)
{
    ASSERT_NE(plugAndShow("mouse", "mouse"), nullptr);
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    restartWindow();
    keyboard = connected("keyboard");
    CVantikUSBDevice* mouse = connected("mouse");
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(mouse, nullptr);
    hub->TabSelected(keyboard->Tab());
    ASSERT_TRUE(waitFor([&] { return !mouse->FirmwareVersion().isEmpty(); }));  // its connection read landed
    ASSERT_TRUE(drained(mouse));
    ASSERT_TRUE(drained(mouse));  // and what that posted in turn
    const int active = dynamic_cast<CVantikMouseDevice*>(mouse)->MouseProfile().GetActiveStage();
    int checked = -1;
    for (int n = 0; n < 8; ++n)
        if (auto* radio = control<QAbstractButton>(mouse, QStringLiteral("DPI_select_check_%1").arg(n).toLatin1().constData());
            radio && radio->isChecked())
            checked = n;
    EXPECT_EQ(checked, active);
}

// The mouse's page, profile and memory agree from the connection on: what another program
// changed while Tessel was away is set back to the profile, and a change made while the mouse
// was switched off reaches it once it is back.
TEST_F(ProfilePanelTest, TheMouseHoldsWhatItsPageShowsAfterConnectingAndAfterBeingSwitchedOn)
{
    auto settings = [&] { return QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("mouse", "settings"))); };
    auto* mouse = dynamic_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse", "receiver"));
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return !mouse->FirmwareVersion().isEmpty(); }));
    ASSERT_TRUE(drained(mouse));
    ASSERT_TRUE(drained(mouse));
    const int stage3 = mouse->MouseProfile().GetDpiStages()[2].dpiX;

    // Another program set stage 3 while Tessel was not running.
    window->Shutdown();
    ASSERT_FALSE(sim->run({"poke", "mouse", "settings", "34", QString::number((stage3 + 7) % 100, 16).rightJustified(2, '0')}).isNull());
    restartWindow();
    mouse = dynamic_cast<CVantikMouseDevice*>(connected("mouse"));
    ASSERT_NE(mouse, nullptr);
    EXPECT_TRUE(waitFor([&] { return settings()[34] == char(stage3); })) << settings().left(40).toHex().toStdString();
    hub->TabSelected(mouse->Tab());
    EXPECT_EQ(control<QAbstractSlider>(mouse, "DPI_slider_2")->value(), stage3);

    // Switched off, the mouse refuses the change; switched on again, it gets it.
    ASSERT_FALSE(sim->run({"power", "mouse", "off"}).isNull());
    const int wanted = (stage3 + 11) % 100;
    control<QAbstractSlider>(mouse, "DPI_slider_2")->setValue(wanted);
    ASSERT_TRUE(drained(mouse));
    EXPECT_NE(settings()[34], char(wanted));
    ASSERT_FALSE(sim->run({"power", "mouse", "on"}).isNull());
    EXPECT_TRUE(waitFor([&] { return settings()[34] == char(wanted); })) << settings().left(40).toHex().toStdString();
    EXPECT_EQ(mouse->MouseProfile().GetDpiStages()[2].dpiX, wanted);
}
