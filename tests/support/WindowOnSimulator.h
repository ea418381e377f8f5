#pragma once

// The fixture of the tests that drive the real main window against the device simulator run as
// its own process: fresh per-user folders, the simulator of the test's choice (a class taking
// the simulator's folder and answering ready()), the window shown, its message boxes answered.
#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/DeviceHub.h"
#include "app/RegisteredMessages.h"
#include "tests/support/ScriptedMessages.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

template <class Simulator>
class WindowOnSimulatorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
        app::RegisterControlClasses();
    }
    void SetUp() override
    {
        UseFreshFolders();
        StartSimulator();
        if (!HasFatalFailure())
            OpenWindow();
    }
    void TearDown() override
    {
        CloseWindow();
        sim.reset();
        qunsetenv("TESSEL_SIM_DIR");
    }

    // Per-user folders of the test's own, and the simulator's folder in them.
    void UseFreshFolders()
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        qputenv("TESSEL_SIM_DIR", home.filePath("sim").toUtf8());
        ASSERT_TRUE(QDir(home.path()).mkpath("sim"));
    }
    void StartSimulator()
    {
        sim = std::make_unique<Simulator>(home.filePath("sim"));
        ASSERT_TRUE(sim->ready());
    }
    // The main window on the settings file "settings.ini" of the test's folder, shown.
    void OpenWindow()
    {
        window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        AnswerMessages();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, kWindowWaitMs));
        hub = window->Devices();
        ASSERT_NE(hub, nullptr);
    }
    void CloseWindow()
    {
        if (!window)
            return;
        window->Shutdown();
        window.reset();
        hub = nullptr;
    }

    static constexpr int kWindowWaitMs = 20000;
    QTemporaryDir home;
    std::unique_ptr<Simulator> sim;
    std::unique_ptr<CMainWnd> window;
    app::DeviceHub* hub = nullptr;
};

}  // namespace testsupport
