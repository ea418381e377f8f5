#include "app/CMsgWnd.h"

#include <QStyle>

#include <QLayout>
#include <algorithm>

#include "app/CMainWnd.h"
#include "app/SkinResources.h"
#include "hid/DebugLog.h"
#include "ui/Language.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLabel>

CMsgWnd::CMsgWnd() : WindowImplBase(nullptr)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_QuitOnClose, false);
}

QString CMsgWnd::GetSkinFile()
{
    return app::SkinResources::Instance().Resolve(QStringLiteral("XML_MSG"));
}

void CMsgWnd::InitWindow()
{
    m_closeBtn = PM().FindControl(QStringLiteral("closebtn"));
}

void CMsgWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != QLatin1String(ui::kNotifyClick) || !msg.pSender)
        return;
    const QString name = msg.pSender->objectName();
    if (name.compare(QLatin1String("closebtn"), Qt::CaseInsensitive) == 0)
        Close(0);
    else if (name.compare(QLatin1String("confirm_btn"), Qt::CaseInsensitive) == 0)
        Close(1);
    else if (name.compare(QLatin1String("cancel_btn"), Qt::CaseInsensitive) == 0)
        Close(0);
}

void CMsgWnd::OnFinalMessage()
{
    deleteLater();
}

void CMsgWnd::SetDPI(int dpi)
{
    dpi = CMainWnd::ValidDpi(dpi, "MSG_WND DPI SET ERROR");
    if (dpi == m_dpi)
        return;
    m_dpi = dpi;
    ui::PaintManager::SetAllDPI(dpi);
    // The box was laid out (and so styled) before its DPI was set: the sizes the style sheet
    // gave its controls are already those of the sheet's DPI and were scaled once more. Styling
    // them again puts the sheet's own sizes back.
    for (QWidget* w : findChildren<QWidget*>()) {
        w->style()->unpolish(w);
        w->style()->polish(w);
    }
}

int CMsgWnd::ShowMessage(QWidget* parent, const QString& title, const QString& body, int dpi,
                         bool bodyIsId, int buttonMode)
{
    auto* box = new CMsgWnd();
    box->Create(parent, QStringLiteral("msgwnd"));
    if (!title.isEmpty()) {
        if (QWidget* label = box->PM().FindControl(QStringLiteral("MessageTitle")))
            ui::Language::instance().SetTextId(label, title);
    }
    if (!body.isEmpty()) {
        if (auto* label = box->PM().Find<QLabel>(QStringLiteral("MessageText"))) {
            if (bodyIsId) {
                ui::Language::instance().SetTextId(label, body);
            } else {
                label->setProperty("textid", QVariant());
                label->setText(body);
            }
        }
    }
    box->SetDPI(dpi);
    QWidget* confirm = box->PM().FindControl(QStringLiteral("confirm_btn"));
    QWidget* cancel = box->PM().FindControl(QStringLiteral("cancel_btn"));
    if (buttonMode == ConfirmOnly) {
        if (cancel)
            cancel->setVisible(false);
        if (confirm)
            confirm->setVisible(true);
    } else if (buttonMode == ConfirmAndCancel) {
        if (cancel)
            cancel->setVisible(true);
        if (confirm)
            confirm->setVisible(true);
    }
    // A long body (a file path, several notices) makes the box taller and, up to twice the
    // skin's width, wider, so no line is cut; a short one keeps the skin's size.
    if (QLayout* layout = box->layout(); layout && layout->hasHeightForWidth()) {
        int width = box->width();
        const int widest = 2 * box->minimumWidth();
        while (layout->totalHeightForWidth(width) > box->height() * 2 && width < widest)
            width = std::min(widest, width + box->minimumWidth() / 4);
        box->resize(width, std::max(box->height(), layout->totalHeightForWidth(width)));
    }
    box->CenterWindow();
    return box->ShowModal();
}

void CMsgWnd::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        Close(0);
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        if (auto* b = qobject_cast<QAbstractButton*>(focusWidget()); b && b->isVisible() && b->isEnabled()) {
            e->accept();
            b->click();
            return;
        }
    }
    WindowImplBase::keyPressEvent(e);
}
