#include "ui/CSelectPanelUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

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
    m_pressed = false;
    m_current = event->position().toPoint();
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

void CSelectPanelUI::updateBand()
{
    m_selection = spanning(m_start, m_current);
    m_band->setGeometry(m_selection);
    m_band->raise();
    m_band->setVisible(m_selection.width() > 1 || m_selection.height() > 1);
}

}  // namespace ui
