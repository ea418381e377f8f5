#include "hid/ReportDecoder.h"

#include <algorithm>
#include <limits>

namespace hid {

namespace {

// True when the report (ID byte, then data) holds `bits` bits from `bitOffset` of its data.
bool fits(size_t length, uint64_t bitOffset, uint64_t bits)
{
    return length >= 1 && bitOffset + bits <= uint64_t(length - 1) * 8;
}

// `size` (1..32) bits little-endian from `bitOffset` of the report's data; the caller has
// checked that they fit.
uint32_t extract(const uint8_t* report, uint64_t bitOffset, uint32_t size)
{
    const uint8_t* data = report + 1;
    uint32_t v = 0;
    for (uint32_t b = 0; b < size; ++b) {
        const uint64_t bit = bitOffset + b;
        if ((data[bit / 8] >> (bit % 8)) & 1u)
            v |= 1u << b;
    }
    return v;
}

int64_t signExtend(uint32_t raw, uint32_t size)
{
    if (size >= 32)
        return int32_t(raw);
    const uint32_t sign = 1u << (size - 1);
    return int64_t(int32_t((raw ^ sign) - sign));
}

// The field value as a logical number: signed when the logical minimum is negative.
int64_t logicalValue(const ReportField& f, uint32_t raw)
{
    return f.logicalMin < 0 ? signExtend(raw, f.reportSize) : int64_t(raw);
}

bool fieldFits(const ReportField& f, size_t length)
{
    return fits(length, f.bitOffset, uint64_t(f.reportSize) * f.reportCount);
}

// The usage an array field's index names, walking its entries without expanding ranges.
bool arrayUsage(const ReportField& f, uint64_t index, uint16_t& page, uint16_t& usage)
{
    for (const UsageEntry& u : f.usages) {
        if (index < u.size()) {
            page = u.page;
            usage = uint16_t(u.min + index);
            return true;
        }
        index -= u.size();
    }
    return false;
}

const ValueCap* findValueCap(const TopCollection& c, ReportType type, uint8_t reportId,
                             uint16_t page, uint16_t usage)
{
    for (const ValueCap& v : c.valueCaps[int(type)]) {
        if (v.reportId == reportId && v.usagePage == page && usage >= v.usageMin &&
            usage <= v.usageMax)
            return &v;
    }
    return nullptr;
}

}  // namespace

std::vector<HidDataItem> ReportDecoder::buildItems(const TopCollection& c, ReportType type)
{
    const int t = int(type);
    std::vector<HidDataItem> items;
    for (const ButtonCap& b : c.buttonCaps[t]) {
        HidDataItem item;
        item.isButton = true;
        item.usagePage = b.usagePage;
        item.status = kHidpStatusSuccess;
        item.reportId = b.reportId;
        item.usageMin = b.usageMin;
        item.usageMax = b.usageMax;
        item.maxUsageListLength = c.maxUsageListLength(type, b.usagePage);
        item.usages.assign(item.maxUsageListLength, 0);
        items.push_back(std::move(item));
    }
    for (const ValueCap& v : c.valueCaps[t]) {
        const uint32_t count = v.isRange ? uint32_t(v.usageMax) - v.usageMin + 1 : 1;
        for (uint32_t k = 0; k < count; ++k) {
            HidDataItem item;
            item.usagePage = v.usagePage;
            item.status = kHidpStatusSuccess;
            item.reportId = v.reportId;
            item.usage = uint16_t(v.usageMin + k);
            items.push_back(std::move(item));
        }
    }
    return items;
}

uint32_t ReportDecoder::getUsages(const TopCollection& c, ReportType type, uint16_t page,
                                  const uint8_t* report, size_t length, uint32_t capacity,
                                  std::vector<uint16_t>& usages)
{
    usages.clear();
    if (report == nullptr || length == 0)
        return kHidpStatusInvalidReportLength;
    const uint8_t id = report[0];
    bool found = false;
    uint32_t lastArrayField = std::numeric_limits<uint32_t>::max();
    auto add = [&](uint16_t usage) {
        if (usages.size() >= capacity)
            return false;
        usages.push_back(usage);
        return true;
    };
    for (const ButtonCap& b : c.buttonCaps[int(type)]) {
        if (b.reportId != id)
            continue;
        const ReportField& f = c.fields[b.field];
        if (!f.isVariable()) {
            // Every cap of an array field shares its fields: read the field once, keeping the
            // usages on the requested page.
            if (b.field == lastArrayField)
                continue;
            bool anyOnPage = false;
            for (const UsageEntry& u : f.usages)
                anyOnPage |= u.page == page;
            if (!anyOnPage)
                continue;
            lastArrayField = b.field;
            found = true;
            if (!fieldFits(f, length))
                return usages.clear(), kHidpStatusInvalidReportLength;
            for (uint32_t s = 0; s < f.reportCount; ++s) {
                const int64_t v = logicalValue(f, extract(report, f.bitOffset + uint64_t(s) * f.reportSize, f.reportSize));
                if (v < f.logicalMin || v > f.logicalMax)
                    continue;  // out of range: the slot is empty
                uint16_t usagePage = 0, usage = 0;
                if (!arrayUsage(f, uint64_t(v - f.logicalMin), usagePage, usage))
                    continue;
                if (usagePage != page || usage == 0)
                    continue;  // usage 0 in an array slot means "no event"
                if (!add(usage))
                    return kHidpStatusBufferTooSmall;
            }
            continue;
        }
        if (b.usagePage != page)
            continue;
        found = true;
        if (!fieldFits(f, length))
            return usages.clear(), kHidpStatusInvalidReportLength;
        for (uint32_t k = 0; k < b.fieldCount; ++k) {
            if (!extract(report, f.bitOffset + uint64_t(b.firstField) + k, 1))
                continue;
            if (!add(b.isRange ? uint16_t(b.usageMin + k) : b.usageMin))
                return kHidpStatusBufferTooSmall;
        }
    }
    if (!found) {
        const bool idKnown = c.hasReportId(type, id);
        return idKnown ? kHidpStatusUsageNotFound : kHidpStatusIncompatibleReportId;
    }
    return kHidpStatusSuccess;
}

uint32_t ReportDecoder::getUsageValue(const TopCollection& c, ReportType type, uint16_t page,
                                      uint16_t usage, const uint8_t* report, size_t length,
                                      uint32_t& value)
{
    value = 0;
    if (report == nullptr || length == 0)
        return kHidpStatusInvalidReportLength;
    const ValueCap* v = findValueCap(c, type, report[0], page, usage);
    if (v == nullptr)
        return kHidpStatusUsageNotFound;
    const ReportField& f = c.fields[v->field];
    const uint32_t index = v->firstField + (v->isRange ? uint32_t(usage - v->usageMin) : 0);
    const uint64_t offset = f.bitOffset + uint64_t(index) * f.reportSize;
    if (!fits(length, offset, f.reportSize))
        return kHidpStatusInvalidReportLength;
    value = extract(report, offset, f.reportSize);
    return kHidpStatusSuccess;
}

uint32_t ReportDecoder::getScaledUsageValue(const TopCollection& c, ReportType type,
                                            uint16_t page, uint16_t usage,
                                            const uint8_t* report, size_t length, int32_t& value)
{
    value = 0;
    uint32_t raw = 0;
    const uint32_t status = getUsageValue(c, type, page, usage, report, length, raw);
    if (status != kHidpStatusSuccess)
        return status;
    const ValueCap* v = findValueCap(c, type, report[0], page, usage);
    const ReportField& f = c.fields[v->field];
    const int64_t lmin = f.logicalMin, lmax = f.logicalMax;
    if (lmin >= lmax)
        return kHidpStatusBadLogPhyValues;
    const int64_t logical = logicalValue(f, raw);
    if (logical < lmin || logical > lmax)
        return kHidpStatusValueOutOfRange;
    int64_t pmin = f.physicalMin, pmax = f.physicalMax;
    if (pmin == 0 && pmax == 0) {
        // No physical extents declared: they default to the logical ones.
        pmin = lmin;
        pmax = lmax;
    }
    if (pmin >= pmax)
        return kHidpStatusBadLogPhyValues;
    // Each span takes up to 33 bits, so their product needs more than 64.
    const __int128 scaled =
        __int128(logical - lmin) * (pmax - pmin) / (lmax - lmin) + pmin;
    if (scaled < std::numeric_limits<int32_t>::min() || scaled > std::numeric_limits<int32_t>::max())
        return kHidpStatusValueOutOfRange;
    value = int32_t(scaled);
    return kHidpStatusSuccess;
}

bool ReportDecoder::decode(const TopCollection& c, ReportType type, const uint8_t* report,
                           size_t length, std::vector<HidDataItem>& items)
{
    if (report == nullptr || length == 0)
        return false;
    const uint8_t id = report[0];
    std::vector<uint16_t> on;
    for (HidDataItem& item : items) {
        if (item.reportId != id)
            continue;
        if (item.isButton) {
            item.status = getUsages(c, type, item.usagePage, report, length,
                                    item.maxUsageListLength, on);
            // Keep, in order, the usages inside this item's own range; 0 ends the list.
            size_t n = 0;
            std::fill(item.usages.begin(), item.usages.end(), uint16_t(0));
            for (uint16_t u : on) {
                if (u >= item.usageMin && u <= item.usageMax && n < item.usages.size())
                    item.usages[n++] = u;
            }
        } else {
            item.status = getUsageValue(c, type, item.usagePage, item.usage, report, length,
                                        item.value);
            if (item.status != kHidpStatusSuccess)
                return false;
            item.status = getScaledUsageValue(c, type, item.usagePage, item.usage, report,
                                              length, item.scaledValue);
        }
        item.isSet = true;
    }
    return true;
}

}  // namespace hid
