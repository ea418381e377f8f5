#include "app/SoftwareIdentity.h"

namespace app {

const std::array<SoftwareIdentity, kSoftwareIdentityRows>& SoftwareIdentityTable()
{
    static const std::array<SoftwareIdentity, kSoftwareIdentityRows> table{{
        {1, 1, 0, "PELIX", "RT42P58C", "MS", "MS", ""},
        {1, 1, 0, "PELIX", "RT42P57C", "tamrel wireless", "tamrel wireless", ""},
        {2, 1, 0, "PELIX", "RT42P31C_1", "M63", "M63", ""},
        {0, 1, 0, "PELIX", kApplicationModelCode, "M63_QX2_QX7", "AP", "V0100"},
    }};
    return table;
}

QString VersionDisplay(const SoftwareIdentity& row)
{
    if (row.kind == 0)
        return row.versionText;
    return QStringLiteral("V%1").arg(uint32_t(row.version) & 0xFFFF, 4, 16, QLatin1Char('0'));
}

}  // namespace app
