#include "ui/CAudioRecordUI.h"

#include <QPainter>
#include <algorithm>
#include <vector>

#include "ui/ControlInterface.h"

namespace ui {

namespace {

// The views alive, for Feed; only the UI thread touches it.
std::vector<CAudioRecordUI*>& Views()
{
    static std::vector<CAudioRecordUI*> views;
    return views;
}

}  // namespace

CAudioRecordUI::CAudioRecordUI(QWidget* parent) : QLabel(parent)
{
    // A ramp until the first frame, so an empty view still shows what it is.
    for (int i = 0; i < 256; ++i)
        m_values[size_t(i)] = i;
    Views().push_back(this);
}

CAudioRecordUI::~CAudioRecordUI()
{
    auto& v = Views();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

CAudioRecordUI* CAudioRecordUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Label", "Control"});
}

void CAudioRecordUI::SetValues(const int32_t* values, int count)
{
    const int n = std::clamp(count, 0, kValues);
    std::copy(values, values + n, m_values.begin());
    update();
}

void CAudioRecordUI::Feed(const int32_t* values, int count)
{
    for (CAudioRecordUI* view : Views())
        if (view->isVisible())
            view->SetValues(values, count);
}

void CAudioRecordUI::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter p(this);
    p.setPen(QColor(0, 0, 0));
    const int h = height();
    for (int i = 0; i < kValues && 2 * i < width(); ++i) {
        const int bar = int(std::clamp<int64_t>(int64_t(m_values[size_t(i)]) * h / kFullScale, 0, h));
        if (bar > 0)
            p.drawLine(2 * i, h - 1, 2 * i, h - bar);
    }
}

}  // namespace ui
