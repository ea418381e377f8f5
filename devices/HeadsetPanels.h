#pragma once

#include <QString>

// What the headset device needs of its two sound panels. The panels (editors layer) implement
// these; the device finds them in its page and only shows values through them. Showing a value
// never raises the control's notification.

// The equaliser, microphone and side-tone panel.
class IVoice6533Panel {
public:
    virtual ~IVoice6533Panel() = default;
    virtual void SetCustomEqAreaEnabled(bool on) = 0;
    // 1..13 selects that preset option; anything else selects none (remembered as 0).
    virtual void SelectEqPreset(int n) = 0;
    virtual int SelectedEqPreset() const = 0;
    virtual void SetEqBand(int band, int value) = 0;
    virtual int GetEqBand(int band) = 0;  // -1 when the slider is missing
    virtual void SetMicOn(bool on) = 0;
    virtual void SetSideToneOn(bool on) = 0;
    virtual void SetMicLevel(int v) = 0;
    virtual int GetMicLevel() = 0;
    virtual void SetSideToneLevel(int v) = 0;
    virtual int GetSideToneLevel() = 0;
    // The level the chip reports after a change (its own units, already formatted).
    virtual void SetMicLevelText(const QString& text) = 0;
    virtual void SetSideToneLevelText(const QString& text) = 0;
    // Hides the side-tone controls of a headset without one.
    virtual void SetSideToneAvailable(bool available) = 0;
    // A feature this machine cannot apply: its controls are disabled (still showing their values)
    // and one line, the text of `reasonId`, says why and what to install. An empty id: usable.
    virtual void SetEqUnavailable(const QString& reasonId) = 0;
    virtual void SetMicUnavailable(const QString& reasonId) = 0;
    virtual void SetEqName(const QString& text) = 0;
    virtual QString GetEqName() = 0;
    virtual void AddEqName(const QString& name) = 0;
    virtual int GetEqSelection() = 0;  // -1 when none or missing
    virtual int GetEqNameCount() = 0;
    virtual QString GetEqNameAt(int i) = 0;
    // Selects entry i (-1: none) and empties the name edit.
    virtual void SelectEqName(int i) = 0;
    virtual void RemoveEqName(int i) = 0;
    virtual void RemoveAllEqNames() = 0;
};

// The voice changer panel.
class IMagicPanel {
public:
    virtual ~IMagicPanel() = default;
    virtual void SetMagicAreaEnabled(bool on) = 0;
    // As IVoice6533Panel::SetEqUnavailable, for the whole voice changer.
    virtual void SetMagicUnavailable(const QString& reasonId) = 0;
    virtual void SetMagicOn(bool on) = 0;
    virtual bool IsMagicOn() = 0;
    // 1..4 selects that effect option; anything else selects none (remembered as 0).
    virtual void SelectMagicEffect(int n) = 0;
    virtual int SelectedMagicEffect() const = 0;
};
