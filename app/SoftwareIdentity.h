#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace app {

// One row of the software identity table: a device firmware (kind != 0) or the application
// itself (model code "ALL"). Read by the settings window's update check and the about window.
struct SoftwareIdentity {
    int32_t kind = 0;     // 0 the application, otherwise device firmware
    int32_t flag = 1;     // carried into the update list unchanged
    int32_t version = 0;  // 0 in the table; filled in a copy at run time
    QString vendorTag;
    QString modelCode;
    QString productName;
    QString shortName;
    QString versionText;
};

inline constexpr int kSoftwareIdentityRows = 4;
inline constexpr char kApplicationModelCode[] = "ALL";

const std::array<SoftwareIdentity, kSoftwareIdentityRows>& SoftwareIdentityTable();

// A firmware row shows "V" and four lower-case hex digits of its version; the application row
// its version text.
QString VersionDisplay(const SoftwareIdentity& row);

}  // namespace app
