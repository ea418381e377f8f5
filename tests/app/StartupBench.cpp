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
    for (int i = 0; i < runs; ++i) {
        const Sample t = run(TESSEL_EXECUTABLE, tesselShown, true);
        const Sample b = run(BARE_EXECUTABLE, "shown", false);
        tesselMs.push_back(t.showMs);
        tesselRss.push_back(t.rssKb / 1024.0);
        bareMs.push_back(b.showMs);
        bareRss.push_back(b.rssKb / 1024.0);
        tesselAnon.push_back(t.anonKb / 1024.0);
        bareAnon.push_back(b.anonKb / 1024.0);
    }
    std::printf("start-up to window shown (median of %d): tessel %.1f ms, bare Qt window %.1f ms\n", runs,
                median(tesselMs), median(bareMs));
    std::printf("resident memory (median): tessel %.1f MB, bare Qt window %.1f MB, difference %.1f MB "
                "(goal: within 20 MB)\n",
                median(tesselRss), median(bareRss), median(tesselRss) - median(bareRss));
    std::printf("own (anonymous) memory (median): tessel %.1f MB, bare Qt window %.1f MB, difference %.1f MB\n",
                median(tesselAnon), median(bareAnon), median(tesselAnon) - median(bareAnon));
    return 0;
}
