#include "protocol/MacroFiles.h"

#include <QDir>
#include <string>

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"

namespace protocol {
namespace {

// A Guid names a file inside the device folder; anything that could reach elsewhere is refused.
bool isSafeFileStem(const std::string& stem)
{
    if (stem.empty() || stem == "." || stem == "..")
        return false;
    for (char c : stem)
        if (c == '/' || c == '\\' || c == '\0')
            return false;
    return true;
}

}  // namespace

std::optional<std::vector<MacroRecord>> loadMacroRecords(const QString& deviceFolder,
                                                         const std::vector<int>& macroNumbers)
{
    const QDir folder(deviceFolder);
    const Json::Value config = CJsonFile::ReadJson(paths::macroListFile(deviceFolder));
    if (!config.isObject())
        return std::nullopt;
    const Json::Value& list = jsonMember(config, "MacroInfo");

    std::vector<MacroRecord> records;
    records.reserve(macroNumbers.size());
    for (int number : macroNumbers) {
        MacroRecord record;
        if (list.isArray() && number >= 0 && static_cast<Json::ArrayIndex>(number) < list.size()) {
            const Json::Value& guid = jsonMember(list[static_cast<Json::ArrayIndex>(number)], "Guid");
            if (guid.isString() && isSafeFileStem(guid.asString())) {
                const QString file = folder.filePath(Utf8ToWide(guid.asString() + ".mac"));
                record = macroRecordFromJson(jsonMember(CJsonFile::ReadJson(file), "Events"));
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace protocol
