#include "ui/WindowImplBase.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHideEvent>
#include <QMetaObject>
#include <QResizeEvent>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include "ui/UiLog.h"
#include "ui/Builder.h"
#include "ui/Language.h"

WindowImplBase::WindowImplBase(QWidget* parent) : QWidget(parent, Qt::Window), m_pm(this) {}

WindowImplBase::~WindowImplBase()
{
    if (m_modalLoop)
        m_modalLoop->quit();
    m_pm.Detach();
}

intptr_t WindowImplBase::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                             bool& bHandled)
{
    (void)msg;
    (void)wParam;
    (void)lParam;
    bHandled = false;
    return 0;
}

bool WindowImplBase::Create(QWidget* parent, const QString& title)
{
    if (parent != parentWidget())
        setParent(parent, windowFlags() | Qt::Window);
    if (objectName().isEmpty())
        setObjectName(GetWindowClassName());

    bool ok = true;
    const QString skin = GetSkinFile();
    if (!skin.isEmpty()) {
        ui::Builder builder(this);
        QWidget* root = builder.Create(skin, this);
        if (root) {
            if (!layout()) {
                auto* box = new QVBoxLayout(this);
                box->setContentsMargins(0, 0, 0, 0);
                box->setSpacing(0);
            }
            layout()->addWidget(root);
            // The skin's geometry is the window's initial size.
            resize(root->size().expandedTo(root->minimumSizeHint()));
            setMinimumSize(root->minimumSize());
            if (root->maximumSize() != QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX))
                setMaximumSize(root->maximumSize());
            if (windowTitle().isEmpty()) {
                // The skin's title is a text id: the window follows the language with it.
                const QString titleId = root->property("windowtitleid").toString();
                if (titleId.isEmpty())
                    setWindowTitle(root->windowTitle());
                else
                    ui::Language::instance().SetTextId(this, titleId);
            }
            m_root = root;
        } else {
            qCDebug(uiDebug) << "skin not loaded:" << skin << "for" << GetWindowClassName();
            ok = false;
        }
    }
    if (!title.isEmpty())
        setWindowTitle(title);

    m_pm.Wire(this);
    ui::Language::instance().Apply(this);
    m_created = true;
    InitWindow();
    m_pm.SendNotify(this, ui::kNotifyWindowInit);
    return ok;
}

int WindowImplBase::ShowModal()
{
    if (m_modalLoop)
        return 0;  // already running modally; the outer call gets the result
    int result = 0;
    QPointer<WindowImplBase> self(this);
    QEventLoop loop;
    m_modalLoop = &loop;
    m_modalResult = &result;
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    // The window may have been destroyed while the loop ran; the result lives here.
    if (self) {
        m_modalLoop = nullptr;
        m_modalResult = nullptr;
        setWindowModality(Qt::NonModal);
    }
    return result;
}

void WindowImplBase::Close(int code)
{
    if (m_modalResult)
        *m_modalResult = code;
    close();
}

void WindowImplBase::closeEvent(QCloseEvent* event)
{
    event->accept();
    OnFinalMessage();
}

void WindowImplBase::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A minimised window is hidden by the window system; only a real hide ends the modal run.
    if (!event->spontaneous())
        finishModal();
}

void WindowImplBase::finishModal()
{
    if (m_modalLoop)
        m_modalLoop->quit();
}

void WindowImplBase::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_created)
        m_pm.SendNotify(this, ui::kNotifyWindowSize, event->size().width(), event->size().height());
}

void WindowImplBase::CenterWindow()
{
    QRect area;
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner && owner->isVisible()) {
        area = owner->frameGeometry();
    } else {
        QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (!screen)
            return;
        area = screen->availableGeometry();
    }
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void WindowImplBase::ShowWindow(bool show, bool takeFocus)
{
    if (!show) {
        hide();
        return;
    }
    setAttribute(Qt::WA_ShowWithoutActivating, !takeFocus);
    if (isMinimized())
        showNormal();
    else
        QWidget::show();
    if (takeFocus) {
        raise();
        activateWindow();
    }
}

intptr_t WindowImplBase::SendMessage(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    if (QThread::currentThread() == thread()) {
        bool handled = false;
        return HandleCustomMessage(msg, wParam, lParam, handled);
    }
    intptr_t result = 0;
    QMetaObject::invokeMethod(
        this,
        [this, msg, wParam, lParam, &result] {
            bool handled = false;
            result = HandleCustomMessage(msg, wParam, lParam, handled);
        },
        Qt::BlockingQueuedConnection);
    return result;
}

void WindowImplBase::PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    QMetaObject::invokeMethod(
        this,
        [this, msg, wParam, lParam] {
            bool handled = false;
            HandleCustomMessage(msg, wParam, lParam, handled);
        },
        Qt::QueuedConnection);
}
