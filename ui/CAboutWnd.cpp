#include "ui/CAboutWnd.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTextBrowser>
#include <QtGlobal>

#include "ui/Language.h"

namespace {
// The language-change message the main window sends to its open sub-windows.
constexpr uint32_t kLanguageChanged = 0x0C11;
}

CAboutWnd::CAboutWnd() : WindowImplBase(nullptr)
{
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_QuitOnClose, false);
}

QString CAboutWnd::GetSkinFile()
{
    return QStringLiteral("XML/AboutWnd.ui");
}

void CAboutWnd::InitWindow()
{
    if (auto* logo = PM().Find<QLabel>(QStringLiteral("about_logo")))
        logo->setPixmap(ui::PaintManager::ResourceIcon(QStringLiteral("images/logo.svg")).pixmap(64, 64));
    ShowTexts();
}

void CAboutWnd::SetVersionText(const QString& version)
{
    m_version = version;
    ShowTexts();
}

QString CAboutWnd::VersionLabelText() const
{
    const auto* label = const_cast<CAboutWnd*>(this)->PM().Find<QLabel>(QStringLiteral("software_ver_label"));
    return label ? label->text() : QString();
}

void CAboutWnd::ShowTexts()
{
    if (auto* label = PM().Find<QLabel>(QStringLiteral("software_ver_label")))
        label->setText(ui::Language::instance().Text(QStringLiteral("software_rev_text")) + m_version);
    // The licence list carries the Qt version this program runs with.
    if (auto* licences = PM().Find<QTextBrowser>(QStringLiteral("about_licence_text")))
        licences->setHtml(ui::Language::instance().Text(QStringLiteral("about_licence_text"))
                              .replace(QLatin1String("%1"), QLatin1String(qVersion())));
}

void CAboutWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != QLatin1String(ui::kNotifyClick) || !msg.pSender)
        return;
    const QString name = msg.pSender->objectName();
    if (name == QLatin1String("closebtn") || name == QLatin1String("about_ok_btn"))
        Close(0);
    else if (name == QLatin1String("minbtn"))
        showMinimized();
}

intptr_t CAboutWnd::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& bHandled)
{
    if (msg == kLanguageChanged) {
        ShowTexts();
        update();
        bHandled = true;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, bHandled);
}

void CAboutWnd::OnFinalMessage()
{
    deleteLater();
}

void CAboutWnd::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Close(0);
        return;
    }
    WindowImplBase::keyPressEvent(event);
}
