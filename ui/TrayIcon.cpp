#include "ui/TrayIcon.h"

#include "ui/WindowImplBase.h"

namespace ui {

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::Create(WindowImplBase* owner, const QIcon& icon, const QString& tip, uint32_t message)
{
    m_owner = owner;
    m_message = message;
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::Activate);
    }
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->show();
    return IsAvailable();
}

void TrayIcon::SetTip(const QString& tip)
{
    if (m_icon)
        m_icon->setToolTip(tip);
}

QString TrayIcon::Tip() const
{
    return m_icon ? m_icon->toolTip() : QString();
}

void TrayIcon::SetIcon(const QIcon& icon)
{
    if (m_icon)
        m_icon->setIcon(icon);
}

void TrayIcon::Show()
{
    if (m_icon)
        m_icon->show();
}

void TrayIcon::Hide()
{
    if (m_icon)
        m_icon->hide();
}

bool TrayIcon::IsVisible() const
{
    return m_icon && m_icon->isVisible();
}

bool TrayIcon::IsAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::Activate(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_owner)
        return;
    intptr_t button = 0;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        button = kTrayLeftButtonUp;
        break;
    case QSystemTrayIcon::Context:
        button = kTrayRightButtonUp;
        break;
    case QSystemTrayIcon::DoubleClick:
        button = kTrayDoubleClick;
        break;
    default:
        return;
    }
    m_owner->SendMessage(m_message, 0, button);
}

}  // namespace ui
