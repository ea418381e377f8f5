#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/CMsgWnd.h"
#include "app/PrivateMessages.h"
#include "app/RegisteredMessages.h"
#include "hid/DebugLog.h"
#include "hid/Event.h"
#include "ui/Builder.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

namespace {

// Collects the tessel.debug traces written while it lives.
class TraceCapture {
public:
    TraceCapture()
    {
        s_lines.clear();
        QLoggingCategory::setFilterRules(QStringLiteral("tessel.debug.debug=true"));
        m_previous = qInstallMessageHandler(&TraceCapture::handler);
    }
    ~TraceCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QStringLiteral("tessel.debug.debug=false"));
    }
    bool contains(const QString& text) const
    {
        for (const QString& line : s_lines)
            if (line.contains(text))
                return true;
        return false;
    }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& text) { s_lines << text; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

class ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
    }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        storePath = dir.filePath("settings.ini");
        languageConfig = QString(TESSEL_DATA_DIR) + "/Language.config";
    }
    QTemporaryDir dir;
    QString storePath;
    QString languageConfig;
};

// Runs `action` on the message box once it is up, while ShowMessage runs its modal loop.
void onceBoxIsUp(std::function<void(CMsgWnd*)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<CMsgWnd*>(w);
            if (box && box->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(box);
                return;
            }
        }
    });
    poll->start();
}

void click(WindowImplBase* window, const char* name)
{
    auto* button = qobject_cast<QAbstractButton*>(window->PM().FindControl(QLatin1String(name)));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

QString labelText(WindowImplBase* window, const char* name)
{
    auto* label = window->PM().Find<QLabel>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

}  // namespace

TEST_F(ShellTest, MessageBoxReturnsWhichButtonClosedIt)
{
    struct Case {
        const char* button;
        int mode;
        int expected;
    };
    const Case cases[] = {
        {"confirm_btn", CMsgWnd::ConfirmAndCancel, 1},
        {"cancel_btn", CMsgWnd::ConfirmAndCancel, 0},
        {"closebtn", CMsgWnd::ConfirmAndCancel, 0},
        {"confirm_btn", CMsgWnd::ConfirmOnly, 1},
        {"closebtn", CMsgWnd::ConfirmOnly, 0},
    };
    for (const Case& c : cases) {
        bool cancelShown = false;
        onceBoxIsUp([&](CMsgWnd* box) {
            cancelShown = !box->PM().FindControl("cancel_btn")->isHidden();
            click(box, c.button);
        });
        EXPECT_EQ(CMsgWnd::ShowMessage(nullptr, {}, "message_text_22", 96, true, c.mode), c.expected)
            << c.button << " mode " << c.mode;
        EXPECT_EQ(cancelShown, c.mode == CMsgWnd::ConfirmAndCancel) << c.button;
    }
    QTest::qWait(20);  // lets the closed boxes delete themselves
}

TEST_F(ShellTest, MessageBoxShowsItsTextsAndRefusesAnOddDpi)
{
    ui::Language::instance().LoadLanguage(QString(TESSEL_SKIN_DIR) + "/lan_en.xml");
    TraceCapture traces;
    struct Seen {
        QString title, body;
        int dpi = 0;
    };
    const auto show = [&](const QString& title, const QString& body, bool isId, int dpi) {
        Seen seen;
        onceBoxIsUp([&](CMsgWnd* box) {
            seen = {labelText(box, "MessageTitle"), labelText(box, "MessageText"), box->Dpi()};
            click(box, "confirm_btn");
        });
        CMsgWnd::ShowMessage(nullptr, title, body, dpi, isId, CMsgWnd::ConfirmOnly);
        return seen;
    };

    const Seen byId = show({}, "message_text_22", true, 100);
    EXPECT_EQ(byId.title, "Tessel") << "an empty title keeps the skin's title";
    EXPECT_EQ(byId.body, "Restore the default settings?");
    EXPECT_EQ(byId.dpi, 96);
    EXPECT_TRUE(traces.contains("MSG_WND DPI SET ERROR"));

    const Seen plain = show("Title", "message_text_22", false, 96);
    EXPECT_EQ(plain.title, "Title");
    EXPECT_EQ(plain.body, "message_text_22") << "plain text is not resolved";

    const Seen empty = show({}, {}, true, 96);
    EXPECT_EQ(empty.body, "") << "an empty body keeps the skin's text";
    QTest::qWait(20);
}

class MainWindowTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        window = std::make_unique<CMainWnd>(storePath, languageConfig);
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        // The posted first-scan message shows the window.
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 5000));
    }
    void TearDown() override
    {
        window->Shutdown();
        window.reset();
    }
    bool shown() const { return window->isVisible() && !window->isMinimized(); }
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MainWindowTest, StartsWithTheEmptyDeviceStripAndTheNoDevicePage)
{
    for (const char* name : {"device_select_layout", "device_switch", "device_power_switch",
                             "No_device_Link", "closebtn", "minbtn", "maxbtn", "restorebtn"})
        EXPECT_NE(window->PM().FindControl(name), nullptr) << name;
    EXPECT_EQ(window->VisibleDeviceTabs(), 0);
    EXPECT_TRUE(window->PM().FindControl("No_device_Link")->isVisible());
    EXPECT_EQ(window->CurrentLanguage(), 1) << "nothing stored, C locale: English, not the first language";
    EXPECT_TRUE(window->Workers().IsRunning(CMainWnd::kLightingSyncSlot));
    // The offscreen screen is small: the DPI set-up lays the window out at 96, 1000 x 640.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == QSize(1000, 640); }, 5000))
        << window->width() << "x" << window->height();
    EXPECT_EQ(window->Dpi(), 96);
}

TEST_F(MainWindowTest, CloseKeepsRunningTrayClickShowsAgainAndExitStopsTheThreads)
{
    click(window.get(), "closebtn");
    EXPECT_FALSE(shown()) << "closebtn hides (or, without a tray, minimises) the window";
    EXPECT_TRUE(window->Workers().IsRunning(CMainWnd::kLightingSyncSlot));

    bool handled = false;
    window->HandleCustomMessage(app::pm::kTrayCallback, 0, app::pm::kTrayLeftButtonUp, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(); }, 5000));
    window->HandleCustomMessage(app::pm::kTrayCallback, 0, app::pm::kTrayLeftButtonUp, handled);
    EXPECT_FALSE(shown()) << "a second click hides it again";

    // The instance message of a second start brings the window back.
    window->PostMessage(app::RegisteredMessages::Find(app::msg::kInstance), 0, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(); }, 5000));

    ui::MenuCmd exit{"exit", "menu_exit"};
    TNotifyUI menu{ui::kNotifyMenu, nullptr, ui::kMenuCommand, reinterpret_cast<intptr_t>(&exit)};
    window->Notify(menu);
    EXPECT_FALSE(window->Workers().IsRunning(CMainWnd::kLightingSyncSlot));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, LanguageSwitchChangesVisibleTextsAndIsStored)
{
    // Started in English (the C locale); Chinese first, then back to English.
    ASSERT_EQ(labelText(window.get(), "no_device_title"), "No device connected");
    bool handled = false;
    window->HandleCustomMessage(app::pm::kLanguageChange, 0, 0, handled);
    ASSERT_EQ(labelText(window.get(), "no_device_title"), "未检测到设备");
    EXPECT_EQ(app::SettingsStore(storePath).ReadInt(app::kLanguageKey), 2052);
    window->HandleCustomMessage(app::pm::kLanguageChange, 1, 0, handled);
    EXPECT_EQ(labelText(window.get(), "no_device_title"), "No device connected");
    EXPECT_EQ(window->CurrentLanguage(), 1);
    EXPECT_EQ(app::SettingsStore(storePath).ReadInt(app::kLanguageKey), 1033);
    EXPECT_EQ(window->PM().GetDefaultFont().family(), "Verdana Unicode MS");
    EXPECT_EQ(window->PM().GetFont(50).bold(), true);

    // A lighting-control request relabels the status in the current language.
    window->HandleCustomMessage(app::RegisteredMessages::Find(app::msg::kLightControlRequest), 1, 0, handled);
    EXPECT_FALSE(window->LightingControl());
    EXPECT_EQ(window->PM().Find<QAbstractButton>("control_light_status")->text(),
              "Lighting: released to other programs");

    window->ApplyLanguage(0);
    EXPECT_EQ(labelText(window.get(), "no_device_title"), "未检测到设备");
    EXPECT_EQ(window->PM().GetDefaultFont().family(), "汉仪菱心体简");
    EXPECT_EQ(window->PM().Find<QAbstractButton>("control_light_status")->text(), "不控制灯光");

    // The next start reads the last choice back.
    CMainWnd next(storePath, languageConfig);
    ASSERT_TRUE(next.Create(nullptr, "tamrel wireless"));
    EXPECT_EQ(next.CurrentLanguage(), 0);
    next.Shutdown();
}

TEST_F(MainWindowTest, WhileSuspendedOnlyOtherProgramsMessagesAreHandled)
{
    QWidget* progress = window->PM().FindControl("setting_progress");
    ASSERT_NE(progress, nullptr);
    window->OnPrepareForSleep(true);
    bool handled = true;
    window->HandleCustomMessage(app::pm::kShowSettingProgress, 0, 0, handled);
    EXPECT_FALSE(handled);
    EXPECT_TRUE(progress->isHidden());
    window->HandleCustomMessage(app::RegisteredMessages::Find(app::msg::kLightControlRequest), 1, 0, handled);
    EXPECT_TRUE(handled) << "requests of other programs still count";
    EXPECT_FALSE(window->LightingControl());

    window->OnPrepareForSleep(false);
    window->HandleCustomMessage(app::pm::kShowSettingProgress, 0, 0, handled);
    EXPECT_TRUE(handled);
    EXPECT_FALSE(progress->isHidden());
}

TEST_F(MainWindowTest, BuilderCallbackMakesTheSkinsOwnControlsThroughTheFactory)
{
    QTemporaryDir skin;
    QFile ui(skin.filePath("tags.ui"));
    ASSERT_TRUE(ui.open(QIODevice::WriteOnly));
    ui.write(R"(<ui version="4.0"><widget class="QWidget" name="top"><layout class="QVBoxLayout">
        <item><widget class="circleprogress" name="ring"/></item>
        <item><widget class="NoSuchControl" name="ghost"/></item>
        <item><widget class="QLabel" name="plain"/></item>
        </layout></widget></ui>)");
    ui.close();
    ui::ControlFactory::instance().RegistControl("CCircleProgressUI", [](QWidget* parent) {
        auto* w = new QLabel(parent);
        w->setProperty("madeBy", "factory");
        return w;
    });
    ui::Builder builder(window.get());
    std::unique_ptr<QWidget> built(builder.CreateFromFile(ui.fileName(), nullptr));
    ui::ControlFactory::instance().Unregister("CCircleProgressUI");
    ASSERT_NE(built, nullptr);
    QWidget* ring = ui::PaintManager::FindSubControlByName(built.get(), "ring");
    ASSERT_NE(ring, nullptr) << "the tag, in any case, maps to its control class";
    EXPECT_EQ(ring->property("madeBy").toString(), "factory");
    EXPECT_EQ(ui::PaintManager::FindSubControlByName(built.get(), "ghost"), nullptr);
    EXPECT_NE(ui::PaintManager::FindSubControlByName(built.get(), "plain"), nullptr);
    EXPECT_EQ(window->CreateControl("CircleProgress"), nullptr) << "not registered: no control";
}

TEST_F(MainWindowTest, AMessageBoxAtTheWindowsDpiLeavesTheWindowsSizeAlone)
{
    // The start-up DPI set-up (100 ms after initialisation) must be behind us, or it would lay
    // the window out again in the middle of the test.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup) && window->size() == QSize(1000, 640);
    }, 5000));
    ui::PaintManager::SetAllDPI(144);
    // The user sizes the window; message boxes then open at the window's DPI.
    const QSize chosen(1700, 1000);
    window->resize(chosen);
    for (int round = 0; round < 2; ++round) {
        int boxDpi = 0;
        onceBoxIsUp([&](CMsgWnd* box) {
            boxDpi = box->PM().GetDPI();
            click(box, "confirm_btn");
        });
        CMsgWnd::ShowMessage(window.get(), {}, "message_text_22", 144, true, CMsgWnd::ConfirmOnly);
        EXPECT_EQ(boxDpi, 144);
        EXPECT_EQ(window->size(), chosen) << "round " << round;
        EXPECT_EQ(window->PM().GetDPI(), 144);
    }
    ui::PaintManager::SetAllDPI(96);
}

TEST_F(ShellTest, AWorkerOutlivingATimedOutStopNoLongerReachesTheFreedWindow)
{
    auto window = std::make_unique<CMainWnd>(storePath, languageConfig);
    ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
    const uint32_t instance = app::RegisteredMessages::Find(app::msg::kInstance);

    // A worker that answers its exit event only once the test lets it: it reaches the window
    // once while it lives, and again after the window is gone.
    struct Shared {
        hid::Event reachedOnce, release, finished;
        std::atomic<int> lateSends{-1};
    };
    auto shared = std::make_shared<Shared>();
    ASSERT_TRUE(window->Workers().Start(5, [shared, link = window->Link(), instance](const hid::Event&) {
        link->Send(app::pm::kLanguageChange, 1, 0);
        shared->reachedOnce.set();
        shared->release.wait(60000);
        link->Post(instance, 0, 1);
        shared->lateSends = int(link->Send(instance, 0, 1));
        shared->finished.set();
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shared->reachedOnce.isSet(); }, 10000));
    EXPECT_EQ(window->CurrentLanguage(), 1) << "the message sent while the window lives is handled";
    EXPECT_TRUE(window->Link()->IsAttached());

    EXPECT_EQ(window->Shutdown(), 1) << "the held worker outlasts the bounded wait";
    window.reset();
    shared->release.set();
    ASSERT_TRUE(shared->finished.wait(10000));
    EXPECT_EQ(shared->lateSends, 0);
    QTest::qWait(20);  // a post that reached the freed window would run here
}

TEST_F(MainWindowTest, EveryReachableControlIsNamedInTheCurrentLanguage)
{
    const char* const iconButtons[] = {"skinbtn", "setbtn", "minbtn", "maxbtn", "restorebtn",
                                       "closebtn", "device_select_prev", "device_select_next"};
    for (int language : {1, 0}) {
        window->ApplyLanguage(language);
        for (const char* name : iconButtons) {
            QWidget* button = window->PM().FindControl(name);
            ASSERT_NE(button, nullptr) << name;
            EXPECT_FALSE(button->toolTip().isEmpty()) << name;
            EXPECT_EQ(button->accessibleName(), button->toolTip()) << name << " in " << language;
        }
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool reachable = qobject_cast<QAbstractButton*>(w) || (w->focusPolicy() & Qt::TabFocus);
            if (reachable && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) {
                EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
            }
        }
    }
    EXPECT_EQ(window->PM().FindControl("closebtn")->accessibleName(),
              ui::Language::instance().Text("tip_close"));
}

TEST_F(ShellTest, TrayMenuOffersSettingsAboutAndExit)
{
    ui::MenuWnd menu(nullptr);
    ASSERT_TRUE(menu.Load("menu.xml"));
    for (const char* item : {"setwnd_menu", "about_menu", "exit"})
        EXPECT_NE(menu.FindItem(item), nullptr) << item;
}

TEST(MainWindowDpi, MonitorSizeDecidesTheDpi)
{
    struct Case {
        QSize monitor;
        int dpi;
    };
    const Case cases[] = {
        {{1920, 1080}, 144}, {{1366, 768}, 96}, {{1501, 961}, 144},
        {{1500, 1080}, 96},  {{1920, 960}, 96}, {{3840, 2160}, 144},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CMainWnd::ChooseDpi(c.monitor), c.dpi) << c.monitor.width() << "x" << c.monitor.height();
    for (int dpi : {48, 72, 96, 120, 144, 168, 192})
        EXPECT_EQ(CMainWnd::ValidDpi(dpi, "trace"), dpi);
    for (int dpi : {0, 100, 97, -96, 240})
        EXPECT_EQ(CMainWnd::ValidDpi(dpi, "trace"), 96) << dpi;
}

TEST(StyleSheet, PixelLengthsScaleWithTheDpi)
{
    const QString sheet = "QLabel#a_1px { min-width: 34px; font-size: 14px; border: 1px solid #1d232d; "
                          "margin: 0 6px; image: url(/x/2px.svg); }";
    EXPECT_EQ(app::ScaleStyleSheet(sheet, 96), sheet);
    EXPECT_EQ(app::ScaleStyleSheet(sheet, 144).toStdString(),
              "QLabel#a_1px { min-width: 51px; font-size: 21px; border: 2px solid #1d232d; "
              "margin: 0 9px; image: url(/x/2px.svg); }");
    EXPECT_EQ(app::ScaleStyleSheet("border: 1px;", 48).toStdString(), "border: 1px;") << "never below one pixel";
}

TEST(MainWindowNames, IndexedNamesSplitAtTheLastUnderscore)
{
    struct Case {
        const char* name;
        const char* prefix;
        int index;
    };
    const Case cases[] = {
        {"key_12", "key_", 12},
        {"DPI_color_option_3", "DPI_color_option_", 3},
        {"windowdeviceset_0", "windowdeviceset_", 0},
        {"closebtn", "closebtn", -1},
        {"key_", "key_", -1},
        {"key_1a", "key_1a", -1},
        {"key_-1", "key_-1", -1},
        {"key_99999999999", "key_99999999999", -1},
    };
    for (const Case& c : cases) {
        const auto [prefix, index] = CMainWnd::SplitIndexedName(c.name);
        EXPECT_EQ(prefix, c.prefix) << c.name;
        EXPECT_EQ(index, c.index) << c.name;
    }
}
