#include "app/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace app {

namespace {

// Quotes an Exec= argument as the desktop entry format wants it when it holds characters the
// launcher would otherwise split or expand.
QString QuotedForExec(QString argument)
{
    // A field code starts with %; a literal one is written twice.
    argument.replace(QLatin1String("%"), QLatin1String("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !argument.isEmpty();
    for (const QChar c : argument)
        plain = plain && !reserved.contains(c);
    if (plain)
        return argument;
    QString quoted = argument;
    for (const char* special : {"\\", "\"", "`", "$"})
        quoted.replace(QLatin1String(special), QLatin1String("\\") + QLatin1String(special));
    // The entry format unescapes backslashes once more before the launcher sees the quotes.
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString Autostart::EntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/tessel.desktop");
}

bool Autostart::IsEnabled()
{
    const QString path = EntryPath();
    if (!QFileInfo::exists(path))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    // A desktop file is not quite INI (QSettings would mangle its keys), so the two keys that
    // switch an entry off are read by hand.
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed().toLower();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true"))
            return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))
            return false;
    }
    return true;
}

QString Autostart::ProgramForExec()
{
    const QString self = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("tessel"));
    if (self.isEmpty() || (!onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == QFileInfo(self).canonicalFilePath()))
        return QStringLiteral("tessel");
    return self;
}

QString Autostart::EntryText(const QString& program)
{
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tessel\n"
               "Comment=Configure your gaming keyboard, mouse, mouse pad and headset\n"
               "Exec=%1 --minimized\n"
               "Icon=org.tessel.Tessel\n"
               "Terminal=false\n"
               "NoDisplay=true\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(QuotedForExec(program));
}

bool Autostart::SetEnabled(bool enabled, QString* error)
{
    const QString path = EntryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return true;
        QFile file(path);
        if (file.remove())
            return true;
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write(EntryText(ProgramForExec()).toUtf8());
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace app
