#include "app/PrivateFontLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// Which font files a Tessel process opens for its language: a Latin language none of the CJK or
// Thai faces; Chinese and Thai the system's own face, not the copy in the data folder.
namespace {

// Font files the process has mapped, by path.
QStringList mappedFonts(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList fonts;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString path = QString::fromUtf8(line.mid(line.indexOf('/'))).trimmed();
        if (line.contains('/') && (path.endsWith(".ttf") || path.endsWith(".otf") || path.endsWith(".ttc")))
            fonts << path;
    }
    fonts.removeDuplicates();
    return fonts;
}

struct Session {
    QStringList fonts;
    QByteArray output;
};

// Starts Tessel in `locale` with an installed-style data folder (real copies of the four font
// files), waits until its window has been drawn and returns the font files it maps then.
Session runIn(const char* locale, const QTemporaryDir& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config-%1").arg(locale)));
    env.insert("XDG_DATA_HOME", home.filePath(QStringLiteral("data-%1").arg(locale)));
    env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
    env.insert("TESSEL_DATA_DIR", home.filePath("share"));
    env.insert("TESSEL_SIM_DIR", home.filePath("no-sim"));
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        env.remove(name);
    env.insert("LANG", locale);
    const QString shot = home.filePath(QStringLiteral("%1.png").arg(locale));
    env.insert("TESSEL_SCREENSHOT", shot);
    env.insert("TESSEL_SCREENSHOT_DELAY_MS", "1");
    env.insert("TSAN_OPTIONS", "suppressions=" TESSEL_TSAN_SUPPRESSIONS);

    Session session;
    QProcess tessel;
    tessel.setProcessEnvironment(env);
    tessel.setProcessChannelMode(QProcess::MergedChannels);
    tessel.start(TESSEL_EXECUTABLE, {});
    if (!tessel.waitForStarted(10000))
        return session;
    const bool drawn = QTest::qWaitFor([&] {
        session.output += tessel.readAll();
        return QFileInfo(shot).size() > 0;
    }, 30000);
    if (drawn)
        session.fonts = mappedFonts(tessel.processId());
    tessel.terminate();
    if (!tessel.waitForFinished(20000))
        tessel.kill();
    session.output += tessel.readAll();
    if (!drawn)
        session.fonts = QStringList{QStringLiteral("<window never drawn>")};
    return session;
}

bool anyContains(const QStringList& list, const QString& part)
{
    for (const QString& s : list) {
        if (s.contains(part))
            return true;
    }
    return false;
}

}  // namespace

TEST(LanguageFontFiles, ALatinSessionOpensNoCjkOrThaiFontAndChineseAndThaiUseTheSystemsFace)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(QDir(home.path()).mkpath("runtime"));
    QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir share(home.filePath("share"));
    ASSERT_TRUE(share.mkpath("Font"));
    ASSERT_TRUE(QFile::link(TESSEL_SKIN_DIR, share.filePath("skin")));
    ASSERT_TRUE(QFile::link(TESSEL_DATA_DIR, share.filePath("DefaultData")));
    // Copies, as an installed tree has them: a face loaded from here shows this folder's path.
    for (const char* file : app::kFontFiles) {
        const QString source = QFileInfo(QString(TESSEL_FONT_DIR "/") + QFileInfo(file).fileName()).canonicalFilePath();
        if (!source.isEmpty())
            ASSERT_TRUE(QFile::copy(source, share.filePath(file))) << file;
    }
    const QStringList copies{share.filePath(app::kFontFiles[0]), share.filePath(app::kFontFiles[2]),
                             share.filePath(app::kFontFiles[3])};

    const Session english = runIn("en_US.UTF-8", home);
    ASSERT_FALSE(english.fonts.contains("<window never drawn>")) << english.output.toStdString();
    const QString englishFonts = english.fonts.join('\n');
    for (const char* part : {"CJK", "DroidSansFallback", "Thai", "Simplified_Chinese"})
        EXPECT_FALSE(englishFonts.contains(QLatin1String(part))) << part << " in\n" << englishFonts.toStdString();

    // The system's faces, where the distribution has them (fonts-noto-cjk, fonts-noto-core).
    const QStringList systemFamilies = QFontDatabase::families();
    struct Case {
        const char* locale;
        const char* family;     // what the system must serve
        const char* mapped;     // part of the system file's name
    };
    for (const Case& c : {Case{"zh_CN.UTF-8", "Noto Sans CJK SC", "NotoSansCJK"},
                          Case{"zh_TW.UTF-8", "Noto Sans CJK TC", "NotoSansCJK"},
                          Case{"th_TH.UTF-8", "Noto Sans Thai", "NotoSansThai"}}) {
        if (!systemFamilies.contains(QLatin1String(c.family)))
            continue;
        const Session session = runIn(c.locale, home);
        const QString fonts = session.fonts.join('\n');
        EXPECT_TRUE(anyContains(session.fonts, QLatin1String(c.mapped))) << c.locale << ":\n" << fonts.toStdString();
        for (const QString& copy : copies)
            EXPECT_FALSE(session.fonts.contains(copy)) << c.locale << " loaded a shipped copy:\n" << fonts.toStdString();
    }
}

// Without the system's face the shipped file stands in, and only for the language that needs it.
TEST(LanguageFontFiles, WithoutTheSystemsFaceOnlyTheCurrentLanguagesShippedFileIsLoaded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Font"));
    const QString latin = QFileInfo(QString(TESSEL_FONT_DIR "/Corvex-Regular.otf")).canonicalFilePath();
    ASSERT_FALSE(latin.isEmpty());
    // Any real face will do as the shipped file's content.
    for (const char* file : app::kFontFiles)
        ASSERT_TRUE(QFile::copy(latin, dir.filePath(file))) << file;
    const QString family = QFontDatabase::applicationFontFamilies(QFontDatabase::addApplicationFont(latin)).value(0);
    ASSERT_FALSE(family.isEmpty());

    app::LanguageFonts none(dir.path(), [](const QString&) { return false; });
    for (const auto& [index, name] : {std::pair{1, "en_US"}, {5, "de_DE"}, {3, "ja_JP"}}) {
        none.Prepare(index, QStringLiteral("Verdana Unicode MS"), QLatin1String(name));
        for (int scriptIndex : {0, 2, 15})
            EXPECT_FALSE(none.LoadedPrivately(scriptIndex)) << name;
    }
    // Qt keeps substitutes in lower case.
    EXPECT_EQ(QFont::substitutes("Verdana Unicode MS").value(0), "noto sans cjk jp");
    const QStringList thai = none.Prepare(15, QStringLiteral("Noto Sans Thai"), QStringLiteral("th_TH"));
    EXPECT_TRUE(none.LoadedPrivately(15));
    EXPECT_FALSE(none.LoadedPrivately(0));
    EXPECT_FALSE(none.LoadedPrivately(2));
    EXPECT_EQ(thai.value(0), family);
    EXPECT_EQ(QFont::substitutes("Noto Sans Thai").value(0), family.toLower());

    // With the system's faces nothing is loaded, whatever the language.
    app::LanguageFonts system(dir.path(), [](const QString&) { return true; });
    EXPECT_EQ(system.Prepare(0, QStringLiteral("汉仪菱心体简"), QStringLiteral("zh_CN")).value(0), "Noto Sans CJK SC");
    EXPECT_EQ(system.Prepare(2, QStringLiteral("Noto Sans CJK TC Regular"), QStringLiteral("zh_TW")).value(0), "Noto Sans CJK TC");
    EXPECT_EQ(QFont::substitutes("汉仪菱心体简").value(0), "noto sans cjk sc");
    for (int scriptIndex : {0, 2, 15})
        EXPECT_FALSE(system.LoadedPrivately(scriptIndex));
}
