#include "ui/CCircleProgressUI.h"

#include <QPainter>

namespace ui {

CCircleProgressUI::CCircleProgressUI(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
}

double CCircleProgressUI::SweepDegrees(int value, int minimum, int maximum)
{
    const int range = maximum - minimum;
    if (range == 0)
        return 0.0;
    return static_cast<double>(value) / range * 360.0;
}

void CCircleProgressUI::SetBackgroundColor(const QColor& c)
{
    m_background = c;
    update();
}

void CCircleProgressUI::SetForegroundColor(const QColor& c)
{
    m_foreground = c;
    update();
}

void CCircleProgressUI::SetInnerColor(const QColor& c)
{
    m_inner = c;
    update();
}

void CCircleProgressUI::SetShowText(bool show)
{
    m_showText = show;
    update();
}

QSize CCircleProgressUI::sizeHint() const
{
    return {56, 56};
}

QSize CCircleProgressUI::minimumSizeHint() const
{
    return {2 * kRingInset + 4, 2 * kRingInset + 4};
}

void CCircleProgressUI::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // The ring is the largest centred circle, so a control that is not square stays round.
    const int side = std::min(width(), height());
    const QRectF outer((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    p.setBrush(m_background);
    p.drawEllipse(outer);

    // Qt counts angles counter-clockwise in 1/16 degree; a negative span runs clockwise.
    const double sweep = SweepDegrees(value(), minimum(), maximum());
    p.setBrush(m_foreground);
    p.drawPie(outer, kStartAngle * 16, -qRound(sweep * 16));

    const QRectF inner = outer.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
    if (inner.isValid()) {
        p.setBrush(m_inner);
        p.drawEllipse(inner);
    }
    if (m_showText) {
        p.setPen(palette().color(QPalette::WindowText));
        p.setFont(font());
        p.drawText(outer, Qt::AlignCenter, text());
    }
}

}  // namespace ui
