#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <string>

namespace testsupport {

// Starts an Xvfb of the test's own and points DISPLAY at it. Xvfb picks a free display itself
// and writes its number once it takes connections, so two runs at once never meet on one
// display and nothing waits on a guess. `tools` are the other programs the tests need. Returns
// why the tests cannot run (Xvfb or a tool missing, no display), empty when the server is up.
inline std::string StartOwnXServer(QProcess& server, const QStringList& tools = {})
{
    for (const QString& tool : QStringList{QStringLiteral("Xvfb")} + tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return (tool + QStringLiteral(" is not installed")).toStdString();
    }
    server.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                 {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
    QByteArray number;
    if (server.waitForStarted(5000)) {
        while (!number.contains('\n') && server.state() == QProcess::Running && server.waitForReadyRead(10000))
            number += server.readAllStandardOutput();
    }
    number = number.trimmed();
    if (number.isEmpty())
        return "Xvfb did not start or gave no display";
    qputenv("DISPLAY", ":" + number);
    return {};
}

}  // namespace testsupport
