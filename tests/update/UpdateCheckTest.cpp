#include "update/UpdateCheck.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"

namespace {

TEST(UpdateProtocol, AppKeyAndRequestBody)
{
    const auto& table = app::SoftwareIdentityTable();
    EXPECT_EQ(update::MakeAppKey(table[3]), "PELIX_0_ALL_M63_QX2_QX7_1");
    EXPECT_EQ(update::MakeAppKey(table[1]), "PELIX_1_RT42P57C_tamrel wireless_1");
    EXPECT_EQ(update::MakeRequestBody("K", 2302, false), QByteArray("app_key=K&version=2302\0", 23));
    EXPECT_EQ(update::MakeRequestBody("K", 0x01AB, true), QByteArray("app_key=K&version=1ab\0", 22))
        << "firmware versions in lower-case hexadecimal";
    EXPECT_EQ(update::InstalledVersionNumber("2.3.0.2"), 2302);
    EXPECT_EQ(update::InstalledVersionNumber("0.1.0"), 10);
    EXPECT_EQ(update::InstalledVersionNumber("2.x"), 0);
}

TEST(UpdateProtocol, AnswersAndVersionComparison)
{
    struct Case {
        const char* what;
        QByteArray answer;
        int32_t version;
        bool hex;
        int32_t status;
        QString name, current, offered;
    };
    const std::vector<Case> cases = {
        {"firmware 0x0105, offered 106 (hex)", R"({"name":"M63","version":"106","path":"http://x/f.bin","device_id":3})",
         0x0105, true, 1, "M63", "V0105", "V106"},
        {"firmware same version", R"({"name":"M63","version":"105"})", 0x0105, true, 7, "M63", "V0105", "V105"},
        {"application 2302 vs 2302", R"({"name":"AP","version":"2302","version_name":"V2.3.0.2"})",
         2302, false, 7, "AP", "V2302", "V2.3.0.2"},
        {"application 2302 vs 2400", R"({"name":"AP","version":"2400","version_name":"V2.4.0.0"})",
         2302, false, 1, "AP", "V2302", "V2.4.0.0"},
        {"not JSON", "<html>Bad gateway</html>", 1, false, 7, "fallback", "", ""},
        {"version as a number", R"({"name":"AP","version":2400})", 2302, false, 7, "fallback", "", ""},
        {"device_id as a string", R"({"name":"AP","version":"2400","device_id":"3"})", 2302, false, 7, "fallback", "", ""},
        {"an array", R"([{"name":"AP"}])", 2302, false, 7, "fallback", "", ""},
        {"no name: parsed, the window treats it as no answer", R"({"version":"2400"})", 2302, false, 1, "", "V2302", ""},
        {"text after a zero byte is not read", QByteArray("{\"name\":\"AP\"}\0garbage", 21), 1, false, 7, "AP", "V1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const update::UpdateResult r = update::ParseAnswer(c.answer.constData(), size_t(c.answer.size()),
                                                           c.version, c.hex, "fallback");
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.name, c.name);
        EXPECT_EQ(r.currentVersion, c.current);
        EXPECT_EQ(r.offeredVersion, c.offered);
    }
    const QByteArray junk(1 << 20, '\x9c');
    EXPECT_EQ(update::ParseAnswer(junk.constData(), size_t(junk.size()), 1, true).status, 7);
}

TEST(UpdateProtocol, LastCheckDateFileAndBaseUrl)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("updatetime.config");
    EXPECT_EQ(update::FormatCheckDate(QDate(2024, 3, 5)), "2024-3-5");
    EXPECT_EQ(update::ReadOrInitLastCheckDate(file), update::FormatCheckDate(QDate::currentDate()))
        << "nothing stored: today, and written";
    EXPECT_EQ(CJsonFile::ReadJson(file)["updatelasttime"]["value"].asString(),
              update::FormatCheckDate(QDate::currentDate()).toStdString());
    ASSERT_TRUE(update::WriteLastCheckDate(QDate(2024, 3, 5), file));
    EXPECT_EQ(update::ReadOrInitLastCheckDate(file), "2024-3-5");

    EXPECT_EQ(update::BaseUrl(), update::DefaultBaseUrl());
    {
        QSettings ini(QDir(paths::userDataFolder()).filePath("main.ini"), QSettings::IniFormat);
        ini.setValue("Update/BaseUrl", "http://127.0.0.1:9/api/");
    }
    EXPECT_EQ(update::BaseUrl(), "http://127.0.0.1:9/api/");
    qputenv("TESSEL_UPDATE_URL", "http://127.0.0.1:8/api/");
    EXPECT_EQ(update::BaseUrl(), "http://127.0.0.1:8/api/");
    qunsetenv("TESSEL_UPDATE_URL");
    QFile::remove(QDir(paths::userDataFolder()).filePath("main.ini"));
}

}  // namespace
