#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "UpdateServer.h"
#include "app/Application.h"
#include "app/RegisteredMessages.h"
#include "ui/Language.h"
#include "update/CSetWnd.h"
#include "update/CUpdateInfoListItemUI.h"
#include "update/HttpClient.h"

namespace {

// The update server's name resolves nowhere, so the direct send fails; tinyproxy, named by the
// environment's http_proxy, hands the request to the update server as its upstream proxy. So
// only the proxy's route reaches the server, as for a user behind a company proxy.
class ProxyTest : public ::testing::Test {
protected:
    static constexpr char kHiddenBase[] = "http://update.tessel.invalid/api/";

    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
        ui::Language::instance().SetLanguage(QStringLiteral(TESSEL_SKIN_DIR "/lan_en.xml"));
    }
    void SetUp() override
    {
        QString program = QStandardPaths::findExecutable("tinyproxy");
        if (program.isEmpty())
            program = QStandardPaths::findExecutable("tinyproxy", {"/usr/sbin", "/usr/bin"});
        if (program.isEmpty())
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
        ASSERT_TRUE(server.Start());
        quint16 port = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            port = probe.serverPort();
        }
        logFile = dir.filePath("tinyproxy.log");
        QFile conf(dir.filePath("tinyproxy.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("Port %1\nListen 127.0.0.1\nTimeout 30\nLogFile \"%2\"\nLogLevel Info\n"
                                  "MaxClients 10\nAllow 127.0.0.1\nUpstream http 127.0.0.1:%3\n"
                                  "DisableViaHeader Yes\n")
                       .arg(port).arg(logFile).arg(server.Port()).toUtf8());
        conf.close();
        proxy.start(program, {"-d", "-c", conf.fileName()});
        ASSERT_TRUE(proxy.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            return s.waitForConnected(200);
        }, 10000)) << "tinyproxy did not open its port";
        qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(port).toUtf8());
        // A bypass list far longer than 260 characters that does not name the server.
        QStringList bypass;
        for (int i = 0; i < 40; ++i)
            bypass << QStringLiteral("intranet-host-%1.example.internal").arg(i);
        qputenv("no_proxy", bypass.join(',').toUtf8());
    }
    void TearDown() override
    {
        qunsetenv("http_proxy");
        qunsetenv("no_proxy");
        qunsetenv("TESSEL_UPDATE_URL");
        if (proxy.state() != QProcess::NotRunning) {
            proxy.terminate();
            if (!proxy.waitForFinished(3000))
                proxy.kill();
        }
    }
    QByteArray proxyLog() const
    {
        QFile f(logFile);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    UpdateServer server;
    QTemporaryDir dir;
    QString logFile;
    QProcess proxy;
};

TEST_F(ProxyTest, ADirectFailureGoesThroughTheDesktopsProxy)
{
    server.SetAnswer("viaproxy", {200, R"({"name":"AP"})"});
    const QByteArray body = QByteArray("app_key=viaproxy&version=1") + '\0';
    std::vector<char> buffer(update::kResponseBufferSize, 0);
    update::HttpInit();
    const int32_t got = update::HttpRequest("POST", QString(kHiddenBase) + "updates", body.constData(),
                                            int32_t(body.size()), buffer.data());
    EXPECT_EQ(QByteArray(buffer.data(), got > 0 ? got : 0), R"({"name":"AP"})");
    ASSERT_EQ(server.RequestCount(), 1u);
    const QByteArray seen = server.Requests()[0];
    EXPECT_TRUE(seen.startsWith("POST http://update.tessel.invalid")) << seen.left(80).toStdString();
    EXPECT_TRUE(seen.endsWith(body)) << "the body with its zero byte, through the proxy";
    EXPECT_TRUE(QTest::qWaitFor([&] { return proxyLog().contains("POST http://update.tessel.invalid/api/updates"); }, 5000))
        << proxyLog().toStdString();

    // A server the direct route reaches is never asked through the proxy.
    server.SetDefault({200, "{}"});
    update::HttpInit();
    EXPECT_EQ(update::HttpRequest("POST", server.BaseUrl() + "updates", "app_key=direct", 14, buffer.data()), 2);
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_TRUE(server.Requests()[1].startsWith("POST /api/updates ")) << "a direct request names only the path";
    EXPECT_FALSE(proxyLog().contains(server.BaseUrl().toUtf8()));
}

TEST_F(ProxyTest, TheSettingsWindowShowsTheAnswerThatCameThroughTheProxy)
{
    qputenv("TESSEL_UPDATE_URL", kHiddenBase);
    server.SetAnswer("PELIX_0_ALL_M63_QX2_QX7_1",
                     {200, R"({"name":"AP","version":"2400","version_name":"V2.4.0.0","path":"http://example.org/tessel"})"});
    app::SoftwareIdentity row = app::SoftwareIdentityTable()[3];
    row.version = 2302;
    QPointer<CSetWnd> wnd = new CSetWnd();
    wnd->SetDateFile(dir.filePath("updatetime.config"));
    wnd->SetUpdateRows({row});
    wnd->Create(nullptr, QString());
    wnd->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !wnd->IsChecking(); }, 20000));
    ASSERT_EQ(wnd->Items().size(), 1u);
    EXPECT_EQ(wnd->Items()[0]->State(), 1);
    EXPECT_EQ(wnd->Items()[0]->OfferedVersion(), "V2.4.0.0");
    EXPECT_EQ(wnd->CurrentCheckStatus(), CSetWnd::UpdatesFound);
    EXPECT_TRUE(proxyLog().contains("POST http://update.tessel.invalid/api/updates"));
    delete wnd.data();
}

}  // namespace
