// The audio style window in the real main window: opened by "music_setting_btn", one
// at a time, its edits kept by OK (and written to the user's AudioFile.json), dropped by the
// close button; the rules for an emptied name.

#include "app/MusicWnd.h"
#include "lightrecord/RecorderProtocol.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/WindowOnSimulator.h"
#include "ui/CAudioRecordUI.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

namespace {

class MusicWindowTest : public testsupport::WindowOnSimulatorTest<testsupport::SimulatorProcess> {
protected:
    void SetUp() override
    {
        // A runtime folder of its own: the window's capture program stays out of other tests' way.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        qputenv("TESSEL_LIGHTRECORD_SCREEN", "0");
        WindowOnSimulatorTest::SetUp();
    }
    void TearDown() override
    {
        WindowOnSimulatorTest::TearDown();
        QTest::qWaitFor([] { return !lightrecord::RecorderRunning(); }, 5000);
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qunsetenv("TESSEL_LIGHTRECORD_SCREEN");
    }
    // Opens the window, runs `edit` on it once it shows, and returns when it has closed.
    void Open(const std::function<void(MusicWnd&)>& edit)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->MusicWindow() && window->MusicWindow()->isVisible(); }, 5000));
            edit(*window->MusicWindow());
            ran = true;
        });
        window->OpenMusicWindow();
        EXPECT_TRUE(ran);
    }
    static void Click(MusicWnd& w, const QString& name)
    {
        auto* b = w.PM().Find<QAbstractButton>(name);
        ASSERT_NE(b, nullptr) << name.toStdString();
        b->click();
    }
    static void Rename(MusicWnd& w, int n, const QString& text)
    {
        auto* e = w.PM().Find<QLineEdit>(QStringLiteral("audio_edit_name%1").arg(n));
        ASSERT_NE(e, nullptr);
        e->setFocus();
        e->setText(text);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(e, &out);
    }
    QString UserFile() const { return QDir(paths::userDataFolder()).filePath("AudioFile.json"); }

    QTemporaryDir runtime;
    QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
};

}  // namespace

TEST_F(MusicWindowTest, OkKeepsAndSavesTheEditsCloseDropsThem)
{
    const app::AudioStyles before = window->AudioStyles();
    EXPECT_EQ(before.names[2], QString::fromUtf8("第三组"));

    Open([&](MusicWnd& w) {
        EXPECT_EQ(w.size(), QSize(369, 276));
        EXPECT_EQ(w.PM().Find<QSlider>("audio_r_slider")->maximum(), 9);
        // A second open does nothing while this one shows.
        window->OpenMusicWindow();
        Click(w, "audio_select_tab3");
        w.PM().Find<QSlider>("audio_g_slider")->setValue(0);
        w.PM().Find<QSlider>("audio_b_slider")->setValue(7);
        Rename(w, 3, "");
        EXPECT_EQ(w.PM().Find<QLineEdit>("audio_edit_name3")->text(), QString::fromUtf8("第三组"))
            << "an emptied name shows its default";
        Rename(w, 1, "Bass");
        Click(w, "okbtn");
    });
    const app::AudioStyles after = window->AudioStyles();
    EXPECT_EQ(after.current, 2);
    EXPECT_EQ(after.colours[2][1], 0);
    EXPECT_EQ(after.colours[2][2], 7);
    EXPECT_EQ(after.names[0], QStringLiteral("Bass"));
    EXPECT_EQ(after.names[2], QString::fromUtf8("第三组"));
    const Json::Value saved = CJsonFile::ReadJson(UserFile());
    ASSERT_TRUE(app::audiofile::HoldsStyles(saved)) << "saved with its \"Device\" wrapper";
    EXPECT_EQ(app::AudioStyles::Load(saved["Device"]), after);

    Open([&](MusicWnd& w) {
        Click(w, "audio_select_tab1");
        w.PM().Find<QSlider>("audio_r_slider")->setValue(1);
        Rename(w, 2, "Treble");
        Click(w, "closebtn");
    });
    EXPECT_EQ(window->AudioStyles(), after);
    EXPECT_EQ(app::AudioStyles::Load(CJsonFile::ReadJson(UserFile())["Device"]), after);
}

TEST_F(MusicWindowTest, TheMusicSettingButtonOpensIt)
{
    // The skin places the button; a stand-in of that name raises the same click.
    QPushButton button(window.get());
    button.setObjectName("music_setting_btn");
    bool opened = false;
    QTimer::singleShot(0, [&] {
        opened = QTest::qWaitFor([&] { return window->MusicWindow() != nullptr; }, 5000);
        if (window->MusicWindow())
            window->MusicWindow()->Close(0);
    });
    TNotifyUI msg{QString::fromLatin1(ui::kNotifyClick), &button, 0, 0};
    window->Notify(msg);
    EXPECT_TRUE(opened);
}

// The spectrum view: a bar every 2 pixels, value x height / 8192 high from the bottom; frames
// reach only the views on screen.
TEST(AudioRecordView, DrawsBarsToScaleAndTakesFramesWhenShown)
{
    ui::CAudioRecordUI shown, hidden;
    shown.setStyleSheet("background: white");
    shown.resize(100, 80);
    shown.show();
    int32_t frame[3] = {8192, 0, 4096};
    ui::CAudioRecordUI::Feed(frame, 3);
    EXPECT_EQ(shown.Values()[2], 4096);
    EXPECT_EQ(hidden.Values()[2], 2) << "a hidden view keeps its own values";
    const QImage img = shown.grab().toImage();
    auto black = [&](int x, int y) { return img.pixelColor(x, y) == QColor(Qt::black); };
    EXPECT_TRUE(black(0, 0) && black(0, 79)) << "full scale fills the height";
    EXPECT_TRUE(black(4, 79) && black(4, 41) && !black(4, 38)) << "half scale, half the height";
    EXPECT_FALSE(black(2, 79)) << "zero draws nothing";
    EXPECT_FALSE(black(1, 79)) << "bars stand 2 pixels apart";
}
