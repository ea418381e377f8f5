#pragma once

#include <QDate>
#include <QString>
#include <QByteArray>
#include <atomic>
#include <cstdint>

#include "app/SoftwareIdentity.h"

// The update protocol: the app key and request body of a row, the parsing of the server's answer,
// one check, the server's base URL and the last-check date file. No widgets; the settings
// window runs CheckUpdate on its worker thread.
namespace update {

struct UpdateResult {
    int32_t status = 7;       // 1 a newer version is offered, 7 nothing newer or no answer
    int32_t deviceId = 0;     // "device_id" of the answer
    QString name;             // "name" of the answer, or the client's failure text
    QString currentVersion;   // the installed version as shown
    QString versionName;      // "version_name" of the answer
    QString offeredVersion;   // shown next to the name when an update exists
    QString downloadPath;     // "path" of the answer
    QString targetFile;       // where a download would be kept (not used: nothing is downloaded)
};

inline constexpr int32_t kStatusNewer = 1;
inline constexpr int32_t kStatusNothingNewer = 7;

// "%s_%d_%s_%s_%d": vendor tag, kind, model code, product name, flag.
QString MakeAppKey(const app::SoftwareIdentity& row);
// "app_key=<key>&version=<n>" (decimal, or lower-case hexadecimal when `hex`) in UTF-8 plus one
// terminating zero byte, which the body length counts.
QByteArray MakeRequestBody(const QString& appKey, int32_t version, bool hex);

// Reads the answer in `data` (`size` bytes, up to the first zero byte) for a row at `version`:
// a JSON object whose "path", "name", "version_name" and "version" are strings and whose
// "device_id" is an integer. Anything else (not JSON, a member of the wrong type) is no answer:
// the result keeps `nameIfNoAnswer`, empty texts and status 7.
UpdateResult ParseAnswer(const char* data, size_t size, int32_t version, bool hex,
                         const QString& nameIfNoAnswer = {});

// The server's base URL ("…/api/"): TESSEL_UPDATE_URL when set, else "[Update] BaseUrl" of
// "main.ini" in the user data folder, else the built-in default.
QString BaseUrl();
QString DefaultBaseUrl();

// One request for one row: resets the HTTP client, posts to BaseUrl() + "updates" and parses the
// answer. A row the server could not be reached for has the name "NO_LINK_SERVER". `stop`
// aborts the request.
UpdateResult CheckUpdate(const QString& baseUrl, const QString& appKey, int32_t version, bool hex,
                         const std::atomic<bool>* stop = nullptr);

// The installed application's version as a number: the dotted build version with its dots
// removed ("2.3.0.2" gives 2302); 0 when it is not a number.
int32_t InstalledVersionNumber(const QString& dottedVersion);
QString InstalledVersionText();

// "updatetime.config" in the user data folder: {"updatelasttime": {"value": "2024-3-5"}}.
QString LastCheckDateFile();
// The stored date text; when none is stored, today's date is written and returned.
QString ReadOrInitLastCheckDate(const QString& file = LastCheckDateFile());
bool WriteLastCheckDate(const QDate& day, const QString& file = LastCheckDateFile());
QString FormatCheckDate(const QDate& day);

}  // namespace update
