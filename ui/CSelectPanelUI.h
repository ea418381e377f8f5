#pragma once
// Interim stand-in; replaced by the full control.
#include <QWidget>
namespace ui {
class CSelectPanelUI : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};
}
