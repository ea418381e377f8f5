#pragma once

class QWidget;

namespace ui {

// A row of checkable buttons that choose a page (the device page's feature tabs) made a tab
// list for keyboard and screen-reader users: the row is a page-tab list and each button a page
// tab, whose press and toggle actions click it (so the page follows either action); the Left
// and Right arrow keys move to the neighbouring shown tab and choose it, Home and End to the
// first and last. A row is any widget whose dynamic property "tabrow" is true.
void InstallTabRowAccessibility();
// Makes `row` a tab row (sets the property and handles its buttons' arrow keys).
void MakeTabRow(QWidget* row);

}  // namespace ui
