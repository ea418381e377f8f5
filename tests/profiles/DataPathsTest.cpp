#include "profiles/DataPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(DataPaths, UserFoldersAreCreatedOnDemandAndUnsafeNamesRefused)
{
    QTemporaryDir home;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.path().toUtf8());

    const QString profile = paths::profileFile("keyboard", "2024_03_05_14_07_09_045");
    EXPECT_EQ(profile, home.path() + "/tamrel wireless/keyboard/2024_03_05_14_07_09_045.Json");
    EXPECT_TRUE(QFileInfo(home.path() + "/tamrel wireless/keyboard").isDir());
    EXPECT_EQ(paths::lightConfigFile("HD"), home.path() + "/tamrel wireless/HD/pelix_light.config");

    for (const char* bad : {"", "..", "../x", "a/b", "a\\b", "/etc/passwd", "x\ny"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(paths::isSafeFileBaseName(QString::fromUtf8(bad)));
        EXPECT_TRUE(paths::profileFile("mouse", QString::fromUtf8(bad)).isEmpty());
    }
    for (const char* good : {"profile1", "2024_03_05_14_07_09_045", "Gaming(1)", "配置 A"})
        EXPECT_TRUE(paths::isSafeFileBaseName(QString::fromUtf8(good))) << good;

    const QStringList folders{"keyboard", "mouse", "MousePad", "HD", ""};
    for (int model = 0; model < 5; ++model)
        EXPECT_EQ(paths::deviceFolderForModel(model), folders[model]);

    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}
