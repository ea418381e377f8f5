#include "devices/CVantikMouseDevice.h"
#include "ui/IndexedName.h"

#include "devices/LightingTables.h"
#include "hid/DebugLog.h"
#include "keytables/DefaultKeyTables.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "protocol/MacroImage.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QAbstractSlider>
#include <QColorDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>

#include <algorithm>
#include <random>

namespace {

// The seven LED groups the effects light together; -1 ends a group of two.
constexpr int kGroups[7][3] = {{0, 13, -1}, {1, 12, -1}, {2, 11, -1}, {3, 10, -1},
                               {4, 9, -1},  {5, 8, -1},  {6, 14, 7}};
constexpr int kShootFiles = 4;
constexpr uint8_t kMacroTypeA = 0x70;
constexpr uint8_t kMacroTypeB = 0x71;

QString controlName(const char* prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

int macroCount(const QString& folder)
{
    const Json::Value doc = CJsonFile::ReadJson(paths::macroListFile(folder));
    if (!doc.isObject())
        return -1;
    const Json::Value& list = protocol::jsonMember(doc, "MacroInfo");
    return list.isArray() ? int(list.size()) : 0;
}

}  // namespace

CVantikMouseDevice::CVantikMouseDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 2;
    m_deviceName = QStringLiteral("ms_device_name_text");
    m_buttonSlots.fill(kNotFound);
    m_ring[0] = 1;
}

CVantikMouseDevice::~CVantikMouseDevice()
{
    ShutDown();
}

// --- Connection and settings ---

bool CVantikMouseDevice::LinkAnswers(CommandTransport& t, IoResult& result)
{
    if (!t.isWireless())
        return true;
    if (t.checkWirelessLink())
        return true;
    result.code = 0;
    result.failure = IoFailure::OutOfReach;
    return false;
}

void CVantikMouseDevice::LinkChecked(bool answers)
{
    if (m_transport.isWireless())
        ShowLinkProblem(!answers);
}

void CVantikMouseDevice::TakeLink(const IoResult& result)
{
    if (!m_transport.isWireless())
        return;
    if (result.failure == IoFailure::OutOfReach)
        ShowLinkProblem(true);
    else if (result.ok())
        ShowLinkProblem(false);
}

void CVantikMouseDevice::ShowLinkProblem(bool problem)
{
    if (m_linkProblem == problem)
        return;
    m_linkProblem = problem;
    ShowDeviceInfo();
    if (problem) {
        if (auto* status = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_status"))))
            ui::Language::instance().SetTextId(status, QStringLiteral("mouse_status_out_of_reach"));
        return;
    }
    // Back in reach (switched on again): what was changed while it was off, refused then, is
    // sent now with the rest of the profile.
    if (m_buttonSlots[0] != kNotFound)
        PushProfile();
}

void CVantikMouseDevice::ReadMouse(std::function<void()> then)
{
    if (!m_transport.isReady()) {
        then();
        return;
    }
    struct Read : IoResult {
        CommandTransport::InfoBlock info{};
        bool infoRead = false;
        std::vector<uint8_t> table;
    };
    PostIo<Read>(IoKind::Read, [](CommandTransport& t) {
        Read r;
        if (!LinkAnswers(t, r))
            return r;
        t.openSession();
        r.code = t.readInformation(r.info);
        if (r.code != 1)
            return r;
        r.infoRead = true;
        const uint32_t length = 3u * r.info[CommandTransport::kInfoKeySlots];
        r.code = t.setBlockLength(length);
        if (r.code != 1)
            return r;
        std::vector<uint8_t> table(length, 0);
        if (length > 0 && (r.code = t.readKeyTable(table.data())) != 1)
            return r;
        t.closeSession();
        r.table = std::move(table);
        r.code = 1;
        return r;
    }, [this, then = std::move(then)](Read r) {
        TakeLink(r);
        if (r.infoRead) {
            TakeInformation(r.info);
            m_sensor = MouseSensor::FromInfoBlock(m_info);
        }
        if (r.ok()) {
            m_keyTable = std::move(r.table);
            IdentifyButtons();
        }
        then();
    });
}

void CVantikMouseDevice::IdentifyButtons()
{
    const auto& defaults = keytables::mouseDefaultButtons();
    std::vector<KeySlotMemory::Triple> factory(kButtons);
    for (int j = 0; j < kButtons; ++j)
        factory[size_t(j)] = {defaults[size_t(j)].type, defaults[size_t(j)].p1, defaults[size_t(j)].p2};
    // Remembered per layout, so a button the user reassigned is still found after a restart.
    const std::vector<int> slotOf = KeySlots().Identify(factory, m_keyTable.data(), int(m_keyTable.size() / 3));
    for (int j = 0; j < kButtons; ++j)
        m_buttonSlots[size_t(j)] = slotOf[size_t(j)] == KeySlotMemory::kNone ? kNotFound : slotOf[size_t(j)];
}

void CVantikMouseDevice::OnConnected()
{
    ReadMouse([this] {
        BindDpiControls();
        ReloadProfile();
        // The mouse's own lighting and current stage (it may have been changed on the mouse
        // while Tessel was away) come back into the profile before the page shows them.
        ReadSettings();
        m_io.AfterQueued([this] {
            RefreshPanel();
            StartLightThread();
            // Then the mouse takes the profile, its own changes now included: page, profile and
            // mouse hold the same from the connection on.
            PushProfile();
        });
    });
}

profilecheck::Limits CVantikMouseDevice::ProfileLimits() const
{
    profilecheck::Limits limits = CVantikUSBDevice::ProfileLimits();
    limits.highestDpiIndex = m_sensor.highest;
    return limits;
}

int CVantikMouseDevice::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    m_profile.GetDpiStages();
    m_profile.GetSystemStages();
    m_profile.GetCorrectInfo();
    const int result = ApplyLightSettings();
    emit keyAssignmentsReloaded();
    return result;
}

void CVantikMouseDevice::BeforeProfilePush(std::function<void()> then)
{
    // A push right after the mouse appeared may come before its connection read: the button
    // table can only be written once its slots are known. A mouse that is not answering is not
    // read again: the push fails at once and says so.
    if (m_buttonSlots[0] == kNotFound && m_transport.isReady() && Answering())
        ReadMouse(std::move(then));
    else
        then();
}

std::function<CVantikUSBDevice::PushResult(CommandTransport&)> CVantikMouseDevice::ProfilePushJob()
{
    // The settings block first (as every device), then what only the mouse and keyboard hold:
    // the macros and the button table. A macro transfer that fails stops the push, so the
    // buttons never point at macros the mouse does not hold.
    Request settings = SettingsWriteJob(0);
    KeyStep macros = MacroWriteStep(CollectUsedMacros());
    KeyStep keys = KeyTableWriteStep(0);
    return [settings, macros, keys](CommandTransport& t) {
        PushResult r;
        const IoResult written = settings(t);
        r.keys.failure = written.failure;
        if (PushStep(r, "push_step_settings", written.code)) {
            r.keys.macros = macros(t, r.keys);
            if (r.keys.macros != 0) {
                r.code = r.keys.macros;
                r.step = QStringLiteral("push_step_macros");
            } else {
                ++r.stepsDone;
                r.keys.keys = keys(t, r.keys);
                PushStep(r, "push_step_keys", r.keys.keys);
            }
        }
        if (!r.ok())
            r.failure = r.keys.failure;
        return r;
    };
}

int CVantikMouseDevice::ApplyLightSettings()
{
    ApplyProfileLight();
    return 1;
}

void CVantikMouseDevice::ResetEffectState()
{
    CVantikUSBDevice::ResetEffectState();
    m_ring[0] = 1;
    std::lock_guard lock(m_stateLock);
    m_keyStates.fill(0);
    m_keyLevels.fill(0);
}

void CVantikMouseDevice::ReadSettings()
{
    SetSameLighting(0);
    m_currentBackup = m_current;
    if (!m_transport.isReady())
        return;
    struct Block : IoResult {
        uint8_t profile = 0;
        std::array<uint8_t, blocks::kMouseReadLength> block{};
    };
    PostIo<Block>(IoKind::Read, [](CommandTransport& t) {
        Block r;
        if (!LinkAnswers(t, r))
            return r;
        r.code = t.readSettings(&r.profile, 1, 0);
        if (r.code == 1)
            r.code = t.readSettings(r.block.data(), uint32_t(r.block.size()), blocks::kMouseStride * r.profile);
        return r;
    }, [this, mark = CommandsPosted()](Block r) {
        if (r.failure == IoFailure::OutOfReach)
            ShowLinkProblem(true);
        if (r.ok() && ReadBackCurrent(mark))
            SettingsRead(r.profile, r.block);
    });
}

void CVantikMouseDevice::SettingsRead(uint8_t profile, std::array<uint8_t, blocks::kMouseReadLength> block)
{
    ShowLinkProblem(false);
    block[0] = profile;
    m_mirror = block;
    using namespace blocks::mouse;
    LightInfo light = m_profile.GetLightInfo();
    light.mode = uint8_t(blocks::ModeItemOf(m_modeList, block[kMode], block[kMode]));
    light.brightness = block[kBrightness];
    light.speed = uint8_t(4 - std::min<int>(block[kSpeed], 4));
    light.multicolour = block[kMulticolour];
    light.red = block[kRed];
    light.green = block[kRed + 1];
    light.blue = block[kRed + 2];
    m_current = {profile, light.mode, light.brightness, light.speed, light.direction, light.multicolour,
                 light.red, light.green, light.blue};
    m_profile.SetLightInfo(light);
    if (block[kCurrentStage] < blocks::kMouseStages)
        m_profile.SetActiveStage(block[kCurrentStage]);
    SaveProfile();
    ApplyLightSettings();
}

std::array<uint8_t, blocks::kMouseWriteLength> CVantikMouseDevice::BuildSettingsBlock(int firstByte, int thirdByte,
                                                                                     int width, int height)
{
    blocks::MouseBlockSource source;
    source.light = m_profile.GetLightInfo();
    source.pollingRate = m_profile.GetSystemStages().reportStage;
    source.stages = m_profile.GetDpiStages();
    source.currentStage = m_profile.GetActiveStage();
    source.correct = m_profile.GetCorrectInfo();
    return blocks::BuildMouseBlock(source, m_modeList, uint8_t(firstByte), uint8_t(thirdByte), uint16_t(width),
                                   uint16_t(height));
}

CVantikUSBDevice::Request CVantikMouseDevice::SettingsWriteJob(int slot)
{
    QSize screen(0, 0);
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry().size() * primary->devicePixelRatio();
    return SettingsWriteJob(slot, 0, 1, screen.width(), screen.height());
}

CVantikUSBDevice::Request CVantikMouseDevice::SettingsWriteJob(int slot, int firstByte, int thirdByte, int width,
                                                               int height)
{
    const auto block = BuildSettingsBlock(firstByte, thirdByte, width, height);
    return [block, slot](CommandTransport& t) {
        IoResult r;
        if (!LinkAnswers(t, r))
            return r;
        t.openSession();
        if (!LinkAnswers(t, r))
            return r;
        const int result = t.writeSettings(block.data(), uint32_t(block.size()), blocks::kMouseStride * uint32_t(slot));
        if (!LinkAnswers(t, r))
            return r;
        t.closeSession();
        r.code = result;
        return r;
    };
}

void CVantikMouseDevice::SettingsWritten(const IoResult& result)
{
    TakeLink(result);
}

// --- Buttons, macros and shoot patterns ---

std::vector<int> CVantikMouseDevice::CollectUsedMacros()
{
    std::vector<int> used;
    const int count = macroCount(DataFolder());
    if (count < 0)
        return used;
    const std::vector<KeyAssignmentPair> keys = m_profile.GetKeyList();
    for (int j = 0; j < kButtons && size_t(j) < keys.size(); ++j) {
        const KeyAssignment& a = keys[size_t(j)].current;
        if (m_buttonSlots[size_t(j)] == kNotFound || (a.type != kMacroTypeA && a.type != kMacroTypeB))
            continue;
        if (a.p1 < count && std::find(used.begin(), used.end(), int(a.p1)) == used.end())
            used.push_back(a.p1);
    }
    return used;
}

CVantikUSBDevice::KeyStep CVantikMouseDevice::ButtonTableWriteStep(int bank, const std::vector<uint8_t>& assignments)
{
    return [bank, assignments, base = m_keyTable, slotOf = m_buttonSlots, info = m_info,
            count = std::max(macroCount(DataFolder()), 0)](CommandTransport& t, KeyWriteResult& r) mutable {
        if (!t.isReady() || !LinkAnswers(t, r))
            return 0;
        t.openSession();
        if (!LinkAnswers(t, r))
            return 0;
        const int read = t.readInformation(info);
        if (read != 1)
            return read;
        r.info = info;
        return WriteButtonTable(t, r, bank, assignments, base, slotOf, info, count);
    };
}

int CVantikMouseDevice::WriteButtonTable(CommandTransport& t, KeyWriteResult& r, int bank,
                                         const std::vector<uint8_t>& assignments, const std::vector<uint8_t>& base,
                                         const std::array<int, kButtons>& slotOf,
                                         const CommandTransport::InfoBlock& info, int count)
{
    const size_t length = 3u * info[CommandTransport::kInfoKeySlots];
    // The transfer length is the table's, whatever an earlier transfer left it at.
    if (t.setBlockLength(uint32_t(length)) != 1)
        return 0;
    std::vector<uint8_t> table = base;
    table.resize(length, 0);
    std::vector<int> used;
    const auto& defaults = keytables::mouseDefaultButtons();
    for (int j = 0; j < kButtons; ++j) {
        const int k = slotOf[size_t(j)];
        if (k == kNotFound || size_t(3 * k + 2) >= length || size_t(3 * j + 2) >= assignments.size())
            continue;
        uint8_t type = assignments[size_t(3 * j)], p1 = assignments[size_t(3 * j + 1)], p2 = assignments[size_t(3 * j + 2)];
        if (type == kMacroTypeA || type == kMacroTypeB) {
            if (p1 < count) {
                auto it = std::find(used.begin(), used.end(), int(p1));
                if (it == used.end())
                    it = used.insert(used.end(), int(p1));
                p1 = uint8_t(it - used.begin());
            } else {
                // The macro no longer exists: the button does what it does from the factory.
                type = defaults[size_t(j)].type, p1 = defaults[size_t(j)].p1, p2 = defaults[size_t(j)].p2;
            }
        }
        table[size_t(3 * k)] = type;
        table[size_t(3 * k + 1)] = p1;
        table[size_t(3 * k + 2)] = p2;
    }
    if (!LinkAnswers(t, r))
        return 0;
    const int result = t.writeKeyTable(table.data(), bank);
    if (!LinkAnswers(t, r))
        return 0;
    t.closeSession();
    if (result == 1)
        r.table = std::move(table);
    return result;
}

void CVantikMouseDevice::KeysWritten(const KeyWriteResult& result)
{
    CVantikUSBDevice::KeysWritten(result);
    TakeLink(result);
    if (result.keys == 1 && !result.table.empty())
        m_keyTable = result.table;
}

CVantikUSBDevice::KeyStep CVantikMouseDevice::KeyTableWriteStep(int bank)
{
    const std::vector<KeyAssignmentPair> keys = m_profile.GetKeyList();
    const auto& defaults = keytables::mouseDefaultButtons();
    std::vector<uint8_t> assignments(3 * kButtons, 0);
    for (int j = 0; j < kButtons; ++j) {
        const bool known = size_t(j) < keys.size();
        assignments[size_t(3 * j)] = known ? keys[size_t(j)].current.type : defaults[size_t(j)].type;
        assignments[size_t(3 * j + 1)] = known ? keys[size_t(j)].current.p1 : defaults[size_t(j)].p1;
        assignments[size_t(3 * j + 2)] = known ? keys[size_t(j)].current.p2 : defaults[size_t(j)].p2;
    }
    return ButtonTableWriteStep(bank, assignments);
}

CVantikUSBDevice::KeyStep CVantikMouseDevice::MacroWriteStep(const std::vector<int>& macros)
{
    return [folder = DataFolder(), macros, info = m_info](CommandTransport& t, KeyWriteResult& r) mutable {
        if (!LinkAnswers(t, r))
            return 0;
        const CommandTransport::InfoBlock before = info;
        const int result = t.writeMacros(folder, macros, info);
        if (info != before)
            r.info = info;
        return result;
    };
}

CVantikUSBDevice::Request CVantikMouseDevice::ShootWriteJob(const std::vector<uint8_t>& image)
{
    return [image](CommandTransport& t) {
        IoResult r;
        if (!t.isReady() || !LinkAnswers(t, r))
            return r;
        t.openSession();
        if (!LinkAnswers(t, r))
            return r;
        const int result = t.writeShootData(image.data(), uint32_t(image.size()));
        if (!LinkAnswers(t, r))
            return r;
        t.closeSession();
        r.code = result;
        return r;
    };
}

int CVantikMouseDevice::WriteShootData(const std::vector<uint8_t>& image)
{
    const IoResult r = ShootWriteJob(image)(m_transport);
    TakeLink(r);
    return r.code;
}

void CVantikMouseDevice::PostShootData(const std::vector<uint8_t>& image, std::function<void(IoResult)> landed)
{
    PostIo<IoResult>(IoKind::Command, ShootWriteJob(image), [this, landed = std::move(landed)](IoResult r) {
        TakeLink(r);
        if (landed)
            landed(r);
    });
}

int CVantikMouseDevice::WriteShootPatterns()
{
    std::vector<protocol::MacroRecord> records;
    for (int n = 0; n < kShootFiles; ++n) {
        const Json::Value doc =
            CJsonFile::ReadJson(DataFolder() + QStringLiteral("/ShootData_%1.Shoot").arg(n));
        records.push_back(protocol::macroRecordFromJson(protocol::jsonMember(doc, "Events")));
    }
    const auto image = protocol::buildMacroImage(records);
    if (!image)
        return -1;
    return WriteShootData(*image);
}

// --- Events ---

void CVantikMouseDevice::HandleDeviceEvent(uint32_t code)
{
    if (code == 0x401) {
        CVantikUSBDevice::HandleDeviceEvent(code);
    } else if (code == 0x403) {
        if (GetLightState().mode != 6)
            return;
        static thread_local std::mt19937 random{std::random_device{}()};
        std::lock_guard lock(m_stateLock);
        for (int i = 0; i < kLeds; ++i) {
            m_keyStates[size_t(i)] = 1;
            m_keyLevels[size_t(i)] = 255;
            m_keyColours[size_t(i)] = uint8_t(random() % lighting::kWheelSize);
        }
    } else if ((code >> 8) == 0x10 || (code >> 8) == 0x11) {
        if (!m_transport.isReady())
            return;
        m_current[0] = uint8_t(code & 0x0F);
        RefreshPanel();
    }
}

// --- Lighting preview ---

bool CVantikMouseDevice::IsStillMode(uint8_t mode) const
{
    return mode == 3 || mode == 9;
}

void CVantikMouseDevice::RenderMode(uint8_t mode)
{
    if (PlaysLightSequence(mode)) {
        RenderLightSequence();
        return;
    }
    switch (mode) {
    case 0: RenderGroupWave(); break;
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 5: RenderRingChase(); break;
    case 6: RenderReaction(); break;
    case 7: RenderBreathingFourColours(); break;
    case 8: RenderFlashFourColours(); break;
    case 9: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

void CVantikMouseDevice::RenderGroupWave()
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    if (s.multicolour) {
        m_phase = lighting::Step(s.direction, lighting::kWheelSize, m_phase, 1);
    } else {
        m_phase = lighting::Step(s.direction, 96, m_phase, 1);
    }
    for (int g = 0; g < 7; ++g) {
        LedColour c{};
        if (s.multicolour) {
            const lighting::Rgb rgb = lighting::ColourWheel()[(m_phase + 1 + 7 * g) % lighting::kWheelSize];
            c = {rgb.red, rgb.green, rgb.blue, level};
        } else {
            // The fixed colour rising and falling along the groups.
            const int at = (m_phase + 1 + 7 * g) % 96;
            const uint8_t curve = lighting::BreathingCurve()[size_t(at * lighting::kBreathingSteps / 96)];
            c = {s.red, s.green, s.blue, uint8_t((curve * level) >> 8)};
        }
        for (int led : kGroups[g])
            if (led >= 0 && size_t(led) < m_render.size())
                m_render[size_t(led)] = c;
    }
}

void CVantikMouseDevice::RenderRingChase()
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    MarkRingLeds();
    // Only the seven groups take part: the ring turns over its first seven places.
    if (s.direction)
        std::rotate(m_ring.begin(), m_ring.begin() + 6, m_ring.begin() + 7);
    else
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.begin() + 7);
    const bool hold = (s.direction ? m_levels[0] : m_levels[6]) != 0;
    uint8_t position = m_phase;
    for (int g = 0; g < 7; ++g) {
        DecayLedLevel(g, 5);
        position = uint8_t((position + 12) % lighting::kWheelSize);
        const lighting::Rgb rgb = s.multicolour ? lighting::ColourWheel()[position]
                                                : lighting::Rgb{s.red, s.green, s.blue};
        const auto groupLevel = uint8_t((m_levels[size_t(g)] * level) >> 8);
        for (int led : kGroups[g]) {
            if (led < 0 || size_t(led) >= m_render.size())
                continue;
            LedColour& c = m_render[size_t(led)];
            if (hold && s.multicolour && (c.red | c.green | c.blue))
                c.brightness = groupLevel;
            else
                c = {rgb.red, rgb.green, rgb.blue, groupLevel};
        }
    }
    m_phase = uint8_t((m_phase + 12) % lighting::kWheelSize);
}

void CVantikMouseDevice::MarkRingLeds()
{
    for (size_t i = 0; i < 7; ++i)
        if (m_ring[i])
            m_levels[i] = 255;
}

void CVantikMouseDevice::RenderReaction()
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    std::lock_guard lock(m_stateLock);
    for (int i = 0; i < kLeds && size_t(i) < m_render.size(); ++i) {
        uint8_t& state = m_keyStates[size_t(i)];
        uint8_t& v = m_keyLevels[size_t(i)];
        if (state == 1) {
            // A click lights the LED at once; it then fades out in steps of 15.
            state = 2;
        } else if (state == 2) {
            v = v > 15 ? uint8_t(v - 15) : 0;
            if (v == 0)
                state = 0;
        }
        const lighting::Rgb rgb = s.multicolour ? lighting::ColourWheel()[m_keyColours[size_t(i)] % lighting::kWheelSize]
                                                : lighting::Rgb{s.red, s.green, s.blue};
        m_render[size_t(i)] = {rgb.red, rgb.green, rgb.blue, uint8_t((v * level) >> 8)};
    }
}

// --- The page ---

void CVantikMouseDevice::LoadNameLists()
{
    m_names.Load(DeviceNameLists::Mouse, paths::defaultLightFile(), paths::lightConfigFile(m_folderName),
                 paths::macroListFile(DataFolder()));
    if (!m_names.modeValues().empty())
        m_modeList = m_names.modeValues();
}

void CVantikMouseDevice::SelectFunctionPage(int page)
{
    CVantikUSBDevice::SelectFunctionPage(page);
    if (QWidget* hint = FindPanelControl(QStringLiteral("device_tishi_info")))
        hint->hide();
}

void CVantikMouseDevice::BindDpiControls()
{
    // The sensor decides how far the sliders and fields go.
    const int highest = m_sensor.step ? int(m_sensor.highest) : 0;
    auto group = [this](QButtonGroup*& g, const char* prefix, int count) {
        if (g)
            return;
        g = new QButtonGroup(this);
        g->setExclusive(true);
        for (int n = 0; n < count; ++n)
            if (auto* b = qobject_cast<QAbstractButton*>(FindPanelControl(controlName(prefix, n))))
                g->addButton(b, n);
    };
    group(m_stageGroup, "DPI_select_check_", blocks::kMouseStages);
    group(m_pollingGroup, "polling_rate_option_", kPollingRates);
    for (int n = 0; n < blocks::kMouseStages; ++n) {
        if (auto* slider = qobject_cast<QAbstractSlider*>(FindPanelControl(controlName("DPI_slider_", n)))) {
            const QSignalBlocker block(slider);
            slider->setRange(0, highest);
        }
        if (QWidget* edit = FindPanelControl(controlName("DPI_edit_", n))) {
            ui::PaintManager::SetNumberOnly(edit, true);
            ui::PaintManager::SetEditRange(edit, 0, highest ? m_sensor.HighestDpi() : 0);
        }
    }
}

void CVantikMouseDevice::RefreshPanel()
{
    LoadNameLists();
    CVantikUSBDevice::RefreshPanel();
    if (m_linkProblem) {
        if (auto* status = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_status"))))
            ui::Language::instance().SetTextId(status, QStringLiteral("mouse_status_out_of_reach"));
    }
    ShowDpiStages();
    ShowPollingRate();
    ShowSystemStages();
}

void CVantikMouseDevice::ShowDpiStages()
{
    for (int n = 0; n < blocks::kMouseStages; ++n)
        ShowDpiStage(n);
}

void CVantikMouseDevice::ShowDpiStage(int n)
{
    const std::vector<DpiStage> stages = m_profile.GetDpiStages();
    const int active = m_profile.GetActiveStage();
    const bool exists = size_t(n) < stages.size();
    const DpiStage stage = exists ? stages[size_t(n)] : DpiStage{};
    const bool selected = n == active;

    if (QWidget* row = FindPanelControl(controlName("DPI_layout_", n))) {
        row->setEnabled(exists);
        row->setProperty("activeStage", selected);
        row->style()->unpolish(row);
        row->style()->polish(row);
    }
    if (auto* enable = qobject_cast<QAbstractButton*>(FindPanelControl(controlName("DPI_enable_check_", n)))) {
        const QSignalBlocker block(enable);
        enable->setChecked(stage.active != 0 || selected);
        // The stage the mouse is on cannot be switched off.
        enable->setEnabled(!selected);
    }
    if (auto* select = qobject_cast<QAbstractButton*>(FindPanelControl(controlName("DPI_select_check_", n)))) {
        const QSignalBlocker block(select);
        select->setChecked(selected);
            select->setProperty("activeStage", selected);
        select->style()->unpolish(select);
        select->style()->polish(select);
    }
    if (auto* slider = qobject_cast<QAbstractSlider*>(FindPanelControl(controlName("DPI_slider_", n)))) {
        const QSignalBlocker block(slider);
        slider->setValue(stage.dpiX);
        slider->setProperty("thumb", selected ? QStringLiteral("Control/SliderBar1_Thumb.png")
                                              : QStringLiteral("Control/SliderBar2_Thumb.png"));
        slider->setProperty("activeStage", selected);
        slider->style()->unpolish(slider);
        slider->style()->polish(slider);
    }
    if (auto* edit = qobject_cast<QLineEdit*>(FindPanelControl(controlName("DPI_edit_", n)))) {
        if (!edit->hasFocus()) {
            const QSignalBlocker block(edit);
            edit->setText(m_sensor.step ? QString::number(m_sensor.DpiOfIndex(stage.dpiX)) : QString());
        }
    }
    if (auto* colour = qobject_cast<QAbstractButton*>(FindPanelControl(controlName("DPI_color_option_", n)))) {
        const QColor c(stage.red, stage.green, stage.blue);
        colour->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 2px solid #2b3442; border-radius: 13px; }"
                                             " QPushButton:hover, QPushButton:focus { border-color: #f2f5fa; }")
                                  .arg(c.name()));
        colour->setProperty("colour", c.name());
    }
}

void CVantikMouseDevice::ShowPollingRate()
{
    const int rate = m_profile.GetSystemStages().reportStage;
    for (int n = 0; n < kPollingRates; ++n) {
        if (auto* option = qobject_cast<QAbstractButton*>(FindPanelControl(controlName("polling_rate_option_", n)))) {
            const QSignalBlocker block(option);
            option->setChecked(n == rate);
        }
    }
}

void CVantikMouseDevice::ShowSystemStages()
{
    const MouseSystemStages s = m_profile.GetSystemStages();
    auto slider = [&](const char* name, int value) {
        if (auto* w = qobject_cast<QAbstractSlider*>(FindPanelControl(QLatin1String(name)))) {
            const QSignalBlocker block(w);
            w->setValue(value);
        }
        if (auto* label = qobject_cast<QLabel*>(FindPanelControl(QLatin1String(name) + QStringLiteral("_value"))))
            label->setText(QString::number(value));
    };
    auto check = [&](const char* name, bool on) {
        if (auto* w = qobject_cast<QAbstractButton*>(FindPanelControl(QLatin1String(name)))) {
            const QSignalBlocker block(w);
            w->setChecked(on);
        }
    };
    slider("pointer_speed_slider", s.mouseSpeed);
    slider("scroll_speed_slider", s.wheelScrollLines);
    slider("double_click_slider", s.doubleClickTime);
    check("pointer_precision_check", s.pointerPrecision != 0);
    check("scrolls_page_check", s.scrollPage != 0);
    if (auto* label = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("double_click_slider_value"))))
        label->setText(ui::Language::instance().Text(QStringLiteral("mouse_ms_format")).arg(s.doubleClickTime));
}

void CVantikMouseDevice::StoreStages(const std::vector<DpiStage>& stages, bool write)
{
    m_profile.SetDpiStages(stages);
    SaveProfile();
    if (write)
        PostSettings(0);
}

void CVantikMouseDevice::SetStageIndex(int n, int index, bool write)
{
    std::vector<DpiStage> stages = m_profile.GetDpiStages();
    if (n < 0 || size_t(n) >= stages.size())
        return;
    index = std::clamp(index, 0, int(m_sensor.highest));
    stages[size_t(n)].dpiX = uint16_t(index);
    stages[size_t(n)].dpiY = uint16_t(index);
    StoreStages(stages, write);
    ShowDpiStage(n);
}

void CVantikMouseDevice::SelectStage(int n)
{
    std::vector<DpiStage> stages = m_profile.GetDpiStages();
    if (n < 0 || size_t(n) >= stages.size())
        return;
    // The stage the mouse switches to is one it cycles through.
    stages[size_t(n)].active = 1;
    m_profile.SetDpiStages(stages);
    m_profile.SetActiveStage(n);
    SaveProfile();
    PostSettings(0);
    ShowDpiStages();
}

namespace {
CVantikMouseDevice::StageColourChooser& Chooser()
{
    static CVantikMouseDevice::StageColourChooser chooser;
    return chooser;
}
}  // namespace

void CVantikMouseDevice::SetStageColourChooser(StageColourChooser chooser)
{
    Chooser() = std::move(chooser);
}

void CVantikMouseDevice::PickStageColour(int n)
{
    const std::vector<DpiStage> stages = m_profile.GetDpiStages();
    if (n < 0 || size_t(n) >= stages.size())
        return;
    const DpiStage& s = stages[size_t(n)];
    // A copy: the chooser runs a window of its own, during which another may be installed.
    if (const StageColourChooser chooser = Chooser()) {
        // The stage list is read again afterwards.
        const QPointer<CVantikMouseDevice> self(this);
        const std::optional<uint32_t> chosen = chooser(this, (uint32_t(s.red) << 16) | (uint32_t(s.green) << 8) | s.blue, n);
        if (!self || !chosen)
            return;
        std::vector<DpiStage> list = m_profile.GetDpiStages();
        if (size_t(n) >= list.size())
            return;
        list[size_t(n)].red = uint8_t(*chosen >> 16);
        list[size_t(n)].green = uint8_t(*chosen >> 8);
        list[size_t(n)].blue = uint8_t(*chosen);
        StoreStages(list, true);
        ShowDpiStage(n);
        return;
    }
    if (!m_colourDialog) {
        m_colourDialog = new QColorDialog(window());
        m_colourDialog->setOption(QColorDialog::DontUseNativeDialog);
        m_colourDialog->setWindowModality(Qt::WindowModal);
        connect(m_colourDialog, &QColorDialog::colorSelected, this, [this](const QColor& c) {
            const int stage = m_colourDialog->property("stage").toInt();
            std::vector<DpiStage> list = m_profile.GetDpiStages();
            if (!c.isValid() || stage < 0 || size_t(stage) >= list.size())
                return;
            list[size_t(stage)].red = uint8_t(c.red());
            list[size_t(stage)].green = uint8_t(c.green());
            list[size_t(stage)].blue = uint8_t(c.blue());
            StoreStages(list, true);
            ShowDpiStage(stage);
        });
    }
    m_colourDialog->setProperty("stage", n);
    m_colourDialog->setWindowTitle(ui::Language::instance().Text(QStringLiteral("mouse_dpi_colour_title")).arg(n + 1));
    m_colourDialog->setCurrentColor(QColor(s.red, s.green, s.blue));
    m_colourDialog->open();
}

void CVantikMouseDevice::SelectOptionPage(int page)
{
    if (auto* stack = qobject_cast<QStackedWidget*>(FindPanelControl(QStringLiteral("mouse_option_layout"))))
        if (page >= 0 && page < stack->count())
            stack->setCurrentIndex(page);
}

void CVantikMouseDevice::StoreSystemValue(const QString& control, int value)
{
    MouseSystemStages s = m_profile.GetSystemStages();
    if (control == QLatin1String("pointer_speed_slider"))
        s.mouseSpeed = uint16_t(value);
    else if (control == QLatin1String("pointer_precision_check"))
        s.pointerPrecision = uint16_t(value ? 1 : 0);
    else if (control == QLatin1String("scrolls_page_check"))
        s.scrollPage = uint16_t(value ? 1 : 0);
    else if (control == QLatin1String("scroll_speed_slider"))
        s.wheelScrollLines = uint16_t(value);
    else if (control == QLatin1String("double_click_slider"))
        s.doubleClickTime = uint16_t(value);
    else
        return;
    // Kept in the profile only: neither the mouse nor the desktop takes these values.
    m_profile.SetSystemStages(s);
    SaveProfile();
    ShowSystemStages();
}

bool CVantikMouseDevice::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    // The panels every page shares (the profile panel and the like) come first.
    if (CVantikUSBDevice::HandlePanelNotify(msg))
        return true;
    const QString name = msg.pSender->objectName();
    const auto [prefix, n] = ui::SplitTrailingNumber(name);
    const QString& type = msg.sType;
    const bool selectChanged = type == QLatin1String(ui::kNotifySelectChanged);
    const bool valueChanged = type == QLatin1String(ui::kNotifyValueChanged);
    const bool moving = type == QLatin1String(ui::kNotifyMoveValueChanged);
    const bool inStage = n >= 0 && n < blocks::kMouseStages;

    if (prefix == QLatin1String("DPI_slider_") && inStage && (valueChanged || moving)) {
        if (moving) {
            // While the handle moves the field follows; the mouse gets the value on release.
            if (auto* edit = qobject_cast<QLineEdit*>(FindPanelControl(controlName("DPI_edit_", n)))) {
                const QSignalBlocker block(edit);
                edit->setText(QString::number(m_sensor.DpiOfIndex(int(msg.wParam))));
            }
            return true;
        }
        SetStageIndex(n, int(msg.wParam), true);
        return true;
    }
    if (prefix == QLatin1String("DPI_edit_") && inStage &&
        (type == QLatin1String(ui::kNotifyKillFocus) || type == QLatin1String(ui::kNotifyReturn))) {
        auto* edit = qobject_cast<QLineEdit*>(msg.pSender);
        const int typed = edit ? edit->text().trimmed().toInt() : 0;  // empty counts as 0
        const std::vector<DpiStage> stages = m_profile.GetDpiStages();
        const int index = m_sensor.IndexOfDpi(typed);
        if (size_t(n) < stages.size() && stages[size_t(n)].dpiX == index) {
            ShowDpiStage(n);  // nothing to write; the field shows the value the mouse has
            if (edit) {
                const QSignalBlocker block(edit);
                edit->setText(QString::number(m_sensor.DpiOfIndex(index)));
            }
            return true;
        }
        if (edit)
            edit->clearFocus();
        SetStageIndex(n, index, true);
        return true;
    }
    if (prefix == QLatin1String("DPI_enable_check_") && inStage && selectChanged) {
        std::vector<DpiStage> stages = m_profile.GetDpiStages();
        if (size_t(n) < stages.size() && n != m_profile.GetActiveStage()) {
            stages[size_t(n)].active = msg.wParam ? 1 : 0;
            StoreStages(stages, true);
        }
        ShowDpiStage(n);
        return true;
    }
    if (prefix == QLatin1String("DPI_select_check_") && inStage && selectChanged) {
        if (msg.wParam)
            SelectStage(n);
        else
            ShowDpiStage(n);
        return true;
    }
    if (prefix == QLatin1String("DPI_color_option_") && inStage && type == QLatin1String(ui::kNotifyClick)) {
        PickStageColour(n);
        return true;
    }
    if (prefix == QLatin1String("polling_rate_option_") && selectChanged) {
        if (!msg.wParam)
            return true;
        MouseSystemStages s = m_profile.GetSystemStages();
        s.reportStage = uint16_t(n >= 0 && n < kPollingRates ? n : 0);
        m_profile.SetSystemStages(s);
        SaveProfile();
        PostSettings(0);
        ShowPollingRate();
        return true;
    }
    if (prefix == QLatin1String("mouse_device_seting_option_") && selectChanged) {
        if (msg.wParam)
            SelectOptionPage(n);
        return true;
    }
    if ((name.endsWith(QLatin1String("_slider")) && valueChanged) ||
        (name.endsWith(QLatin1String("_check")) && selectChanged)) {
        if (moving)
            return true;
        StoreSystemValue(name, int(msg.wParam));
        return true;
    }
    if (name.endsWith(QLatin1String("_slider")) && moving) {
        if (auto* label = qobject_cast<QLabel*>(FindPanelControl(name + QStringLiteral("_value"))))
            label->setText(name == QLatin1String("double_click_slider")
                               ? ui::Language::instance().Text(QStringLiteral("mouse_ms_format")).arg(msg.wParam)
                               : QString::number(msg.wParam));
        return true;
    }
    return false;
}
