#pragma once

#include <QString>
#include <cstdint>
#include <json/value.h>

#include "ui/WindowImplBase.h"

class CColorPaletteUI;
class QAbstractButton;
class QButtonGroup;

// The colour palette window: a colour field, 20 preset colours, 20 slots that keep colours the
// user made, the red, green and blue components as numbers and a preview. Preset choice and
// kept colours live in "color_option_info.config" in the user data folder (made from the
// shipped copy when it is missing or cannot be read). OK closes with 1 and GetColor is the
// preview's colour; the close and cancel buttons and Escape close with 0.
class CColorSelectWnd : public WindowImplBase {
    Q_OBJECT
public:
    static constexpr int kPresets = 20;
    static constexpr int kKeepSlots = 20;

    // `userFile`, `defaultFile`: the palette file and its shipped copy (empty: the usual ones).
    explicit CColorSelectWnd(QString userFile = {}, QString defaultFile = {});

    QString GetSkinFile() override { return QStringLiteral("XML/PalletDialog.ui"); }
    QString GetWindowClassName() override { return QStringLiteral("ColorSelectWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                 bool& bHandled) override;

    // 48 to 192 in steps of 24, else 96.
    void SetWindowDpi(int dpi);
    int WindowDpi() const { return m_dpi; }
    void SetColor(uint32_t argb);
    void SetSevenColor(bool on);
    void EnableSevenColor(bool on);
    uint32_t GetColor() const { return m_colour; }
    bool SevenColor() const { return m_sevenColour; }
    int PresetIndex() const { return m_presetIndex; }
    int KeepSlotIndex() const { return m_keepIndex; }

    static QString UserPaletteFile();
    static QString DefaultPaletteFile();
    // A swatch's colour (ARGB) and whether a keep slot holds one.
    static uint32_t SwatchColour(const QWidget* swatch);
    static bool SlotHoldsColour(const QWidget* swatch);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QAbstractButton* Preset(int n) const;
    QAbstractButton* KeepSlot(int n) const;
    CColorPaletteUI* Palette() const;
    void LoadPaletteFile();
    void SavePresets();
    void SaveKeepSlots();
    Json::Value ReadUserFile() const;
    void WriteUserFile(const Json::Value& doc) const;
    void KeepAndPreview();
    void OnKeepSlotSelected(int n);
    void ReadEdits(QWidget* edited);
    void ShowComponents(uint32_t argb);
    void SetPaletteSelection(uint32_t argb);
    void SetPreviewColour(uint32_t argb);
    void ShowTexts();
    static void SetSwatch(QWidget* swatch, uint32_t argb, bool keepSlot, const QString& userData);

    QString m_userFile;
    QString m_defaultFile;
    int m_dpi = 96;
    uint32_t m_colour = 0xFFFFFFFF;
    int m_presetIndex = 4;
    int m_keepIndex = 0;
    bool m_sevenColour = false;
    QButtonGroup* m_presetGroup = nullptr;
    QButtonGroup* m_keepGroup = nullptr;
};
