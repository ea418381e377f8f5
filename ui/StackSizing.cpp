#include "ui/StackSizing.h"

#include <QStackedWidget>

namespace ui {

namespace {
const char kFollowsPageProperty[] = "tessel_fits_current_page";
}

void FitStackToCurrentPage(QStackedWidget* stack)
{
    if (!stack)
        return;
    // From now on the stack keeps this rule by itself: a page made current later (a category of
    // the key panel, a colour page of the lighting panel) must not stay squeezed to nothing.
    if (!stack->property(kFollowsPageProperty).toBool()) {
        stack->setProperty(kFollowsPageProperty, true);
        QObject::connect(stack, &QStackedWidget::currentChanged, stack, [stack] { FitStackToCurrentPage(stack); });
    }
    for (int i = 0; i < stack->count(); ++i) {
        QWidget* page = stack->widget(i);
        const auto policy = page == stack->currentWidget() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        page->setSizePolicy(policy, policy);
    }
    stack->updateGeometry();
}

}  // namespace ui
