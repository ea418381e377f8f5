#include <QAbstractButton>
#include <QAccessible>
#include <QProgressBar>
#include <QScrollArea>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "UpdateServer.h"
#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/PrivateMessages.h"
#include "app/RegisteredMessages.h"
#include "app/SettingsStore.h"
#include "ui/CAboutWnd.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"
#include "update/CSetWnd.h"
#include "update/CUpdateInfoListItemUI.h"

namespace {

// Stands in for the main window: records the messages the settings window sends it.
class OwnerProbe : public WindowImplBase {
public:
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t, bool& handled) override
    {
        messages.push_back({msg, wParam});
        handled = true;
        return 0;
    }
    bool got(uint32_t msg) const
    {
        for (const auto& m : messages)
            if (m.first == msg)
                return true;
        return false;
    }
    std::vector<std::pair<uint32_t, intptr_t>> messages;
};

app::SoftwareIdentity appRow(int32_t version)
{
    app::SoftwareIdentity row = app::SoftwareIdentityTable()[3];
    row.version = version;
    return row;
}

app::SoftwareIdentity firmwareRow(int k, int32_t version)
{
    app::SoftwareIdentity row = app::SoftwareIdentityTable()[size_t(k)];
    row.version = version;
    return row;
}

QString text(const char* id)
{
    return ui::Language::instance().Text(QString::fromLatin1(id));
}

class SetWndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
        ui::Language::instance().SetLanguage(QStringLiteral(TESSEL_SKIN_DIR "/lan_en.xml"));
    }
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        qputenv("TESSEL_UPDATE_URL", server.BaseUrl().toUtf8());
        dateFile = dir.filePath("updatetime.config");
        ASSERT_TRUE(update::WriteLastCheckDate(QDate(2024, 3, 5), dateFile));
    }
    void TearDown() override
    {
        if (wnd)
            delete wnd.data();
        qunsetenv("TESSEL_UPDATE_URL");
    }
    // Opens the window on `rows` and waits for the check to end.
    CSetWnd* open(std::vector<app::SoftwareIdentity> rows, bool wait = true)
    {
        wnd = new CSetWnd();
        wnd->SetOwnerWindow(&owner, 1);
        wnd->SetLanguageConfig(QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
        wnd->SetDateFile(dateFile);
        wnd->SetUpdateRows(std::move(rows));
        wnd->Create(nullptr, QString());
        wnd->show();
        if (wait)
            EXPECT_TRUE(QTest::qWaitFor([&] { return !wnd->IsChecking(); }, 10000));
        return wnd;
    }
    QString statusText() const { return wnd->PM().Find<QLabel>("Update_Status_text")->text(); }
    CUpdateInfoListItemUI* item(size_t k) const { return wnd->Items().at(k); }
    QString sub(size_t k, const char* name) const
    {
        auto* label = item(k)->findChild<QLabel*>(name);
        return label && !label->isHidden() ? label->text() : QString();
    }

    UpdateServer server;
    OwnerProbe owner;
    QTemporaryDir dir;
    QString dateFile;
    QPointer<CSetWnd> wnd;
};

TEST_F(SetWndTest, NoRowSendsNothingAndSaysTheServerIsUnreachable)
{
    open({});
    EXPECT_TRUE(wnd->Items().empty());
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_EQ(statusText(), text("NoUpdateInfoText"));
}

TEST_F(SetWndTest, ApplicationOnlyAndUpToDate)
{
    server.SetAnswer("PELIX_0_ALL_M63_QX2_QX7_1", {200, R"({"name":"AP","version":"2302","version_name":"V2.3.0.2"})"});
    open({appRow(2302)});
    ASSERT_EQ(wnd->Items().size(), 1u);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(UpdateServer::BodyOf(server.Requests()[0]),
              QByteArray("app_key=PELIX_0_ALL_M63_QX2_QX7_1&version=2302") + '\0');
    EXPECT_EQ(item(0)->Name(), "AP");
    EXPECT_EQ(item(0)->State(), 7);
    EXPECT_EQ(sub(0, "update_status_text"), text("UpdateOkText"));
    EXPECT_FALSE(item(0)->Option()->isEnabled());
    EXPECT_EQ(statusText(), text("UpdateIsLastText") + "2024-3-5") << "the date read at opening";
    EXPECT_TRUE(owner.got(app::pm::kClearSetButtonImage)) << "nothing to update clears the gear's badge";
    EXPECT_EQ(update::ReadOrInitLastCheckDate(dateFile), update::FormatCheckDate(QDate::currentDate()))
        << "an answered row rewrites the date";
}

TEST_F(SetWndTest, NewerFirmwareIsOfferedWithItsDownloadPage)
{
    server.SetAnswer("PELIX_2_RT42P31C_1_M63_1",
                     {200, R"({"name":"whatever","version":"106","path":"https://example.org/m63.bin","device_id":5})"});
    server.SetAnswer("PELIX_0_ALL_M63_QX2_QX7_1", {200, R"({"name":"AP","version":"2302"})"});
    open({firmwareRow(2, 0x0105), appRow(2302)});
    ASSERT_EQ(wnd->Items().size(), 2u);
    EXPECT_EQ(UpdateServer::BodyOf(server.Requests()[0]), QByteArray("app_key=PELIX_2_RT42P31C_1_M63_1&version=105") + '\0');
    EXPECT_EQ(item(0)->Name(), "M63") << "the row's short name, not the answer's";
    EXPECT_EQ(item(0)->State(), 1);
    EXPECT_EQ(sub(0, "OldRev"), "V0105");
    EXPECT_EQ(sub(0, "updateRev"), "V106");
    EXPECT_EQ(sub(0, "update_status_text"), text("NeedUpdateText"));
    EXPECT_TRUE(item(0)->Option()->isEnabled());
    EXPECT_TRUE(item(0)->OptionSelected());
    EXPECT_FALSE(item(0)->findChild<QWidget*>("update_download_link")->isHidden());
    EXPECT_EQ(item(0)->DownloadPath(), "https://example.org/m63.bin");
    EXPECT_EQ(item(1)->State(), 7);
    EXPECT_TRUE(item(1)->findChild<QWidget*>("update_download_link")->isHidden());
    EXPECT_TRUE(wnd->PM().FindControl("update_fw_and_ap")->isEnabled());
    EXPECT_EQ(statusText(), text("HaveUpdateInfoText"));
    EXPECT_FALSE(owner.got(app::pm::kClearSetButtonImage));
}

TEST_F(SetWndTest, FailingRowsDecideTheStatusLine)
{
    {
        SCOPED_TRACE("every row fails");
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        const quint16 port = closed.serverPort();
        closed.close();
        qputenv("TESSEL_UPDATE_URL", QStringLiteral("http://127.0.0.1:%1/api/").arg(port).toUtf8());
        open({firmwareRow(0, 0x10), appRow(2302)});
        EXPECT_EQ(statusText(), text("NoUpdateInfoText"));
        EXPECT_EQ(item(0)->Name(), "MS");
        EXPECT_EQ(sub(0, "OldRev"), "V0010");
        EXPECT_EQ(item(1)->State(), 7);
        delete wnd.data();
        qputenv("TESSEL_UPDATE_URL", server.BaseUrl().toUtf8());
    }
    {
        SCOPED_TRACE("the first row answered, the server gone for the second");
        server.SetAnswer("PELIX_1_RT42P58C_MS_1", {200, R"({"name":"MS","version":"10"})"});
        server.StopListeningAfter(1);
        ASSERT_TRUE(update::WriteLastCheckDate(QDate(2024, 3, 5), dateFile));
        open({firmwareRow(0, 0x10), appRow(2302)});
        EXPECT_EQ(server.RequestCount(), 1u);
        EXPECT_EQ(statusText(), text("UpdateIsLastText") + "2024-3-5");
    }
}

TEST_F(SetWndTest, BadAnswersAreNoAnswerForTheirRow)
{
    const std::vector<std::pair<const char*, QByteArray>> answers = {
        {"not JSON", "<html>502 Bad Gateway</html>"},
        {"version as a number", R"({"name":"x","version":300})"},
        {"device_id as a string", R"({"name":"x","version":"300","device_id":"7"})"},
        {"1 MB of junk", QByteArray(1 << 20, '\xfe')},
        {"no name", R"({"version":"300","path":"http://example.org/x"})"},
    };
    for (const auto& [what, body] : answers) {
        SCOPED_TRACE(what);
        server.SetDefault({200, body});
        open({firmwareRow(1, 0x0100)});
        ASSERT_EQ(wnd->Items().size(), 1u);
        EXPECT_EQ(item(0)->State(), 7);
        EXPECT_EQ(item(0)->Name(), "tamrel wireless");
        EXPECT_EQ(sub(0, "OldRev"), "V0100");
        EXPECT_EQ(sub(0, "updateRev"), "");
        EXPECT_EQ(sub(0, "update_status_text"), text("UpdateNoAnswerText")) << "not claimed up to date";
        delete wnd.data();
    }
}

TEST_F(SetWndTest, ConfirmingOneOfTwoOffersMarksItAndTheWindowStillCloses)
{
    server.SetDefault({200, R"({"name":"x","version":"900"})"});
    open({firmwareRow(0, 0x0105), firmwareRow(2, 0x0105)});
    ASSERT_EQ(wnd->Items().size(), 2u);
    ASSERT_EQ(item(1)->State(), 1);
    item(1)->Option()->click();  // deselect the second
    EXPECT_TRUE(wnd->PM().FindControl("update_fw_and_ap")->isEnabled());
    item(0)->Option()->click();
    EXPECT_FALSE(wnd->PM().FindControl("update_fw_and_ap")->isEnabled()) << "nothing selected";
    item(0)->Option()->click();
    qobject_cast<QAbstractButton*>(wnd->PM().FindControl("update_fw_and_ap"))->click();
    auto* pages = wnd->PM().Find<QStackedWidget>("get_update_tab_layout");
    EXPECT_EQ(pages->currentIndex(), 1);
    qobject_cast<QAbstractButton*>(wnd->PM().FindControl("update_OK_btn"))->click();
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(item(0)->State(), 3);
    EXPECT_EQ(sub(0, "update_status_text"), text("DownloadWaitText"));
    EXPECT_FALSE(item(0)->Option()->isEnabled());
    EXPECT_EQ(item(1)->State(), 1);
    EXPECT_FALSE(item(1)->Option()->isEnabled()) << "the other loses its option";
    EXPECT_FALSE(wnd->PM().FindControl("update_fw_and_ap")->isEnabled());
    // Nothing ever works on a marked item, so it does not hold the window open.
    EXPECT_FALSE(wnd->CloseRefused());
    qobject_cast<QAbstractButton*>(wnd->PM().FindControl("closebtn"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd.isNull(); }, 5000));
}

TEST_F(SetWndTest, ASilentServerNeitherBlocksTheWindowNorItsClosing)
{
    server.SetDefault({200, {}, true});
    open({firmwareRow(0, 1), appRow(2302)}, false);
    ASSERT_TRUE(server.WaitForRequests(1, 10000));
    EXPECT_TRUE(wnd->IsChecking());
    EXPECT_EQ(sub(0, "update_status_text"), text("UpdateItemCheckingText"));
    EXPECT_TRUE(wnd->PM().FindControl("update_status_ring")->isVisible());
    EXPECT_EQ(statusText(), text("GetUpdateInfoText"));
    // The event loop keeps running while the request hangs (loose bounds; the benchmark prints
    // the figures).
    QElapsedTimer clock;
    qint64 worst = 0, last = 0;
    clock.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(5);
    QTest::qWait(300);
    EXPECT_LT(worst, 250);
    clock.restart();
    qobject_cast<QAbstractButton*>(wnd->PM().FindControl("laterbtn"))->click();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return wnd.isNull(); }, 5000));
}

TEST_F(SetWndTest, PickingALanguageAsksTheOwner)
{
    open({});
    auto* combo = wnd->PM().Find<QComboBox>("Language_combox_info");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->currentIndex(), 1) << "the index the owner passed";
    EXPECT_EQ(combo->itemText(0), "简体中文");
    wnd->PM().SelectComboItem(combo, 0, true);
    ASSERT_FALSE(owner.messages.empty());
    EXPECT_EQ(owner.messages.back(), std::make_pair(app::pm::kLanguageChange, intptr_t(0)));
}

// Controls of `root` a user reaches (buttons, combos, lists, progress) whose screen-reader name
// is empty or a text id as it stands.
QStringList unnamedControls(QWidget* root)
{
    QStringList faults;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        const bool reachable = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                               qobject_cast<QScrollArea*>(w) || qobject_cast<QProgressBar*>(w) ||
                               (w->focusPolicy() != Qt::NoFocus && !w->inherits("QScrollBar") &&
                                w->parentWidget() && !w->parentWidget()->inherits("QAbstractScrollArea"));
        if (!w->isVisible() || !reachable)
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QString name = a ? a->text(QAccessible::Name).trimmed() : QString();
        if (qobject_cast<QComboBox*>(w))
            name = w->accessibleName();
        const ui::Language& lang = ui::Language::instance();
        if (name.isEmpty() || (lang.Has(name) && lang.Text(name) != name))
            faults << w->objectName() + ": '" + name + "'";
    }
    return faults;
}

TEST_F(SetWndTest, EveryControlHasANameInBothLanguages)
{
    server.SetDefault({200, R"({"name":"x","version":"900","path":"http://example.org/x"})"});
    for (const char* file : {"lan_en.xml", "lan_cn.xml"}) {
        SCOPED_TRACE(file);
        ui::Language::instance().SetLanguage(QStringLiteral(TESSEL_SKIN_DIR "/") + file);
        open({firmwareRow(0, 0x0105), appRow(2302)});
        EXPECT_EQ(unnamedControls(wnd), QStringList());
        QPointer<CAboutWnd> about = new CAboutWnd();
        about->Create(nullptr, QString());
        about->show();
        EXPECT_EQ(unnamedControls(about), QStringList());
        delete about.data();
        delete wnd.data();
    }
    ui::Language::instance().SetLanguage(QStringLiteral(TESSEL_SKIN_DIR "/lan_en.xml"));
}

class MainWndSettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        app::RegisteredMessages::RegisterAll();
        ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
    }
    void SetUp() override
    {
        ASSERT_TRUE(server.Start());
        qputenv("TESSEL_UPDATE_URL", server.BaseUrl().toUtf8());
        storePath = dir.filePath("settings.ini");
        window = std::make_unique<CMainWnd>(storePath, languageConfig);
        ASSERT_TRUE(window->Create(nullptr, "tamrel wireless"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 5000));
    }
    void TearDown() override
    {
        window->Shutdown();
        window.reset();
        qunsetenv("TESSEL_UPDATE_URL");
    }
    QString label(const char* name) const { return window->PM().Find<QLabel>(name)->text(); }

    UpdateServer server;
    QTemporaryDir dir;
    QString storePath;
    const QString languageConfig = QStringLiteral(TESSEL_DATA_DIR "/Language.config");
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MainWndSettingsTest, TheLanguageChosenInTheSettingsWindowAppliesEverywhereAndIsKept)
{
    window->ApplyLanguage(0);
    ASSERT_EQ(label("no_device_title"), "未检测到设备");
    CSetWnd* settings = window->CreateSettingsWindow(true);
    CAboutWnd* about = window->CreateAboutWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings->IsChecking(); }, 10000));
    EXPECT_EQ(server.RequestCount(), 1u) << "no device: the application row alone";
    EXPECT_EQ(settings->Items().at(0)->Name(), "AP");
    EXPECT_EQ(settings->PM().Find<QLabel>("set_title")->text(), "设置");
    EXPECT_TRUE(about->VersionLabelText().startsWith("版本 V"));

    auto* combo = settings->PM().Find<QComboBox>("Language_combox_info");
    ASSERT_EQ(combo->currentIndex(), 0);
    settings->PM().SelectComboItem(combo, 1, true);
    EXPECT_EQ(window->CurrentLanguage(), 1);
    EXPECT_EQ(label("no_device_title"), "No device connected");
    EXPECT_EQ(settings->PM().Find<QLabel>("set_title")->text(), "Settings");
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_TRUE(settings->PM().Find<QLabel>("Update_Status_text")->text().startsWith("Everything is up to date"))
        << "the status line with its date follows the language";
    EXPECT_TRUE(about->VersionLabelText().startsWith("Version V"));
    EXPECT_EQ(app::SettingsStore(storePath).ReadInt(app::kLanguageKey), 1033);
    // Hiding the main window closes its sub-windows.
    qobject_cast<QAbstractButton*>(window->PM().FindControl("closebtn"))->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->SettingsWindow() && !window->AboutWindow(); }, 5000));

    CMainWnd next(storePath, languageConfig);
    ASSERT_TRUE(next.Create(nullptr, "tamrel wireless"));
    EXPECT_EQ(next.CurrentLanguage(), 1) << "a restart keeps English";
    next.Shutdown();
}

TEST_F(MainWndSettingsTest, TheGearTheTrayAndTheMessageOpenTheirWindowsModally)
{
    // Each opens a modal window; what the test does inside runs from the window's own loop.
    {
        SCOPED_TRACE("the gear");
        QTimer poll;
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (CSetWnd* s = window->SettingsWindow(); s && s->isVisible() && !seen) {
                seen = true;
                const QRect main = window->geometry();
                EXPECT_EQ(s->geometry().right(), main.right() - 30);
                EXPECT_EQ(s->geometry().top(), main.top() + 60);
                qobject_cast<QAbstractButton*>(s->PM().FindControl("closebtn"))->click();
            }
        });
        poll.start(10);
        qobject_cast<QAbstractButton*>(window->PM().FindControl("setbtn"))->click();
        EXPECT_TRUE(seen);
    }
    {
        SCOPED_TRACE("0x0C15, centred");
        QTimer poll;
        bool seen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (CSetWnd* s = window->SettingsWindow(); s && s->isVisible() && !seen) {
                seen = true;
                EXPECT_LE((s->geometry().center() - window->geometry().center()).manhattanLength(), 2);
                QTest::keyClick(s, Qt::Key_Escape);
            }
        });
        poll.start(10);
        window->PostMessage(app::pm::kOpenSettingsCentred, 0, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen && !window->SettingsWindow(); }, 10000));
    }
    {
        SCOPED_TRACE("the tray's about and settings entries");
        for (const char* entry : {"about_menu", "setwnd_menu"}) {
            QTimer poll;
            bool seen = false;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                QWidget* w = window->AboutWindow() ? static_cast<QWidget*>(window->AboutWindow())
                                                   : window->SettingsWindow();
                if (w && w->isVisible() && !seen) {
                    seen = true;
                    QTest::keyClick(w, Qt::Key_Escape);
                }
            });
            poll.start(10);
            ui::MenuCmd cmd{entry, entry};
            TNotifyUI menu{ui::kNotifyMenu, nullptr, ui::kMenuCommand, reinterpret_cast<intptr_t>(&cmd)};
            window->Notify(menu);
            EXPECT_TRUE(seen) << entry;
        }
    }
}

}  // namespace
