#include "editors/KeyFunctionTables.h"

namespace keyfn {

namespace {

// Rows 0-7 the modifiers by their bit, 8-113 the keys by usage, then the consumer, system,
// on-board macro and special keys. ScanTable pairs rows 0-112 with the set-1 make code and the
// extended flag of each key (K42 and the rows after it cannot be typed).
constexpr FunctionRow kKeyTable[] = {
    {"keyboard_key_LCtrl", 0x20, 0x01, 0x00},
    {"keyboard_key_LShift", 0x20, 0x02, 0x00},
    {"keyboard_key_LAlt", 0x20, 0x04, 0x00},
    {"keyboard_key_LWin", 0x20, 0x08, 0x00},
    {"keyboard_key_RCtrl", 0x20, 0x10, 0x00},
    {"keyboard_key_RShift", 0x20, 0x20, 0x00},
    {"keyboard_key_RAlt", 0x20, 0x40, 0x00},
    {"keyboard_key_RWin", 0x20, 0x80, 0x00},
    {"keyboard_key_A", 0x20, 0x00, 0x04},
    {"keyboard_key_B", 0x20, 0x00, 0x05},
    {"keyboard_key_C", 0x20, 0x00, 0x06},
    {"keyboard_key_D", 0x20, 0x00, 0x07},
    {"keyboard_key_E", 0x20, 0x00, 0x08},
    {"keyboard_key_F", 0x20, 0x00, 0x09},
    {"keyboard_key_G", 0x20, 0x00, 0x0A},
    {"keyboard_key_H", 0x20, 0x00, 0x0B},
    {"keyboard_key_I", 0x20, 0x00, 0x0C},
    {"keyboard_key_J", 0x20, 0x00, 0x0D},
    {"keyboard_key_K", 0x20, 0x00, 0x0E},
    {"keyboard_key_L", 0x20, 0x00, 0x0F},
    {"keyboard_key_M", 0x20, 0x00, 0x10},
    {"keyboard_key_N", 0x20, 0x00, 0x11},
    {"keyboard_key_O", 0x20, 0x00, 0x12},
    {"keyboard_key_P", 0x20, 0x00, 0x13},
    {"keyboard_key_Q", 0x20, 0x00, 0x14},
    {"keyboard_key_R", 0x20, 0x00, 0x15},
    {"keyboard_key_S", 0x20, 0x00, 0x16},
    {"keyboard_key_T", 0x20, 0x00, 0x17},
    {"keyboard_key_U", 0x20, 0x00, 0x18},
    {"keyboard_key_V", 0x20, 0x00, 0x19},
    {"keyboard_key_W", 0x20, 0x00, 0x1A},
    {"keyboard_key_X", 0x20, 0x00, 0x1B},
    {"keyboard_key_Y", 0x20, 0x00, 0x1C},
    {"keyboard_key_Z", 0x20, 0x00, 0x1D},
    {"keyboard_key_1", 0x20, 0x00, 0x1E},
    {"keyboard_key_2", 0x20, 0x00, 0x1F},
    {"keyboard_key_3", 0x20, 0x00, 0x20},
    {"keyboard_key_4", 0x20, 0x00, 0x21},
    {"keyboard_key_5", 0x20, 0x00, 0x22},
    {"keyboard_key_6", 0x20, 0x00, 0x23},
    {"keyboard_key_7", 0x20, 0x00, 0x24},
    {"keyboard_key_8", 0x20, 0x00, 0x25},
    {"keyboard_key_9", 0x20, 0x00, 0x26},
    {"keyboard_key_0", 0x20, 0x00, 0x27},
    {"keyboard_key_Enter", 0x20, 0x00, 0x28},
    {"keyboard_key_Esc", 0x20, 0x00, 0x29},
    {"keyboard_key_BackSpace", 0x20, 0x00, 0x2A},
    {"keyboard_key_Tab", 0x20, 0x00, 0x2B},
    {"keyboard_key_Space", 0x20, 0x00, 0x2C},
    {"keyboard_key_-", 0x20, 0x00, 0x2D},
    {"keyboard_key_=", 0x20, 0x00, 0x2E},
    {"keyboard_key_[", 0x20, 0x00, 0x2F},
    {"keyboard_key_]", 0x20, 0x00, 0x30},
    {"keyboard_key_xiegang", 0x20, 0x00, 0x31},
    {"keyboard_key_;", 0x20, 0x00, 0x33},
    {"keyboard_key_'", 0x20, 0x00, 0x34},
    {"keyboard_key_`", 0x20, 0x00, 0x35},
    {"keyboard_key_<", 0x20, 0x00, 0x36},
    {"keyboard_key_.", 0x20, 0x00, 0x37},
    {"keyboard_key_/", 0x20, 0x00, 0x38},
    {"keyboard_key_Caplk", 0x20, 0x00, 0x39},
    {"keyboard_key_F1", 0x20, 0x00, 0x3A},
    {"keyboard_key_F2", 0x20, 0x00, 0x3B},
    {"keyboard_key_F3", 0x20, 0x00, 0x3C},
    {"keyboard_key_F4", 0x20, 0x00, 0x3D},
    {"keyboard_key_F5", 0x20, 0x00, 0x3E},
    {"keyboard_key_F6", 0x20, 0x00, 0x3F},
    {"keyboard_key_F7", 0x20, 0x00, 0x40},
    {"keyboard_key_F8", 0x20, 0x00, 0x41},
    {"keyboard_key_F9", 0x20, 0x00, 0x42},
    {"keyboard_key_F10", 0x20, 0x00, 0x43},
    {"keyboard_key_F11", 0x20, 0x00, 0x44},
    {"keyboard_key_F12", 0x20, 0x00, 0x45},
    {"keyboard_key_Print Scr", 0x20, 0x00, 0x46},
    {"keyboard_key_Scroll Lock", 0x20, 0x00, 0x47},
    {"keyboard_key_Pause", 0x20, 0x00, 0x48},
    {"keyboard_key_Insert", 0x20, 0x00, 0x49},
    {"keyboard_key_Home", 0x20, 0x00, 0x4A},
    {"keyboard_key_Page Up", 0x20, 0x00, 0x4B},
    {"keyboard_key_Delete", 0x20, 0x00, 0x4C},
    {"keyboard_key_End", 0x20, 0x00, 0x4D},
    {"keyboard_key_Page Down", 0x20, 0x00, 0x4E},
    {"keyboard_key_Right", 0x20, 0x00, 0x4F},
    {"keyboard_key_Left", 0x20, 0x00, 0x50},
    {"keyboard_key_Down", 0x20, 0x00, 0x51},
    {"keyboard_key_Up", 0x20, 0x00, 0x52},
    {"keyboard_key_Num Lock", 0x20, 0x00, 0x53},
    {"keyboard_key_Num /", 0x20, 0x00, 0x54},
    {"keyboard_key_Num *", 0x20, 0x00, 0x55},
    {"keyboard_key_Num -", 0x20, 0x00, 0x56},
    {"keyboard_key_Num +", 0x20, 0x00, 0x57},
    {"keyboard_key_Num Enter", 0x20, 0x00, 0x58},
    {"keyboard_key_Num 1", 0x20, 0x00, 0x59},
    {"keyboard_key_Num 2", 0x20, 0x00, 0x5A},
    {"keyboard_key_Num 3", 0x20, 0x00, 0x5B},
    {"keyboard_key_Num 4", 0x20, 0x00, 0x5C},
    {"keyboard_key_Num 5", 0x20, 0x00, 0x5D},
    {"keyboard_key_Num 6", 0x20, 0x00, 0x5E},
    {"keyboard_key_Num 7", 0x20, 0x00, 0x5F},
    {"keyboard_key_Num 8", 0x20, 0x00, 0x60},
    {"keyboard_key_Num 9", 0x20, 0x00, 0x61},
    {"keyboard_key_Num 0", 0x20, 0x00, 0x62},
    {"keyboard_key_Decimal", 0x20, 0x00, 0x63},
    {"keyboard_key_App", 0x20, 0x00, 0x65},
    {"keyboard_key_K45", 0x20, 0x00, 0x64},
    {"keyboard_key_K56", 0x20, 0x00, 0x87},
    {"keyboard_key_K14", 0x20, 0x00, 0x89},
    {"keyboard_key_K107", 0x20, 0x00, 0x85},
    {"keyboard_key_K131", 0x20, 0x00, 0x8B},
    {"keyboard_key_K132", 0x20, 0x00, 0x8A},
    {"keyboard_key_K133", 0x20, 0x00, 0x88},
    {"keyboard_key_K150", 0x20, 0x00, 0x91},
    {"keyboard_key_K151", 0x20, 0x00, 0x90},
    {"keyboard_key_K42", 0x20, 0x00, 0x32},
    {"keyboard_key_Launch App2", 0x30, 0x92, 0x01},
    {"keyboard_key_Browaer Home", 0x30, 0x23, 0x02},
    {"keyboard_key_Media Play Pause", 0x30, 0xCD, 0x00},
    {"keyboard_key_Browser Search", 0x30, 0x21, 0x02},
    {"keyboard_key_Launch Mail", 0x30, 0x8A, 0x01},
    {"keyboard_key_Volume Up", 0x30, 0xE9, 0x00},
    {"keyboard_key_Volume Mute", 0x30, 0xE2, 0x00},
    {"keyboard_key_Media Stop", 0x30, 0xB7, 0x00},
    {"keyboard_key_Volume Down", 0x30, 0xEA, 0x00},
    {"keyboard_key_Browser Favorites", 0x30, 0x2A, 0x02},
    {"keyboard_key_Browser ForWard", 0x30, 0x25, 0x02},
    {"keyboard_key_Browser Back", 0x30, 0x24, 0x02},
    {"keyboard_key_Media Prev Track", 0x30, 0xB6, 0x00},
    {"keyboard_key_Media Next Track", 0x30, 0xB5, 0x00},
    {"keyboard_key_Computer", 0x30, 0x94, 0x01},
    {"keyboard_key_Browser Refresh", 0x30, 0x27, 0x02},
    {"wed_stop", 0x30, 0x26, 0x02},
    {"keyboard_key_Launch Media Select", 0x30, 0x83, 0x01},
    {"keyboard_key_Power", 0x40, 0x01, 0x00},
    {"keyboard_key_Sleep", 0x40, 0x02, 0x00},
    {"keyboard_key_Wakeup", 0x40, 0x04, 0x00},
    {"keyboard_key_M1", 0xD0, 0xA2, 0x01},
    {"keyboard_key_M2", 0xD0, 0xA2, 0x02},
    {"keyboard_key_M3", 0xD0, 0xA2, 0x03},
    {"keyboard_key_M4", 0xD0, 0xA2, 0x04},
    {"keyboard_key_M5", 0xD0, 0xA2, 0x05},
    {"keyboard_key_FN", 0xA0, 0x01, 0x00},
    {"keyboard_key_GM", 0xA0, 0x1B, 0x00},
};
constexpr ScanRow kScanTable[] = {
    {0x1D, false},  // keyboard_key_LCtrl
    {0x2A, false},  // keyboard_key_LShift
    {0x38, false},  // keyboard_key_LAlt
    {0x5B, true},  // keyboard_key_LWin
    {0x1D, true},  // keyboard_key_RCtrl
    {0x36, false},  // keyboard_key_RShift
    {0x38, true},  // keyboard_key_RAlt
    {0x5C, true},  // keyboard_key_RWin
    {0x1E, false},  // keyboard_key_A
    {0x30, false},  // keyboard_key_B
    {0x2E, false},  // keyboard_key_C
    {0x20, false},  // keyboard_key_D
    {0x12, false},  // keyboard_key_E
    {0x21, false},  // keyboard_key_F
    {0x22, false},  // keyboard_key_G
    {0x23, false},  // keyboard_key_H
    {0x17, false},  // keyboard_key_I
    {0x24, false},  // keyboard_key_J
    {0x25, false},  // keyboard_key_K
    {0x26, false},  // keyboard_key_L
    {0x32, false},  // keyboard_key_M
    {0x31, false},  // keyboard_key_N
    {0x18, false},  // keyboard_key_O
    {0x19, false},  // keyboard_key_P
    {0x10, false},  // keyboard_key_Q
    {0x13, false},  // keyboard_key_R
    {0x1F, false},  // keyboard_key_S
    {0x14, false},  // keyboard_key_T
    {0x16, false},  // keyboard_key_U
    {0x2F, false},  // keyboard_key_V
    {0x11, false},  // keyboard_key_W
    {0x2D, false},  // keyboard_key_X
    {0x15, false},  // keyboard_key_Y
    {0x2C, false},  // keyboard_key_Z
    {0x02, false},  // keyboard_key_1
    {0x03, false},  // keyboard_key_2
    {0x04, false},  // keyboard_key_3
    {0x05, false},  // keyboard_key_4
    {0x06, false},  // keyboard_key_5
    {0x07, false},  // keyboard_key_6
    {0x08, false},  // keyboard_key_7
    {0x09, false},  // keyboard_key_8
    {0x0A, false},  // keyboard_key_9
    {0x0B, false},  // keyboard_key_0
    {0x1C, false},  // keyboard_key_Enter
    {0x01, false},  // keyboard_key_Esc
    {0x0E, false},  // keyboard_key_BackSpace
    {0x0F, false},  // keyboard_key_Tab
    {0x39, false},  // keyboard_key_Space
    {0x0C, false},  // keyboard_key_-
    {0x0D, false},  // keyboard_key_=
    {0x1A, false},  // keyboard_key_[
    {0x1B, false},  // keyboard_key_]
    {0x2B, false},  // keyboard_key_xiegang
    {0x27, false},  // keyboard_key_;
    {0x28, false},  // keyboard_key_'
    {0x29, false},  // keyboard_key_`
    {0x33, false},  // keyboard_key_<
    {0x34, false},  // keyboard_key_.
    {0x35, false},  // keyboard_key_/
    {0x3A, false},  // keyboard_key_Caplk
    {0x3B, false},  // keyboard_key_F1
    {0x3C, false},  // keyboard_key_F2
    {0x3D, false},  // keyboard_key_F3
    {0x3E, false},  // keyboard_key_F4
    {0x3F, false},  // keyboard_key_F5
    {0x40, false},  // keyboard_key_F6
    {0x41, false},  // keyboard_key_F7
    {0x42, false},  // keyboard_key_F8
    {0x43, false},  // keyboard_key_F9
    {0x44, false},  // keyboard_key_F10
    {0x57, false},  // keyboard_key_F11
    {0x58, false},  // keyboard_key_F12
    {0x37, true},  // keyboard_key_Print Scr
    {0x46, false},  // keyboard_key_Scroll Lock
    {0x45, false},  // keyboard_key_Pause
    {0x52, true},  // keyboard_key_Insert
    {0x47, true},  // keyboard_key_Home
    {0x49, true},  // keyboard_key_Page Up
    {0x53, true},  // keyboard_key_Delete
    {0x4F, true},  // keyboard_key_End
    {0x51, true},  // keyboard_key_Page Down
    {0x4D, true},  // keyboard_key_Right
    {0x4B, true},  // keyboard_key_Left
    {0x50, true},  // keyboard_key_Down
    {0x48, true},  // keyboard_key_Up
    {0x45, true},  // keyboard_key_Num Lock
    {0x35, true},  // keyboard_key_Num /
    {0x37, false},  // keyboard_key_Num *
    {0x4A, false},  // keyboard_key_Num -
    {0x4E, false},  // keyboard_key_Num +
    {0x1C, true},  // keyboard_key_Num Enter
    {0x4F, false},  // keyboard_key_Num 1
    {0x50, false},  // keyboard_key_Num 2
    {0x51, false},  // keyboard_key_Num 3
    {0x4B, false},  // keyboard_key_Num 4
    {0x4C, false},  // keyboard_key_Num 5
    {0x4D, false},  // keyboard_key_Num 6
    {0x47, false},  // keyboard_key_Num 7
    {0x48, false},  // keyboard_key_Num 8
    {0x49, false},  // keyboard_key_Num 9
    {0x52, false},  // keyboard_key_Num 0
    {0x53, false},  // keyboard_key_Decimal
    {0x5D, true},  // keyboard_key_App
    {0x56, false},  // keyboard_key_K45
    {0x73, false},  // keyboard_key_K56
    {0x7D, false},  // keyboard_key_K14
    {0x7E, false},  // keyboard_key_K107
    {0x7B, false},  // keyboard_key_K131
    {0x79, false},  // keyboard_key_K132
    {0x70, false},  // keyboard_key_K133
    {0x71, false},  // keyboard_key_K150
    {0x72, false},  // keyboard_key_K151
};

constexpr FunctionRow kMouseButtonTable[] = {
    {"mouse_key_left", 0x10, 0x01, 0}, {"mouse_key_middle", 0x10, 0x04, 0}, {"mouse_key_right", 0x10, 0x02, 0},
    {"mouse_key_forward", 0x10, 0x10, 0}, {"mouse_key_back", 0x10, 0x08, 0},
};
constexpr FunctionRow kDpiActionTable[] = {
    {"mouse_key_DPI_add", 0x13, 1, 0}, {"mouse_key_DPI_sub", 0x13, 2, 0}, {"mouse_key_DPI_loop", 0x13, 3, 0},
};
constexpr FunctionRow kSystemTable[] = {
    {"system_power", 0x40, 0x01, 0}, {"system_sleep", 0x40, 0x02, 0}, {"system_wake_up", 0x40, 0x04, 0},
};
// Consumer usages as (low byte, high byte).
constexpr FunctionRow kMediaTable[] = {
    {"media_text", 0x30, 0x83, 0x01},  {"media_play", 0x30, 0xCD, 0x00},    {"media_stop", 0x30, 0xB7, 0x00},
    {"media_prev", 0x30, 0xB6, 0x00},  {"media_next", 0x30, 0xB5, 0x00},    {"media_vol_sub", 0x30, 0xEA, 0x00},
    {"media_vol_add", 0x30, 0xE9, 0x00}, {"media_mute", 0x30, 0xE2, 0x00},  {"web_text", 0x30, 0x23, 0x02},
    {"web_refresh", 0x30, 0x27, 0x02}, {"wed_stop", 0x30, 0x26, 0x02},      {"wed_back", 0x30, 0x24, 0x02},
    {"wed_forward", 0x30, 0x25, 0x02}, {"wed_favorite", 0x30, 0x2A, 0x02},  {"web_search", 0x30, 0x21, 0x02},
    {"media_mypc", 0x30, 0x94, 0x01},  {"media_calc", 0x30, 0x92, 0x01},    {"media_mail", 0x30, 0x8A, 0x01},
};
// Ctrl with a key; labelled by the key-combination rule.
constexpr FunctionRow kShortcutTable[] = {
    {"", 0x20, 0x01, 0x12}, {"", 0x20, 0x01, 0x11}, {"", 0x20, 0x01, 0x1D}, {"", 0x20, 0x01, 0x16},
    {"", 0x20, 0x01, 0x06}, {"", 0x20, 0x01, 0x1B}, {"", 0x20, 0x01, 0x19}, {"", 0x20, 0x01, 0x09},
    {"", 0x20, 0x01, 0x04}, {"", 0x20, 0x01, 0x2D}, {"", 0x20, 0x01, 0x2E},
};
constexpr FunctionRow kDeviceShortcutTable[] = {
    {"custem_cut", 0x22, 0, 0},  {"custem_copy", 0x22, 0, 1},       {"custem_paste", 0x22, 0, 2},
    {"custem_undo", 0x22, 0, 3}, {"custem_select_all", 0x22, 0, 4}, {"custem_find", 0x22, 0, 5},
    {"custem_new", 0x22, 0, 6},  {"custem_save", 0x22, 0, 7},       {"custem_open", 0x22, 0, 8},
};
constexpr const char* kGunNames[] = {"gun_1_txt", "gun_2_txt", "gun_3_txt", "gun_4_txt"};
constexpr MouseActionRow kMouseActions[] = {
    {0x0201, 0x01, 0x81, "mouse_key_left"},    {0x0202, 0x01, 0x01, "mouse_key_left"},
    {0x0204, 0x02, 0x81, "mouse_key_right"},   {0x0205, 0x02, 0x01, "mouse_key_right"},
    {0x0207, 0x04, 0x81, "mouse_key_middle"},  {0x0208, 0x04, 0x01, "mouse_key_middle"},
    {0x020B, 0x10, 0x81, "mouse_key_forward"}, {0x020C, 0x10, 0x01, "mouse_key_forward"},
    {0x020B, 0x08, 0x81, "mouse_key_back"},    {0x020C, 0x08, 0x01, "mouse_key_back"},
    {0x0200, 0, 0x84, "mouse_move_to_left_text"}, {0x0200, 0, 0x04, "mouse_move_to_right_text"},
    {0x0200, 0, 0x85, "mouse_move_to_up_text"},   {0x0200, 0, 0x05, "mouse_move_to_down_text"},
};

static_assert(std::size(kKeyTable) == kKeyTableRows);
static_assert(std::size(kScanTable) == kScanTableRows);

const FunctionRow* RowWithP1(std::span<const FunctionRow> table, uint8_t p1)
{
    for (const FunctionRow& r : table)
        if (r.p1 == p1)
            return &r;
    return nullptr;
}

}  // namespace

std::span<const FunctionRow> KeyTable() { return kKeyTable; }
std::span<const ScanRow> ScanTable() { return kScanTable; }
std::span<const FunctionRow> MouseButtonTable() { return kMouseButtonTable; }
std::span<const FunctionRow> DpiActionTable() { return kDpiActionTable; }
std::span<const FunctionRow> SystemTable() { return kSystemTable; }
std::span<const FunctionRow> MediaTable() { return kMediaTable; }
std::span<const FunctionRow> ShortcutTable() { return kShortcutTable; }
std::span<const FunctionRow> DeviceShortcutTable() { return kDeviceShortcutTable; }
std::span<const char* const> GunPatternNames() { return kGunNames; }
std::span<const MouseActionRow> MouseActionTable() { return kMouseActions; }

int FindRow(std::span<const FunctionRow> table, uint8_t type, uint8_t p1, uint8_t p2)
{
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].type == type && table[i].p1 == p1 && table[i].p2 == p2)
            return int(i);
    return -1;
}

int FindScanRow(uint8_t scan, bool extended)
{
    for (size_t i = 0; i < std::size(kScanTable); ++i)
        if (kScanTable[i].scan == scan && kScanTable[i].extended == extended)
            return int(i);
    return -1;
}

QString AssignmentLabel(const KeyAssignment& a, PageKind page, const QStringList& macroNames,
                        const std::function<QString(const QString&)>& resolve)
{
    auto id = [](const FunctionRow* r) { return r ? QString::fromLatin1(r->textId) : QString(); };
    auto exact = [&](std::span<const FunctionRow> table) {
        const int r = FindRow(table, a.type, a.p1, a.p2);
        return r < 0 ? QString() : QString::fromLatin1(table[size_t(r)].textId);
    };
    switch (a.type) {
    case 0x00:
    case 0x20: {
        if (QString row = exact(kKeyTable); !row.isEmpty())
            return row;
        if (a.p1 == 0 && a.p2 == 0)
            return QStringLiteral("close_text");
        // A key with modifiers: every modifier bit and the key, in table order. A row of the
        // same type matches by its p1 (a modifier of exactly that value) or by its p2 (the key).
        QStringList parts;
        for (const FunctionRow& r : kKeyTable) {
            if (r.type != a.type)
                continue;
            const bool modifier = r.p2 == 0 && r.p1 != 0 && (a.p1 & r.p1);
            const bool key = r.p1 == 0 && r.p2 != 0 && r.p2 == a.p2;
            if (modifier || key)
                parts << resolve(QString::fromLatin1(r.textId));
        }
        return parts.join(QLatin1Char('+'));
    }
    case 0x10:
        return id(RowWithP1(kMouseButtonTable, a.p1));
    case 0x13:
        return id(RowWithP1(kDpiActionTable, a.p1));
    case 0x11:
        return QString::fromLatin1((a.p2 & 0x80) ? "mouse_key_right_Swing" : "mouse_key_left_Swing");
    case 0x12:
        return QString::fromLatin1((a.p2 & 0x80) ? "mouse_key_down_Swing" : "mouse_key_up_Swing");
    case 0x14:
        return QStringLiteral("mouse_key_fire_key");
    case 0x16:
        return QStringLiteral("mouse_key_DPI_shift");
    case 0x23:
        return a.p1 == 0 && a.p2 == 0 ? QStringLiteral("show_window") : QStringLiteral("关闭");
    case 0x22:
        return exact(kDeviceShortcutTable);
    case 0x30:
        return exact(kMediaTable);
    case 0x40:
        return exact(kSystemTable);
    case 0x70:
    case 0x71:
        return a.p1 < macroNames.size() ? macroNames[a.p1] : QString();
    case 0x72:
        if (page != PageKind::Mouse)
            return QStringLiteral("关闭");
        return a.p1 < std::size(kGunNames) ? QString::fromLatin1(kGunNames[a.p1]) : QString();
    case 0xA0:
        if (a.p1 == 0x02)
            return QStringLiteral("mouse_key_smart_key");
        if (a.p1 == 0x00)
            return QStringLiteral("close_text");
        return exact(kKeyTable);
    case 0xD0:
        return page == PageKind::Keyboard ? exact(kKeyTable) : QStringLiteral("关闭");
    case 0x15:
    case 0x21:
    case 0x50:
    case 0x60:
    case 0xB0:
    case 0xC0:
        return {};
    default:
        return QStringLiteral("关闭");
    }
}

}  // namespace keyfn
