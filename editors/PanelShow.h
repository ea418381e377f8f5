#pragma once

class QWidget;

// Showing a value in a panel control without raising its notification.
namespace panelshow {

// Selects or unselects a checkable button; an exclusive group may end with none selected.
void Select(QWidget* option, bool selected);
bool IsSelected(QWidget* option);
void SetValue(QWidget* slider, int value);
// The slider's value, -1 when it is missing.
int Value(QWidget* slider);

}  // namespace panelshow
