#pragma once

// What the tests and the bench of following the focus on a real X server share: a window
// manager's part done by hand (XDesk), the fixture with the real main window on the simulator,
// and a main that starts its own Xvfb (without Xvfb, xdotool, xmessage or gdbus every test
// reports itself skipped).
#include "tests/support/OwnXServer.h"
#include "tests/editors/PanelTestFixture.h"

#include "app/FocusSwitcher.h"
#include "editors/FocusRulesEditor.h"
#include "profiles/FocusRules.h"
#include "profiles/ProfileList.h"
#include "ui/Language.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QListWidget>
#include <QStandardPaths>
#include <xcb/xcb.h>

#include <cstring>
#include <unistd.h>

namespace {

std::string g_noXServer;

// A window manager's part, done by hand: windows with a class, _NET_CLIENT_LIST and
// _NET_ACTIVE_WINDOW on the root window.
class XDesk {
public:
    XDesk()
    {
        m_c = xcb_connect(nullptr, nullptr);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_active = atom("_NET_ACTIVE_WINDOW");
        m_pid = atom("_NET_WM_PID");
        m_clients = atom("_NET_CLIENT_LIST");
    }
    ~XDesk() { xcb_disconnect(m_c); }
    // A mapped window of class (instance, klass), with this process's pid when `withPid`.
    uint32_t window(const char* instance, const char* klass, bool withPid)
    {
        const uint32_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, 0, 0, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        std::string cls = std::string(instance) + '\0' + klass + '\0';
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, uint32_t(cls.size()), cls.data());
        if (withPid) {
            const uint32_t pid = uint32_t(getpid());
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, m_pid, XCB_ATOM_CARDINAL, 32, 1, &pid);
        }
        xcb_map_window(m_c, w);
        sync();
        return w;
    }
    void activate(uint32_t w, bool wait = true)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, m_active, XCB_ATOM_WINDOW, 32, 1, &w);
        if (wait)
            sync();
    }
    void clientList(const std::vector<uint32_t>& ws)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, m_clients, XCB_ATOM_WINDOW, 32, uint32_t(ws.size()), ws.data());
        sync();
    }
    // Returns once the server has done every request sent so far, so another client sees them.
    void sync() { std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr)); }

private:
    uint32_t atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const uint32_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }
    xcb_connection_t* m_c;
    uint32_t m_root, m_active, m_pid, m_clients;
};

class FocusX11Test : public PanelOnSimulatorTest {
protected:
    void SetUp() override
    {
        if (!g_noXServer.empty())
            GTEST_SKIP() << g_noXServer;
        PanelOnSimulatorTest::SetUp();
    }
    void TearDown() override
    {
        for (QProcess* p : clients) {
            p->kill();
            p->waitForFinished(3000);
            delete p;
        }
        clients.clear();
        if (window)
            PanelOnSimulatorTest::TearDown();
    }
    // A real X client: xmessage with WM_CLASS instance `name`; its window as xdotool finds it.
    uint32_t xmessage(const QString& name)
    {
        auto* p = new QProcess;
        clients << p;
        p->start(QStandardPaths::findExecutable("xmessage"), {"-name", name, "-title", name, name});
        if (!p->waitForStarted(5000))
            return 0;
        QProcess search;
        search.start(QStandardPaths::findExecutable("xdotool"), {"search", "--sync", "--classname", "^" + name + "$"});
        // xdotool runs on its own; the window's event loop goes on meanwhile.
        if (!waitFor([&] { return search.state() == QProcess::NotRunning; }))
            return 0;
        return search.readAllStandardOutput().trimmed().split('\n').value(0).toUInt();
    }
    // gdbus, a program of its own, calling this window's bus connection; its standard output.
    std::optional<QString> gdbus(const QString& method, const QStringList& args)
    {
        QProcess p;
        p.start(QStandardPaths::findExecutable("gdbus"),
                QStringList{"call", "--session", "--dest", QDBusConnection::sessionBus().baseService(), "--object-path",
                            "/org/tessel/Tessel", "--method", "org.tessel.Tessel1." + method} + args);
        if (!waitFor([&] { return p.state() == QProcess::NotRunning; }) || p.exitCode() != 0) {
            lastError = QString::fromUtf8(p.readAllStandardError());
            return std::nullopt;
        }
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // The keyboard's settings block holds the still colour at bytes 6 to 8.
    std::string colour() { return sim->dumpHex("keyboard", "settings").substr(12, 6); }
    uint64_t sessions() { return sim->run({"state"})["devices"]["keyboard"]["counters"]["sessionsOpened"].asUInt64(); }

    QList<QProcess*> clients;
    QString lastError;
};

}  // namespace

// Starts its own X server; without Xvfb, xdotool, xmessage or gdbus every test reports itself
// skipped.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    QProcess server;
    g_noXServer = testsupport::StartOwnXServer(server, {"xdotool", "xmessage", "gdbus"});
    // The window itself draws nowhere; the focus is followed on the X server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TESSEL_FOCUS_SOURCE", "x11");
    qputenv("LC_ALL", "C.UTF-8");
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(3000)) {
            server.kill();
            server.waitForFinished(3000);
        }
    }
    return result;
}
