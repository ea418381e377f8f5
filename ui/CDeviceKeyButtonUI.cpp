#include "ui/CDeviceKeyButtonUI.h"

#include <QEvent>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

#include "ui/PaintManager.h"

namespace ui {

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : QPushButton(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

QColor CDeviceKeyButtonUI::ShownColour(uint32_t rgbPacked, uint8_t brightness)
{
    auto scale = [brightness](uint32_t component) { return static_cast<int>(component * brightness / 255); };
    return QColor(scale(rgbPacked & 0xFF), scale((rgbPacked >> 16) & 0xFF), scale((rgbPacked >> 8) & 0xFF));
}

void CDeviceKeyButtonUI::SetLightColour(uint32_t rgbPacked, uint8_t brightness, bool lightImage)
{
    if (m_packed == rgbPacked && m_brightness == brightness && m_lightFlag == lightImage)
        return;
    m_packed = rgbPacked;
    m_brightness = brightness;
    m_lightFlag = lightImage;
    update();
}

void CDeviceKeyButtonUI::SetLightFlag(bool on)
{
    if (m_lightFlag == on)
        return;
    m_lightFlag = on;
    update();
}

void CDeviceKeyButtonUI::SetKeySetHidden(bool hidden)
{
    if (m_keySetHidden == hidden)
        return;
    m_keySetHidden = hidden;
    update();
}

void CDeviceKeyButtonUI::SetSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    // The style sheet draws the selected look from the property; re-polish so it applies.
    style()->unpolish(this);
    style()->polish(this);
    update();
    emit selectedChanged(selected);
}

void CDeviceKeyButtonUI::SetLightImage(const QString& path)
{
    m_lightImage = path;
    update();
}

void CDeviceKeyButtonUI::SetKeySetImage(const QString& path)
{
    m_keySetImage = path;
    update();
}

void CDeviceKeyButtonUI::SetGameNameTextColor(const QString& text)
{
    m_gameNameColorText = text;
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1Char('#')))
        digits.remove(0, 1);
    m_gameNameColor = QColor(QLatin1Char('#') + digits);
}

QPixmap CDeviceKeyButtonUI::loadImage(const QString& path) const
{
    if (path.isEmpty())
        return {};
    const QString file = QFileInfo(path).isAbsolute() ? path : PaintManager::ResourceFile(path);
    return QPixmap(file);
}

bool CDeviceKeyButtonUI::event(QEvent* e)
{
    // The buttons of a device picture carry no text; their tool tip is what a screen reader
    // should say.
    if (e->type() == QEvent::ToolTipChange)
        setAccessibleName(toolTip());
    return QPushButton::event(e);
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent* event)
{
    // The frame first, then the light, then the key's legend on top so it stays readable.
    QStylePainter sp(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString legend = option.text;
    option.text.clear();
    sp.drawControl(QStyle::CE_PushButton, option);
    sp.end();
    (void)event;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(1, 1, -1, -1);

    if (m_lightFlag) {
        const QColor c = ShownColour(m_packed, m_brightness);
        const QPixmap image = loadImage(m_lightImage);
        if (!image.isNull()) {
            // The light image is a mask: its shape in the LED's colour.
            QPixmap tinted(image.size());
            tinted.fill(Qt::transparent);
            QPainter t(&tinted);
            t.drawPixmap(0, 0, image);
            t.setCompositionMode(QPainter::CompositionMode_SourceIn);
            t.fillRect(tinted.rect(), c);
            t.end();
            p.drawPixmap(r.toRect(), tinted);
        } else if (m_brightness > 0 && c != Qt::black) {
            // No image: the key cap lit in the LED's colour, stronger the brighter the LED. A
            // plain fill keeps a picture of a hundred keys cheap to repaint many times a second.
            QColor fill = c;
            fill.setAlpha(120 + m_brightness * 135 / 255);
            QPainterPath shape;
            shape.addRoundedRect(r.adjusted(2, 2, -2, -2), 4, 4);
            p.fillPath(shape, fill);
        }
    }
    if (!legend.isEmpty()) {
        // Light legends on dark keys; a brightly lit key gets a dark legend.
        const QColor lit = ShownColour(m_packed, m_brightness);
        const bool bright = m_lightFlag && lit.lightness() > 150;
        QFont f = font();
        f.setPixelSize(std::max(7, std::min(height(), width()) * 9 / 26));
        p.setFont(f);
        p.setPen(bright ? QColor(0x10, 0x15, 0x1b) : QColor(0xe6, 0xeb, 0xf2));
        p.drawText(rect(), Qt::AlignCenter, legend);
    }
    if (!m_keySetHidden) {
        const QPixmap mark = loadImage(m_keySetImage);
        if (!mark.isNull())
            p.drawPixmap(r.toRect(), mark);
    }
}

}  // namespace ui
