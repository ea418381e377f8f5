#include "ui/CHandImgSelectButtonUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/ControlInterface.h"

namespace ui {

namespace {

struct CursorByName {
    const char* name;
    Qt::CursorShape shape;
};
constexpr CursorByName kCursors[] = {
    {"arrow", Qt::ArrowCursor},     {"ibeam", Qt::IBeamCursor},       {"wait", Qt::WaitCursor},
    {"cross", Qt::CrossCursor},     {"uparrow", Qt::UpArrowCursor},   {"size", Qt::SizeAllCursor},
    {"icon", Qt::ArrowCursor},      {"sizenwse", Qt::SizeFDiagCursor}, {"sizenesw", Qt::SizeBDiagCursor},
    {"sizewe", Qt::SizeHorCursor},  {"sizens", Qt::SizeVerCursor},    {"sizeall", Qt::SizeAllCursor},
    {"no", Qt::ForbiddenCursor},    {"hand", Qt::PointingHandCursor},
};

}  // namespace

CHandImgSelectButtonUI::CHandImgSelectButtonUI(QWidget* parent) : QPushButton(parent) {}

CHandImgSelectButtonUI* CHandImgSelectButtonUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Button", "Label", "Control"});
}

void CHandImgSelectButtonUI::SetHandImage(const QString& path)
{
    const QString file = ResolveSkinImage(path);
    SetImage(file.isEmpty() ? QImage() : QImage(file), path);
}

void CHandImgSelectButtonUI::SetImage(const QImage& image, const QString& path)
{
    m_path = path;
    m_image = image;
    ResetSource();
}

void CHandImgSelectButtonUI::ResetSource()
{
    if (m_image.isNull()) {
        m_source = QRect();
    } else if (m_image.width() > width() || m_image.height() > height()) {
        // A control-sized part from the top left corner, never wider or taller than the image.
        m_source = QRect(0, 0, std::min(width(), m_image.width()), std::min(height(), m_image.height()));
    } else {
        m_source = m_image.rect();
    }
    update();
}

QString CHandImgSelectButtonUI::ImageString() const
{
    if (m_image.isNull())
        return {};
    return QStringLiteral("file='%1' source='%2,%3,%4,%5'")
        .arg(m_path)
        .arg(m_source.left())
        .arg(m_source.top())
        .arg(m_source.left() + m_source.width())
        .arg(m_source.top() + m_source.height());
}

void CHandImgSelectButtonUI::SetCursorName(const QString& name)
{
    for (const CursorByName& c : kCursors) {
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) {
            m_cursorName = name;
            setCursor(c.shape);
            return;
        }
    }
}

void CHandImgSelectButtonUI::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.drawImage(QRect(QPoint(0, 0), m_source.size()), m_image, m_source);
}

void CHandImgSelectButtonUI::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    ResetSource();
}

void CHandImgSelectButtonUI::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOrigin = event->position().toPoint();
    }
    QPushButton::mousePressEvent(event);
}

void CHandImgSelectButtonUI::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && !m_image.isNull()) {
        const QPoint now = event->position().toPoint();
        const QPoint moved = now - m_dragOrigin;
        m_dragOrigin = now;
        // The picture follows the pointer, so the part shown moves the other way, and stays
        // inside the image.
        const int x = std::clamp(m_source.x() - moved.x(), 0, m_image.width() - m_source.width());
        const int y = std::clamp(m_source.y() - moved.y(), 0, m_image.height() - m_source.height());
        if (x != m_source.x() || y != m_source.y()) {
            m_source.moveTo(x, y);
            update();
        }
    }
    QPushButton::mouseMoveEvent(event);
}

void CHandImgSelectButtonUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QPushButton::mouseReleaseEvent(event);
}

}  // namespace ui
