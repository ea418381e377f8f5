#include "ui/TabRow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

namespace ui {

namespace {

const char kTabRowProperty[] = "tabrow";

bool InTabRow(QObject* o)
{
    auto* w = qobject_cast<QWidget*>(o);
    return w && w->parentWidget() && w->parentWidget()->property(kTabRowProperty).toBool();
}

// The buttons of the row a button is in, shown ones only, in their order on screen.
QList<QAbstractButton*> ShownTabs(QWidget* row)
{
    QList<QAbstractButton*> tabs;
    for (auto* b : row->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        if (!b->isHidden())
            tabs << b;
    std::sort(tabs.begin(), tabs.end(), [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    return tabs;
}

class TabAccessible : public QAccessibleWidget {
public:
    explicit TabAccessible(QAbstractButton* b) : QAccessibleWidget(b, QAccessible::PageTab) {}

    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty())
            s = button()->text().remove(QLatin1Char('&'));
        return s;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        s.selectable = true;
        s.selected = button()->isChecked();
        return s;
    }
    QStringList actionNames() const override
    {
        return QStringList{pressAction(), toggleAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override
    {
        // Either action chooses the tab, as a click does; a chosen tab stays chosen.
        if (action == pressAction() || action == toggleAction()) {
            if (button()->isEnabled())
                button()->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* TabRowFactory(const QString& className, QObject* object)
{
    Q_UNUSED(className);
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* w = static_cast<QWidget*>(object);
    if (w->property(kTabRowProperty).toBool())
        return new QAccessibleWidget(w, QAccessible::PageTabList);
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && InTabRow(b))
        return new TabAccessible(b);
    return nullptr;
}

// The arrow keys of a tab row's buttons.
class TabRowKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !InTabRow(watched))
            return false;
        auto* current = static_cast<QAbstractButton*>(watched);
        const QList<QAbstractButton*> tabs = ShownTabs(current->parentWidget());
        const qsizetype at = tabs.indexOf(current);
        if (at < 0)
            return false;
        qsizetype to = at;
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left: to = at > 0 ? at - 1 : tabs.size() - 1; break;
        case Qt::Key_Right: to = at + 1 < tabs.size() ? at + 1 : 0; break;
        case Qt::Key_Home: to = 0; break;
        case Qt::Key_End: to = tabs.size() - 1; break;
        default: return false;
        }
        QAbstractButton* next = tabs.at(to);
        next->setFocus(Qt::TabFocusReason);
        if (!next->isChecked())
            next->click();
        return true;
    }
};

}  // namespace

void InstallTabRowAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(TabRowFactory);
}

void MakeTabRow(QWidget* row)
{
    InstallTabRowAccessibility();
    if (!row || row->property(kTabRowProperty).toBool())
        return;
    row->setProperty(kTabRowProperty, true);
    auto* keys = new TabRowKeys(row);
    for (auto* b : row->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly)) {
        b->installEventFilter(keys);
        b->setFocusPolicy(Qt::StrongFocus);
        // An interface made for the button before it joined the row (a plain push button)
        // gives way to the tab's.
        if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b); a && a->role() != QAccessible::PageTab)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(a));
    }
    if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(row); a && a->role() != QAccessible::PageTabList)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(a));
}

}  // namespace ui
