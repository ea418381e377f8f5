#pragma once

#include <QHBoxLayout>
#include <QPointer>
#include <QWidget>

#include <array>

#include "devices/HeadsetPanels.h"

class QComboBox;
class QLabel;
class QLineEdit;

// The headset's sound panel: the equaliser (thirteen presets, ten band sliders, the named custom
// presets) and the microphone and side-tone switches and levels. A view: each operation finds its
// control by name on first use, keeps it, and only shows or reads it; the headset device acts on
// the panel's notifications. A missing control makes what needs it do nothing.
class CVoice6533ControlUI : public QWidget, public IVoice6533Panel {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "Voice6533Control";
    explicit CVoice6533ControlUI(QWidget* parent = nullptr);

    void SetCustomEqAreaEnabled(bool on) override;
    void SelectEqPreset(int n) override;
    int SelectedEqPreset() const override { return m_preset; }
    void SetEqBand(int band, int value) override;
    int GetEqBand(int band) override;
    void SetMicOn(bool on) override;
    void SetSideToneOn(bool on) override;
    void SetMicLevel(int v) override;
    int GetMicLevel() override;
    void SetSideToneLevel(int v) override;
    int GetSideToneLevel() override;
    void SetMicLevelText(const QString& text) override;
    void SetSideToneLevelText(const QString& text) override;
    void SetSideToneAvailable(bool available) override;
    void SetEqUnavailable(const QString& reasonId) override;
    void SetMicUnavailable(const QString& reasonId) override;
    void SetEqName(const QString& text) override;
    QString GetEqName() override;
    void AddEqName(const QString& name) override;
    int GetEqSelection() override;
    int GetEqNameCount() override;
    QString GetEqNameAt(int i) override;
    void SelectEqName(int i) override;
    void RemoveEqName(int i) override;
    void RemoveAllEqNames() override;

private:
    QWidget* Control(QPointer<QWidget>& cache, const QString& name);
    QComboBox* Combo();
    QLineEdit* NameEdit();
    void ShowPercent(const QString& labelName, QPointer<QWidget>& cache, int value);

    void ApplyEnabled();

    int m_preset = 0;
    // What the device asked for, and what this machine allows: a control is enabled only with both.
    bool m_customWanted = false, m_sideToneWanted = true;
    bool m_eqAvailable = true, m_micAvailable = true;
    std::array<QPointer<QWidget>, 13> m_presetOptions;
    std::array<QPointer<QWidget>, 10> m_bands;
    std::array<QPointer<QWidget>, 10> m_bandValues;
    QPointer<QWidget> m_customArea, m_combo, m_edit, m_micOption, m_micSlider, m_sideOption, m_sideSlider;
    QPointer<QWidget> m_micText, m_sideText, m_micPercent, m_sidePercent, m_sideArea;
    QPointer<QWidget> m_eqOptions, m_eqBands, m_micArea, m_eqReason, m_micReason;
};
