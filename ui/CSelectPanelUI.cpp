#include "ui/CSelectPanelUI.h"

#include <QApplication>
#include <QChildEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <vector>

#include "ui/CDeviceKeyButtonUI.h"
#include "ui/PaintManager.h"

namespace ui {

namespace {

// The visible selection rectangle. A child of the panel raised above the key buttons, so the
// rectangle shows over them; it never takes the mouse.
class SelectionBand : public QWidget {
public:
    explicit SelectionBand(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor accent(0x2d, 0xe2, 0xe6);
        QColor fill = accent;
        fill.setAlpha(40);
        p.fillRect(rect(), fill);
        p.setPen(QPen(accent, 1, Qt::DashLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// The rectangle spanning both corners, each of them inside it. QRect::normalized() would move a
// reversed rectangle's edges by one pixel.
QRect spanning(QPoint a, QPoint b)
{
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

}  // namespace

// Paints the panel's picture under the keys and the keys over it, for the rectangles the keys
// asked for. It is opaque (every pixel it covers is drawn from the backdrop first), so Qt neither
// repaints the widgets beneath it nor the key buttons it covers; it never takes the mouse, so
// clicks, hovering and tool tips still reach the buttons.
class CSelectPanelUI::KeyPainter : public CKeyPainter {
public:
    explicit KeyPainter(CSelectPanelUI* panel) : CKeyPainter(panel), m_panel(panel)
    {
        setObjectName(QStringLiteral("key_layer"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

    std::vector<QPointer<CDeviceKeyButtonUI>> keys;

    // The keys changed while the event loop runs one pass (a whole frame of the preview) are
    // gathered and repainted as one region: a hundred separate updates would each merge their
    // rectangle into the widget's dirty region and look up the window.
    void RepaintKey(const QRect& keyGeometry) override
    {
        m_pending.push_back(keyGeometry.translated(-pos()));
        if (m_pending.size() == 1)
            QMetaObject::invokeMethod(this, &KeyPainter::flush, Qt::QueuedConnection);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        const QPixmap& backdrop = m_panel->keysBackdrop();
        const qreal ratio = backdrop.devicePixelRatio();
        const QRegion& region = event->region();
        // At a ratio of one the backdrop is copied line by line into the window's image: it is
        // kept in that image's pixel format and, being opaque, is drawn in Source mode, which
        // the raster engine blits directly. Otherwise (another format, a scaled screen) every
        // span is fetched and stored through a buffer.
        const QImage* blit = ratio == 1.0 ? backdropFor(p, backdrop) : nullptr;
        if (blit)
            p.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : region) {
            if (blit) {
                p.drawImage(r.topLeft(), *blit, r.translated(pos()));
                continue;
            }
            const QRectF source(QPointF(r.topLeft() + pos()) * ratio, QSizeF(r.size()) * ratio);
            p.drawPixmap(QRectF(r), backdrop, source);
        }
        if (blit)
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        for (const auto& key : keys) {
            if (!key || key->isHidden())
                continue;
            const QRect r = key->geometry().translated(-pos());
            if (!region.intersects(r))
                continue;
            key->PaintKey(p, r.topLeft());
        }
    }

private:
    // The backdrop in the pixel format of the image the painter draws into, or null when the
    // painter does not draw into an image.
    const QImage* backdropFor(QPainter& p, const QPixmap& backdrop)
    {
        QPaintEngine* engine = p.paintEngine();
        QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
        if (!device || device->devType() != QInternal::Image)
            return nullptr;
        const QImage::Format format = static_cast<QImage*>(device)->format();
        if (m_backdropKey != backdrop.cacheKey() || m_backdropImage.format() != format) {
            m_backdropImage = backdrop.toImage().convertToFormat(format);
            m_backdropKey = backdrop.cacheKey();
        }
        return m_backdropImage.isNull() ? nullptr : &m_backdropImage;
    }

    void flush()
    {
        // When most keys changed (a moving effect changes them all every frame) the frame is one
        // rectangle round them: one backdrop copy, one rectangle for every key to test against
        // and one rectangle for the window system to take, instead of a hundred of each.
        if (m_pending.size() * 4 >= keys.size() * 3) {
            QRect bounds;
            for (const QRect& r : m_pending)
                bounds |= r;
            m_pending.clear();
            update(bounds);
            return;
        }
        // In reading order each rectangle mostly lands after those already in the region, which
        // a region appends without merging.
        std::sort(m_pending.begin(), m_pending.end(), [](const QRect& a, const QRect& b) {
            return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
        });
        QRegion region;
        for (const QRect& r : m_pending)
            region += r;
        m_pending.clear();
        update(region);
    }

    CSelectPanelUI* m_panel;
    std::vector<QRect> m_pending;
    QImage m_backdropImage;
    qint64 m_backdropKey = 0;
};

CSelectPanelUI::CSelectPanelUI(QWidget* parent) : QWidget(parent)
{
    // The device picture is the panel's style-sheet background.
    setAttribute(Qt::WA_StyledBackground);
    m_band = new SelectionBand(this);
}

void CSelectPanelUI::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_start = m_current = event->position().toPoint();
    updateBand();
}

void CSelectPanelUI::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    m_current = event->position().toPoint();
    updateBand();
}

void CSelectPanelUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    finishSelection(event->position().toPoint());
}

void CSelectPanelUI::finishSelection(QPoint end)
{
    m_pressed = false;
    m_current = end;
    m_selection = spanning(m_start, m_current);
    m_band->hide();
    for (CDeviceKeyButtonUI* key : findChildren<CDeviceKeyButtonUI*>()) {
        const QRect keyRect(key->mapTo(this, QPoint(0, 0)), key->size());
        key->SetSelected(keyRect.intersects(m_selection));
    }
    update();
    emit selectionFinished(m_selection);
    PaintManager::Notify(this, QString::fromLatin1(kNotifySelectEnd));
}

void CSelectPanelUI::SetKeysPaintedTogether(bool on)
{
    if (on == (m_keyLayer != nullptr))
        return;
    if (on) {
        m_keyLayer = new KeyPainter(this);
        placeKeyLayer();
        m_keyLayer->show();
        return;
    }
    for (const auto& key : m_keyLayer->keys) {
        if (!key)
            continue;
        key->removeEventFilter(this);
        key->SetSharedPainter(nullptr);
        key->update();
    }
    delete m_keyLayer;
    m_keyLayer = nullptr;
    m_backdrop = QPixmap();
}

QWidget* CSelectPanelUI::KeyLayer() const
{
    return m_keyLayer;
}

namespace {
const char kSkinRectProperty[] = "tessel_skin_rect";
}

void CSelectPanelUI::SetSkinScale(qreal factor)
{
    if (factor <= 0)
        return;
    const QTransform skin = QTransform::fromScale(factor, factor);
    if (skin == m_skin)
        return;
    m_skin = skin;
    for (CDeviceKeyButtonUI* key : findChildren<CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly))
        placeKey(key);
    placeKeyLayer();
}

QRect CSelectPanelUI::MapFromSkin(const QRect& skinRect) const
{
    const QPointF topLeft = m_skin.map(QPointF(skinRect.topLeft()));
    const QPointF bottomRight = m_skin.map(QPointF(skinRect.x() + skinRect.width(), skinRect.y() + skinRect.height()));
    const QPoint a(qRound(topLeft.x()), qRound(topLeft.y()));
    const QPoint b(qRound(bottomRight.x()), qRound(bottomRight.y()));
    return QRect(a, QSize(b.x() - a.x(), b.y() - a.y()));
}

void CSelectPanelUI::placeKey(QWidget* key)
{
    if (!key->property(kSkinRectProperty).isValid())
        key->setProperty(kSkinRectProperty, key->geometry());
    const QRect target = MapFromSkin(key->property(kSkinRectProperty).toRect());
    if (key->geometry() == target)
        return;
    key->setGeometry(target);
}

void CSelectPanelUI::placeKeyLayer()
{
    if (!m_keyLayer)
        return;
    m_keyLayer->keys.clear();
    QRect bounds;
    for (CDeviceKeyButtonUI* key : findChildren<CDeviceKeyButtonUI*>(Qt::FindDirectChildrenOnly)) {
        key->installEventFilter(this);
        key->SetSharedPainter(m_keyLayer);
        m_keyLayer->keys.emplace_back(key);
        if (!key->isHidden())
            bounds |= key->geometry();
    }
    bounds &= rect();
    if (m_keyLayer->geometry() != bounds)
        m_keyLayer->setGeometry(bounds);
    m_keyLayer->setVisible(!bounds.isEmpty());
    m_keyLayer->raise();
    m_band->raise();
    m_keyLayer->update();
}

const QPixmap& CSelectPanelUI::keysBackdrop()
{
    const qreal ratio = devicePixelRatioF();
    if (m_backdrop.isNull() || m_backdrop.deviceIndependentSize() != QSizeF(size()) ||
        m_backdrop.devicePixelRatio() != ratio) {
        m_backdrop = QPixmap(size() * ratio);
        m_backdrop.setDevicePixelRatio(ratio);
        // Under the picture the panel's palette, so that every pixel is set.
        m_backdrop.fill(palette().color(backgroundRole()));
        QPainter p(&m_backdrop);
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &p, this);
    }
    return m_backdrop;
}

void CSelectPanelUI::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange) {
        m_backdrop = QPixmap();
        if (m_keyLayer)
            m_keyLayer->update();
    }
    QWidget::changeEvent(event);
}

void CSelectPanelUI::resizeEvent(QResizeEvent* event)
{
    m_backdrop = QPixmap();
    placeKeyLayer();
    QWidget::resizeEvent(event);
}

void CSelectPanelUI::childEvent(QChildEvent* event)
{
    // Every key button's mouse is watched, so that a drag may start on a key.
    if (event->type() == QEvent::ChildPolished)
        if (auto* key = qobject_cast<CDeviceKeyButtonUI*>(event->child())) {
            key->installEventFilter(this);
            if (!m_skin.isIdentity())
                placeKey(key);
        }
    // A key added later is polished before it shows, and by then it is a key button; one removed
    // leaves the layer's list.
    if (m_keyLayer && (event->type() == QEvent::ChildPolished || event->type() == QEvent::ChildRemoved) &&
        event->child() != m_keyLayer && event->child() != m_band)
        placeKeyLayer();
    QWidget::childEvent(event);
}

bool CSelectPanelUI::filterKeyMouse(CDeviceKeyButtonUI* key, QMouseEvent* event)
{
    // A key button holds the mouse from its press to the release, so a drag that starts on a key
    // never reaches the panel's own handlers. The key's events are watched here instead: once
    // the mouse has moved further than a click would, the press becomes the corner of a
    // selection rectangle, exactly as a press on a gap between keys.
    const QPoint at = key->mapTo(this, event->position().toPoint());
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (event->button() == Qt::LeftButton && isEnabled() && !m_pressed) {
            m_keyPress = key;
            m_start = m_current = at;
        }
        return false;
    case QEvent::MouseMove:
        if (m_keyPress != key || !(event->buttons() & Qt::LeftButton))
            return false;
        if (!m_pressed) {
            if ((at - m_start).manhattanLength() < QApplication::startDragDistance())
                return false;
            // From here on the gesture is a drag: the key is no longer pressed and clicks nothing.
            m_pressed = true;
            key->setDown(false);
        }
        m_current = at;
        updateBand();
        return true;
    case QEvent::MouseButtonRelease:
        if (m_keyPress != key || event->button() != Qt::LeftButton)
            return false;
        m_keyPress = nullptr;
        if (!m_pressed)
            return false;  // a click on the key: the key handles it
        key->setDown(false);
        finishSelection(at);
        return true;
    default:
        return false;
    }
}

bool CSelectPanelUI::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        if (auto* key = qobject_cast<CDeviceKeyButtonUI*>(watched))
            return filterKeyMouse(key, static_cast<QMouseEvent*>(event));
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
        if (m_keyLayer && watched->parent() == this)
            placeKeyLayer();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CSelectPanelUI::updateBand()
{
    m_selection = spanning(m_start, m_current);
    m_band->setGeometry(m_selection);
    m_band->raise();
    m_band->setVisible(m_selection.width() > 1 || m_selection.height() > 1);
}

}  // namespace ui
