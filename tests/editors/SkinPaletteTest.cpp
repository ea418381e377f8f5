// The skin chooser, the background it sets and keeps, and the colour palette window: against
// the real main window, real files and a simulated mouse.
#include "tests/editors/PanelTestFixture.h"

#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"
#include "app/SkinSettings.h"
#include "editors/CLightControlUI.h"
#include "ui/BackgroundImage.h"
#include "ui/SkinChangedParam.h"

#include <QApplication>
#include <QImage>
#include <QSettings>
#include <QTimer>

namespace {

quint32 crc32Of(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG that declares `width` x `height` but carries no real pixel data: its size is read
// without decoding anything, and decoding it fails.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray ihdr("IHDR");
    for (quint32 v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            ihdr.append(char((v >> shift) & 0xFF));
    ihdr.append("\x08\x02\x00\x00\x00", 5);
    const quint32 crc = crc32Of(ihdr);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png.append("\x00\x00\x00\x0d", 4);
    png.append(ihdr);
    for (int shift = 24; shift >= 0; shift -= 8)
        png.append(char((crc >> shift) & 0xFF));
    // A pixel data chunk that is not compressed data, then the end.
    const QByteArray idat("IDAT\x01\x02\x03\x04", 8);
    png.append("\x00\x00\x00\x04", 4);
    png.append(idat);
    const quint32 idatCrc = crc32Of(idat);
    for (int shift = 24; shift >= 0; shift -= 8)
        png.append(char((idatCrc >> shift) & 0xFF));
    png.append(QByteArray("\x00\x00\x00\x00IEND\xae\x42\x60\x82", 12));
    return png;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString iniValue(const QString& key)
{
    return QSettings(app::skinsettings::IniFile(), QSettings::IniFormat).value(key).toString();
}

class SkinTest : public PanelOnSimulatorTest {
protected:
    CSkinFrame* openChooser()
    {
        click(window.get(), "skinbtn");
        return window->SkinFrame();
    }
    void clickInChooser(const char* name)
    {
        CSkinFrame* frame = window->SkinFrame() ? window->SkinFrame() : openChooser();
        ASSERT_NE(frame, nullptr);
        auto* b = frame->PM().Find<QAbstractButton>(QLatin1String(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    // Custom image files of every kind a user may pick.
    QString badImage(const QString& kind)
    {
        const QString path = home.filePath(kind + ".png");
        if (kind == "huge")
            writeFile(path, pngHeaderOnly(20000, 20000));
        else if (kind == "text")
            writeFile(path, "not a picture at all\n");
        else if (kind == "cut")
            writeFile(path, pngHeaderOnly(64, 64));
        return path;
    }
};

TEST(BackgroundImage, RefusesWhatItCannotUseAndScalesLargePicturesDown)
{
    QTemporaryDir dir;
    const QString huge = dir.filePath("huge.png"), text = dir.filePath("text.png"), cut = dir.filePath("cut.png"),
                  good = dir.filePath("good.png");
    writeFile(huge, pngHeaderOnly(20000, 20000));
    writeFile(text, "GIF? no, words\n");
    writeFile(cut, pngHeaderOnly(64, 64));
    QImage picture(3000, 2000, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(good));
    const struct {
        QString path;
        ui::BackgroundImage::Failure failure;
    } cases[] = {
        {dir.filePath("missing.png"), ui::BackgroundImage::Missing},
        {dir.path(), ui::BackgroundImage::Missing},
        {text, ui::BackgroundImage::NotImage},
        {huge, ui::BackgroundImage::TooLarge},
        {cut, ui::BackgroundImage::Unreadable},
        {good, ui::BackgroundImage::None},
    };
    for (const auto& c : cases) {
        const ui::BackgroundImage read = ui::BackgroundImage::Load(c.path, QSize(1000, 640));
        EXPECT_EQ(read.failure, c.failure) << c.path.toStdString();
        EXPECT_EQ(read.image.isNull(), c.failure != ui::BackgroundImage::None) << c.path.toStdString();
    }
    // Decoded at the size that covers the window, not the file's.
    const QImage shown = ui::BackgroundImage::Load(good, QSize(1000, 640)).image;
    EXPECT_EQ(shown.width(), 1000);
    EXPECT_NEAR(shown.height(), 667, 1);
}

TEST_F(SkinTest, ChoicesReachTheWindowAtOnceAreKeptAndComeBackAfterARestart)
{
    ASSERT_NE(openChooser(), nullptr);
    // Under the skin button: right edges together, the top on its bottom.
    auto* skinbtn = control<QWidget>(window.get(), "skinbtn");
    const QPoint corner = skinbtn->mapToGlobal(QPoint(skinbtn->width(), skinbtn->height()));
    EXPECT_EQ(window->SkinFrame()->frameGeometry().topRight() + QPoint(1, 0), corner);

    // A colour: shown at once and kept.
    clickInChooser("skin_color");
    auto* colourBtn = window->SkinFrame()->PM().Find<QAbstractButton>("skin_color_btn_2");
    ASSERT_NE(colourBtn, nullptr);
    EXPECT_TRUE(colourBtn->isVisible());
    const uint32_t colour = CSkinFrame::ButtonColour(colourBtn);
    colourBtn->click();
    EXPECT_EQ(window->BackgroundShown(), CMainWnd::Background::Colour);
    EXPECT_EQ(window->BackgroundColour(), colour);
    // The root shows the colour where its controls leave it bare.
    const QImage root = window->Root()->grab().toImage();
    int bare = 0;
    for (int y = 0; y < root.height(); y += 4)
        for (int x = 0; x < root.width(); x += 4)
            bare += root.pixel(x, y) == QColor::fromRgba(colour).rgb();
    EXPECT_GT(bare, 100);
    EXPECT_EQ(iniValue("SKINIMAGE/COLOR").toUInt(nullptr, 16), colour);
    restartWindow();
    EXPECT_EQ(window->BackgroundShown(), CMainWnd::Background::Colour);
    EXPECT_EQ(window->BackgroundColour(), colour);

    // An image of the chooser: FLAGS 1 and its path; it wins over the colour from now on.
    clickInChooser("skin_image_btn_1");
    EXPECT_EQ(iniValue("SKINIMAGE/FLAGS"), "1");
    EXPECT_EQ(iniValue("SKINIMAGE/IMAGE"), "skin/bg_aurora.png");
    EXPECT_TRUE(iniValue("SKINIMAGE/COLOR").isEmpty());
    ASSERT_TRUE(waitFor([&] { return window->BackgroundShown() == CMainWnd::Background::Image; }));
    restartWindow();
    ASSERT_TRUE(waitFor([&] { return window->BackgroundShown() == CMainWnd::Background::Image; }));
    EXPECT_EQ(window->BackgroundImagePath(), "skin/bg_aurora.png");

    // A cancelled custom image changes nothing; a chosen one is shown and kept.
    chosenFile.clear();
    clickInChooser("skin_Custom");
    settleEvents();
    EXPECT_EQ(window->BackgroundImagePath(), "skin/bg_aurora.png");
    EXPECT_EQ(iniValue("SKINIMAGE/IMAGE"), "skin/bg_aurora.png");
    QImage own(1600, 900, QImage::Format_RGB32);
    own.fill(QColor(30, 10, 40));
    chosenFile = home.filePath("own.png");
    ASSERT_TRUE(own.save(chosenFile));
    clickInChooser("skin_Custom");
    ASSERT_TRUE(waitFor([&] { return window->BackgroundImagePath() == chosenFile &&
                                     window->BackgroundShown() == CMainWnd::Background::Image; }));
    EXPECT_EQ(iniValue("SKINIMAGE/IMAGE"), chosenFile);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("; ").toStdString();

    // Reset: the default background, FLAGS 0.
    clickInChooser("skin_reset");
    EXPECT_EQ(window->BackgroundShown(), CMainWnd::Background::Default);
    EXPECT_EQ(iniValue("SKINIMAGE/FLAGS"), "0");
    EXPECT_EQ(iniValue("SKINIMAGE/IMAGE"), QLatin1String(ui::kDefaultBackground));
}

TEST_F(SkinTest, AnImageThatCannotBeUsedFallsBackToTheDefaultWithAMessage)
{
    for (const QString kind : {"missing", "text", "huge", "cut"}) {
        SCOPED_TRACE(kind.toStdString());
        // Chosen now: told, the default shown, nothing of it kept.
        messages.clear();
        chosenFile = badImage(kind);
        clickInChooser("skin_Custom");
        ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
        EXPECT_TRUE(messages.first().contains(QFileInfo(chosenFile).fileName())) << messages.first().toStdString();
        EXPECT_EQ(window->BackgroundShown(), CMainWnd::Background::Default);
        EXPECT_EQ(iniValue("SKINIMAGE/FLAGS"), "0");

        // Stored and found unusable at start-up: the window comes up at once with the default,
        // the user is told, and the choice stays stored (the file may come back).
        app::skinsettings::WriteImage(1, chosenFile);
        messages.clear();
        QElapsedTimer started;
        started.start();
        restartWindow();
        window->show();
        ASSERT_TRUE(waitFor([&] { return !messages.isEmpty(); }));
        EXPECT_LT(started.elapsed(), 10000);
        EXPECT_EQ(window->BackgroundShown(), CMainWnd::Background::Default);
        EXPECT_EQ(iniValue("SKINIMAGE/IMAGE"), chosenFile);
    }
}

// The palette window on files of the test's own.
class PaletteTest : public PanelOnSimulatorTest {
protected:
    std::unique_ptr<CColorSelectWnd> openPalette(uint32_t colour = 0xFF102030)
    {
        auto wnd = std::make_unique<CColorSelectWnd>(userFile(), QString(TESSEL_DATA_DIR "/color_option_info.config"));
        wnd->Create(nullptr, QString());
        wnd->SetColor(colour);
        wnd->EnableSevenColor(false);
        wnd->show();
        settleEvents();
        return wnd;
    }
    QString userFile() const { return home.filePath("palette.config"); }
    static QLineEdit* edit(CColorSelectWnd& w, const char* name) { return w.PM().Find<QLineEdit>(QLatin1String(name)); }
};

TEST_F(PaletteTest, ComponentEditsClampEmptyReadsAsZeroAndTheOthersStay)
{
    auto wnd = openPalette(0xFF102030);
    EXPECT_EQ(edit(*wnd, "color_edit_r")->text(), "16");
    EXPECT_EQ(edit(*wnd, "color_edit_g")->text(), "32");
    EXPECT_EQ(edit(*wnd, "color_edit_b")->text(), "48");
    const struct {
        const char* edit;
        const char* typed;
        const char* shown;
        uint32_t colour;
    } cases[] = {
        {"color_edit_g", "300", "255", 0xFF10FF30},
        {"color_edit_b", "", "0", 0xFF10FF00},
        {"color_edit_r", "255", "255", 0xFFFFFF00},
        {"color_edit_r", "7", "7", 0xFF07FF00},
        {"color_edit_b", "999", "255", 0xFF07FFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " <- '" + c.typed + "'");
        QLineEdit* e = edit(*wnd, c.edit);
        e->setFocus();
        e->selectAll();
        if (*c.typed)
            QTest::keyClicks(e, QLatin1String(c.typed));
        else
            QTest::keyClick(e, Qt::Key_Backspace);
        EXPECT_EQ(e->text(), c.shown);
        EXPECT_EQ(wnd->GetColor(), c.colour);
        EXPECT_EQ(CColorSelectWnd::SwatchColour(wnd->PM().FindControl("color_show_btn")), c.colour);
        EXPECT_EQ(wnd->PM().Find<CColorPaletteUI>("Pallet")->SelectedColor(), QColor::fromRgba(c.colour));
    }
    // A letter never reaches the edit; an edit emptied and typed into again takes the new
    // number (its "0" is selected, so typing replaces it).
    QTest::keyClicks(edit(*wnd, "color_edit_r"), "x");
    EXPECT_EQ(edit(*wnd, "color_edit_r")->text(), "7");
    edit(*wnd, "color_edit_r")->setFocus();
    edit(*wnd, "color_edit_r")->selectAll();
    QTest::keyClick(edit(*wnd, "color_edit_r"), Qt::Key_Backspace);
    QTest::keyClicks(edit(*wnd, "color_edit_r"), "120");
    EXPECT_EQ(wnd->GetColor(), 0xFF78FFFFu);
}

TEST_F(PaletteTest, AKeptColourIsSavedAndShownAgainWithNoSlotSelected)
{
    // No user file yet: it is made from the shipped one.
    auto wnd = openPalette();
    EXPECT_TRUE(QFileInfo::exists(userFile()));
    EXPECT_EQ(wnd->KeepSlotIndex(), -1);
    EXPECT_EQ(wnd->PresetIndex(), 4);
    EXPECT_TRUE(wnd->PM().Find<QAbstractButton>("color_option_4")->isChecked());

    // An empty slot, then a preset: the slot keeps the preset's colour.
    QAbstractButton* slot = wnd->PM().Find<QAbstractButton>("collect_color_option_3");
    slot->click();
    EXPECT_EQ(wnd->KeepSlotIndex(), 3);
    QAbstractButton* preset = wnd->PM().Find<QAbstractButton>("color_option_7");
    const uint32_t colour = CColorSelectWnd::SwatchColour(preset);
    preset->click();
    EXPECT_EQ(wnd->GetColor(), colour);
    EXPECT_TRUE(CColorSelectWnd::SlotHoldsColour(slot));
    EXPECT_EQ(CColorSelectWnd::SwatchColour(slot), colour);
    Json::Value doc = CJsonFile::ReadJson(userFile());
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcollectcoloroption"][3]["UserData"].asString(), "1");
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcollectcoloroption"][3]["color"].asString(),
              QStringLiteral("%1").arg(colour, 8, 16, QLatin1Char('0')).toUpper().toStdString());
    EXPECT_EQ(doc["coloroptioninfo"]["palletDialogcoloroption_selectitem"].asInt(), 7);
    // OK gives the preview's colour.
    wnd->PM().Find<QAbstractButton>("okbtn")->click();
    EXPECT_EQ(wnd->GetColor(), colour);
    wnd.reset();

    auto again = openPalette();
    QAbstractButton* kept = again->PM().Find<QAbstractButton>("collect_color_option_3");
    EXPECT_TRUE(CColorSelectWnd::SlotHoldsColour(kept));
    EXPECT_EQ(CColorSelectWnd::SwatchColour(kept), colour);
    EXPECT_EQ(again->KeepSlotIndex(), -1);
    for (int n = 0; n < CColorSelectWnd::kKeepSlots; ++n)
        EXPECT_FALSE(again->PM().Find<QAbstractButton>(QStringLiteral("collect_color_option_%1").arg(n))->isChecked()) << n;
    EXPECT_EQ(again->PresetIndex(), 7);
    // Choosing the kept colour shows it.
    kept->click();
    EXPECT_EQ(CColorSelectWnd::SwatchColour(again->PM().FindControl("color_show_btn")), colour);
    again.reset();

    // A damaged file is kept beside the new one made from the shipped copy.
    writeFile(userFile(), "{ \"coloroptioninfo\": [");
    auto rebuilt = openPalette();
    EXPECT_FALSE(CColorSelectWnd::SlotHoldsColour(rebuilt->PM().FindControl("collect_color_option_3")));
    EXPECT_FALSE(CJsonFile::ReadJson(userFile()).isNull());
    EXPECT_EQ(QDir(home.path()).entryList({"palette.config.damaged*"}).size(), 1);
}

TEST_F(PaletteTest, TheStageColourChosenInThePaletteReachesTheMouse)
{
    CVantikMouseDevice* mouse = qobject_cast<CVantikMouseDevice*>(plugAndShow("mouse", "mouse"));
    ASSERT_NE(mouse, nullptr);
    ASSERT_NE(showLitPage("mouse"), nullptr);
    ASSERT_TRUE(waitFor([&] { return mouse->MouseProfile().GetDpiStages().size() == 5; }));
    ASSERT_TRUE(drained(mouse));
    const auto settings = [&] { return QByteArray::fromHex(QByteArray::fromStdString(sim->dumpHex("mouse", "settings"))); };
    // Stage 1's colour bytes in the settings block: 14 + 9 + 6.
    constexpr int kStage1Red = 14 + 9 + 6;

    bool secondRefused = false;
    int windowsSeen = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        CColorSelectWnd* wnd = window->ColourWindow();
        if (!wnd || !wnd->isVisible())
            return;
        poll.stop();
        ++windowsSeen;
        // One at a time: a second choice while it is open opens nothing.
        secondRefused = !window->ChooseStageColour(0x000000, 2).has_value() && window->ColourWindow() == wnd;
        const std::pair<const char*, const char*> typed[] = {{"color_edit_r", "18"}, {"color_edit_g", "52"}, {"color_edit_b", "86"}};
        for (const auto& [name, text] : typed)
            wnd->PM().Find<QLineEdit>(QLatin1String(name))->setText(QLatin1String(text));
        wnd->PM().Find<QAbstractButton>("okbtn")->click();
    });
    poll.start();
    control<QAbstractButton>(mouse, "DPI_color_option_1")->click();
    poll.stop();
    EXPECT_EQ(windowsSeen, 1);
    EXPECT_TRUE(secondRefused);
    EXPECT_EQ(window->ColourWindow(), nullptr);
    ASSERT_TRUE(waitFor([&] { return settings().mid(kStage1Red, 3) == QByteArray("\x12\x34\x56", 3); }))
        << settings().toHex().toStdString();
    const DpiStage stage = static_cast<CVantikMouseDevice*>(mouse)->MouseProfile().GetDpiStages()[1];
    EXPECT_EQ(std::tuple(stage.red, stage.green, stage.blue), std::tuple(0x12, 0x34, 0x56));

    // Cancelled: nothing changes.
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (CColorSelectWnd* wnd = window->ColourWindow(); wnd && wnd->isVisible()) {
            poll.stop();
            wnd->PM().Find<QLineEdit>("color_edit_r")->setText("200");
            wnd->PM().Find<QAbstractButton>("laterbtn")->click();
        }
    });
    poll.start();
    control<QAbstractButton>(mouse, "DPI_color_option_1")->click();
    poll.stop();
    ASSERT_TRUE(drained(mouse));
    EXPECT_EQ(settings().mid(kStage1Red, 3), QByteArray("\x12\x34\x56", 3));
}

// Pictures of both windows and of the main window on a chosen background, at 96 and 144 DPI in
// English and Chinese, into the folder TESSEL_SKIN_SHOTS names (scripts/skin-screenshots.sh
// runs it under Xvfb); skipped without it.
TEST_F(PaletteTest, Screenshots)
{
    const QString folder = qEnvironmentVariable("TESSEL_SKIN_SHOTS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSEL_SKIN_SHOTS not set";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_NE(plugAndShow("mouse", "mouse"), nullptr);
    for (const int language : {kEnglish, kChinese}) {
        window->ApplyLanguage(language);
        for (const int dpi : {96, 144}) {
            window->ApplyDpi(dpi);
            settleEvents();
            const QString suffix = QStringLiteral("%1_%2dpi.png").arg(language == kEnglish ? "en" : "zh").arg(dpi);
            SkinChangedParam image;
            image.bgimage = "skin/bg_hex.png";
            ui::SkinChangeObserver().Broadcast(image);
            ASSERT_TRUE(waitFor([&] { return window->BackgroundShown() == CMainWnd::Background::Image; }));
            CSkinFrame* frame = window->OpenSkinFrame();
            ASSERT_NE(frame, nullptr);
            for (const char* page : {"skin_image", "skin_color"}) {
                frame->PM().Find<QAbstractButton>(QLatin1String(page))->click();
                settleEvents();
                QTest::qWait(100);
                EXPECT_TRUE(frame->grab().save(QStringLiteral("%1/chooser_%2_%3").arg(folder, QLatin1String(page + 5), suffix)));
            }
            EXPECT_TRUE(window->grab().save(QStringLiteral("%1/main_background_%2").arg(folder, suffix)));
            frame->Close(0);
            auto wnd = openPalette(0xFF2DE2E6);
            wnd->SetWindowDpi(dpi);
            wnd->PM().Find<QAbstractButton>("collect_color_option_0")->click();
            wnd->PM().Find<QAbstractButton>("color_option_9")->click();
            settleEvents();
            QTest::qWait(100);
            EXPECT_TRUE(wnd->grab().save(QStringLiteral("%1/palette_%2").arg(folder, suffix)));
        }
    }
}

}  // namespace
