#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "profiles/CJsonFile.h"
#include "ui/Builder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

// Time to load the mouse page (build it, attach its panels, load the selected profile) when its
// folder holds n profiles and n macros, for a small and a large n in the same run.
namespace {

void FillFolder(const QString& folder, int n)
{
    QDir().mkpath(folder);
    Json::Value base = CJsonFile::ReadJson(QStringLiteral(TESSEL_DATA_DIR "/mouse.Json"));
    Json::Value list(Json::objectValue);
    Json::Value macros(Json::objectValue);
    for (int i = 0; i < n; ++i) {
        const std::string id = "2026_01_01_00_00_00_" + std::to_string(1000 + i);
        base["profilename"] = "profile" + std::to_string(i + 1);
        base["profileUUID"] = id;
        CJsonFile::WriteJson(folder + "/" + QString::fromStdString(id) + ".Json", base);
        Json::Value& e = list["profilelist"][Json::ArrayIndex(i)];
        e["profilename"] = base["profilename"];
        e["profileUUID"] = id;
        e["profileislink"] = 0;
        e["profilelinkmame"] = "";
        const std::string guid = "macro_" + std::to_string(i);
        Json::Value& m = macros["MacroInfo"][Json::ArrayIndex(i)];
        m["MacroName"] = "macro " + std::to_string(i);
        m["Guid"] = guid;
        Json::Value mac;
        for (Json::ArrayIndex k = 0; k < 20; ++k) {
            Json::Value& ev = mac["Events"][k];
            ev["Action"] = "down";
            ev["Button"] = 30 + int(k);
            ev["Delay"] = 10;
            ev["Type"] = 2;
        }
        CJsonFile::WriteJson(folder + "/" + QString::fromStdString(guid) + ".mac", mac);
    }
    list["profileselect"] = n / 2;
    CJsonFile::WriteJson(folder + "/ProfileList.ini", list);
    CJsonFile::WriteJson(folder + "/macro.config", macros);
}

double LoadPageMs(CMainWnd& wnd, int expectedProfiles)
{
    QElapsedTimer timer;
    timer.start();
    ui::Builder builder(&wnd);
    auto* device = qobject_cast<CVantikUSBDevice*>(builder.Create(QStringLiteral("XML/DeviceXml/mousedevice.xml"), nullptr));
    DeviceSetup setup;
    setup.kindName = QStringLiteral("mouse");
    setup.deviceNumber = 1;
    device->Setup(setup);
    device->Start();
    device->ReloadProfile();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    auto* combo = device->findChild<QComboBox*>(QStringLiteral("device_profile_combo"));
    if (!combo || combo->count() != expectedProfiles)
        std::fprintf(stderr, "unexpected page: %d profiles\n", combo ? combo->count() : -1);
    delete device;
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("TESSEL_DATA_DIR", QByteArray(TESSEL_BIN_DIR));
    app::RegisteredMessages::RegisterAll();
    app::SetUpSkin(TESSEL_SKIN_DIR);
    app::RegisterControlClasses();
    CMainWnd wnd(home.filePath("settings.ini"), QStringLiteral(TESSEL_DATA_DIR "/Language.config"));

    std::printf("%-28s %10s %10s\n", "mouse page load", "median ms", "best ms");
    std::vector<std::pair<int, double>> medians;
    for (int n : {10, 1000}) {
        const QString data = home.filePath(QStringLiteral("data%1").arg(n));
        qputenv("XDG_DATA_HOME", data.toUtf8());
        FillFolder(data + "/tamrel wireless/mouse", n);
        LoadPageMs(wnd, n);  // warm the file cache and the skin
        std::vector<double> runs;
        for (int i = 0; i < 9; ++i)
            runs.push_back(LoadPageMs(wnd, n));
        std::sort(runs.begin(), runs.end());
        std::printf("%4d profiles + %4d macros  %10.1f %10.1f\n", n, n, runs[runs.size() / 2], runs.front());
        medians.emplace_back(n, runs[runs.size() / 2]);
    }
    const double ratio = medians[1].second / medians[0].second;
    std::printf("time ratio 1000/10: %.2f (file count ratio 100)\n", ratio);
    return 0;
}
