#include "ui/CHandImgButtonUI.h"

#include <QEnterEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>

#include "ui/ControlInterface.h"
#include "ui/PaintManager.h"

namespace ui {

QString ResolveSkinImage(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QString file = QFileInfo(path).isAbsolute() ? path : PaintManager::ResourceFile(path);
    return QFileInfo::exists(file) ? file : QString();
}

CHandImgButtonUI::CHandImgButtonUI(QWidget* parent) : QPushButton(parent)
{
    setMouseTracking(true);
}

CHandImgButtonUI* CHandImgButtonUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Button", "Label", "Control"});
}

QRect CHandImgButtonUI::DeleteMarkRect(QSize size, qreal scale)
{
    const int side = qRound(kMarkSize * scale);
    return {size.width() - qRound(kMarkFromRight * scale), size.height() - qRound(kMarkFromBottom * scale), side, side};
}

QRect CHandImgButtonUI::DeleteMarkRect() const
{
    return DeleteMarkRect(size(), Scale());
}

qreal CHandImgButtonUI::Scale() const
{
    const PaintManager* pm = PaintManager::ForControl(const_cast<CHandImgButtonUI*>(this));
    return pm ? pm->GetDPI() / 96.0 : 1.0;
}

QString CHandImgButtonUI::DeleteImageInUse() const
{
    if (m_noDelete || !m_hover)
        return {};
    return m_onMark ? m_deleteHot : m_deleteNormal;
}

void CHandImgButtonUI::SetHandImage(const QString& path)
{
    m_hand = path;
    const QString file = ResolveSkinImage(path);
    m_handPixmap = file.isEmpty() ? QPixmap() : QPixmap(file);
    update();
}

void CHandImgButtonUI::SetDeleteNormalImage(const QString& path)
{
    m_deleteNormal = path;
    update();
}

void CHandImgButtonUI::SetDeleteHotImage(const QString& path)
{
    m_deleteHot = path;
    update();
}

void CHandImgButtonUI::SetNoDelete(bool on)
{
    m_noDelete = on;
    update();
}

void CHandImgButtonUI::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QPainter p(this);
    p.setClipRect(rect());
    if (!m_handPixmap.isNull())
        p.drawPixmap(rect(), m_handPixmap);
    const QString mark = ResolveSkinImage(DeleteImageInUse());
    if (!mark.isEmpty())
        p.drawPixmap(DeleteMarkRect(), QPixmap(mark));
}

void CHandImgButtonUI::mouseMoveEvent(QMouseEvent* event)
{
    const bool onMark = DeleteMarkRect().contains(event->position().toPoint());
    if (onMark != m_onMark) {
        m_onMark = onMark;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void CHandImgButtonUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_noDelete && isDown()
        && DeleteMarkRect().contains(event->position().toPoint())) {
        // The mark takes the release: the button goes up without a click.
        setDown(false);
        event->accept();
        PaintManager::Notify(this, QString::fromLatin1(kNotifyHandDelete));
        emit handDeleteClicked();
        return;
    }
    QPushButton::mouseReleaseEvent(event);
}

void CHandImgButtonUI::enterEvent(QEnterEvent* event)
{
    m_hover = true;
    m_onMark = DeleteMarkRect().contains(event->position().toPoint());
    update();
    QPushButton::enterEvent(event);
}

void CHandImgButtonUI::leaveEvent(QEvent* event)
{
    m_hover = false;
    m_onMark = false;
    update();
    QPushButton::leaveEvent(event);
}

}  // namespace ui
