#include "devices/CVantikHS6533Device.h"
#include "ui/ControlFactory.h"
#include "ui/CustomControls.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikMouseDevice.h"
#include "devices/CVantikMousePadDevice.h"
#include "app/Application.h"

#include "editors/KeyEditorClasses.h"
#include "editors/ProfileEditorClasses.h"

#include "app/CMainWnd.h"
#include "app/CMsgWnd.h"
#include "app/CommandLine.h"
#include "ui/CAudioRecordUI.h"
#include "editors/CMagicControlUI.h"
#include "editors/CVoice6533ControlUI.h"
#include "app/PrivateFontLoader.h"
#include "app/RegisteredMessages.h"
#include "app/SingleInstance.h"
#include "app/SkinResources.h"
#include "hid/DebugLog.h"
#include "profiles/DataPaths.h"
#include "ui/CCircleProgressUI.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/ControlFactory.h"
#include "ui/PaintManager.h"

#include <QApplication>
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QFont>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end Tessel as "exit" in the tray menu does, so the worker threads stop
// cleanly and the exit code stays 0.
void routeTerminationSignals(CMainWnd* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        window->Exit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// Clicks the shown buttons named in TESSEL_SCREENSHOT_CLICK (comma-separated, in order), so a
// picture can show a page's other tabs ("device_tab_light"); "name=N" chooses item N of the
// shown combo box of that name instead ("light_combo_modeSelect=29").
void clickForScreenshot(CMainWnd* window)
{
    for (const QString& entry : qEnvironmentVariable("TESSEL_SCREENSHOT_CLICK").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char('='), 0, 0).trimmed();
        if (entry.contains(QLatin1Char('='))) {
            for (auto* combo : window->findChildren<QComboBox*>(name)) {
                if (combo->isVisible()) {
                    combo->setCurrentIndex(entry.section(QLatin1Char('='), 1).toInt());
                    break;
                }
            }
            QCoreApplication::processEvents();
            continue;
        }
        for (auto* button : window->findChildren<QAbstractButton*>(name)) {
            if (button->isVisible()) {
                button->click();
                break;
            }
        }
        QCoreApplication::processEvents();
    }
}

// TESSEL_SCREENSHOT=<png>: once the window is first shown and laid out, save a picture of it;
// TESSEL_EXIT_AFTER_SCREENSHOT=1 then ends Tessel; TESSEL_SCREENSHOT_DELAY_MS waits longer.
void armScreenshot(CMainWnd* window)
{
    const QString path = qEnvironmentVariable("TESSEL_SCREENSHOT");
    if (path.isEmpty())
        return;
    QObject::connect(window, &CMainWnd::firstShown, window, [window, path] {
        // The DPI set-up runs 100 ms after initialisation; shoot after it has settled (or later,
        // TESSEL_SCREENSHOT_DELAY_MS, so devices behind a receiver have answered).
        bool ok = false;
        const int delay = qEnvironmentVariableIntValue("TESSEL_SCREENSHOT_DELAY_MS", &ok);
        QTimer::singleShot(ok && delay > 0 ? delay : 800, window, [window, path] {
            clickForScreenshot(window);
            const QPixmap shot = window->grab();
            if (shot.save(path, "PNG"))
                std::printf("Screenshot saved to %s\n", qPrintable(QDir::toNativeSeparators(path)));
            else
                std::fprintf(stderr, "Screenshot could not be saved to %s\n", qPrintable(path));
            std::fflush(stdout);
            if (qEnvironmentVariable("TESSEL_EXIT_AFTER_SCREENSHOT") == QLatin1String("1"))
                window->Exit();
        });
    });
}

int runWithFonts(std::array<PrivateFontLoader, 4>& fonts)
{
    // Only the Latin display face is loaded at start-up: a script's face (Chinese, Thai) comes
    // with the language that needs it, from the system where it has it (LanguageFonts).
    if (!fonts[1].Load(QLatin1String(kFontFiles[1])))
        qCDebug(tesselDebug) << "font not loaded:" << kFontFiles[1];
    InstallFontSubstitutes({});

    RegisteredMessages::RegisterAll();
    const uint32_t instanceMessage = RegisteredMessages::Register(msg::kInstance);
    qCDebug(tesselDebug) << "软件标示：" << instanceMessage;
    if (instanceMessage < RegisteredMessages::kFirstId || instanceMessage > RegisteredMessages::kLastId)
        return 0;

    SingleInstance instance;
    if (!instance.Acquire()) {
        // Another Tessel runs: it restores and raises its window (also one running in the
        // background, which opens its window for it); this one ends. A start in the tray or in
        // the background (the session's autostart, a service) leaves the running one as it is.
        if (!StartsWithoutWindow())
            instance.Notify(msg::kInstance, 0, 1);
        return 0;
    }

    SetUpSkin(paths::dataFolder() + "/skin", StartupDpi());
    RegisterControlClasses();

    auto* window = new CMainWnd();
    QObject::connect(&instance, &SingleInstance::messageReceived, window,
                     [window](uint32_t message, intptr_t w, intptr_t l) { window->PostMessage(message, w, l); });
    routeTerminationSignals(window);
    armScreenshot(window);
    window->Create(nullptr, QString::fromLatin1(msg::kInstance));
    // The instance name stays the window's class and message name; the taskbar and the window
    // switcher show the product's name.
    window->setWindowTitle(QStringLiteral("Tessel"));
    window->CenterWindow();

    QApplication::exec();
    window->Shutdown();
    delete window;
    return 0;
}

}  // namespace

namespace {
int g_styleDpi = 0;
}  // namespace

namespace {

// The dark palette of the skin, for what the style sheet does not reach: the dialogs Qt draws
// itself (message boxes, the colour and file dialogs) and the controls that paint from the
// palette. Text colours keep well above 4.5:1 against the surfaces they are drawn on.
QPalette DarkPalette()
{
    QPalette p;
    const QColor window(0x15, 0x1a, 0x21), base(0x0f, 0x12, 0x17), text(0xe8, 0xed, 0xf5),
        label(0xd6, 0xdd, 0xe8), button(0x1b, 0x21, 0x2a), muted(0x8a, 0x95, 0xa5),
        accent(0x1f, 0x5f, 0x66);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, label);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, label);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x1c, 0x22, 0x2c));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, muted);
    p.setColor(QPalette::Link, QColor(0x2d, 0xe2, 0xe6));
    p.setColor(QPalette::Light, QColor(0x3a, 0x45, 0x56));
    p.setColor(QPalette::Midlight, QColor(0x2b, 0x34, 0x42));
    p.setColor(QPalette::Mid, QColor(0x23, 0x2a, 0x35));
    p.setColor(QPalette::Dark, QColor(0x0b, 0x0d, 0x11));
    p.setColor(QPalette::Shadow, Qt::black);
    const QColor disabled(0x5f, 0x6b, 0x7c);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    return p;
}

}  // namespace

bool SetUpSkin(const QString& skinFolder, int dpi)
{
    if (qApp)
        QApplication::setPalette(DarkPalette());
    ui::PaintManager::SetResourcePath(skinFolder);
    const bool indexed = SkinResources::Instance().Load(skinFolder);
    g_styleDpi = 0;
    ApplyStyleSheet(dpi);
    return indexed;
}

int StartupDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? CMainWnd::ValidDpi(CMainWnd::ChooseDpi(screen->geometry().size()), "MAIN_WND DPI SET ERROR") : 96;
}

QString ScaleStyleSheet(const QString& sheet, int dpi)
{
    if (dpi == 96 || dpi <= 0)
        return sheet;
    static const QRegularExpression length(QStringLiteral(R"((?<![\w#./-])(\d+(?:\.\d+)?)px)"));
    QString out;
    qsizetype last = 0;
    auto it = length.globalMatch(sheet);
    while (it.hasNext()) {
        const auto m = it.next();
        const double value = m.captured(1).toDouble();
        int scaled = qRound(value * dpi / 96.0);
        if (value > 0 && scaled < 1)
            scaled = 1;
        out += QStringView(sheet).mid(last, m.capturedStart() - last);
        out += QString::number(scaled) + QLatin1String("px");
        last = m.capturedEnd();
    }
    out += QStringView(sheet).mid(last);
    return out;
}

bool ApplyStyleSheet(int dpi)
{
    if (!qApp)
        return false;
    if (dpi == g_styleDpi)
        return true;
    const QString folder = ui::PaintManager::GetResourcePath();
    QFile sheet(QDir(folder).filePath("style.qss"));
    if (!sheet.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QString text = QString::fromUtf8(sheet.readAll());
    text.replace(QLatin1String("@SKIN@"), QDir(folder).absolutePath());
    qApp->setStyleSheet(ScaleStyleSheet(text, dpi));
    g_styleDpi = dpi;
    return true;
}

void RegisterControlClasses()
{
    // The 24 classes register here in their fixed order, each as its layer brings it:
    // CCircleProgressUI, CChartViewUI, CWndUI, CSelectPanelUI, CDeviceKeyButtonUI,
    // CCloudShareListItemUI, CUpdateInfoListItemUI, CDeviceOptionUI, CMpDevicePowerUI,
    // CComboEditContainerElementUI, CHandImgButtonUI, CHandImgSelectButtonUI,
    // CRedioMacroButtonUI, CAudioRecordUI, CLightControlUI, CMacroControlUI, CKeySetControlUI,
    // CDeviceProfileUI, CShootControlUI, CMagicControlUI, CVoice6533ControlUI, CVantikUSBDevice,
    // CVantikMousePadDevice, CVantikHS6533Device.
    ui::ControlFactory& factory = ui::ControlFactory::instance();
    factory.RegistControl(QStringLiteral("CCircleProgressUI"),
                          [](QWidget* parent) { return new ui::CCircleProgressUI(parent); });
    factory.RegistControl(QStringLiteral("CAudioRecordUI"),
                          [](QWidget* parent) { return new ui::CAudioRecordUI(parent); });
    factory.RegistControl(QStringLiteral("CSelectPanelUI"),
                          [](QWidget* parent) { return new ui::CSelectPanelUI(parent); });
    factory.RegistControl(QStringLiteral("CDeviceKeyButtonUI"),
                          [](QWidget* parent) { return new ui::CDeviceKeyButtonUI(parent); });
    factory.RegistControl(QStringLiteral("CDeviceOptionUI"),
                          [](QWidget* parent) { return new ui::CDeviceOptionUI(parent); });
    factory.RegistControl(QStringLiteral("CMpDevicePowerUI"),
                          [](QWidget* parent) { return new ui::CMpDevicePowerUI(parent); });
    ui::RegisterCustomControls(factory);
    // The tab and the power panel are the roots of their own layout files, which name them by
    // their skin class names; no window maps those, so the factory knows them by both.
    factory.RegistControl(QLatin1String(ui::CDeviceOptionUI::kClassName),
                          [](QWidget* parent) { return new ui::CDeviceOptionUI(parent); });
    factory.RegistControl(QLatin1String(ui::CMpDevicePowerUI::kClassName),
                          [](QWidget* parent) { return new ui::CMpDevicePowerUI(parent); });
    // The headset's sound panels, by class and by skin name (their page can be built alone).
    for (const char* name : {"CMagicControlUI", CMagicControlUI::kClassName})
        factory.RegistControl(QLatin1String(name), [](QWidget* parent) { return new CMagicControlUI(parent); });
    for (const char* name : {"CVoice6533ControlUI", CVoice6533ControlUI::kClassName})
        factory.RegistControl(QLatin1String(name), [](QWidget* parent) { return new CVoice6533ControlUI(parent); });
    CVantikHS6533Device::SetMessageHandler([](QWidget* parent, const QString& text, bool isTextId) {
        const ui::PaintManager* pm = parent ? ui::PaintManager::ForControl(parent) : nullptr;
        CMsgWnd::ShowMessage(parent, QString(), text, pm ? pm->GetDPI() : 96, isTextId, CMsgWnd::ConfirmOnly);
    });
    CVantikHS6533Device::SetConfirmHandler([](QWidget* parent, const QString& text) {
        const ui::PaintManager* pm = parent ? ui::PaintManager::ForControl(parent) : nullptr;
        return CMsgWnd::ShowMessage(parent, QString(), text, pm ? pm->GetDPI() : 96, false, CMsgWnd::ConfirmAndCancel) == 1;
    });
    RegisterDeviceClasses();
    editors::RegisterProfileEditorClasses();
    editors::RegisterKeyEditorClasses();
}

void RegisterDeviceClasses()
{
    // The device pages' root classes: each page is built as its device object.
    auto& factory = ui::ControlFactory::instance();
    factory.RegistControl(QStringLiteral("CVantikMouseDevice"), [](QWidget* p) { return new CVantikMouseDevice(p); });
    factory.RegistControl(QStringLiteral("CVantikKeyboardDevice"), [](QWidget* p) { return new CVantikKeyboardDevice(p); });
    factory.RegistControl(QStringLiteral("CVantikMousePadDevice"), [](QWidget* p) { return new CVantikMousePadDevice(p); });
    factory.RegistControl(QStringLiteral("CVantikHS6533Device"), [](QWidget* p) { return new CVantikHS6533Device(p); });
}

void InstallFontSubstitutes(const QStringList& simplifiedChineseFamilies)
{
    // The faces the languages ask for by name are not installed under those names: each falls
    // back to the loaded font that covers its script, then to common system faces.
    QStringList chinese = simplifiedChineseFamilies;
    chinese << "Noto Sans CJK SC" << "Droid Sans Fallback" << "DejaVu Sans";
    QFont::insertSubstitutions(QStringLiteral("汉仪菱心体简"), chinese);
    QFont::insertSubstitutions(QStringLiteral("Noto Sans CJK TC Regular"),
                               {"Noto Sans CJK TC", "Noto Sans CJK SC", "DejaVu Sans"});
    QFont::insertSubstitutions(QStringLiteral("Verdana Unicode MS"),
                               {"DejaVu Sans", "Liberation Sans", "Noto Sans", "Noto Sans CJK SC"});
    QFont::insertSubstitutions(QStringLiteral("Corvex"), {"Jura", "DejaVu Sans"});
}

int Run(int argc, char** argv)
{
    // The command line is read before anything else: --help and --version answer without a
    // display, a GUI or the instance lock; a bad option ends with the usage and 2.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLineResult parsed = ParseCommandLine(arguments);
    if (parsed.action != CommandLineResult::Run) {
        std::fputs(parsed.output.toLocal8Bit().constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    // --data-dir is the data folder for this process and the helper programs it starts.
    if (!parsed.options.dataDir.isEmpty())
        qputenv("TESSEL_DATA_DIR", QFile::encodeName(parsed.options.dataDir));
    SetCurrentStartOptions(parsed.options);

    // Without any display Qt would abort while starting; a start that cannot happen ends with
    // 0 like every other failed start, and says how to run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && parsed.options.background) {
        // A service started before the desktop's display is known still looks after the
        // devices; only its window cannot open (a later start says so on the running one).
        std::fprintf(stderr, "No display found: Tessel runs in the background without being able to open its window.\n");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "No display found; QT_QPA_PLATFORM=offscreen runs Tessel without one.\n");
        return 0;
    }
    // The fonts' memory must outlive every font engine, so the loaders outlive the application.
    std::array<PrivateFontLoader, 4> fonts;
    {
        QApplication qtApp(argc, argv);
        QApplication::setApplicationName(QStringLiteral("tessel"));
        QApplication::setQuitOnLastWindowClosed(false);
        hid::enableDebugLogFromEnvironment();
        const CommandLineResult language = CheckLanguage(parsed.options);
        if (language.action != CommandLineResult::Run) {
            std::fputs(language.output.toLocal8Bit().constData(), stderr);
            return language.exitCode;
        }
        runWithFonts(fonts);
        for (auto it = fonts.rbegin(); it != fonts.rend(); ++it)
            it->Unload();
    }
    return 0;
}

}  // namespace app
