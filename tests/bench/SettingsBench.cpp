// The settings window next to the main window, offscreen: how long the main window takes to
// start, how long the settings window takes from the gear to shown, how long the event loop
// waits at worst while the update check hangs on a server that accepts and then says nothing,
// and how long closing the window takes while that check runs.
// Usage: tessel_bench_settings [--seconds S] (how long the hanging check is watched, default 2)

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "UpdateServer.h"
#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "update/CSetWnd.h"

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = 2.0;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--seconds")
            seconds = std::max(0.1, QByteArray(argv[i + 1]).toDouble());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qunsetenv("http_proxy");
    QApplication app(argc, argv);
    app::RegisteredMessages::RegisterAll();
    app::SetUpSkin(TESSEL_SKIN_DIR);

    UpdateServer server;
    server.Start();
    server.SetDefault({200, {}, true});  // accepts, reads, never answers
    qputenv("TESSEL_UPDATE_URL", server.BaseUrl().toUtf8());

    QElapsedTimer clock;
    clock.start();
    auto main = std::make_unique<CMainWnd>(home.filePath("settings.ini"), QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
    main->Create(nullptr, QStringLiteral("tamrel wireless"));
    QTest::qWaitFor([&] { return main->isVisible(); }, 10000);
    const double startMs = clock.nsecsElapsed() / 1e6;

    // Open-to-shown, several times: the first includes loading the skin files.
    std::vector<double> opens;
    double first = 0, worstLatency = 0;
    std::vector<double> closes;
    for (int round = 0; round < 5; ++round) {
        clock.restart();
        CSetWnd* wnd = main->CreateSettingsWindow(false);
        QTest::qWaitForWindowExposed(wnd, 5000);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (round == 0)
            first = ms;
        opens.push_back(ms);

        if (round == 0) {
            // The check now hangs on the silent server: watch the event loop.
            server.WaitForRequests(1, 5000);
            QElapsedTimer gap;
            gap.start();
            qint64 last = 0;
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] {
                const qint64 now = gap.nsecsElapsed();
                worstLatency = std::max(worstLatency, (now - last) / 1e6);
                last = now;
            });
            tick.start(1);
            QTest::qWait(int(seconds * 1000));
            tick.stop();
        }
        QPointer<CSetWnd> guard(wnd);
        clock.restart();
        qobject_cast<QAbstractButton*>(wnd->PM().FindControl(QStringLiteral("closebtn")))->click();
        closes.push_back(clock.nsecsElapsed() / 1e6);
        QTest::qWaitFor([&] { return guard.isNull(); }, 5000);
    }
    std::printf("main window start-up (create to shown, offscreen): %.1f ms\n", startMs);
    std::printf("settings window open-to-shown: first %.1f ms, median of %zu %.1f ms (goal under 60 ms)\n", first,
                opens.size(), median(opens));
    std::printf("event-loop latency while the check hangs on a silent server (%.1f s): max %.1f ms (goal under 50 ms)\n",
                seconds, worstLatency);
    std::printf("close while checking: max %.1f ms, median %.1f ms (goal under 500 ms)\n",
                *std::max_element(closes.begin(), closes.end()), median(closes));
    main->Shutdown();
    return 0;
}
