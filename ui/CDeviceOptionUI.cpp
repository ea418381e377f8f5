#include "ui/CDeviceOptionUI.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <memory>
#include <vector>

#include "ui/Language.h"
#include "ui/PaintManager.h"

namespace ui {

namespace {

const char kDefaultGroup[] = "device_option_group";

// The tab that owns a button, if any.
CDeviceOptionUI* tabOf(QWidget* w)
{
    for (; w; w = w->parentWidget()) {
        if (auto* tab = qobject_cast<CDeviceOptionUI*>(w))
            return tab;
    }
    return nullptr;
}

void repolish(QWidget* w)
{
    w->style()->unpolish(w);
    w->style()->polish(w);
    w->update();
}

}  // namespace

CDeviceOptionUI::CDeviceOptionUI(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    SetKind(0, 0);
}

QString CDeviceOptionUI::KindKey(int type, int variant)
{
    switch (type) {
    case 1:
        return QStringLiteral("kb");
    case 2:
        return QStringLiteral("ms");
    case 3:
        return variant == 1 ? QStringLiteral("soft_mp") : QStringLiteral("hard_mp");
    case 4:
    case 7:
        return QStringLiteral("hd");
    case 5:
        return QStringLiteral("hub");
    default:
        return QStringLiteral("unknow");
    }
}

void CDeviceOptionUI::SetKind(int type, int variant)
{
    m_type = type;
    m_variant = variant;
    const QString key = KindKey(type, variant);
    const QString base = QStringLiteral("common/device_ico/") + key;
    m_icons[0] = base + QStringLiteral("_device_normal.png");
    m_icons[1] = base + QStringLiteral("_device_selected.png");
    m_icons[2] = base + QStringLiteral("_device_synchro_normal.png");
    m_icons[3] = base + QStringLiteral("_device_synchro_selected.png");
    m_nameId = key + QStringLiteral("_device_name_text");
    bind();
    if (m_select) {
        // The tool tip holds the kind's text id, resolved now and again on a language switch.
        m_select->setToolTip(m_nameId);
        m_select->setProperty("tooltipid", m_nameId);
        m_select->setProperty("tooltipid_shown", m_nameId);
        Language::instance().Apply(m_select);
    }
    if (m_name)
        Language::instance().SetTextId(m_name, m_nameId);
    refresh();
}

QAbstractButton* CDeviceOptionUI::SelectButton()
{
    bind();
    return m_select;
}

QAbstractButton* CDeviceOptionUI::SynchroButton()
{
    bind();
    return m_synchro;
}

void CDeviceOptionUI::bind()
{
    if (m_bound)
        return;
    // The builder adds the children after the constructor ran; until "device_select" exists
    // there is nothing to bind.
    m_select = findChild<QAbstractButton*>(QStringLiteral("device_select"));
    if (!m_select)
        return;
    m_bound = true;
    m_synchro = findChild<QAbstractButton*>(QStringLiteral("synchro_device_select"));
    m_name = findChild<QLabel*>(QStringLiteral("device_name"));
    m_status = findChild<QLabel*>(QStringLiteral("device_status"));

    m_select->setCheckable(true);
    m_select->installEventFilter(this);
    connect(m_select, &QAbstractButton::toggled, this, [this] { refresh(); });
    if (m_synchro) {
        m_synchro->setCheckable(true);
        m_synchro->installEventFilter(this);
        connect(m_synchro, &QAbstractButton::toggled, this, [this] { refresh(); });
    }
    if (m_status && m_status->text().isEmpty())
        m_status->hide();
    joinGroup();
}

void CDeviceOptionUI::joinGroup()
{
    bind();
    if (!m_select)
        return;
    QString name = m_select->property("group").toString();
    if (name.isEmpty())
        name = QString::fromLatin1(kDefaultGroup);
    // One group per window and name, kept by the window so it lives as long as the tabs.
    QWidget* host = window();
    QButtonGroup* group = host->findChild<QButtonGroup*>(name, Qt::FindDirectChildrenOnly);
    if (!group) {
        group = new QButtonGroup(host);
        group->setObjectName(name);
        group->setExclusive(true);
    }
    if (group == m_group)
        return;
    if (m_group)
        m_group->removeButton(m_select);
    m_group = group;
    m_group->addButton(m_select);
}

void CDeviceOptionUI::setChecked(QAbstractButton* button, bool checked, bool notify)
{
    if (!button || button->isChecked() == checked)
        return;
    QButtonGroup* group = button->group();
    std::vector<QAbstractButton*> affected{button};
    if (group) {
        for (QAbstractButton* b : group->buttons())
            if (b != button)
                affected.push_back(b);
    }
    {
        std::vector<std::unique_ptr<QSignalBlocker>> blockers;
        if (!notify) {
            for (QAbstractButton* b : affected)
                blockers.push_back(std::make_unique<QSignalBlocker>(b));
        }
        // An exclusive group refuses to uncheck its checked button; a hidden tab must be able
        // to give up the selection without another taking it.
        const bool exclusive = group && group->exclusive();
        if (exclusive && !checked)
            group->setExclusive(false);
        button->setChecked(checked);
        if (exclusive && !checked)
            group->setExclusive(true);
    }
    if (!notify) {
        for (QAbstractButton* b : affected)
            if (CDeviceOptionUI* tab = tabOf(b))
                tab->refresh();
    }
}

void CDeviceOptionUI::SetSelected(bool selected, bool notify)
{
    joinGroup();
    setChecked(m_select, selected, notify);
}

bool CDeviceOptionUI::IsSelected() const
{
    return m_select && m_select->isChecked();
}

void CDeviceOptionUI::SetSynchro(bool synchro, bool notify)
{
    bind();
    setChecked(m_synchro, synchro, notify);
}

bool CDeviceOptionUI::IsSynchro() const
{
    return m_synchro && m_synchro->isChecked();
}

void CDeviceOptionUI::SetStatusText(const QString& text)
{
    bind();
    if (!m_status)
        return;
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
    updateAccessibleNames();
}

QString CDeviceOptionUI::StatusText() const
{
    return m_status ? m_status->text() : QString();
}

void CDeviceOptionUI::refresh()
{
    if (!m_select)
        return;
    const bool selected = m_select->isChecked();
    const bool synchro = IsSynchro();
    const QString& path = m_icons[(synchro ? 2 : 0) + (selected ? 1 : 0)];
    m_select->setIcon(PaintManager::ResourceIcon(path));
    repolish(this);
    for (QWidget* child : findChildren<QWidget*>())
        repolish(child);
}

void CDeviceOptionUI::updateAccessibleNames()
{
    if (!m_select)
        return;
    QString name = m_select->toolTip();
    if (m_status && !m_status->text().isEmpty())
        name += QStringLiteral(", ") + m_status->text();
    m_select->setAccessibleName(name);
    if (m_synchro)
        m_synchro->setAccessibleName(m_synchro->toolTip());
}

bool CDeviceOptionUI::eventFilter(QObject* watched, QEvent* event)
{
    // The options are icon buttons: their tool tips, which follow the language, are their
    // names for screen readers.
    if (event->type() == QEvent::ToolTipChange && (watched == m_select || watched == m_synchro))
        updateAccessibleNames();
    return QWidget::eventFilter(watched, event);
}

bool CDeviceOptionUI::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::ParentChange:
        if (m_bound)
            joinGroup();
        else
            bind();
        break;
    case QEvent::Polish:
        bind();
        updateAccessibleNames();
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

void CDeviceOptionUI::mouseReleaseEvent(QMouseEvent* event)
{
    // A press anywhere on the tab (name, status, background) acts as a press of its option.
    bind();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && m_select
        && m_select->isEnabled())
        m_select->click();
    QWidget::mouseReleaseEvent(event);
}

}  // namespace ui
