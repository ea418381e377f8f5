#include "editors/PanelServices.h"

#include "ui/Language.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>

namespace editors {

namespace {

PanelServices MakeDefaults()
{
    PanelServices s;
    s.message = [](QWidget* parent, const QString& body, bool bodyIsId, int buttonMode) {
        const QString text = bodyIsId ? ui::Language::instance().Text(body) : body;
        const auto buttons = buttonMode == 1 ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok;
        return QMessageBox::information(parent, QString(), text, buttons) == QMessageBox::Ok ? 1 : 0;
    };
    s.openFile = [](QWidget* parent, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    };
    s.saveFile = [](QWidget* parent, const QString& filter, const QString& suggestedName) {
        return QFileDialog::getSaveFileName(parent, QString(), suggestedName, filter);
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

void ShowWriteFailure(QWidget* parent, int code)
{
    if (code == -1) {
        Services().message(parent, QStringLiteral("message_text_7"), true, 0);
        return;
    }
    // A positive result only comes from the macro image: that many events do not fit the
    // device's macro memory. Any other code is a failed transfer and is shown as such, so the
    // user is never told of "too many events" when the device simply did not answer.
    const QString id = code > 0 ? QStringLiteral("message_text_16") : QStringLiteral("message_text_write_error");
    QString text = ui::Language::instance().Text(id);
    text.replace(QLatin1String("%d"), QString::number(code));
    Services().message(parent, text, false, 0);
}

}  // namespace editors
