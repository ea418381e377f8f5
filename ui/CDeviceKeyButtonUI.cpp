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
    repaintKey();
}

void CDeviceKeyButtonUI::SetLightFlag(bool on)
{
    if (m_lightFlag == on)
        return;
    m_lightFlag = on;
    repaintKey();
}

void CDeviceKeyButtonUI::SetKeySetHidden(bool hidden)
{
    if (m_keySetHidden == hidden)
        return;
    m_keySetHidden = hidden;
    repaintKey();
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
    repaintKey();
}

void CDeviceKeyButtonUI::SetKeySetImage(const QString& path)
{
    m_keySetImage = path;
    repaintKey();
}

void CDeviceKeyButtonUI::SetGameNameTextColor(const QString& text)
{
    m_gameNameColorText = text;
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1Char('#')))
        digits.remove(0, 1);
    m_gameNameColor = QColor(QLatin1Char('#') + digits);
}

void CDeviceKeyButtonUI::repaintKey()
{
    QWidget* painter = m_sharedPainter.data();
    // The shared painter is opaque over the keys it covers: updating only its rectangle of the
    // key repaints that widget alone, whereas this (transparent) button's update would repaint
    // every widget beneath it as well.
    if (painter && painter->parentWidget() == parentWidget() && painter->isVisible() &&
        painter->geometry().contains(geometry()))
        painter->update(geometry().translated(-painter->pos()));
    else
        update();
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

const QPixmap& CDeviceKeyButtonUI::Frame(const QStyleOptionButton& option)
{
    const qreal ratio = devicePixelRatioF();
    const qint64 key = palette().cacheKey() ^ (qint64(styleSheet().size()) << 40);
    if (m_frame.isNull() || m_frameSize != size() || m_frameState != option.state || m_frameKey != key) {
        m_frame = QPixmap(size() * ratio);
        m_frame.setDevicePixelRatio(ratio);
        m_frame.fill(Qt::transparent);
        QStylePainter sp(&m_frame, this);
        sp.drawControl(QStyle::CE_PushButton, option);
        m_frameSize = size();
        m_frameState = option.state;
        m_frameKey = key;
    }
    return m_frame;
}

const QPixmap& CDeviceKeyButtonUI::Legend(const QString& text, bool bright)
{
    const int i = bright ? 1 : 0;
    if (m_legend[i].isNull() || m_legendText[i] != text || m_legendSize[i] != size()) {
        const qreal ratio = devicePixelRatioF();
        m_legend[i] = QPixmap(size() * ratio);
        m_legend[i].setDevicePixelRatio(ratio);
        m_legend[i].fill(Qt::transparent);
        QPainter p(&m_legend[i]);
        p.setRenderHint(QPainter::TextAntialiasing);
        QFont f = font();
        f.setPixelSize(std::max(7, std::min(height(), width()) * 9 / 26));
        p.setFont(f);
        p.setPen(bright ? QColor(0x10, 0x15, 0x1b) : QColor(0xe6, 0xeb, 0xf2));
        p.drawText(QRect(QPoint(0, 0), size()), Qt::AlignCenter, text);
        m_legendText[i] = text;
        m_legendSize[i] = size();
    }
    return m_legend[i];
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent* event)
{
    (void)event;
    QPainter p(this);
    PaintKey(p);
}

void CDeviceKeyButtonUI::PaintKey(QPainter& p)
{
    // The frame first, then the light, then the key's legend on top so it stays readable.
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString legend = option.text;
    option.text.clear();
    p.drawPixmap(0, 0, Frame(option));
    const bool antialiased = p.testRenderHint(QPainter::Antialiasing);
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
            // No image: the key cap lit in the LED's colour, stronger the brighter the LED.
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
        // Perceived brightness, so yellow and cyan keys (bright, though of middle lightness)
        // get a dark legend too.
        const int luma = (299 * lit.red() + 587 * lit.green() + 114 * lit.blue()) / 1000;
        const bool bright = m_lightFlag && m_brightness > 96 && luma > 150;
        p.drawPixmap(0, 0, Legend(legend, bright));
    }
    if (!m_keySetHidden) {
        const QPixmap mark = loadImage(m_keySetImage);
        if (!mark.isNull())
            p.drawPixmap(r.toRect(), mark);
    }
    p.setRenderHint(QPainter::Antialiasing, antialiased);
}

}  // namespace ui
