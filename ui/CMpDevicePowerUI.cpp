#include "ui/CMpDevicePowerUI.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>

#include "ui/CCircleProgressUI.h"
#include "ui/Language.h"
#include "ui/Notify.h"
#include "ui/PaintManager.h"

namespace ui {

namespace {

// Status block offsets.
constexpr size_t kBattery = 0;
constexpr size_t kCharge = 1;
constexpr size_t kWireless = 3;
constexpr size_t kPhone = 5;
constexpr int kMousePadType = 3;

// Draws a picture of the panel in `label`, filling its box: from the SVG beside the named PNG
// where there is one (sharp at every scale), else the PNG itself.
void ShowPicture(QLabel* label, const QString& png)
{
    QString file = QDir::fromNativeSeparators(PaintManager::ResourceFile(png));
    const QString svg = file.left(file.lastIndexOf(QLatin1Char('.'))) + QLatin1String(".svg");
    if (QFileInfo::exists(svg))
        file = svg;
    // Setting the same sheet again would re-read and re-render the picture at every status read.
    const QString sheet = QStringLiteral("QLabel#%1 { image: url(\"%2\"); }").arg(label->objectName(), file);
    if (label->styleSheet() != sheet)
        label->setStyleSheet(sheet);
}

}  // namespace

const char* CMpDevicePowerUI::ChargeImage(uint8_t state)
{
    switch (state) {
    case 0:
        return "power/powered.png";
    case 1:
        return "power/powering.png";
    case 2:
        return "power/power.png";
    default:
        return nullptr;
    }
}

const char* CMpDevicePowerUI::ChargeTextId(uint8_t state)
{
    switch (state) {
    case 0:
        return "power_state_charged";
    case 1:
        return "power_state_charging";
    case 2:
        return "power_state_battery";
    default:
        return nullptr;
    }
}

const char* CMpDevicePowerUI::PhoneTextId(uint8_t kind)
{
    switch (kind) {
    case 1:
        return "Phone_type_iphone";
    case 2:
        return "Phone_type_samsung";
    case 3:
        return "Phone_type_other";
    default:
        return "Phone_type_no_device";
    }
}

const char* CMpDevicePowerUI::PhoneImage(uint8_t kind)
{
    switch (kind) {
    case 1:
        return "power/Phone_type_iphone.png";
    case 2:
        return "power/Phone_type_samsung.png";
    case 3:
        return "power/Phone_type_other.png";
    default:
        return "power/Phone_type_no_device.png";
    }
}

CMpDevicePowerUI::CMpDevicePowerUI(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
}

void CMpDevicePowerUI::SetDeviceKind(int type, int variant)
{
    m_type = type;
    m_variant = variant;
    // Only a pad has a phone charger; other devices keep the phone line out of sight.
    for (const char* name : {"device_phone_type", "device_phone_icon"})
        if (QWidget* phone = findChild<QWidget*>(QLatin1String(name)))
            phone->setVisible(type == kMousePadType);
}

bool CMpDevicePowerUI::bind()
{
    if (m_bound)
        return true;
    m_value = findChild<QLabel*>(QStringLiteral("device_power_value"));
    m_wireless = findChild<QWidget*>(QStringLiteral("device_wuxian_logo"));
    m_progress = findChild<CCircleProgressUI*>(QStringLiteral("device_Power_progress"));
    m_status = findChild<QLabel*>(QStringLiteral("device_power_status"));
    m_phone = findChild<QLabel*>(QStringLiteral("device_phone_type"));
    m_phoneIcon = findChild<QLabel*>(QStringLiteral("device_phone_icon"));
    m_bound = m_value && m_wireless && m_progress && m_status && m_phone;
    return m_bound;
}

bool CMpDevicePowerUI::ShowStatus(const uint8_t* block, size_t length)
{
    if (!block || length < kStatusLength || !bind())
        return false;

    const int percent = block[kBattery];
    m_progress->setRange(0, 100);
    // The ring's pie is the spent part; a reading above 100 shows as full.
    m_progress->setValue(100 - std::min(percent, 100));
    m_value->setText(QString::asprintf("%d%s", percent, "%"));
    m_progress->setAccessibleName(m_value->text());

    m_wireless->setVisible(block[kWireless] != 0);

    if (const char* image = ChargeImage(block[kCharge])) {
        ShowPicture(m_status, QLatin1String(image));
        m_status->setProperty("image", QLatin1String(image));
        // The picture is the only sign of the state; its tool tip (a text id that follows the
        // language) says it in words, and screen readers read it as the name.
        Language::instance().SetToolTipId(m_status, QLatin1String(ChargeTextId(block[kCharge])));
    }

    if (m_type == kMousePadType) {
        const uint8_t kind = block[kPhone];
        Language::instance().SetTextId(m_phone, QLatin1String(PhoneTextId(kind)));
        const QString image = QLatin1String(PhoneImage(kind));
        m_phone->setProperty("image", image);
        if (m_phoneIcon)
            ShowPicture(m_phoneIcon, image);
    }
    return true;
}

void CMpDevicePowerUI::SetShowFlag(bool show)
{
    m_show = show;
    if (QWidget* layout = findChild<QWidget*>(QStringLiteral("device_power_Layout")))
        layout->setVisible(show);
}

void CMpDevicePowerUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        PaintManager::Notify(this, QString::fromLatin1(kNotifySelectChanged));
    QWidget::mouseReleaseEvent(event);
}

}  // namespace ui
