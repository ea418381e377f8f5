#include "update/UpdateCheck.h"

#include <QDir>
#include <QSettings>
#include <cstdlib>
#include <cstring>
#include <json/json.h>
#include <vector>

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "update/HttpClient.h"

#ifndef TESSEL_VERSION
#define TESSEL_VERSION "0.0.0"
#endif

namespace update {

QString MakeAppKey(const app::SoftwareIdentity& row)
{
    return QStringLiteral("%1_%2_%3_%4_%5")
        .arg(row.vendorTag)
        .arg(row.kind)
        .arg(row.modelCode, row.productName)
        .arg(row.flag);
}

QByteArray MakeRequestBody(const QString& appKey, int32_t version, bool hex)
{
    QString text = QStringLiteral("app_key=%1").arg(appKey);
    if (hex)
        text += QStringLiteral("&version=%1").arg(uint32_t(version), 0, 16);
    else
        text += QStringLiteral("&version=%1").arg(version);
    QByteArray body = text.toUtf8();
    body.append('\0');  // the terminating zero is part of the body and of its length
    return body;
}

namespace {

bool optionalString(const Json::Value& doc, const char* key, QString& out)
{
    const Json::Value& v = doc[key];
    if (v.isNull())
        return true;
    if (!v.isString())
        return false;
    out = QString::fromStdString(v.asString());
    return true;
}

}  // namespace

UpdateResult ParseAnswer(const char* data, size_t size, int32_t version, bool hex,
                         const QString& nameIfNoAnswer)
{
    UpdateResult r;
    r.name = nameIfNoAnswer;
    const size_t textSize = data ? strnlen(data, size) : 0;
    const Json::Value doc = CJsonFile::ParseJson(std::string(data ? data : "", textSize));
    if (!doc.isObject())
        return r;
    UpdateResult answer;
    QString number;
    if (!optionalString(doc, "path", answer.downloadPath) || !optionalString(doc, "name", answer.name) ||
        !optionalString(doc, "version_name", answer.versionName) || !optionalString(doc, "version", number))
        return r;
    const Json::Value& id = doc["device_id"];
    if (!id.isNull()) {
        if (!id.isInt())
            return r;
        answer.deviceId = id.asInt();
    }
    answer.offeredVersion = QStringLiteral("V") + number;
    // The leading digits of the base count, as strtoul reads them; the rest is ignored.
    const std::string digits = number.toStdString();
    const int32_t offered = int32_t(uint32_t(std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10)));
    if (hex) {
        answer.currentVersion = QStringLiteral("V%1").arg(uint32_t(version), 4, 16, QLatin1Char('0'));
    } else {
        answer.currentVersion = QStringLiteral("V%1").arg(version);
        answer.offeredVersion = answer.versionName;
    }
    answer.status = offered > version ? kStatusNewer : kStatusNothingNewer;
    return answer;
}

QString DefaultBaseUrl()
{
    // No public update server is run for Tessel: a distribution or site names its own in
    // main.ini; the default name never resolves, so the check says the server is unreachable.
    return QStringLiteral("http://update.tessel.invalid/api/");
}

QString BaseUrl()
{
    const QString fromEnv = qEnvironmentVariable("TESSEL_UPDATE_URL");
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString ini = QDir(paths::userDataFolder()).filePath(QStringLiteral("main.ini"));
    if (QFile::exists(ini)) {
        QSettings settings(ini, QSettings::IniFormat);
        const QString url = settings.value(QStringLiteral("Update/BaseUrl")).toString().trimmed();
        if (!url.isEmpty())
            return url;
    }
    return DefaultBaseUrl();
}

UpdateResult CheckUpdate(const QString& baseUrl, const QString& appKey, int32_t version, bool hex,
                         const std::atomic<bool>* stop)
{
    const QByteArray body = MakeRequestBody(appKey, version, hex);
    std::vector<char> buffer(kResponseBufferSize + 1, 0);  // one more: the text always ends
    HttpInit();
    const int32_t got = HttpRequest(QStringLiteral("POST"), baseUrl + QStringLiteral("updates"),
                                    body.constData(), int32_t(body.size()), buffer.data(),
                                    kResponseBufferSize, stop);
    QString name;
    if (got == 0)
        name = QString::fromUtf8(buffer.data());
    return ParseAnswer(buffer.data(), got > 0 ? size_t(got) : 0, version, hex, name);
}

int32_t InstalledVersionNumber(const QString& dottedVersion)
{
    QString digits = dottedVersion;
    digits.remove(QLatin1Char('.'));
    bool ok = false;
    const int value = digits.toInt(&ok, 10);
    return ok ? value : 0;
}

QString InstalledVersionText()
{
    return QStringLiteral(TESSEL_VERSION);
}

QString LastCheckDateFile()
{
    return QDir(paths::userDataFolder()).filePath(QStringLiteral("updatetime.config"));
}

QString FormatCheckDate(const QDate& day)
{
    return QStringLiteral("%1-%2-%3").arg(day.year()).arg(day.month()).arg(day.day());
}

bool WriteLastCheckDate(const QDate& day, const QString& file)
{
    Json::Value doc(Json::objectValue);
    doc["updatelasttime"]["value"] = FormatCheckDate(day).toStdString();
    return CJsonFile::WriteJson(file, doc) == 0;
}

QString ReadOrInitLastCheckDate(const QString& file)
{
    const Json::Value doc = CJsonFile::ReadJson(file);
    if (doc.isObject() && doc["updatelasttime"].isObject() && doc["updatelasttime"]["value"].isString())
        return QString::fromStdString(doc["updatelasttime"]["value"].asString());
    const QDate today = QDate::currentDate();
    WriteLastCheckDate(today, file);
    return FormatCheckDate(today);
}

}  // namespace update
