#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>

#include <vector>

#include "devices/CDevicePanel.h"
#include "profiles/ProfileRecords.h"

class CVantikUSBDevice;

// A colour field: hue from left to right, from full colour at the top to white at the bottom.
// Pressing or dragging picks a colour and raises "colorchanged"; the arrow keys move the pick.
class CColorPaletteUI : public QWidget {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "ColorPalette";
    explicit CColorPaletteUI(QWidget* parent = nullptr);
    QColor SelectedColor() const { return m_colour; }
    // Shows `colour` as the pick without raising a notification.
    void SetSelectedColor(const QColor& colour);
    QColor ColorAt(QPoint p) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Pick(QPoint p);
    QColor m_colour{255, 255, 255};
    QPoint m_pick{-1, -1};
};

// The lighting panel of a device page: mode, brightness, speed, direction, one colour or the
// seven-colour cycle, the keyboard's sub-mode and per-key colour groups, and the colours of the
// audio-reactive mode. It shows the device's lighting record and turns every change of its
// controls into a new record that the device stores, previews and sends. On a keyboard in the
// per-key colour mode, keys picked on the picture (a click or a drag over the selection panel)
// take the chosen colour.
class CLightControlUI : public QWidget, public CDevicePanel {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "LightControl";
    explicit CLightControlUI(QWidget* parent = nullptr);

    void AttachDevice(CVantikUSBDevice& device) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;
    void DeviceRefreshed() override;

    void SetDeviceKind(int kind) { m_kind = kind; }
    int DeviceKind() const { return m_kind; }
    void FillModeList(const QStringList& names, const std::vector<int>& visible, int maxBrightness, int maxSpeed);
    void ShowLightInfo(const LightInfo& info);
    void SelectMode(int index);
    int GetMode();
    void ApplyModeLayout(int kind, int mode);
    void SetSameModeAvailable(bool on);
    // Another program drives the device's lights (a client of the SDK server, by its name):
    // the panel says so and its lighting controls rest until `client` is empty again.
    void ShowExternalControl(const QString& client);
    const QString& ExternalClient() const { return m_externalClient; }
    bool SameModeAvailable() const { return m_sameAvailable; }
    void ShowAudioLightInfo(const AudioLightInfo& info);
    AudioLightInfo ReadAudioLightInfo(bool capture);

    int GetBrightness();
    int GetSpeed();
    QString GetColourEdit(int channel);
    QColor GetPaletteColour();
    QColor SwatchColour(int n);
    QColor AudioSwatchColour(int n);

    QWidget* Control(const QString& name) const;

private:
    // The plain change: the device's record with one field changed, stored and sent.
    // `dragging`: the change comes from a drag still going on (its profile is saved once it ends).
    void ApplyLightChange(const std::function<void(LightInfo&)>& change, bool clearSame, bool dragging = false);
    // A new colour from an edit, the palette or a swatch.
    void ApplyColour(QColor colour, int source);
    void ShowColour(QColor colour, bool edits, bool palette);
    void StoreAudio(const AudioLightInfo& info);
    int ReadEditValue(const QString& name, bool rewrite);
    // The keys chosen on the picture take the colour (off: black) in the per-key colour mode.
    bool PaintSelectedKeys(bool off);
    bool PaintKey(int position);
    bool CustomModeActive() const;
    void SetColourButton(const QString& name, QColor colour);

    CVantikUSBDevice* m_device = nullptr;
    int m_kind = 0;
    bool m_sameAvailable = false;
    QString m_externalClient;
    class QLabel* m_externalLabel = nullptr;
    AudioLightInfo m_audio{};
};
