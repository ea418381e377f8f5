#include "ui/CListRowUI.h"

#include <QContextMenuEvent>
#include <QStyle>

#include "ui/PaintManager.h"

namespace ui {

CListRowUI::CListRowUI(QWidget* parent) : QFrame(parent) {}

void CListRowUI::SetSelected(bool on)
{
    if (on == m_selected)
        return;
    m_selected = on;
    // The style sheet draws a selected row through [selected="true"].
    style()->unpolish(this);
    style()->polish(this);
    update();
    emit selectedChanged(on);
}

void CListRowUI::Send(const char* type, intptr_t wParam, intptr_t lParam)
{
    PaintManager::Notify(this, QString::fromLatin1(type), wParam, lParam);
}

int CListRowUI::RowIndex() const
{
    if (!parentWidget())
        return 0;
    int index = 0;
    for (QObject* sibling : parentWidget()->children()) {
        if (sibling == this)
            return index;
        if (sibling->metaObject() == metaObject())
            ++index;
    }
    return 0;
}

void CListRowUI::contextMenuEvent(QContextMenuEvent* event)
{
    if (!property("tessel_wired").toBool())
        Send("menu", event->globalPos().x(), event->globalPos().y());
    event->accept();
}

}  // namespace ui
