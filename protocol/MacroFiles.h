#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "protocol/MacroImage.h"

namespace protocol {

// Reads the records of the listed macros (numbers are positions in "MacroInfo") from the device
// folder's "macro.config" and the "<Guid>.mac" files beside it. A macro whose entry is missing,
// whose Guid would leave the folder, or whose file is missing or unreadable is an empty record.
// No value when "macro.config" cannot be parsed.
std::optional<std::vector<MacroRecord>> loadMacroRecords(const QString& deviceFolder,
                                                         const std::vector<int>& macroNumbers);

}  // namespace protocol
