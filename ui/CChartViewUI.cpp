#include "ui/CChartViewUI.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numeric>

#include "ui/ControlInterface.h"
#include "ui/PaintManager.h"

namespace ui {

namespace {

constexpr int kFullCircle = 360 * 16;

double Shown(double v)
{
    return std::isfinite(v) && v > 0 ? v : 0.0;
}

}  // namespace

CChartViewUI::CChartViewUI(QWidget* parent) : QWidget(parent) {}

CChartViewUI* CChartViewUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Control"});
}

void CChartViewUI::Add(const QString& name, double value)
{
    m_items.push_back({name, value});
    UpdateDescription();
    update();
}

void CChartViewUI::RemoveAll()
{
    m_items.clear();
    UpdateDescription();
    update();
}

void CChartViewUI::UpdateDescription()
{
    // A screen reader reads the figures the picture shows.
    QStringList parts;
    for (const Item& item : m_items)
        parts << QStringLiteral("%1: %2").arg(item.name).arg(item.value);
    setAccessibleDescription(parts.join(QStringLiteral(", ")));
}

std::vector<int> CChartViewUI::PieSpans(const std::vector<Item>& items)
{
    double total = 0;
    for (const Item& item : items)
        total += Shown(item.value);
    if (total <= 0)
        return {};
    // Rounded running sums, so the slices meet and close the circle exactly.
    std::vector<int> spans;
    double sum = 0;
    int drawn = 0;
    for (const Item& item : items) {
        sum += Shown(item.value);
        const int end = int(std::lround(sum / total * kFullCircle));
        spans.push_back(end - drawn);
        drawn = end;
    }
    return spans;
}

std::vector<QRect> CChartViewUI::BarRects(const std::vector<Item>& items, const QRect& area, int maxBarWidth)
{
    std::vector<QRect> bars;
    if (items.empty() || area.isEmpty())
        return bars;
    double largest = 0;
    for (const Item& item : items)
        largest = std::max(largest, Shown(item.value));
    const int n = int(items.size());
    const int slot = area.width() / n;
    int width = std::max(1, slot - std::max(2, slot / 4));
    if (maxBarWidth > 0)
        width = std::min(width, maxBarWidth);
    for (int i = 0; i < n; ++i) {
        const int h = largest > 0 ? int(std::lround(Shown(items[size_t(i)].value) / largest * area.height())) : 0;
        const int left = area.left() + i * slot + (slot - width) / 2;
        bars.emplace_back(left, area.bottom() + 1 - h, width, h);
    }
    return bars;
}

void CChartViewUI::SetViewName(const QString& name)
{
    if (name.compare(QLatin1String("pie"), Qt::CaseInsensitive) == 0)
        m_view = View::Pie;
    else if (name.compare(QLatin1String("histpgram"), Qt::CaseInsensitive) == 0)
        m_view = View::Bars;
    else
        return;
    update();
}

void CChartViewUI::SetShadowImage(const QString& path)
{
    m_shadowImage = path;
    const QString file = ResolveSkinImage(path);
    m_shadow = file.isEmpty() ? QPixmap() : QPixmap(file);
    update();
}

void CChartViewUI::SetShadowImageHeight(int h)
{
    m_shadowHeight = std::max(0, h);
    update();
}

void CChartViewUI::SetPillarImage(const QString& path)
{
    m_pillarImage = path;
    const QString file = ResolveSkinImage(path);
    m_pillar = file.isEmpty() ? QPixmap() : QPixmap(file);
    update();
}

void CChartViewUI::SetPillarImageWidth(int w)
{
    m_pillarWidth = std::max(0, w);
    update();
}

void CChartViewUI::SetShowHtml(bool on)
{
    m_showHtml = on;
    update();
}

void CChartViewUI::SetShowText(bool on)
{
    m_showText = on;
    update();
}

void CChartViewUI::SetFontId(int id)
{
    m_fontId = id;
    update();
}

void CChartViewUI::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_fontId >= 0) {
        if (const PaintManager* pm = PaintManager::ForControl(this))
            p.setFont(pm->GetFont(m_fontId));
    }
    const QFontMetrics fm(p.font());
    const int textHeight = m_showText ? fm.height() : 0;
    const QColor textColour = palette().color(QPalette::WindowText);
    if (m_view == View::Pie) {
        const std::vector<int> spans = PieSpans(m_items);
        const int side = std::max(0, std::min(width(), height() - textHeight) - 2);
        const QRect circle((width() - side) / 2, 1, side, side);
        int start = 90 * 16;  // from twelve o'clock, clockwise
        for (size_t i = 0; i < spans.size(); ++i) {
            p.setPen(QPen(palette().color(QPalette::Window), 1));
            p.setBrush(QColor::fromHsv(int((i * 67) % 360), 170, 230));
            p.drawPie(circle, start, -spans[i]);
            if (m_showText && spans[i] > 0) {
                // The name at the middle of the slice, two thirds out.
                const double mid = (start - spans[i] / 2.0) / 16.0 * M_PI / 180.0;
                const QPointF at(circle.center().x() + std::cos(mid) * side / 3.0,
                                 circle.center().y() - std::sin(mid) * side / 3.0);
                p.setPen(textColour);
                const QString text = m_items[i].name;
                p.drawText(QRectF(at.x() - 60, at.y() - fm.height() / 2.0, 120, fm.height()), Qt::AlignCenter, text);
            }
            start -= spans[i];
        }
        return;
    }
    const int shadow = m_shadow.isNull() ? 0 : m_shadowHeight;
    const QRect area(0, 0, width(), std::max(0, height() - textHeight - shadow));
    if (shadow > 0)
        p.drawPixmap(QRect(0, area.bottom() + 1, width(), shadow), m_shadow);
    const std::vector<QRect> bars = BarRects(m_items, area, m_pillarWidth);
    for (size_t i = 0; i < bars.size(); ++i) {
        if (!m_pillar.isNull())
            p.drawPixmap(bars[i], m_pillar);
        else
            p.fillRect(bars[i], palette().color(QPalette::Highlight));
        if (m_showText) {
            p.setPen(textColour);
            const QRect slot(bars[i].center().x() - width() / int(bars.size()) / 2, height() - textHeight,
                             width() / int(bars.size()), textHeight);
            p.drawText(slot, Qt::AlignCenter, fm.elidedText(m_items[i].name, Qt::ElideRight, slot.width()));
        }
    }
}

}  // namespace ui
