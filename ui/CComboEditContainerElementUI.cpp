#include "ui/CComboEditContainerElementUI.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include "ui/Builder.h"
#include "ui/ControlInterface.h"
#include "ui/PaintManager.h"

namespace ui {

CComboEditContainerElementUI::CComboEditContainerElementUI(QWidget* parent) : CListRowUI(parent)
{
    // The row's combo and edit are the tab stops; the row takes the focus from a click.
    setFocusPolicy(Qt::ClickFocus);
}

CComboEditContainerElementUI* CComboEditContainerElementUI::GetInterface(const QString& name)
{
    return AnswerInterface(this, name, {kClassName, "ListContainerElement", "HorizontalLayout", "Container", "Control"});
}

bool CComboEditContainerElementUI::Init()
{
    if (m_initialised)
        return m_combo && m_edit;
    m_initialised = true;
    if (!findChild<QWidget*>()) {
        // No contents from the skin: the row's own layout file gives them.
        Builder builder;
        if (QWidget* contents = builder.Create(QString::fromLatin1(kItemFile), this)) {
            auto* box = new QHBoxLayout(this);
            box->setContentsMargins(0, 0, 0, 0);
            box->addWidget(contents);
            if (PaintManager* pm = PaintManager::ForControl(this))
                pm->Wire(contents);
        }
        m_combo = findChild<QComboBox*>(QStringLiteral("text1"));
        m_caption = findChild<QLabel*>(QStringLiteral("text2"));
        m_edit = findChild<QLineEdit*>(QStringLiteral("delay_edit"));
    } else {
        m_combo = findChild<QComboBox*>();
        m_edit = findChild<QLineEdit*>();
        m_caption = findChild<QLabel*>();
    }
    if (m_combo)
        connect(m_combo, &QComboBox::currentIndexChanged, this, [this] { m_changed = true; });
    if (m_edit)
        connect(m_edit, &QLineEdit::returnPressed, this, [this] { m_changed = true; });
    return m_combo && m_edit;
}

QComboBox* CComboEditContainerElementUI::Combo()
{
    Init();
    return m_combo;
}

QLineEdit* CComboEditContainerElementUI::Edit()
{
    Init();
    return m_edit;
}

QLabel* CComboEditContainerElementUI::Caption()
{
    Init();
    return m_caption;
}

bool CComboEditContainerElementUI::event(QEvent* event)
{
    // Initialised when first shown: by then the skin has put in whatever children it gives.
    if (event->type() == QEvent::Show)
        Init();
    return CListRowUI::event(event);
}

void CComboEditContainerElementUI::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SetSelected((event->modifiers() & Qt::ControlModifier) ? !IsSelected() : true);
    CListRowUI::mousePressEvent(event);
}

void CComboEditContainerElementUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Send("itemclick", RowIndex());
    CListRowUI::mouseReleaseEvent(event);
}

void CComboEditContainerElementUI::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Send("return", RowIndex());
        event->accept();
        return;
    }
    CListRowUI::keyPressEvent(event);
}

}  // namespace ui
