#include "editors/CMagicControlUI.h"

#include "editors/PanelShow.h"
#include "ui/PaintManager.h"


// The skin gives the panel its horizontal layout and its contents.
CMagicControlUI::CMagicControlUI(QWidget* parent) : QWidget(parent) {}

QWidget* CMagicControlUI::Control(QPointer<QWidget>& cache, const QString& name)
{
    if (!cache)
        cache = ui::PaintManager::FindSubControlByName(this, name);
    return cache;
}

void CMagicControlUI::SetMagicAreaEnabled(bool on)
{
    if (QWidget* area = Control(m_area, QStringLiteral("magic_option_layout")))
        area->setEnabled(on);
}

void CMagicControlUI::SetMagicOn(bool on)
{
    panelshow::Select(Control(m_enable, QStringLiteral("magic_enable_option")), on);
    SetMagicAreaEnabled(on);
}

bool CMagicControlUI::IsMagicOn()
{
    return panelshow::IsSelected(Control(m_enable, QStringLiteral("magic_enable_option")));
}

void CMagicControlUI::SelectMagicEffect(int n)
{
    for (int i = 0; i < 4; ++i)
        panelshow::Select(Control(m_options[size_t(i)], QStringLiteral("magic_option_%1").arg(i + 1)), false);
    m_effect = n >= 1 && n <= 4 ? n : 0;
    if (m_effect)
        panelshow::Select(Control(m_options[size_t(m_effect - 1)], QStringLiteral("magic_option_%1").arg(m_effect)), true);
}
