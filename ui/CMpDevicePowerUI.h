#pragma once
// Interim stand-in; replaced by the full control.
#include <QWidget>
#include <cstdint>
namespace ui {
class CMpDevicePowerUI : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetDeviceKind(int type, int variant) { m_type = type; m_variant = variant; }
    void ShowStatus(const uint8_t* block, size_t length) { (void)block; (void)length; }
    void SetShowFlag(bool show) { setVisible(show); }
private:
    int m_type = 0, m_variant = 0;
};
}
