// The window at the DPIs it is laid out at, with four devices on the simulator: no text cut, no
// control outside its parent, the keys and LED markers on their device picture; the layout holds
// still while the feature tabs and the lighting modes change; the dialogs are readable.
#include "tests/editors/PanelTestFixture.h"
#include "tests/editors/LayoutChecks.h"

#include "app/CMsgWnd.h"
#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"
#include "app/LanguageSettings.h"
#include "app/PrivateMessages.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/Language.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMessageBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTextDocument>
#include <QTimer>
#include <QtMath>
#include <cmath>
#include <map>

// Readable rectangles and sizes in failure messages.
void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
void PrintTo(const QList<QRect>& list, std::ostream* os)
{
    for (const QRect& r : list) {
        PrintTo(r, os);
        *os << "; ";
    }
}
void PrintTo(const QSize& s, std::ostream* os)
{
    *os << s.width() << "x" << s.height();
}

namespace {

struct DeviceCase {
    const char* sim;
    const char* kind;
};

const DeviceCase kDevices[] = {
    {"keyboard", "keyboard"},
    {"mouse", "mouse"},
    {"pad", "MousePad"},
    {"headset", "HD"},
};


bool shown(QWidget* w)
{
    return w->isVisible() && w->width() > 0 && w->height() > 0;
}

// Whether the widget is one of Qt's own parts of a composite control, which place themselves.
bool innerPart(QWidget* w)
{
    for (QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QAbstractScrollArea*>(p))
            return true;
    return w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"));
}

// The room a control gives its text and the width the text needs, or {0, 0} when the control
// shows no single-line text.
std::pair<int, int> textRoom(QWidget* w)
{
    const QFontMetrics fm(w->font());
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty() || label->wordWrap() || !label->pixmap().isNull())
            return {0, 0};
        QString text = label->text();
        if (Qt::mightBeRichText(text)) {
            QTextDocument doc;
            doc.setHtml(text);
            text = doc.toPlainText();
        }
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n')))
            widest = std::max(widest, fm.horizontalAdvance(line));
        return {label->contentsRect().width() - 2 * label->margin() - label->indent() * (label->indent() > 0), widest};
    }
    if (auto* check = qobject_cast<QCheckBox*>(w); check && !check->text().isEmpty()) {
        QStyleOptionButton o;
        o.initFrom(check);
        o.text = check->text();
        return {check->style()->subElementRect(QStyle::SE_CheckBoxContents, &o, check).width(), fm.horizontalAdvance(check->text())};
    }
    if (auto* radio = qobject_cast<QRadioButton*>(w); radio && !radio->text().isEmpty()) {
        QStyleOptionButton o;
        o.initFrom(radio);
        o.text = radio->text();
        return {radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &o, radio).width(), fm.horizontalAdvance(radio->text())};
    }
    if (auto* button = qobject_cast<QPushButton*>(w); button && !button->text().isEmpty()) {
        if (qobject_cast<ui::CDeviceKeyButtonUI*>(w))
            return {0, 0};  // a key's legend is set smaller to fit its cap
        QStyleOptionButton o;
        o.initFrom(button);
        o.text = button->text();
        o.features = button->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &o, button).width();
        if (!button->icon().isNull())
            room -= button->iconSize().width() + 4;
        return {room, fm.horizontalAdvance(button->text())};
    }
    if (auto* combo = qobject_cast<QComboBox*>(w); combo && !combo->currentText().isEmpty() && !combo->isEditable()) {
        QStyleOptionComboBox o;
        o.initFrom(combo);
        o.currentText = combo->currentText();
        o.editable = false;
        o.frame = combo->hasFrame();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, combo);
        return {field.width(), fm.horizontalAdvance(combo->currentText())};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !edit->text().isEmpty() && edit->echoMode() == QLineEdit::Normal) {
        QStyleOptionFrame o;
        o.initFrom(edit);
        o.rect = edit->contentsRect();
        o.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, edit) : 0;
        const QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &o, edit);
        const QMargins m = edit->textMargins();
        // QLineEdit keeps two pixels each side of its text.
        return {r.width() - m.left() - m.right() - 4, fm.horizontalAdvance(edit->text())};
    }
    return {0, 0};
}

// What is wrong with the layout of `root` as it is shown now.
QStringList layoutFaults(QWidget* root)
{
    // A status read that landed a moment ago (the pad's phone line shown or hidden) leaves its
    // layout pass posted: the check is of the layout the user sees, once it is done.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QStringList faults;
    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    for (QWidget* w : all) {
        if (!shown(w) || (w != root && w->window() != root->window()))
            continue;
        const QString name = w->objectName();
        if (!innerPart(w) || w == root) {
            const auto [room, needed] = textRoom(w);
            if (needed > room + 1)
                faults << QStringLiteral("cut text: %1 needs %2 px, has %3").arg(name).arg(needed).arg(room);
            if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap() && !label->text().isEmpty() &&
                                                        label->heightForWidth(label->width()) > label->height() + 1)
                faults << QStringLiteral("cut lines: %1 needs %2 px high, has %3")
                              .arg(name).arg(label->heightForWidth(label->width())).arg(label->height());
        }
        QWidget* parent = w->parentWidget();
        if (w != root && parent && !innerPart(w) && !w->isWindow() && !parent->rect().adjusted(-1, -1, 1, 1).contains(w->geometry()))
            faults << QStringLiteral("outside its parent: %1 at %2,%3 %4x%5 in %6 %7x%8")
                          .arg(name).arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())
                          .arg(parent->objectName()).arg(parent->width()).arg(parent->height());
    }
    // Keys and LED markers sit where the picture, stretched over its panel, has them.
    for (auto* panel : root->findChildren<ui::CSelectPanelUI*>()) {
        if (!shown(panel))
            continue;
        const QSize skin = panel->property("tessel_base_min").toSize().isValid() ? panel->property("tessel_base_min").toSize()
                                                                                  : panel->minimumSize();
        if (skin.isEmpty())
            continue;
        const double fx = double(panel->width()) / skin.width(), fy = double(panel->height()) / skin.height();
        QRect keys;
        for (auto* key : panel->findChildren<ui::CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly)) {
            if (key->isHidden())
                continue;
            keys |= key->geometry();
            const QVariant skinRect = key->property("tessel_skin_rect");
            const QRect s = skinRect.isValid() ? skinRect.toRect() : key->geometry();
            const QRect g = key->geometry();
            auto off = [](double want, int have) { return std::abs(want - have) > 1.0; };
            if (!panel->rect().contains(g) || off(s.x() * fx, g.x()) || off(s.y() * fy, g.y()) ||
                off((s.x() + s.width()) * fx, g.x() + g.width()) || off((s.y() + s.height()) * fy, g.y() + g.height()))
                faults << QStringLiteral("off its picture: %1/%2 at %3,%4 %5x%6, picture %7x%8")
                              .arg(panel->objectName(), key->objectName()).arg(g.x()).arg(g.y()).arg(g.width())
                              .arg(g.height()).arg(panel->width()).arg(panel->height());
        }
        if (QWidget* layer = panel->KeyLayer(); layer && layer->isVisible() && layer->geometry() != (keys & panel->rect()))
            faults << QStringLiteral("key layer of %1 does not cover its keys").arg(panel->objectName());
    }
    return faults + layoutchecks::SiblingOverlaps(root);
}

// The layout faults of `root` with each item of `combo` chosen in turn, each named by its item.
QStringList faultsOverItems(QWidget* root, QComboBox* combo, const QString& what)
{
    QStringList faults;
    for (int i = 0; i < combo->count(); ++i) {
        combo->setCurrentIndex(i);
        settleEvents();
        for (const QString& f : layoutFaults(root))
            faults << QStringLiteral("%1 %2: %3").arg(what, combo->itemText(i), f);
    }
    faults.removeDuplicates();
    return faults;
}


// WCAG relative luminance and contrast ratio.
double luminance(const QColor& c)
{
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double contrast(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most of a widget's pixels have in its window's picture, leaving out those of its
// text (colours near `text`): what the text is drawn on.
QColor backgroundOf(QWidget* w, const QColor& text = QColor())
{
    const QImage image = w->window()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRect area = QRect(QRectF(QRectF(w->mapTo(w->window(), QPoint(0, 0)), w->size()).topLeft() * ratio,
                                    QSizeF(w->size()) * ratio).toRect()) & image.rect();
    std::map<QRgb, int> count;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
        {
            const QRgb c = image.pixel(x, y);
            if (text.isValid() && std::abs(qRed(c) - text.red()) + std::abs(qGreen(c) - text.green()) +
                                          std::abs(qBlue(c) - text.blue()) < 48)
                continue;
            ++count[c | 0xff000000u];
        }
    QRgb best = 0;
    int most = -1;
    for (const auto& [rgb, n] : count)
        if (n > most)
            best = rgb, most = n;
    return QColor::fromRgb(best);
}

// Text controls of a dialog whose text colour reads below 4.5:1 on what they are drawn on.
QStringList contrastFaults(QWidget* dialog)
{
    QStringList faults;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (!shown(w) || !w->isEnabled())
            continue;
        QColor text;
        if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
            text = label->palette().color(label->foregroundRole());
        else if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty())
            text = b->palette().color(b->foregroundRole());
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            text = e->palette().color(QPalette::Text);
        else if (auto* v = qobject_cast<QAbstractItemView*>(w))
            text = v->palette().color(QPalette::Text);
        else if (auto* c = qobject_cast<QComboBox*>(w))
            text = c->palette().color(c->foregroundRole());
        else
            continue;
        QWidget* surface = w;
        if (auto* v = qobject_cast<QAbstractScrollArea*>(w))
            surface = v->viewport();
        const QColor background = backgroundOf(surface, text);
        const double ratio = contrast(text, background);
        if (ratio < 4.5)
            faults << QStringLiteral("%1 %2: %3 on %4 is %5:1")
                          .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text.name(),
                               background.name())
                          .arg(ratio, 0, 'f', 2);
    }
    return faults;
}

QString joined(const QStringList& list, int most = 25)
{
    return QStringList(list.mid(0, most)).join(QLatin1Char('\n')) +
           (list.size() > most ? QStringLiteral("\n... %1 more").arg(list.size() - most) : QString());
}

class LayoutTest : public PanelWithAudioChipTest {
protected:
    void plugAll()
    {
        for (const DeviceCase& c : kDevices)
            ASSERT_NE(plugAndShow(c.sim, c.kind), nullptr) << c.kind;
        // The start-up DPI set-up has run (it follows the offscreen screen) before a test sets its own.
        ASSERT_TRUE(waitFor([&] { return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup); }));
    }
    QRect inWindow(QWidget* w) const { return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size()); }
};

}  // namespace

// The checks themselves find a cut label, a cut number field and a control outside its parent.
TEST(LayoutChecks, FindCutTextsAndControlsOutsideTheirParent)
{
    QWidget root;
    root.setObjectName("root");
    root.resize(200, 100);
    auto* label = new QLabel(QStringLiteral("Direction of the wave"), &root);
    label->setObjectName("label");
    label->setGeometry(0, 0, 30, 20);
    auto* edit = new QLineEdit(QStringLiteral("255"), &root);
    edit->setObjectName("edit");
    edit->setGeometry(0, 30, 14, 24);
    auto* outside = new QWidget(&root);
    outside->setObjectName("outside");
    outside->setGeometry(180, 80, 40, 40);
    root.show();
    settleEvents();
    const QString faults = layoutFaults(&root).join('\n');
    EXPECT_TRUE(faults.contains("cut text: label")) << faults.toStdString();
    EXPECT_TRUE(faults.contains("cut text: edit")) << faults.toStdString();
    EXPECT_TRUE(faults.contains("outside its parent: outside")) << faults.toStdString();
    label->setGeometry(0, 0, 190, 20);
    edit->setGeometry(0, 30, 80, 24);
    outside->setGeometry(150, 50, 40, 40);
    settleEvents();
    EXPECT_TRUE(layoutFaults(&root).isEmpty()) << layoutFaults(&root).join('\n').toStdString();
}

// The overlap check finds controls laid over each other, and leaves the deliberate ones alone.
TEST(LayoutChecks, FindSiblingsThatOverlap)
{
    QWidget root;
    root.setObjectName("root");
    root.resize(300, 100);
    auto* combo = new QComboBox(&root);
    combo->setObjectName("combo");
    combo->setGeometry(0, 0, 150, 30);
    auto* button = new QPushButton(QStringLiteral("Sync all"), &root);
    button->setObjectName("button");
    button->setGeometry(120, 0, 100, 30);
    auto* ring = new QWidget(&root);
    ring->setObjectName("device_Power_progress");
    ring->setGeometry(0, 40, 60, 60);
    auto* value = new QLabel(QStringLiteral("100%"), &root);
    value->setObjectName("device_power_value");
    value->setGeometry(10, 60, 40, 20);
    root.show();
    settleEvents();
    EXPECT_EQ(layoutchecks::SiblingOverlaps(&root),
              QStringList{"overlap in root: combo at 0,0 150x30 and button at 120,0 100x30"});
    button->setGeometry(150, 0, 100, 30);  // side by side, sharing a border
    EXPECT_TRUE(layoutchecks::SiblingOverlaps(&root).isEmpty()) << layoutchecks::SiblingOverlaps(&root).join('\n').toStdString();
    // A panel laid over an empty corner of a page may not cover the page's own controls.
    auto* page = new QWidget(&root);
    page->setObjectName("device_switch");
    page->setGeometry(0, 100, 300, 100);
    auto* title = new QLabel(QStringLiteral("Mouse pad"), page);
    title->setObjectName("title");
    title->setGeometry(10, 10, 100, 20);
    auto* power = new QWidget(&root);
    power->setObjectName("device_power_switch");
    power->setGeometry(200, 100, 100, 50);
    root.resize(300, 200);
    page->show();
    power->show();
    settleEvents();
    EXPECT_TRUE(layoutchecks::SiblingOverlaps(&root).isEmpty()) << layoutchecks::SiblingOverlaps(&root).join('\n').toStdString();
    title->setGeometry(150, 10, 100, 20);
    EXPECT_EQ(layoutchecks::SiblingOverlaps(&root),
              QStringList{"device_power_switch at 200,100 100x50 covers title at 150,10 100x20"});
}

TEST_F(LayoutTest, EveryPageFitsAtEachDpi)
{
    plugAll();
    for (const int language : {kEnglish, kChinese})
    for (const int dpi : {96, 120, 144, 168, 192}) {
        window->ApplyLanguage(language);
        window->ApplyDpi(dpi);
        settleEvents();
        SCOPED_TRACE(language == kEnglish ? "English" : "Chinese");
        EXPECT_EQ(window->size(), QSize(1000, 640) * dpi / 96);
        // The device strip's icons grow with their buttons.
        for (auto* select : window->findChildren<QAbstractButton*>("device_select"))
            EXPECT_EQ(select->iconSize(), QSize(36, 36) * dpi / 96);
        for (const DeviceCase& c : kDevices) {
            CVantikUSBDevice* d = showLitPage(c.kind);
            ASSERT_NE(d, nullptr) << c.kind;
            for (QAbstractButton* tab : featureTabs(d)) {
                tab->click();
                settleEvents();
                SCOPED_TRACE(QStringLiteral("%1 dpi, %2, %3").arg(dpi).arg(c.kind, tab->objectName()).toStdString());
                const QStringList faults = layoutFaults(window.get());
                EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
            }
            // The key panel of a key chosen on the picture, with each function category.
            if (auto* keysTab = control<QAbstractButton>(d, "device_tab_keys"); keysTab && !keysTab->isHidden()) {
                keysTab->click();
                ASSERT_TRUE(waitFor([&] { return !d->KeyAssignments().empty(); }));
                QAbstractButton* key = nullptr;
                for (const KeyAssignmentPair& pair : d->KeyAssignments()) {
                    key = qobject_cast<QAbstractButton*>(d->KeyButton(pair.current.position));
                    if (key && key->isVisible())
                        break;
                    key = nullptr;
                }
                ASSERT_NE(key, nullptr);
                key->click();
                settleEvents();
                auto* categories = control<QComboBox>(d, "keyset_function_combo");
                ASSERT_NE(categories, nullptr);
                const QStringList faults = faultsOverItems(window.get(), categories, QStringLiteral("category"));
                EXPECT_TRUE(faults.isEmpty()) << dpi << " dpi, " << c.kind << " key panel:\n" << joined(faults).toStdString();
            }
            // Every lighting mode of the lighting page.
            if (auto* light = control<QAbstractButton>(d, "device_tab_light"))
                light->click();
            auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
            ASSERT_NE(modes, nullptr);
            const QStringList faults = faultsOverItems(window.get(), modes, QStringLiteral("mode"));
            EXPECT_TRUE(faults.isEmpty()) << dpi << " dpi, " << c.kind << " lighting modes:\n" << joined(faults).toStdString();
        }
    }
}

// At start-up the DPI is set before devices answer: their pages, built later, take the same
// scale as the window around them.
TEST_F(LayoutTest, PagesOfDevicesConnectedAfterTheDpiSetUpFitAtThatDpi)
{
    ASSERT_TRUE(waitFor([&] { return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup); }));
    window->ApplyDpi(144);
    plugAll();
    for (const DeviceCase& c : kDevices) {
        CVantikUSBDevice* d = showLitPage(c.kind);
        ASSERT_NE(d, nullptr) << c.kind;
        for (QAbstractButton* tab : featureTabs(d)) {
            tab->click();
            settleEvents();
            SCOPED_TRACE(QStringLiteral("%1, %2").arg(c.kind, tab->objectName()).toStdString());
            const QStringList faults = layoutFaults(window.get());
            EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
        }
    }
}

TEST_F(LayoutTest, TabsAndLightingModesLeaveTheLayoutWhereItIs)
{
    plugAll();
    for (const int dpi : {96, 144}) {
        window->ApplyDpi(dpi);
        settleEvents();
        const QSize size = window->size();
        for (const DeviceCase& c : kDevices) {
            CVantikUSBDevice* d = showLitPage(c.kind);
            ASSERT_NE(d, nullptr) << c.kind;
            auto* tabRow = control<QWidget>(d, "device_function_tabs");
            auto* picture = d->findChild<ui::CSelectPanelUI*>();
            ASSERT_NE(tabRow, nullptr);
            ASSERT_NE(picture, nullptr);
            const QList<QAbstractButton*> tabs = featureTabs(d);
            ASSERT_FALSE(tabs.isEmpty());
            tabs.first()->click();
            settleEvents();
            auto tabRects = [&] {
                QList<QRect> rects;
                for (QAbstractButton* tab : tabs)
                    rects << inWindow(tab);
                return rects;
            };
            const QList<QRect> row = tabRects();
            QRect pic;
            for (QAbstractButton* tab : tabs) {
                tab->click();
                settleEvents();
                SCOPED_TRACE(QStringLiteral("%1 dpi, %2, %3").arg(dpi).arg(c.kind, tab->objectName()).toStdString());
                EXPECT_EQ(tabRects(), row);
                if (picture->isVisible()) {
                    if (pic.isNull())
                        pic = inWindow(picture);
                    EXPECT_EQ(inWindow(picture), pic);
                }
                EXPECT_EQ(window->size(), size);
            }
            if (auto* light = control<QAbstractButton>(d, "device_tab_light"))
                light->click();
            auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
            ASSERT_NE(modes, nullptr);
            for (int m = 0; m < modes->count(); ++m) {
                modes->setCurrentIndex(m);
                settleEvents();
                SCOPED_TRACE(QStringLiteral("%1 dpi, %2, mode %3").arg(dpi).arg(c.kind, modes->itemText(m)).toStdString());
                EXPECT_EQ(inWindow(picture), pic);
                EXPECT_EQ(window->size(), size) << "the window asks for " << window->minimumSizeHint().height();
                EXPECT_EQ(tabRects(), row);
            }
        }
    }
}

TEST_F(LayoutTest, DialogsAreDarkReadableAndFitAtEachDpi)
{
    // Every text role of the palette the dialogs draw with reads on its surface.
    const QPalette palette = QApplication::palette();
    const std::pair<QPalette::ColorRole, QPalette::ColorRole> roles[] = {
        {QPalette::WindowText, QPalette::Window}, {QPalette::Text, QPalette::Base},
        {QPalette::Text, QPalette::AlternateBase}, {QPalette::ButtonText, QPalette::Button},
        {QPalette::HighlightedText, QPalette::Highlight}, {QPalette::ToolTipText, QPalette::ToolTipBase},
        {QPalette::PlaceholderText, QPalette::Base}, {QPalette::Link, QPalette::Base}};
    for (const auto& [text, surface] : roles)
        EXPECT_GE(contrast(palette.color(QPalette::Active, text), palette.color(QPalette::Active, surface)), 4.5)
            << int(text) << " on " << int(surface);

    plugAll();
    for (const int dpi : {96, 144, 192}) {
        window->ApplyDpi(dpi);
        settleEvents();
        SCOPED_TRACE(std::to_string(dpi) + " dpi");
        // The message box as the window shows it, with a body of several lines: looked at while
        // it waits for its answer, then answered.
        QStringList boxFaults;
        bool seen = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<CMsgWnd*>(top);
                if (!box || !box->isVisible() || seen)
                    continue;
                seen = true;
                settleEvents();
                boxFaults = layoutFaults(box) + contrastFaults(box);
                if (auto* confirm = box->PM().Find<QAbstractButton>(QStringLiteral("confirm_btn")))
                    confirm->click();
            }
        });
        poll.start();
        CMsgWnd::ShowMessage(window.get(), QString(),
                             QStringLiteral("The profile file could not be read. The damaged file was kept beside "
                                            "the new one so that nothing is lost; the default profile is used until "
                                            "you choose another."),
                             dpi, false, CMsgWnd::ConfirmAndCancel);
        poll.stop();
        EXPECT_TRUE(seen);
        EXPECT_TRUE(boxFaults.isEmpty()) << joined(boxFaults).toStdString();

        // The notice with its check box, the colour dialog and the file dialog Qt draws itself.
        QMessageBox notice(QMessageBox::Information, QString(), QStringLiteral("A notice to read"),
                           QMessageBox::Ok | QMessageBox::Cancel, window.get());
        auto* check = new QCheckBox(QStringLiteral("Do not show again"), &notice);
        check->setChecked(true);
        notice.setCheckBox(check);
        QColorDialog colours(window.get());
        colours.setOption(QColorDialog::DontUseNativeDialog);
        QFileDialog files(window.get(), QString(), home.path(), QStringLiteral("Profile Files(*.json)"));
        files.setOption(QFileDialog::DontUseNativeDialog);
        for (QDialog* dialog : std::initializer_list<QDialog*>{&notice, &colours, &files}) {
            dialog->show();
            settleEvents();
            SCOPED_TRACE(dialog->metaObject()->className());
            const QStringList faults = contrastFaults(dialog);
            EXPECT_TRUE(faults.isEmpty()) << joined(faults).toStdString();
            // Dark like the window.
            EXPECT_LT(luminance(backgroundOf(dialog)), 0.05) << backgroundOf(dialog).name().toStdString();
            dialog->hide();
        }
        // A ticked box and an unticked one do not look alike.
        check->setChecked(true);
        notice.show();
        settleEvents();
        const QImage ticked = check->grab().toImage();
        check->setChecked(false);
        settleEvents();
        const QImage unticked = check->grab().toImage();
        notice.hide();
        int differing = 0;
        for (int y = 0; y < ticked.height(); ++y)
            for (int x = 0; x < ticked.width(); ++x)
                differing += contrast(ticked.pixelColor(x, y), unticked.pixelColor(x, y)) > 3.0;
        EXPECT_GT(differing, ticked.width() * ticked.height() / 40);
    }
}

// The feature tabs are a tab list: a screen reader's press or toggle chooses a tab and shows its
// page, as a click does; so does a tab checked by a script; the arrow keys walk the tabs.
TEST_F(LayoutTest, FeatureTabsAreATabListForTheKeyboardAndScreenReaders)
{
    const std::map<QString, QString> pages = {
        {"device_tab_light", "LightControlItem"},   {"device_tab_keys", "KeySetControlItem"},
        {"device_tab_macro", "MacroControlItem"},   {"device_tab_system", "device_function_more"},
        {"device_tab_cursor", "CursorControlItem"}, {"device_tab_sound", "Voice6533ControlItem"},
        {"device_tab_magic", "MagicControlItem"},   {"device_tab_shoot", "ShootControlItem"},
        {"device_tab_profile", "DeviceProfileItem"}};
    plugAll();
    for (const DeviceCase& c : kDevices) {
        CVantikUSBDevice* d = showLitPage(c.kind);
        ASSERT_NE(d, nullptr) << c.kind;
        const QList<QAbstractButton*> tabs = featureTabs(d);
        ASSERT_GE(tabs.size(), 2) << c.kind;
        QAccessibleInterface* row = QAccessible::queryAccessibleInterface(control<QWidget>(d, "device_function_tabs"));
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::PageTabList);
        auto shows = [&](QAbstractButton* tab) {
            QWidget* page = control<QWidget>(d, pages.at(tab->objectName()).toLatin1().constData());
            return tab->isChecked() && page && page->isVisible();
        };
        // Backwards, so that every step changes the tab.
        for (qsizetype i = tabs.size() - 1; i >= 0; --i) {
            QAbstractButton* tab = tabs.at(i);
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.kind, tab->objectName()).toStdString());
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(tab);
            ASSERT_NE(a, nullptr);
            EXPECT_EQ(a->role(), QAccessible::PageTab);
            EXPECT_FALSE(a->text(QAccessible::Name).isEmpty());
            EXPECT_FALSE(a->text(QAccessible::Name).startsWith("device_tab_"));
            ASSERT_NE(a->actionInterface(), nullptr);
            a->actionInterface()->doAction(i % 2 ? QAccessibleActionInterface::toggleAction()
                                                 : QAccessibleActionInterface::pressAction());
            settleEvents();
            EXPECT_TRUE(shows(tab));
            EXPECT_TRUE(a->state().checked);
        }
        // Checked without a click.
        tabs.last()->setChecked(true);
        settleEvents();
        EXPECT_TRUE(shows(tabs.last()));
        // Arrow keys from the first tab: right, then left again; left from the first wraps.
        tabs.first()->click();
        tabs.first()->setFocus();
        settleEvents();
        QTest::keyClick(tabs.first(), Qt::Key_Right);
        settleEvents();
        EXPECT_TRUE(shows(tabs.at(1)));
        EXPECT_TRUE(tabs.at(1)->hasFocus() || !window->isActiveWindow());
        QTest::keyClick(tabs.at(1), Qt::Key_Left);
        settleEvents();
        EXPECT_TRUE(shows(tabs.first()));
        QTest::keyClick(tabs.first(), Qt::Key_Left);
        settleEvents();
        EXPECT_TRUE(shows(tabs.last()));
    }
}

// The power panel's pictures (charge state, wireless link, the phone on the pad's charger) grow
// with the window: their boxes follow the DPI and the picture fills its box at each.
TEST_F(LayoutTest, PowerPanelPicturesGrowWithTheWindow)
{
    ASSERT_NE(plugAndShow("pad", "MousePad"), nullptr);
    ASSERT_NE(plugAndShow("mouse", "mouse", "receiver"), nullptr);
    ASSERT_TRUE(waitFor([&] { return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup); }));
    // The columns of a picture that differ from its box's corner: how wide it is drawn.
    auto drawnWidth = [](QLabel* label) {
        const QImage image = label->grab().toImage();
        const QColor corner = image.pixelColor(0, 0);
        int first = image.width(), last = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (contrast(image.pixelColor(x, y), corner) > 1.5) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return last < first ? 0.0 : (last - first + 1) / image.devicePixelRatio();
    };
    const std::pair<const char*, const char*> pictures[] = {
        {"MousePad", "device_power_status"}, {"MousePad", "device_phone_icon"}, {"mouse", "device_wuxian_logo"}};
    for (const int dpi : {96, 144, 192}) {
        window->ApplyDpi(dpi);
        for (const auto& [kind, name] : pictures) {
            CVantikUSBDevice* d = showLitPage(kind);
            ASSERT_NE(d, nullptr) << kind;
            ASSERT_NE(d->PowerPanel(), nullptr) << kind;
            ASSERT_TRUE(waitFor([&] { return d->PowerPanel()->isVisible(); })) << kind;
            auto* label = d->PowerPanel()->findChild<QLabel*>(name);
            ASSERT_NE(label, nullptr) << name;
            ASSERT_TRUE(waitFor([&] { return label->isVisible(); })) << kind << " " << name;
            settleEvents();
            SCOPED_TRACE(QStringLiteral("%1 dpi, %2").arg(dpi).arg(name).toStdString());
            EXPECT_EQ(label->size(), QSize(24, 24) * dpi / 96);
            EXPECT_GE(drawnWidth(label), 0.6 * label->width());
        }
    }
}

// Every page, every feature tab, every key function and every lighting mode fits the 1000 x 640
// window in every shipped language: long German or Russian words must neither be cut nor push a
// control out of its panel.
TEST_F(LayoutTest, EveryPageFitsInEveryLanguage)
{
    app::SettingsStore unused(home.filePath("languages.ini"));
    const auto languages = app::LanguageSettings(unused, QString(TESSEL_DATA_DIR) + "/Language.config").Languages();
    ASSERT_EQ(languages.size(), 16u);
    std::vector<int> present;
    for (size_t i = 0; i < languages.size(); ++i) {
        if (QFileInfo::exists(QString(TESSEL_SKIN_DIR "/") + languages[i].file))
            present.push_back(int(i));
    }
    QStringList faults;
    const auto check = [&](const QString& where) {
        for (const QString& f : layoutFaults(window.get()))
            faults << QStringLiteral("%1: %2").arg(where, f);
    };
    // The empty window first, then with the four devices; both once the start-up DPI set-up has
    // run (until then the process's style sheet may still be another test's).
    ASSERT_TRUE(waitFor([&] { return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup); }));
    for (const int language : present) {
        window->ApplyLanguage(language);
        settleEvents();
        check(languages[language].name + QStringLiteral(" without devices"));
    }
    plugAll();
    window->ApplyDpi(96);
    for (const int language : present) {
        window->ApplyLanguage(language);
        settleEvents();
        ASSERT_EQ(window->size(), QSize(1000, 640));
        const QString lang = languages[language].name;
        // The device tabs' status lines are composed, not ids: they follow the language too.
        const QStringList routes{ui::Language::instance().Text("tab_route_cable"),
                                 ui::Language::instance().Text("tab_route_receiver")};
        for (auto* status : window->findChildren<QLabel*>("device_status")) {
            if (status->isVisible())
                EXPECT_TRUE(routes.contains(status->text().section(QStringLiteral(" · "), 0, 0)))
                    << lang.toStdString() << ": " << status->text().toStdString();
        }
        for (const DeviceCase& c : kDevices) {
            CVantikUSBDevice* d = showLitPage(c.kind);
            ASSERT_NE(d, nullptr) << c.kind;
            for (QAbstractButton* tab : featureTabs(d)) {
                tab->click();
                settleEvents();
                check(QStringLiteral("%1 %2 %3").arg(lang, c.kind, tab->objectName()));
            }
            // The repeat delay line is composed by code: it follows the language as well.
            if (auto* delay = control<QLabel>(d, "repeat_delay_time_label1"))
                EXPECT_TRUE(delay->text().startsWith(ui::Language::instance().Text("Repeat_Delay_Time")))
                    << lang.toStdString() << ": " << delay->text().toStdString();
            if (auto* keysTab = control<QAbstractButton>(d, "device_tab_keys"); keysTab && !keysTab->isHidden()) {
                keysTab->click();
                ASSERT_TRUE(waitFor([&] { return !d->KeyAssignments().empty(); }));
                for (const KeyAssignmentPair& pair : d->KeyAssignments()) {
                    auto* key = qobject_cast<QAbstractButton*>(d->KeyButton(pair.current.position));
                    if (key && key->isVisible()) {
                        key->click();
                        break;
                    }
                }
                settleEvents();
                if (auto* categories = control<QComboBox>(d, "keyset_function_combo")) {
                    for (int i = 0; i < categories->count(); ++i) {
                        categories->setCurrentIndex(i);
                        settleEvents();
                        check(QStringLiteral("%1 %2 key function %3").arg(lang, c.kind, categories->itemText(i)));
                    }
                }
            }
            if (auto* light = control<QAbstractButton>(d, "device_tab_light"))
                light->click();
            if (auto* modes = control<QComboBox>(d, "light_combo_modeSelect")) {
                for (int m = 0; m < modes->count(); ++m) {
                    // The effect names follow the language (the list is filled by code).
                    EXPECT_EQ(modes->itemText(m), ui::Language::instance().Text(modes->itemData(m).toString()))
                        << lang.toStdString() << " " << c.kind;
                    modes->setCurrentIndex(m);
                    settleEvents();
                    check(QStringLiteral("%1 %2 lighting %3").arg(lang, c.kind, modes->itemText(m)));
                }
            }
        }
    }
    faults.removeDuplicates();
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " faults:\n" << joined(faults, 200).toStdString();
}

// The skin chooser (both pages) and the palette window at 96 and 144 DPI in every language.
TEST_F(LayoutTest, SkinChooserAndPaletteFitInEveryLanguageAtEachDpi)
{
    app::SettingsStore unused(home.filePath("languages.ini"));
    const auto languages = app::LanguageSettings(unused, QString(TESSEL_DATA_DIR) + "/Language.config").Languages();
    QStringList faults;
    // Once the start-up DPI set-up has run: it would lay every window out again.
    ASSERT_TRUE(waitFor([&] { return !window->PM().HasTimer(window.get(), app::pm::kTimerDpiSetup); }));
    for (const int dpi : {96, 144}) {
        window->ApplyDpi(dpi);
        for (size_t language = 0; language < languages.size(); ++language) {
            if (!QFileInfo::exists(QString(TESSEL_SKIN_DIR "/") + languages[language].file))
                continue;
            window->ApplyLanguage(int(language));
            settleEvents();
            const QString where = QStringLiteral("%1 %2 dpi").arg(languages[language].name).arg(dpi);
            CSkinFrame* frame = window->OpenSkinFrame();
            if (!frame) {
                faults << where + QStringLiteral(": no skin chooser");
                continue;
            }
            for (const char* page : {"skin_image", "skin_color"}) {
                frame->PM().Find<QAbstractButton>(QLatin1String(page))->click();
                settleEvents();
                for (const QString& f : layoutFaults(frame))
                    faults << QStringLiteral("%1 %2: %3").arg(where, QLatin1String(page), f);
            }
            frame->Close(0);
            CColorSelectWnd palette;
            palette.Create(window.get(), QString());
            palette.SetWindowDpi(dpi);
            palette.EnableSevenColor(false);
            palette.show();
            settleEvents();
            // Its skin size at this DPI, once: a window whose minimum is its skin size is not
            // scaled twice.
            if (palette.size() != QSize(800, 572) * dpi / 96)
                faults << QStringLiteral("%1 palette: %2x%3").arg(where).arg(palette.width()).arg(palette.height());
            for (const QString& f : layoutFaults(&palette))
                faults << QStringLiteral("%1 palette: %2").arg(where, f);
            palette.hide();
        }
    }
    faults.removeDuplicates();
    EXPECT_TRUE(faults.isEmpty()) << faults.size() << " faults:\n" << joined(faults, 200).toStdString();
}
