#include <QAbstractButton>
#include <QHBoxLayout>
#include <algorithm>
#include <array>
#include <QLabel>
#include <QPaintEvent>
#include <QScreen>
#include <map>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/Builder.h"
#include "ui/CCircleProgressUI.h"
#include "ui/CDeviceKeyButtonUI.h"

#include <QFontMetrics>
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

namespace {

// A window that records the notifications of the controls put into it and builds the skin's
// own control tags, as the main window does.
class HostWnd : public WindowImplBase {
public:
    HostWnd() { resize(800, 400); }
    void Notify(TNotifyUI& msg) override
    {
        seen.emplace_back(msg.sType, msg.pSender ? msg.pSender->objectName() : QString());
    }
    QWidget* CreateControl(const QString& className) override
    {
        if (className.compare(QLatin1String("CircleProgress"), Qt::CaseInsensitive) == 0)
            return new ui::CCircleProgressUI;
        return nullptr;
    }
    int count(const QString& type, const QString& sender) const
    {
        return static_cast<int>(std::count(seen.begin(), seen.end(), std::make_pair(type, sender)));
    }
    std::vector<std::pair<QString, QString>> seen;
};

class SkinFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::PaintManager::SetResourcePath(QStringLiteral(TESSEL_SKIN_DIR));
        ui::Language::instance().LoadLanguage(QStringLiteral(TESSEL_SKIN_DIR "/lan_en.xml"));
        auto& f = ui::ControlFactory::instance();
        f.RegistControl(QStringLiteral("DeviceOption"), [](QWidget* p) { return new ui::CDeviceOptionUI(p); });
        f.RegistControl(QStringLiteral("MpDevicePower"), [](QWidget* p) { return new ui::CMpDevicePowerUI(p); });
    }
    template <class T>
    T* build(const char* file)
    {
        ui::Builder builder(&wnd);
        return qobject_cast<T*>(builder.Create(QLatin1String(file), &wnd));
    }
    HostWnd wnd;
};

TEST(CircleProgress, SweepIsTheValueShareOfTheRange)
{
    struct Case { int value, min, max; double degrees; };
    for (const Case& c : {Case{50, 0, 100, 180.0}, Case{0, 0, 100, 0.0}, Case{100, 0, 100, 360.0},
                          Case{25, 0, 50, 180.0}, Case{5, 5, 5, 0.0}}) {
        EXPECT_DOUBLE_EQ(ui::CCircleProgressUI::SweepDegrees(c.value, c.min, c.max), c.degrees)
            << c.value << " of " << c.min << ".." << c.max;
    }
    EXPECT_EQ(ui::CCircleProgressUI::kStartAngle, 90);
}

TEST(DeviceKeyButton, PackedColourIsRedBlueGreenFromTheLowByte)
{
    struct Case { uint32_t packed; uint8_t brightness; QColor shown; };
    for (const Case& c : {Case{0x0000FF, 255, QColor(255, 0, 0)}, Case{0x00FF00, 255, QColor(0, 0, 255)},
                          Case{0xFF0000, 255, QColor(0, 255, 0)}, Case{0xFFFFFF, 0, QColor(0, 0, 0)},
                          Case{0x80FF40, 255, QColor(0x40, 0x80, 0xFF)}}) {
        EXPECT_EQ(ui::CDeviceKeyButtonUI::ShownColour(c.packed, c.brightness), c.shown) << std::hex << c.packed;
    }
    // Half brightness halves every component (rounded down).
    EXPECT_EQ(ui::CDeviceKeyButtonUI::ShownColour(0xFFFFFF, 128), QColor(128, 128, 128));
}

TEST(DeviceKeyButton, SelectingTheSameValueAgainChangesNothing)
{
    ui::CDeviceKeyButtonUI key;
    QSignalSpy spy(&key, &ui::CDeviceKeyButtonUI::selectedChanged);
    key.SetSelected(false);
    key.SetSelected(true);
    key.SetSelected(true);
    key.SetSelected(false);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_TRUE(key.IsKeySetHidden());
    EXPECT_FALSE(key.LightFlag());
    key.SetGameNameTextColor(QStringLiteral("FF00FF"));
    EXPECT_EQ(key.GameNameTextColor(), QColor(255, 0, 255));
}

// A function's name on a key of the keyboard picture stays whole: smaller, then on two lines;
// only a name that fits neither way is cut. Keys at 1x, 1.5x and 2x.
TEST(DeviceKeyButton, ALongLegendGoesSmallerThenOnTwoLinesBeforeItIsCut)
{
    struct Case {
        QSize key;
        QString text;
        bool twoLines;
    };
    const Case cases[] = {
        {{28, 28}, QStringLiteral("Esc"), false},
        {{28, 28}, QStringLiteral("Left Button"), true},
        {{42, 42}, QStringLiteral("Left Button"), true},
        {{56, 56}, QStringLiteral("Left Button"), false},
        {{56, 28}, QStringLiteral("LCtrl+C"), false},
        {{28, 28}, QStringLiteral("LCtrl+Shift"), true},
        {{66, 64}, QStringLiteral("Left Button"), false},
    };
    for (const Case& c : cases) {
        ui::CDeviceKeyButtonUI key;
        key.resize(c.key);
        const QString shown = key.LegendLayout(c.text);
        const QFontMetrics fm(key.LegendFont(c.text));
        SCOPED_TRACE((c.text + QStringLiteral(" on %1x%2").arg(c.key.width()).arg(c.key.height())).toStdString());
        EXPECT_FALSE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_EQ(shown.contains('\n'), c.twoLines) << shown.toStdString();
        EXPECT_EQ(QString(shown).remove('\n').remove(' '), QString(c.text).remove(' '));
        for (const QString& line : shown.split('\n'))
            EXPECT_LE(fm.horizontalAdvance(line), c.key.width() - 4) << line.toStdString();
        EXPECT_GE(key.LegendFont(c.text).pixelSize(), 7);
    }
    // Nothing to split and too long for the key: cut, at the smallest size.
    ui::CDeviceKeyButtonUI key;
    key.resize(20, 20);
    EXPECT_TRUE(key.LegendLayout(QStringLiteral("Backspace")).endsWith(QChar(0x2026)));
}

TEST_F(SkinFixture, DragOverTwoOfThreeKeysSelectsExactlyThoseAndNotifiesOnce)
{
    auto* panel = new ui::CSelectPanelUI(&wnd);
    panel->setObjectName(QStringLiteral("keyboard_device_key_light"));
    panel->setGeometry(0, 0, 400, 200);
    std::vector<ui::CDeviceKeyButtonUI*> keys;
    for (int i = 0; i < 3; ++i) {
        auto* key = new ui::CDeviceKeyButtonUI(panel);
        key->setObjectName(QStringLiteral("key_%1").arg(i));
        key->setGeometry(20 + i * 120, 20, 60, 40);
        keys.push_back(key);
    }
    keys[2]->SetSelected(true);  // selected before, outside the drag: loses it
    wnd.show();
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(10, 100));
    QTest::mouseMove(panel, QPoint(150, 50));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(160, 30));

    EXPECT_TRUE(keys[0]->IsSelected());
    EXPECT_TRUE(keys[1]->IsSelected());
    EXPECT_FALSE(keys[2]->IsSelected());
    EXPECT_EQ(panel->SelectionRect(), QRect(QPoint(10, 30), QPoint(160, 100)));
    EXPECT_EQ(wnd.count(QStringLiteral("click_select_end"), panel->objectName()), 1);
}

// Records the paint events a widget receives and the regions they cover.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            regions[watched].push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
    std::map<QObject*, std::vector<QRegion>> regions;
};

TEST_F(SkinFixture, KeysPaintedTogetherRepaintOnlyTheChangedKeysInOnePaintOverThem)
{
    auto* panel = new ui::CSelectPanelUI(&wnd);
    panel->setGeometry(0, 0, 400, 200);
    std::vector<ui::CDeviceKeyButtonUI*> keys;
    for (int i = 0; i < 3; ++i) {
        auto* key = new ui::CDeviceKeyButtonUI(panel);
        key->setText(QStringLiteral("W"));
        key->setGeometry(20 + i * 60, 30, 50, 40);
        keys.push_back(key);
    }
    panel->SetKeysPaintedTogether(true);
    wnd.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wnd));
    QWidget* layer = panel->KeyLayer();
    ASSERT_NE(layer, nullptr);
    // Over exactly the keys, opaque, and the mouse still finds the keys under it.
    EXPECT_EQ(layer->geometry(), QRect(20, 30, 170, 40));
    EXPECT_TRUE(layer->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_EQ(panel->childAt(keys[1]->geometry().center()), keys[1]);
    QTest::qWait(50);

    PaintRecorder paints;
    layer->installEventFilter(&paints);
    for (auto* key : keys)
        key->installEventFilter(&paints);
    // Bright yellow and dark blue, both at full brightness; the middle key keeps its colour.
    keys[0]->SetLightColour(0x00FF00FF, 255, true);
    keys[1]->SetLightColour(keys[1]->LightColourPacked(), keys[1]->LightBrightness(), keys[1]->LightFlag());
    keys[2]->SetLightColour(0x0000FF00, 255, true);
    for (int i = 0; i < 20 && paints.regions[layer].empty(); ++i)
        QTest::qWait(10);

    ASSERT_EQ(paints.regions[layer].size(), 1u);
    const QPoint offset = layer->pos();
    EXPECT_EQ(paints.regions[layer][0],
              QRegion(keys[0]->geometry().translated(-offset)) + keys[2]->geometry().translated(-offset));
    for (auto* key : keys)
        EXPECT_TRUE(paints.regions[key].empty()) << "a key painted itself";

    // What is on screen: the lit caps in their colours, a dark legend on the bright key and a
    // light one on the dark key.
    const QImage shown = wnd.screen()->grabWindow(wnd.winId()).toImage();
    ASSERT_FALSE(shown.isNull());
    auto at = [&](const ui::CDeviceKeyButtonUI* key, int x, int y) {
        return shown.pixelColor(key->mapTo(&wnd, QPoint(x, y)));
    };
    EXPECT_EQ(at(keys[0], 6, 20), QColor(255, 255, 0));
    EXPECT_EQ(at(keys[2], 6, 20), QColor(0, 0, 255));
    auto legendLuma = [&](const ui::CDeviceKeyButtonUI* key, bool darkest) {
        int best = darkest ? 255 : 0;
        for (int y = 10; y < 30; ++y)
            for (int x = 15; x < 35; ++x) {
                const QColor c = at(key, x, y);
                const int luma = (299 * c.red() + 587 * c.green() + 114 * c.blue()) / 1000;
                best = darkest ? std::min(best, luma) : std::max(best, luma);
            }
        return best;
    };
    EXPECT_LT(legendLuma(keys[0], true), 100);
    EXPECT_GT(legendLuma(keys[2], false), 150);

    // A key moved beyond the others takes the layer with it; turned off, the keys paint
    // themselves again.
    keys[1]->move(300, 120);
    EXPECT_EQ(panel->KeyLayer()->geometry(), QRect(20, 30, 330, 130));
    panel->SetKeysPaintedTogether(false);
    EXPECT_EQ(panel->KeyLayer(), nullptr);
    EXPECT_EQ(keys[0]->SharedPainter(), nullptr);
}

TEST_F(SkinFixture, PowerPanelShowsStatusBlocks)
{
    struct Case {
        const char* what;
        int type;
        std::array<uint8_t, 6> block;
        QString value;
        int progress;
        bool wireless;
        QString chargeImage;
        QString phoneId;  // empty: the phone line keeps what it showed
    };
    const Case cases[] = {
        {"pad charging a phone of unknown kind", 3, {35, 1, 0, 0, 0, 7}, "35%", 65, false,
         "power/powering.png", "Phone_type_no_device"},
        {"pad with an iPhone", 3, {100, 0, 0, 0, 0, 1}, "100%", 0, false, "power/powered.png",
         "Phone_type_iphone"},
        {"pad with a Samsung phone", 3, {0, 2, 0, 0, 0, 2}, "0%", 100, false, "power/power.png",
         "Phone_type_samsung"},
        {"mouse through its receiver", 2, {80, 2, 0, 1, 0, 3}, "80%", 20, true, "power/power.png", ""},
        {"keyboard ignores the phone byte", 1, {50, 0, 0, 0, 0, 1}, "50%", 50, false,
         "power/powered.png", ""},
    };
    for (const Case& c : cases) {
        auto* panel = build<ui::CMpDevicePowerUI>(ui::CMpDevicePowerUI::kLayoutFile);
        ASSERT_NE(panel, nullptr);
        auto* phone = panel->findChild<QLabel*>(QStringLiteral("device_phone_type"));
        ASSERT_NE(phone, nullptr);
        phone->setText(QStringLiteral("untouched"));
        panel->SetDeviceKind(c.type, 0);
        ASSERT_TRUE(panel->ShowStatus(c.block.data(), c.block.size())) << c.what;

        EXPECT_EQ(panel->findChild<QLabel*>(QStringLiteral("device_power_value"))->text(), c.value) << c.what;
        EXPECT_EQ(panel->findChild<ui::CCircleProgressUI*>(QStringLiteral("device_Power_progress"))->value(),
                  c.progress) << c.what;
        EXPECT_EQ(!panel->findChild<QWidget*>(QStringLiteral("device_wuxian_logo"))->isHidden(), c.wireless) << c.what;
        auto* status = panel->findChild<QLabel*>(QStringLiteral("device_power_status"));
        EXPECT_EQ(status->property("image").toString(), c.chargeImage) << c.what;
        EXPECT_FALSE(status->accessibleName().isEmpty()) << c.what;
        if (c.phoneId.isEmpty()) {
            EXPECT_EQ(phone->text(), QStringLiteral("untouched")) << c.what;
        } else {
            EXPECT_EQ(phone->property("textid").toString(), c.phoneId) << c.what;
            EXPECT_EQ(phone->text(), ui::Language::instance().Text(c.phoneId)) << c.what;
        }
        delete panel;
    }
}

TEST_F(SkinFixture, PowerPanelRefusesShortBlocksAndPanelsWithoutTheirControls)
{
    auto* panel = build<ui::CMpDevicePowerUI>(ui::CMpDevicePowerUI::kLayoutFile);
    ASSERT_NE(panel, nullptr);
    const uint8_t block[6] = {35, 1, 0, 1, 0, 1};
    EXPECT_FALSE(panel->ShowStatus(block, 5));
    EXPECT_FALSE(panel->ShowStatus(nullptr, 6));

    ui::CMpDevicePowerUI bare;  // no skin built into it
    EXPECT_FALSE(bare.ShowStatus(block, 6));

    panel->SetShowFlag(false);
    EXPECT_TRUE(panel->findChild<QWidget*>(QStringLiteral("device_power_Layout"))->isHidden());
    panel->SetShowFlag(true);
    EXPECT_FALSE(panel->findChild<QWidget*>(QStringLiteral("device_power_Layout"))->isHidden());
}

TEST(DeviceOption, KindChoosesIconSetAndNameText)
{
    struct Case { int type, variant; const char* key; };
    for (const Case& c : {Case{1, 0, "kb"}, Case{2, 0, "ms"}, Case{3, 0, "hard_mp"}, Case{3, 1, "soft_mp"},
                          Case{7, 0, "hd"}, Case{4, 0, "hd"}, Case{5, 0, "hub"}, Case{9, 0, "unknow"},
                          Case{0, 0, "unknow"}}) {
        ui::CDeviceOptionUI tab;
        tab.SetKind(c.type, c.variant);
        const QString base = QStringLiteral("common/device_ico/") + QLatin1String(c.key);
        EXPECT_EQ(tab.NormalIcon(), base + "_device_normal.png") << c.type << "/" << c.variant;
        EXPECT_EQ(tab.SelectedIcon(), base + "_device_selected.png");
        EXPECT_EQ(tab.SynchroNormalIcon(), base + "_device_synchro_normal.png");
        EXPECT_EQ(tab.SynchroSelectedIcon(), base + "_device_synchro_selected.png");
        EXPECT_EQ(tab.NameTextId(), QLatin1String(c.key) + QStringLiteral("_device_name_text"));
    }
}

TEST_F(SkinFixture, DeviceTabsShareOneExclusiveSelection)
{
    auto* strip = new QWidget(&wnd);
    strip->setLayout(new QHBoxLayout);
    auto* a = build<ui::CDeviceOptionUI>(ui::CDeviceOptionUI::kLayoutFile);
    auto* b = build<ui::CDeviceOptionUI>(ui::CDeviceOptionUI::kLayoutFile);
    ASSERT_TRUE(a && b);
    strip->layout()->addWidget(a);
    strip->layout()->addWidget(b);
    a->SetKind(1, 0);
    b->SetKind(2, 0);
    wnd.show();

    a->SetSelected(true, false);
    EXPECT_TRUE(wnd.seen.empty());  // shown without notifications
    // A click anywhere on the other tab moves the selection and raises "selectchanged".
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(b->width() / 2, b->height() - 4));
    EXPECT_TRUE(b->IsSelected());
    EXPECT_FALSE(a->IsSelected());
    EXPECT_GE(wnd.count(QStringLiteral("selectchanged"), QStringLiteral("device_select")), 1);

    // A hidden device gives up the selection without another tab taking it.
    b->SetSelected(false, false);
    EXPECT_FALSE(a->IsSelected());
    EXPECT_FALSE(b->IsSelected());

    // Icon-only options are named for screen readers by their tool tips, in the language.
    EXPECT_EQ(a->SelectButton()->accessibleName(), QStringLiteral("Keyboard"));
    b->SetStatusText(QStringLiteral("Cable · 80%"));
    EXPECT_EQ(b->SelectButton()->accessibleName(), QStringLiteral("Mouse, Cable · 80%"));
    EXPECT_FALSE(b->SynchroButton()->accessibleName().isEmpty());
}

TEST_F(SkinFixture, SynchroMarkSwitchesToTheSynchroIcons)
{
    auto* tab = build<ui::CDeviceOptionUI>(ui::CDeviceOptionUI::kLayoutFile);
    ASSERT_NE(tab, nullptr);
    tab->SetKind(3, 0);
    const auto iconKey = [tab] { return tab->SelectButton()->icon().cacheKey(); };
    const qint64 plain = iconKey();
    tab->SetSynchro(true, false);
    EXPECT_TRUE(tab->IsSynchro());
    EXPECT_NE(iconKey(), plain);
    EXPECT_FALSE(tab->SelectButton()->icon().isNull());
}

}  // namespace
