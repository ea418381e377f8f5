#include "editors/PanelServices.h"

#include "protocol/ResultCodes.h"
#include "ui/Language.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

namespace editors {

namespace {

// Qt's portal theme hands every file dialog to the desktop portal, asked for by
// QT_QPA_PLATFORMTHEME or chosen by Qt itself in a sandbox. When no portal answers on the session
// bus, that dialog closes at once as if cancelled; Qt's own dialog is shown instead, so the user
// always gets to choose a file.
QFileDialog::Options FileDialogOptions()
{
    const QString theme = qEnvironmentVariable("QT_QPA_PLATFORMTHEME");
    const bool portalTheme = theme.contains(QLatin1String("xdgdesktopportal")) || theme.contains(QLatin1String("flatpak")) ||
                             theme.contains(QLatin1String("snap")) || QFile::exists(QStringLiteral("/.flatpak-info")) ||
                             qEnvironmentVariableIsSet("SNAP");
    if (!portalTheme)
        return {};
    const QString portal = QStringLiteral("org.freedesktop.portal.Desktop");
    const QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface* names = bus.isConnected() ? bus.interface() : nullptr;
    const bool answers = names && (names->isServiceRegistered(portal).value() ||
                                   names->activatableServiceNames().value().contains(portal));
    return answers ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog;
}

PanelServices MakeDefaults()
{
    PanelServices s;
    s.message = [](QWidget* parent, const QString& body, bool bodyIsId, int buttonMode) {
        const QString text = bodyIsId ? ui::Language::instance().Text(body) : body;
        const auto buttons = buttonMode == 1 ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
        return QMessageBox::information(parent, QString(), text, buttons) == QMessageBox::Ok ? 1 : 0;
    };
    s.openFile = [](QWidget* parent, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), filter, nullptr, FileDialogOptions());
    };
    s.saveFile = [](QWidget* parent, const QString& filter, const QString& suggestedName) {
        return QFileDialog::getSaveFileName(parent, QString(), suggestedName, filter, nullptr, FileDialogOptions());
    };
    s.notice = [](QWidget* parent, const QString& bodyId, const QString& checkId, bool& checked) {
        const ui::Language& language = ui::Language::instance();
        QMessageBox box(QMessageBox::Information, QString(), language.Text(bodyId),
                        QMessageBox::Ok | QMessageBox::Cancel, parent);
        auto* check = new QCheckBox(language.Text(checkId), &box);
        check->setChecked(checked);
        box.setCheckBox(check);
        const bool go = box.exec() == QMessageBox::Ok;
        checked = check->isChecked();
        return go ? 1 : 0;
    };
    return s;
}

}  // namespace

PanelServices& Services()
{
    static PanelServices services = MakeDefaults();
    return services;
}

void InstallServices(const PanelServices& services)
{
    PanelServices& s = Services();
    if (services.message)
        s.message = services.message;
    if (services.openFile)
        s.openFile = services.openFile;
    if (services.saveFile)
        s.saveFile = services.saveFile;
    if (services.notice)
        s.notice = services.notice;
}

QString FailureInWords(int code, IoFailure failure)
{
    QString id;
    switch (failure) {
    case IoFailure::NotAnswering: id = QStringLiteral("io_failure_not_answering"); break;
    case IoFailure::OutOfReach: id = QStringLiteral("io_failure_out_of_reach"); break;
    case IoFailure::Refused: id = QStringLiteral("io_failure_refused"); break;
    case IoFailure::Unplugged: id = QStringLiteral("io_failure_unplugged"); break;
    case IoFailure::None: break;
    }
    if (id.isEmpty()) {
        switch (code) {
        case protocol::kNoReply: id = QStringLiteral("io_failure_no_reply"); break;
        case protocol::kWriteFailed: id = QStringLiteral("io_failure_not_sent"); break;
        case protocol::kNoLink: id = QStringLiteral("io_failure_out_of_reach"); break;
        case protocol::kStatusFF:
        case protocol::kStatusFE: id = QStringLiteral("io_failure_refused"); break;
        case protocol::kBadBank: id = QStringLiteral("io_failure_bad_bank"); break;
        case protocol::kMacroTransferFailed: id = QStringLiteral("io_failure_macros_not_taken"); break;
        default: id = QStringLiteral("io_failure_unexpected"); break;
        }
    }
    return ui::Language::instance().Text(id);
}

void ShowWriteFailure(QWidget* parent, int code, IoFailure failure, const QString& deviceNameId)
{
    ui::Language& language = ui::Language::instance();
    if (code == -1 && failure == IoFailure::None) {
        Services().message(parent, QStringLiteral("message_text_7"), true, 0);
        return;
    }
    // A positive result only comes from the macro image: that many events do not fit the
    // device's macro memory. Any other code is a failed transfer and is shown as such, so the
    // user is never told of "too many events" when the device simply did not answer.
    QString text;
    if (code > 0)
        text = language.Text(QStringLiteral("message_text_16")).replace(QLatin1String("%d"), QString::number(code));
    else
        text = language.Text(QStringLiteral("message_text_write_error")).arg(FailureInWords(code, failure));
    if (!deviceNameId.isEmpty())
        text = language.Text(deviceNameId) + QStringLiteral(": ") + text;
    Services().message(parent, text, false, 0);
}

}  // namespace editors
