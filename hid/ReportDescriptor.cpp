#include "hid/ReportDescriptor.h"

#include <algorithm>

namespace hid {

namespace {

// Item tags of the short items we act on; everything else is skipped.
enum : uint8_t {
    kTypeMain = 0,
    kTypeGlobal = 1,
    kTypeLocal = 2,

    kMainInput = 0x8,
    kMainOutput = 0x9,
    kMainCollection = 0xA,
    kMainFeature = 0xB,
    kMainEndCollection = 0xC,

    kGlobalUsagePage = 0x0,
    kGlobalLogicalMin = 0x1,
    kGlobalLogicalMax = 0x2,
    kGlobalPhysicalMin = 0x3,
    kGlobalPhysicalMax = 0x4,
    kGlobalReportSize = 0x7,
    kGlobalReportId = 0x8,
    kGlobalReportCount = 0x9,
    kGlobalPush = 0xA,
    kGlobalPop = 0xB,

    kLocalUsage = 0x0,
    kLocalUsageMin = 0x1,
    kLocalUsageMax = 0x2,
};

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kMaxGlobalStack = 16;
// Report lengths are 16-bit and include the report-ID byte.
constexpr uint64_t kMaxReportBits = uint64_t(0xFFFE) * 8;

// A signed item value as the descriptor wrote it, kept with its byte count so a maximum
// written without its sign byte (Logical Maximum 0xFF in one byte) can be read unsigned.
struct RawValue {
    uint32_t bits = 0;
    uint8_t size = 0;
    int64_t asSigned() const
    {
        switch (size) {
        case 1: return int8_t(bits);
        case 2: return int16_t(bits);
        case 4: return int32_t(bits);
        default: return 0;
        }
    }
    int64_t asUnsigned() const { return bits; }
};

struct Globals {
    uint16_t usagePage = 0;
    RawValue logicalMin, logicalMax, physicalMin, physicalMax;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// A usage as written: 16 bits on the current page, or 32 bits carrying its own page.
struct LocalUsage {
    uint32_t value = 0;
    bool extended = false;
};

struct Locals {
    struct Entry {
        LocalUsage min, max;
        bool isRange = false;
    };
    std::vector<Entry> entries;
    bool hasMin = false, hasMax = false;
    LocalUsage pendingMin, pendingMax;

    void clear() { *this = Locals{}; }
};

// Minimum and maximum as the device meant them: a maximum below a non-negative minimum was
// written without its sign byte and is read unsigned.
void resolveExtent(const RawValue& min, const RawValue& max, int64_t& outMin, int64_t& outMax)
{
    outMin = min.asSigned();
    outMax = max.asSigned();
    if (outMin >= 0 && outMax < outMin)
        outMax = max.asUnsigned();
}

UsageEntry resolve(const Locals::Entry& e, uint16_t page)
{
    UsageEntry u;
    u.page = e.min.extended ? uint16_t(e.min.value >> 16) : page;
    u.min = uint16_t(e.min.value);
    u.max = e.isRange ? uint16_t(e.max.value) : u.min;
    u.isRange = e.isRange;
    return u;
}

class Parser {
public:
    Parser(std::vector<TopCollection>& out, bool& usesIds) : m_out(out), m_usesIds(usesIds) {}

    bool run(const uint8_t* data, size_t length)
    {
        size_t i = 0;
        while (i < length) {
            const uint8_t prefix = data[i];
            if (prefix == kLongItemPrefix) {
                if (length - i < 3)
                    return false;
                const size_t skip = 3 + size_t(data[i + 1]);
                if (length - i < skip)
                    return false;
                i += skip;
                continue;
            }
            const uint8_t sizeCode = prefix & 0x3;
            const uint8_t size = sizeCode == 3 ? 4 : sizeCode;
            if (length - i - 1 < size)
                return false;
            uint32_t value = 0;
            for (uint8_t b = 0; b < size; ++b)
                value |= uint32_t(data[i + 1 + b]) << (8 * b);
            const uint8_t type = (prefix >> 2) & 0x3;
            const uint8_t tag = prefix >> 4;
            if (!item(type, tag, RawValue{value, size}))
                return false;
            i += 1 + size;
        }
        finish();
        return true;
    }

private:
    bool item(uint8_t type, uint8_t tag, RawValue v)
    {
        switch (type) {
        case kTypeMain: return mainItem(tag, v.bits);
        case kTypeGlobal: return globalItem(tag, v);
        case kTypeLocal: return localItem(tag, v);
        default: return true;  // reserved item type: skipped
        }
    }

    bool globalItem(uint8_t tag, RawValue v)
    {
        switch (tag) {
        case kGlobalUsagePage: m_g.usagePage = uint16_t(v.bits); break;
        case kGlobalLogicalMin: m_g.logicalMin = v; break;
        case kGlobalLogicalMax: m_g.logicalMax = v; break;
        case kGlobalPhysicalMin: m_g.physicalMin = v; break;
        case kGlobalPhysicalMax: m_g.physicalMax = v; break;
        case kGlobalReportSize: m_g.reportSize = v.bits; break;
        case kGlobalReportCount: m_g.reportCount = v.bits; break;
        case kGlobalReportId:
            if (v.bits == 0 || v.bits > 0xFF)
                return false;
            m_g.reportId = uint8_t(v.bits);
            m_usesIds = true;
            break;
        case kGlobalPush:
            if (m_stack.size() >= kMaxGlobalStack)
                return false;
            m_stack.push_back(m_g);
            break;
        case kGlobalPop:
            if (!m_stack.empty()) {
                m_g = m_stack.back();
                m_stack.pop_back();
            }
            break;
        default: break;
        }
        return true;
    }

    bool localItem(uint8_t tag, RawValue v)
    {
        const LocalUsage u{v.bits, v.size == 4};
        switch (tag) {
        case kLocalUsage:
            if (m_l.entries.size() >= ReportDescriptor::kMaxUsagesPerItem)
                return false;
            m_l.entries.push_back({u, u, false});
            break;
        case kLocalUsageMin:
            m_l.pendingMin = u;
            m_l.hasMin = true;
            break;
        case kLocalUsageMax:
            m_l.pendingMax = u;
            m_l.hasMax = true;
            break;
        default: break;
        }
        if (m_l.hasMin && m_l.hasMax) {
            if (m_l.entries.size() >= ReportDescriptor::kMaxUsagesPerItem)
                return false;
            // A range whose ends are the wrong way round names no usage; it is dropped.
            if (uint16_t(m_l.pendingMin.value) <= uint16_t(m_l.pendingMax.value))
                m_l.entries.push_back({m_l.pendingMin, m_l.pendingMax, true});
            m_l.hasMin = m_l.hasMax = false;
        }
        return true;
    }

    bool mainItem(uint8_t tag, uint32_t data)
    {
        bool ok = true;
        switch (tag) {
        case kMainCollection:
            if (m_depth >= ReportDescriptor::kMaxNesting)
                return false;
            if (m_depth == 0) {
                TopCollection c;
                if (!m_l.entries.empty()) {
                    const UsageEntry u = resolve(m_l.entries.front(), m_g.usagePage);
                    c.usagePage = u.page;
                    c.usage = u.min;
                }
                m_out.push_back(std::move(c));
            }
            ++m_depth;
            break;
        case kMainEndCollection:
            if (m_depth > 0)
                --m_depth;
            break;
        case kMainInput: ok = field(ReportType::Input, data); break;
        case kMainOutput: ok = field(ReportType::Output, data); break;
        case kMainFeature: ok = field(ReportType::Feature, data); break;
        default: break;
        }
        m_l.clear();
        return ok;
    }

    bool field(ReportType type, uint32_t flags)
    {
        const int t = int(type);
        const uint8_t id = m_g.reportId;
        const uint64_t bits = uint64_t(m_g.reportSize) * m_g.reportCount;
        uint64_t& offset = m_bits[t][id];
        if (offset + bits > kMaxReportBits)
            return false;
        ReportField f;
        f.type = type;
        f.reportId = id;
        f.bitOffset = uint32_t(offset);
        f.reportSize = m_g.reportSize;
        f.reportCount = m_g.reportCount;
        f.flags = flags;
        resolveExtent(m_g.logicalMin, m_g.logicalMax, f.logicalMin, f.logicalMax);
        resolveExtent(m_g.physicalMin, m_g.physicalMax, f.physicalMin, f.physicalMax);
        offset += bits;
        if (bits == 0 || m_depth == 0 || m_out.empty())
            return true;  // no room in any report, or outside every collection: nothing to read

        TopCollection& c = m_out.back();
        std::vector<uint8_t>& ids = c.reportIds[t];
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            ids.push_back(id);
        for (const Locals::Entry& e : m_l.entries)
            f.usages.push_back(resolve(e, m_g.usagePage));
        const uint32_t index = uint32_t(c.fields.size());
        c.fields.push_back(f);
        if (f.isConstant() || f.usages.empty() || f.reportSize > 32)
            return true;  // padding, or fields too wide for a 32-bit value: no caps
        return addCaps(c, c.fields.back(), index);
    }

    bool addCaps(TopCollection& c, const ReportField& f, uint32_t index)
    {
        const int t = int(f.type);
        auto& buttons = c.buttonCaps[t];
        auto& values = c.valueCaps[t];

        if (f.isButton()) {
            m_buttonFields[t] += f.reportCount;
            if (m_buttonFields[t] > ReportDescriptor::kMaxButtonFieldsPerType)
                return false;
        }
        if (f.isButton() && !f.isVariable()) {
            // An array: each entry names usages its fields may hold; all share every field.
            for (const UsageEntry& u : f.usages)
                buttons.push_back({u.page, f.reportId, u.min, u.max, u.isRange, index, 0,
                                   f.reportCount});
        } else {
            // Variables: entries take fields in order; a single usage takes one field, except
            // that the last usage of a value item covers the fields left over.
            uint32_t next = 0;
            for (size_t k = 0; k < f.usages.size() && next < f.reportCount; ++k) {
                const UsageEntry& u = f.usages[k];
                const uint32_t left = f.reportCount - next;
                uint32_t n = u.isRange ? std::min(u.size(), left) : 1;
                if (!f.isButton() && !u.isRange && k + 1 == f.usages.size())
                    n = left;
                // A range longer than the fields it has names usages with no data: cut it.
                const uint16_t max = u.isRange ? uint16_t(u.min + n - 1) : u.min;
                if (f.isButton()) {
                    buttons.push_back({u.page, f.reportId, u.min, max, u.isRange, index, next, n});
                } else {
                    values.push_back({u.page, f.reportId, u.min, max, u.isRange, index, next, n});
                    m_valueItems[t] += u.isRange ? n : 1;
                    if (m_valueItems[t] > ReportDescriptor::kMaxValueItemsPerType)
                        return false;
                }
                next += n;
            }
        }
        return buttons.size() + values.size() <= ReportDescriptor::kMaxCapsPerType;
    }

    void finish()
    {
        for (TopCollection& c : m_out) {
            for (int t = 0; t < 3; ++t) {
                std::sort(c.reportIds[t].begin(), c.reportIds[t].end());
                uint16_t longest = 0;
                for (uint8_t id : c.reportIds[t]) {
                    const uint64_t bytes = (m_bits[t][id] + 7) / 8 + 1;
                    longest = std::max<uint16_t>(longest, uint16_t(bytes));
                }
                c.reportByteLength[t] = longest;
            }
        }
    }

    std::vector<TopCollection>& m_out;
    bool& m_usesIds;
    Globals m_g;
    Locals m_l;
    std::vector<Globals> m_stack;
    uint32_t m_depth = 0;
    // Bits declared so far per report type and ID: the next field's offset.
    uint64_t m_bits[3][256] = {};
    // Per report type, over the whole descriptor: bound what a channel allocates for its items.
    uint32_t m_buttonFields[3] = {};
    uint32_t m_valueItems[3] = {};
};

}  // namespace

bool ReportDescriptor::parse(const uint8_t* data, size_t length)
{
    m_collections.clear();
    m_usesReportIds = false;
    if ((data == nullptr && length != 0) || length > kMaxDescriptorBytes)
        return false;
    Parser parser(m_collections, m_usesReportIds);
    if (!parser.run(data, length)) {
        m_collections.clear();
        m_usesReportIds = false;
        return false;
    }
    return true;
}

HidCaps TopCollection::caps() const
{
    HidCaps caps;
    caps.usage = usage;
    caps.usagePage = usagePage;
    caps.inputReportByteLength = reportByteLength[0];
    caps.outputReportByteLength = reportByteLength[1];
    caps.featureReportByteLength = reportByteLength[2];
    uint16_t counts[3][3] = {};
    for (int t = 0; t < 3; ++t) {
        uint32_t indices = 0;
        for (const ButtonCap& b : buttonCaps[t])
            indices += fields[b.field].isVariable() ? b.fieldCount : uint32_t(b.usageMax) - b.usageMin + 1;
        for (const ValueCap& v : valueCaps[t])
            indices += v.isRange ? v.fieldCount : 1;
        counts[t][0] = uint16_t(buttonCaps[t].size());
        counts[t][1] = uint16_t(valueCaps[t].size());
        counts[t][2] = uint16_t(std::min<uint32_t>(indices, 0xFFFF));
    }
    caps.numberInputButtonCaps = counts[0][0];
    caps.numberInputValueCaps = counts[0][1];
    caps.numberInputDataIndices = counts[0][2];
    caps.numberOutputButtonCaps = counts[1][0];
    caps.numberOutputValueCaps = counts[1][1];
    caps.numberOutputDataIndices = counts[1][2];
    caps.numberFeatureButtonCaps = counts[2][0];
    caps.numberFeatureValueCaps = counts[2][1];
    caps.numberFeatureDataIndices = counts[2][2];
    return caps;
}

bool TopCollection::hasReportId(ReportType type, uint8_t id) const
{
    const auto& ids = reportIds[int(type)];
    return std::binary_search(ids.begin(), ids.end(), id);
}

uint32_t TopCollection::maxUsageListLength(ReportType type, uint16_t page) const
{
    // An array field can report at most reportCount usages however many caps share it, so
    // each array field counts once; a variable cap counts its own one-bit fields.
    uint32_t total = 0;
    uint32_t lastArrayField = UINT32_MAX;
    for (const ButtonCap& b : buttonCaps[int(type)]) {
        if (page != 0 && b.usagePage != page)
            continue;
        if (fields[b.field].isVariable()) {
            total += b.fieldCount;
        } else if (b.field != lastArrayField) {
            total += b.fieldCount;
            lastArrayField = b.field;
        }
    }
    return total;
}

}  // namespace hid
