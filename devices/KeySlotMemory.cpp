#include "devices/KeySlotMemory.h"

#include "profiles/CJsonFile.h"
#include "profiles/UserFiles.h"

#include <set>
#include <utility>

KeySlotMemory::KeySlotMemory(QString file, QString layout) : m_file(std::move(file)), m_layout(std::move(layout)) {}

std::vector<int> KeySlotMemory::Identify(const std::vector<Triple>& factory, const uint8_t* table, int slotCount) const
{
    const size_t positions = factory.size();
    std::vector<int> slotOf(positions, kNone);
    std::set<int> claimed;

    // What was learned before for this layout: each slot in range and held by one key only.
    Json::Value doc = m_file.isEmpty() ? Json::Value() : CJsonFile::ReadJson(m_file);
    bool mayWrite = !m_file.isEmpty();
    if (!doc.isObject()) {
        // It is written back below: a damaged memory is kept beside itself first.
        mayWrite = mayWrite && userfiles::KeptBeforeReplacing(m_file);
        doc = Json::Value(Json::objectValue);
    }
    const std::string key = m_layout.toStdString();
    const Json::Value& remembered = doc.isMember(key) ? doc[key] : Json::Value::nullSingleton();
    if (remembered.isArray() && remembered.size() == positions) {
        for (Json::ArrayIndex j = 0; j < remembered.size(); ++j) {
            const int slot = remembered[j].isInt() ? remembered[j].asInt() : kNone;
            if (slot >= 0 && slot < slotCount && claimed.insert(slot).second)
                slotOf[j] = slot;
        }
    }

    // The rest by their factory code, among the slotOf no known key holds.
    for (size_t j = 0; j < positions && table; ++j) {
        const Triple& t = factory[j];
        if (slotOf[j] != kNone || (t[0] == 0 && t[1] == 0 && t[2] == 0))
            continue;
        for (int k = 0; k < slotCount; ++k) {
            const uint8_t* e = table + 3 * k;
            if (!claimed.count(k) && e[0] == t[0] && e[1] == t[1] && e[2] == t[2]) {
                slotOf[j] = k;
                claimed.insert(k);
                break;
            }
        }
    }

    Json::Value learned(Json::arrayValue);
    for (int s : slotOf)
        learned.append(s);
    if (mayWrite && learned != remembered) {
        doc[key] = learned;
        CJsonFile::WriteJson(m_file, doc);
    }
    return slotOf;
}
