#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>

#include "ui/Builder.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"
#include "ui/Notify.h"
#include "ui/PaintManager.h"
#include "ui/TrayIcon.h"
#include "ui/WindowImplBase.h"

namespace {

const QString kData = QStringLiteral(TESSEL_UI_TEST_DATA);

struct Seen {
    QString type;
    QString sender;
    intptr_t w;
    intptr_t l;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s)
{
    return os << s.type.toStdString() << "/" << s.sender.toStdString() << "(" << s.w << "," << s.l << ")";
}

// A window that records every notification and custom message it receives.
class RecordingWnd : public WindowImplBase {
public:
    explicit RecordingWnd(QString skin = QStringLiteral("controls.ui")) : m_skin(std::move(skin)) {}
    QString GetSkinFile() override { return m_skin; }
    QString GetWindowClassName() override { return QStringLiteral("RecordingWnd"); }
    void Notify(TNotifyUI& msg) override
    {
        seen.push_back({msg.sType, msg.pSender ? msg.pSender->objectName() : QString(), msg.wParam, msg.lParam});
        if (msg.sType == ui::kNotifyMenu && msg.wParam == ui::kMenuCommand)
            menuItem = reinterpret_cast<const ui::MenuCmd*>(msg.lParam)->name;
        if (onNotify)
            onNotify(msg);
    }
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t w, intptr_t l, bool& handled) override
    {
        handled = true;
        messages.push_back({msg, w, l});
        messageThread = QThread::currentThread();
        return static_cast<intptr_t>(msg) + w + l;
    }
    QWidget* CreateControl(const QString& className) override
    {
        // Claims "keypad" and "colorwheel"; the factory also knows "ColorWheel" and loses.
        if (className.compare(QLatin1String("keypad"), Qt::CaseInsensitive) == 0
            || className.compare(QLatin1String("colorwheel"), Qt::CaseInsensitive) == 0) {
            auto* w = new QWidget;
            w->setProperty("madeby", "callback");
            return w;
        }
        return nullptr;
    }
    // Only the notifications of one type.
    std::vector<Seen> of(const QString& type) const
    {
        std::vector<Seen> out;
        for (const Seen& s : seen)
            if (s.type == type)
                out.push_back(s);
        return out;
    }

    std::vector<Seen> seen;
    std::vector<std::tuple<uint32_t, intptr_t, intptr_t>> messages;
    QThread* messageThread = nullptr;
    QString menuItem;
    std::function<void(TNotifyUI&)> onNotify;

private:
    QString m_skin;
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::PaintManager::SetResourcePath(kData);
        ASSERT_TRUE(ui::Language::instance().LoadLanguage(kData + "/lang_a.xml"));
        wnd = std::make_unique<RecordingWnd>();
        ASSERT_TRUE(wnd->Create(nullptr, QString()));
        wnd->seen.clear();
    }
    template <class T>
    T* find(const char* name)
    {
        T* w = wnd->PM().Find<T>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::unique_ptr<RecordingWnd> wnd;
};

TEST_F(UiTest, CreateRunsInitAndSendsWindowInitOnce)
{
    RecordingWnd w;
    EXPECT_TRUE(w.Create(nullptr, QStringLiteral("given title")));
    EXPECT_EQ(w.of(ui::kNotifyWindowInit).size(), 1u);
    EXPECT_EQ(w.windowTitle(), "given title");
    EXPECT_NE(w.Root(), nullptr);

    RecordingWnd missing(QStringLiteral("no/such/skin.ui"));
    EXPECT_FALSE(missing.Create(nullptr, QString()));
    EXPECT_EQ(missing.of(ui::kNotifyWindowInit).size(), 1u);  // still initialised, empty
    EXPECT_EQ(missing.PM().FindControl("plain_btn"), nullptr);
}

TEST_F(UiTest, ButtonsAndOptionsNotifyClickAndSelectChanged)
{
    wnd->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.get()));
    wnd->seen.clear();
    QTest::mouseClick(find<QPushButton>("plain_btn"), Qt::LeftButton);
    // Options take clicks on their indicator and text only, at the left.
    auto* check = find<QCheckBox>("check_opt");
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    auto* radio = find<QRadioButton>("radio_b");
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    // Qt toggles before it reports the click; both options of the group report their change.
    const std::vector<Seen> expected{
        {"click", "plain_btn", 0, 0},
        {"selectchanged", "check_opt", 1, 0},
        {"click", "check_opt", 1, 0},
        {"selectchanged", "radio_a", 0, 0},
        {"selectchanged", "radio_b", 1, 0},
        {"click", "radio_b", 1, 0},
    };
    std::vector<Seen> got;
    for (const Seen& s : wnd->seen)
        if (s.type == ui::kNotifyClick || s.type == ui::kNotifySelectChanged)
            got.push_back(s);
    EXPECT_EQ(got, expected);
}

TEST_F(UiTest, CombosListsSlidersAndEditsNotifyWithTheirTypes)
{
    auto* combo = find<QComboBox>("mode_combo");
    combo->setCurrentIndex(2);
    auto* list = find<QListWidget>("name_list");
    list->setCurrentRow(1);
    list->setCurrentRow(2);
    auto* slider = find<QSlider>("light_slider");
    slider->setValue(10);            // keyboard, wheel or page step
    slider->setSliderDown(true);     // dragging the handle
    slider->setSliderPosition(20);
    slider->setSliderDown(false);    // released
    slider->setTracking(false);      // the value follows only on release
    slider->setSliderDown(true);
    slider->setSliderPosition(30);
    slider->setSliderDown(false);
    auto* edit = find<QLineEdit>("name_edit");
    QTest::keyClicks(edit, "ab");
    QTest::keyClick(edit, Qt::Key_Return);

    const std::vector<Seen> expected{
        {"itemselect", "mode_combo", 2, 0},
        {"itemselect", "name_list", 1, -1},
        {"itemselect", "name_list", 2, 1},
        {"valuechanged", "light_slider", 10, 0},
        {"movevaluechanged", "light_slider", 20, 0},
        {"valuechanged", "light_slider", 20, 0},
        {"movevaluechanged", "light_slider", 30, 0},
        {"valuechanged", "light_slider", 30, 0},
        {"textchanged", "name_edit", 0, 0},
        {"textchanged", "name_edit", 0, 0},
        {"return", "name_edit", 0, 0},
    };
    std::vector<Seen> got;
    for (const Seen& s : wnd->seen)
        if (s.type != ui::kNotifySetFocus && s.type != ui::kNotifyKillFocus && s.type != ui::kNotifyMouseEnter
            && s.type != ui::kNotifyMouseLeave)
            got.push_back(s);
    EXPECT_EQ(got, expected);
}

TEST_F(UiTest, ListItemClickAndActivate)
{
    wnd->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wnd.get()));
    auto* list = find<QListWidget>("name_list");
    const QRect r = list->visualItemRect(list->item(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_FALSE(wnd->of(ui::kNotifyItemClick).empty());
    EXPECT_EQ(wnd->of(ui::kNotifyItemClick).front().w, 1);
    ASSERT_EQ(wnd->of(ui::kNotifyItemActivate).size(), 1u);
    EXPECT_EQ(wnd->of(ui::kNotifyItemActivate).front().w, 1);
    EXPECT_TRUE(wnd->of(ui::kNotifyDbClick).empty());  // a view reports activation instead
}

TEST_F(UiTest, FocusInAndOutNotify)
{
    wnd->show();
    wnd->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(wnd.get()));
    find<QLineEdit>("name_edit")->setFocus();
    find<QPushButton>("plain_btn")->setFocus();
    std::vector<Seen> focus;
    for (const Seen& s : wnd->seen)
        if (s.sender == "name_edit" && (s.type == ui::kNotifySetFocus || s.type == ui::kNotifyKillFocus))
            focus.push_back(s);
    const std::vector<Seen> expected{{"setfocus", "name_edit", 0, 0}, {"killfocus", "name_edit", 0, 0}};
    EXPECT_EQ(focus, expected);
}

// Showing a value (notify = false) raises nothing; the same setter with notify = true raises the
// control's own notification.
TEST_F(UiTest, ShowingAValueRaisesNoNotification)
{
    ui::PaintManager& pm = wnd->PM();
    struct Case {
        const char* type;
        std::function<void(bool notify)> show;
    };
    const std::vector<Case> cases{
        {"selectchanged", [&](bool n) { pm.SelectOption(pm.FindControl("radio_b"), true, n); }},
        {"selectchanged", [&](bool n) { pm.SelectOption(pm.FindControl("radio_a"), true, n); }},
        {"selectchanged", [&](bool n) { pm.SelectOption(pm.FindControl("check_opt"), true, n); }},
        {"itemselect", [&](bool n) { pm.SelectComboItem(pm.FindControl("mode_combo"), 1, n); }},
        {"itemselect", [&](bool n) { pm.SelectListItem(pm.FindControl("name_list"), 2, n); }},
        {"valuechanged", [&](bool n) { pm.SetSliderValue(pm.FindControl("light_slider"), 42, n); }},
        {"textchanged", [&](bool n) { pm.SetEditText(pm.FindControl("name_edit"), "shown", n); }},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        wnd->seen.clear();
        cases[i].show(false);
        EXPECT_TRUE(wnd->seen.empty()) << "case " << i << ": " << wnd->seen.front();
    }
    EXPECT_TRUE(find<QRadioButton>("radio_a")->isChecked());
    EXPECT_FALSE(find<QRadioButton>("radio_b")->isChecked());
    EXPECT_EQ(find<QComboBox>("mode_combo")->currentIndex(), 1);
    EXPECT_EQ(find<QListWidget>("name_list")->currentRow(), 2);
    EXPECT_EQ(find<QSlider>("light_slider")->value(), 42);
    EXPECT_EQ(find<QLineEdit>("name_edit")->text(), "shown");

    // Back to a different value with notify = true: each raises its type.
    pm.SelectOption(pm.FindControl("radio_b"), true, false);
    const std::vector<Case> loud{
        {"selectchanged", [&](bool n) { pm.SelectOption(pm.FindControl("radio_a"), true, n); }},
        {"selectchanged", [&](bool n) { pm.SelectOption(pm.FindControl("check_opt"), false, n); }},
        {"itemselect", [&](bool n) { pm.SelectComboItem(pm.FindControl("mode_combo"), 0, n); }},
        {"itemselect", [&](bool n) { pm.SelectListItem(pm.FindControl("name_list"), 0, n); }},
        {"valuechanged", [&](bool n) { pm.SetSliderValue(pm.FindControl("light_slider"), 7, n); }},
        {"textchanged", [&](bool n) { pm.SetEditText(pm.FindControl("name_edit"), "told", n); }},
    };
    for (size_t i = 0; i < loud.size(); ++i) {
        wnd->seen.clear();
        loud[i].show(true);
        EXPECT_FALSE(wnd->of(loud[i].type).empty()) << "case " << i;
    }
    // The combo's next change reports the index that was shown silently as the previous one.
    pm.SelectComboItem(pm.FindControl("mode_combo"), 2, false);
    wnd->seen.clear();
    find<QComboBox>("mode_combo")->setCurrentIndex(1);
    EXPECT_EQ(wnd->seen, (std::vector<Seen>{{"itemselect", "mode_combo", 1, 2}}));

    // A missing control is skipped.
    pm.SelectOption(nullptr, true, true);
    pm.SetSliderValue(pm.FindControl("no_such_slider"), 3, true);
    EXPECT_EQ(ui::PaintManager::FindSubControlByName(nullptr, "plain_btn"), nullptr);
    EXPECT_EQ(ui::PaintManager::FindSubControlByName(wnd->Root(), "nothing"), nullptr);
}

TEST_F(UiTest, EditLimitsRejectWhatTheyShould)
{
    auto* edit = find<QLineEdit>("name_edit");
    ui::PaintManager::SetEditRange(edit, 0, 500);
    ui::PaintManager::SetMaxChar(edit, 4);
    QTest::keyClicks(edit, "4x2");
    EXPECT_EQ(edit->text(), "42");
    QTest::keyClicks(edit, "0");  // 420: in range
    EXPECT_EQ(edit->text(), "420");
    edit->clear();
    QTest::keyClicks(edit, "9999");  // above the range: the third 9 is refused, and so is the fourth
    EXPECT_EQ(edit->text(), "99");
    EXPECT_TRUE(edit->hasAcceptableInput());
    edit->clear();
    QTest::keyClicks(edit, "501");
    EXPECT_EQ(edit->text(), "50");
    ui::PaintManager::SetNumberOnly(edit, false);
    edit->clear();
    QTest::keyClicks(edit, "abcdef");
    EXPECT_EQ(edit->text(), "abcd");  // still at most four characters
}

TEST_F(UiTest, TimersFireWithTheirIdUntilKilledOrTheControlGoes)
{
    ui::PaintManager& pm = wnd->PM();
    QWidget* btn = pm.FindControl("plain_btn");
    ASSERT_TRUE(pm.SetTimer(btn, 7, 5));
    ASSERT_TRUE(pm.SetTimer(btn, 8, 5));
    ASSERT_TRUE(pm.SetTimer(btn, 7, 5));  // again: still one timer for (btn, 7)
    EXPECT_FALSE(pm.SetTimer(nullptr, 1, 5));
    QTRY_VERIFY_WITH_TIMEOUT(wnd->of(ui::kNotifyTimer).size() >= 4, 5000);
    for (const Seen& s : wnd->of(ui::kNotifyTimer)) {
        EXPECT_EQ(s.sender, "plain_btn");
        EXPECT_TRUE(s.w == 7 || s.w == 8);
    }
    pm.KillTimer(btn, 7);
    EXPECT_FALSE(pm.HasTimer(btn, 7));
    EXPECT_TRUE(pm.HasTimer(btn, 8));
    wnd->seen.clear();
    QTRY_VERIFY_WITH_TIMEOUT(!wnd->of(ui::kNotifyTimer).empty(), 5000);
    for (const Seen& s : wnd->of(ui::kNotifyTimer))
        EXPECT_EQ(s.w, 8);

    delete btn;  // its timers die with it
    wnd->seen.clear();
    QTest::qWait(50);
    EXPECT_TRUE(wnd->of(ui::kNotifyTimer).empty());
}

TEST(Builder, CallbackThenFactoryThenQtAndUnknownClassYieldsNoControl)
{
    ui::PaintManager::SetResourcePath(kData);
    auto& factory = ui::ControlFactory::instance();
    factory.RegistControl("ColorWheel", [](QWidget* parent) {
        auto* w = new QWidget(parent);
        w->setProperty("madeby", "factory");
        return w;
    });
    factory.RegistControl("KEYPAD", [](QWidget* parent) { return new QWidget(parent); });
    EXPECT_TRUE(factory.has("colorWHEEL"));

    RecordingWnd wnd(QStringLiteral("custom.ui"));
    ASSERT_TRUE(wnd.Create(nullptr, QString()));
    QWidget* pad = wnd.PM().FindControl("pad_from_callback");
    QWidget* wheel = wnd.PM().FindControl("wheel_from_factory");
    ASSERT_NE(pad, nullptr);
    ASSERT_NE(wheel, nullptr);
    EXPECT_EQ(pad->property("madeby").toString(), "callback");
    EXPECT_EQ(wheel->property("madeby").toString(), "callback");  // the callback is asked first

    // Without a callback window the factory builds it, case-insensitively.
    ui::Builder plain;
    std::unique_ptr<QWidget> tree(plain.Create("custom.ui", nullptr));
    ASSERT_NE(tree, nullptr);
    QWidget* wheel2 = ui::PaintManager::FindSubControlByName(tree.get(), "wheel_from_factory");
    ASSERT_NE(wheel2, nullptr);
    EXPECT_EQ(wheel2->property("madeby").toString(), "factory");

    // The unknown class and what it contained are absent; its siblings are built.
    for (QWidget* root : {static_cast<QWidget*>(&wnd), tree.get()}) {
        EXPECT_EQ(ui::PaintManager::FindSubControlByName(root, "missing_ctrl"), nullptr);
        EXPECT_EQ(ui::PaintManager::FindSubControlByName(root, "inside_missing"), nullptr);
        EXPECT_NE(ui::PaintManager::FindSubControlByName(root, "after_missing"), nullptr);
    }
    factory.Unregister("colorwheel");
    factory.Unregister("keypad");
    EXPECT_FALSE(factory.has("ColorWheel"));
    EXPECT_EQ(factory.Create("colorwheel", nullptr), nullptr);
}

TEST_F(UiTest, LanguageResolvesIdsAndFollowsASwitch)
{
    auto& lang = ui::Language::instance();
    auto* btn = find<QPushButton>("plain_btn");
    auto* label = find<QLabel>("info_label");
    auto* check = find<QCheckBox>("check_opt");
    auto* combo = find<QComboBox>("mode_combo");
    EXPECT_EQ(btn->text(), "OK");
    EXPECT_EQ(btn->toolTip(), "Confirm");
    EXPECT_EQ(btn->property("textid").toString(), "btn_ok");
    EXPECT_EQ(label->text(), "label_unknown_id");  // unknown id shows as itself
    EXPECT_EQ(check->text(), "Plain text");        // an id without a text
    EXPECT_EQ(combo->itemText(0), "First");
    EXPECT_EQ(wnd->windowTitle(), "Window");

    // A control whose text code sets to an id follows the switch; one set to plain text stops.
    auto* edit = find<QLineEdit>("name_edit");
    edit->setText("btn_ok");  // a user's text, never translated
    lang.SetTextId(check, "menu_exit");
    EXPECT_EQ(check->text(), "Exit");

    ASSERT_TRUE(lang.SetLanguage(kData + "/lang_b.xml"));
    EXPECT_EQ(btn->text(), "确定");
    EXPECT_EQ(btn->toolTip(), "确认");
    EXPECT_EQ(label->text(), "标签");
    EXPECT_EQ(check->text(), "退出");
    EXPECT_EQ(combo->itemText(0), "第一");
    EXPECT_EQ(combo->itemText(1), "combo_second");
    EXPECT_EQ(wnd->windowTitle(), "窗口");
    EXPECT_EQ(edit->text(), "btn_ok");
    EXPECT_EQ(lang.Text("nope_nope"), "nope_nope");

    btn->setText("Typed by code");
    EXPECT_FALSE(lang.SetLanguage(kData + "/lang_broken.xml"));  // kept the current texts
    EXPECT_FALSE(lang.SetLanguage(kData + "/missing.xml"));
    EXPECT_EQ(lang.Text("btn_ok"), "确定");
    ASSERT_TRUE(lang.SetLanguage(kData + "/lang_a.xml"));
    EXPECT_EQ(btn->text(), "Typed by code");
    EXPECT_EQ(check->text(), "Exit");
    EXPECT_EQ(label->text(), "label_unknown_id");
}

TEST_F(UiTest, TextsThatCodeSetsStayPlainHowEverTheyLook)
{
    // Names a user gave a profile, macro or preset, shaped like ids the language file has.
    auto& lang = ui::Language::instance();
    auto* label = find<QLabel>("info_label");
    auto* combo = find<QComboBox>("mode_combo");
    auto* btn = find<QPushButton>("plain_btn");
    label->setText("menu_exit");
    combo->addItem("menu_more");
    combo->setItemText(1, "btn_ok");
    btn->setToolTip("tip_ok");
    auto* added = new QPushButton("menu_exit", wnd->Root());  // a control code adds later
    for (const char* file : {"/lang_a.xml", "/lang_b.xml"}) {
        ASSERT_TRUE(lang.SetLanguage(kData + file)) << file;
        lang.Apply(wnd.get());
        EXPECT_EQ(label->text(), "menu_exit") << file;
        EXPECT_EQ(combo->itemText(3), "menu_more") << file;
        EXPECT_EQ(combo->itemText(1), "btn_ok") << file;
        EXPECT_EQ(btn->toolTip(), "tip_ok") << file;
        EXPECT_EQ(added->text(), "menu_exit") << file;
    }
    EXPECT_EQ(combo->itemText(0), "第一") << "the skin's own items still follow";
    ASSERT_TRUE(lang.SetLanguage(kData + "/lang_a.xml"));
}

TEST_F(UiTest, ReachableControlsGetAccessibleNamesInTheCurrentLanguage)
{
    auto& lang = ui::Language::instance();
    auto* btn = find<QPushButton>("plain_btn");
    auto* slider = find<QSlider>("light_slider");
    auto* label = find<QLabel>("info_label");
    EXPECT_EQ(btn->accessibleName(), "OK");
    EXPECT_TRUE(label->accessibleName().isEmpty()) << "labels are read, not reached";

    // An icon-only control is named by its tool tip; one whose name code gave keeps it.
    btn->setText(QString());
    slider->setAccessibleName("Brightness");
    ASSERT_TRUE(lang.SetLanguage(kData + "/lang_b.xml"));
    EXPECT_EQ(btn->accessibleName(), "确认");
    EXPECT_EQ(slider->accessibleName(), "Brightness");
    ASSERT_TRUE(lang.SetLanguage(kData + "/lang_a.xml"));
    EXPECT_EQ(btn->accessibleName(), "Confirm");

    // A window built later gets its names too.
    RecordingWnd later;
    ASSERT_TRUE(later.Create(nullptr, QString()));
    EXPECT_EQ(later.PM().FindControl("plain_btn")->accessibleName(), "OK");
}

TEST_F(UiTest, ShowModalReturnsTheCloseCode)
{
    struct Case {
        const char* what;
        std::function<void(RecordingWnd&)> close;
        int expected;
    };
    const std::vector<Case> cases{
        {"Close(1)", [](RecordingWnd& w) { w.Close(1); }, 1},
        {"Close(0)", [](RecordingWnd& w) { w.Close(0); }, 0},
        {"Close(7)", [](RecordingWnd& w) { w.Close(7); }, 7},
        {"closed by the user", [](RecordingWnd& w) { w.close(); }, 0},
        {"hidden", [](RecordingWnd& w) { w.hide(); }, 0},
    };
    for (const Case& c : cases) {
        RecordingWnd box;
        box.Create(wnd.get(), "box");
        QTimer::singleShot(10, &box, [&box, &c] { c.close(box); });
        EXPECT_EQ(box.ShowModal(), c.expected) << c.what;
        EXPECT_FALSE(box.isVisible());
    }

    // A window that deletes itself when closed (as message boxes do) still returns its code.
    class SelfDeleting : public RecordingWnd {
    public:
        void OnFinalMessage() override { deleteLater(); }
    };
    auto* box = new SelfDeleting;
    box->Create(nullptr, "self");
    QPointer<SelfDeleting> alive(box);
    QTimer::singleShot(10, box, [box] { box->Close(1); });
    EXPECT_EQ(box->ShowModal(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);
}

TEST_F(UiTest, SendMessageFromAWorkerRunsOnTheWindowThread)
{
    intptr_t result = 0;
    std::thread worker([&] {
        result = wnd->SendMessage(0xC000, 1, 2);
        wnd->PostMessage(0x0C11, 3, 4);
    });
    QTRY_VERIFY_WITH_TIMEOUT(wnd->messages.size() == 2, 5000);
    worker.join();
    EXPECT_EQ(result, 0xC000 + 3);
    EXPECT_EQ(wnd->messageThread, QThread::currentThread());
    EXPECT_EQ(wnd->messages[1], std::make_tuple(uint32_t{0x0C11}, intptr_t{3}, intptr_t{4}));
    // On the window's own thread SendMessage runs at once.
    EXPECT_EQ(wnd->SendMessage(5, 0, 0), 5);
    EXPECT_EQ(wnd->messages.size(), 3u);
}

TEST_F(UiTest, MenuBuildsFromXmlAndReportsTheChosenItem)
{
    ui::MenuWnd* menu = ui::MenuWnd::Popup("menu.xml", QPoint(10, 10), wnd.get());
    ASSERT_NE(menu, nullptr);
    QAction* exit = menu->FindItem("exit");
    QAction* deep = menu->FindItem("deep_item");
    ASSERT_NE(exit, nullptr);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(exit->text(), "Exit");
    EXPECT_TRUE(deep->isChecked());
    EXPECT_EQ(menu->FindItem("more")->menu()->title(), "More");

    exit->trigger();
    EXPECT_EQ(wnd->menuItem, "exit");
    ASSERT_EQ(wnd->of(ui::kNotifyMenu).size(), 1u);
    EXPECT_EQ(wnd->of(ui::kNotifyMenu).front().w, ui::kMenuCommand);
    deep->trigger();
    EXPECT_EQ(wnd->menuItem, "deep_item");

    ASSERT_TRUE(ui::Language::instance().SetLanguage(kData + "/lang_b.xml"));
    EXPECT_EQ(exit->text(), "退出");
    ASSERT_TRUE(ui::Language::instance().SetLanguage(kData + "/lang_a.xml"));

    // A second popup replaces the first; a missing file gives none.
    QPointer<ui::MenuWnd> first(menu);
    EXPECT_NE(ui::MenuWnd::Popup("menu.xml", QPoint(0, 0), wnd.get()), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 5000);
    EXPECT_EQ(ui::MenuWnd::Popup("no_menu.xml", QPoint(0, 0), wnd.get()), nullptr);
}

TEST_F(UiTest, TrayClicksReachTheOwnersMessageHandler)
{
    ui::TrayIcon tray;
    tray.Create(wnd.get(), QIcon(), "tip one", ui::kTrayMessage);
    tray.SetTip("tip two");
    EXPECT_EQ(tray.Tip(), "tip two");
    tray.Activate(QSystemTrayIcon::Trigger);
    tray.Activate(QSystemTrayIcon::Context);
    tray.Activate(QSystemTrayIcon::MiddleClick);  // not a message
    ASSERT_EQ(wnd->messages.size(), 2u);
    EXPECT_EQ(wnd->messages[0], std::make_tuple(ui::kTrayMessage, intptr_t{0}, ui::kTrayLeftButtonUp));
    EXPECT_EQ(wnd->messages[1], std::make_tuple(ui::kTrayMessage, intptr_t{0}, ui::kTrayRightButtonUp));
}

TEST_F(UiTest, DpiScalesFontsAndFixedSizesAndReturnsExactly)
{
    ui::PaintManager& pm = wnd->PM();
    auto* label = find<QLabel>("info_label");
    pm.AddFont(3, "Sans", 12, true, false, false);
    EXPECT_EQ(label->font().pixelSize(), 12);
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(pm.GetFont(99).pixelSize(), pm.GetDefaultFont().pixelSize());  // unknown id

    const QSize size = wnd->size();
    pm.SetDPI(144);
    EXPECT_EQ(pm.GetDPI(), 144);
    EXPECT_EQ(label->font().pixelSize(), 18);
    EXPECT_EQ(label->minimumSize(), QSize(150, 30));
    EXPECT_EQ(wnd->size(), size * 1.5);
    // The same DPI again changes nothing: a size the user chose since stays.
    wnd->resize(size * 2);
    ui::PaintManager::SetAllDPI(144);
    pm.SetDPI(144);
    EXPECT_EQ(wnd->size(), size * 2);
    EXPECT_EQ(label->font().pixelSize(), 18);
    ui::PaintManager::SetAllDPI(96);
    EXPECT_EQ(label->font().pixelSize(), 12);
    EXPECT_EQ(label->minimumSize(), QSize(100, 20));
    EXPECT_EQ(wnd->size(), size);
}

TEST(WindowLifetime, ControlsDyingWithTheWindowRaiseNothing)
{
    // A list emits a current-row change while it is torn down; the window must not hear it.
    ui::PaintManager::SetResourcePath(kData);
    int afterDestroy = 0;
    bool destroying = false;
    {
        auto wnd = std::make_unique<RecordingWnd>();
        ASSERT_TRUE(wnd->Create(nullptr, QString()));
        wnd->PM().Find<QListWidget>("name_list")->setCurrentRow(1);
        wnd->PM().SetTimer(wnd->PM().FindControl("plain_btn"), 1, 0);
        wnd->onNotify = [&](TNotifyUI&) { afterDestroy += destroying ? 1 : 0; };
        destroying = true;
    }
    QTest::qWait(20);
    EXPECT_EQ(afterDestroy, 0);
}

}  // namespace
