#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

// Start-up time (process start to the main window shown) and resident memory of Tessel with no
// device, next to a bare Qt widget window. Prints figures; asserts nothing.
namespace {

struct Sample {
    double showMs = -1;
    long rssKb = -1;   // everything resident, shared library and font pages included
    long anonKb = -1;  // the process's own memory
};

long statusKb(qint64 pid, const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

Sample run(const QString& program, const QByteArray& shownMarker, bool tessel)
{
    QTemporaryDir home;
    QDir(home.path()).mkpath("runtime");
    QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    if (tessel)
        env.insert("TESSEL_DEBUG", "1");

    Sample sample;
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    QByteArray output;
    while (clock.elapsed() < 30000 && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(50);
        output += process.readAll();
        if (output.contains(shownMarker)) {
            sample.showMs = clock.nsecsElapsed() / 1e6;
            break;
        }
    }
    QThread::msleep(1500);  // let the window settle (DPI set-up, first paint)
    sample.rssKb = statusKb(process.processId(), "VmRSS:");
    sample.anonKb = statusKb(process.processId(), "RssAnon:");
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
    return sample;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    // The first-scan instance message is handled (lParam 0): the window is shown.
    const QByteArray tesselShown = QStringLiteral("，0d0d").toUtf8();
    std::vector<double> tesselMs, tesselRss, tesselAnon, bareMs, bareRss, bareAnon;
    int tesselMissed = 0, bareMissed = 0;
    for (int i = 0; i < runs; ++i) {
        // A run that never showed its window measured nothing: it is counted apart, not averaged.
        const Sample t = run(TESSEL_EXECUTABLE, tesselShown, true);
        const Sample b = run(BARE_EXECUTABLE, "shown", false);
        if (t.showMs >= 0 && t.rssKb >= 0 && t.anonKb >= 0) {
            tesselMs.push_back(t.showMs);
            tesselRss.push_back(t.rssKb / 1024.0);
            tesselAnon.push_back(t.anonKb / 1024.0);
        } else {
            ++tesselMissed;
        }
        if (b.showMs >= 0 && b.rssKb >= 0 && b.anonKb >= 0) {
            bareMs.push_back(b.showMs);
            bareRss.push_back(b.rssKb / 1024.0);
            bareAnon.push_back(b.anonKb / 1024.0);
        } else {
            ++bareMissed;
        }
    }
    if (tesselMissed || bareMissed)
        std::printf("runs that never showed the window, left out: tessel %d of %d, bare Qt window %d of %d\n",
                    tesselMissed, runs, bareMissed, runs);
    if (tesselMs.empty() || bareMs.empty()) {
        std::printf("no figures: no run of %s showed its window\n",
                    tesselMs.empty() ? "tessel" : "the bare Qt window");
        return 1;
    }
    std::printf("start-up to window shown (median of %zu): tessel %.1f ms; bare Qt window (median of %zu) %.1f ms\n",
                tesselMs.size(), median(tesselMs), bareMs.size(), median(bareMs));
    // The goal is on the process's own memory: resident memory also counts shared library and
    // font pages, which other programs share, so it is shown beside it only for comparison.
    std::printf("own (private, anonymous) memory (median): tessel %.1f MB, bare Qt window %.1f MB, "
                "difference %.1f MB (goal: within 20 MB)\n",
                median(tesselAnon), median(bareAnon), median(tesselAnon) - median(bareAnon));
    std::printf("resident memory (median), shared pages included: tessel %.1f MB, bare Qt window "
                "%.1f MB, difference %.1f MB\n",
                median(tesselRss), median(bareRss), median(tesselRss) - median(bareRss));
    return 0;
}
