// Profiles that follow the application in focus, end to end on a real X server (an Xvfb this
// test starts): X clients of different window classes (xmessage, found with xdotool, and small
// windows of this process), the root window's _NET_ACTIVE_WINDOW set as a window manager sets
// it (no window manager runs), the real main window on the device simulator, the rules set
// over the session bus with gdbus and in the profile panel. What the keyboard took is read back
// from the simulator's memory.
#include "tests/editors/FocusX11Support.h"

namespace {

TEST_F(FocusX11Test, KeyboardFollowsTheFocusedWindowButNotAFlashNorAgainstAManualSwitch)
{
    CVantikUSBDevice* keyboard = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(keyboard, nullptr);
    app::FocusSwitcher* focus = window->FocusFollower();
    ASSERT_NE(focus, nullptr);
    ASSERT_NE(focus->Source(), nullptr);
    ASSERT_EQ(focus->Source()->Name(), "x11");
    auto* panel = keyboard->findChild<CDeviceProfileUI*>();
    ASSERT_NE(panel, nullptr);
    for (int i = 0; i < 3; ++i)
        click(panel, "device_add_btn");
    // Profile1 is active and takes what the keyboard reads back; the others get a colour each.
    setProfileColour(panel, 1, 0, 255, 0, 0);
    setProfileColour(panel, 2, 0, 0, 255, 0);
    setProfileColour(panel, 3, 0, 0, 0, 255);
    const std::vector<ProfileList::Entry> profiles = ProfileList(keyboard->DataFolder(), keyboard->DefaultProfileFile()).Entries();
    ASSERT_EQ(profiles.size(), 4u);
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();

    // The rules over the bus: a game's window class, this program by its executable's name, and
    // profile4 when nothing matches. Profiles by name or id.
    ASSERT_TRUE(gdbus("SetFocusRules", {"keyboard",
                                        QString("[{'match': <'GameA'>, 'profile': <'profile2'>},"
                                                " {'match': <'%1'>, 'profile': <'%2'>}]").arg(exe, profiles[2].id),
                                        "profile4"}))
        << lastError.toStdString();
    const std::optional<QString> rules = gdbus("GetFocusRules", {"keyboard:3a17:5055:cable"});
    ASSERT_TRUE(rules) << lastError.toStdString();
    EXPECT_TRUE(rules->contains("'profile': <'profile3'>") && rules->contains("'match': <'GameA'>") && rules->endsWith("'profile4')\n"))
        << rules->toStdString();
    for (const QStringList& bad : {QStringList{"mousepad", "[]", ""}, QStringList{"keyboard", "[{'match': <'x'>, 'profile': <'nope'>}]", ""},
                                   QStringList{"keyboard", "[{'profile': <'profile1'>}]", ""}}) {
        EXPECT_FALSE(gdbus("SetFocusRules", bad)) << bad.join(' ').toStdString();
        EXPECT_TRUE(lastError.contains(bad[0] == "mousepad" ? "Error.NoSuchDevice" : "Error.InvalidValue")) << lastError.toStdString();
    }
    EXPECT_EQ(focusrules::Load(keyboard->DataFolder()).set.rules.size(), 2u) << "a refused call changes nothing";
    // The panel shows the rules of its profile at once.
    ASSERT_NE(panel->FocusRules(), nullptr);
    EXPECT_TRUE(panel->FocusRules()->Matches().isEmpty()) << "profile1 has no rule";
    EXPECT_FALSE(control<QCheckBox>(panel, "profile_focus_default_check")->isChecked());

    XDesk desk;
    const uint32_t game = xmessage("GameA");
    ASSERT_NE(game, 0u) << "xmessage's window was not found";
    const uint32_t own = desk.window("tool", "Tool", true);
    const uint32_t other = desk.window("editor", "Editor", false);
    const uint32_t other2 = desk.window("viewer", "Viewer", false);

    QStringList switched;
    QObject::connect(focus, &app::FocusSwitcher::Switched, [&](CVantikUSBDevice*, const QString& id) {
        for (const auto& p : profiles)
            if (p.id == id)
                switched << p.name;
    });
    auto settledOn = [&](const QString& wmInstance) {
        return waitFor([&] { return focus->Focused().wmInstance == wmInstance && !panel->SwitchInFlight(); });
    };

    // The game's window class: profile2, which the keyboard holds.
    desk.activate(game);
    ASSERT_TRUE(settledOn("GameA"));
    EXPECT_EQ(panel->GetSelectedProfileId(), profiles[1].id);
    EXPECT_TRUE(waitFor([&] { return colour() == "ff0000"; })) << colour();
    EXPECT_EQ(listSelection(keyboard), 1);
    EXPECT_EQ(panel->FocusRules()->Matches(), QStringList{"GameA"}) << "the panel follows the profile shown";

    // This program, known by its executable through _NET_WM_PID: profile3.
    desk.activate(own);
    ASSERT_TRUE(settledOn("tool"));
    EXPECT_TRUE(waitFor([&] { return colour() == "00ff00"; })) << colour();

    // No rule: the default, profile4. Then another unlisted window: nothing is written.
    desk.activate(other);
    ASSERT_TRUE(settledOn("editor"));
    EXPECT_TRUE(waitFor([&] { return colour() == "0000ff"; })) << colour();
    ASSERT_TRUE(drained(keyboard));
    const uint64_t before = sessions();
    desk.activate(other2);
    ASSERT_TRUE(settledOn("viewer"));
    ASSERT_TRUE(drained(keyboard));
    EXPECT_EQ(sessions(), before) << "the profile was active already";
    EXPECT_EQ(switched, QStringList({"profile2", "profile3", "profile4"}));

    // A launcher flashing past: only where the focus stays counts.
    desk.activate(game, false);
    desk.activate(own);
    ASSERT_TRUE(settledOn("tool"));
    EXPECT_EQ(switched, QStringList({"profile2", "profile3", "profile4", "profile3"}));
    EXPECT_TRUE(waitFor([&] { return colour() == "00ff00"; })) << colour();

    // The user picks profile2 by hand; the focus moving on within five seconds leaves it.
    auto* combo = control<QComboBox>(panel, "device_profile_combo");
    combo->setCurrentIndex(1);
    ASSERT_TRUE(waitFor([&] { return listSelection(keyboard) == 1 && !panel->SwitchInFlight(); }));
    EXPECT_TRUE(waitFor([&] { return colour() == "ff0000"; })) << colour();
    desk.activate(other);
    ASSERT_TRUE(settledOn("editor"));
    ASSERT_TRUE(drained(keyboard));
    EXPECT_EQ(panel->GetSelectedProfileId(), profiles[1].id);
    EXPECT_EQ(colour(), "ff0000");
    EXPECT_EQ(switched.size(), 4);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(",").toStdString();
}

TEST_F(FocusX11Test, PanelListOffersRunningApplicationsAndEditsTheRulesOfItsProfile)
{
    CVantikUSBDevice* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    ASSERT_NE(panel, nullptr);
    XDesk desk;
    const uint32_t game = xmessage("GameB");
    ASSERT_NE(game, 0u);
    desk.clientList({game, desk.window("tool", "Tool", true)});

    auto* field = control<QComboBox>(panel, "profile_focus_app_combo");
    auto* list = control<QListWidget>(panel, "profile_focus_list");
    ASSERT_TRUE(field && list);
    panel->FocusRules()->OfferRunningApplications();
    QStringList offered;
    for (int i = 0; i < field->count(); ++i)
        offered << field->itemText(i);
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_TRUE(offered.contains("Xmessage") && offered.contains(exe)) << offered.join(',').toStdString();

    // Typed and added, twice in another case (kept once), one removed.
    for (const char* typed : {"steam", "GameB", "gameb"}) {
        field->setEditText(typed);
        click(panel, "profile_focus_add_btn");
    }
    EXPECT_EQ(panel->FocusRules()->Matches(), QStringList({"steam", "GameB"}));
    list->setCurrentRow(0);
    click(panel, "profile_focus_remove_btn");
    control<QCheckBox>(panel, "profile_focus_default_check")->setChecked(true);
    const FocusRuleSet stored = focusrules::Load(mouse->DataFolder()).set;
    ASSERT_EQ(stored.rules.size(), 1u);
    EXPECT_EQ(stored.rules[0], (FocusRule{"GameB", panel->GetSelectedProfileId()}));
    EXPECT_EQ(stored.defaultProfileId, panel->GetSelectedProfileId());

    // A damaged rule file is told in the panel and kept beside the new one.
    QFile file(focusrules::FilePath(mouse->DataFolder()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"rules\": 5");
    file.close();
    panel->FocusRules()->Reload();
    auto* status = control<QLabel>(panel, "profile_focus_status");
    EXPECT_FALSE(status->isHidden());
    EXPECT_EQ(status->text(), ui::Language::instance().Text("profile_focus_damaged_text"));
    field->setEditText("steam");
    click(panel, "profile_focus_add_btn");
    EXPECT_TRUE(status->isHidden());
    EXPECT_EQ(focusrules::Load(mouse->DataFolder()).set.rules.size(), 1u);
    EXPECT_EQ(QDir(mouse->DataFolder()).entryList({"FocusRules.json.damaged-*"}).size(), 1);
}

TEST_F(FocusX11Test, ActiveWindowReportedOverTheBusSwitchesWhenADesktopScriptIsTheSource)
{
    CVantikUSBDevice* mouse = plugAndShow("mouse", "mouse");
    ASSERT_NE(mouse, nullptr);
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    click(panel, "device_add_btn");
    const std::vector<ProfileList::Entry> profiles = ProfileList(mouse->DataFolder(), mouse->DefaultProfileFile()).Entries();
    ASSERT_EQ(profiles.size(), 2u);
    app::FocusSwitcher* focus = window->FocusFollower();
    FocusRuleSet rules;
    rules.rules = {{"org.kde.konsole", profiles[1].id}};
    ASSERT_TRUE(focus->Save(*mouse, rules));

    // What the KWin script and the GNOME Shell extension send, as they send it.
    const QString report = "{'app_id': <'org.kde.konsole'>, 'wm_class': <'konsole'>, 'pid': <int64 %1>}";
    // While X11 is the source, a report is not a focus change.
    ASSERT_TRUE(gdbus("ReportActiveWindow", {report.arg(getpid())})) << lastError.toStdString();
    ASSERT_TRUE(drained(mouse));
    EXPECT_EQ(panel->GetSelectedProfileId(), profiles[0].id);

    focus->SetSource(std::make_unique<app::BusFocusSource>("gnome"));
    ASSERT_TRUE(gdbus("ReportActiveWindow", {report.arg(getpid())})) << lastError.toStdString();
    ASSERT_TRUE(waitFor([&] { return focus->Focused().appId == "org.kde.konsole" && !panel->SwitchInFlight(); }));
    EXPECT_EQ(panel->GetSelectedProfileId(), profiles[1].id);
    EXPECT_EQ(focus->Focused().executable, QFileInfo(QCoreApplication::applicationFilePath()).fileName())
        << "the program is found from the pid";
    QStringList offered;
    for (const app::FocusedApp& a : focus->Source()->RunningApplications())
        offered << a.DisplayName();
    EXPECT_EQ(offered, QStringList{"org.kde.konsole"});
}

}  // namespace
