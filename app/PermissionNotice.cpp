#include "app/PermissionNotice.h"

#include "hid/DebugLog.h"
#include "hid/SupportedInterfaces.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace app {

namespace {

QString Text(const char* id)
{
    return ui::Language::instance().Text(QLatin1String(id));
}

}  // namespace

PermissionNotice::PermissionNotice(QWidget* window, ui::PaintManager& pm, QString rulesFile)
    : QObject(window), m_window(window), m_rulesFile(std::move(rulesFile))
{
    QWidget* strip = pm.FindControl(QStringLiteral("device_strip"));
    auto* layout = strip ? qobject_cast<QBoxLayout*>(strip->layout()) : nullptr;
    if (!layout) {
        qCDebug(tesselDebug) << "no device strip for the access notice";
        return;
    }
    m_button = new QPushButton(strip);
    m_button->setObjectName(QStringLiteral("device_no_access"));
    m_button->setFlat(true);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->hide();
    // Before the strip's "next" arrow, so it stands where the device tabs are.
    int at = layout->count();
    if (QWidget* next = pm.FindControl(QStringLiteral("device_select_next"))) {
        const int index = layout->indexOf(next);
        if (index >= 0)
            at = index;
    }
    layout->insertWidget(at, m_button);
    connect(m_button, &QPushButton::clicked, this, [this] { ShowPage(); });
    ReloadText();
}

QString PermissionNotice::KindText(uint16_t deviceType)
{
    switch (deviceType) {
    case hid::devtype::kKeyboard:
    case hid::devtype::kKeyboardReceiver:
        return Text("access_kind_keyboard");
    case hid::devtype::kMouse:
    case hid::devtype::kMouseReceiver:
        return Text("access_kind_mouse");
    case hid::devtype::kMousePad:
        return Text("access_kind_pad");
    case hid::devtype::kHeadset:
        return Text("access_kind_headset");
    default:
        return Text("access_kind_device");
    }
}

QString PermissionNotice::CauseText(hid::AccessCause cause)
{
    switch (cause) {
    case hid::AccessCause::Sandbox:
        return Text("access_cause_sandbox");
    case hid::AccessCause::NoRule:
        return Text("access_cause_no_rule");
    case hid::AccessCause::NoSessionAcl:
        return Text("access_cause_no_session");
    case hid::AccessCause::None:
    case hid::AccessCause::Other:
        break;
    }
    return Text("access_cause_other");
}

QString PermissionNotice::StripText() const
{
    QStringList lines;
    for (const hid::DeviceAccess& d : m_denied) {
        const QString line = Text("access_denied_strip").replace(QLatin1String("%1"), KindText(d.deviceType));
        if (!lines.contains(line))
            lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

void PermissionNotice::SetDenied(const std::vector<hid::DeviceAccess>& denied)
{
    m_denied = denied;
    ReloadText();
    if (m_button)
        m_button->setVisible(!m_denied.empty());
    if (m_denied.empty() && m_page)
        m_page->close();
}

void PermissionNotice::ReloadText()
{
    if (!m_button)
        return;
    const QString text = StripText();
    m_button->setText(text);
    m_button->setToolTip(Text("access_denied_tip"));
    // Named even while hidden and empty, so every control of the window has a name.
    m_button->setAccessibleName(text.isEmpty() ? Text("access_page_title") : text);
    m_button->setAccessibleDescription(Text("access_denied_tip"));
}

QDialog* PermissionNotice::ShowPage()
{
    if (m_page)
        m_page->close();
    auto* page = new QDialog(m_window);
    page->setObjectName(QStringLiteral("device_access_page"));
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->setWindowTitle(Text("access_page_title"));
    auto* layout = new QVBoxLayout(page);
    for (const hid::DeviceAccess& d : m_denied) {
        auto* heading = new QLabel(Text("access_denied_strip").replace(QLatin1String("%1"), KindText(d.deviceType)) +
                                       QStringLiteral(" (%1)").arg(QString::fromStdString(d.node)),
                                   page);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        heading->setWordWrap(true);
        layout->addWidget(heading);
        auto* cause = new QLabel(CauseText(d.cause), page);
        cause->setWordWrap(true);
        cause->setObjectName(QStringLiteral("device_access_cause"));
        layout->addWidget(cause);
        const QString fix = QString::fromStdString(hid::FixCommand(d.cause, m_rulesFile.toStdString()));
        if (fix.isEmpty())
            continue;
        auto* how = new QLabel(Text("access_fix_label"), page);
        how->setWordWrap(true);
        layout->addWidget(how);
        auto* row = new QHBoxLayout;
        auto* command = new QLineEdit(fix, page);
        command->setObjectName(QStringLiteral("device_access_fix"));
        command->setReadOnly(true);
        command->setAccessibleName(Text("access_fix_label"));
        command->setCursorPosition(0);
        auto* copy = new QPushButton(Text("access_copy"), page);
        copy->setObjectName(QStringLiteral("device_access_copy"));
        connect(copy, &QPushButton::clicked, page, [fix] { QApplication::clipboard()->setText(fix); });
        how->setBuddy(command);
        row->addWidget(command, 1);
        row->addWidget(copy);
        layout->addLayout(row);
    }
    auto* buttons = new QDialogButtonBox(page);
    QPushButton* close = buttons->addButton(Text("message_confirm"), QDialogButtonBox::AcceptRole);
    connect(close, &QPushButton::clicked, page, &QDialog::accept);
    layout->addWidget(buttons);
    page->resize(qMax(page->sizeHint().width(), 640), page->sizeHint().height());
    page->show();
    page->raise();
    m_page = page;
    return page;
}

}  // namespace app
