#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Tessel as a process: a second start hands over to the first and exits 0; the first ends with
// 0 on SIGTERM. Its data folder lacks one font file, which must not stop it.
namespace {

QProcessEnvironment tesselEnvironment(const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TESSEL_DEBUG", "1");
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    env.insert("TESSEL_DATA_DIR", home.filePath("share"));
    env.remove("TESSEL_SCREENSHOT");
    // In a thread-sanitizer build Tessel would report Qt's own hand-overs (Qt is not built
    // with the sanitizer); the suppressions keep our code checked.
    if (!env.contains("TSAN_OPTIONS"))
        env.insert("TSAN_OPTIONS", "suppressions=" TESSEL_TSAN_SUPPRESSIONS);
    return env;
}

}  // namespace

TEST(TesselProcess, SecondStartRaisesTheFirstAndEveryExitIsZero)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(QDir(home.path()).mkpath("runtime"));
    QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir share(home.filePath("share"));
    ASSERT_TRUE(share.mkpath("Font"));
    ASSERT_TRUE(QFile::link(TESSEL_SKIN_DIR, share.filePath("skin")));
    ASSERT_TRUE(QFile::link(TESSEL_DATA_DIR, share.filePath("DefaultData")));
    // Every font the build provides but the first.
    for (const QFileInfo& font : QDir(TESSEL_FONT_DIR).entryInfoList(QDir::Files)) {
        if (font.fileName() != "Simplified_Chinese.ttf")
            QFile::link(font.canonicalFilePath(), share.filePath("Font/" + font.fileName()));
    }

    QProcess first;
    first.setProcessEnvironment(tesselEnvironment(home));
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(TESSEL_EXECUTABLE, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString socket = home.filePath("runtime/tamrel wireless");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 20000))
        << first.readAll().toStdString();
    QByteArray firstOutput;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        firstOutput += first.readAll();
        return firstOutput.contains("\"windowinit\"");
    }, 20000)) << firstOutput.toStdString();

    QProcess second;
    second.setProcessEnvironment(tesselEnvironment(home));
    second.start(TESSEL_EXECUTABLE, {});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    // The instance message arrives with lParam 1 (the first scan's own post has 0).
    EXPECT_TRUE(QTest::qWaitFor([&] {
        firstOutput += first.readAll();
        return firstOutput.contains(QStringLiteral("，0d1d").toUtf8());
    }, 20000)) << firstOutput.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(20000));
    firstOutput += first.readAll();
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit) << firstOutput.toStdString();
    EXPECT_EQ(first.exitCode(), 0) << firstOutput.toStdString();
    EXPECT_TRUE(firstOutput.contains(QStringLiteral("同步灯光线程设定退出").toUtf8()))
        << "the worker thread ended through its exit event";
}

TEST(TesselProcess, MonitorSizeSetsTheLaidOutWindowSize)
{
    struct Case {
        QSize monitor;
        const char* layout;  // the DPI set-up's trace: DPI, then the window's size
    };
    const Case cases[] = {{{1920, 1080}, "DPI set-up: 144, 1500 x 960"},
                          {{1366, 768}, "DPI set-up: 96, 1000 x 640"}};
    for (const Case& c : cases) {
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkpath("runtime"));
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile screens(home.filePath("screens.json"));
        ASSERT_TRUE(screens.open(QIODevice::WriteOnly));
        screens.write(QStringLiteral(R"({"screens": [{"name": "monitor", "x": 0, "y": 0, "width": %1,
            "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                          .arg(c.monitor.width())
                          .arg(c.monitor.height())
                          .toUtf8());
        screens.close();

        QProcessEnvironment env = tesselEnvironment(home);
        env.remove("TESSEL_DATA_DIR");
        env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName());
        QProcess tessel;
        tessel.setProcessEnvironment(env);
        tessel.setProcessChannelMode(QProcess::MergedChannels);
        tessel.start(TESSEL_EXECUTABLE, {});
        QByteArray output;
        const bool laidOut = QTest::qWaitFor([&] {
            output += tessel.readAll();
            return output.contains(c.layout);
        }, 30000);
        tessel.terminate();
        const bool finished = tessel.waitForFinished(30000);
        output += tessel.readAll();
        if (!finished)
            tessel.kill();
        EXPECT_TRUE(laidOut) << c.monitor.width() << "x" << c.monitor.height() << "\n" << output.toStdString();
        ASSERT_TRUE(finished) << output.toStdString();
        EXPECT_EQ(tessel.exitCode(), 0) << output.toStdString();
    }
}

TEST(TesselProcess, NoDisplayEndsTheStartWithZero)
{
    QTemporaryDir home;
    QProcessEnvironment env = tesselEnvironment(home);
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    QProcess tessel;
    tessel.setProcessEnvironment(env);
    tessel.start(TESSEL_EXECUTABLE, {});
    ASSERT_TRUE(tessel.waitForFinished(30000));
    EXPECT_EQ(tessel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tessel.exitCode(), 0);
}
