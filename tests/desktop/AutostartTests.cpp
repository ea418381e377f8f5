#include "app/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The autostart entry in a real $XDG_CONFIG_HOME: written, read back, removed; the desktop's
// validator accepts what is written.
namespace {

struct ConfigHome {
    QTemporaryDir dir;
    QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    ConfigHome() { qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8()); }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", saved); }
};

QString Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void Write(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

TEST(Autostart, SwitchingWritesAndRemovesTheEntry)
{
    ConfigHome home;
    const QString path = app::Autostart::EntryPath();
    EXPECT_EQ(path, home.dir.filePath("config/autostart/tessel.desktop"));
    EXPECT_FALSE(app::Autostart::IsEnabled());
    EXPECT_TRUE(app::Autostart::SetEnabled(false)) << "removing a missing entry is no failure";

    QString error;
    ASSERT_TRUE(app::Autostart::SetEnabled(true, &error)) << error.toStdString();
    EXPECT_TRUE(app::Autostart::IsEnabled());
    const QString text = Read(path);
    EXPECT_TRUE(text.contains(QRegularExpression("\nExec=\\S.* --minimized\n"))) << text.toStdString();
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::WriteOther), 0);

    // Switched off by the desktop's own session settings: shown as off.
    Write(path, text + "Hidden=true\n");
    EXPECT_FALSE(app::Autostart::IsEnabled());
    Write(path, QString(text).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
    EXPECT_FALSE(app::Autostart::IsEnabled());

    ASSERT_TRUE(app::Autostart::SetEnabled(true));
    EXPECT_TRUE(app::Autostart::IsEnabled()) << "switching on again rewrites a disabled entry";
    ASSERT_TRUE(app::Autostart::SetEnabled(false));
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(Autostart, AFailedWriteIsReported)
{
    ConfigHome home;
    // The autostart folder's place is taken by a file: nothing can be written there.
    Write(home.dir.filePath("config/autostart"), "not a folder");
    QString error;
    EXPECT_FALSE(app::Autostart::SetEnabled(true, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(app::Autostart::IsEnabled());
}

TEST(Autostart, EntryPassesTheValidatorWhateverTheProgramPath)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    QTemporaryDir dir;
    for (const QString program : {QString("tessel"), QString("/opt/My Apps/tessel"),
                                  QString("/home/a\"b/$HOME/100%/te`s\\sel")}) {
        const QString path = dir.filePath("tessel.desktop");
        Write(path, app::Autostart::EntryText(program));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(validator, {path});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << "\n" << p.readAll().toStdString();
    }
}

}  // namespace
