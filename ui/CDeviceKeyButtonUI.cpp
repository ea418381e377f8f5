#include "ui/CDeviceKeyButtonUI.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QKeyEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>
#include <limits>

#include "ui/Language.h"
#include "ui/PaintManager.h"

namespace ui {

namespace {

// What a screen reader reads for a key of a device picture: the key and what it does now, in
// the current language at the time it asks, so the name follows assignments and language
// switches without being set anew. LEDs and keys without a function shown say their name alone.
class KeyAccessible : public QAccessibleWidget {
public:
    explicit KeyAccessible(CDeviceKeyButtonUI* b) : QAccessibleWidget(b, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        auto* b = static_cast<CDeviceKeyButtonUI*>(widget());
        QString key = b->toolTip();
        if (key.isEmpty())
            key = b->accessibleName();
        const QString assigned = b->AssignmentText();
        if (assigned.isEmpty())
            return key.isEmpty() ? assigned : key;
        if (key.isEmpty())
            return assigned;
        // A language file without the pattern still says both.
        const QString id = QStringLiteral("key_assigned_format");
        const QString pattern = Language::instance().Has(id) ? Language::instance().Text(id) : QStringLiteral("%1: %2");
        return pattern.arg(key, assigned);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        auto* b = static_cast<CDeviceKeyButtonUI*>(widget());
        s.pressed = b->isDown();
        s.selectable = true;
        s.selected = b->IsSelected();
        return s;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& action) override
    {
        if (action == pressAction()) {
            if (widget()->isEnabled())
                static_cast<CDeviceKeyButtonUI*>(widget())->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* KeyAccessibleFactory(const QString& className, QObject* object)
{
    Q_UNUSED(className);
    if (auto* b = qobject_cast<CDeviceKeyButtonUI*>(object))
        return new KeyAccessible(b);
    return nullptr;
}

// The smallest rectangle holding every pixel of the image that is not fully transparent
// (empty when none is), in the image's pixels.
QRect InkBounds(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

CDeviceKeyButtonUI::CDeviceKeyButtonUI(QWidget* parent) : QPushButton(parent)
{
    static const bool factory = (QAccessible::installFactory(KeyAccessibleFactory), true);
    Q_UNUSED(factory);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

QString CDeviceKeyButtonUI::AssignmentText() const
{
    // The function the key panel gave (a text id or ready text), else the legend shown.
    const QString assigned = property(kAssignmentProperty).toString();
    if (!assigned.isEmpty())
        return Language::instance().Text(assigned);
    return text();
}

QList<CDeviceKeyButtonUI*> CDeviceKeyButtonUI::FocusableKeys() const
{
    QList<CDeviceKeyButtonUI*> keys;
    if (!parentWidget())
        return keys;
    for (auto* k : parentWidget()->findChildren<CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly))
        if (k->isVisible() && k->isEnabled() && k->focusPolicy() != Qt::NoFocus)
            keys << k;
    return keys;
}

void CDeviceKeyButtonUI::MakeTabStop()
{
    // The picture is one stop of the Tab chain (the key last focused, at first the top left
    // one); the arrow keys walk its keys. A click still focuses any key.
    if (!parentWidget())
        return;
    for (auto* k : parentWidget()->findChildren<CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly))
        if (k != this && (k->focusPolicy() & Qt::TabFocus))
            k->setFocusPolicy(Qt::ClickFocus);
    setFocusPolicy(Qt::StrongFocus);
}

CDeviceKeyButtonUI* CDeviceKeyButtonUI::Neighbour(int key) const
{
    const QPoint from = geometry().center();
    CDeviceKeyButtonUI* best = nullptr;
    double bestScore = 0;
    for (CDeviceKeyButtonUI* k : FocusableKeys()) {
        if (k == this)
            continue;
        const QPoint d = k->geometry().center() - from;
        int along = 0, across = 0;
        switch (key) {
        case Qt::Key_Right: along = d.x(), across = d.y(); break;
        case Qt::Key_Left: along = -d.x(), across = d.y(); break;
        case Qt::Key_Down: along = d.y(), across = d.x(); break;
        case Qt::Key_Up: along = -d.y(), across = d.x(); break;
        default: return nullptr;
        }
        if (along <= 0 || std::abs(across) > along * 2 + height())
            continue;
        // The nearest key ahead, keeping to the row (or column) it is in.
        const double score = along + 3.0 * std::abs(across);
        if (!best || score < bestScore)
            best = k, bestScore = score;
    }
    return best;
}

void CDeviceKeyButtonUI::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (CDeviceKeyButtonUI* next = Neighbour(e->key()))
            next->setFocus(Qt::TabFocusReason);
        e->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier) {
            click();
            e->accept();
            return;
        }
        break;
    default:
        break;
    }
    QPushButton::keyPressEvent(e);
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
    CKeyPainter* painter = m_sharedPainter.data();
    // The shared painter is opaque over the keys it covers: repainting the key there repaints
    // that widget alone, whereas this (transparent) button's update would repaint every widget
    // beneath it as well.
    if (painter && painter->parentWidget() == parentWidget() && painter->isVisible() &&
        painter->geometry().contains(geometry()))
        painter->RepaintKey(geometry());
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
    if (e->type() == QEvent::FocusIn && focusPolicy() != Qt::NoFocus)
        MakeTabStop();
    // The first key shown of a picture becomes its stop in the Tab chain.
    if (e->type() == QEvent::Show && parentWidget() && !parentWidget()->property(kRovingProperty).toBool() &&
        (focusPolicy() & Qt::TabFocus)) {
        parentWidget()->setProperty(kRovingProperty, true);
        MakeTabStop();
    }
    // Hover, focus, presses, enabling, palette, style, font, activation, screen: every change
    // the style option follows comes as an event; paint events change nothing.
    if (e->type() != QEvent::Paint)
        m_optionStale = true;
    return QPushButton::event(e);
}

const QPixmap& CDeviceKeyButtonUI::Frame(const QStyleOptionButton& option)
{
    const qreal ratio = m_ratio;
    const qint64 key = m_styleKey;
    if (m_frame.isNull() || m_frameSize != size() || m_frameState != option.state || m_frameKey != key ||
        m_frameRatio != ratio) {
        m_frame = QPixmap(size() * ratio);
        m_frame.setDevicePixelRatio(ratio);
        m_frame.fill(Qt::transparent);
        QStylePainter sp(&m_frame, this);
        sp.drawControl(QStyle::CE_PushButton, option);
        sp.end();
        m_frameSize = size();
        m_frameState = option.state;
        m_frameKey = key;
        m_frameRatio = ratio;
        m_frameBlank = InkBounds(m_frame.toImage()).isEmpty();
    }
    return m_frame;
}

namespace {

// The legend split into two lines at the space or '+' that makes the longer line shortest; the
// text itself when it has no such place.
QString TwoLines(const QString& text, const QFontMetrics& fm)
{
    QString best = text;
    int widest = std::numeric_limits<int>::max();
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char(' ') && c != QLatin1Char('+'))
            continue;
        // A space goes; a '+' stays with the first line, as in "LCtrl+" / "C".
        const QString first = c == QLatin1Char(' ') ? text.left(i) : text.left(i + 1);
        const QString second = text.mid(i + 1).trimmed();
        const int w = std::max(fm.horizontalAdvance(first), fm.horizontalAdvance(second));
        if (!second.isEmpty() && w < widest) {
            widest = w;
            best = first + QLatin1Char('\n') + second;
        }
    }
    return best;
}

}  // namespace

void CDeviceKeyButtonUI::fitLegend(const QString& text)
{
    if (text == m_fitText && size() == m_fitSize && font() == m_fitFont)
        return;
    m_fitText = text;
    m_fitSize = size();
    m_fitFont = font();
    // A legend wider than the key (a function label such as "Left Button" on a letter key) is
    // set smaller, down to 9 px on one line; then on two lines, down to 7 px; only a legend
    // that fits neither way is cut with an ellipsis.
    const int room = std::max(1, width() - 4);
    const int start = std::max(7, std::min(height(), width()) * 9 / 26);
    QFont f = font();
    for (int pixels = start; pixels >= std::min(start, 9); --pixels) {
        f.setPixelSize(pixels);
        if (QFontMetrics(f).horizontalAdvance(text) <= room) {
            m_fitLegend = text;
            m_fitLegendFont = f;
            return;
        }
    }
    for (int pixels = start; pixels >= 7; --pixels) {
        f.setPixelSize(pixels);
        const QFontMetrics fm(f);
        const QString lines = TwoLines(text, fm);
        if (!lines.contains(QLatin1Char('\n')))
            break;
        const QStringList parts = lines.split(QLatin1Char('\n'));
        if (std::max(fm.horizontalAdvance(parts[0]), fm.horizontalAdvance(parts[1])) <= room &&
            fm.height() * 2 <= height() - 2) {
            m_fitLegend = lines;
            m_fitLegendFont = f;
            return;
        }
    }
    f.setPixelSize(7);
    m_fitLegend = QFontMetrics(f).elidedText(text, Qt::ElideRight, room);
    m_fitLegendFont = f;
}

QFont CDeviceKeyButtonUI::LegendFont(const QString& text)
{
    fitLegend(text);
    return m_fitLegendFont;
}

QString CDeviceKeyButtonUI::LegendLayout(const QString& text)
{
    fitLegend(text);
    return m_fitLegend;
}

const QPixmap& CDeviceKeyButtonUI::Legend(const QString& text, bool bright)
{
    const int i = bright ? 1 : 0;
    if (m_legend[i].isNull() || m_legendText[i] != text || m_legendSize[i] != size() ||
        m_legendRatio[i] != m_ratio) {
        const qreal ratio = m_ratio;
        m_legend[i] = QPixmap(size() * ratio);
        m_legend[i].setDevicePixelRatio(ratio);
        m_legend[i].fill(Qt::transparent);
        QPainter p(&m_legend[i]);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setFont(LegendFont(text));
        p.setPen(bright ? QColor(0x10, 0x15, 0x1b) : QColor(0xe6, 0xeb, 0xf2));
        p.drawText(QRect(QPoint(0, 0), size()), Qt::AlignCenter, LegendLayout(text));
        p.end();
        m_legendInk[i] = InkBounds(m_legend[i].toImage());
        m_legendText[i] = text;
        m_legendRatio[i] = ratio;
        m_legendSize[i] = size();
    }
    return m_legend[i];
}

void CDeviceKeyButtonUI::DrawLitCap(QPainter& p, const QRectF& cap, const QColor& colour, int alpha)
{
    const QSize pixels = (cap.size() * m_ratio).toSize();
    if (m_capShape.size() != pixels || m_capRatio != m_ratio) {
        m_capShape = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_capShape.setDevicePixelRatio(m_ratio);
        m_capShape.fill(Qt::transparent);
        QPainter s(&m_capShape);
        s.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(0, 0), cap.size()), 4, 4);
        s.fillPath(shape, Qt::white);
        s.end();
        m_capEdge.clear();
        m_capSolidTop = pixels.height();
        m_capSolidBottom = 0;
        for (int y = 0; y < pixels.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(m_capShape.constScanLine(y));
            bool solid = true;
            for (int x = 0; x < pixels.width(); ++x) {
                if (qAlpha(line[x]) != 255) {
                    m_capEdge.emplace_back(y * pixels.width() + x, qAlpha(line[x]));
                    solid = false;
                }
            }
            if (solid) {
                m_capSolidTop = std::min(m_capSolidTop, y);
                m_capSolidBottom = y + 1;
            }
        }
        // The solid rows are one band between the corners; should a shape have a hole, all
        // of it goes through the picture.
        for (int y = m_capSolidTop; y < m_capSolidBottom; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(m_capShape.constScanLine(y));
            if (std::any_of(line, line + pixels.width(), [](QRgb c) { return qAlpha(c) != 255; }))
                m_capSolidTop = m_capSolidBottom = 0;
        }
        m_capLight = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        m_capLight.setDevicePixelRatio(m_ratio);
        m_capRatio = m_ratio;
    }
    // What filling the shape with the colour at this alpha gives: the colour premultiplied by
    // alpha × coverage.
    const QRgb full = qPremultiply(qRgba(colour.red(), colour.green(), colour.blue(), alpha));
    // The whole cap is one picture drawn once: a painter call costs more than blending the
    // solid middle rows with it. Those rows take the colour as a solid fill of the painter would
    // (premultiplied at 16 bits, then rounded to 8), so that they come out as they did when
    // filled; the rows of the corners keep the 8-bit premultiplied colour. The fill is the
    // vectorised one of QImage.
    const QRgb solid = qPremultiply(QColor(colour.red(), colour.green(), colour.blue(), alpha).rgba64()).toArgb32();
    m_capLight.fill(solid);
    auto* out = reinterpret_cast<QRgb*>(m_capLight.bits());
    if (solid != full) {
        const int width = pixels.width();
        std::fill(out, out + width * m_capSolidTop, full);
        std::fill(out + width * m_capSolidBottom, out + width * pixels.height(), full);
    }
    const int red = colour.red(), green = colour.green(), blue = colour.blue();
    for (const auto& [i, c] : m_capEdge)
        out[i] = c == 0 ? 0 : qPremultiply(qRgba(red, green, blue, (alpha * c + 127) / 255));
    p.drawImage(cap.topLeft(), m_capLight);
}

void CDeviceKeyButtonUI::paintEvent(QPaintEvent* event)
{
    (void)event;
    QPainter p(this);
    PaintKey(p, QPoint(0, 0));
}

void CDeviceKeyButtonUI::PaintKey(QPainter& p, QPoint at)
{
    // The frame first, then the light, then the key's legend on top so it stays readable.
    if (m_optionStale) {
        initStyleOption(&m_option);
        m_option.text.clear();
        m_ratio = devicePixelRatioF();
        m_styleKey = palette().cacheKey() ^ (qint64(styleSheet().size()) << 40);
        m_optionStale = false;
    }
    // setText sends no event; the legend is read each time.
    const QString legend = text();
    const QPixmap& frame = Frame(m_option);
    if (!m_frameBlank)
        p.drawPixmap(at, frame);
    // Everything below is drawn from pictures at whole-pixel positions: the painter's state
    // (render hints, transform) is left alone, as changing it per key costs more than the key.
    const QRectF r = QRectF(QRect(at, size())).adjusted(1, 1, -1, -1);

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
            DrawLitCap(p, r.adjusted(2, 2, -2, -2), c, 120 + m_brightness * 135 / 255);
        }
    }
    if (!legend.isEmpty()) {
        // Light legends on dark keys; a brightly lit key gets a dark legend.
        const QColor lit = ShownColour(m_packed, m_brightness);
        // Perceived brightness, so yellow and cyan keys (bright, though of middle lightness)
        // get a dark legend too.
        const int luma = (299 * lit.red() + 587 * lit.green() + 114 * lit.blue()) / 1000;
        const bool bright = m_lightFlag && m_brightness > 96 && luma > 150;
        const QPixmap& pixmap = Legend(legend, bright);
        const QRect& ink = m_legendInk[bright ? 1 : 0];
        if (!ink.isEmpty())
            p.drawPixmap(QPointF(at) + QPointF(ink.topLeft()) / m_ratio, pixmap, ink);
    }
    if (!m_keySetHidden) {
        const QPixmap mark = loadImage(m_keySetImage);
        if (!mark.isNull())
            p.drawPixmap(r.toRect(), mark);
    }
}

}  // namespace ui
