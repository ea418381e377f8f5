#pragma once

// Walks a table of a panel's controls: each row names a control, puts the panel into a state in
// which the control is live, operates it as a user does (input events on the control itself) and
// says where the change must show: the device's memory as the simulator reads it back and the
// profile file. A row whose gesture changes neither fails. While it walks, the table collects the
// panel's controls a user could operate in each state it visited; one without a row fails too, so
// a control added to a panel without a row is noticed.
#include "editors/CLightControlUI.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QSet>
#include <QPointer>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <json/value.h>
#include <map>
#include <string>
#include <vector>

namespace controltable {

// One control of a panel. `name` is an object name, or a prefix ending in '_' that stands for a
// numbered family of controls ("color_option_"), of which `operate` picks one.
struct Row {
    std::string name;
    // Brings the panel into a state where the control is visible and enabled (for example a mode
    // that offers it). Optional.
    std::function<void()> prepare;
    // The user's gesture on the control.
    std::function<void(QWidget* control)> operate;
    // What the device holds where the control's value lands (read from the simulator), and what
    // the profile file keeps for it. Either may be empty when the value has no place there; the
    // reason is then `why`.
    std::function<std::string()> device;
    std::function<Json::Value()> profile;
    const char* why = "";
    // Extra checks on the values after the gesture (optional).
    std::function<void()> check = {};
};

// Widgets a user operates: buttons (check boxes and options included), combo boxes, sliders,
// spin boxes, line edits, item views and colour fields; visible and enabled.
inline bool IsOperable(QWidget* w)
{
    if (!w->isVisible() || !w->isEnabled())
        return false;
    // A combo box's own line edit and the views inside a popup belong to their combo box.
    if (qobject_cast<QComboBox*>(w->parentWidget()))
        return false;
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p))
            return false;
    // A scroll bar of a list or a scrolled area only moves the view.
    if (qobject_cast<QScrollBar*>(w))
        return false;
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSlider*>(w) ||
           qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w) ||
           qobject_cast<CColorPaletteUI*>(w);
}

// The operable controls inside `panel`, by object name.
inline QSet<QString> OperableControls(QWidget* panel)
{
    QSet<QString> names;
    for (QWidget* w : panel->findChildren<QWidget*>())
        if (IsOperable(w))
            names.insert(w->objectName().isEmpty() ? QString("<unnamed %1>").arg(w->metaObject()->className())
                                                   : w->objectName());
    return names;
}

// Gestures.
// A click where the control takes it: on a check box or an option, the box and its text (a
// stretched one takes no click in its empty part), elsewhere the middle.
inline void Click(QWidget* w)
{
    QPoint at = w->rect().center();
    QStyleOptionButton option;
    option.initFrom(w);
    if (auto* check = qobject_cast<QCheckBox*>(w)) {
        option.text = check->text();
        at = w->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, w).center();
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        option.text = radio->text();
        at = w->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, w).center();
    }
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at);
}

// Chooses item `index` of a combo box from its open list, as the mouse does.
inline bool ChooseItem(QComboBox* combo, int index)
{
    if (combo->currentIndex() == index)
        return true;
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QModelIndex item = view->model()->index(index, combo->modelColumn(), view->rootIndex());
    if (!QTest::qWaitFor([&] { return view->isVisible(); }, 3000))
        return false;
    view->scrollTo(item);
    const QRect r = view->visualRect(item);
    if (!r.isValid())
        return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    (void)QTest::qWaitFor([&] { return !view->isVisible(); }, 3000);
    return combo->currentIndex() == index;
}

// The next visible item of a combo box (back to the first after the last), chosen from its list.
inline void ChooseAnother(QWidget* w)
{
    auto* combo = qobject_cast<QComboBox*>(w);
    ASSERT_NE(combo, nullptr) << w->objectName().toStdString();
    ASSERT_GT(combo->count(), 1) << w->objectName().toStdString();
    auto* list = qobject_cast<QListView*>(combo->view());
    for (int step = 1; step < combo->count(); ++step) {
        const int i = (combo->currentIndex() + step) % combo->count();
        if (!list || !list->isRowHidden(i)) {
            EXPECT_TRUE(ChooseItem(combo, i)) << w->objectName().toStdString() << " item " << i;
            return;
        }
    }
    FAIL() << "no other item in " << w->objectName().toStdString();
}

// One step of a slider by the keyboard, up unless it stands at its maximum.
inline void StepSlider(QWidget* w)
{
    auto* slider = qobject_cast<QAbstractSlider*>(w);
    ASSERT_NE(slider, nullptr) << w->objectName().toStdString();
    slider->setFocus();
    QTest::keyClick(slider, slider->value() < slider->maximum() ? Qt::Key_Right : Qt::Key_Left);
}

// Types `text` into an edit in place of what it shows and leaves it with Tab.
inline void TypeAndLeave(QWidget* w, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(w);
    ASSERT_NE(edit, nullptr) << w->objectName().toStdString();
    // Focus moves only within the active window, as on a desktop where the user works in it.
    QWidget* window = edit->window();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        if (QApplication::activeWindow() != window)
            window->activateWindow();
        return QApplication::activeWindow() == window;
    }, 3000)) << "the window does not become active";
    Click(edit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }, 3000))
        << w->objectName().toStdString() << " takes no focus from a click";
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
    // An item view's editor (a macro row's delay) closes on Tab and is gone afterwards.
    const QPointer<QLineEdit> left = edit;
    const std::string name = w->objectName().toStdString();
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !left || !left->hasFocus(); }, 3000)) << name << " kept the focus after Tab";
}

// Walks the rows. `settle` waits until everything sent so far has reached the device. The
// controls seen while walking, minus `notInTable` (name → why), must all have rows.
class Walker {
public:
    Walker(QWidget* panel, std::function<bool()> settle, std::function<bool(const std::function<bool()>&)> waitFor)
        : m_panel(panel), m_settle(std::move(settle)), m_waitFor(std::move(waitFor))
    {
    }

    void Walk(const std::vector<Row>& rows)
    {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            m_rows.insert(QString::fromStdString(row.name));
            if (row.prepare)
                row.prepare();
            ASSERT_TRUE(m_settle());
            Collect();
            QWidget* control = Find(row.name);
            ASSERT_NE(control, nullptr) << "no control " << row.name;
            EXPECT_TRUE(control->isVisible() && control->isEnabled())
                << row.name << " is not live in the state its row prepares";
            const std::string deviceBefore = row.device ? row.device() : std::string();
            const Json::Value profileBefore = row.profile ? row.profile() : Json::Value();
            row.operate(control);
            ASSERT_TRUE(m_settle());
            bool deviceChanged = !row.device;
            bool profileChanged = !row.profile;
            m_waitFor([&] {
                if (!deviceChanged)
                    deviceChanged = row.device() != deviceBefore;
                if (!profileChanged)
                    profileChanged = row.profile() != profileBefore;
                return deviceChanged && profileChanged;
            });
            if (!row.device && !row.profile)
                ADD_FAILURE() << row.name << ": a row must say where its change lands";
            EXPECT_TRUE(deviceChanged) << row.name << " changed nothing in the device's memory";
            EXPECT_TRUE(profileChanged) << row.name << " changed nothing in the profile: "
                                        << profileBefore.toStyledString();
            if (row.check)
                row.check();
            Collect();
        }
    }

    // Every control a user could operate in the states the walk went through has a row, or is
    // named in `notInTable` (a name, or a prefix ending in '_') with the reason it has none.
    void ExpectEveryControlHasARow(const std::map<QString, const char*>& notInTable) const
    {
        for (const QString& name : m_seen) {
            bool excluded = notInTable.count(name) > 0;
            for (const auto& [entry, why] : notInTable)
                excluded |= entry.endsWith('_') && name.startsWith(entry);
            if (excluded)
                continue;
            bool covered = m_rows.contains(name);
            for (const QString& row : m_rows)
                covered |= row.endsWith('_') && name.startsWith(row);
            EXPECT_TRUE(covered) << name.toStdString() << " can be operated but has no row in the table";
        }
    }
    // Adds the controls operable now (for states the rows do not visit).
    void Collect() { m_seen.unite(OperableControls(m_panel)); }

    QWidget* Find(const std::string& name) const
    {
        const QString n = QString::fromStdString(name);
        for (QWidget* w : m_panel->findChildren<QWidget*>()) {
            if (n.endsWith('_') ? w->objectName().startsWith(n) && IsOperable(w) : w->objectName() == n)
                return w;
        }
        return nullptr;
    }

private:
    QWidget* m_panel;
    std::function<bool()> m_settle;
    std::function<bool(const std::function<bool()>&)> m_waitFor;
    QSet<QString> m_seen;
    QSet<QString> m_rows;
};

}  // namespace controltable
