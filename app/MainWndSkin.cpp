// The main window's background: the skin chooser, the broadcast it sends, the choice kept in
// "main.ini" and read back at start-up, and the palette window of a mouse DPI stage.
#include "app/CMainWnd.h"

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QThreadPool>
#include <QTimer>

#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"
#include "app/SkinSettings.h"
#include "editors/PanelServices.h"
#include "hid/DebugLog.h"
#include "ui/BackgroundImage.h"
#include "ui/Language.h"

int CMainWnd::Receive(SkinChangedParam param)
{
    ShowBackground(param, true);
    return 1;
}

void CMainWnd::LoadStoredSkin()
{
    ui::SkinChangeObserver().AddReceiver(this);
    if (const std::optional<SkinChangedParam> stored = app::skinsettings::Read())
        ShowBackground(*stored, false);
}

void CMainWnd::ShowBackground(const SkinChangedParam& param, bool chosenNow)
{
    ++m_bgGeneration;
    m_bgImage = QImage();
    m_bgScaled = QPixmap();
    if (param.bColor) {
        m_bgKind = Background::Colour;
        m_bgColour = param.bkcolor;
        m_bgPath.clear();
    } else if (param.bgimage.isEmpty() || param.bgimage == QLatin1String(ui::kDefaultBackground)) {
        // The default background is the skin's own.
        m_bgKind = Background::Default;
        m_bgColour = 0;
        m_bgPath = QLatin1String(ui::kDefaultBackground);
    } else {
        // The picture is read on a worker: a large one never holds up the window, and until it
        // is read the default background shows.
        m_bgKind = Background::Default;
        m_bgColour = 0;
        m_bgPath = param.bgimage;
        const QString file = QFileInfo(param.bgimage).isAbsolute() ? param.bgimage
                                                                   : ui::PaintManager::ResourceFile(param.bgimage);
        const QSize target = (Root() ? Root()->size() : size()).expandedTo(QSize(1000, 640) * m_dpi / 96) * devicePixelRatio();
        const int generation = m_bgGeneration;
        const QPointer<CMainWnd> self(this);
        const QString path = param.bgimage;
        QThreadPool::globalInstance()->start([self, file, target, generation, path, chosenNow] {
            ui::BackgroundImage read = ui::BackgroundImage::Load(file, target);
            QMetaObject::invokeMethod(qApp, [self, generation, path, read = std::move(read), chosenNow] {
                if (self)
                    self->BackgroundRead(generation, path, read.image, int(read.failure), chosenNow);
            }, Qt::QueuedConnection);
        });
    }
    if (Root())
        Root()->update();
}

void CMainWnd::BackgroundRead(int generation, const QString& path, const QImage& image, int failure, bool chosenNow)
{
    if (generation != m_bgGeneration)
        return;  // another choice came after this one
    if (failure == ui::BackgroundImage::None) {
        m_bgKind = Background::Image;
        m_bgImage = image;
        m_bgScaled = QPixmap();
        if (Root())
            Root()->update();
        return;
    }
    qCDebug(tesselDebug) << "background image not used:" << path << failure;
    m_bgPath = QLatin1String(ui::kDefaultBackground);
    // A picture just chosen that cannot be used is not kept; a stored one stays stored (it may
    // be on a disk that is not there yet).
    if (chosenNow)
        app::skinsettings::WriteImage(0, QLatin1String(ui::kDefaultBackground));
    const ui::Language& language = ui::Language::instance();
    QString reason;
    switch (failure) {
    case ui::BackgroundImage::Missing: reason = language.Text(QStringLiteral("skin_image_missing")); break;
    case ui::BackgroundImage::NotImage: reason = language.Text(QStringLiteral("skin_image_not_image")); break;
    case ui::BackgroundImage::TooLarge:
        reason = language.Text(QStringLiteral("skin_image_too_large")).arg(ui::BackgroundImage::kMaxSide);
        break;
    default: reason = language.Text(QStringLiteral("skin_image_unreadable")); break;
    }
    m_skinNotices << language.Text(QStringLiteral("skin_image_failed")).arg(QFileInfo(path).fileName(), reason);
    ShowSkinNotice();
}

void CMainWnd::ShowSkinNotice()
{
    if (m_showingSkinNotices || m_skinNotices.isEmpty())
        return;
    // Told over the window once it is up, never under it.
    if (!isVisible() || isMinimized()) {
        QTimer::singleShot(250, this, [this] { ShowSkinNotice(); });
        return;
    }
    m_showingSkinNotices = true;
    while (!m_skinNotices.isEmpty()) {
        const QString text = m_skinNotices.join(QStringLiteral("\n\n"));
        m_skinNotices.clear();
        editors::Services().message(this, text, false, 0);
    }
    m_showingSkinNotices = false;
}

bool CMainWnd::PaintBackground(QWidget* root)
{
    if (m_bgKind == Background::Default)
        return false;
    QPainter painter(root);
    if (m_bgKind == Background::Colour) {
        painter.fillRect(root->rect(), QColor::fromRgba(m_bgColour | 0xFF000000u));
        return true;
    }
    const QSize size = root->size() * root->devicePixelRatio();
    if (m_bgScaled.size() != size) {
        // Cover the whole window, cut evenly at the sides that stick out.
        const QImage scaled = m_bgImage.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QRect cut((scaled.width() - size.width()) / 2, (scaled.height() - size.height()) / 2, size.width(), size.height());
        m_bgScaled = QPixmap::fromImage(scaled.copy(cut));
        m_bgScaled.setDevicePixelRatio(root->devicePixelRatio());
    }
    painter.drawPixmap(0, 0, m_bgScaled);
    return true;
}

CSkinFrame* CMainWnd::OpenSkinFrame()
{
    if (m_skinFrame) {
        m_skinFrame->Close(0);
        return nullptr;
    }
    m_skinFrame = new CSkinFrame(this, PM().FindControl(QStringLiteral("skinbtn")), m_dpi);
    return m_skinFrame;
}

std::optional<uint32_t> CMainWnd::ChooseStageColour(uint32_t rgb, int stage)
{
    if (m_colourWnd) {
        m_colourWnd->raise();
        m_colourWnd->activateWindow();
        return std::nullopt;
    }
    QPointer<CColorSelectWnd> wnd = new CColorSelectWnd();
    m_colourWnd = wnd;
    wnd->Create(this, QString());
    wnd->setWindowTitle(ui::Language::instance().Text(QStringLiteral("mouse_dpi_colour_title")).arg(stage + 1));
    wnd->SetWindowDpi(m_dpi);
    wnd->SetColor(0xFF000000u | rgb);
    wnd->EnableSevenColor(false);
    wnd->CenterWindow();
    const int result = wnd->ShowModal();
    if (!wnd)
        return std::nullopt;
    const uint32_t colour = wnd->GetColor();
    m_colourWnd.clear();
    wnd->deleteLater();
    if (result != 1)
        return std::nullopt;
    return colour & 0xFFFFFFu;
}
