#include "profiles/ProfileList.h"

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"

#include <QDir>

ProfileList::ProfileList(QString userFolder, QString defaultProfile)
    : m_userFolder(std::move(userFolder)), m_defaultProfile(std::move(defaultProfile))
{
}

QString ProfileList::ListPath() const
{
    return QDir(m_userFolder).filePath(QStringLiteral("ProfileList.ini"));
}

QString ProfileList::ProfileFile(const QString& profileUuid) const
{
    if (!paths::isSafeFileBaseName(profileUuid))
        return {};
    return QDir(m_userFolder).filePath(profileUuid + QStringLiteral(".Json"));
}

Json::Value ProfileList::EnsureList() const
{
    Json::Value list = CJsonFile::ReadJson(ListPath());
    const Json::Value& entries = jsonx::member(list, "profilelist");
    if (entries.isArray() && entries.size() > 0)
        return list;
    return CreateFirstProfile();
}

Json::Value ProfileList::CreateFirstProfile() const
{
    const std::string name = "profile1";
    const std::string id = CJsonFile::MakeTimestampName();
    Json::Value list(Json::objectValue);
    Json::Value entry(Json::objectValue);
    entry["profilename"] = name;
    entry["profileUUID"] = id;
    entry["profileislink"] = 0;
    entry["profilelinkmame"] = "";
    list["profilelist"] = Json::Value(Json::arrayValue);
    list["profilelist"].append(entry);
    list["profileselect"] = 0;
    CJsonFile::WriteJson(ListPath(), list);

    Json::Value doc = CJsonFile::ReadJson(m_defaultProfile);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    doc["profilename"] = name;
    doc["profileUUID"] = id;
    CJsonFile::WriteJson(ProfileFile(QString::fromStdString(id)), doc);
    return list;
}

QString ProfileList::SelectedProfileFile() const
{
    const Json::Value list = EnsureList();
    const Json::Value& entries = jsonx::member(list, "profilelist");
    const int64_t selected = jsonx::toInt(jsonx::member(list, "profileselect"));
    auto fileAt = [&](Json::ArrayIndex i) {
        return ProfileFile(Utf8ToWide(jsonx::toString(jsonx::member(jsonx::element(entries, i), "profileUUID"))));
    };
    if (selected >= 0 && selected < int64_t(entries.size())) {
        const QString file = fileAt(Json::ArrayIndex(selected));
        if (!file.isEmpty())
            return file;
    }
    for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
        const QString file = fileAt(i);
        if (!file.isEmpty())
            return file;
    }
    return {};
}
