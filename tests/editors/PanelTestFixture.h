#pragma once

// What the editor panel tests share: the simulator as its own process and the real main window
// on it, with the message box and file dialogs answered by the test.
#include "app/Application.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/WindowOnSimulator.h"
#include "app/CMainWnd.h"
#include "app/DeviceHub.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/CShootControlUI.h"
#include "editors/PanelServices.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/CJsonFile.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/ControlFactory.h"
#include "ui/PaintManager.h"
#include <memory>

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

namespace {

constexpr int kWaitMs = 15000;
// Positions in the shipped language list.
constexpr int kChinese = 0;
constexpr int kEnglish = 1;

Json::Value parseJson(const QByteArray& text)
{
    Json::Value v;
    Json::Reader().parse(text.toStdString(), v, false);
    return v;
}

// Handles what is posted now and what that posts in turn (layouts, polish, queued signals).
inline void settleEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

class SimulatorProcess : public testsupport::SimulatorProcess {
public:
    using testsupport::SimulatorProcess::SimulatorProcess;
    // One command; its JSON answer (null when the simulator refused it).
    Json::Value run(const QStringList& args)
    {
        const auto out = Call(args);
        return out ? parseJson(*out) : Json::Value();
    }
    std::string dumpHex(const QString& device, const QString& region)
    {
        return run({"dump", device, region})["hex"].asString();
    }
};

class PanelOnSimulatorTest : public testsupport::WindowOnSimulatorTest<SimulatorProcess> {
protected:
    void SetUp() override
    {
        UseFreshFolders();
        qputenv("TESSEL_DATA_DIR", QByteArray(TESSEL_BIN_DIR));
        StartSimulator();
        if (HasFatalFailure())
            return;
        // English from the start, as a user who chose it.
        QFile settings(home.filePath("settings.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nLANGUAGE=1033\n");
        settings.close();
        OpenWindow();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(window->CurrentLanguage(), kEnglish);
        installScriptedServices();
    }
    // Scripted answers in place of the modal boxes and file dialogs (again after a window made
    // anew, which installs its own).
    void installScriptedServices()
    {
        editors::PanelServices services;
        services.message = [this](QWidget*, const QString& body, bool, int) {
            messages << body;
            return confirm;
        };
        services.openFile = [this](QWidget*, const QString&) { return chosenFile; };
        services.saveFile = [this](QWidget*, const QString&, const QString&) { return chosenFile; };
        services.notice = [this](QWidget*, const QString& body, const QString&, bool& off) {
            messages << body;
            off = true;
            return 1;
        };
        editors::InstallServices(services);
    }
    void TearDown() override
    {
        WindowOnSimulatorTest::TearDown();
        qunsetenv("TESSEL_DATA_DIR");
    }

    // Tessel ends and starts again on the same folders and devices (the simulator keeps running).
    void restartWindow()
    {
        window->Shutdown();
        window.reset();
        window = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        installScriptedServices();
        hub = window->Devices();
    }
    // Waits until the device of `kind` is connected and its tab shown.
    CVantikUSBDevice* connected(const QString& kind)
    {
        if (!waitFor([&] {
                CVantikUSBDevice* d = deviceOfKind(kind);
                return d && d->Tab() && !d->Tab()->isHidden() && d->Transport().isReady();
            }))
            return nullptr;
        return deviceOfKind(kind);
    }
    CVantikUSBDevice* deviceOfKind(const QString& kind) const
    {
        for (CVantikUSBDevice* d : hub->AllDevices())
            if (d->FolderName() == kind)
                return d;
        return nullptr;
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }
    // Waits until every request posted so far to the device's I/O worker has landed back in
    // the window (the worker serves them in order, so a marker posted now lands last).
    bool drained(CVantikUSBDevice* device)
    {
        auto done = std::make_shared<bool>(false);
        device->Io().AfterQueued([done] { *done = true; });
        return waitFor([done] { return *done; });
    }

    // Plugs a device and makes its page the current one, once it is connected.
    CVantikUSBDevice* plugAndShow(const QString& simName, const QString& kind, const QString& route = QString())
    {
        QStringList plug{"plug", simName};
        if (!route.isEmpty())
            plug << "--route" << route;
        if (sim->run(plug).isNull())
            return nullptr;
        if (!waitFor([&] {
                CVantikUSBDevice* d = deviceOfKind(kind);
                return d && d->Tab() && !d->Tab()->isHidden() && d->Transport().isReady();
            }))
            return nullptr;
        CVantikUSBDevice* d = deviceOfKind(kind);
        hub->TabSelected(d->Tab());
        return hub->CurrentDevice() == d ? d : nullptr;
    }
    // Makes the page of `kind` the current one once its lighting modes are listed (the page is
    // built and its lighting read), with the events that follow handled.
    CVantikUSBDevice* showLitPage(const QString& kind)
    {
        CVantikUSBDevice* d = deviceOfKind(kind);
        if (!d)
            return nullptr;
        hub->TabSelected(d->Tab());
        if (!waitFor([&] {
                auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
                return modes && modes->count() > 0;
            }))
            return nullptr;
        settleEvents();
        return d;
    }
    // The page's feature tabs a user can see.
    static QList<QAbstractButton*> featureTabs(CVantikUSBDevice* d)
    {
        QList<QAbstractButton*> tabs;
        for (auto* b : d->findChildren<QAbstractButton*>())
            if (b->objectName().startsWith(QLatin1String("device_tab_")) && !b->isHidden())
                tabs << b;
        return tabs;
    }
    template <typename T>
    static T* control(QWidget* root, const char* name)
    {
        return qobject_cast<T*>(ui::PaintManager::FindSubControlByName(root, QLatin1String(name)));
    }
    static void click(QWidget* root, const char* name)
    {
        auto* b = control<QAbstractButton>(root, name);
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    // Sets a profile's lighting to a still colour at full brightness.
    static void setProfileColour(CDeviceProfileUI* panel, int index, int mode, int r, int g, int b)
    {
        panel->GetProfileCount();
        const QString file = panel->GetProfileFileAt(index);
        Json::Value doc = CJsonFile::ReadJson(file);
        Json::Value& light = doc["Device"][0]["LightInfo"];
        light["SelectItem"] = mode;
        light["Light"] = 4;
        light["MultiColor"] = 0;
        light["Red"] = r;
        light["Green"] = g;
        light["Blue"] = b;
        ASSERT_EQ(CJsonFile::WriteJson(file, doc), 0);
    }
    static int listSelection(CVantikUSBDevice* d)
    {
        return CJsonFile::ReadJson(d->DataFolder() + "/ProfileList.ini")["profileselect"].asInt();
    }

    QStringList messages;
    int confirm = 1;
    QString chosenFile;
};
#ifdef TESSEL_OSCONFLIB
// The same, with the headset's audio chip reached through the library built beside the tests.
class PanelWithAudioChipTest : public PanelOnSimulatorTest {
protected:
    void SetUp() override
    {
        qputenv("TESSEL_OSCONFLIB", QByteArray(TESSEL_OSCONFLIB));
        PanelOnSimulatorTest::SetUp();
    }
    void TearDown() override
    {
        PanelOnSimulatorTest::TearDown();
        qunsetenv("TESSEL_OSCONFLIB");
    }
};
#endif

}  // namespace
