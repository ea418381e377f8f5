// Following the application in focus, without a desktop: the rule file, the switch decision and
// the debounce as tables, and the wlroots toplevel protocol on recorded compositor messages
// (also through a socket, against a stand-in compositor that replays them).
#include "app/FocusSwitcher.h"
#include "app/WlrFocusSource.h"
#include "profiles/FocusRules.h"
#include "profiles/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using app::FocusAction;
using app::FocusedApp;

namespace {

FocusedApp App(const QString& exe, const QString& wmClass = {})
{
    FocusedApp a;
    a.executable = exe;
    a.wmClass = wmClass;
    return a;
}

TEST(FocusRules, FirstMatchingRuleElseDefaultAnyCaseAnyName)
{
    FocusRuleSet set;
    set.rules = {{"steam", "P1"}, {"Game.x86_64", "P2"}, {"  ", "P3"}, {"steam", "P4"}};
    set.defaultProfileId = "D";
    struct Case {
        QStringList names;
        const char* want;
    } cases[] = {
        {{"STEAM"}, "P1"},                        // any case; the first of two rules wins
        {{"", "xterm", "game.X86_64"}, "P2"},     // any of the names: id, program, class
        {{"  "}, "D"},                            // a blank rule never matches
        {{}, "D"},
        {{"firefox"}, "D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names.join(',').toStdString());
        EXPECT_EQ(set.ProfileFor(c.names), QString(c.want));
    }
    set.defaultProfileId.clear();
    EXPECT_TRUE(set.ProfileFor({"firefox"}).isEmpty()) << "no default: the device keeps its profile";
}

TEST(FocusRules, MatchesOfAProfileAreReplacedInPlaceAndUnknownProfilesDropped)
{
    FocusRuleSet set;
    set.rules = {{"a", "P1"}, {"b", "P2"}, {"c", "P1"}};
    set.SetMatchesOf("P1", {"C", " d ", "", "d"});
    const std::vector<FocusRule> want{{"b", "P2"}, {"C", "P1"}, {"d", "P1"}};
    EXPECT_EQ(set.rules, want);
    set.defaultProfileId = "P9";
    EXPECT_TRUE(set.DropUnknown({"P1"}));
    EXPECT_EQ(set.rules.size(), 2u);
    EXPECT_TRUE(set.defaultProfileId.isEmpty());
}

TEST(FocusRules, FileRoundTripsAndADamagedFileIsKeptAsideNotReplacedInSilence)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    userfiles::TakeNotices();
    EXPECT_FALSE(focusrules::Load(dir.path()).damaged) << "no file is an empty set";
    FocusRuleSet set;
    set.rules = {{"steam", "2026_01_01_00_00_00_001"}, {"Ünïcode-App", "2026_01_01_00_00_00_002"}};
    set.defaultProfileId = "2026_01_01_00_00_00_001";
    ASSERT_TRUE(focusrules::Save(dir.path(), set));
    EXPECT_EQ(QFile(focusrules::FilePath(dir.path())).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    EXPECT_EQ(focusrules::Load(dir.path()).set, set);

    for (const char* damaged : {"{\"rules\": [ {\"match\": 3, \"profile\": \"x\"} ] }", "{\"rules\": [", "[1,2]",
                                "{\"rules\": {}, \"default\": \"\"}"}) {
        SCOPED_TRACE(damaged);
        QFile f(focusrules::FilePath(dir.path()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damaged);
        f.close();
        const focusrules::LoadResult r = focusrules::Load(dir.path());
        EXPECT_TRUE(r.damaged);
        EXPECT_TRUE(r.set.rules.empty());
        const std::vector<userfiles::Notice> notices = userfiles::TakeNotices();
        ASSERT_EQ(notices.size(), 1u) << "the user is told";
        ASSERT_FALSE(notices[0].keptAs.isEmpty());
        QFile kept(notices[0].keptAs);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray(damaged)) << "the damaged bytes are kept";
        // A new set may be saved once the old file is kept.
        ASSERT_TRUE(focusrules::Save(dir.path(), set));
        EXPECT_EQ(focusrules::Load(dir.path()).set, set);
    }
}

TEST(FocusSwitchDecision, Table)
{
    struct Case {
        const char* target;
        const char* active;
        std::optional<std::chrono::milliseconds> sinceManual;
        FocusAction want;
    } cases[] = {
        {"P2", "P1", std::nullopt, FocusAction::Switch},
        {"P2", "P1", 6s, FocusAction::Switch},
        {"P2", "P1", 5s, FocusAction::Switch},       // the hold is five seconds, no more
        {"P2", "P1", 4999ms, FocusAction::ManualHold},
        {"P2", "P1", 0ms, FocusAction::ManualHold},
        {"P1", "P1", std::nullopt, FocusAction::AlreadyActive},
        {"P1", "P1", 1s, FocusAction::AlreadyActive},
        {"", "P1", std::nullopt, FocusAction::NoRule},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.target) + "/" + c.active + "/" + (c.sinceManual ? std::to_string(c.sinceManual->count()) : "never"));
        EXPECT_EQ(app::DecideFocusSwitch(c.target, c.active, c.sinceManual), c.want);
    }
}

TEST(FocusDebounce, OnlyAnApplicationThatKeepsTheFocusForTheDelayCounts)
{
    using Clock = app::FocusDebounce::Clock;
    struct Step {
        int atMs;
        const char* focus;  // null: look at what has settled
        const char* want;   // what settles then ("" none)
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"steady focus settles once after the delay",
         {{0, "game", nullptr}, {59, nullptr, ""}, {60, nullptr, "game"}, {500, nullptr, ""}}},
        {"a launcher flashing past never settles",
         {{0, "launcher", nullptr}, {20, "game", nullptr}, {60, nullptr, ""}, {80, nullptr, "game"}}},
        {"back and forth: only the last counts",
         {{0, "a", nullptr}, {30, "b", nullptr}, {50, "a", nullptr}, {100, nullptr, ""}, {110, nullptr, "a"}}},
        {"a later change settles again",
         {{0, "a", nullptr}, {60, nullptr, "a"}, {1000, "b", nullptr}, {1060, nullptr, "b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app::FocusDebounce debounce(std::chrono::milliseconds(app::FocusSwitcher::kDebounceMs));
        const Clock::time_point t0 = Clock::now();
        for (const Step& s : c.steps) {
            const Clock::time_point at = t0 + std::chrono::milliseconds(s.atMs);
            if (s.focus) {
                EXPECT_EQ(debounce.Focus(App(s.focus), at), at + std::chrono::milliseconds(app::FocusSwitcher::kDebounceMs));
                continue;
            }
            const std::optional<FocusedApp> settled = debounce.Settled(at);
            EXPECT_EQ(settled ? settled->executable.toStdString() : std::string(), std::string(s.want)) << "at " << s.atMs;
        }
    }
}

// --- The wlroots toplevel list on recorded messages ---

// One message as the compositor writes it.
class Wire {
public:
    Wire& msg(uint32_t object, uint16_t opcode, const QByteArray& args)
    {
        u32(object, m_bytes);
        u32((uint32_t(8 + args.size()) << 16) | opcode, m_bytes);
        m_bytes += args;
        return *this;
    }
    static void u32(uint32_t v, QByteArray& out) { out.append(reinterpret_cast<const char*>(&v), 4); }
    static QByteArray U(std::initializer_list<uint32_t> vs)
    {
        QByteArray a;
        for (uint32_t v : vs)
            u32(v, a);
        return a;
    }
    static QByteArray S(const QByteArray& s)
    {
        QByteArray a;
        u32(uint32_t(s.size() + 1), a);
        a += s;
        a += '\0';
        while (a.size() % 4)
            a += '\0';
        return a;
    }
    static QByteArray States(std::initializer_list<uint32_t> states)
    {
        QByteArray a;
        u32(uint32_t(states.size() * 4), a);
        for (uint32_t s : states)
            u32(s, a);
        return a;
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Client ids as the protocol hands them out: registry 2, the first sync's callback 3, the
// manager 4. Toplevels are the compositor's (0xff000000 and up).
constexpr uint32_t kRegistry = 2, kCallback = 3, kManager = 4, kTopA = 0xff000000, kTopB = 0xff000001;
constexpr uint32_t kActivated = 2, kMaximized = 0;

// sway's answer to the first round trip, then two windows: a game focused, a terminal focused
// (the game loses "activated"), the terminal's title changing, the terminal closed.
QByteArray Recorded(bool withManager = true)
{
    Wire w;
    w.msg(kRegistry, 0, Wire::U({1}) + Wire::S("wl_compositor") + Wire::U({5}));
    if (withManager)
        w.msg(kRegistry, 0, Wire::U({7}) + Wire::S("zwlr_foreign_toplevel_manager_v1") + Wire::U({3}));
    w.msg(kRegistry, 0, Wire::U({9}) + Wire::S("wl_seat") + Wire::U({7}));
    w.msg(kCallback, 0, Wire::U({1234}));
    w.msg(1, 1, Wire::U({kCallback}));  // wl_display.delete_id of the callback
    if (!withManager)
        return w.bytes();
    w.msg(kManager, 0, Wire::U({kTopA}))
        .msg(kTopA, 0, Wire::S("Game"))
        .msg(kTopA, 1, Wire::S("steam_app_570"))
        .msg(kTopA, 4, Wire::States({kMaximized, kActivated}))
        .msg(kTopA, 5, {})
        .msg(kManager, 0, Wire::U({kTopB}))
        .msg(kTopB, 0, Wire::S("~"))
        .msg(kTopB, 1, Wire::S("foot"))
        .msg(kTopB, 4, Wire::States({}))
        .msg(kTopB, 5, {})
        .msg(kTopA, 4, Wire::States({kMaximized}))
        .msg(kTopA, 5, {})
        .msg(kTopB, 4, Wire::States({kActivated}))
        .msg(kTopB, 5, {})
        .msg(kTopB, 0, Wire::S("~/src"))
        .msg(kTopB, 5, {})
        .msg(kTopB, 6, {});
    return w.bytes();
}

struct Seen {
    QStringList activated;
    void attach(app::WlrToplevelProtocol& p)
    {
        p.onActivated = [this](const FocusedApp& a) { activated << a.appId + "|" + a.title; };
    }
};

TEST(WlrToplevelProtocol, FollowsTheActivatedToplevelFromRecordedMessagesInAnyPieces)
{
    // Whole, in small pieces, one byte at a time: the same result.
    for (int piece : {1 << 20, 7, 1}) {
        SCOPED_TRACE(piece);
        app::WlrToplevelProtocol p;
        Seen seen;
        seen.attach(p);
        p.Begin();
        const QByteArray begin = p.TakeOutgoing();
        EXPECT_EQ(begin, Wire().msg(1, 1, Wire::U({kRegistry})).msg(1, 0, Wire::U({kCallback})).bytes())
            << "get_registry, then sync";
        const QByteArray in = Recorded();
        for (int i = 0; i < in.size(); i += piece)
            ASSERT_TRUE(p.Feed(in.mid(i, piece)));
        EXPECT_TRUE(p.InitialRoundTripDone());
        EXPECT_TRUE(p.ManagerBound());
        const QByteArray sent = p.TakeOutgoing();
        const QByteArray bind =
            Wire().msg(kRegistry, 0, Wire::U({7}) + Wire::S("zwlr_foreign_toplevel_manager_v1") + Wire::U({3, kManager})).bytes();
        ASSERT_TRUE(sent.startsWith(bind)) << "the manager is bound by its global name, at version 3";
        EXPECT_TRUE(sent.endsWith(Wire().msg(kTopB, 7, {}).bytes())) << "a closed toplevel is destroyed";
        // A title change of the focused window is a new focus report; the unfocused window's
        // first "done" is none.
        EXPECT_EQ(seen.activated, QStringList({"steam_app_570|Game", "foot|~", "foot|~/src"}));
        const QList<FocusedApp> left = p.Toplevels();
        ASSERT_EQ(left.size(), 1);
        EXPECT_EQ(left[0].appId, "steam_app_570");
    }
}

TEST(WlrToplevelProtocol, RefusesMalformedMessagesAndNoticesAMissingManager)
{
    struct Case {
        const char* name;
        QByteArray bytes;
    } bad[] = {
        {"size below the header", Wire::U({kRegistry, (4u << 16) | 0})},
        {"size not a multiple of four", Wire::U({kRegistry, (10u << 16) | 0, 0, 0})},
        {"string longer than its message", Wire().msg(kRegistry, 0, Wire::U({1, 100})).bytes()},
        {"string without its zero", Wire().msg(kRegistry, 0, Wire::U({1, 4}) + QByteArray("abcd") + Wire::U({1})).bytes()},
        {"the compositor's error event", Wire().msg(1, 0, Wire::U({kRegistry, 0}) + Wire::S("bad")).bytes()},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.name);
        app::WlrToplevelProtocol p;
        p.Begin();
        EXPECT_FALSE(p.Feed(c.bytes));
        EXPECT_TRUE(p.Failed());
        EXPECT_FALSE(p.Feed(Recorded())) << "nothing is read after a failure";
    }
    app::WlrToplevelProtocol p;
    p.Begin();
    ASSERT_TRUE(p.Feed(Recorded(false)));
    EXPECT_TRUE(p.InitialRoundTripDone());
    EXPECT_FALSE(p.ManagerBound()) << "GNOME and KDE offer no such list";
}

TEST(WlrFocusSource, ReportsFocusFromAStandInCompositorOverItsSocket)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QLocalServer server;
    ASSERT_TRUE(server.listen(dir.filePath("wayland-test")));
    QByteArray fromClient;
    QLocalSocket* peer = nullptr;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QLocalSocket::readyRead, [&] {
            const bool first = fromClient.isEmpty();
            fromClient += peer->readAll();
            if (first) {
                peer->write(Recorded());
                peer->flush();
            }
        });
    });
    // The source's first round trip blocks; the stand-in answers from this thread's event loop,
    // so the source runs in its own thread's loop here.
    std::unique_ptr<app::WlrFocusSource> source;
    QStringList seen;
    bool started = false;
    QThread thread;
    thread.start();
    auto* holder = new QObject;
    holder->moveToThread(&thread);
    QMetaObject::invokeMethod(holder, [&] {
        source = std::make_unique<app::WlrFocusSource>(dir.filePath("wayland-test"));
        QObject::connect(source.get(), &app::FocusSource::FocusChanged, source.get(),
                         [&](const FocusedApp& a) { seen << a.appId; }, Qt::DirectConnection);
        started = source->Start();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return started; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        bool done = false;
        QMetaObject::invokeMethod(holder, [&] { done = seen.size() >= 3; }, Qt::BlockingQueuedConnection);
        return done;
    }, 10000));
    QMetaObject::invokeMethod(holder, [&] {
        EXPECT_EQ(seen, QStringList({"steam_app_570", "foot", "foot"}));
        source.reset();
    }, Qt::BlockingQueuedConnection);
    delete holder;
    thread.quit();
    thread.wait();
    EXPECT_TRUE(fromClient.startsWith(Wire().msg(1, 1, Wire::U({kRegistry})).msg(1, 0, Wire::U({kCallback})).bytes()));

    app::WlrFocusSource none(dir.filePath("no-such-socket"));
    EXPECT_FALSE(none.Start()) << "no compositor: the source says so";
}

}  // namespace
