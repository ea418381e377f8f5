#include "update/HttpClient.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTcpServer>
#include <atomic>
#include <gtest/gtest.h>
#include <curl/curl.h>
#include <thread>
#include <vector>

#include "UpdateServer.h"

namespace {

struct Reply {
    int32_t result = 0;
    uint32_t error = 0;
    std::vector<char> buffer;
    QByteArray stored() const { return QByteArray(buffer.data(), result > 0 ? result : 0); }
    QByteArray text() const { return QByteArray(buffer.data()); }
};

Reply request(const QString& method, const QString& url, const QByteArray& body,
              size_t capacity = update::kResponseBufferSize)
{
    Reply r;
    // Guard bytes after the caller's buffer show any write past its end.
    r.buffer.assign(capacity + 64, 0);
    std::fill(r.buffer.begin() + capacity, r.buffer.end(), '\x5A');
    update::HttpInit();
    r.result = update::HttpRequest(method, url, body.constData(), int32_t(body.size()), r.buffer.data(), capacity);
    r.error = update::HttpLastError();
    for (size_t i = capacity; i < r.buffer.size(); ++i)
        EXPECT_EQ(r.buffer[i], '\x5A') << "written past the buffer at " << i;
    r.buffer.resize(capacity + 1);
    r.buffer[capacity] = 0;
    return r;
}

// A port on loopback where nothing listens.
quint16 closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    UpdateServer server;
};

TEST_F(HttpClientTest, SendsTheRequestByteForByte)
{
    const QByteArray body("app_key=PELIX_0_ALL_M63_QX2_QX7_1&version=2302\0", 47);
    server.SetAnswer("PELIX_0_ALL_M63_QX2_QX7_1", {200, R"({"name":"AP"})"});
    const Reply r = request("post", server.BaseUrl() + "updates", body);
    EXPECT_EQ(r.stored(), R"({"name":"AP"})");
    ASSERT_EQ(server.RequestCount(), 1u);
    const QByteArray expected =
        "POST /api/updates HTTP/1.1\r\n"
        "Host: 127.0.0.1:" + QByteArray::number(server.Port()) + "\r\n"
        "User-Agent: WinHTTP Client/1.0\r\n"
        "Content-Length: 47\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Accept:application/prs.Pelix.v1+json\r\n"
        "\r\n" + body;
    EXPECT_EQ(server.Requests()[0], expected);
    EXPECT_EQ(server.Requests()[0].back(), '\0') << "the terminating zero is sent";
}

TEST_F(HttpClientTest, ResultsOfTheEdgeCases)
{
    QByteArray large(200000, 0);
    for (int i = 0; i < large.size(); ++i)
        large[i] = char('a' + (i * 7) % 26);
    server.SetAnswer("notfound", {404, R"({"error":"no such key"})"});
    server.SetAnswer("large", {200, large.left(90000)});
    server.SetAnswer("toolarge", {200, large});

    struct Case {
        const char* what;
        QString method;
        QString url;
        QByteArray body;
        int32_t result;
        uint32_t error;       // checked when result is -1
        QByteArray stored;    // checked when result >= 0
    };
    const QString base = server.BaseUrl() + "updates";
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1/api/updates").arg(closedPort());
    const std::vector<Case> cases = {
        {"PUT is refused", "PUT", base, "app_key=x", -1, update::kErrorBadMethod, {}},
        {"an empty URL is refused", "POST", "", "app_key=x", -1, update::kErrorEmptyUrl, {}},
        {"a 404's body counts", "POST", base, "app_key=notfound", 23, 0, R"({"error":"no such key"})"},
        {"a body of many reads arrives whole, in order", "POST", base, "app_key=large", 90000, 0, large.left(90000)},
        {"a longer answer stops at the buffer's end", "POST", base, "app_key=toolarge",
         int32_t(update::kResponseBufferSize), 0, large.left(update::kResponseBufferSize)},
        {"nothing listening: not sent", "POST", unreachable, "app_key=x", 0, 0, {}},
        {"a host that does not resolve: not sent", "GET", "http://update.tessel.invalid/api/updates", {}, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Reply r = request(c.method, c.url, c.body);
        EXPECT_EQ(r.result, c.result);
        if (c.result < 0)
            EXPECT_EQ(r.error, c.error);
        else if (c.result > 0)
            EXPECT_EQ(r.stored(), c.stored);
        else
            EXPECT_EQ(r.text(), update::kNoLinkServer);
    }
}

TEST_F(HttpClientTest, GetWithoutBodyAndAnEmptyAnswer)
{
    server.SetDefault({200, {}});
    const Reply r = request("Get", server.BaseUrl() + "updates", {});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.text(), "") << "sent and answered with nothing: the buffer stays empty";
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(server.Requests()[0].startsWith("GET /api/updates HTTP/1.1\r\n"));
    EXPECT_TRUE(server.Requests()[0].contains("\r\nContent-Length: 0\r\n"));
}

TEST_F(HttpClientTest, AStopFlagEndsARequestToASilentServer)
{
    server.SetDefault({200, {}, true});
    std::atomic<bool> stop{false};
    std::vector<char> buffer(update::kResponseBufferSize, 0);
    std::thread stopper([&] {
        server.WaitForRequests(1, 10000);
        stop = true;
    });
    QElapsedTimer clock;
    clock.start();
    update::HttpInit();
    const int32_t got = update::HttpRequest("POST", server.BaseUrl() + "updates", "app_key=x", 9,
                                            buffer.data(), buffer.size(), &stop);
    const qint64 ms = clock.elapsed();
    stopper.join();
    EXPECT_EQ(got, 0);
    EXPECT_EQ(QByteArray(buffer.data()), update::kNoLinkServer);
    // The server keeps silent for 30 s; a loose bound shows the request did not wait for it.
    EXPECT_LT(ms, 10000);
}

// A TLS server whose certificate nobody vouches for: the request is refused at the handshake,
// never sent, rather than carried on as if the server were the one named.
TEST(HttpClientTls, AnUntrustedCertificateIsRefused)
{
    const QString openssl = QStandardPaths::findExecutable("openssl");
    if (openssl.isEmpty())
        GTEST_SKIP() << "openssl is not installed";
    QTemporaryDir dir;
    const QString key = dir.filePath("key.pem"), cert = dir.filePath("cert.pem");
    ASSERT_EQ(QProcess::execute(openssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                                          "-out", cert, "-days", "1", "-subj", "/CN=127.0.0.1"}), 0);
    const quint16 port = closedPort();
    QProcess server;
    server.start(openssl, {"s_server", "-accept", QString::number(port), "-cert", cert, "-key", key, "-www", "-quiet"});
    ASSERT_TRUE(server.waitForStarted(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(200);
    }, 10000));
    const Reply r = request("GET", QStringLiteral("https://127.0.0.1:%1/").arg(port), {});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.text(), update::kNoLinkServer);
    EXPECT_EQ(r.error, uint32_t(CURLE_PEER_FAILED_VERIFICATION));
    server.kill();
    server.waitForFinished(3000);
}

}  // namespace
