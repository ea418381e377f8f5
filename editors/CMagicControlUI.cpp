#include "editors/CMagicControlUI.h"

#include "editors/PanelShow.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QLabel>


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
    m_areaWanted = on;
    if (QWidget* area = Control(m_area, QStringLiteral("magic_option_layout")))
        area->setEnabled(on && m_available);
}

void CMagicControlUI::SetMagicUnavailable(const QString& reasonId)
{
    m_available = reasonId.isEmpty();
    if (QWidget* option = Control(m_enable, QStringLiteral("magic_enable_option")))
        option->setEnabled(m_available);
    SetMagicAreaEnabled(m_areaWanted);
    // One line saying why the voice changer cannot be used here; hidden while it can.
    if (auto* label = qobject_cast<QLabel*>(Control(m_reason, QStringLiteral("magic_unavailable")))) {
        if (!m_available)
            ui::Language::instance().SetTextId(label, reasonId);
        label->setVisible(!m_available);
    }
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
