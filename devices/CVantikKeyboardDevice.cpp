#include "devices/CVantikKeyboardDevice.h"
#include "devices/KeyReportListener.h"
#include "ui/IndexedName.h"

#include "devices/LightingTables.h"
#include "hid/DebugLog.h"
#include "hid/SupportedInterfaces.h"
#include "keytables/DefaultKeyTables.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/DeviceNameLists.h"
#include "protocol/ResultCodes.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include <algorithm>
#include <chrono>
#include <functional>

namespace {

// The light mode of the profile and the modes streamed from here.
constexpr uint8_t kCustomMode = 19;
constexpr uint8_t kMusicMode = 29;
constexpr uint8_t kExternalMode = 30;
constexpr uint8_t kRollingMode = 24;
// Slots at or above this one are not lit by LED index.
constexpr int kLitSlots = 90;
constexpr uint32_t kSlowSendMs = 500;
constexpr uint32_t kFailedSendPauseMs = 200;
// The preview's frame interval: about 30 pictures a second.
constexpr uint64_t kPreviewIntervalMs = 33;

bool isStreamedMode(uint8_t mode) { return mode == kMusicMode || mode == kExternalMode; }

}  // namespace

CVantikKeyboardDevice::CVantikKeyboardDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 1;
    m_deviceName = QStringLiteral("kb_device_name_text");
    m_slotMap.fill(kUnknown);
    m_ledMap.fill(kUnknown);
    m_pending.steps.reserve(64);
    m_keyReports = std::make_unique<KeyReportListener>(this);
    m_keyReports->SetHandler([this](uint8_t usage, int action) { OnKeyUsage(usage, action); });
}

CVantikKeyboardDevice::~CVantikKeyboardDevice()
{
    m_keyReports.reset();
    ShutDown();
}

bool CVantikKeyboardDevice::AttachListener(const std::string& path, uint16_t deviceType)
{
    const bool attached = CVantikUSBDevice::AttachListener(path, deviceType);
    // Without the keys collection the keyboard still works; only key-press lighting stays dark.
    if (attached && m_keyReports)
        m_keyReports->Attach(path, deviceType == hid::devtype::kKeyboardReceiver);
    return attached;
}

void CVantikKeyboardDevice::DetachListener(uint16_t deviceType)
{
    // Also called while the keyboard ends, after its keys reader is gone.
    if (m_keyReports)
        m_keyReports->Detach(deviceType == hid::devtype::kKeyboardReceiver);
    CVantikUSBDevice::DetachListener(deviceType);
}

bool CVantikKeyboardDevice::KeyReportsOpen(bool receiver) const
{
    return m_keyReports && m_keyReports->IsOpen(receiver);
}

void CVantikKeyboardDevice::OnKeyUsage(uint8_t usage, int action)
{
    // The usage each key sends from the factory: a key the user reassigned reports its new
    // usage, so it lights as the key that sends that usage on a factory keyboard.
    static const std::array<int16_t, 256> positionOf = [] {
        std::array<int16_t, 256> table;
        table.fill(-1);
        const auto& defaults = keytables::keyboardDefaultKeyTable();
        for (int j = 0; j < kKeyPositions; ++j) {
            const keytables::KeyTriple& t = defaults[size_t(j)];
            if (t.type != 0x20)
                continue;
            if (t.p2 != 0 && table[t.p2] < 0)
                table[t.p2] = int16_t(j);
            for (int bit = 0; bit < 8 && t.p2 == 0; ++bit)
                if (t.p1 == (1u << bit) && table[size_t(0xE0 + bit)] < 0)
                    table[size_t(0xE0 + bit)] = int16_t(j);
        }
        return table;
    }();
    const int position = positionOf[usage];
    if (position < 0 || m_slotMap[size_t(position)] == kUnknown)
        return;
    OnKeyEvent(m_slotMap[size_t(position)], action);
}

// --- Reading the keyboard ---

void CVantikKeyboardDevice::BindPanelControls()
{
    CVantikUSBDevice::BindPanelControls();
    // The picture's hundred-odd keys follow the lighting some thirty times a second: the panel
    // paints them in one pass. The keyboard picture is opaque under all of its keys.
    if (auto* panel = findChild<ui::CSelectPanelUI*>())
        panel->SetKeysPaintedTogether(true);
    SetSystemPageReady(m_profileLoaded);
}

void CVantikKeyboardDevice::OnConnected()
{
    SetSystemPageReady(false);
    ReadKeyboard([this] {
        ReloadProfile();
        ReadSettings();
        m_io.AfterQueued([this] {
            RefreshPanel();
            // The profile and the keyboard's own settings are in: the system page shows them
            // and takes changes from now on.
            SetSystemPageReady(true);
            StartLightThread();
        });
    });
}

void CVantikKeyboardDevice::ReadKeyboard(std::function<void()> then)
{
    if (!m_transport.isReady()) {
        then();
        return;
    }
    struct Tables : IoResult {
        CommandTransport::InfoBlock info{};
        bool infoRead = false;
        bool tablesRead = false;
        std::array<uint8_t, 512> keyTable{};
        std::array<uint8_t, 512> ledMap{};
    };
    PostIo<Tables>(IoKind::Read, [info = m_info](CommandTransport& t) {
        Tables r;
        r.info = info;
        t.openSession();
        r.code = t.readInformation(r.info);
        r.infoRead = r.code == 1;
        // More than 170 slots do not fit a 512-byte transfer: such a keyboard is not read further.
        if (t.setBlockLength(3u * r.info[CommandTransport::kInfoKeySlots]) != 1) {
            t.closeSession();
            return r;
        }
        t.readKeyTable(r.keyTable.data());
        t.readLedMap(r.ledMap.data());
        t.closeSession();
        r.tablesRead = true;
        return r;
    }, [this, then = std::move(then)](Tables r) {
        if (r.infoRead)
            TakeInformation(r.info);
        if (r.tablesRead) {
            m_keyTableCopy = r.keyTable;
            m_ledMapCopy = r.ledMap;
            IdentifyKeys();
        }
        then();
    });
}

void CVantikKeyboardDevice::IdentifyKeys()
{
    m_slotMap.fill(kUnknown);
    m_ledMap.fill(kUnknown);
    m_keySlotMap.clear();
    m_keyLedMap.clear();
    const int slotCount = std::min<int>(m_info[CommandTransport::kInfoKeySlots], kKeyPositions);
    const auto& defaults = keytables::keyboardDefaultKeyTable();
    std::vector<KeySlotMemory::Triple> factory(kKeyPositions);
    for (int j = 0; j < kKeyPositions; ++j)
        factory[size_t(j)] = {defaults[size_t(j)].type, defaults[size_t(j)].p1, defaults[size_t(j)].p2};
    // Remembered per layout, so a key the user reassigned is still found after a restart.
    const std::vector<int> slotOf = KeySlots().Identify(factory, m_keyTableCopy.data(), slotCount);
    for (int j = 0; j < kKeyPositions; ++j) {
        if (slotOf[size_t(j)] == KeySlotMemory::kNone)
            continue;
        m_slotMap[size_t(j)] = uint8_t(slotOf[size_t(j)]);
        m_keySlotMap[j] = slotOf[size_t(j)];
    }
    for (int j = 0; j < kKeyPositions; ++j) {
        const uint8_t k = m_slotMap[size_t(j)];
        if (k == kUnknown || k >= kLitSlots)
            continue;
        m_ledMap[size_t(j)] = m_ledMapCopy[k];
        if (m_ledMapCopy[k] != kUnknown)
            m_keyLedMap[j] = m_ledMapCopy[k];
    }
}

int CVantikKeyboardDevice::IdentifiedKeyCount() const
{
    return int(std::count_if(m_slotMap.begin(), m_slotMap.end(), [](uint8_t s) { return s != kUnknown; }));
}

// --- Profile ---

int CVantikKeyboardDevice::ReloadProfile()
{
    if (m_modeList.empty())
        LoadNameLists();
    if (!LoadSelectedProfile())
        return 0;
    m_keys = m_profile.GetKeyList();
    const int result = ApplyLightSettings();
    m_stages = m_profile.GetSystemStages();
    emit keyAssignmentsReloaded();
    return result;
}

void CVantikKeyboardDevice::SetSystemPageReady(bool ready)
{
    m_profileLoaded = ready;
    if (QWidget* page = FindPanelControl(QStringLiteral("keyboard_system_bar")))
        page->setEnabled(ready);
}

int CVantikKeyboardDevice::ApplyLightSettings()
{
    const LightInfo info = m_profile.GetLightInfo();
    const AudioLightInfo audio = m_profile.GetAudioLightInfo();
    LightState s = LightStateOf(info);
    const std::vector<LedEffectStep> steps = LoadLightSequence(DeviceNameLists::Keyboard);
    // Per-key effect records by key position; an enabled one overrides the mode for its key.
    std::vector<LightInfo> overlay = m_profile.GetLightList();
    bool enter = false;
    {
        std::lock_guard lock(m_stateLock);
        enter = s.mode != m_lightState.mode || s.mode == kCustomMode || m_enteredMode == 0xFF;
        m_lightState = s;
        m_pending.steps = steps;
        m_pending.stepsChanged = true;
        m_pending.overlay = std::move(overlay);
        m_pending.overlayChanged = true;
        m_pending.musicStyle = audio.audioMode;
        m_pending.musicRed = audio.fgRed;
        m_pending.musicGreen = audio.fgGreen;
        m_pending.musicBlue = audio.fgBlue;
        m_pending.musicColourful = audio.sevenColour;
        m_enteredMode = s.mode;
    }
    if (enter) {
        if (s.mode == kCustomMode)
            EnterCustomMode();
        m_effectRestart = true;
    }
    WakeLightThread();
    return 1;
}

void CVantikKeyboardDevice::EnterCustomMode()
{
    const LightState s = GetLightState();
    const std::vector<LightColor> colours = m_profile.GetCustomLightColors(s.extra[4], kKeyPositions);
    const uint8_t full = lighting::BrightnessOf(s.brightness);
    {
        std::lock_guard lock(m_colourLock);
        for (size_t i = 0; i < m_leds.size() && i < colours.size(); ++i)
            m_leds[i] = {colours[i].red, colours[i].green, colours[i].blue, full};
        ++m_ledGeneration;
    }
    m_profile.SetCustomLightGroup(s.extra[4]);
    WriteCustomColourTable(true);
}

void CVantikKeyboardDevice::WriteCustomColourTable(bool fromColourList)
{
    if (!m_transport.isReady())
        return;
    PostIo<IoResult>(IoKind::Command, CustomColourTableJob(fromColourList));
}

CVantikUSBDevice::Request CVantikKeyboardDevice::CustomColourTableJob(bool fromColourList)
{
    const LightState s = GetLightState();
    std::vector<LedColour> colours;
    if (fromColourList) {
        std::lock_guard lock(m_colourLock);
        colours = m_leds;
    } else {
        for (const LightColor& c : m_profile.GetCustomLightColors(s.extra[4], kKeyPositions))
            colours.push_back({c.red, c.green, c.blue, 255});
    }
    std::array<uint8_t, 512> table{};
    for (int j = 0; j < kKeyPositions && size_t(j) < colours.size(); ++j) {
        const uint8_t led = m_ledMap[size_t(j)];
        if (led == kUnknown || led > 170 || 3u * led + 2 >= table.size())
            continue;
        const LedColour c = colours[size_t(j)];
        // The stored colours go as they are; the shown ones with their brightness.
        const int b = fromColourList ? c.brightness : 256;
        table[3u * led] = uint8_t((c.red * b) >> 8);
        table[3u * led + 1] = uint8_t((c.green * b) >> 8);
        table[3u * led + 2] = uint8_t((c.blue * b) >> 8);
    }
    const uint32_t length = std::min<uint32_t>(3u * m_info[CommandTransport::kInfoKeySlots], 512);
    const int group = s.extra[4];
    return [table, length, group](CommandTransport& t) {
        if (!t.isReady())
            return IoResult{0};
        return IoResult{t.writeLightTable(table.data(), length, group)};
    };
}

void CVantikKeyboardDevice::PaintCustomKeys(const std::vector<int>& positions, uint8_t red, uint8_t green, uint8_t blue)
{
    const LightState s = GetLightState();
    if (s.mode != kCustomMode || positions.empty())
        return;
    std::vector<LightColor> colours = m_profile.GetCustomLightColors(s.extra[4], kKeyPositions);
    {
        std::lock_guard lock(m_colourLock);
        for (int position : positions) {
            if (position < 0 || size_t(position) >= m_leds.size())
                continue;
            m_leds[size_t(position)].red = red;
            m_leds[size_t(position)].green = green;
            m_leds[size_t(position)].blue = blue;
            if (size_t(position) < colours.size())
                colours[size_t(position)] = {red, green, blue, 255};
        }
        ++m_ledGeneration;
    }
    m_profile.SetCustomLightColors(colours, s.extra[4]);
    SaveProfile();
    if (m_lightingControl.load() && !m_transport.isWireless())
        WriteCustomColourTable(false);
    WakeLightThread();
}

void CVantikKeyboardDevice::RestoreDefaults()
{
    m_profile.LoadDeviceData(DefaultProfileFile());
    m_keys = m_profile.GetKeyList();
    ApplyLightSettings();
    m_stages = m_profile.GetSystemStages();
    SaveProfile();
    emit keyAssignmentsReloaded();
    RefreshPanel();
}

void CVantikKeyboardDevice::LoadNameLists()
{
    DeviceNameLists lists;
    lists.Load(DeviceNameLists::Keyboard, paths::defaultLightFile(), paths::lightConfigFile(m_folderName),
               paths::macroListFile(DataFolder()));
    m_modeList = lists.modeValues();
    m_visibleList = lists.modeVisible();
    m_modeNames = lists.modeNames();
}

// --- Settings block ---

std::array<uint8_t, CVantikKeyboardDevice::kSettingsBlock> CVantikKeyboardDevice::BuildSettingsBlock(uint8_t firstByte)
{
    const LightInfo info = m_profile.GetLightInfo();
    const KeyboardSystemStages stages = m_profile.GetSystemStages();
    std::array<uint8_t, kSettingsBlock> b{};
    b[0] = firstByte;
    const size_t item = info.mode >= 31 ? 0 : info.mode;
    b[1] = item < m_modeList.size() ? uint8_t(m_modeList[item]) : uint8_t(item);
    b[2] = info.brightness;
    b[3] = uint8_t(4 - std::min<uint8_t>(info.speed, 4));
    b[4] = info.direction;
    b[5] = info.multicolour;
    b[6] = info.red;
    b[7] = info.green;
    b[8] = info.blue;
    b[18] = info.zzccMode;
    b[19] = uint8_t(stages.wFlag);
    b[20] = uint8_t(stages.key6Flag);
    b[21] = uint8_t(stages.winFlag);
    b[22] = uint8_t(stages.pollingRate);
    b[25] = info.customGroup;
    return b;
}

CVantikUSBDevice::Request CVantikKeyboardDevice::SettingsWriteJob(int slot, uint8_t firstByte)
{
    const auto block = BuildSettingsBlock(firstByte);
    return [block, slot](CommandTransport& t) {
        if (!t.isReady())
            return IoResult{0};
        t.openSession();
        const int result = t.writeSettings(block.data(), kSettingsBlock, kSettingsStride * uint32_t(slot));
        t.closeSession();
        return IoResult{result};
    };
}

void CVantikKeyboardDevice::ReadSettings()
{
    m_sameLighting = 0;
    m_settingsBackup = m_settings;
    if (!m_transport.isReady())
        return;
    struct Block : IoResult {
        uint8_t active = 0;
        std::array<uint8_t, kSettingsBlock> block{};
    };
    PostIo<Block>(IoKind::Read, [](CommandTransport& t) {
        Block r;
        r.code = t.readSettings(&r.active, 1, 0);
        if (r.code == 1)
            r.code = t.readSettings(r.block.data(), kSettingsBlock, kSettingsStride * r.active);
        return r;
    }, [this, mark = CommandsPosted()](Block r) {
        if (r.ok() && ReadBackCurrent(mark))
            SettingsRead(r.active, r.block);
    });
}

void CVantikKeyboardDevice::SettingsRead(uint8_t active, std::array<uint8_t, kSettingsBlock> block)
{
    block[0] = active;
    m_settingsMirror = block;

    uint8_t mode = block[1];
    for (size_t i = 0; i < m_modeList.size(); ++i) {
        if (m_modeList[i] == block[1]) {
            mode = uint8_t(i);
            break;
        }
    }
    const uint8_t speed = block[3] <= 4 ? uint8_t(4 - block[3]) : 0;
    m_settings[0] = active;
    m_settings[1] = mode;
    m_settings[2] = block[2];
    m_settings[3] = speed;
    m_settings[4] = block[4];
    m_settings[5] = block[5];
    m_settings[6] = block[6];
    m_settings[7] = block[7];
    m_settings[8] = block[8];

    LightInfo info = m_profile.GetLightInfo();
    info.mode = mode;
    info.brightness = block[2];
    info.speed = speed;
    info.direction = block[4];
    info.multicolour = block[5];
    info.red = block[6];
    info.green = block[7];
    info.blue = block[8];
    info.zzccMode = block[9];
    info.customGroup = block[25];
    m_profile.SetLightInfo(info);
    m_stages = m_profile.GetSystemStages();
    m_stages.wFlag = block[19];
    m_stages.key6Flag = block[20];
    m_stages.winFlag = block[21];
    m_profile.SetSystemStages(m_stages);
    SaveProfile();
    ApplyLightSettings();
    ShowOnboardProfile();
}

void CVantikKeyboardDevice::SetLightBlock(const LightState& state)
{
    LightInfo info = m_profile.GetLightInfo();
    info.mode = state.mode;
    info.brightness = state.brightness;
    info.speed = state.speed;
    info.direction = state.direction;
    info.multicolour = state.multicolour;
    info.red = state.red;
    info.green = state.green;
    info.blue = state.blue;
    info.zzccMode = state.extra[3];
    info.customGroup = state.extra[4];
    info.previousMode = state.extra[5];
    m_profile.SetLightInfo(info);
    ApplyLightSettings();
}

// --- Keys and macros ---

int CVantikKeyboardDevice::MacroCount() const
{
    const Json::Value doc = CJsonFile::ReadJson(paths::macroListFile(DataFolder()));
    if (!doc.isObject())
        return -1;
    const Json::Value& list = doc["MacroInfo"];
    return list.isArray() ? int(list.size()) : 0;
}

std::vector<int> CVantikKeyboardDevice::CollectUsedMacros()
{
    std::vector<int> used;
    const int count = MacroCount();
    if (count < 0)
        return used;
    for (const KeyAssignmentPair& pair : m_keys) {
        const KeyAssignment& a = pair.current;
        if (a.position >= kKeyPositions || m_slotMap[a.position] == kUnknown)
            continue;
        if (a.type != kMacroType && a.type != kMacroRepeatType)
            continue;
        if (a.p1 < count && std::find(used.begin(), used.end(), a.p1) == used.end())
            used.push_back(a.p1);
    }
    return used;
}

CVantikUSBDevice::KeyStep CVantikKeyboardDevice::KeyAssignmentsWriteStep(int bank,
                                                                          const std::vector<KeyAssignmentPair>& assignments)
{
    // Everything the table is built from is taken now; the information block (whose slot count
    // sizes the table) is read again on the worker first.
    std::array<KeyAssignment, kKeyPositions> current{};
    std::array<KeyAssignment, kKeyPositions> defaults{};
    std::array<bool, kKeyPositions> assigned{};
    for (const KeyAssignmentPair& pair : assignments) {
        if (pair.current.position < kKeyPositions) {
            current[pair.current.position] = pair.current;
            defaults[pair.current.position] = pair.defaults;
            assigned[pair.current.position] = true;
        }
    }
    return [bank, current, defaults, assigned, base = m_keyTableCopy, slotOf = m_slotMap, info = m_info,
            count = std::max(0, MacroCount())](CommandTransport& t, KeyWriteResult& r) mutable {
        if (ReadInformationIo(t, info) == 1)
            r.info = info;
        const uint32_t length = 3u * info[CommandTransport::kInfoKeySlots];
        if (length > 512)
            return 0;
        std::array<uint8_t, 512> table = base;
        std::vector<int> used;
        // By key position, so the macros are numbered in the order CollectUsedMacros lists them.
        for (int j = 0; j < kKeyPositions; ++j) {
            const uint8_t k = slotOf[size_t(j)];
            if (!assigned[size_t(j)] || k == kUnknown || 3u * k + 2 >= length)
                continue;
            KeyAssignment a = current[size_t(j)];
            if (a.type == kMacroType || a.type == kMacroRepeatType) {
                if (a.p1 < count) {
                    auto it = std::find(used.begin(), used.end(), a.p1);
                    if (it == used.end())
                        it = used.insert(used.end(), a.p1);
                    a.p1 = uint8_t(it - used.begin());
                } else {
                    // The macro no longer exists: the key does what it does out of the box.
                    a = defaults[size_t(j)];
                }
            }
            table[3u * k] = a.type;
            table[3u * k + 1] = a.p1;
            table[3u * k + 2] = a.p2;
        }
        if (!t.isReady())
            return 0;
        t.openSession();
        const int result = t.writeKeyTable(table.data(), bank);
        t.closeSession();
        if (result == 1)
            r.table.assign(table.begin(), table.begin() + length);
        return result;
    };
}

CVantikUSBDevice::KeyStep CVantikKeyboardDevice::KeyTableWriteStep(int bank)
{
    return KeyAssignmentsWriteStep(bank, m_keys);
}

void CVantikKeyboardDevice::StoreKeyAssignments(const std::vector<KeyAssignmentPair>& keys)
{
    m_keys = keys;
    m_profile.SetKeyList(keys);
}

CVantikUSBDevice::KeyStep CVantikKeyboardDevice::MacroWriteStep(const std::vector<int>& macros)
{
    return [folder = DataFolder(), macros, info = m_info](CommandTransport& t, KeyWriteResult& r) mutable {
        const CommandTransport::InfoBlock before = info;
        const int result = t.writeMacros(folder, macros, info);
        if (info != before)
            r.info = info;
        return result;
    };
}

void CVantikKeyboardDevice::ShowKeyAssignments()
{
    // The key buttons carry their key's name in the picture; the assignment editor (which
    // labels reassigned keys) marks a key whose function differs from its factory one.
    for (const KeyAssignmentPair& pair : m_keys) {
        if (pair.current.position >= m_keyButtons.size())
            continue;
        if (auto* button = qobject_cast<ui::CDeviceKeyButtonUI*>(m_keyButtons[pair.current.position]))
            button->SetKeySetHidden(pair.current.packed() == pair.defaults.packed());
    }
}

void CVantikKeyboardDevice::BeforeProfilePush(std::function<void()> then)
{
    // A push right after the keyboard appeared may come before its connection read: the key
    // table can only be written once the slots are known. A keyboard that is not answering is
    // not read again: the push fails at once and says so.
    if (!m_infoValid && m_transport.isReady() && Answering())
        ReadKeyboard(std::move(then));
    else
        then();
}

void CVantikKeyboardDevice::ShowPushedProfile()
{
    ShowKeyAssignments();
    RefreshPanel();
}

std::function<CVantikUSBDevice::PushResult(CommandTransport&)> CVantikKeyboardDevice::ProfilePushJob()
{
    // Settings, the macros the keys use, the key table, the custom colours (so the keyboard's own
    // custom mode shows this profile's): in this order, each only after the one before went.
    Request settings = SettingsWriteJob(0, 0);
    KeyStep macros = MacroWriteStep(CollectUsedMacros());
    KeyStep keys = KeyTableWriteStep(0);
    Request colours = GetLightState().mode == kCustomMode ? Request{} : CustomColourTableJob(false);
    return [settings, macros, keys, colours](CommandTransport& t) {
        PushResult r;
        if (!PushStep(r, "push_step_settings", settings(t).code))
            return r;
        r.keys.macros = macros(t, r.keys);
        // Macros that do not fit or that the keyboard did not take stop the push: the key table
        // would otherwise point keys at macros the keyboard does not hold. An image that could
        // not be built (-1) sends nothing and lets the table go.
        if (r.keys.macros > 0 || (r.keys.macros < 0 && r.keys.macros != protocol::kMacroNoMemory)) {
            r.code = r.keys.macros;
            r.step = QStringLiteral("push_step_macros");
            return r;
        }
        ++r.stepsDone;
        r.keys.keys = keys(t, r.keys);
        if (!PushStep(r, "push_step_keys", r.keys.keys))
            return r;
        if (colours)
            PushStep(r, "push_step_colours", colours(t).code);
        return r;
    };
}

void CVantikKeyboardDevice::SelectFunctionPage(int page)
{
    CVantikUSBDevice::SelectFunctionPage(page);
    // The FN key cannot be reassigned; it is only available while the lighting is edited.
    if (m_keyButtons.size() > 110 && m_keyButtons[110]) {
        if (page == 1)
            m_keyButtons[110]->setEnabled(true);
        else if (page == 2)
            m_keyButtons[110]->setEnabled(false);
    }
    // Keys are lit only on the lighting page; elsewhere they show unlit.
    m_lastPushedGeneration = ~uint64_t(0);
    m_lastPreviewMs = 0;
    PushLightingFrame();
}

void CVantikKeyboardDevice::OnKeyEvent(int slot, int action)
{
    int position = -1;
    for (int j = 0; j < kKeyPositions; ++j) {
        if (m_slotMap[size_t(j)] == slot) {
            position = j;
            break;
        }
    }
    if (position < 0)
        return;
    {
        std::lock_guard lock(m_stateLock);
        if (m_pending.keyCount < m_pending.keys.size())
            m_pending.keys[m_pending.keyCount++] = {int16_t(position), int8_t(action)};
    }
    WakeLightThread();
}

// --- Lighting engine on the light thread ---

lighting::KeyboardEffectInput CVantikKeyboardDevice::EffectInput(const LightState& s) const
{
    lighting::KeyboardEffectInput in;
    in.mode = s.mode;
    in.brightness = s.brightness;
    in.speed = s.speed;
    in.direction = s.direction;
    in.multicolour = s.multicolour;
    in.red = s.red;
    in.green = s.green;
    in.blue = s.blue;
    in.presetColour = s.extra[3];
    return in;
}

void CVantikKeyboardDevice::ResetEffectState()
{
    CVantikUSBDevice::ResetEffectState();
    lighting::KeyboardEffectInput in;
    {
        std::lock_guard lock(m_stateLock);
        in = EffectInput(m_lightState);
    }
    m_effects.Enter(in);
}

void CVantikKeyboardDevice::RenderMode(uint8_t mode)
{
    lighting::KeyboardEffectInput in;
    std::array<std::pair<int16_t, int8_t>, 32> keys;
    size_t keyCount = 0;
    {
        // Only copies under the lock; the step itself runs without it.
        std::lock_guard lock(m_stateLock);
        in = EffectInput(m_lightState);
        in.musicStyle = m_pending.musicStyle;
        in.musicRed = m_pending.musicRed;
        in.musicGreen = m_pending.musicGreen;
        in.musicBlue = m_pending.musicBlue;
        in.musicColourful = m_pending.musicColourful;
        if (m_pending.audioChanged) {
            m_effects.SetAudioLevels(m_pending.audio.data(), int(m_pending.audio.size()));
            m_pending.audioChanged = false;
        }
        if (m_pending.externalChanged) {
            m_effects.SetExternalColour(m_pending.external.data(), int(m_pending.external.size()));
            m_pending.externalChanged = false;
        }
        if (m_pending.stepsChanged) {
            m_effects.SetSteps(m_pending.steps);
            m_pending.stepsChanged = false;
        }
        if (m_pending.overlayChanged) {
            m_effects.SetOverlay(m_pending.overlay);
            m_pending.overlayChanged = false;
        }
        keyCount = m_pending.keyCount;
        keys = m_pending.keys;
        m_pending.keyCount = 0;
    }
    in.mode = mode;
    for (size_t i = 0; i < keyCount; ++i)
        m_effects.KeyEvent(keys[i].first, keys[i].second, mode);
    m_effects.Render(in, m_render.data(), m_render.size(), lighting::NowMs());
}

bool CVantikKeyboardDevice::IsStillMode(uint8_t mode) const
{
    return lighting::KeyboardEffects::IsStillMode(mode) && !m_effects.HasAnimatedOverlay();
}

uint32_t CVantikKeyboardDevice::StepTicks(uint8_t mode, uint8_t speed) const
{
    return lighting::KeyboardEffects::StepTicks(mode, speed);
}

void CVantikKeyboardDevice::SetAudioLevels(const int* levels, int count)
{
    {
        std::lock_guard lock(m_stateLock);
        const int n = std::clamp(count, 0, int(m_pending.audio.size()));
        std::copy(levels, levels + n, m_pending.audio.begin());
        m_pending.audioChanged = true;
    }
}

void CVantikKeyboardDevice::SetExternalColour(const int* values, int count)
{
    {
        std::lock_guard lock(m_stateLock);
        const int n = std::clamp(count, 0, int(m_pending.external.size()));
        std::copy(values, values + n, m_pending.external.begin());
        m_pending.externalChanged = true;
    }
    // Mode 30 rests between colours: the new one shows at once.
    WakeLightThread();
}

// --- Frames and preview (UI thread) ---

void CVantikKeyboardDevice::PaintPreview(const std::vector<LedColour>& leds)
{
    const bool lit = m_functionPage == 1;
    for (size_t i = 0; i < leds.size() && i < m_lightButtons.size(); ++i) {
        auto* button = static_cast<ui::CDeviceKeyButtonUI*>(m_lightButtons[i]);
        if (!button)
            continue;
        // SetLightColour repaints the key only when its colour changed.
        if (lit && button->isVisible())
            button->SetLightColour(PackForPreview(leds[i]), leds[i].brightness, true);
        else
            button->SetLightColour(0, 0, true);
    }
    ++m_previewUpdates;
}

bool CVantikKeyboardDevice::SendFrame(const std::vector<LedColour>& leds, uint64_t generation)
{
    const bool wireless = m_transport.isWireless() != 0;
    if (wireless ? m_wirelessSuspended : m_wiredSuspended)
        return true;
    if (!m_io.Answering())
        return true;
    if (lighting::NowMs() < m_frameRetryAtMs)
        return false;
    m_frame.fill(0);
    for (size_t i = 0; i < leds.size() && i < size_t(kKeyPositions); ++i) {
        const uint8_t led = m_ledMap[i];
        if (led == kUnknown || 3u * led + 2 >= m_frame.size())
            continue;
        const LedColour c = leds[i];
        m_frame[3u * led] = uint8_t((c.red * c.brightness) >> 8);
        m_frame[3u * led + 1] = uint8_t((c.green * c.brightness) >> 8);
        m_frame[3u * led + 2] = uint8_t((c.blue * c.brightness) >> 8);
    }
    const uint32_t length = std::min<uint32_t>(3u * m_info[CommandTransport::kInfoKeySlots], 512);
    struct Sent : IoResult {
        uint64_t tookMs = 0;
    };
    PostIo<Sent>(IoKind::Frame, [frame = m_frame, length](CommandTransport& t) {
        Sent r;
        const uint64_t start = lighting::NowMs();
        r.code = t.sendLightingFrame(frame.data(), length);
        r.tookMs = lighting::NowMs() - start;
        return r;
    }, [this, wireless, generation](Sent r) { FrameSent(wireless, generation, r.code, r.tookMs); }, "frame");
    return true;
}

void CVantikKeyboardDevice::FrameSent(bool wireless, uint64_t generation, int result, uint64_t tookMs)
{
    bool& suspended = wireless ? m_wirelessSuspended : m_wiredSuspended;
    int& slow = wireless ? m_wirelessSlow : m_wiredSlow;
    // A frame that was on its way when the route was suspended says nothing about it now.
    if (!suspended) {
        if (tookMs <= kSlowSendMs)
            slow = 0;
        else if (++slow > 1) {
            suspended = true;
            slow = 0;
        }
    }
    if (result != 1) {
        // A failed frame is sent again after a pause (unless newer colours went out meanwhile).
        m_frameRetryAtMs = lighting::NowMs() + kFailedSendPauseMs;
        if (m_streamedGeneration == generation)
            m_streamedGeneration = ~uint64_t(0);
        if (m_lastPushedGeneration == generation)
            m_lastPushedGeneration = ~uint64_t(0);
        RequestFramePush();
    }
}

void CVantikKeyboardDevice::SetStreamSuspended(bool wireless, bool suspended)
{
    (wireless ? m_wirelessSuspended : m_wiredSuspended) = suspended;
    (wireless ? m_wirelessSlow : m_wiredSlow) = 0;
}

bool CVantikKeyboardDevice::StreamsEveryStep(uint8_t mode) const
{
    return Streams(mode);
}

bool CVantikKeyboardDevice::StepsWanted(uint8_t mode) const
{
    // Outside the streamed modes the keyboard runs its lighting itself; the steps only feed
    // the picture, which nobody sees while the page is off screen.
    return Streams(mode) || m_previewOnScreen.load();
}

void CVantikKeyboardDevice::showEvent(QShowEvent* event)
{
    // The keyboard paints its own picture (lit on the lighting page only): the light thread,
    // woken here, brings it up to date.
    QWidget::showEvent(event);
    if (!m_previewOnScreen.exchange(true))
        WakeLightThread();
}

void CVantikKeyboardDevice::hideEvent(QHideEvent* event)
{
    CVantikUSBDevice::hideEvent(event);
    m_previewOnScreen = false;
}

uint32_t CVantikKeyboardDevice::FramePushIntervalMs() const
{
    // Outside the two streamed modes the keyboard runs its lighting itself: only the picture
    // follows, at its own rate.
    return Streams(GetLightState().mode) ? 5 : uint32_t(kPreviewIntervalMs);
}

uint32_t CVantikKeyboardDevice::MinWakeMs(uint8_t mode) const
{
    // Outside the streamed modes only the picture takes the colours, every kPreviewIntervalMs:
    // the light thread wakes at three quarters of that, so that each of the picture's frames
    // finds a fresh one despite both clocks' jitter.
    return Streams(mode) ? kMinWakeMs : uint32_t(kPreviewIntervalMs * 3 / 4);
}

void CVantikKeyboardDevice::PushLightingFrame()
{
    if (!m_lightingControl.load())
        return;
    uint64_t generation = 0;
    {
        std::lock_guard lock(m_colourLock);
        generation = m_ledGeneration;
        if (generation == m_lastPushedGeneration)
            return;
        m_pushLeds = m_leds;
    }
    const uint64_t now = lighting::NowMs();
    const bool previewDue = now - m_lastPreviewMs >= kPreviewIntervalMs;
    if (previewDue && m_previewFlag.load()) {
        PaintPreview(m_pushLeds);
        m_lastPreviewMs = now;
    }
    bool sent = true;
    // A reset push generation asks for the frame again (a failed frame, the lighting taken back).
    const bool again = m_lastPushedGeneration == ~uint64_t(0);
    if (Streams(GetLightState().mode) && (again || generation != m_streamedGeneration)) {
        sent = SendFrame(m_pushLeds, generation);
        if (sent)
            m_streamedGeneration = generation;
    }
    // Streamed frames go out at the timer's pace; the preview catches up at its own.
    if (sent && (previewDue || !m_previewFlag.load()))
        m_lastPushedGeneration = generation;
}

// --- Status, link, events ---

void CVantikKeyboardDevice::ReadStatus()
{
    // Behind the receiver the link check goes first; a keyboard out of reach is not read.
    if (!m_transport.isReady() || m_suppressStatus)
        return;
    PostStatusRead(true);
}

void CVantikKeyboardDevice::LinkChecked(bool answers)
{
    if (!m_transport.isWireless())
        return;
    // Frames through the receiver stop while the keyboard is out of its reach.
    m_wirelessSuspended = !answers;
    if (answers)
        m_wirelessSlow = 0;
}

bool CVantikKeyboardDevice::Streams(uint8_t mode) const
{
    return isStreamedMode(mode) || m_externalLighting.load();
}

void CVantikKeyboardDevice::ExternalLightingChanged(bool on)
{
    // The keyboard takes frames once told that the software drives its lights; at the end the
    // profile's settings block (sent by the base) hands the lighting back to it.
    if (on && m_transport.isReady())
        PostIo<IoResult>(IoKind::Command, [](CommandTransport& t) { return IoResult{t.lightingControlNotice()}; });
    m_lastPushedGeneration = ~uint64_t(0);
    RequestFramePush();
}

void CVantikKeyboardDevice::LightingControlNotice(uint32_t on)
{
    CVantikUSBDevice::LightingControlNotice(on);
    // The keyboard runs its own lighting until told that the software drives it again.
    if (on && m_transport.isReady())
        PostIo<IoResult>(IoKind::Command, [](CommandTransport& t) { return IoResult{t.lightingControlNotice()}; });
}

void CVantikKeyboardDevice::HandleDeviceEvent(uint32_t code)
{
    if (code == 0x401 || code == 0x402) {
        StartTabTimer(kTimerReadSettings, 50);
        return;
    }
    const uint32_t high = (code >> 8) & 0xFF;
    if ((high == 0x10 || high == 0x11) && m_transport.isReady()) {
        m_settings[0] = uint8_t(code & 0x0F);
        RefreshPanel();
        // The keyboard now lights from that profile's block: read it so the picture follows.
        StartTabTimer(kTimerReadSettings, 50);
    }
}

// --- Page ---

void CVantikKeyboardDevice::SettingsWritten(const IoResult& result)
{
    if (!result.ok())
        return;
    m_settings[0] = 0;
    ShowOnboardProfile();
}

void CVantikKeyboardDevice::ShowOnboardProfile()
{
    if (auto* label = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_profile")))) {
        const bool known = m_transport.isReady() && m_info[3] > 0;
        label->setVisible(known);
        if (known)
            label->setText(ui::Language::instance().Text(QStringLiteral("kb_onboard_profile_format")).arg(m_settings[0] + 1));
    }
}

void CVantikKeyboardDevice::ShowRepeatDelay(int index)
{
    if (auto* label = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("repeat_delay_time_label1"))))
        label->setText(ui::Language::instance().Text(QStringLiteral("Repeat_Delay_Time")) +
                       QString::number(index * 250 + 250) + QStringLiteral("ms"));
}

void CVantikKeyboardDevice::ShowSystemStages()
{
    ui::PaintManager* pm = ui::PaintManager::ForControl(this);
    auto select = [&](const QString& name, bool on) {
        if (QWidget* w = FindPanelControl(name)) {
            if (pm)
                pm->SelectOption(w, on, false);
        }
    };
    const KeyboardSystemStages s = m_stages;
    for (int n = 0; n < 4; ++n) {
        select(QStringLiteral("polling_rate_option_%1").arg(n), s.pollingRate == n);
        select(QStringLiteral("repeat_delay_check_%1").arg(n), s.repeatDelay == n);
    }
    select(QStringLiteral("winlockflag_option"), s.winFlag != 0);
    select(QStringLiteral("wflag_option"), s.wFlag != 0);
    select(QStringLiteral("6flag_option"), s.key6Flag != 0);
    if (auto* slider = qobject_cast<QAbstractSlider*>(FindPanelControl(QStringLiteral("repeat_rate_slider")))) {
        const QSignalBlocker block(slider);
        slider->setValue(s.repeat);
    }
    ShowRepeatDelay(s.repeatDelay < 4 ? s.repeatDelay : 0);
    if (QWidget* edit = FindPanelControl(QStringLiteral("repeat_input_richedit"))) {
        const QString tip = ui::Language::instance().Text(QStringLiteral("Repeat_input_text"));
        if (auto* line = qobject_cast<QLineEdit*>(edit))
            line->setPlaceholderText(tip);
        else if (auto* text = qobject_cast<QTextEdit*>(edit))
            text->setPlaceholderText(tip);
        edit->setAccessibleName(tip);
    }
}

void CVantikKeyboardDevice::RefreshPanel()
{
    LoadNameLists();
    CVantikUSBDevice::RefreshPanel();
    ShowSystemStages();
    ShowOnboardProfile();
}

void CVantikKeyboardDevice::StoreSystemStage(const std::function<void(KeyboardSystemStages&)>& change, bool send)
{
    if (!m_profileLoaded) {
        ShowSystemStages();
        return;
    }
    KeyboardSystemStages stages = m_profile.GetSystemStages();
    change(stages);
    m_profile.SetSystemStages(stages);
    m_stages = stages;
    SaveProfile();
    if (send)
        PostSettings(0);
}

bool CVantikKeyboardDevice::HandlePanelNotify(TNotifyUI& msg)
{
    if (!msg.pSender)
        return false;
    // The panels every page shares (the profile panel and the like) come first.
    if (CVantikUSBDevice::HandlePanelNotify(msg))
        return true;
    const QString name = msg.pSender->objectName();
    const auto [prefix, index] = ui::SplitTrailingNumber(name);
    const bool selectChanged = msg.sType == QLatin1String(ui::kNotifySelectChanged);
    auto checked = [&] {
        auto* b = qobject_cast<QAbstractButton*>(msg.pSender);
        return b && b->isChecked();
    };
    if (selectChanged && prefix == QLatin1String("polling_rate_option_")) {
        if (!checked())
            return true;
        const int n = index >= 0 && index < 4 ? index : 0;
        StoreSystemStage([n](KeyboardSystemStages& s) { s.pollingRate = uint16_t(n); }, true);
        ShowSystemStages();
        return true;
    }
    if (selectChanged && prefix == QLatin1String("repeat_delay_check_")) {
        if (!checked())
            return true;
        const int n = index >= 0 && index < 4 ? index : 0;
        StoreSystemStage([n](KeyboardSystemStages& s) { s.repeatDelay = uint16_t(n); }, false);
        ShowSystemStages();
        return true;
    }
    if (selectChanged && name == QLatin1String("winlockflag_option")) {
        const bool on = checked();
        StoreSystemStage([on](KeyboardSystemStages& s) { s.winFlag = on ? 1 : 0; }, true);
        return true;
    }
    if (selectChanged && name == QLatin1String("wflag_option")) {
        const bool on = checked();
        StoreSystemStage([on](KeyboardSystemStages& s) { s.wFlag = on ? 1 : 0; }, true);
        return true;
    }
    if (selectChanged && name == QLatin1String("6flag_option")) {
        const bool on = checked();
        StoreSystemStage([on](KeyboardSystemStages& s) { s.key6Flag = on ? 1 : 0; }, true);
        return true;
    }
    if ((msg.sType == QLatin1String(ui::kNotifyValueChanged) || msg.sType == QLatin1String(ui::kNotifyMoveValueChanged)) &&
        name == QLatin1String("repeat_rate_slider")) {
        const auto value = uint16_t(msg.wParam);
        StoreSystemStage([value](KeyboardSystemStages& s) { s.repeat = value; }, false);
        return true;
    }
    if (msg.sType == QLatin1String(ui::kNotifyClick) && name == QLatin1String("reset_repeat_btn")) {
        QWidget* edit = FindPanelControl(QStringLiteral("repeat_input_richedit"));
        if (auto* line = qobject_cast<QLineEdit*>(edit))
            line->clear();
        else if (auto* text = qobject_cast<QTextEdit*>(edit))
            text->clear();
        return true;
    }
    return false;
}
