// The picture, list, chart and hosting controls on their own: built from their skin tags,
// the rules of the delete mark, the dragged picture, the recording button's fade, the hosted
// window and the chart's geometry.
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>

#include "ui/Builder.h"
#include "ui/CAudioRecordUI.h"
#include "ui/CChartViewUI.h"
#include "ui/CCloudShareListItemUI.h"
#include "ui/CComboEditContainerElementUI.h"
#include "ui/CHandImgButtonUI.h"
#include "ui/CHandImgSelectButtonUI.h"
#include "ui/CRedioMacroButtonUI.h"
#include "ui/CWndUI.h"
#include "ui/ControlFactory.h"
#include "ui/CustomControls.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

namespace {

// A window that keeps the notifications of the controls put into it.
class NotifyLog : public WindowImplBase {
public:
    NotifyLog() { resize(400, 300); }
    void Notify(TNotifyUI& msg) override
    {
        seen.push_back(msg.sType + QLatin1Char('/') + (msg.pSender ? msg.pSender->objectName() : QString()));
    }
    int count(const QString& entry) const { return int(std::count(seen.begin(), seen.end(), entry)); }
    QStringList seen;
};

// Puts `control` named `name` into a shown window and wires it, as a skin does.
template <class T>
T* Place(NotifyLog& wnd, T* control, const char* name, QRect geometry)
{
    control->setParent(&wnd);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    wnd.PM().Wire(control);
    wnd.show();
    control->show();
    return control;
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  held, mods);
    QApplication::sendEvent(w, &e);
}

// Every control comes from its skin tag (and from its class name), answers its class name, its
// own interface and its base's, and nothing else.
TEST(CustomControls, EachIsBuiltFromItsTagAndAnswersItsClassAndInterface)
{
    ui::RegisterCustomControls(ui::ControlFactory::instance());
    ui::Builder builder;
    std::unique_ptr<QWidget> root(builder.CreateFromFile(QStringLiteral(TESSEL_UI_TEST_DATA "/custom_controls.ui"), nullptr));
    ASSERT_NE(root, nullptr);
    struct Case {
        const char* name;
        const char* className;
        const char* baseInterface;
        std::function<QString(QWidget*)> cls;
        std::function<bool(QWidget*, const QString&)> answers;
    };
    auto of = [](auto* typed) {
        using T = std::remove_pointer_t<decltype(typed)>;
        return std::pair<std::function<QString(QWidget*)>, std::function<bool(QWidget*, const QString&)>>{
            [](QWidget* w) { auto* t = qobject_cast<T*>(w); return t ? t->GetClass() : QString(); },
            [](QWidget* w, const QString& n) { auto* t = qobject_cast<T*>(w); return t && t->GetInterface(n) == t; }};
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, const char* cls, const char* base, auto pair) {
        cases.push_back({name, cls, base, pair.first, pair.second});
    };
    add("hand", "HandImgButton", "Button", of((ui::CHandImgButtonUI*)nullptr));
    add("hand_by_class", "HandImgButton", "Button", of((ui::CHandImgButtonUI*)nullptr));
    add("hand_select", "HandImgSelectButton", "Button", of((ui::CHandImgSelectButtonUI*)nullptr));
    add("redio", "RedioMacroButton", "Button", of((ui::CRedioMacroButtonUI*)nullptr));
    add("wnd", "Wnd", "Control", of((ui::CWndUI*)nullptr));
    add("chart", "ChartView", "Control", of((ui::CChartViewUI*)nullptr));
    add("combo_edit", "ComboEditContainerElement", "ListContainerElement",
        of((ui::CComboEditContainerElementUI*)nullptr));
    add("cloud", "CloudShareListItemUI", "ListContainerElement", of((ui::CCloudShareListItemUI*)nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* w = root->findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(w, nullptr) << "not built from its tag";
        EXPECT_EQ(c.cls(w), QLatin1String(c.className));
        EXPECT_TRUE(c.answers(w, QString::fromLatin1(c.className).toLower()));
        EXPECT_TRUE(c.answers(w, QLatin1String(c.baseInterface)));
        EXPECT_FALSE(c.answers(w, QStringLiteral("Slider")));
    }
    ui::CAudioRecordUI spectrum;
    EXPECT_EQ(spectrum.GetClass(), "AudioRecord");
    EXPECT_EQ(spectrum.GetInterface("AudioRecord"), &spectrum);
}

TEST(HandImgButton, DeleteMarkSitsThirtyAndTwentyNineInFromTheCornerScaledWithTheDpi)
{
    EXPECT_EQ(ui::CHandImgButtonUI::DeleteMarkRect(QSize(100, 80), 1.0), QRect(70, 51, 20, 20));
    EXPECT_EQ(ui::CHandImgButtonUI::DeleteMarkRect(QSize(150, 120), 1.5), QRect(105, 76, 30, 30));
}

// A release on the mark deletes only with the no-delete flag off; elsewhere it is a click.
TEST(HandImgButton, ReleaseOnTheMarkDeletesOnlyWithoutTheNoDeleteFlag)
{
    struct Case {
        bool noDelete;
        bool onMark;
        int deletes, clicks;
    };
    for (const Case c : {Case{true, true, 0, 1}, Case{false, true, 1, 0}, Case{false, false, 0, 1}}) {
        SCOPED_TRACE(::testing::Message() << "noDelete " << c.noDelete << " onMark " << c.onMark);
        NotifyLog wnd;
        auto* b = Place(wnd, new ui::CHandImgButtonUI, "hand_1", QRect(10, 10, 100, 80));
        EXPECT_TRUE(b->NoDelete()) << "deleting is off until the skin allows it";
        b->SetNoDelete(c.noDelete);
        const QPoint at = c.onMark ? b->DeleteMarkRect().center() : QPoint(20, 20);
        SendMouse(b, QEvent::MouseButtonPress, at);
        SendMouse(b, QEvent::MouseButtonRelease, at);
        EXPECT_EQ(wnd.count("click_handdelete/hand_1"), c.deletes);
        EXPECT_EQ(wnd.count("click/hand_1"), c.clicks);
    }
}

TEST(HandImgButton, TheMarkShowsItsHotImageUnderTheMouseAndEnterAndLeaveNotify)
{
    NotifyLog wnd;
    auto* b = Place(wnd, new ui::CHandImgButtonUI, "hand_2", QRect(10, 10, 100, 80));
    b->SetDeleteNormalImage("del_normal.png");
    b->SetDeleteHotImage("del_hot.png");
    b->SetNoDelete(false);
    EXPECT_EQ(b->DeleteImageInUse(), "") << "not drawn while the mouse is elsewhere";
    QEnterEvent enter(QPointF(20, 20), QPointF(20, 20), QPointF(b->mapToGlobal(QPoint(20, 20))));
    QApplication::sendEvent(b, &enter);
    EXPECT_EQ(b->DeleteImageInUse(), "del_normal.png");
    SendMouse(b, QEvent::MouseMove, b->DeleteMarkRect().center());
    EXPECT_EQ(b->DeleteImageInUse(), "del_hot.png");
    b->SetNoDelete(true);
    EXPECT_EQ(b->DeleteImageInUse(), "");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(b, &leave);
    EXPECT_EQ(wnd.count("msenter/hand_2"), 1);
    EXPECT_EQ(wnd.count("msleave/hand_2"), 1);
}

// A 300 x 200 picture in a 100 x 80 frame: the part shown follows the drags and stays inside.
TEST(HandImgSelectButton, DragMovesTheShownPartWithinThePicture)
{
    NotifyLog wnd;
    auto* b = Place(wnd, new ui::CHandImgSelectButtonUI, "hand_select", QRect(0, 0, 100, 80));
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    b->SetImage(picture, "hand.png");
    EXPECT_EQ(b->SourceRect(), QRect(0, 0, 100, 80));
    EXPECT_EQ(b->ImageString(), "file='hand.png' source='0,0,100,80'");
    struct Drag {
        QPoint from, to;
        QRect shown;
    };
    SendMouse(b, QEvent::MouseButtonPress, QPoint(50, 50));
    for (const Drag d : {Drag{{50, 50}, {20, 30}, {30, 20, 100, 80}},     // the picture moves up-left
                         Drag{{20, 30}, {25, 30}, {25, 20, 100, 80}},
                         Drag{{25, 30}, {-500, -500}, {200, 120, 100, 80}},  // stops at the far edges
                         Drag{{-500, -500}, {900, 900}, {0, 0, 100, 80}}}) {  // and at the near ones
        SendMouse(b, QEvent::MouseMove, d.to);
        EXPECT_EQ(b->SourceRect(), d.shown) << "to " << d.to.x() << "," << d.to.y();
    }
    SendMouse(b, QEvent::MouseButtonRelease, QPoint(900, 900));
    SendMouse(b, QEvent::MouseMove, QPoint(10, 10));
    EXPECT_EQ(b->SourceRect(), QRect(0, 0, 100, 80)) << "moving after the release drags nothing";

    // A picture that fits is shown whole and stays put.
    QImage small(40, 30, QImage::Format_RGB32);
    small.fill(Qt::red);
    b->SetImage(small, "small.png");
    SendMouse(b, QEvent::MouseButtonPress, QPoint(10, 10));
    SendMouse(b, QEvent::MouseMove, QPoint(0, 0));
    EXPECT_EQ(b->ImageString(), "file='small.png' source='0,0,40,30'");
}

TEST(RedioMacroButton, FadeRunsFrom255DownTo80AndBackBy20)
{
    const std::vector<int> expected = {235, 215, 195, 175, 155, 135, 115, 95, 80,  100, 120,
                                       140, 160, 180, 200, 220, 240, 255, 235, 215};
    ui::CRedioMacroButtonUI::Fade f{255, true};
    std::vector<int> seen;
    for (size_t i = 0; i < expected.size(); ++i)
        seen.push_back((f = ui::CRedioMacroButtonUI::NextFade(f)).level);
    EXPECT_EQ(seen, expected);
}

TEST(RedioMacroButton, BlinksOnItsTimerOnlyWhileOnAndWithAnImage)
{
    ui::CRedioMacroButtonUI b;
    b.SetBlinking(true);
    QTest::qWait(3 * ui::CRedioMacroButtonUI::kTimerMs);
    EXPECT_EQ(b.FadeLevel(), 255) << "no image, nothing fades";
    b.SetRedioImage("record.png");
    ASSERT_TRUE(QTest::qWaitFor([&] { return b.FadeLevel() < 255; }, 5000)) << "the timer does not run";
    EXPECT_EQ(b.ImageString(), QStringLiteral("res='record.png' fade='%1'").arg(b.FadeLevel()));
    EXPECT_EQ((255 - b.FadeLevel()) % 20, 0);
    b.SetBlinking(false);
    EXPECT_EQ(b.FadeLevel(), 255);
    QTest::qWait(3 * ui::CRedioMacroButtonUI::kTimerMs);
    EXPECT_EQ(b.FadeLevel(), 255) << "the timer stopped with the blinking";
}

// The hosted window takes the control's place and visibility: on the screen for a window of its
// own, in the window's coordinates for a child of the control's window.
TEST(Wnd, HostedWindowFollowsTheControl)
{
    QWidget top;
    top.setGeometry(100, 100, 400, 300);
    auto* host = new ui::CWndUI(&top);
    host->setGeometry(20, 30, 120, 90);
    QWidget separate;
    auto* child = new QWidget(&top);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));

    host->Attach(&separate);
    EXPECT_TRUE(separate.isVisible());
    EXPECT_EQ(separate.geometry(), QRect(host->mapToGlobal(QPoint(0, 0)), QSize(120, 90)));
    host->setGeometry(50, 60, 100, 70);
    EXPECT_EQ(separate.geometry(), QRect(host->mapToGlobal(QPoint(0, 0)), QSize(100, 70)));
    host->hide();
    EXPECT_FALSE(separate.isVisible());
    host->show();
    EXPECT_TRUE(separate.isVisible());

    host->Attach(child);
    EXPECT_EQ(child->geometry(), QRect(50, 60, 100, 70));
    host->move(5, 6);
    EXPECT_EQ(child->geometry(), QRect(5, 6, 100, 70));
    host->Attach(nullptr);
    separate.hide();
}

TEST(ChartView, PieSlicesShareTheCircleAndBarsTheLargestValue)
{
    using Items = std::vector<ui::CChartViewUI::Item>;
    struct PieCase {
        Items items;
        std::vector<int> spans;
    };
    for (const PieCase& c : {PieCase{{{"a", 1}, {"b", 1}, {"c", 2}}, {1440, 1440, 2880}},
                             PieCase{{{"a", 1}, {"b", 1}, {"c", 1}}, {1920, 1920, 1920}},
                             PieCase{{{"a", -5}, {"b", 5}}, {0, 5760}},
                             PieCase{{{"a", 0}, {"b", 0}}, {}},
                             PieCase{{}, {}}}) {
        EXPECT_EQ(ui::CChartViewUI::PieSpans(c.items), c.spans) << c.items.size() << " items";
    }
    // Three items of 1, 2 and 4 in a 300 x 100 area with bars at most 20 wide.
    const std::vector<QRect> bars =
        ui::CChartViewUI::BarRects({{"a", 1}, {"b", 2}, {"c", 4}}, QRect(0, 0, 300, 100), 20);
    ASSERT_EQ(bars.size(), 3u);
    const int heights[] = {25, 50, 100};
    for (size_t i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(bars[i].height(), heights[i]);
        EXPECT_EQ(bars[i].bottom(), 99) << "bars stand on the bottom";
        EXPECT_EQ(bars[i].width(), 20);
        EXPECT_EQ(bars[i].center().x() / 100, int(i)) << "each bar in its own slot";
    }

    ui::CChartViewUI chart;
    chart.SetViewName("histpgram");
    EXPECT_EQ(chart.GetView(), ui::CChartViewUI::View::Bars);
    chart.SetViewName("radar");
    EXPECT_EQ(chart.GetView(), ui::CChartViewUI::View::Bars) << "an unknown view changes nothing";
    chart.Add("DPI 800", 3);
    EXPECT_EQ(chart.accessibleDescription(), "DPI 800: 3");
}

TEST(CloudShareListItem, ActivationAndMenuNotifyOnceAndHoverFrames)
{
    NotifyLog wnd;
    auto* named = Place(wnd, new ui::CCloudShareListItemUI, "cloud_row", QRect(0, 0, 200, 30));
    auto* unnamed = new ui::CCloudShareListItemUI(&wnd);
    unnamed->setGeometry(0, 40, 200, 30);
    unnamed->show();
    SendMouse(named, QEvent::MouseButtonDblClick, QPoint(5, 5));
    QTest::keyClick(named, Qt::Key_Return);
    EXPECT_EQ(wnd.count("itemactivate/cloud_row"), 2);
    for (QWidget* row : {static_cast<QWidget*>(named), static_cast<QWidget*>(unnamed)}) {
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), row->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(row, &menu);
    }
    EXPECT_EQ(wnd.count("menu/cloud_row"), 1) << "the wiring and the row must not both report it";
    EXPECT_EQ(wnd.count("menu/"), 1);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(named, &enter);
    EXPECT_TRUE(named->IsHot());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(named, &leave);
    EXPECT_FALSE(named->IsHot());
}

TEST(ComboEditContainerElement, BuildsItsRowSelectsAndMarksChanges)
{
    ui::PaintManager::SetResourcePath(QStringLiteral(TESSEL_SKIN_DIR));
    NotifyLog wnd;
    auto* row = Place(wnd, new ui::CComboEditContainerElementUI, "preset_row", QRect(0, 0, 360, 34));
    ASSERT_TRUE(row->Init()) << "no combo or edit from the row's layout file";
    EXPECT_EQ(row->Combo()->objectName(), "text1");
    EXPECT_EQ(row->Edit()->objectName(), "delay_edit");
    ASSERT_NE(row->Caption(), nullptr);
    EXPECT_EQ(row->Caption()->objectName(), "text2");

    // Pressing selects, Ctrl toggles; every release on the row is an "itemclick".
    struct Press {
        Qt::KeyboardModifiers mods;
        bool selected;
    };
    for (const Press p : {Press{Qt::NoModifier, true}, Press{Qt::ControlModifier, false}, Press{Qt::ControlModifier, true},
                          Press{Qt::NoModifier, true}}) {
        SendMouse(row, QEvent::MouseButtonPress, QPoint(2, 2), p.mods);
        SendMouse(row, QEvent::MouseButtonRelease, QPoint(2, 2), p.mods);
        EXPECT_EQ(row->IsSelected(), p.selected);
    }
    EXPECT_EQ(wnd.count("itemclick/preset_row"), 4);
    QTest::keyClick(row, Qt::Key_Return);
    EXPECT_EQ(wnd.count("return/preset_row"), 1);

    EXPECT_FALSE(row->IsChanged());
    row->Combo()->addItems({"a", "b"});
    row->SetChanged(false);
    row->Combo()->setCurrentIndex(1);
    EXPECT_TRUE(row->IsChanged());
    row->SetChanged(false);
    QTest::keyClick(row->Edit(), Qt::Key_Return);
    EXPECT_TRUE(row->IsChanged());

    // A row the skin filled keeps its own controls.
    auto* filled = new ui::CComboEditContainerElementUI(&wnd);
    auto* box = new QHBoxLayout(filled);
    auto* combo = new QComboBox;
    auto* edit = new QLineEdit;
    box->addWidget(combo);
    box->addWidget(edit);
    EXPECT_EQ(filled->Combo(), combo);
    EXPECT_EQ(filled->Edit(), edit);
    EXPECT_EQ(filled->findChild<QWidget*>("text1"), nullptr);
}

}  // namespace
