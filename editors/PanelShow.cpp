#include "editors/PanelShow.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QButtonGroup>
#include <QSignalBlocker>

namespace panelshow {

void Select(QWidget* option, bool selected)
{
    auto* b = qobject_cast<QAbstractButton*>(option);
    if (!b)
        return;
    // The siblings of an exclusive set change with it: none of them may notify either.
    QList<QAbstractButton*> set{b};
    if (b->group())
        set = b->group()->buttons();
    else if (b->autoExclusive() && b->parentWidget())
        set = b->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
    std::vector<std::unique_ptr<QSignalBlocker>> blockers;
    for (QAbstractButton* other : set)
        blockers.push_back(std::make_unique<QSignalBlocker>(other));
    if (selected || !b->isChecked()) {
        b->setChecked(selected);
        return;
    }
    // An exclusive button cannot be unchecked directly.
    const bool autoExclusive = b->autoExclusive();
    QButtonGroup* group = b->group();
    const bool groupExclusive = group && group->exclusive();
    b->setAutoExclusive(false);
    if (groupExclusive)
        group->setExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(autoExclusive);
    if (groupExclusive)
        group->setExclusive(true);
}

bool IsSelected(QWidget* option)
{
    auto* b = qobject_cast<QAbstractButton*>(option);
    return b && b->isChecked();
}

void SetValue(QWidget* slider, int value)
{
    auto* s = qobject_cast<QAbstractSlider*>(slider);
    if (!s)
        return;
    const QSignalBlocker block(s);
    s->setValue(value);
}

int Value(QWidget* slider)
{
    auto* s = qobject_cast<QAbstractSlider*>(slider);
    return s ? s->value() : -1;
}

}  // namespace panelshow
