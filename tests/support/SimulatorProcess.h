#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <optional>

namespace testsupport {

// The device simulator as its own process (`tessel-devsim serve`), the way the application meets
// it outside the tests, with its command line for plugging, dumping and the like. Tests that
// include this define TESSEL_DEVSIM, the simulator program.
class SimulatorProcess {
public:
    explicit SimulatorProcess(QString dir, int waitMs = 20000) : m_dir(std::move(dir))
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(TESSEL_DEVSIM, {"serve", "--dir", m_dir});
        m_process.waitForStarted(10000);
        m_ready = QTest::qWaitFor([&] { return QFileInfo::exists(m_dir + "/control"); }, waitMs);
    }
    ~SimulatorProcess()
    {
        Call({"shutdown"});
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // One command; its JSON answer as printed, or nothing when the simulator refused it.
    std::optional<QByteArray> Call(const QStringList& args)
    {
        QProcess cli;
        cli.start(TESSEL_DEVSIM, QStringList{"--dir", m_dir} + args);
        if (!cli.waitForFinished(10000) || cli.exitCode() != 0)
            return std::nullopt;
        return cli.readAllStandardOutput();
    }
    bool Run(const QStringList& args) { return Call(args).has_value(); }
    bool ready() const { return m_ready; }
    const QString& dir() const { return m_dir; }

private:
    QString m_dir;
    QProcess m_process;
    bool m_ready = false;
};

}  // namespace testsupport
