#include "app/CSkinFrame.h"

#include <QAbstractButton>
#include <QStackedWidget>

#include "app/SkinSettings.h"
#include "editors/PanelServices.h"
#include "ui/Language.h"
#include "ui/SkinChangedParam.h"

namespace {
constexpr uint32_t kLanguageChanged = 0x0C11;
const QLatin1String kImagePrefix("skin_image_btn_");
const QLatin1String kColourPrefix("skin_color_btn_");

// The chooser's buttons of one kind, in their order in the skin.
QList<QAbstractButton*> Buttons(QWidget* root, const QLatin1String& prefix)
{
    QList<QAbstractButton*> list;
    for (int i = 0;; ++i) {
        auto* b = qobject_cast<QAbstractButton*>(ui::PaintManager::FindSubControlByName(root, prefix + QString::number(i)));
        if (!b)
            break;
        list << b;
    }
    return list;
}
}  // namespace

CSkinFrame::CSkinFrame(QWidget* parent, QWidget* anchor, int dpi)
    : WindowImplBase(nullptr), m_parent(parent), m_anchor(anchor)
{
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    Create(nullptr, QString());
    PM().SetDPI(dpi);
    resize(minimumSize());
    PlaceUnderAnchor();
    show();
    activateWindow();
}

uint32_t CSkinFrame::ButtonColour(const QWidget* button)
{
    return button ? button->property("bkcolor").toString().toUInt(nullptr, 16) : 0;
}

void CSkinFrame::InitWindow()
{
    for (QAbstractButton* b : Buttons(Root(), kImagePrefix)) {
        const QString file = ui::PaintManager::ResourceFile(b->property("userdata").toString());
        b->setIcon(QIcon(file));
    }
    for (QAbstractButton* b : Buttons(Root(), kColourPrefix)) {
        const QColor c = QColor::fromRgba(ButtonColour(b));
        b->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; }").arg(c.name()));
    }
    ShowTexts();
    ShowPage(0);
}

void CSkinFrame::ShowTexts()
{
    const ui::Language& language = ui::Language::instance();
    const QList<QAbstractButton*> images = Buttons(Root(), kImagePrefix);
    for (int i = 0; i < images.size(); ++i) {
        const QString name = language.Text(QStringLiteral("skin_image_name")).arg(i + 1);
        images[i]->setAccessibleName(name);
        images[i]->setToolTip(name);
    }
    const QList<QAbstractButton*> colours = Buttons(Root(), kColourPrefix);
    for (int i = 0; i < colours.size(); ++i) {
        const QString name = language.Text(QStringLiteral("skin_colour_name")).arg(i + 1);
        colours[i]->setAccessibleName(name);
        colours[i]->setToolTip(name);
    }
}

void CSkinFrame::ShowPage(int page)
{
    if (auto* tab = PM().Find<QStackedWidget>(QStringLiteral("skin_tab")))
        tab->setCurrentIndex(page);
    const char* names[] = {"skin_image", "skin_color"};
    for (int i = 0; i < 2; ++i)
        if (auto* b = PM().Find<QAbstractButton>(QLatin1String(names[i]))) {
            const QSignalBlocker block(b);
            b->setChecked(i == page);
        }
}

void CSkinFrame::PlaceUnderAnchor()
{
    if (!m_anchor)
        return;
    const QPoint corner = m_anchor->mapToGlobal(QPoint(m_anchor->width(), m_anchor->height()));
    move(corner.x() - width(), corner.y());
}

void CSkinFrame::Notify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return;
    const QString name = msg.pSender->objectName();
    // The page buttons are toggles: a screen reader toggles them without a click.
    if (msg.sType == QLatin1String(ui::kNotifySelectChanged) && msg.wParam &&
        (name == QLatin1String("skin_image") || name == QLatin1String("skin_color"))) {
        ShowPage(name == QLatin1String("skin_color") ? 1 : 0);
        return;
    }
    if (msg.sType != QLatin1String(ui::kNotifyClick))
        return;
    SkinObserver& observer = ui::SkinChangeObserver();
    if (name.startsWith(kImagePrefix)) {
        SkinChangedParam p;
        p.bgimage = msg.pSender->property("userdata").toString();
        observer.Broadcast(p);
        app::skinsettings::WriteImage(1, p.bgimage);
    } else if (name.startsWith(kColourPrefix)) {
        SkinChangedParam p;
        p.bColor = true;
        p.bkcolor = ButtonColour(msg.pSender);
        observer.Broadcast(p);
        app::skinsettings::WriteColour(p.bkcolor);
    } else if (name == QLatin1String("skin_color")) {
        ShowPage(1);
    } else if (name == QLatin1String("skin_image")) {
        ShowPage(0);
    } else if (name == QLatin1String("skin_reset")) {
        SkinChangedParam p;
        p.bgimage = QLatin1String(ui::kDefaultBackground);
        observer.Broadcast(p);
        app::skinsettings::WriteImage(0, p.bgimage);
    } else if (name == QLatin1String("skin_Custom")) {
        // The dialog takes the focus, so the popup goes first (as it would on losing the
        // focus); nothing of it is used once the dialog runs.
        const QPointer<QWidget> parent = m_parent;
        const ui::Language& language = ui::Language::instance();
        const QString filter = language.Text(QStringLiteral("skin_custom_filter")) + QStringLiteral(";;") +
                               language.Text(QStringLiteral("skin_all_files"));
        close();
        const QString file = editors::Services().openFile(parent, filter);
        if (file.isEmpty())
            return;
        SkinChangedParam p;
        p.bgimage = file;
        ui::SkinChangeObserver().Broadcast(p);
        app::skinsettings::WriteImage(1, file);
    }
}

intptr_t CSkinFrame::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& bHandled)
{
    if (msg == kLanguageChanged) {
        ShowTexts();
        bHandled = true;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, bHandled);
}

void CSkinFrame::OnFinalMessage()
{
    deleteLater();
}
