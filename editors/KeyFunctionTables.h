#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <span>

#include "profiles/ProfileRecords.h"

// The functions a key or a mouse button can be given, with the text ids the panels show for
// them, and the rule that turns an assignment into the label of a key button.
namespace keyfn {

// One assignable function: its text id and the triple the device receives.
struct FunctionRow {
    const char* textId;
    uint8_t type;
    uint8_t p1;
    uint8_t p2;
};

// A key as a low-level keyboard hook reports it: set-1 make code and the extended flag.
struct ScanRow {
    uint8_t scan;
    bool extended;
};

// A mouse-button message of the recorder with its button bit, event byte (bit 7 "down",
// bits 0-6 the event type) and text id.
struct MouseActionRow {
    uint32_t message;
    uint8_t bit;
    uint8_t eventByte;
    const char* textId;
};

inline constexpr int kKeyTableRows = 142;
inline constexpr int kScanTableRows = 113;

std::span<const FunctionRow> KeyTable();
std::span<const ScanRow> ScanTable();
std::span<const FunctionRow> MouseButtonTable();
std::span<const FunctionRow> DpiActionTable();
std::span<const FunctionRow> SystemTable();
std::span<const FunctionRow> MediaTable();
std::span<const FunctionRow> ShortcutTable();
std::span<const FunctionRow> DeviceShortcutTable();
std::span<const char* const> GunPatternNames();
std::span<const MouseActionRow> MouseActionTable();

// Index of the first row whose triple equals (type, p1, p2), or -1.
int FindRow(std::span<const FunctionRow> table, uint8_t type, uint8_t p1, uint8_t p2);
// Index of the first ScanTable row with that scan code and extended flag, or -1.
int FindScanRow(uint8_t scan, bool extended);
// The modifier option (1 Ctrl, 2 Shift, 3 Alt, 4 Win) of KeyTable row r < 8.
inline int ModifierOptionOfRow(int r) { return (r + 1) % 5 + (r + 1) / 5; }

// Which page labels the key: keyboards know the on-board macro keys, mice the gun patterns.
enum class PageKind { Keyboard, Mouse };

// The label of a key button for assignment `a`: a text id, or ready text (macro names, key
// combinations). Empty when the button keeps the label it has. `resolve` turns a text id into
// the current language's text (combinations are joined from resolved texts).
QString AssignmentLabel(const KeyAssignment& a, PageKind page, const QStringList& macroNames,
                        const std::function<QString(const QString&)>& resolve);

}  // namespace keyfn
