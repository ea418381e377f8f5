// Pictures of the settings window (checking, updates found, nothing newer, no server) and of the
// about window, in English and in Simplified Chinese, taken from the running windows against a
// loopback update server. Usage: tessel_settings_shots <folder> (scripts/settings-screenshots.sh
// runs it under Xvfb).

#include <QApplication>
#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "UpdateServer.h"
#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "update/CSetWnd.h"

namespace {

std::vector<app::SoftwareIdentity> rows()
{
    std::vector<app::SoftwareIdentity> out;
    const auto& table = app::SoftwareIdentityTable();
    for (auto [k, version] : {std::pair{1, 0x0105}, std::pair{2, 0x0212}, std::pair{3, 2302}}) {
        app::SoftwareIdentity row = table[size_t(k)];
        row.version = version;
        if (row.kind == 0)
            row.versionText = QStringLiteral("V2.3.0.2");
        out.push_back(row);
    }
    return out;
}

bool save(QWidget* w, const QString& file)
{
    QTest::qWaitForWindowExposed(w, 5000);
    QTest::qWait(150);
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "saved" : "could not save", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qunsetenv("http_proxy");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    app::RegisteredMessages::RegisterAll();
    app::SetUpSkin(TESSEL_SKIN_DIR);

    UpdateServer server;
    server.Start();
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    CMainWnd main(home.filePath("settings.ini"), QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
    main.Create(nullptr, QStringLiteral("tamrel wireless"));
    main.show();
    QTest::qWaitFor([&] { return main.isVisible(); }, 5000);
    // The main window settles its DPI (and the style sheet's sizes) once shown.
    QTest::qWait(1500);

    struct State {
        const char* name;
        int answer;  // 0 silent, 1 newer firmware and application, 2 nothing newer, 3 no server
    };
    const State states[] = {{"checking", 0}, {"updates-found", 1}, {"nothing-newer", 2}, {"no-server", 3}};
    bool ok = true;
    for (auto [language, suffix] : {std::pair{1, "en"}, std::pair{0, "zh_CN"}}) {
        main.ApplyLanguage(language);
        for (const State& s : states) {
            server.SetAnswer("PELIX_1_RT42P57C_tamrel wireless_1",
                             {200, s.answer == 1 ? R"({"name":"x","version":"106","path":"https://example.org/fw"})"
                                                 : R"({"name":"x","version":"105"})"});
            server.SetAnswer("PELIX_2_RT42P31C_1_M63_1", {200, R"({"name":"x","version":"212"})"});
            server.SetAnswer("PELIX_0_ALL_M63_QX2_QX7_1",
                             {200, s.answer == 1 ? R"({"name":"AP","version":"2400","version_name":"V2.4.0.0","path":"https://example.org/tessel"})"
                                                 : R"({"name":"AP","version":"2302","version_name":"V2.3.0.2"})"});
            server.SetDefault({200, {}, s.answer == 0});
            if (s.answer == 0) {
                server.SetAnswer("PELIX_1_RT42P57C_tamrel wireless_1", {200, {}, true});
            }
            qputenv("TESSEL_UPDATE_URL", s.answer == 3 ? QStringLiteral("http://127.0.0.1:%1/api/").arg(closedPort).toUtf8()
                                                       : server.BaseUrl().toUtf8());
            QPointer<CSetWnd> wnd = new CSetWnd();
            wnd->SetOwnerWindow(&main, language);
            wnd->SetUpdateRows(rows());
            wnd->Create(&main, QString());
            wnd->SetWindowDpi(main.Dpi());
            wnd->CenterWindow();
            wnd->show();
            if (s.answer != 0)
                QTest::qWaitFor([&] { return !wnd->IsChecking(); }, 10000);
            ok = save(wnd, out.filePath(QStringLiteral("settings-%1-%2.png").arg(QLatin1String(s.name), QLatin1String(suffix)))) && ok;
            wnd->StopWorkers();
            wnd->Close(0);
            QTest::qWaitFor([&] { return wnd.isNull(); }, 5000);
        }
        CAboutWnd* about = main.CreateAboutWindow();
        ok = save(about, out.filePath(QStringLiteral("about-%1.png").arg(QLatin1String(suffix)))) && ok;
        about->Close(0);
        QTest::qWait(50);
    }
    main.Shutdown();
    return ok ? 0 : 1;
}
