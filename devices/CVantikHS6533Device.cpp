#include "devices/CVantikHS6533Device.h"
#include "ui/IndexedName.h"
#include "devices/CDevicePanel.h"

#include "devices/LightingTables.h"
#include "devices/OsConfLibrary.h"
#include "devices/SoundCardMonitor.h"
#include "hid/DebugLog.h"
#include "profiles/DataPaths.h"
#include "profiles/HeadsetEqPresets.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QStackedWidget>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kValueBuffer = OSCONF_VALUE_BUFFER_SIZE;
constexpr int kReadSettingsLength = 27;
constexpr int kSettingsStride = 26;
constexpr int kWriteStride = 64;
// The headset's LED drivers take at most this level per colour.
constexpr uint8_t kMaxLevel = 247;
// Field 0 of the feature lists: the equaliser (playback device) and the voice changer (capture
// device) are there. Field 1 says what the machine lacks for a feature left out.
constexpr int kEqualiserFeature = 0x10000;
constexpr int kMagicVoiceFeature = 0x20000;
constexpr int kMissingPipeWire = 0x1, kMissingPitchShifter = 0x2, kMissingEffectGraph = 0x4;

CVantikHS6533Device::MessageHandler& messageHandler()
{
    static CVantikHS6533Device::MessageHandler handler;
    return handler;
}

CVantikHS6533Device::ConfirmHandler& confirmHandler()
{
    static CVantikHS6533Device::ConfirmHandler handler;
    return handler;
}

QString twoDecimals(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? QString::asprintf("%.2f", v) : QString();
}

}  // namespace

void CVantikHS6533Device::SetMessageHandler(MessageHandler handler)
{
    messageHandler() = std::move(handler);
}

void CVantikHS6533Device::SetConfirmHandler(ConfirmHandler handler)
{
    confirmHandler() = std::move(handler);
}

bool CVantikHS6533Device::Confirm(const QString& text)
{
    qCDebug(tesselDebug) << text;
    return !confirmHandler() || confirmHandler()(window(), text);
}

CVantikHS6533Device::CVantikHS6533Device(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 7;
    m_deviceName = QStringLiteral("hd_device_name_text");
    m_profile.SetDefaultPath(paths::defaultProfileFile(QStringLiteral("HD")));
}

CVantikHS6533Device::~CVantikHS6533Device()
{
    ShutDown();
}

void CVantikHS6533Device::ShowMessage(const QString& text, bool isTextId)
{
    qCDebug(tesselDebug) << text;
    if (!messageHandler())
        return;
    // Shown once the current operation (often the page's start) has finished, so a modal box
    // never runs inside it.
    QPointer<CVantikHS6533Device> self(this);
    QMetaObject::invokeMethod(this, [self, text, isTextId] {
        if (self && messageHandler())
            messageHandler()(self->window(), text, isTextId);
    }, Qt::QueuedConnection);
}

// --- Page ---

void CVantikHS6533Device::BindPanelControls()
{
    CVantikUSBDevice::BindPanelControls();
    for (QWidget* w : findChildren<QWidget*>()) {
        if (!m_voice)
            if ((m_voice = dynamic_cast<IVoice6533Panel*>(w)))
                m_voiceWidget = w;
        if (!m_magic)
            if ((m_magic = dynamic_cast<IMagicPanel*>(w)))
                m_magicWidget = w;
    }
    // The first function tab the page offers is the one shown.
    for (const char* tab : {"device_tab_light", "device_tab_sound", "device_tab_magic"}) {
        auto* button = qobject_cast<QAbstractButton*>(FindPanelControl(QLatin1String(tab)));
        if (!button || button->isHidden())
            continue;
        const QSignalBlocker block(button);
        button->setChecked(true);
        TNotifyUI msg{QStringLiteral("selectchanged"), button, 1, 0};
        HandlePanelNotify(msg);
        break;
    }
    // The library starts once; a page built later shows what it already found.
    if (m_audioReady)
        ShowAudioPanels();
    else
        StartAudio();
}

void CVantikHS6533Device::RefreshPanel()
{
    LoadNameLists();
    ShowDeviceInfo();
    ShowAudioPanels();
    for (QWidget* w : Panels()) {
        if (auto* panel = dynamic_cast<CDevicePanel*>(w))
            panel->DeviceRefreshed();
    }
}

void CVantikHS6533Device::LoadNameLists()
{
    m_names.Load(DeviceNameLists::Headset, paths::defaultLightFile(), paths::lightConfigFile(m_folderName),
                 DataFolder() + QStringLiteral("/pelix_macro.config"));
}

// --- Profile and settings block ---

int CVantikHS6533Device::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    const int result = ApplyLightSettings();
    // A profile switch (or a chip found again) brings the profile's sound with it.
    ApplyProfileSound();
    return result;
}

int CVantikHS6533Device::ApplyLightSettings()
{
    const LightInfo info = Profile().GetLightInfo();
    m_settings[1] = info.mode;
    m_settings[2] = info.brightness;
    m_settings[3] = info.speed;
    m_settings[5] = info.multicolour;
    m_settings[6] = info.red;
    m_settings[7] = info.green;
    m_settings[8] = info.blue;
    ApplyProfileLight();
    return 1;
}

CVantikHS6533Device::LiveRead CVantikHS6533Device::ReadLiveIo(CommandTransport& t)
{
    static_assert(std::tuple_size_v<decltype(LiveRead::block)> == kReadSettingsLength);
    LiveRead r;
    r.ready = t.isReady() != 0;
    if (!r.ready)
        return r;
    r.code = t.readSettings(&r.active, 1, 0);
    if (r.code == 1)
        r.code = t.readSettings(r.block.data(), kReadSettingsLength, uint32_t(kSettingsStride * r.active));
    return r;
}

bool CVantikHS6533Device::TakeLiveBlock(const LiveRead& r)
{
    if (!r.ready || !r.ok())
        return false;
    // Only what the headset keeps for itself: the lighting stays the profile's.
    m_settings[0] = r.active;
    std::copy(r.block.begin() + 9, r.block.begin() + kSettingsLength, m_settings.begin() + 9);
    m_liveKnown = true;
    return true;
}

void CVantikHS6533Device::ReadSettings()
{
    PostIo<LiveRead>(IoKind::Read, &CVantikHS6533Device::ReadLiveIo, [this, mark = CommandsPosted()](LiveRead r) {
        if (!ReadBackCurrent(mark) || !r.ready || !r.ok())
            return;
        SettingsRead(r.active, r.block.data());
        m_liveKnown = true;
    });
}

void CVantikHS6533Device::SettingsRead(uint8_t active, const uint8_t* block)
{
    SetSameLighting(0);
    m_settingsBackup = m_settings;
    std::copy_n(block, kSettingsLength, m_settings.begin());
    m_settings[0] = active;
    const auto& modes = m_names.modeValues();
    const auto it = std::find(modes.begin(), modes.end(), int(m_settings[1]));
    if (it != modes.end())
        m_settings[1] = uint8_t(it - modes.begin());
    m_settings[3] = uint8_t(4 - std::min<int>(m_settings[3], 4));
    // The light thread follows what the headset reports.
    LightState s = GetLightState();
    s.mode = m_settings[1];
    s.brightness = m_settings[2];
    s.speed = m_settings[3];
    s.direction = m_settings[4];
    s.multicolour = m_settings[5];
    s.red = m_settings[6];
    s.green = m_settings[7];
    s.blue = m_settings[8];
    SetLightBlock(s);
}

CVantikUSBDevice::Request CVantikHS6533Device::SettingsWriteJob(int slot)
{
    std::array<uint8_t, kSettingsLength> block = m_settings;
    // The headset may light its LEDs itself after a settings block: later frames send in full.
    ++m_lightEpoch;
    const LightInfo info = Profile().GetLightInfo();
    const int item = info.mode > 8 ? 0 : info.mode;
    const auto& modes = m_names.modeValues();
    block[1] = size_t(item) < modes.size() ? uint8_t(modes[size_t(item)]) : uint8_t(item);
    block[3] = uint8_t(4 - std::min<int>(info.speed, 4));
    // Bytes 9 on belong to the headset: they go back as it reported them. Until its block has
    // been read, the write reads it first.
    return [block, slot, known = m_liveKnown](CommandTransport& t) mutable {
        if (!known) {
            const LiveRead live = ReadLiveIo(t);
            if (!live.ok())
                return IoResult{live.ready ? live.code : 0};
            std::copy(live.block.begin() + 9, live.block.begin() + kSettingsLength, block.begin() + 9);
        }
        if (t.isReady())
            t.openSession();
        // The write's own result: a headset that did not take the block is not told it did.
        const int result = t.writeSettings(block.data(), kSettingsLength, uint32_t(kWriteStride * slot));
        t.closeSession();
        return IoResult{result};
    };
}

void CVantikHS6533Device::OnConnected()
{
    m_liveKnown = false;
    // A headset that was away may have lost its colours: the next frame sends every report.
    ++m_lightEpoch;
    // The firmware version shown is the one the headset reports; then what the headset holds
    // now, so the bytes only it knows go back as it has them.
    PostConnectionRead<LiveRead>(&CVantikHS6533Device::ReadLiveIo, [this](const LiveRead& live) {
        TakeLiveBlock(live);
        // The endpoints first (a chip that was power-cycled comes back with its own values),
        // then the profile, whose sound goes to the chip as it loads.
        if (m_audioReady)
            RefreshAudioDevices(false);
        ReloadProfile();
        RefreshPanel();
        StartLightThread();
    });
}

// --- Lighting ---

std::array<std::array<uint8_t, CVantikHS6533Device::kLightReportLength>, CVantikHS6533Device::kLightReportsPerFrame>
CVantikHS6533Device::BuildLightReports(const std::vector<LedColour>& leds)
{
    // Three planes of 16 bytes: red, green, blue of each LED at its brightness.
    uint8_t planes[3][16] = {};
    for (size_t i = 0; i < leds.size() && i < size_t(kLeds); ++i) {
        const LedColour c = leds[i];
        const uint8_t component[3] = {c.red, c.green, c.blue};
        for (int p = 0; p < 3; ++p)
            planes[p][i] = uint8_t(std::min<int>((component[p] * c.brightness) >> 8, kMaxLevel));
    }
    // Report layout: 0xFF, target driver, register group, 0, data. Each plane goes to both
    // drivers (0x22, 0x44), LEDs 0-6 to the first register group of the plane, 7-12 to the second.
    static constexpr uint8_t kGroups[3][2] = {{0xAA, 0xAD}, {0xAB, 0xAE}, {0xAC, 0xAF}};
    std::array<std::array<uint8_t, kLightReportLength>, kLightReportsPerFrame> reports{};
    size_t r = 0;
    for (int plane = 0; plane < 3; ++plane) {
        for (uint8_t target : {uint8_t(0x22), uint8_t(0x44)}) {
            for (int half = 0; half < 2; ++half) {
                auto& report = reports[r++];
                report[0] = 0xFF;
                report[1] = target;
                report[2] = kGroups[plane][half];
                report[3] = 0;
                const int first = half == 0 ? 0 : 7;
                const int count = half == 0 ? 7 : 6;
                std::memcpy(&report[4], &planes[plane][first], size_t(count));
            }
        }
    }
    return reports;
}

void CVantikHS6533Device::PushLightingFrame()
{
    if (!m_lightingControl.load())
        return;
    std::vector<LedColour> leds;
    uint64_t generation = 0;
    if (!TakeChangedColours(leds, generation))
        return;
    UpdatePreview(leds);
    if (!m_transport.isReady() || !m_io.Answering()) {
        m_lastPushedGeneration = generation;
        return;
    }
    // After a failed frame the colours go out again once the pause is over.
    if (lighting::NowMs() < m_frameRetryAtMs)
        return;
    // Straight to the command channel's control pipe, outside the transport and its locks: the
    // reports are no commands and have no reply. On the I/O worker, in turn with the commands.
    // Only the reports that differ from what the headset holds go out: a wave that moves one
    // plane, or a still colour, costs a few reports a frame instead of twelve.
    PostFrame([reports = BuildLightReports(leds), sent = m_sentReports, epoch = m_lightEpoch](CommandTransport& t) {
        hid::HidChannel& channel = t.channelA();
        if (sent->epoch != epoch) {
            sent->epoch = epoch;
            sent->known.fill(false);
        }
        if (!t.isReady() || !channel.isOpen())
            return IoResult{0};
        for (size_t i = 0; i < reports.size(); ++i) {
            if (sent->known[i] && sent->reports[i] == reports[i])
                continue;
            sent->known[i] = false;
            if (!channel.setOutputReport(reports[i].data(), kLightReportLength))
                return IoResult{0};  // sent again after a pause
            sent->reports[i] = reports[i];
            sent->known[i] = true;
        }
        return IoResult{1};
    }, generation);
}

void CVantikHS6533Device::RenderPadWave()
{
    const LightState s = GetLightState();
    if (s.multicolour) {
        m_phase = lighting::Step(s.direction, lighting::kWheelSize, m_phase, 1);
        for (size_t i = 0; i < m_render.size(); ++i) {
            const lighting::Rgb rgb = lighting::ColourWheel()[(m_phase + 1 + 16 * i) % lighting::kWheelSize];
            m_render[i] = {rgb.red, rgb.green, rgb.blue, 255};
        }
        return;
    }
    // The 96-step curve: the breathing curve taken at 96 points.
    constexpr int kSteps = 96;
    m_phase = lighting::Step(s.direction, kSteps, m_phase, 3);
    for (size_t i = 0; i < m_render.size(); ++i) {
        const int step = int((m_phase + 1 + 10 * i) % kSteps);
        const uint8_t level = lighting::BreathingCurve()[size_t(step * lighting::kBreathingSteps / kSteps)];
        m_render[i] = {s.red, s.green, s.blue, level};
    }
}

void CVantikHS6533Device::RenderMode(uint8_t mode)
{
    RenderPadTable(mode);
}

void CVantikHS6533Device::MarkRingLeds()
{
    MarkRingOverLedList();
}

bool CVantikHS6533Device::IsStillMode(uint8_t mode) const
{
    return IsPadTableStill(mode);
}

// --- Audio side ---

void CVantikHS6533Device::StartAudio()
{
    // Loaded once per headset and never unloaded: nothing may call into freed code.
    if (!m_lib)
        m_lib = std::make_unique<OsConfLibrary>();
    if (!m_lib->Load()) {
        qCDebug(tesselDebug) << "osConfLib:" << m_lib->error();
        UpdateAvailability();
        return;
    }
    m_audioReady = true;
    if (m_lib->ConfLibInit() != 0)
        ShowMessage(QStringLiteral("ConfLibInit called failed!"), false);
    if (!m_soundCards) {
        m_soundCards = new SoundCardMonitor(this);
        connect(m_soundCards, &SoundCardMonitor::cardsChanged, this, [this] {
            RefreshAudioDevices(true);
            ShowAudioPanels();
        });
        m_soundCards->start();
    }
    RefreshAudioDevices(true);
}

void CVantikHS6533Device::RefreshAudioDevices(bool pushProfile)
{
    if (!m_audioReady) {
        UpdateAvailability();
        return;
    }
    m_lib->CreateDeviceList();
    const bool chosen = ChooseDevices();
    ReadFeatures();
    UpdateAvailability();
    if (!chosen)
        return;
    InitialiseProperties();
    ReadAudioValues();
    if (pushProfile)
        ApplyProfileSound();
}

bool CVantikHS6533Device::ChooseDevices()
{
    m_haveOutput = m_haveInput = false;
    int count = 0;
    if (m_lib->GetDeviceCount(0, &count) != 0 || count < 1)
        return false;
    std::vector<OsConfDevice> playback;
    for (int i = 0; i < count; ++i) {
        OsConfDevice d{};
        if (m_lib->GetDeviceById(0, i, &d) == 0)
            playback.push_back(d);
    }
    // The headset's own playback device first, then the kinds a headset may also present as.
    for (uint32_t type : {1u, 12u, 7u, 4u}) {
        const auto it = std::find_if(playback.begin(), playback.end(),
                                     [type](const OsConfDevice& d) { return d.type == type && d.flag == 1; });
        if (it != playback.end()) {
            m_output = *it;
            m_haveOutput = true;
            break;
        }
    }
    int captureCount = 0;
    if (m_lib->GetDeviceCount(1, &captureCount) == 0) {
        for (int i = 0; i < captureCount && !m_haveInput; ++i) {
            OsConfDevice d{};
            if (m_lib->GetDeviceById(1, i, &d) == 0 && d.type == 2) {
                m_input = d;
                m_haveInput = true;
            }
        }
    }
    return m_haveOutput || m_haveInput;
}

int CVantikHS6533Device::ReadProperty(const OsConfDevice& device, const char* name, QString& text, const void* second,
                                      size_t secondLength)
{
    std::array<char, kValueBuffer> value{};
    std::array<char, kValueBuffer> extra{};
    void* first = value.data();
    void* secondPtr = extra.data();
    if (second)
        std::memcpy(extra.data(), second, std::min<size_t>(secondLength, extra.size()));
    const int r = m_lib->PropertyControl(device, name, &first, second ? &secondPtr : nullptr, 0);
    if (r == 0) {
        value.back() = 0;
        text = QString::fromUtf8(value.data());
    }
    return r;
}

int CVantikHS6533Device::WriteInt(const OsConfDevice& device, const char* name, int32_t v, const void* second,
                                  size_t secondLength)
{
    std::array<char, kValueBuffer> value{};
    std::array<char, kValueBuffer> extra{};
    std::memcpy(value.data(), &v, sizeof v);
    if (second)
        std::memcpy(extra.data(), second, std::min<size_t>(secondLength, extra.size()));
    void* first = value.data();
    void* secondPtr = extra.data();
    return m_lib->PropertyControl(device, name, &first, second ? &secondPtr : nullptr, 1);
}

int CVantikHS6533Device::WriteFloat(const OsConfDevice& device, const char* name, float v, int32_t channel)
{
    std::array<char, kValueBuffer> value{};
    std::array<char, kValueBuffer> extra{};
    std::memcpy(value.data(), &v, sizeof v);
    std::memcpy(extra.data(), &channel, sizeof channel);
    void* first = value.data();
    void* secondPtr = extra.data();
    return m_lib->PropertyControl(device, name, &first, &secondPtr, 1);
}

void CVantikHS6533Device::ReadFeatures()
{
    auto read = [this](const OsConfDevice& device, std::array<int, 3>& out, int& missing, bool& listed) {
        QString text;
        ReadProperty(device, "GetSupportFeature", text);
        const QStringList fields = text.split(QLatin1Char(','));
        if (fields.size() < 7) {
            ShowMessage(QStringLiteral("UpdateAPOAvailable failed!"), false);
            return;
        }
        out = {fields[0].trimmed().toInt(), fields[4].trimmed().toInt(), fields[6].trimmed().toInt()};
        missing = fields[1].trimmed().toInt();
        listed = true;
    };
    m_outputFeatures = m_inputFeatures = {};
    m_outputMissing = m_inputMissing = 0;
    m_outputListed = m_inputListed = false;
    if (m_haveOutput)
        read(m_output, m_outputFeatures, m_outputMissing, m_outputListed);
    if (m_haveInput)
        read(m_input, m_inputFeatures, m_inputMissing, m_inputListed);
}

void CVantikHS6533Device::UpdateAvailability()
{
    // One line per panel: what is missing first, and what to install for it.
    auto reason = [](int missing) {
        if ((missing & kMissingPipeWire) && (missing & kMissingPitchShifter))
            return QStringLiteral("hs_sound_need_pipewire_pitch_text");
        if (missing & kMissingPipeWire)
            return QStringLiteral("hs_sound_need_pipewire_text");
        if (missing & kMissingPitchShifter)
            return QStringLiteral("hs_sound_need_pitch_text");
        if (missing & kMissingEffectGraph)
            return QStringLiteral("hs_sound_need_graph_text");
        return QStringLiteral("hs_sound_not_offered_text");
    };
    if (!m_audioReady) {
        const QString why = QStringLiteral("hs_sound_no_library_text");
        m_available = {why, why, why};
        return;
    }
    const QString noCard = QStringLiteral("hs_sound_no_card_text");
    m_available = {};
    // A feature list that could not be read says nothing either way: the feature stays usable.
    if (!m_haveOutput)
        m_available.eq = noCard;
    else if (m_outputListed && !(m_outputFeatures[0] & kEqualiserFeature))
        m_available.eq = reason(m_outputMissing);
    if (!m_haveInput) {
        m_available.mic = m_available.magic = noCard;
    } else if (m_inputListed && !(m_inputFeatures[0] & kMagicVoiceFeature)) {
        m_available.magic = reason(m_inputMissing);
    }
}

void CVantikHS6533Device::InitialiseProperties()
{
    QString text;
    // A property the chip cannot read yet is given 0, so later reads find a value.
    auto init = [&](bool output, const char* name, const void* second = nullptr, size_t length = 0) {
        if (output ? !m_haveOutput : !m_haveInput)
            return;
        const OsConfDevice& d = output ? m_output : m_input;
        if (ReadProperty(d, name, text, second, length) != 0)
            WriteInt(d, name, 0, second, length);
    };
    const int32_t surround[3] = {4, -1, 0};
    const int32_t allChannels = -1, sideTone = 0;
    init(true, "VirtualSurroundEffectControl", surround, sizeof surround);
    init(false, "Enable_ENC_LFX");
    init(false, "VolumeControl", &allChannels, sizeof allChannels);
    init(true, "Enable_EQ_GFX");
    for (int b = 1; b <= 10; ++b)
        init(true, QStringLiteral("EQ_Slider%1").arg(b).toLatin1().constData());
    init(true, "Enable_RFX_GFX");
    init(true, "RFX_ENVIRONMENT");
    init(true, "RFX_ROOMSIZE");
    init(false, "MuteControl");
    init(false, "VolumeScalarControl", &allChannels, sizeof allChannels);
    init(false, "AAVolumeControl", &sideTone, sizeof sideTone);
    init(false, "AAMuteControl");
    init(false, "AAVolumeScalarControl", &sideTone, sizeof sideTone);
    init(false, "Enable_MAGICVOICE");
    init(false, "MagicVoice_Selection");
}

void CVantikHS6533Device::ReadAudioValues()
{
    QString text;
    AudioMirror& m = m_mirror;
    if (m_haveInput) {
        if (ReadProperty(m_input, "GetMaxVol", text) == 0)
            m.micMax = twoDecimals(text);
        if (ReadProperty(m_input, "GetMinVol", text) == 0)
            m.micMin = twoDecimals(text);
        if (ReadProperty(m_input, "VolumeControl", text) == 0)
            m.micLevel = twoDecimals(text);
        ReadProperty(m_input, "GetVolStep", text);
        if (ReadProperty(m_input, "MuteControl", text) == 0)
            m.micMute = text.trimmed().toInt() != 0;
        if (ReadProperty(m_input, "VolumeScalarControl", text) == 0)
            m.micPercent = qRound(text.trimmed().toDouble() * 100);
        m.sideToneAvailable = ReadProperty(m_input, "GetAAMaxVol", text) == 0;
        if (m.sideToneAvailable) {
            m.sideMax = twoDecimals(text);
            if (ReadProperty(m_input, "GetAAMinVol", text) == 0)
                m.sideMin = twoDecimals(text);
            ReadProperty(m_input, "GetAAVolStep", text);
            if (ReadProperty(m_input, "AAVolumeControl", text) == 0)
                m.sideLevel = twoDecimals(text);
            if (ReadProperty(m_input, "AAMuteControl", text) == 0)
                m.sideToneMute = text.trimmed().toInt() != 0;
            if (ReadProperty(m_input, "AAVolumeScalarControl", text) == 0)
                m.sideTonePercent = qRound(text.trimmed().toDouble() * 100);
        }
    }
    if (m_haveOutput) {
        for (int b = 0; b < 10; ++b) {
            if (ReadProperty(m_output, QStringLiteral("EQ_Slider%1").arg(b + 1).toLatin1().constData(), text) == 0)
                m.eqBands[size_t(b)] = text.trimmed().toInt();
        }
    }
    m.magicKnown = false;
    m.magicSelectionKnown = false;
    if (m_haveInput) {
        m.magicKnown = ReadProperty(m_input, "Enable_MAGICVOICE", text) == 0 && (m_inputFeatures[0] & kMagicVoiceFeature);
        if (m.magicKnown)
            m.magicOn = text.trimmed().toInt() != 0;
        if (ReadProperty(m_input, "MagicVoice_Selection", text) == 0) {
            const int selection = text.trimmed().toInt();
            m.magicSelectionKnown = selection >= 0 && selection <= 3;
            if (m.magicSelectionKnown)
                m.magicSelection = selection;
        }
    }
}

void CVantikHS6533Device::StoreChipSound()
{
    const AudioMirror& m = m_mirror;
    const bool input = m_haveInput;
    StoreStages([&](HeadsetSystemSetStages& s) {
        if (input) {
            s.micInSelect = m.micMute ? 0 : 1;
            s.micInValue = m.micPercent;
            if (m.sideToneAvailable) {
                s.micMonitorSelect = m.sideToneMute ? 0 : 1;
                s.micMonitorValue = m.sideTonePercent;
            }
        }
        if (m.magicKnown)
            s.magicEnable = m.magicOn ? 1 : 0;
        if (m.magicSelectionKnown)
            s.magicType = m.magicSelection + 1;
    });
    SaveProfile();
}

std::vector<int> CVantikHS6533Device::ProfileEqCurve(const HeadsetSystemSetStages& s)
{
    if (s.eqType >= 1 && s.eqType <= eq::kBuiltinPresets)
        return m_profile.GetEqValues(s.eqType);
    if (s.eqType != int(CHs6533Profiledata::kCustomEqPreset))
        return {};
    // The custom preset plays the curve it was left with; a profile from before that curve was
    // kept plays its chosen named preset.
    std::vector<int> curve = m_profile.GetCustomCurve();
    if (curve.empty() && s.customEqSelectIndex >= 0 && s.customEqSelectIndex < m_profile.GetCustomEqNames().size())
        curve = m_profile.GetCustomEqValues(s.customEqSelectIndex);
    return curve;
}

std::vector<int> CVantikHS6533Device::ShownBands() const
{
    std::vector<int> bands(m_mirror.eqBands.begin(), m_mirror.eqBands.end());
    if (m_voice) {
        for (int b = 0; b < 10; ++b)
            bands[size_t(b)] = m_voice->GetEqBand(b);
    }
    return bands;
}

void CVantikHS6533Device::ApplyProfileSound()
{
    if (!m_audioReady || (!m_haveOutput && !m_haveInput) || m_profile.GetProfilePath().isEmpty())
        return;
    // A profile that never held sound values would otherwise mute the microphone (all zeros):
    // it takes what the chip has.
    if (!m_profile.HasSystemSetStages()) {
        StoreChipSound();
        return;
    }
    const HeadsetSystemSetStages s = m_profile.GetSystemSetStages();
    if (m_haveOutput) {
        const std::vector<int> curve = ProfileEqCurve(s);
        if (!curve.empty())
            WriteBands(curve);
    }
    if (!m_haveInput)
        return;
    AudioMirror& m = m_mirror;
    QString text;
    const bool micMute = s.micInSelect == 0;
    if (WriteInt(m_input, "MuteControl", micMute ? 1 : 0) == 0)
        m.micMute = micMute;
    const int mic = std::clamp(s.micInValue, 0, 100);
    if (WriteFloat(m_input, "VolumeScalarControl", float(mic) / 100.0f, -1) == 0) {
        m.micPercent = mic;
        if (ReadProperty(m_input, "VolumeControl", text) == 0)
            m.micLevel = twoDecimals(text);
    }
    if (m.sideToneAvailable) {
        const int32_t channel = 0;
        const bool sideMute = s.micMonitorSelect == 0;
        if (WriteInt(m_input, "AAMuteControl", sideMute ? 1 : 0) == 0)
            m.sideToneMute = sideMute;
        const int side = std::clamp(s.micMonitorValue, 0, 100);
        if (WriteFloat(m_input, "AAVolumeScalarControl", float(side) / 100.0f, channel) == 0) {
            m.sideTonePercent = side;
            if (ReadProperty(m_input, "AAVolumeControl", text, &channel, sizeof channel) == 0)
                m.sideLevel = twoDecimals(text);
        }
    }
    if (!m_available.magic.isEmpty())
        return;
    const bool magicOn = s.magicEnable != 0;
    if (WriteInt(m_input, "Enable_MAGICVOICE", magicOn ? 1 : 0) == 0) {
        if (magicOn)
            WriteInt(m_input, "Enable_MICECHO", 0);
        m.magicOn = magicOn;
    }
    if (s.magicType >= 1 && s.magicType <= 4 && WriteInt(m_input, "MagicVoice_Selection", s.magicType - 1) == 0)
        m.magicSelection = s.magicType - 1;
}

void CVantikHS6533Device::StoreStages(const std::function<void(HeadsetSystemSetStages&)>& change)
{
    HeadsetSystemSetStages s = m_profile.GetSystemSetStages();
    change(s);
    m_profile.SetSystemSetStages(s);
}

void CVantikHS6533Device::ShowAudioPanels()
{
    HeadsetSystemSetStages s = m_profile.GetSystemSetStages();
    if (m_voice) {
        m_voice->RemoveAllEqNames();
        const QStringList names = m_profile.GetCustomEqNames();
        for (const QString& name : names)
            m_voice->AddEqName(name);
        const int preset = s.eqType >= 1 && s.eqType <= 13 ? s.eqType : 0;
        m_voice->SelectEqPreset(preset);
        m_voice->SetCustomEqAreaEnabled(preset == 13);
        if (preset == 13) {
            const int i = s.customEqSelectIndex;
            m_voice->SelectEqName(i >= 0 && i < names.size() ? i : -1);
            // The curve the custom preset plays, which may be a named preset's bands moved since.
            const std::vector<int> curve = ProfileEqCurve(s);
            ShowBands(curve.empty() ? std::vector<int>(m_mirror.eqBands.begin(), m_mirror.eqBands.end()) : curve);
        } else if (preset != 0) {
            m_voice->SelectEqName(-1);
            ShowBands(m_profile.GetEqValues(preset));
        }
        m_voice->SetMicOn(s.micInSelect != 0);
        m_voice->SetMicLevel(s.micInValue);
        m_voice->SetSideToneOn(s.micMonitorSelect != 0);
        m_voice->SetSideToneLevel(s.micMonitorValue);
        m_voice->SetMicLevelText(m_mirror.micLevel);
        m_voice->SetSideToneLevelText(m_mirror.sideLevel);
        m_voice->SetSideToneAvailable(!m_haveInput || m_mirror.sideToneAvailable);
        m_voice->SetEqUnavailable(m_available.eq);
        m_voice->SetMicUnavailable(m_available.mic);
    }
    if (m_magic) {
        m_magic->SetMagicUnavailable(m_available.magic);
        m_magic->SetMagicOn(s.magicEnable != 0);
        m_magic->SelectMagicEffect(s.magicType);
    }
}

void CVantikHS6533Device::ShowBands(const std::vector<int>& bands)
{
    if (!m_voice)
        return;
    for (size_t b = 0; b < bands.size() && b < 10; ++b)
        m_voice->SetEqBand(int(b), bands[b]);
}

bool CVantikHS6533Device::WriteBands(const std::vector<int>& bands)
{
    // An equaliser the machine cannot apply is left alone; the profile keeps the curve for later.
    if (!m_audioReady || !m_haveOutput || !m_available.eq.isEmpty())
        return false;
    bool ok = WriteInt(m_output, "Enable_EQ_GFX", 1) == 0;
    for (size_t b = 0; b < bands.size() && b < 10; ++b) {
        const bool written =
            WriteInt(m_output, QStringLiteral("EQ_Slider%1").arg(b + 1).toLatin1().constData(), bands[b]) == 0;
        if (written)
            m_mirror.eqBands[b] = bands[b];
        ok = ok && written;
    }
    return ok;
}

// --- Audio property operations ---

bool CVantikHS6533Device::RefusedAsUnavailable(const QString& why)
{
    if (why.isEmpty())
        return false;
    // The panel shows the profile's values again; nothing is written or stored.
    ShowAudioPanels();
    return true;
}

void CVantikHS6533Device::SaveProfileAfter(bool dragging)
{
    // A drag moves a slider through many values; writing and syncing the file at each would
    // stall the interface. The release saves; a drag that stops without one saves soon after.
    if (dragging)
        SaveProfileSoon();
    else
        SaveProfile();
}

bool CVantikHS6533Device::SetMicVolume(int percent, bool dragging)
{
    if (RefusedAsUnavailable(m_available.mic))
        return false;
    percent = std::clamp(percent, 0, 100);
    if (!m_audioReady || !m_haveInput || WriteFloat(m_input, "VolumeScalarControl", float(percent) / 100.0f, -1) != 0) {
        if (m_voice)
            m_voice->SetMicLevel(m_mirror.micPercent);
        return false;
    }
    m_mirror.micPercent = percent;
    QString text;
    if (ReadProperty(m_input, "VolumeControl", text) == 0) {
        m_mirror.micLevel = twoDecimals(text);
        if (m_voice)
            m_voice->SetMicLevelText(m_mirror.micLevel);
    }
    StoreStages([percent](HeadsetSystemSetStages& s) { s.micInValue = percent; });
    SaveProfileAfter(dragging);
    return true;
}

bool CVantikHS6533Device::ToggleMicMute()
{
    if (RefusedAsUnavailable(m_available.mic))
        return false;
    const bool mute = !m_mirror.micMute;
    if (!m_audioReady || !m_haveInput || WriteInt(m_input, "MuteControl", mute ? 1 : 0) != 0) {
        if (m_voice)
            m_voice->SetMicOn(!m_mirror.micMute);
        return false;
    }
    m_mirror.micMute = mute;
    if (m_voice)
        m_voice->SetMicOn(!mute);
    StoreStages([mute](HeadsetSystemSetStages& s) { s.micInSelect = mute ? 0 : 1; });
    SaveProfile();
    return true;
}

bool CVantikHS6533Device::SetSideToneVolume(int percent, bool dragging)
{
    if (RefusedAsUnavailable(m_available.mic))
        return false;
    percent = std::clamp(percent, 0, 100);
    const int32_t channel = 0;
    if (!m_audioReady || !m_haveInput ||
        WriteFloat(m_input, "AAVolumeScalarControl", float(percent) / 100.0f, channel) != 0) {
        if (m_voice)
            m_voice->SetSideToneLevel(m_mirror.sideTonePercent);
        return false;
    }
    m_mirror.sideTonePercent = percent;
    QString text;
    if (ReadProperty(m_input, "AAVolumeControl", text, &channel, sizeof channel) == 0) {
        m_mirror.sideLevel = twoDecimals(text);
        if (m_voice)
            m_voice->SetSideToneLevelText(m_mirror.sideLevel);
    }
    StoreStages([percent](HeadsetSystemSetStages& s) { s.micMonitorValue = percent; });
    SaveProfileAfter(dragging);
    return true;
}

bool CVantikHS6533Device::ToggleSideToneMute()
{
    if (RefusedAsUnavailable(m_available.mic))
        return false;
    const bool mute = !m_mirror.sideToneMute;
    if (!m_audioReady || !m_haveInput || WriteInt(m_input, "AAMuteControl", mute ? 1 : 0) != 0) {
        if (m_voice)
            m_voice->SetSideToneOn(!m_mirror.sideToneMute);
        return false;
    }
    m_mirror.sideToneMute = mute;
    if (m_voice)
        m_voice->SetSideToneOn(!mute);
    StoreStages([mute](HeadsetSystemSetStages& s) { s.micMonitorSelect = mute ? 0 : 1; });
    SaveProfile();
    return true;
}

void CVantikHS6533Device::SelectEqPreset(int preset)
{
    if (preset < 1 || preset > 13)
        return;
    m_mirror.eqPreset = preset;
    if (preset == int(CHs6533Profiledata::kCustomEqPreset)) {
        StoreStages([](HeadsetSystemSetStages& s) { s.eqType = 13; });
        if (m_voice) {
            m_voice->SelectEqPreset(13);
            m_voice->SetCustomEqAreaEnabled(true);
            // Coming back to the custom preset brings back the named preset chosen last.
            const int stored = m_profile.GetSystemSetStages().customEqSelectIndex;
            if (m_voice->GetEqSelection() < 0 && stored >= 0 && stored < m_voice->GetEqNameCount())
                m_voice->SelectEqName(stored);
        }
        if (m_voice && m_voice->GetEqSelection() >= 0) {
            ApplyCustomEqSelection();
        } else {
            // No named preset chosen: the curve the custom preset was left with plays again (or,
            // the first time, what the sliders show becomes it).
            std::vector<int> curve = m_profile.GetCustomCurve();
            if (curve.empty())
                curve = ShownBands();
            ShowBands(curve);
            WriteBands(curve);
            m_profile.SetCustomCurve(curve);
        }
        SaveProfile();
        return;
    }
    const eq::Curve& curve = eq::builtinCurve(preset);
    const std::vector<int> bands(curve.begin(), curve.end());
    // The preset is the user's choice even when the chip is away: it is stored either way and
    // reaches the chip with the next change or connection.
    WriteBands(bands);
    ShowBands(bands);
    m_profile.SetEqValues(preset, bands);
    StoreStages([preset](HeadsetSystemSetStages& s) { s.eqType = preset; });
    SaveProfile();
    if (m_voice) {
        m_voice->SelectEqPreset(preset);
        m_voice->SetCustomEqAreaEnabled(false);
    }
}

void CVantikHS6533Device::ApplyCustomEqSelection()
{
    const int i = m_voice ? m_voice->GetEqSelection() : -1;
    if (i < 0)
        return;
    const std::vector<int> bands = m_profile.GetCustomEqValues(i);
    ShowBands(bands);
    WriteBands(bands);
    m_profile.SetCustomCurve(bands);
    StoreStages([i](HeadsetSystemSetStages& s) {
        s.eqType = 13;
        s.customEqSelectIndex = i;
    });
    SaveProfile();
}

bool CVantikHS6533Device::SetEqBand(int band, int value, bool dragging)
{
    if (band < 0 || band > 9 || RefusedAsUnavailable(m_available.eq))
        return false;
    if (m_voice && m_voice->SelectedEqPreset() != 13) {
        m_voice->SelectEqPreset(13);
        m_voice->SelectEqName(-1);
        m_voice->SetCustomEqAreaEnabled(true);
    }
    m_mirror.eqPreset = 13;
    if (!m_audioReady || !m_haveOutput ||
        WriteInt(m_output, QStringLiteral("EQ_Slider%1").arg(band + 1).toLatin1().constData(), value) != 0) {
        if (m_voice)
            m_voice->SetEqBand(band, m_mirror.eqBands[size_t(band)]);
        return false;
    }
    m_mirror.eqBands[size_t(band)] = value;
    // The band's value label follows the handle, also while it is dragged.
    if (m_voice)
        m_voice->SetEqBand(band, value);
    // The moved curve is what the custom preset plays from now on, also after a restart or a
    // chip that lost it; a named preset no longer chosen is not brought back in its place.
    m_profile.SetCustomCurve(ShownBands());
    const bool named = m_voice && m_voice->GetEqSelection() >= 0;
    StoreStages([named](HeadsetSystemSetStages& s) {
        s.eqType = 13;
        if (!named)
            s.customEqSelectIndex = -1;
    });
    SaveProfileAfter(dragging);
    return true;
}

bool CVantikHS6533Device::SetMagicEnabled(bool on)
{
    if (RefusedAsUnavailable(m_available.magic))
        return false;
    if (!m_audioReady || !m_haveInput || WriteInt(m_input, "Enable_MAGICVOICE", on ? 1 : 0) != 0) {
        if (m_magic)
            m_magic->SetMagicOn(m_mirror.magicOn);
        return false;
    }
    // The microphone echo and the voice changer do not go together.
    if (on)
        WriteInt(m_input, "Enable_MICECHO", 0);
    m_mirror.magicOn = on;
    if (m_magic)
        m_magic->SetMagicOn(on);
    StoreStages([on](HeadsetSystemSetStages& s) { s.magicEnable = on ? 1 : 0; });
    SaveProfile();
    return true;
}

bool CVantikHS6533Device::SetMagicEffect(int effect)
{
    if (effect < 1 || effect > 4 || RefusedAsUnavailable(m_available.magic))
        return false;
    if (m_magic)
        m_magic->SelectMagicEffect(effect);
    if (!m_audioReady || !m_haveInput || WriteInt(m_input, "MagicVoice_Selection", effect - 1) != 0) {
        if (m_magic)
            m_magic->SelectMagicEffect(m_mirror.magicSelection + 1);
        return false;
    }
    m_mirror.magicSelection = effect - 1;
    StoreStages([effect](HeadsetSystemSetStages& s) { s.magicType = effect; });
    SaveProfile();
    return true;
}

int CVantikHS6533Device::SaveCustomEqPreset()
{
    if (!m_voice)
        return -1;
    std::vector<int> bands;
    for (int b = 0; b < 10; ++b)
        bands.push_back(m_voice->GetEqBand(b));
    const QString name = m_voice->GetEqName().trimmed();
    if (name.isEmpty()) {
        const int i = m_voice->GetEqSelection();
        if (i < 0)
            return -1;
        m_profile.SetCustomEqValues(i, bands);
        m_profile.SetCustomCurve(bands);
        StoreStages([i](HeadsetSystemSetStages& s) { s.customEqSelectIndex = i; });
        SaveProfile();
        return 1;
    }
    const int count = m_voice->GetEqNameCount();
    if (count >= kMaxCustomEqNames)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (m_voice->GetEqNameAt(i).compare(name, Qt::CaseInsensitive) == 0)
            return 0;
    }
    QStringList names = m_profile.GetCustomEqNames();
    // The combo and the stored list go together; should they ever differ, the combo wins.
    while (names.size() > count)
        names.removeLast();
    names.append(name);
    const int slot = int(names.size()) - 1;
    m_voice->AddEqName(name);
    m_voice->SelectEqName(slot);
    m_voice->SetCustomEqAreaEnabled(true);
    m_profile.SetCustomEqValues(slot, bands);
    m_profile.SetCustomCurve(bands);
    m_profile.SetCustomEqNames(names);
    StoreStages([slot](HeadsetSystemSetStages& s) {
        s.eqType = 13;
        s.customEqSelectIndex = slot;
    });
    SaveProfile();
    return 1;
}

void CVantikHS6533Device::DeleteCustomEqPreset()
{
    if (!m_voice)
        return;
    const int i = m_voice->GetEqSelection();
    if (i < 0)
        return;
    QStringList names = m_profile.GetCustomEqNames();
    m_voice->RemoveEqName(i);
    if (i < names.size())
        names.removeAt(i);
    m_profile.SetCustomEqNames(names);
    // Each preset keeps its own bands: the slots after the deleted one move down with their names.
    m_profile.RemoveCustomEqValues(i);
    if (!names.isEmpty()) {
        m_voice->SelectEqName(0);
        StoreStages([](HeadsetSystemSetStages& s) { s.customEqSelectIndex = 0; });
        const std::vector<int> bands = m_profile.GetCustomEqValues(0);
        ShowBands(bands);
        if (m_mirror.eqPreset == 13 || m_voice->SelectedEqPreset() == 13) {
            WriteBands(bands);
            m_profile.SetCustomCurve(bands);
        }
        SaveProfile();
        return;
    }
    // No named preset left: back to the first built-in curve.
    StoreStages([](HeadsetSystemSetStages& s) {
        s.eqType = 1;
        s.customEqSelectIndex = 0;
    });
    SelectEqPreset(1);
}

// --- Notifications of the sound panels and the page's function tabs ---

bool CVantikHS6533Device::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    // The panels every page shares (the profile panel and the like) come first.
    if (CVantikUSBDevice::HandlePanelNotify(msg))
        return true;
    const QString name = msg.pSender->objectName();
    const QString& type = msg.sType;
    const auto [prefix, index] = ui::SplitTrailingNumber(name);
    const bool select = type == QLatin1String(ui::kNotifySelectChanged);
    // A handle still held reports "movevaluechanged"; its release reports "valuechanged".
    const bool dragging = type == QLatin1String(ui::kNotifyMoveValueChanged);
    const bool value = type == QLatin1String(ui::kNotifyValueChanged) || dragging;

    if (select && name.startsWith(QLatin1String("device_tab_"))) {
        // Which function page each tab of the headset's page shows.
        if (msg.wParam == 0)
            return true;
        auto* functions = qobject_cast<QStackedWidget*>(FindPanelControl(QStringLiteral("device_function_switch")));
        auto* keys = qobject_cast<QStackedWidget*>(FindPanelControl(QStringLiteral("device_key_function_switch")));
        if (name == QLatin1String("device_tab_profile")) {
            if (functions)
                functions->setCurrentIndex(2);
            return true;
        }
        const int page = name == QLatin1String("device_tab_sound") ? 1 : name == QLatin1String("device_tab_magic") ? 2 : 0;
        if (functions)
            functions->setCurrentIndex(0);
        if (keys)
            keys->setCurrentIndex(page);
        return true;
    }
    // The equaliser's controls are disabled while this machine cannot apply it; a notification
    // that still arrives leaves the profile as it is.
    const bool eqControl = prefix == QLatin1String("6533_eq_option_") || name == QLatin1String("custom_eq_name_combo") ||
                           name == QLatin1String("hs_EQ_btn_save") || name == QLatin1String("hs_EQ_btn_delete");
    if (eqControl && (select || type == QLatin1String(ui::kNotifyItemSelect) || type == QLatin1String(ui::kNotifyClick)) &&
        RefusedAsUnavailable(m_available.eq))
        return true;
    if (select && prefix == QLatin1String("6533_eq_option_")) {
        // In the exclusive group the option losing the selection notifies too.
        if (msg.wParam != 0)
            SelectEqPreset(index);
        return true;
    }
    if (select && name == QLatin1String("6533_MicIn_option")) {
        ToggleMicMute();
        return true;
    }
    if (select && name == QLatin1String("6533_MicMoniter_option")) {
        ToggleSideToneMute();
        return true;
    }
    if (select && name == QLatin1String("magic_enable_option")) {
        const bool on = m_magic ? m_magic->IsMagicOn() : msg.wParam != 0;
        if (m_magic)
            m_magic->SetMagicAreaEnabled(on);
        SetMagicEnabled(on);
        return true;
    }
    if (select && prefix == QLatin1String("magic_option_")) {
        if (msg.wParam != 0 && index > 0)
            SetMagicEffect(index);
        return true;
    }
    if (value && prefix == QLatin1String("6533_eq_hz_slider_")) {
        SetEqBand(index, int(msg.wParam), dragging);
        return true;
    }
    if (value && name == QLatin1String("6533_MicIn_slider")) {
        SetMicVolume(int(msg.wParam), dragging);
        return true;
    }
    if (value && name == QLatin1String("6533_MicMoniter_slider")) {
        SetSideToneVolume(int(msg.wParam), dragging);
        return true;
    }
    if (type == QLatin1String(ui::kNotifyItemSelect) && name == QLatin1String("custom_eq_name_combo")) {
        ApplyCustomEqSelection();
        return true;
    }
    if (type == QLatin1String(ui::kNotifyClick) && name == QLatin1String("hs_EQ_btn_save")) {
        const int saved = SaveCustomEqPreset();
        if (saved == 0)
            ShowMessage(QStringLiteral("message_text_5"), true);
        else if (saved < 0 && m_voice)
            ShowMessage(m_voice->GetEqName().trimmed().isEmpty() ? QStringLiteral("hs_eq_need_name_text")
                                                                 : QStringLiteral("hs_eq_full_text"),
                        true);
        return true;
    }
    if (type == QLatin1String(ui::kNotifyClick) && name == QLatin1String("hs_EQ_btn_delete")) {
        const int i = m_voice ? m_voice->GetEqSelection() : -1;
        if (i < 0) {
            ShowMessage(QStringLiteral("hs_eq_delete_none_text"), true);
            return true;
        }
        const QString question =
            ui::Language::instance().Text(QStringLiteral("hs_eq_delete_confirm_text")).arg(m_voice->GetEqNameAt(i));
        if (Confirm(question))
            DeleteCustomEqPreset();
        return true;
    }
    return false;
}
