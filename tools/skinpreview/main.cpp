// Builds the main window skin offscreen (or on any Qt platform) with sample devices and saves
// pictures of it, so the skin can be judged without hardware:
//   tessel-skinpreview <output folder> [en|cn]
//   tessel-skinpreview --svg2png <in.svg> <out.png> <width> <height>
// The device pages are built as plain widgets: the real device classes bring their logic, the
// pictures only need the skin.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QTimer>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "app/PrivateFontLoader.h"
#include "ui/Builder.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

namespace {

int svgToPng(const QString& in, const QString& out, int w, int h)
{
    QSvgRenderer svg(in);
    if (!svg.isValid()) {
        std::fprintf(stderr, "not an SVG: %s\n", qPrintable(in));
        return 1;
    }
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p);
    p.end();
    return image.save(out, "PNG") ? 0 : 1;
}

// The skin tags the main window maps to control classes; the device pages become plain widgets.
class PreviewWnd : public WindowImplBase {
public:
    QString GetSkinFile() override { return QStringLiteral("XML/main.ui"); }
    QString GetWindowClassName() override { return QStringLiteral("SkinPreview"); }
    QWidget* CreateControl(const QString& className) override
    {
        static const std::pair<const char*, const char*> tags[] = {
            {"CircleProgress", "CCircleProgressUI"},
            {"SelectPanel", "CSelectPanelUI"},
            {"DeviceKeyButton", "CDeviceKeyButtonUI"},
        };
        for (const auto& [tag, cls] : tags) {
            if (className.compare(QLatin1String(tag), Qt::CaseInsensitive) == 0)
                return ui::ControlFactory::instance().Create(QLatin1String(cls), nullptr);
        }
        if (className.startsWith(QLatin1String("Vantik"), Qt::CaseInsensitive)
            && className.endsWith(QLatin1String("Device"), Qt::CaseInsensitive)) {
            auto* page = new QWidget;
            page->setAttribute(Qt::WA_StyledBackground);
            page->setProperty("deviceClass", className);
            return page;
        }
        return nullptr;
    }
};

struct SampleDevice {
    int type;
    int variant;
    const char* page;
    const char* name;  // text id
    const char* route;
    const char* firmware;
    const char* battery;  // empty: none
    const char* status;
    std::array<uint8_t, 6> power;  // all 0xFF: no power panel
};

struct Built {
    ui::CDeviceOptionUI* tab = nullptr;
    QWidget* page = nullptr;
    ui::CMpDevicePowerUI* power = nullptr;
};

// Rainbow colours packed the way devices hand them to key buttons (red 0-7, blue 8-15,
// green 16-23).
uint32_t packed(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.blue()) << 8)
           | (static_cast<uint32_t>(c.green()) << 16);
}

void lightUp(QWidget* page)
{
    const auto keys = page->findChildren<ui::CDeviceKeyButtonUI*>();
    int i = 0;
    for (ui::CDeviceKeyButtonUI* key : keys) {
        if (!key->property("userdata").toString().startsWith(QLatin1String("light_")))
            continue;
        const QColor c = QColor::fromHsv((i * 360 / std::max<qsizetype>(1, keys.size())) % 360, 230, 255);
        key->SetLightColour(packed(c), 255, true);
        ++i;
    }
}

class Scene {
public:
    explicit Scene(PreviewWnd& wnd) : m_wnd(wnd) {}

    Built Add(const SampleDevice& d)
    {
        Built b;
        ui::Builder builder(&m_wnd);
        b.tab = qobject_cast<ui::CDeviceOptionUI*>(
            builder.Create(QLatin1String(ui::CDeviceOptionUI::kLayoutFile), nullptr));
        b.page = builder.Create(QLatin1String(d.page), nullptr);
        if (!b.tab || !b.page) {
            std::fprintf(stderr, "could not build %s\n", d.page);
            return b;
        }
        auto* strip = m_wnd.PM().FindControl(QStringLiteral("device_select_layout"));
        auto* pages = m_wnd.PM().Find<QStackedWidget>(QStringLiteral("device_switch"));
        auto* powers = m_wnd.PM().Find<QStackedWidget>(QStringLiteral("device_power_switch"));
        strip->layout()->addWidget(b.tab);
        b.tab->SetKind(d.type, d.variant);
        b.tab->SetPageIndex(pages->addWidget(b.page));
        // The strip's status line as the window writes it: the route, then the battery if known.
        const bool cable = QLatin1String(d.route) == QLatin1String("device_route_cable");
        QString tabStatus = ui::Language::instance().Text(cable ? QStringLiteral("tab_route_cable")
                                                                : QStringLiteral("tab_route_receiver"));
        if (*d.battery)
            tabStatus += QStringLiteral(" · ") + QString::fromUtf8(d.battery) + QLatin1Char('%');
        b.tab->SetStatusText(tabStatus);
        if (d.power[0] != 0xFF) {
            b.power = qobject_cast<ui::CMpDevicePowerUI*>(
                builder.Create(QLatin1String(ui::CMpDevicePowerUI::kLayoutFile), nullptr));
            if (b.power) {
                b.tab->SetPowerIndex(powers->addWidget(b.power));
                b.power->SetDeviceKind(d.type, d.variant);
                b.power->ShowStatus(d.power.data(), d.power.size());
            }
        }
        auto set = [&](const char* name, const char* text) {
            auto* label = b.page->findChild<QLabel*>(QLatin1String(name));
            if (!label)
                return;
            if (!*text) {
                label->hide();
                return;
            }
            const QString formatId = QLatin1String(name) == QLatin1String("device_info_firmware")
                                         ? QStringLiteral("device_firmware_format")
                                         : QLatin1String(name) == QLatin1String("device_info_battery")
                                               ? QStringLiteral("device_battery_format")
                                               : QString();
            if (!formatId.isEmpty())
                label->setText(ui::Language::instance().Text(formatId).arg(QString::fromUtf8(text)));
            else if (ui::Language::instance().Has(QLatin1String(text)))
                ui::Language::instance().SetTextId(label, QLatin1String(text));
            else
                label->setText(QString::fromUtf8(text));
            label->show();
        };
        set("device_info_name", d.name);
        set("device_info_route", d.route);
        set("device_info_firmware", d.firmware);
        set("device_info_battery", d.battery);
        set("device_info_status", d.status);
        lightUp(b.page);
        m_built.push_back(b);
        return b;
    }

    // What the main window does when a tab is selected.
    void Select(const Built& b)
    {
        auto* pages = m_wnd.PM().Find<QStackedWidget>(QStringLiteral("device_switch"));
        auto* powers = m_wnd.PM().Find<QStackedWidget>(QStringLiteral("device_power_switch"));
        b.tab->SetSelected(true, false);
        pages->setCurrentIndex(b.tab->PageIndex());
        powers->setCurrentIndex(b.tab->PowerIndex() >= 0 ? b.tab->PowerIndex() : 0);
        powers->setVisible(b.tab->PowerIndex() >= 0);
    }

    void ShowDevices(bool any)
    {
        for (const char* name : {"No_device_Link", "device_strip_empty"})
            if (QWidget* w = m_wnd.PM().FindControl(QLatin1String(name)))
                w->setVisible(!any);
        if (!any)
            if (QWidget* w = m_wnd.PM().FindControl(QStringLiteral("device_power_switch")))
                w->hide();
    }

private:
    PreviewWnd& m_wnd;
    std::vector<Built> m_built;
};

const SampleDevice kKeyboard{1, 0, "XML/DeviceXml/keyboarddevice.xml", "kb_device_name_text",
                             "device_route_cable", "V1.08", "", "device_status_ready",
                             {0xFF, 0, 0, 0, 0, 0}};
const SampleDevice kMouse{2, 0, "XML/DeviceXml/mousedevice.xml", "ms_device_name_text",
                          "device_route_receiver", "V2.13", "80", "device_status_ready",
                          {80, 2, 0, 1, 0, 0}};
const SampleDevice kPad{3, 0, "XML/DeviceXml/mousepaddevice.xml", "hard_mp_device_name_text",
                        "device_route_cable", "V1.02", "", "device_status_ready",
                        {100, 1, 0, 0, 0, 1}};
const SampleDevice kHeadset{7, 0, "XML/DeviceXml/hs6533device.xml", "hd_device_name_text",
                            "device_route_cable", "V3.01", "", "device_status_no_answer",
                            {0xFF, 0, 0, 0, 0, 0}};

bool shoot(PreviewWnd& wnd, const QString& path)
{
    QApplication::processEvents();
    wnd.repaint();
    const bool ok = wnd.grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

int preview(const QString& outDir, const QString& lang)
{
    const QString bin = QCoreApplication::applicationDirPath();
    std::array<app::PrivateFontLoader, 4> fonts;
    for (size_t i = 0; i < fonts.size(); ++i)
        fonts[i].Load(QLatin1String(app::kFontFiles[i]));
    app::InstallFontSubstitutes(fonts[0].families());
    app::SetUpSkin(QDir(bin).filePath(QStringLiteral("skin")));
    app::RegisterControlClasses();
    const bool chinese = lang == QLatin1String("cn");
    ui::Language::instance().LoadLanguage(
        ui::PaintManager::ResourceFile(chinese ? QStringLiteral("lan_cn.xml") : QStringLiteral("lan_en.xml")));
    QDir().mkpath(outDir);
    const QString suffix = QLatin1Char('-') + lang + QStringLiteral(".png");
    const QString face = chinese ? QStringLiteral("汉仪菱心体简") : QStringLiteral("Verdana Unicode MS");

    int failures = 0;
    auto run = [&](const QString& name, const std::vector<const SampleDevice*>& devices, int selected) {
        PreviewWnd wnd;
        wnd.setWindowFlag(Qt::FramelessWindowHint);
        wnd.PM().SetDefaultFont(face, 14, false, false, false);
        wnd.Create(nullptr, QString());
        wnd.resize(1000, 640);
        Scene scene(wnd);
        std::vector<Built> built;
        for (const SampleDevice* d : devices)
            built.push_back(scene.Add(*d));
        scene.ShowDevices(!devices.empty());
        if (selected >= 0)
            scene.Select(built[selected]);
        if (devices.size() == 4)
            built[1].tab->SetSynchro(true, false);
        wnd.show();
        if (!shoot(wnd, QDir(outDir).filePath(name + suffix)))
            ++failures;
    };
    const std::vector<const SampleDevice*> four{&kKeyboard, &kMouse, &kPad, &kHeadset};
    run(QStringLiteral("devices-none"), {}, -1);
    run(QStringLiteral("devices-one"), {&kKeyboard}, 0);
    run(QStringLiteral("devices-four-keyboard"), four, 0);
    run(QStringLiteral("devices-four-mouse"), four, 1);
    run(QStringLiteral("devices-four-mousepad"), four, 2);
    run(QStringLiteral("devices-four-headset"), four, 3);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 6 && args[1] == QLatin1String("--svg2png"))
        return svgToPng(args[2], args[3], args[4].toInt(), args[5].toInt());
    if (args.size() < 2 || args[1].startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: tessel-skinpreview <output folder> [en|cn]\n"
                             "       tessel-skinpreview --svg2png <in.svg> <out.png> <width> <height>\n");
        return 2;
    }
    return preview(args[1], args.size() > 2 ? args[2] : QStringLiteral("en"));
}
