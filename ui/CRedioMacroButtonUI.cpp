#include "ui/CRedioMacroButtonUI.h"

#include <QPainter>

#include "ui/ControlInterface.h"

namespace ui {

CRedioMacroButtonUI::CRedioMacroButtonUI(QWidget* parent) : QPushButton(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kTimerMs);
    connect(&m_timer, &QTimer::timeout, this, &CRedioMacroButtonUI::OnTimer);
}

CRedioMacroButtonUI* CRedioMacroButtonUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "Button", "Label", "Control"});
}

CRedioMacroButtonUI::Fade CRedioMacroButtonUI::NextFade(Fade now)
{
    if (now.falling) {
        const int level = now.level - kFadeStep;
        return level <= kFadeMin ? Fade{kFadeMin, false} : Fade{level, true};
    }
    const int level = now.level + kFadeStep;
    return level >= kFadeMax ? Fade{kFadeMax, true} : Fade{level, false};
}

void CRedioMacroButtonUI::SetRedioImage(const QString& path)
{
    m_image = path;
    const QString file = ResolveSkinImage(path);
    m_pixmap = file.isEmpty() ? QPixmap() : QPixmap(file);
    update();
}

void CRedioMacroButtonUI::SetBlinking(bool on)
{
    if (on == m_blinking)
        return;
    m_blinking = on;
    m_fade = {kFadeMax, true};
    if (on)
        m_timer.start();
    else
        m_timer.stop();
    update();
}

QString CRedioMacroButtonUI::ImageString() const
{
    if (m_image.isEmpty())
        return {};
    return QStringLiteral("res='%1' fade='%2'").arg(m_image).arg(m_fade.level);
}

void CRedioMacroButtonUI::OnTimer()
{
    if (!m_blinking)
        return;
    if (!m_image.isEmpty()) {
        m_fade = NextFade(m_fade);
        update();
    }
    m_timer.start();
}

void CRedioMacroButtonUI::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    if (m_pixmap.isNull())
        return;
    QPainter p(this);
    p.setOpacity(m_fade.level / 255.0);
    // The image keeps its proportions, centred at the button's left with the text beside it.
    const int side = std::min(height() - 8, m_pixmap.height());
    if (side <= 0)
        return;
    const QRect target(6, (height() - side) / 2, side, side);
    p.drawPixmap(target, m_pixmap);
}

}  // namespace ui
