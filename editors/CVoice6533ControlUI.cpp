#include "editors/CVoice6533ControlUI.h"

#include "editors/PanelShow.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

// The skin gives the panel its horizontal layout and its contents.
CVoice6533ControlUI::CVoice6533ControlUI(QWidget* parent) : QWidget(parent) {}

QWidget* CVoice6533ControlUI::Control(QPointer<QWidget>& cache, const QString& name)
{
    if (!cache)
        cache = ui::PaintManager::FindSubControlByName(this, name);
    return cache;
}

QComboBox* CVoice6533ControlUI::Combo()
{
    return qobject_cast<QComboBox*>(Control(m_combo, QStringLiteral("custom_eq_name_combo")));
}

QLineEdit* CVoice6533ControlUI::NameEdit()
{
    return qobject_cast<QLineEdit*>(Control(m_edit, QStringLiteral("custom_eq_name_edit")));
}

void CVoice6533ControlUI::SetCustomEqAreaEnabled(bool on)
{
    m_customWanted = on;
    ApplyEnabled();
}

void CVoice6533ControlUI::ApplyEnabled()
{
    auto enable = [this](QPointer<QWidget>& cache, const char* name, bool on) {
        if (QWidget* w = Control(cache, QLatin1String(name)))
            w->setEnabled(on);
    };
    enable(m_customArea, "custom_eq_option_layout", m_customWanted && m_eqAvailable);
    enable(m_eqOptions, "6533_eq_option_group", m_eqAvailable);
    enable(m_eqBands, "6533_eq_bands", m_eqAvailable);
    enable(m_micArea, "6533_MicIn_layout", m_micAvailable);
    enable(m_sideArea, "6533_MicMoniter_layout", m_sideToneWanted && m_micAvailable);
}

namespace {
// The one line under a feature's title that says why it cannot be used; hidden while it can.
void showReason(QWidget* w, const QString& reasonId)
{
    auto* label = qobject_cast<QLabel*>(w);
    if (!label)
        return;
    if (!reasonId.isEmpty())
        ui::Language::instance().SetTextId(label, reasonId);
    label->setVisible(!reasonId.isEmpty());
}
}  // namespace

void CVoice6533ControlUI::SetEqUnavailable(const QString& reasonId)
{
    m_eqAvailable = reasonId.isEmpty();
    ApplyEnabled();
    showReason(Control(m_eqReason, QStringLiteral("6533_eq_unavailable")), reasonId);
}

void CVoice6533ControlUI::SetMicUnavailable(const QString& reasonId)
{
    m_micAvailable = reasonId.isEmpty();
    ApplyEnabled();
    showReason(Control(m_micReason, QStringLiteral("6533_mic_unavailable")), reasonId);
}

void CVoice6533ControlUI::SelectEqPreset(int n)
{
    for (int i = 0; i < 13; ++i)
        panelshow::Select(Control(m_presetOptions[size_t(i)], QStringLiteral("6533_eq_option_%1").arg(i + 1)), false);
    m_preset = n >= 1 && n <= 13 ? n : 0;
    if (m_preset)
        panelshow::Select(Control(m_presetOptions[size_t(m_preset - 1)], QStringLiteral("6533_eq_option_%1").arg(m_preset)),
                          true);
}

void CVoice6533ControlUI::SetEqBand(int band, int value)
{
    if (band < 0 || band > 9)
        return;
    panelshow::SetValue(Control(m_bands[size_t(band)], QStringLiteral("6533_eq_hz_slider_%1").arg(band)), value);
    // The band's value under its slider, when the skin has one.
    if (auto* label = qobject_cast<QLabel*>(Control(m_bandValues[size_t(band)], QStringLiteral("6533_eq_hz_value_%1").arg(band))))
        label->setText(value > 0 ? QStringLiteral("+%1").arg(value) : QString::number(value));
}

int CVoice6533ControlUI::GetEqBand(int band)
{
    if (band < 0 || band > 9)
        return -1;
    return panelshow::Value(Control(m_bands[size_t(band)], QStringLiteral("6533_eq_hz_slider_%1").arg(band)));
}

void CVoice6533ControlUI::SetMicOn(bool on)
{
    panelshow::Select(Control(m_micOption, QStringLiteral("6533_MicIn_option")), on);
}

void CVoice6533ControlUI::SetSideToneOn(bool on)
{
    panelshow::Select(Control(m_sideOption, QStringLiteral("6533_MicMoniter_option")), on);
}

void CVoice6533ControlUI::ShowPercent(const QString& labelName, QPointer<QWidget>& cache, int value)
{
    if (auto* label = qobject_cast<QLabel*>(Control(cache, labelName)))
        label->setText(QStringLiteral("%1%").arg(value));
}

void CVoice6533ControlUI::SetMicLevel(int v)
{
    panelshow::SetValue(Control(m_micSlider, QStringLiteral("6533_MicIn_slider")), v);
    ShowPercent(QStringLiteral("6533_MicIn_percent"), m_micPercent, GetMicLevel());
}

int CVoice6533ControlUI::GetMicLevel()
{
    return panelshow::Value(Control(m_micSlider, QStringLiteral("6533_MicIn_slider")));
}

void CVoice6533ControlUI::SetSideToneLevel(int v)
{
    panelshow::SetValue(Control(m_sideSlider, QStringLiteral("6533_MicMoniter_slider")), v);
    ShowPercent(QStringLiteral("6533_MicMoniter_percent"), m_sidePercent, GetSideToneLevel());
}

int CVoice6533ControlUI::GetSideToneLevel()
{
    return panelshow::Value(Control(m_sideSlider, QStringLiteral("6533_MicMoniter_slider")));
}

void CVoice6533ControlUI::SetMicLevelText(const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(Control(m_micText, QStringLiteral("6533_MicIn_db"))))
        label->setText(text.isEmpty() ? QString() : text + QStringLiteral(" dB"));
    ShowPercent(QStringLiteral("6533_MicIn_percent"), m_micPercent, GetMicLevel());
}

void CVoice6533ControlUI::SetSideToneLevelText(const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(Control(m_sideText, QStringLiteral("6533_MicMoniter_db"))))
        label->setText(text.isEmpty() ? QString() : text + QStringLiteral(" dB"));
    ShowPercent(QStringLiteral("6533_MicMoniter_percent"), m_sidePercent, GetSideToneLevel());
}

void CVoice6533ControlUI::SetSideToneAvailable(bool available)
{
    m_sideToneWanted = available;
    ApplyEnabled();
}

void CVoice6533ControlUI::SetEqName(const QString& text)
{
    if (QLineEdit* edit = NameEdit()) {
        const QSignalBlocker block(edit);
        edit->setText(text);
    }
}

QString CVoice6533ControlUI::GetEqName()
{
    QLineEdit* edit = NameEdit();
    return edit ? edit->text() : QString();
}

void CVoice6533ControlUI::AddEqName(const QString& name)
{
    QComboBox* combo = Combo();
    if (!combo)
        return;
    const QSignalBlocker block(combo);
    const int current = combo->currentIndex();
    combo->addItem(name, name);
    // A new entry is not a choice: the selection stays what it was.
    combo->setCurrentIndex(current);
}

int CVoice6533ControlUI::GetEqSelection()
{
    QComboBox* combo = Combo();
    return combo ? combo->currentIndex() : -1;
}

int CVoice6533ControlUI::GetEqNameCount()
{
    QComboBox* combo = Combo();
    return combo ? combo->count() : 0;
}

QString CVoice6533ControlUI::GetEqNameAt(int i)
{
    QComboBox* combo = Combo();
    return combo && i >= 0 && i < combo->count() ? combo->itemText(i) : QString();
}

void CVoice6533ControlUI::SelectEqName(int i)
{
    if (QComboBox* combo = Combo()) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(i >= 0 && i < combo->count() ? i : -1);
    }
    SetEqName(QString());
}

void CVoice6533ControlUI::RemoveEqName(int i)
{
    QComboBox* combo = Combo();
    if (!combo || i < 0 || i >= combo->count())
        return;
    const QSignalBlocker block(combo);
    combo->removeItem(i);
}

void CVoice6533ControlUI::RemoveAllEqNames()
{
    if (QComboBox* combo = Combo()) {
        const QSignalBlocker block(combo);
        combo->clear();
    }
}
