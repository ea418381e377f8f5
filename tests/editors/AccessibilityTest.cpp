// The window through Qt's accessibility interfaces, as a screen reader sees it, with the four
// simulated devices in English: every control a user can reach on every device page and feature
// tab has a name in words (never a text id), and its accessible action operates it.
#include "tests/editors/PanelTestFixture.h"
#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"

#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/Language.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>

#include "app/CMsgWnd.h"
#include "devices/CVantikKeyboardDevice.h"
#include "editors/CKeySetControlUI.h"

namespace {

struct DeviceCase {
    const char* sim;
    const char* kind;
};

const DeviceCase kAllDevices[] = {
    {"keyboard", "keyboard"},
    {"mouse", "mouse"},
    {"pad", "MousePad"},
    {"headset", "HD"},
};


// Controls a user reaches with the mouse or the keyboard.
bool interactive(QWidget* w)
{
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
           qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractSpinBox*>(w) || (w->focusPolicy() & Qt::TabFocus);
}

// Qt's own parts of a composite control (a spin box's edit, a combo's list) are named by it.
bool partOfAnother(QWidget* w)
{
    for (QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p))
            return true;
    return w->objectName().startsWith(QLatin1String("qt_"));
}

// A text id shown as it stands: an id the language has another text for, or a word that looks
// like one (letters and digits joined by underscores).
bool rawTextId(const QString& s)
{
    static const QRegularExpression idShape(QStringLiteral("^[A-Za-z][A-Za-z0-9]*(_[A-Za-z0-9]+)+$"));
    const ui::Language& lang = ui::Language::instance();
    return (lang.Has(s) && lang.Text(s) != s) || idShape.match(s).hasMatch();
}

// What a screen reader reads as the control's name: its name, or on Linux for a combo box (whose
// name there is its current text) the label that names it.
QString spokenName(QAccessibleInterface* a, QWidget* w)
{
    if (qobject_cast<QComboBox*>(w)) {
        if (!w->accessibleName().isEmpty())
            return w->accessibleName();
        const auto labels = a->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return a->text(QAccessible::Name).trimmed();
}

// Faults of every shown control below root: no name, a raw text id as its name or description,
// or an accessible action that does not operate it.
QStringList accessibilityFaults(QWidget* root)
{
    QStringList faults;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisible() || partOfAnother(w))
            continue;
        const QString what = QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
        // Pictures and labels are read too: their tool tips and names are words.
        if (const QString tip = w->toolTip(); !tip.isEmpty() && rawTextId(tip))
            faults << what + QStringLiteral(": tool tip is the text id ") + tip;
        if (const QString own = w->accessibleName(); !own.isEmpty() && rawTextId(own))
            faults << what + QStringLiteral(": accessible name is the text id ") + own;
        if (!interactive(w))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a) {
            faults << what + QStringLiteral(": no accessible interface");
            continue;
        }
        const QString name = spokenName(a, w);
        if (name.isEmpty())
            faults << what + QStringLiteral(": no name");
        else if (rawTextId(name))
            faults << what + QStringLiteral(": name is the text id ") + name;
        if (!w->isEnabled())
            continue;
        // Operated through its action: a check box or toggle button changes its state (and is
        // set back); a slider or spin box takes a value; a button and a combo box offer theirs.
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            QAccessibleActionInterface* act = a->actionInterface();
            const QStringList actions = act ? act->actionNames() : QStringList();
            if (!actions.contains(QAccessibleActionInterface::pressAction()) &&
                !actions.contains(QAccessibleActionInterface::toggleAction()))
                faults << what + QStringLiteral(": no press or toggle action");
            else if (b->isCheckable() && !b->isChecked() && !b->autoExclusive() && !b->group() &&
                     !b->objectName().startsWith(QLatin1String("device_tab_"))) {
                QSignalBlocker quiet(b);  // the state alone; what it sets on the device is not the point here
                act->doAction(actions.contains(QAccessibleActionInterface::toggleAction())
                                  ? QAccessibleActionInterface::toggleAction()
                                  : QAccessibleActionInterface::pressAction());
                settleEvents();
                if (!b->isChecked())
                    faults << what + QStringLiteral(": its action does not tick it");
                b->setChecked(false);
            }
        } else if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
            QAccessibleValueInterface* v = a->valueInterface();
            if (!v) {
                faults << what + QStringLiteral(": no value interface");
                continue;
            }
            const int before = s->value();
            const int want = before == s->minimum() ? std::min(s->maximum(), before + s->singleStep()) : s->minimum();
            QSignalBlocker quiet(s);
            v->setCurrentValue(want);
            if (s->value() != want)
                faults << what + QStringLiteral(": setting its value does not move it");
            s->setValue(before);
        } else if (qobject_cast<QAbstractSpinBox*>(w)) {
            if (!a->valueInterface())
                faults << what + QStringLiteral(": no value interface");
        } else if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractItemView*>(w) &&
                   !qobject_cast<QAbstractScrollArea*>(w)) {
            // A combo box or a control of our own: an action or a value to set.
            const QAccessibleActionInterface* act = a->actionInterface();
            const QStringList actions = act ? act->actionNames() : QStringList();
            const bool operable = std::any_of(actions.begin(), actions.end(), [](const QString& n) {
                return n != QAccessibleActionInterface::setFocusAction();
            });
            if (!operable && !a->valueInterface())
                faults << what + QStringLiteral(": no action and no value");
            // A control stepped by increase and decrease shows the change in its value.
            if (actions.contains(QAccessibleActionInterface::increaseAction())) {
                const QString before = a->text(QAccessible::Value);
                a->actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
                if (a->text(QAccessible::Value) == before)
                    a->actionInterface()->doAction(QAccessibleActionInterface::decreaseAction());
                settleEvents();
                if (a->text(QAccessible::Value) == before)
                    faults << what + QStringLiteral(": increase and decrease do not change it");
            }
        }
    }
    faults.removeDuplicates();
    return faults;
}

// What the Tab key does not do well on the shown page: a control it cannot reach, a hidden or
// disabled control it stops at, or a chain longer than `most` stops (each key of a picture a stop).
QStringList tabOrderFaults(QWidget* window, QWidget* page, QWidget* start, int most)
{
    QStringList faults;
    start->setFocus(Qt::TabFocusReason);
    settleEvents();
    if (QApplication::focusWidget() != start)
        return faults;  // the window does not take the focus here: nothing to walk
    QSet<QWidget*> reached;
    QWidget* at = start;
    for (int i = 0; i < 400; ++i) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (!at || at == start || reached.contains(at))
            break;
        reached << at;
        if (!at->isVisible() || !at->isEnabled())
            faults << QStringLiteral("Tab stops at hidden or disabled %1").arg(at->objectName());
    }
    if (reached.size() > most)
        faults << QStringLiteral("%1 Tab stops").arg(reached.size());
    for (QWidget* w : page->findChildren<QWidget*>())
        if (w->isVisible() && w->isEnabled() && w->window() == window && (w->focusPolicy() & Qt::TabFocus) &&
            !partOfAnother(w) && !reached.contains(w) && w != start)
            faults << QStringLiteral("Tab does not reach %1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
    return faults;
}

class AccessibilityTest : public PanelWithAudioChipTest {
protected:
    void plugAll()
    {
        for (const DeviceCase& c : kAllDevices)
            ASSERT_NE(plugAndShow(c.sim, c.kind), nullptr) << c.kind;
    }
};

}  // namespace

// Every device page and every feature tab of it: the window's controls as a screen reader reaches
// them, each tab chosen through its accessible action.
TEST_F(AccessibilityTest, EveryControlOfEveryPageHasANameAndAWorkingAction)
{
    plugAll();
    for (const DeviceCase& c : kAllDevices) {
        CVantikUSBDevice* d = showLitPage(c.kind);
        ASSERT_NE(d, nullptr) << c.kind;
        // A combo box's caption is its label, as Orca reads it.
        auto* modes = control<QComboBox>(d, "light_combo_modeSelect");
        const auto labels = QAccessible::queryAccessibleInterface(modes)->relations(QAccessible::Label);
        ASSERT_FALSE(labels.isEmpty()) << c.kind;
        EXPECT_EQ(labels.first().first->text(QAccessible::Name), modes->accessibleName());
        for (QAbstractButton* tab : featureTabs(d)) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.kind, tab->objectName()).toStdString());
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(tab);
            ASSERT_NE(a, nullptr);
            ASSERT_NE(a->actionInterface(), nullptr);
            a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            settleEvents();
            EXPECT_TRUE(tab->isChecked());
            const QStringList faults = accessibilityFaults(window.get());
            EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
            const QStringList tabbing = tabOrderFaults(window.get(), d, tab, 60);
            EXPECT_TRUE(tabbing.isEmpty()) << tabbing.join(QLatin1Char('\n')).toStdString();
        }
    }
    // The names follow a switch to Chinese: none is left empty or shows its id.
    window->ApplyLanguage(kChinese);
    settleEvents();
    for (const DeviceCase& c : kAllDevices) {
        CVantikUSBDevice* d = showLitPage(c.kind);
        ASSERT_NE(d, nullptr) << c.kind;
        for (QAbstractButton* tab : featureTabs(d)) {
            SCOPED_TRACE(QStringLiteral("Chinese %1 %2").arg(c.kind, tab->objectName()).toStdString());
            tab->click();
            settleEvents();
            const QStringList faults = accessibilityFaults(window.get());
            EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
        }
    }
}

// A key of the keyboard picture says its key and what it is assigned to, in the language chosen:
// its factory function at first, the function the key panel gives it once reassigned.
TEST_F(AccessibilityTest, KeysSayTheirKeyAndAssignmentInTheCurrentLanguage)
{
    auto* d = dynamic_cast<CVantikKeyboardDevice*>(plugAndShow("keyboard", "keyboard"));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(showLitPage("keyboard"));
    auto* profile = d->findChild<CDeviceProfileUI*>();
    auto* panel = d->findChild<CKeySetControlUI*>();
    ASSERT_TRUE(profile && panel);
    profile->SelectFeatureTab(CDeviceProfileUI::TabKeys);
    ASSERT_TRUE(waitFor([&] { return d->KeyAssignments().size() > 30; }));
    settleEvents();
    auto name = [](QWidget* k) { return QAccessible::queryAccessibleInterface(k)->text(QAccessible::Name); };
    auto* esc = control<ui::CDeviceKeyButtonUI>(d, "key_0");
    ASSERT_NE(esc, nullptr);
    EXPECT_EQ(name(esc), QStringLiteral("Esc, assigned: Esc"));
    int shown = 0;
    for (auto* k : d->findChildren<ui::CDeviceKeyButtonUI*>())
        if (k->isVisible() && !k->text().isEmpty()) {
            ++shown;
            EXPECT_TRUE(name(k).contains(QLatin1String(", assigned: "))) << k->objectName().toStdString() << ": "
                                                                          << name(k).toStdString();
        }
    EXPECT_GT(shown, 60);

    // Esc becomes Mute.
    esc->click();
    ASSERT_EQ(panel->EditedKey(), 0);
    auto* categories = control<QComboBox>(panel, "keyset_function_combo");
    categories->setCurrentIndex(categories->findData(QString::number(CKeySetControlUI::CatMedia)));
    auto* media = control<QComboBox>(panel, "keyset_media_combo");
    const QString mute = ui::Language::instance().Text(QStringLiteral("media_mute"));
    ASSERT_GE(media->findText(mute), 0);
    media->setCurrentIndex(media->findText(mute));
    settleEvents();
    EXPECT_EQ(name(esc), QStringLiteral("Esc, assigned: Mute"));

    window->ApplyLanguage(kChinese);
    settleEvents();
    const QString chinese = name(esc);
    EXPECT_FALSE(chinese.contains(QLatin1String("assigned"))) << chinese.toStdString();
    EXPECT_TRUE(chinese.contains(QStringLiteral("功能"))) << chinese.toStdString();
    EXPECT_TRUE(chinese.contains(ui::Language::instance().Text(QStringLiteral("media_mute")))) << chinese.toStdString();
}

// The key picture by keyboard alone: one stop of the Tab chain, the arrow keys walk the keys by
// where they sit, Enter chooses the focused key.
TEST_F(AccessibilityTest, TheKeyPictureIsWalkedWithTheArrowKeysAndAKeyChosenWithEnter)
{
    CVantikUSBDevice* d = plugAndShow("keyboard", "keyboard");
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(showLitPage("keyboard"));
    click(d, "device_tab_keys");
    settleEvents();
    auto* esc = control<ui::CDeviceKeyButtonUI>(d, "key_0");
    ASSERT_NE(esc, nullptr);
    ASSERT_TRUE(esc->isVisible());
    QWidget* picture = esc->parentWidget();
    int stops = 0;
    for (auto* k : picture->findChildren<ui::CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly))
        stops += k->isVisible() && (k->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(stops, 1);

    esc->setFocus(Qt::TabFocusReason);
    settleEvents();
    auto focused = [] { return qobject_cast<ui::CDeviceKeyButtonUI*>(QApplication::focusWidget()); };
    auto send = [&](Qt::Key key) {
        QWidget* w = QApplication::focusWidget() ? QApplication::focusWidget() : esc;
        QTest::keyClick(w, key);
        settleEvents();
    };
    if (!focused())
        GTEST_SKIP() << "the offscreen window does not take the focus";
    send(Qt::Key_Right);
    ASSERT_NE(focused(), nullptr);
    EXPECT_NE(focused(), esc);
    EXPECT_GT(focused()->x(), esc->x());
    EXPECT_LT(std::abs(focused()->y() - esc->y()), esc->height());
    ui::CDeviceKeyButtonUI* f1 = focused();
    send(Qt::Key_Down);
    ASSERT_NE(focused(), nullptr);
    EXPECT_GT(focused()->y(), f1->y());
    send(Qt::Key_Up);
    EXPECT_EQ(focused(), f1);
    send(Qt::Key_Left);
    EXPECT_EQ(focused(), esc);
    // The focused key is now the picture's stop in the Tab chain.
    EXPECT_TRUE(esc->focusPolicy() & Qt::TabFocus);

    QSignalSpy chosen(esc, &QAbstractButton::clicked);
    send(Qt::Key_Return);
    EXPECT_EQ(chosen.count(), 1);
}

// Escape answers the message box as its close button does; its buttons have names.
TEST_F(AccessibilityTest, EscapeClosesTheMessageBox)
{
    bool sent = false;
    QStringList boxFaults;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<CMsgWnd*>(w); box && box->isVisible() && !sent) {
                sent = true;
                boxFaults = accessibilityFaults(box);
                QTest::keyClick(box, Qt::Key_Escape);
            }
    });
    poll.start(20);
    const int answer = CMsgWnd::ShowMessage(window.get(), QString(), QStringLiteral("message_text_7"), 96, true,
                                            CMsgWnd::ConfirmAndCancel);
    EXPECT_TRUE(sent);
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(boxFaults.isEmpty()) << boxFaults.join(QLatin1Char('\n')).toStdString();
}

// The skin chooser and the palette window, in English and Chinese: every control named, every
// button operated through its action; a colour chosen that way reaches the window.
TEST_F(AccessibilityTest, SkinChooserAndPaletteAreNamedAndWorkThroughTheirActions)
{
    for (const int language : {kEnglish, kChinese}) {
        window->ApplyLanguage(language);
        settleEvents();
        SCOPED_TRACE(language);
        CSkinFrame* frame = window->OpenSkinFrame();
        ASSERT_NE(frame, nullptr);
        settleEvents();
        for (const char* page : {"skin_image", "skin_color"}) {
            QAccessible::queryAccessibleInterface(frame->PM().FindControl(QLatin1String(page)))
                ->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            settleEvents();
            EXPECT_TRUE(frame->PM().FindControl(QLatin1String(page) + QStringLiteral("_page"))->isVisible()) << page;
            const QStringList faults = accessibilityFaults(frame);
            EXPECT_TRUE(faults.isEmpty()) << page << ": " << faults.join(QLatin1Char('\n')).toStdString();
        }
        QWidget* colour = frame->PM().FindControl(QStringLiteral("skin_color_btn_3"));
        QAccessible::queryAccessibleInterface(colour)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        EXPECT_TRUE(waitFor([&] { return window->BackgroundColour() == CSkinFrame::ButtonColour(colour); }));
        frame->Close(0);
        settleEvents();

        CColorSelectWnd palette;
        palette.Create(window.get(), QString());
        palette.SetColor(0xFF2DE2E6);
        palette.EnableSevenColor(false);
        palette.show();
        settleEvents();
        const QStringList faults = accessibilityFaults(&palette);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
        // A preset and a keep slot are options: toggled, as a screen reader does.
        // (A different preset each round: the one chosen last is kept selected.)
        QWidget* preset = palette.PM().FindControl(QStringLiteral("color_option_%1").arg(2 + language));
        QAccessible::queryAccessibleInterface(preset)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_EQ(palette.GetColor(), CColorSelectWnd::SwatchColour(preset));
        palette.Close(0);
    }
}
