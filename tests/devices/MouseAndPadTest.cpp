#include "app/Application.h"
#include "tests/support/WindowOnSimulator.h"
#include "app/CMainWnd.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikMouseDevice.h"
#include "devices/CVantikMousePadDevice.h"
#include "profiles/DataPaths.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/Language.h"

#include <memory>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

// The mouse and the pad end to end: the simulator runs as its own process (with its command
// trace on), the real main window finds the devices through the HID layer, and what the page
// writes is read back from the simulator's memory. Every wait is for a state, bounded only to
// turn a hang into a failure.
namespace {

constexpr int kWaitMs = 15000;

class TracedSimulator {
public:
    explicit TracedSimulator(const QString& dir) : m_dir(dir)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSEL_DEBUG", "1");
        m_process.setProcessEnvironment(env);
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { m_trace += QString::fromUtf8(m_process.readAllStandardError()); });
        m_process.start(TESSEL_DEVSIM, {"serve", "--dir", dir});
        m_process.waitForStarted(10000);
        m_ready = QTest::qWaitFor([&] { return QFileInfo::exists(dir + "/control"); }, kWaitMs);
    }
    ~TracedSimulator()
    {
        run({"shutdown"});
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    QJsonObject call(const QStringList& args)
    {
        QProcess cli;
        cli.start(TESSEL_DEVSIM, QStringList{"--dir", m_dir} + args);
        cli.waitForFinished(10000);
        return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    }
    bool run(const QStringList& args) { return call(args).value("ok").toBool(); }
    // The device memory as bytes.
    QByteArray dump(const QString& device, const QString& region)
    {
        return QByteArray::fromHex(call({"dump", device, region}).value("hex").toString().toLatin1());
    }
    // The traced commands of a device route since the last call, as "cmd length offset".
    QStringList takeCommands(const QString& deviceRoute)
    {
        m_process.waitForReadyRead(50);
        m_trace += QString::fromUtf8(m_process.readAllStandardError());
        QStringList out;
        const QString tag = "tessel-devsim: " + deviceRoute + " command ";
        for (const QString& line : m_trace.split('\n')) {
            if (!line.startsWith(tag))
                continue;
            const QStringList f = line.mid(tag.size()).split(' ');
            if (f.size() >= 5)
                out << f[0] + " " + f[2] + " " + f[4];
        }
        m_trace.clear();
        return out;
    }
    bool ready() const { return m_ready; }

private:
    QString m_dir;
    QProcess m_process;
    QString m_trace;
    bool m_ready = false;
};

class MouseAndPadTest : public testsupport::WindowOnSimulatorTest<TracedSimulator> {
protected:
    template <class T>
    T* device(const QString& kind) const
    {
        for (CVantikUSBDevice* d : hub->AllDevices())
            if (d->FolderName() == kind)
                return qobject_cast<T*>(d);
        return nullptr;
    }
    // Plugs the mouse and waits until its page is filled from the device.
    CVantikMouseDevice* plugMouse(const QString& route)
    {
        EXPECT_TRUE(sim->run({"plug", "mouse", "--route", route}));
        CVantikMouseDevice* mouse = nullptr;
        EXPECT_TRUE(waitFor([&] {
            mouse = device<CVantikMouseDevice>("mouse");
            return mouse && mouse->Transport().isReady() && mouse->Tab() && !mouse->Tab()->isHidden() &&
                   mouse->Sensor().step != 0 && hub->CurrentDevice() == mouse;
        }));
        return mouse;
    }
    template <class T = QWidget>
    T* control(CVantikUSBDevice* d, const QString& name) const
    {
        return d->findChild<T*>(name);
    }
    bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, kWaitMs); }
    QString text(const char* id) const { return ui::Language::instance().Text(QLatin1String(id)); }

    // The block the mouse should hold after connection and the changes `edit` makes, written
    // out from the shipped profile and the simulator's factory settings by hand.
    static QByteArray expectedMouseBlock(const std::function<void(QByteArray&)>& edit)
    {
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size() *
                             QGuiApplication::primaryScreen()->devicePixelRatio();
        QByteArray b(66, 0);
        // Lighting as the mouse reported it (mode 1, brightness 4, speed byte 2, colourful, red),
        // direction from the profile; polling rate 3; the mouse's current stage 1.
        const uint8_t head[] = {0, 1, 4, 2, 0, 1, 255, 0, 0, 0, 0, 3, 1, 0};
        for (size_t i = 0; i < sizeof head; ++i)
            b[int(i)] = char(head[i]);
        const uint8_t stages[5][9] = {{1, 0, 4, 0, 4, 0, 255, 0, 0},  {1, 0, 9, 0, 9, 0, 0, 255, 0},
                                      {1, 0, 14, 0, 14, 0, 0, 0, 255}, {1, 0, 24, 0, 24, 0, 255, 255, 0},
                                      {1, 0, 49, 0, 49, 0, 255, 0, 255}};
        for (int s = 0; s < 5; ++s)
            for (int i = 0; i < 9; ++i)
                b[14 + 9 * s + i] = char(stages[s][i]);
        b[59] = 1;
        b[60] = char(screen.width() & 0xFF), b[61] = char(screen.width() >> 8);
        b[62] = char(screen.height() & 0xFF), b[63] = char(screen.height() >> 8);
        edit(b);
        return b;
    }
};

}  // namespace

TEST_F(MouseAndPadTest, CabledMouseButtonsAndEveryPageChangeWritesTheExactBlock)
{
    CVantikMouseDevice* mouse = plugMouse("cable");
    ASSERT_NE(mouse, nullptr);
    // The mouse keeps its buttons in its own slot order (the DPI buttons after the fire button).
    const std::array<int, 11> expectedSlots = {0, 1, 2, 3, 4, 6, 7, 8, 5, 9, 10};
    EXPECT_EQ(mouse->ButtonSlots(), expectedSlots);
    // The marker shows the mouse's current stage, the field its DPI.
    ASSERT_TRUE(waitFor([&] { return control<QAbstractButton>(mouse, "DPI_select_check_1")->isChecked(); }));
    EXPECT_EQ(control<QLineEdit>(mouse, "DPI_edit_4")->text(), "5200");
    EXPECT_EQ(control<QAbstractSlider>(mouse, "DPI_slider_0")->maximum(), 100);

    // Every control a user can reach on the page has a name in the current language.
    for (QWidget* w : mouse->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(mouse) || w->objectName().startsWith("qt_"))
            continue;
        const QString name = w->accessibleName();
        EXPECT_FALSE(name.isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(ui::Language::instance().Has(name)) << "an id, not a text: " << name.toStdString();
    }

    auto settings = [&] { return sim->dump("mouse", "settings").left(71); };
    const QByteArray before = settings();

    // A slider released at index 30.
    auto* slider = control<QAbstractSlider>(mouse, "DPI_slider_2");
    slider->setValue(30);
    QByteArray expected = expectedMouseBlock([](QByteArray& b) { b[14 + 18 + 2] = b[14 + 18 + 4] = 30; });
    EXPECT_TRUE(waitFor([&] { return settings().left(66) == expected; })) << settings().toHex().toStdString();
    EXPECT_EQ(settings().mid(66), before.mid(66)) << "bytes the host only reads stay";
    EXPECT_EQ(control<QLineEdit>(mouse, "DPI_edit_2")->text(), "3200");

    // A typed DPI above 5000: the field keeps the value the index shows.
    auto* edit = control<QLineEdit>(mouse, "DPI_edit_3");
    edit->setText("5300");
    emit edit->returnPressed();
    expected[14 + 27 + 2] = expected[14 + 27 + 4] = 49;
    EXPECT_TRUE(waitFor([&] { return settings().left(66) == expected; })) << settings().toHex().toStdString();
    EXPECT_EQ(edit->text(), "5200");

    // Polling rate, the current stage and a stage colour.
    control<QAbstractButton>(mouse, "polling_rate_option_1")->click();
    expected[11] = 1;
    EXPECT_TRUE(waitFor([&] { return settings().left(66) == expected; })) << settings().toHex().toStdString();
    control<QAbstractButton>(mouse, "DPI_select_check_4")->click();
    expected[12] = 4;
    EXPECT_TRUE(waitFor([&] { return settings().left(66) == expected; })) << settings().toHex().toStdString();
    EXPECT_FALSE(control<QAbstractButton>(mouse, "DPI_enable_check_4")->isEnabled()) << "the current stage stays on";
    // The palette window is modal: it is answered from a timer while it runs.
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        CColorSelectWnd* palette = window->ColourWindow();
        if (!palette || !palette->isVisible())
            return;
        answer.stop();
        palette->SetColor(0xFF123456);
        palette->PM().Find<QAbstractButton>("okbtn")->click();
    });
    answer.start();
    control<QAbstractButton>(mouse, "DPI_color_option_0")->click();
    EXPECT_FALSE(answer.isActive()) << "no palette window";
    answer.stop();
    expected[20] = 0x12, expected[21] = 0x34, expected[22] = 0x56;
    EXPECT_TRUE(waitFor([&] { return settings().left(66) == expected; })) << settings().toHex().toStdString();

    // Lighting from the profile: static blue, slowest.
    LightInfo light = mouse->MouseProfile().GetLightInfo();
    light.mode = 3, light.speed = 0, light.multicolour = 0, light.red = 0, light.green = 0, light.blue = 200;
    mouse->MouseProfile().SetLightInfo(light);
    EXPECT_EQ(mouse->WriteSettings(0), 1);
    expected[1] = 3, expected[3] = 4, expected[5] = 0, expected[6] = 0, expected[8] = char(200);
    EXPECT_EQ(settings().left(66), expected);

    // The pointer values stay in the profile: nothing goes to the mouse.
    control<QAbstractSlider>(mouse, "pointer_speed_slider")->setValue(15);
    control<QAbstractButton>(mouse, "scrolls_page_check")->click();
    EXPECT_EQ(mouse->MouseProfile().GetSystemStages().mouseSpeed, 15);
    EXPECT_EQ(mouse->MouseProfile().GetSystemStages().scrollPage, 1);
    EXPECT_EQ(settings().left(66), expected);
}

TEST_F(MouseAndPadTest, ReceiverChecksTheLinkBeforeEveryCommandAndSaysWhenTheMouseIsOff)
{
    CVantikMouseDevice* mouse = plugMouse("receiver");
    ASSERT_NE(mouse, nullptr);
    EXPECT_TRUE(mouse->Transport().isWireless());
    const std::array<int, 11> expectedSlots = {0, 1, 2, 3, 4, 6, 7, 8, 5, 9, 10};
    EXPECT_EQ(mouse->ButtonSlots(), expectedSlots);

    sim->takeCommands("mouse/receiver");
    control<QAbstractButton>(mouse, "polling_rate_option_0")->click();
    ASSERT_TRUE(waitFor([&] { return sim->dump("mouse", "settings")[11] == 0; }));
    // Behind the receiver the block goes in 24-byte chunks; each command of the group comes
    // after a link check.
    const QStringList commands = sim->takeCommands("mouse/receiver");
    const QStringList group = {"aa 0 0", "01 0 0", "aa 0 0", "06 24 0", "06 24 24", "06 18 48", "aa 0 0", "02 0 0"};
    const auto at = std::search(commands.begin(), commands.end(), group.begin(), group.end());
    EXPECT_NE(at, commands.end()) << commands.join(", ").toStdString();

    // Switched off: nothing is written, the call returns at once and the page says why.
    ASSERT_TRUE(sim->run({"power", "mouse", "off"}));
    const QByteArray before = sim->dump("mouse", "settings");
    sim->takeCommands("mouse/receiver");
    EXPECT_EQ(mouse->WriteSettings(0), 0);
    EXPECT_EQ(mouse->WriteShootData(std::vector<uint8_t>(16, 0)), 0);
    for (const QString& c : sim->takeCommands("mouse/receiver"))
        EXPECT_TRUE(c.startsWith("aa") || c.startsWith("1a")) << c.toStdString();
    EXPECT_EQ(sim->dump("mouse", "settings"), before);
    EXPECT_EQ(control<QLabel>(mouse, "device_info_status")->text(), text("mouse_status_out_of_reach"));

    ASSERT_TRUE(sim->run({"power", "mouse", "on"}));
    EXPECT_TRUE(waitFor([&] { return mouse->WriteSettings(0) == 1; }));
    EXPECT_NE(control<QLabel>(mouse, "device_info_status")->text(), text("mouse_status_out_of_reach"));
}

TEST_F(MouseAndPadTest, StageChangedOnTheMouseMovesTheMarkerAndBatteryReachesThePowerPanel)
{
    CVantikMouseDevice* mouse = plugMouse("receiver");
    ASSERT_NE(mouse, nullptr);
    ASSERT_TRUE(waitFor([&] { return control<QAbstractButton>(mouse, "DPI_select_check_1")->isChecked(); }));
    // The connection ends with the mouse taking the profile; the stage is changed on the mouse
    // after that.
    auto connected = std::make_shared<bool>(false);
    mouse->Io().AfterQueued([connected] { *connected = true; });
    ASSERT_TRUE(waitFor([&] { return *connected; }));

    ASSERT_TRUE(sim->run({"poke", "mouse", "settings", "12", "03", "--announce"}));
    EXPECT_TRUE(waitFor([&] { return control<QAbstractButton>(mouse, "DPI_select_check_3")->isChecked(); }));
    EXPECT_FALSE(control<QAbstractButton>(mouse, "DPI_select_check_1")->isChecked());
    EXPECT_EQ(mouse->MouseProfile().GetActiveStage(), 3);
    EXPECT_TRUE(control<QAbstractSlider>(mouse, "DPI_slider_3")->property("activeStage").toBool());

    ASSERT_TRUE(sim->run({"status", "mouse", "battery", "40", "charging", "1"}));
    auto* value = mouse->PowerPanel()->findChild<QLabel*>("device_power_value");
    ASSERT_NE(value, nullptr);
    EXPECT_TRUE(waitFor([&] { return value->text() == "40%"; }));
    EXPECT_TRUE(mouse->PowerPanel()->findChild<QWidget*>("device_wuxian_logo")->isVisibleTo(mouse->PowerPanel()));
}

TEST_F(MouseAndPadTest, PadWritesItsLightingKeepsItsOwnBytesAndShowsThePhone)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    CVantikMousePadDevice* pad = nullptr;
    ASSERT_TRUE(waitFor([&] {
        pad = device<CVantikMousePadDevice>("MousePad");
        return pad && pad->Transport().isReady() && !pad->Profile().GetProfilePath().isEmpty() &&
               !pad->LastStatus().empty();
    }));
    LightInfo light = pad->Profile().GetLightInfo();
    light.mode = 7, light.brightness = 3, light.speed = 4, light.multicolour = 0;
    light.red = 1, light.green = 2, light.blue = 3;
    pad->Profile().SetLightInfo(light);
    ASSERT_EQ(pad->WriteSettings(0), 1);
    // Mode 7, brightness 3, speed byte 0, the pad's direction, one colour; bytes 9 to 20 are
    // the pad's own and go back as it reported them.
    const QByteArray memory = sim->dump("pad", "settings");
    EXPECT_EQ(memory.left(9).toHex(), QByteArray::fromHex("000703000000010203").toHex());
    for (int i = 9; i <= 20; ++i)
        EXPECT_EQ(uint8_t(memory[i]), 0x10 + i) << "byte " << i;

    // A phone laid on the charger, announced by the pad.
    ASSERT_TRUE(sim->run({"status", "pad", "charging", "1", "phone", "2"}));
    ASSERT_TRUE(sim->run({"event", "pad", "0x401"}));
    auto* phone = pad->PowerPanel()->findChild<QLabel*>("device_phone_type");
    ASSERT_NE(phone, nullptr);
    EXPECT_TRUE(waitFor([&] { return phone->text() == text("Phone_type_samsung"); }));
    ASSERT_TRUE(sim->run({"status", "pad", "battery", "35", "phone", "7"}));
    ASSERT_TRUE(sim->run({"event", "pad", "0x401"}));
    auto* value = pad->PowerPanel()->findChild<QLabel*>("device_power_value");
    EXPECT_TRUE(waitFor([&] { return value->text() == "35%" && phone->text() == text("Phone_type_no_device"); }));
    // The announcement also brought back the pad's lighting unchanged.
    EXPECT_EQ(pad->Profile().GetLightInfo().mode, 7);
}

TEST_F(MouseAndPadTest, PadPlaysTheCustomEffectFileItsLightConfigurationNames)
{
    ASSERT_TRUE(sim->run({"plug", "pad"}));
    CVantikMousePadDevice* pad = nullptr;
    ASSERT_TRUE(waitFor([&] {
        pad = device<CVantikMousePadDevice>("MousePad");
        return pad && pad->Transport().isReady() && !pad->Profile().GetProfilePath().isEmpty();
    }));
    // The user's light configuration names an effect file at the pad's mode 5 (the pad's row is
    // the third); the file holds one static green step.
    const QString config = paths::lightConfigFile(pad->FolderName());
    auto write = [](const QString& file, const QByteArray& text) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(config, R"({"LightInfo": [[], [],
        [{"Guid": ""}, {"Guid": ""}, {"Guid": ""}, {"Guid": ""}, {"Guid": ""},
         {"LightName": "mine", "Guid": "padfx"}]]})");
    write(QFileInfo(config).absolutePath() + "/padfx.light",
          R"({"LEDEffectList": [{"LEDREGMode": 1, "LEDBrightness": 4, "LEDSpeed": 4, "green": 200, "Time": 100000}]})");

    LightInfo light = pad->Profile().GetLightInfo();
    light.mode = 5;
    pad->Profile().SetLightInfo(light);
    pad->ApplyLightSettings();
    const std::vector<LedColour> green(pad->LedCount(), LedColour{0, 200, 0, 255});
    EXPECT_TRUE(waitFor([&] { return pad->LedColours() == green; }));
}
