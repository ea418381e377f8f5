#include "ui/CWndUI.h"

#include <QEvent>

#include "ui/ControlInterface.h"

namespace ui {

CWndUI::CWndUI(QWidget* parent) : QWidget(parent) {}

CWndUI::~CWndUI()
{
    if (m_watchedWindow)
        m_watchedWindow->removeEventFilter(this);
}

CWndUI* CWndUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Control"});
}

void CWndUI::Attach(QWidget* hosted)
{
    m_hosted = hosted;
    Place();
}

QRect CWndUI::HostedGeometry() const
{
    if (!m_hosted)
        return {};
    QWidget* parent = m_hosted->parentWidget();
    if (parent && !m_hosted->isWindow())
        return QRect(mapTo(parent, QPoint(0, 0)), size());
    return QRect(mapToGlobal(QPoint(0, 0)), size());
}

void CWndUI::Place()
{
    // The window the control lives in moves it on the screen without a move event of its own.
    QWidget* top = window();
    if (top != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = top;
        if (top && top != this)
            top->installEventFilter(this);
    }
    if (!m_hosted)
        return;
    m_hosted->setGeometry(HostedGeometry());
    m_hosted->setVisible(isVisible());
}

bool CWndUI::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ParentChange:
        Place();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool CWndUI::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && (event->type() == QEvent::Move || event->type() == QEvent::Show ||
                                       event->type() == QEvent::Hide))
        Place();
    return QWidget::eventFilter(watched, event);
}

}  // namespace ui
