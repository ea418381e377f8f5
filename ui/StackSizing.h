#pragma once

class QStackedWidget;

namespace ui {

// A stacked widget is as large as its largest page. Only the page shown may claim room here, so
// a tall page behind another one (a device that is not shown, an editor on another tab) does not
// stretch the window. Call it once pages are added; the stack then follows its current page.
void FitStackToCurrentPage(QStackedWidget* stack);

}  // namespace ui
