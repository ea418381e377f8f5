// The open and save dialogs through the desktop portal: with Qt's portal theme
// (QT_QPA_PLATFORMTHEME=xdgdesktopportal) the panels' file dialogs are the portal's FileChooser
// calls, with the filter and the suggested name; with the portal gone, Qt's own dialog shows.
// The portal is a stand-in (fake_file_portal.py) on a session bus of the test's own.
#include "editors/PanelServices.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

// Why the test cannot run here (empty when it can); set by main.
std::string g_noPortal;
QProcess* g_portal = nullptr;
QString g_answer;

bool g_versionRead = false;

// The calls the portal saw since the last look, one JSON object each.
QList<QJsonObject> portalCalls()
{
    QList<QJsonObject> calls;
    g_portal->waitForReadyRead(200);
    for (const QByteArray& line : g_portal->readAllStandardOutput().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains("method"))
            calls << o;
        g_versionRead |= o["property"].toString() == "version";
    }
    return calls;
}

class PortalDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_noPortal.empty())
            GTEST_SKIP() << g_noPortal;
        // Qt asks the portal's version once at start-up and chooses the portal by its answer: once
        // the portal was asked, a question of our own on the same connection is answered after
        // Qt's (the bus keeps their order), and the events that follow hand Qt its answer.
        ASSERT_TRUE(QTest::qWaitFor([] { return g_versionRead || (portalCalls(), g_versionRead); }, kWaitMs));
        QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << QStringLiteral("org.freedesktop.portal.FileChooser") << QStringLiteral("version");
        if (g_portal->state() == QProcess::Running)
            ASSERT_EQ(QDBusConnection::sessionBus().call(get, QDBus::Block, kWaitMs).type(), QDBusMessage::ReplyMessage);
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        portalCalls();
    }
};

}  // namespace

TEST_F(PortalDialog, OpenAndSaveAreThePortalsFileChooser)
{
    const QString filter = QStringLiteral("Profile Files(*.json)");
    EXPECT_EQ(editors::Services().openFile(nullptr, filter), g_answer);
    QList<QJsonObject> calls;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(calls += portalCalls()).isEmpty(); }, kWaitMs));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0]["method"].toString(), "OpenFile");
    // Filters: [[name, [[0 = glob, pattern]]]].
    const QJsonArray filters = calls[0]["options"].toObject()["filters"].toArray();
    ASSERT_EQ(filters.size(), 1) << QJsonDocument(calls[0]).toJson().toStdString();
    const QJsonArray first = filters[0].toArray();
    EXPECT_EQ(first[0].toString(), "Profile Files");
    EXPECT_EQ(first[1].toArray()[0].toArray()[1].toString(), "*.json");

    EXPECT_EQ(editors::Services().saveFile(nullptr, filter, QStringLiteral("Default.json")), g_answer);
    calls.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(calls += portalCalls()).isEmpty(); }, kWaitMs));
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0]["method"].toString(), "SaveFile");
    EXPECT_EQ(calls[0]["options"].toObject()["current_name"].toString(), "Default.json");
}

// Last, as it ends the portal: without it the user still gets a dialog (Qt's own), never a
// silent empty answer.
TEST_F(PortalDialog, WithoutThePortalQtsOwnDialogShows)
{
    g_portal->terminate();
    ASSERT_TRUE(g_portal->waitForFinished(kWaitMs));
    bool shown = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                shown = true;
                dialog->reject();
            }
    });
    poll.start(20);
    EXPECT_TRUE(editors::Services().openFile(nullptr, QStringLiteral("Profile Files(*.json)")).isEmpty());
    EXPECT_TRUE(shown);
}

// A session bus and the portal of the test's own before the application starts (Qt's portal
// theme asks the portal its version at start-up).
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    const QString theme = QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platformthemes/libqxdgdesktopportal.so";
    QProcess bus, portal;
    QTemporaryDir dir;
    if (!QFile::exists(theme)) {
        g_noPortal = "qt6-xdgdesktopportal-platformtheme is not installed";
    } else if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() || !QFile::exists("/usr/bin/python3")) {
        g_noPortal = "dbus-daemon or python3 is not installed";
    } else {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QByteArray address;
        while (!address.contains('\n') && bus.waitForReadyRead(kWaitMs))
            address += bus.readAllStandardOutput();
        address = address.trimmed();
        g_answer = dir.filePath("chosen.json");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        portal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        portal.start("/usr/bin/python3", {TESSEL_FAKE_PORTAL, g_answer});
        QByteArray said;
        while (!said.contains('\n') && portal.waitForReadyRead(kWaitMs))
            said += portal.readAllStandardOutput();
        if (address.isEmpty() || !said.startsWith("ready"))
            g_noPortal = "the session bus or the stand-in portal (python3-gi) did not start: " + said.toStdString();
        g_portal = &portal;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_PLATFORMTHEME", "xdgdesktopportal");
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    for (QProcess* p : {&portal, &bus})
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    return result;
}
