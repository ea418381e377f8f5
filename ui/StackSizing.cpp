#include "ui/StackSizing.h"

#include <QStackedWidget>

namespace ui {

void FitStackToCurrentPage(QStackedWidget* stack)
{
    if (!stack)
        return;
    for (int i = 0; i < stack->count(); ++i) {
        QWidget* page = stack->widget(i);
        const auto policy = page == stack->currentWidget() ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        page->setSizePolicy(policy, policy);
    }
    stack->updateGeometry();
}

}  // namespace ui
