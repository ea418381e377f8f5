#pragma once

// Layout checks a test runs over a shown window, for any page, DPI or language.
#include "ui/CSelectPanelUI.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <utility>

namespace layoutchecks {

// Sibling pairs laid over one another on purpose, by object name (either order). With `over` set,
// the second lies over an empty part of the first (a page), so no control inside the first may
// be under it; else they share their place as a whole (the battery ring and its percentage).
struct Overlap {
    QString first;
    QString second;
    bool over = false;
};

inline const QList<Overlap>& DeliberateOverlaps()
{
    static const QList<Overlap> pairs = {
        {QStringLiteral("device_Power_progress"), QStringLiteral("device_power_value")},
        // The power panel sits in the top right corner of the device pages, beside their title.
        {QStringLiteral("device_switch"), QStringLiteral("device_power_switch"), true},
    };
    return pairs;
}

// A control placed by the skin or our code; Qt's own parts of a composite control place
// themselves and are left out.
inline bool PlacedControl(QWidget* w)
{
    if (!w->isVisible() || w->width() <= 0 || w->height() <= 0 || w->isWindow() || w->objectName().isEmpty() ||
        w->objectName().startsWith(QLatin1String("qt_")))
        return false;
    for (QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<QComboBox*>(p) || qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QAbstractScrollArea*>(p))
            return false;
    return true;
}

// Shown sibling controls below `root` (in its window) that cover part of each other, as
// "overlap in parent: a at x,y wxh and b at ..." lines. The keys, LED markers and the key layer of
// a device picture sit on the picture by design and are left out, as are the pairs of `allowed`
// (of which those laid `over` a page still fail when they cover one of its controls).
inline QStringList SiblingOverlaps(QWidget* root, const QList<Overlap>& allowed = DeliberateOverlaps())
{
    QSet<QWidget*> parents;
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->window() == root->window() && PlacedControl(w) && w->parentWidget())
            parents << w->parentWidget();
    QStringList faults;
    auto rect = [](QWidget* w) {
        const QRect g = w->geometry();
        return QStringLiteral("%1 at %2,%3 %4x%5").arg(w->objectName()).arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
    };
    for (QWidget* parent : parents) {
        if (qobject_cast<ui::CSelectPanelUI*>(parent))
            continue;
        QList<QWidget*> children;
        for (QWidget* c : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (PlacedControl(c))
                children << c;
        for (qsizetype i = 0; i < children.size(); ++i)
            for (qsizetype j = i + 1; j < children.size(); ++j) {
                QWidget* a = children[i];
                QWidget* b = children[j];
                // A shared border pixel is not an overlap.
                if (!a->geometry().adjusted(1, 1, -1, -1).intersects(b->geometry().adjusted(1, 1, -1, -1)))
                    continue;
                const auto deliberate = std::find_if(allowed.begin(), allowed.end(), [&](const Overlap& o) {
                    return (o.first == a->objectName() && o.second == b->objectName()) ||
                           (o.first == b->objectName() && o.second == a->objectName());
                });
                if (deliberate == allowed.end()) {
                    faults << QStringLiteral("overlap in %1: %2 and %3").arg(parent->objectName(), rect(a), rect(b));
                    continue;
                }
                if (!deliberate->over)
                    continue;
                QWidget* page = a->objectName() == deliberate->first ? a : b;
                QWidget* top = page == a ? b : a;
                const QRect covered = top->geometry().translated(-page->pos());  // siblings: in the page's frame
                for (QWidget* w : page->findChildren<QWidget*>()) {
                    if (!PlacedControl(w) || !w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
                        continue;  // a control of the page: a shown widget with nothing inside
                    const QRect at(w->mapTo(page, QPoint(0, 0)), w->size());
                    if (at.adjusted(1, 1, -1, -1).intersects(covered.adjusted(1, 1, -1, -1)))
                        faults << QStringLiteral("%1 covers %2").arg(rect(top), rect(w));
                }
            }
    }
    faults.sort();
    return faults;
}

}  // namespace layoutchecks
