#include "ui/CCloudShareListItemUI.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/ControlInterface.h"

namespace ui {

CCloudShareListItemUI::CCloudShareListItemUI(QWidget* parent) : CListRowUI(parent)
{
    // A row is activated from the keyboard too.
    setFocusPolicy(Qt::StrongFocus);
}

CCloudShareListItemUI* CCloudShareListItemUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "ListContainerElement", "HorizontalLayout", "Container", "Control"});
}

QColor CCloudShareListItemUI::HotBorderColor() const
{
    return m_border.isValid() ? m_border : palette().color(QPalette::Highlight);
}

void CCloudShareListItemUI::SetHotBorderColor(const QColor& c)
{
    m_border = c;
    update();
}

void CCloudShareListItemUI::paintEvent(QPaintEvent* event)
{
    CListRowUI::paintEvent(event);
    if (!m_hot)
        return;
    QPainter p(this);
    p.setPen(QPen(HotBorderColor(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CCloudShareListItemUI::enterEvent(QEnterEvent* event)
{
    m_hot = true;
    update();
    CListRowUI::enterEvent(event);
}

void CCloudShareListItemUI::leaveEvent(QEvent* event)
{
    m_hot = false;
    update();
    CListRowUI::leaveEvent(event);
}

void CCloudShareListItemUI::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SetSelected(true);
    CListRowUI::mousePressEvent(event);
}

void CCloudShareListItemUI::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        Send("itemactivate", RowIndex());
        event->accept();
        return;
    }
    CListRowUI::mouseDoubleClickEvent(event);
}

void CCloudShareListItemUI::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Send("itemactivate", RowIndex());
        event->accept();
        return;
    }
    CListRowUI::keyPressEvent(event);
}

}  // namespace ui
