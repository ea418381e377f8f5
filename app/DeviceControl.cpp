#include "app/DeviceControl.h"

#include "devices/CVantikHS6533Device.h"
#include "devices/CVantikMouseDevice.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/CKeySetControlUI.h"
#include "editors/KeyFunctionTables.h"
#include "editors/CLightControlUI.h"
#include "editors/PanelServices.h"
#include "ui/Language.h"
#include "ui/Notify.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QColor>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QSignalBlocker>
#include <QTimer>

#include <memory>
#include <span>

namespace app {

const int DeviceControl::kPollingRates[4] = {125, 250, 500, 1000};

namespace {

// How often a write that waits for the device looks again, and how long it waits at most for
// a profile switch (a switch writes settings, macros and keys; a receiver is slow).
constexpr int kPollMs = 5;
constexpr int kSwitchWaitMs = 20000;

DeviceControl::Result Fail(const char* error, const QString& message)
{
    return {QLatin1String(error), message, {}};
}

bool IsMouse(CVantikUSBDevice& d)
{
    return qobject_cast<CVantikMouseDevice*>(&d) != nullptr;
}

bool IsHeadset(CVantikUSBDevice& d)
{
    return qobject_cast<CVantikHS6533Device*>(&d) != nullptr;
}

// Hands the device what a user's change of `control` in its page sends. The window gives its
// current device the notifications of its page; this goes to the device named, whichever tab
// is selected.
void Notify(CVantikUSBDevice& device, QWidget* control, const char* type, intptr_t wParam = 0)
{
    TNotifyUI msg{QLatin1String(type), control, wParam, 0};
    device.HandlePanelNotify(msg);
}

QString ControlName(const char* prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

// Runs `check` every kPollMs until it is true or `timeoutMs` passed; then `then(true|false)`.
void Poll(QObject* context, std::function<bool()> check, int timeoutMs, std::function<void(bool)> then)
{
    if (check()) {
        then(true);
        return;
    }
    auto* timer = new QTimer(context);
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, context, [timer, waited, timeoutMs, check = std::move(check),
                                                        then = std::move(then)] {
        *waited += kPollMs;
        const bool done = check();
        if (!done && *waited < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        then(done);
    });
    timer->start(kPollMs);
}


// The panels' message boxes turned into the text of the call's error while `this` lives, so a
// call from another program never opens a box on the desktop.
class CapturedMessages {
public:
    CapturedMessages() : m_saved(editors::Services())
    {
        editors::PanelServices s;
        s.message = [this](QWidget*, const QString& body, bool bodyIsId, int) {
            m_texts << (bodyIsId ? ui::Language::instance().Text(body) : body);
            return 0;
        };
        editors::InstallServices(s);
    }
    ~CapturedMessages() { editors::InstallServices(m_saved); }
    QString text() const { return m_texts.join(QLatin1Char(' ')); }

private:
    editors::PanelServices m_saved;
    QStringList m_texts;
};

}  // namespace

DeviceControl::DeviceControl(std::function<Entries()> devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices))
{
}

QString DeviceControl::IdOf(const CVantikUSBDevice* device)
{
    for (const auto& [c, d] : m_devices ? m_devices() : Entries{})
        if (d == device)
            return DeviceId(c);
    return {};
}

CVantikUSBDevice* DeviceControl::Find(const QString& id, const std::function<bool(CVantikUSBDevice&)>& fits,
                                      const QString& what, Result& failed, QString* resolvedId)
{
    if (m_buildPages) {
        m_buildPages();
        DevicesChanged();
    }
    const Entries entries = m_devices ? m_devices() : Entries{};
    if (!id.isEmpty()) {
        for (const auto& [c, d] : entries) {
            if (DeviceId(c).compare(id, Qt::CaseInsensitive) != 0)
                continue;
            if (fits && !fits(*d)) {
                failed = Fail(kNotSupported, QStringLiteral("%1 has no %2").arg(DeviceId(c), what));
                return nullptr;
            }
            if (resolvedId)
                *resolvedId = DeviceId(c);
            return d;
        }
        failed = Fail(kNoSuchDevice, QStringLiteral("No connected device has the id \"%1\"; ListDevices shows the ids").arg(id));
        return nullptr;
    }
    // No id: the one device that fits, so that a user with one mouse need not name it.
    std::vector<std::pair<QString, CVantikUSBDevice*>> candidates;
    for (const auto& [c, d] : entries)
        if (!fits || fits(*d))
            candidates.emplace_back(DeviceId(c), d);
    if (candidates.size() == 1) {
        if (resolvedId)
            *resolvedId = candidates.front().first;
        return candidates.front().second;
    }
    if (candidates.empty()) {
        failed = Fail(kNoSuchDevice, QStringLiteral("No connected device has %1").arg(what));
        return nullptr;
    }
    QStringList ids;
    for (const auto& c : candidates)
        ids << c.first;
    failed = Fail(kNoSuchDevice, QStringLiteral("Several connected devices have %1; name one: %2").arg(what, ids.join(QStringLiteral(", "))));
    return nullptr;
}

QWidget* DeviceControl::PageControl(CVantikUSBDevice& device, const QString& name)
{
    return device.findChild<QWidget*>(name);
}

CDeviceProfileUI* DeviceControl::ProfilePanel(CVantikUSBDevice& device)
{
    return device.findChild<CDeviceProfileUI*>();
}

void DeviceControl::WhenLanded(CVantikUSBDevice* device, Done done, QVariant value)
{
    QPointer<CVantikUSBDevice> d(device);
    // A profile change not yet saved is saved now: the file is written before the answer.
    device->FlushProfileSave();
    // A settings block paced behind an earlier one is posted when its pause is over.
    Poll(this, [d] { return !d || !d->SettingsPaced(); }, 1000, [this, d, done = std::move(done), value](bool) {
        if (!d) {
            done(Fail(kNoSuchDevice, QStringLiteral("The device went away")));
            return;
        }
        d->Io().AfterQueued([d, done, value] {
            if (!d || !d->Transport().isReady()) {
                done(Fail(kNoSuchDevice, QStringLiteral("The device went away before the change reached it; the profile keeps it")));
                return;
            }
            if (!d->Answering()) {
                done(Fail(kNotAnswering, QStringLiteral("The device did not answer; the profile keeps the change and the device gets it at its next connection")));
                return;
            }
            done(Result{{}, {}, value});
        });
    });
}

// --- Profiles ---

DeviceControl::Result DeviceControl::Profiles(const QString& id)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return ProfilePanel(dev) != nullptr; },
                               QStringLiteral("profiles"), r);
    if (!d)
        return r;
    CDeviceProfileUI* panel = ProfilePanel(*d);
    auto* combo = qobject_cast<QComboBox*>(PageControl(*d, QLatin1String(CDeviceProfileUI::kComboName)));
    QStringList names;
    for (int i = 0; combo && i < combo->count(); ++i)
        names << combo->itemText(i);
    const int selected = panel->GetSelectedIndex();
    r.value = QVariantMap{{QStringLiteral("profiles"), names},
                          {QStringLiteral("current"), selected >= 0 && selected < names.size() ? names[selected] : QString()}};
    return r;
}

void DeviceControl::SwitchProfile(const QString& id, const QString& name, Done done)
{
    Result r;
    QString resolved;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return ProfilePanel(dev) != nullptr; },
                               QStringLiteral("profiles"), r, &resolved);
    if (!d)
        return done(r);
    CDeviceProfileUI* panel = ProfilePanel(*d);
    auto* combo = qobject_cast<QComboBox*>(PageControl(*d, QLatin1String(CDeviceProfileUI::kComboName)));
    const int index = combo ? combo->findText(name, Qt::MatchFixedString) : -1;
    if (index < 0)
        return done(Fail(kNoSuchProfile, QStringLiteral("%1 has no profile named \"%2\"").arg(resolved, name)));
    if (panel->SwitchInFlight())
        return done(Fail(kDeviceBusy, QStringLiteral("%1 is still taking another profile; try again").arg(resolved)));
    if (panel->GetSelectedIndex() == index)
        return done(Result{});  // already the device's profile: nothing is written
    {
        // The combo shows the choice as a pick in the list would; the switch is the one the
        // window runs after such a pick.
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(index);
    }
    int switched = 0;
    QString told;
    {
        CapturedMessages messages;
        switched = panel->SwitchToSelectedProfile();
        told = messages.text();
    }
    if (switched == 0)
        return done(Fail(kFileError, told.isEmpty() ? QStringLiteral("The profile list could not be written; %1 keeps its profile").arg(resolved) : told));
    QPointer<CDeviceProfileUI> p(panel);
    const QString wanted = combo->itemText(index);
    Poll(this, [p] { return !p || !p->SwitchInFlight(); }, kSwitchWaitMs, [p, wanted, resolved, done](bool landed) {
        if (!p)
            return done(Fail(kNoSuchDevice, QStringLiteral("The device went away")));
        if (!landed)
            return done(Fail(kNotAnswering, QStringLiteral("%1 is still taking the profile").arg(resolved)));
        auto* c = p->findChild<QComboBox*>(QLatin1String(CDeviceProfileUI::kComboName));
        if (!c || c->currentText() != wanted)
            return done(Fail(kNotAnswering, QStringLiteral("%1 could not take profile \"%2\"; it keeps the profile it had").arg(resolved, wanted)));
        done(Result{});
    });
}

void DeviceControl::WriteProfile(const QString& id, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, {}, QStringLiteral("a profile"), r);
    if (!d)
        return done(r);
    if (CDeviceProfileUI* panel = ProfilePanel(*d); panel && panel->SwitchInFlight())
        return done(Fail(kDeviceBusy, QStringLiteral("The device is still taking another profile; try again")));
    d->FlushProfileSave();
    QPointer<CVantikUSBDevice> device(d);
    d->PushProfile([device, done](CVantikUSBDevice::PushResult result) {
        if (!device || !device->Transport().isReady())
            return done(Fail(kNoSuchDevice, QStringLiteral("The device is not connected; it gets the profile at its next connection")));
        if (!result.ok())
            return done(Fail(kNotAnswering, QStringLiteral("Writing the profile failed at step %1: %2")
                                                 .arg(ui::Language::instance().Text(result.step),
                                                      editors::FailureInWords(result.code, result.failure))));
        done(Result{});
    });
}

DeviceControl::Result DeviceControl::ImportProfile(const QString& id, const QString& path)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return ProfilePanel(dev) != nullptr; },
                               QStringLiteral("profiles"), r);
    if (!d)
        return r;
    if (!QFileInfo(path).isFile())
        return Fail(kFileError, QStringLiteral("No file at \"%1\"").arg(path));
    CDeviceProfileUI* panel = ProfilePanel(*d);
    auto* combo = qobject_cast<QComboBox*>(PageControl(*d, QLatin1String(CDeviceProfileUI::kComboName)));
    const int before = combo ? combo->count() : 0;
    CapturedMessages messages;
    if (!panel->ImportProfile(path))
        return Fail(kInvalidValue, messages.text().isEmpty() ? QStringLiteral("\"%1\" was not imported").arg(path)
                                                             : messages.text());
    r.value = combo && combo->count() > before ? combo->itemText(combo->count() - 1) : QString();
    if (!messages.text().isEmpty())
        r.message = messages.text();
    return r;
}

DeviceControl::Result DeviceControl::ExportProfile(const QString& id, const QString& path)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return ProfilePanel(dev) != nullptr; },
                               QStringLiteral("profiles"), r);
    if (!d)
        return r;
    if (path.isEmpty() || QFileInfo(path).isDir())
        return Fail(kInvalidValue, QStringLiteral("Name the file to export to"));
    d->FlushProfileSave();
    CapturedMessages messages;
    if (!ProfilePanel(*d)->ExportProfile(path))
        return Fail(kFileError, messages.text().isEmpty() ? QStringLiteral("\"%1\" could not be written").arg(path) : messages.text());
    return r;
}

void DeviceControl::DevicesChanged()
{
    for (const auto& entry : m_devices ? m_devices() : Entries{}) {
        CDeviceProfileUI* panel = ProfilePanel(*entry.second);
        if (!panel || m_watched.contains(panel))
            continue;
        m_watched.insert(panel);
        QPointer<CVantikUSBDevice> device(entry.second);
        connect(panel, &CDeviceProfileUI::profileSwitched, this, [this, device](const QString& name) {
            if (device)
                if (const QString id = IdOf(device); !id.isEmpty())
                    emit ProfileChanged(id, name);
        });
        connect(panel, &QObject::destroyed, this, [this, panel] { m_watched.remove(panel); });
    }
}

// --- Mouse: DPI stages and polling rate ---

DeviceControl::Result DeviceControl::Dpi(const QString& id)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsMouse, QStringLiteral("DPI stages"), r);
    if (!d)
        return r;
    auto* mouse = qobject_cast<CVantikMouseDevice*>(d);
    const MouseSensor& sensor = mouse->Sensor();
    const std::vector<DpiStage> stages = mouse->MouseProfile().GetDpiStages();
    QList<int> dpis;
    QList<bool> enabled;
    for (const DpiStage& s : stages) {
        dpis << (sensor.step ? sensor.DpiOfIndex(s.dpiX) : 0);
        enabled << (s.active != 0);
    }
    int rate = 0;
    for (int n = 0; n < 4; ++n)
        if (auto* b = qobject_cast<QAbstractButton*>(PageControl(*d, ControlName("polling_rate_option_", n))); b && b->isChecked())
            rate = kPollingRates[n];
    r.value = QVariantMap{
        {QStringLiteral("stages"), QVariant::fromValue(dpis)},
        {QStringLiteral("enabled"), QVariant::fromValue(enabled)},
        {QStringLiteral("current"), mouse->MouseProfile().GetActiveStage() + 1},
        {QStringLiteral("min"), sensor.step ? sensor.DpiOfIndex(0) : 0},
        {QStringLiteral("max"), sensor.step ? sensor.HighestDpi() : 0},
        {QStringLiteral("polling_rate"), rate},
    };
    return r;
}

void DeviceControl::SetDpiStage(const QString& id, int stage, int dpi, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsMouse, QStringLiteral("DPI stages"), r);
    if (!d)
        return done(r);
    auto* mouse = qobject_cast<CVantikMouseDevice*>(d);
    const MouseSensor& sensor = mouse->Sensor();
    if (!sensor.step)
        return done(Fail(kDeviceBusy, QStringLiteral("The mouse's sensor has not been read yet; try again in a moment")));
    const int stages = int(mouse->MouseProfile().GetDpiStages().size());
    if (stage < 1 || stage > stages)
        return done(Fail(kInvalidValue, QStringLiteral("Stage %1 does not exist; the mouse has stages 1 to %2").arg(stage).arg(stages)));
    if (dpi < sensor.DpiOfIndex(0) || dpi > sensor.HighestDpi())
        return done(Fail(kInvalidValue, QStringLiteral("%1 DPI is outside what the sensor offers (%2 to %3)")
                                            .arg(dpi).arg(sensor.DpiOfIndex(0)).arg(sensor.HighestDpi())));
    auto* slider = qobject_cast<QAbstractSlider*>(PageControl(*d, ControlName("DPI_slider_", stage - 1)));
    if (!slider)
        return done(Fail(kNotSupported, QStringLiteral("The mouse's page has no DPI control")));
    const int index = sensor.IndexOfDpi(dpi);
    {
        const QSignalBlocker block(slider);
        slider->setValue(index);
    }
    // The slider let go at the value: the stage is stored, saved, written and shown.
    Notify(*d, slider, ui::kNotifyValueChanged, index);
    WhenLanded(d, std::move(done), sensor.DpiOfIndex(index));
}

void DeviceControl::SetCurrentStage(const QString& id, int stage, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsMouse, QStringLiteral("DPI stages"), r);
    if (!d)
        return done(r);
    auto* mouse = qobject_cast<CVantikMouseDevice*>(d);
    const int stages = int(mouse->MouseProfile().GetDpiStages().size());
    if (stage < 1 || stage > stages)
        return done(Fail(kInvalidValue, QStringLiteral("Stage %1 does not exist; the mouse has stages 1 to %2").arg(stage).arg(stages)));
    QWidget* select = PageControl(*d, ControlName("DPI_select_check_", stage - 1));
    if (!select)
        return done(Fail(kNotSupported, QStringLiteral("The mouse's page has no stage selection")));
    Notify(*d, select, ui::kNotifySelectChanged, 1);
    WhenLanded(d, std::move(done));
}

void DeviceControl::SetPollingRate(const QString& id, int hz, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return PageControl(dev, QStringLiteral("polling_rate_option_0")) != nullptr; },
                               QStringLiteral("a polling rate"), r);
    if (!d)
        return done(r);
    int n = -1;
    for (int i = 0; i < 4; ++i)
        if (kPollingRates[i] == hz)
            n = i;
    if (n < 0)
        return done(Fail(kInvalidValue, QStringLiteral("%1 Hz is not a polling rate; choose 125, 250, 500 or 1000").arg(hz)));
    auto* option = qobject_cast<QAbstractButton*>(PageControl(*d, ControlName("polling_rate_option_", n)));
    if (!option)
        return done(Fail(kNotSupported, QStringLiteral("The device's page has no polling rate option %1").arg(hz)));
    {
        const QSignalBlocker block(option);
        option->setChecked(true);
    }
    Notify(*d, option, ui::kNotifySelectChanged, 1);
    WhenLanded(d, std::move(done));
}

// --- Lighting ---

DeviceControl::Result DeviceControl::Lighting(const QString& id)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return dev.findChild<CLightControlUI*>() != nullptr; },
                               QStringLiteral("lighting"), r);
    if (!d)
        return r;
    const LightInfo info = d->Profile().GetLightInfo();
    const CVantikUSBDevice::LightModeList modes = d->LightModes();
    r.value = QVariantMap{
        {QStringLiteral("mode"), int(info.mode)},
        {QStringLiteral("mode_name"), info.mode < modes.names.size() ? ui::Language::instance().Text(modes.names[info.mode]) : QString()},
        {QStringLiteral("brightness"), int(info.brightness)},
        {QStringLiteral("speed"), int(info.speed)},
        {QStringLiteral("colour"), QColor(info.red, info.green, info.blue).name()},
        {QStringLiteral("multicolour"), info.multicolour != 0},
    };
    return r;
}

void DeviceControl::SetLighting(const QString& id, const QVariantMap& values, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, [](CVantikUSBDevice& dev) { return dev.findChild<CLightControlUI*>() != nullptr; },
                               QStringLiteral("lighting"), r);
    if (!d)
        return done(r);
    auto* panel = d->findChild<CLightControlUI*>();
    if (d->LightingControl() == 0 || d->ExternalLighting() || !panel->ExternalClient().isEmpty())
        return done(Fail(kDeviceBusy, QStringLiteral("Another program drives the lighting now")));

    // Everything is checked before anything changes: a call with one bad value changes nothing.
    const CVantikUSBDevice::LightModeList modes = d->LightModes();
    int mode = -1, brightness = -1, speed = -1, multicolour = -1;
    QColor colour;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString& key = it.key();
        const QVariant& v = it.value();
        bool isNumber = false;
        const int number = v.toString().toInt(&isNumber);
        if (key == QLatin1String("mode")) {
            if (isNumber) {
                mode = number;
            } else {
                for (int i = 0; i < modes.names.size(); ++i)
                    if (v.toString().compare(modes.names[i], Qt::CaseInsensitive) == 0 ||
                        v.toString().compare(ui::Language::instance().Text(modes.names[i]), Qt::CaseInsensitive) == 0)
                        mode = i;
            }
            const bool shown = mode >= 0 && mode < modes.names.size() &&
                               (size_t(mode) >= modes.visible.size() || modes.visible[size_t(mode)] != 0);
            if (!shown)
                return done(Fail(kInvalidValue, QStringLiteral("\"%1\" is not a lighting mode of this device").arg(v.toString())));
        } else if (key == QLatin1String("brightness") || key == QLatin1String("speed")) {
            if (!isNumber || number < 0 || number > 4)
                return done(Fail(kInvalidValue, QStringLiteral("%1 is 0 to 4 (got \"%2\")").arg(key, v.toString())));
            (key == QLatin1String("brightness") ? brightness : speed) = number;
        } else if (key == QLatin1String("colour") || key == QLatin1String("color")) {
            const QString text = v.toString();
            colour = QColor(text);
            if (!text.startsWith(QLatin1Char('#')) || text.size() != 7 || !colour.isValid())
                return done(Fail(kInvalidValue, QStringLiteral("colour is \"#rrggbb\" (got \"%1\")").arg(text)));
        } else if (key == QLatin1String("multicolour")) {
            if (v.typeId() != QMetaType::Bool)
                return done(Fail(kInvalidValue, QStringLiteral("multicolour is true or false")));
            multicolour = v.toBool() ? 1 : 0;
        } else {
            return done(Fail(kInvalidValue, QStringLiteral("Unknown lighting setting \"%1\"; use mode, brightness, speed, colour, multicolour").arg(key)));
        }
    }

    // Each change as the panel's control makes it, the mode first (it lays out the rest).
    if (mode >= 0) {
        if (auto* combo = qobject_cast<QComboBox*>(panel->Control(QStringLiteral("light_combo_modeSelect")))) {
            {
                const QSignalBlocker block(combo);
                combo->setCurrentIndex(mode);
            }
            Notify(*d, combo, ui::kNotifyItemSelect, mode);
        }
    }
    for (auto [value, name] : {std::pair{brightness, "deng_light_slider"}, std::pair{speed, "deng_speed_slider"}}) {
        if (value < 0)
            continue;
        if (auto* slider = qobject_cast<QAbstractSlider*>(panel->Control(QLatin1String(name)))) {
            {
                const QSignalBlocker block(slider);
                slider->setValue(value);
            }
            Notify(*d, slider, ui::kNotifyValueChanged, value);
        }
    }
    if (colour.isValid()) {
        const std::pair<const char*, int> edits[] = {{"deng_edit_R", colour.red()}, {"deng_edit_G", colour.green()}, {"deng_edit_B", colour.blue()}};
        for (const auto& [name, value] : edits) {
            if (auto* edit = qobject_cast<QLineEdit*>(panel->Control(QLatin1String(name)))) {
                const QSignalBlocker block(edit);
                edit->setText(QString::number(value));
            }
        }
        if (QWidget* edit = panel->Control(QStringLiteral("deng_edit_R")))
            Notify(*d, edit, ui::kNotifyKillFocus);
    }
    if (multicolour >= 0) {
        if (auto* check = qobject_cast<QAbstractButton*>(panel->Control(QStringLiteral("deng_7color_check")))) {
            {
                const QSignalBlocker block(check);
                check->setChecked(multicolour != 0);
            }
            Notify(*d, check, ui::kNotifySelectChanged, multicolour);
        }
    }
    WhenLanded(d, std::move(done));
}

// --- Headset: equaliser, microphone and side tone ---

DeviceControl::Result DeviceControl::Sound(const QString& id)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsHeadset, QStringLiteral("sound settings"), r);
    if (!d)
        return r;
    int preset = 0;
    for (int n = 1; n <= 13; ++n)
        if (auto* b = qobject_cast<QAbstractButton*>(PageControl(*d, ControlName("6533_eq_option_", n))); b && b->isChecked())
            preset = n;
    auto value = [d](const char* name) {
        auto* s = qobject_cast<QAbstractSlider*>(PageControl(*d, QLatin1String(name)));
        return s ? s->value() : -1;
    };
    auto checked = [d](const char* name) {
        auto* b = qobject_cast<QAbstractButton*>(PageControl(*d, QLatin1String(name)));
        return b && b->isChecked();
    };
    r.value = QVariantMap{
        {QStringLiteral("eq_preset"), preset},
        {QStringLiteral("mic_level"), value("6533_MicIn_slider")},
        {QStringLiteral("sidetone_level"), value("6533_MicMoniter_slider")},
        {QStringLiteral("mic_on"), checked("6533_MicIn_option")},
        {QStringLiteral("sidetone_on"), checked("6533_MicMoniter_option")},
    };
    return r;
}

void DeviceControl::SetEqPreset(const QString& id, int preset, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsHeadset, QStringLiteral("an equaliser"), r);
    if (!d)
        return done(r);
    if (preset < 1 || preset > 13)
        return done(Fail(kInvalidValue, QStringLiteral("Equaliser preset %1 does not exist; presets are 1 to 13 (13 is the custom curve)").arg(preset)));
    const QString why = qobject_cast<CVantikHS6533Device*>(d)->Availability().eq;
    if (!why.isEmpty())
        return done(Fail(kNotSupported, ui::Language::instance().Text(why)));
    auto* option = qobject_cast<QAbstractButton*>(PageControl(*d, ControlName("6533_eq_option_", preset)));
    if (!option)
        return done(Fail(kNotSupported, QStringLiteral("The headset's page has no equaliser")));
    {
        const QSignalBlocker block(option);
        option->setChecked(true);
    }
    Notify(*d, option, ui::kNotifySelectChanged, 1);
    WhenLanded(d, std::move(done));
}

void DeviceControl::SetMicLevel(const QString& id, int level, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsHeadset, QStringLiteral("a microphone"), r);
    if (!d)
        return done(r);
    const QString why = qobject_cast<CVantikHS6533Device*>(d)->Availability().mic;
    if (!why.isEmpty())
        return done(Fail(kNotSupported, ui::Language::instance().Text(why)));
    auto* slider = qobject_cast<QAbstractSlider*>(PageControl(*d, QStringLiteral("6533_MicIn_slider")));
    if (!slider)
        return done(Fail(kNotSupported, QStringLiteral("The headset's page has no microphone level")));
    if (level < slider->minimum() || level > slider->maximum())
        return done(Fail(kInvalidValue, QStringLiteral("The microphone level is %1 to %2 (got %3)").arg(slider->minimum()).arg(slider->maximum()).arg(level)));
    {
        const QSignalBlocker block(slider);
        slider->setValue(level);
    }
    Notify(*d, slider, ui::kNotifyValueChanged, level);
    WhenLanded(d, std::move(done));
}

void DeviceControl::SetSideToneLevel(const QString& id, int level, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, IsHeadset, QStringLiteral("a side tone"), r);
    if (!d)
        return done(r);
    const QString why = qobject_cast<CVantikHS6533Device*>(d)->Availability().mic;
    if (!why.isEmpty())
        return done(Fail(kNotSupported, ui::Language::instance().Text(why)));
    auto* slider = qobject_cast<QAbstractSlider*>(PageControl(*d, QStringLiteral("6533_MicMoniter_slider")));
    if (!slider || !slider->isEnabled())
        return done(Fail(kNotSupported, QStringLiteral("The headset offers no side tone here")));
    if (level < slider->minimum() || level > slider->maximum())
        return done(Fail(kInvalidValue, QStringLiteral("The side-tone level is %1 to %2 (got %3)").arg(slider->minimum()).arg(slider->maximum()).arg(level)));
    {
        const QSignalBlocker block(slider);
        slider->setValue(level);
    }
    Notify(*d, slider, ui::kNotifyValueChanged, level);
    WhenLanded(d, std::move(done));
}

// --- Keys ---

namespace {

bool HasKeys(CVantikUSBDevice& d)
{
    return d.findChild<CKeySetControlUI*>() != nullptr && !d.KeyAssignments().empty();
}

bool IsMousePanel(const CKeySetControlUI& panel)
{
    return panel.DeviceKind() == 2 || panel.DeviceKind() == 6;
}

// The name of key `position`: what its button's tool tip says.
QString KeyName(CVantikUSBDevice& d, int position)
{
    QWidget* button = d.KeyButton(position);
    const QString tip = button ? button->toolTip() : QString();
    return tip.isEmpty() ? QStringLiteral("key %1").arg(position) : ui::Language::instance().Text(tip);
}

// The function lists of the key editor that a device of the panel's kind offers.
std::vector<std::span<const keyfn::FunctionRow>> FunctionTables(const CKeySetControlUI& panel)
{
    if (IsMousePanel(panel))
        return {keyfn::MouseButtonTable(), keyfn::DpiActionTable(), keyfn::KeyTable(), keyfn::MediaTable(),
                keyfn::SystemTable(), keyfn::ShortcutTable()};
    return {keyfn::KeyTable(), keyfn::MediaTable(), keyfn::SystemTable(), keyfn::ShortcutTable()};
}

}  // namespace

DeviceControl::Result DeviceControl::Keys(const QString& id)
{
    Result r;
    CVantikUSBDevice* d = Find(id, HasKeys, QStringLiteral("assignable keys"), r);
    if (!d)
        return r;
    auto* panel = d->findChild<CKeySetControlUI*>();
    const ui::Language& language = ui::Language::instance();
    const auto resolve = [&language](const QString& textId) { return language.Text(textId); };
    QVariantList keys;
    const std::vector<KeyAssignmentPair> pairs = d->KeyAssignments();
    for (size_t i = 0; i < pairs.size(); ++i) {
        if (!d->KeyButton(int(i)))
            continue;  // a position the device's picture does not show
        QString label = keyfn::AssignmentLabel(pairs[i].current, IsMousePanel(*panel) ? keyfn::PageKind::Mouse : keyfn::PageKind::Keyboard,
                                               panel->MacroNames(), resolve);
        keys << QVariantMap{{QStringLiteral("position"), int(i)},
                            {QStringLiteral("name"), KeyName(*d, int(i))},
                            {QStringLiteral("function"), label.isEmpty() ? KeyName(*d, int(i)) : resolve(label)}};
    }
    r.value = keys;
    return r;
}

void DeviceControl::SetKey(const QString& id, const QString& key, const QString& function, Done done)
{
    Result r;
    CVantikUSBDevice* d = Find(id, HasKeys, QStringLiteral("assignable keys"), r);
    if (!d)
        return done(r);
    auto* panel = d->findChild<CKeySetControlUI*>();
    const std::vector<KeyAssignmentPair> pairs = d->KeyAssignments();
    int position = -1;
    bool isNumber = false;
    const int number = key.toInt(&isNumber);
    for (size_t i = 0; i < pairs.size() && position < 0; ++i) {
        if (!d->KeyButton(int(i)))
            continue;
        if ((isNumber && number == int(i)) || KeyName(*d, int(i)).compare(key, Qt::CaseInsensitive) == 0)
            position = int(i);
    }
    if (position < 0)
        return done(Fail(kInvalidValue, QStringLiteral("The device has no key \"%1\"; ListKeys shows their names").arg(key)));

    KeyAssignment wanted = pairs[size_t(position)].defaults;
    if (function.compare(QLatin1String("default"), Qt::CaseInsensitive) != 0) {
        const ui::Language& language = ui::Language::instance();
        bool found = false;
        for (const auto& table : FunctionTables(*panel)) {
            for (const keyfn::FunctionRow& row : table) {
                const QString textId = QLatin1String(row.textId);
                if (textId.compare(function, Qt::CaseInsensitive) == 0 ||
                    language.Text(textId).compare(function, Qt::CaseInsensitive) == 0) {
                    wanted.type = row.type;
                    wanted.p1 = row.p1;
                    wanted.p2 = row.p2;
                    found = true;
                    break;
                }
            }
            if (found)
                break;
        }
        if (!found)
            return done(Fail(kInvalidValue, QStringLiteral("\"%1\" is not a function this device's keys can have").arg(function)));
    }
    // As the user does it: pick the key, choose the function, apply, save to the device. The key
    // the editor showed before is shown again.
    const int edited = panel->EditedKey();
    panel->EditKey(position);
    panel->ShowAssignment(wanted);
    panel->ApplyKeyPanel();
    if (panel->WriteToDevice() == 0)
        return done(Fail(kNotSupported, QStringLiteral("The device's keys cannot be written")));
    if (edited >= 0 && edited != position)
        panel->EditKey(edited);
    WhenLanded(d, std::move(done));
}

}  // namespace app
