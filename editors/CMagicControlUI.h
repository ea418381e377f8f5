#pragma once

#include <QPointer>
#include <QWidget>

#include <array>

#include "devices/HeadsetPanels.h"

// The headset's voice changer panel: on/off and four effects. A view like the sound panel.
class CMagicControlUI : public QWidget, public IMagicPanel {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "MagicControl";
    explicit CMagicControlUI(QWidget* parent = nullptr);

    void SetMagicAreaEnabled(bool on) override;
    void SetMagicUnavailable(const QString& reasonId) override;
    void SetMagicOn(bool on) override;
    bool IsMagicOn() override;
    void SelectMagicEffect(int n) override;
    int SelectedMagicEffect() const override { return m_effect; }

private:
    QWidget* Control(QPointer<QWidget>& cache, const QString& name);

    int m_effect = 0;
    // The effects are enabled while the voice changer is on and this machine can apply it.
    bool m_areaWanted = false, m_available = true;
    QPointer<QWidget> m_enable, m_area, m_reason;
    std::array<QPointer<QWidget>, 4> m_options;
};
