#pragma once

#include <QString>
#include <cstdint>

class QWidget;

// One notification from a control to the window that owns it: the type, the sending control and
// two integers whose meaning depends on the type. Delivered synchronously to
// WindowImplBase::Notify on the UI thread.
//
// Where each type comes from (ui::PaintManager wires the controls of a built skin):
//   "click"            QAbstractButton::clicked (every button, also checkable ones).
//                      wParam: 1 when a checkable button is now checked, else 0.
//   "selectchanged"    a checkable button (QRadioButton, QCheckBox, checkable push or tool
//                      button, grouped or not) toggled; wParam 1 selected, 0 deselected. In an
//                      exclusive group both the button losing and the one gaining the selection
//                      notify. Qt emits it before the "click" of the same press.
//   "itemselect"       QComboBox current index changed, or the current row of an item view
//                      (QListWidget, QTreeWidget, QTableWidget, ...) changed; wParam the new
//                      index/row, lParam the previous one (-1 for none).
//   "itemclick"        an item view's item clicked; wParam the row.
//   "itemactivate"     an item view's item activated (double click or Enter); wParam the row.
//   "valuechanged"     a slider's value changed by keyboard, wheel or page step, or the handle
//                      released after a drag; a spin box's value changed. wParam the value.
//   "movevaluechanged" a slider's handle moved while dragged; wParam its position (with or
//                      without tracking). The release then reports "valuechanged" once.
//   "textchanged"      QLineEdit/QTextEdit/QPlainTextEdit text changed (also when set from code
//                      unless shown through the PaintManager setters with notify = false).
//   "return"           QLineEdit return pressed.
//   "setfocus"/"killfocus"  a wired control gained/lost keyboard focus.
//   "msenter"/"msleave"     the mouse entered/left a wired control.
//   "dbclick"          double click on a wired control that is not an item view.
//   "menu"             context menu requested on a wired control (wParam, lParam: global x, y);
//                      or an item chosen in a ui::MenuWnd popup (sender: the MenuWnd, wParam
//                      ui::kMenuCommand, lParam: const ui::MenuCmd* valid during the call).
//   "timer"            a timer set with PaintManager::SetTimer; sender the control, wParam the id.
//   "windowinit"       sent once by WindowImplBase::Create after InitWindow; sender the window.
//   "windowsize"       the window was resized; sender the window, wParam width, lParam height.
//   "colorchanged", "checkclick"  raised by custom controls through PaintManager::SendNotify.
struct TNotifyUI {
    QString sType;
    QWidget* pSender = nullptr;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
};

namespace ui {

inline constexpr char kNotifyClick[] = "click";
inline constexpr char kNotifySelectChanged[] = "selectchanged";
inline constexpr char kNotifyItemSelect[] = "itemselect";
inline constexpr char kNotifyItemClick[] = "itemclick";
inline constexpr char kNotifyItemActivate[] = "itemactivate";
inline constexpr char kNotifyValueChanged[] = "valuechanged";
inline constexpr char kNotifyMoveValueChanged[] = "movevaluechanged";
inline constexpr char kNotifyTextChanged[] = "textchanged";
inline constexpr char kNotifyKillFocus[] = "killfocus";
inline constexpr char kNotifySetFocus[] = "setfocus";
inline constexpr char kNotifyTimer[] = "timer";
inline constexpr char kNotifyWindowInit[] = "windowinit";
inline constexpr char kNotifyWindowSize[] = "windowsize";
inline constexpr char kNotifyColorChanged[] = "colorchanged";
inline constexpr char kNotifyMouseEnter[] = "msenter";
inline constexpr char kNotifyMouseLeave[] = "msleave";
inline constexpr char kNotifyDbClick[] = "dbclick";
inline constexpr char kNotifyReturn[] = "return";
inline constexpr char kNotifyMenu[] = "menu";
inline constexpr char kNotifyCheckClick[] = "checkclick";

}  // namespace ui
