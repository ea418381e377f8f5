#pragma once

#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <cstdint>

class QLabel;

namespace ui {

class CCircleProgressUI;

// A device's power panel, built from "XML/CustomControlXML/MpDevicePower.xml": battery ring and
// percentage, charging state, wireless logo and, on a mouse pad, the kind of phone lying on its
// charger. Clicking the panel sends "selectchanged".
class CMpDevicePowerUI : public QWidget {
    Q_OBJECT
public:
    static constexpr char kClassName[] = "MpDevicePower";
    static constexpr char kLayoutFile[] = "XML/CustomControlXML/MpDevicePower.xml";
    static constexpr size_t kStatusLength = 6;

    // Charging state (byte 1 of the status block): its image and the text id a screen reader
    // says for it. Null for a state the panel does not know.
    static const char* ChargeImage(uint8_t state);
    static const char* ChargeTextId(uint8_t state);
    // Phone kind (byte 5, mouse pads only): its text id and image; anything but 1 to 3 is
    // "no phone".
    static const char* PhoneTextId(uint8_t kind);
    static const char* PhoneImage(uint8_t kind);

    explicit CMpDevicePowerUI(QWidget* parent = nullptr);

    QString GetClass() const { return QString::fromLatin1(kClassName); }

    void SetDeviceKind(int type, int variant);
    int DeviceType() const { return m_type; }
    int DeviceVariant() const { return m_variant; }

    // Shows a 6-byte status block: byte 0 battery percent, byte 1 charging state (0 charged,
    // 1 charging, 2 on battery), byte 3 non-zero when reached through the receiver, byte 5 the
    // phone kind (mouse pads). False, showing nothing, when the block is short or one of the
    // panel's controls is missing.
    bool ShowStatus(const uint8_t* block, size_t length);

    // Shows or hides "device_power_Layout".
    void SetShowFlag(bool show);
    bool ShowFlag() const { return m_show; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool bind();

    bool m_bound = false;
    QPointer<QLabel> m_value;
    QPointer<QWidget> m_wireless;
    QPointer<CCircleProgressUI> m_progress;
    QPointer<QLabel> m_status;
    QPointer<QLabel> m_phone;
    QPointer<QLabel> m_phoneIcon;  // the phone's picture beside its text (skins without it show the text alone)
    int m_type = 0;
    int m_variant = 0;
    bool m_show = true;
};

}  // namespace ui
