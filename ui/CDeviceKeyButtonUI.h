#pragma once
// Interim stand-in; replaced by the full control.
#include <QPushButton>
namespace ui {
class CDeviceKeyButtonUI : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;
    void SetLightColour(uint32_t rgb, uint8_t brightness, bool lightImage) { m_rgb = rgb; m_b = brightness; m_light = lightImage; update(); }
    bool IsSelected() const { return m_selected; }
    void SetSelected(bool s) { m_selected = s; }
private:
    uint32_t m_rgb = 0; uint8_t m_b = 0; bool m_light = false; bool m_selected = false;
};
}
