#include "profiles/ProfileList.h"

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"
#include "profiles/UserFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
Json::Value MakeEntry(const std::string& name, const std::string& id);
}  // namespace

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
    const QString path = ListPath();
    Json::Value list = CJsonFile::ReadJson(path);
    const Json::Value& entries = jsonx::member(list, "profilelist");
    if (entries.isArray() && entries.size() > 0)
        return list;
    if (!QFileInfo::exists(path))
        return CreateFirstProfile();
    // The list is there but cannot be used (cut short, mistyped, far too large): the user's
    // profiles are still in the folder. Keep the damaged list and name them again.
    userfiles::KeepDamaged(path);
    Json::Value rebuilt = RebuildFromProfileFiles();
    if (jsonx::member(rebuilt, "profilelist").size() == 0)
        return CreateFirstProfile();
    CJsonFile::WriteJson(path, rebuilt);
    return rebuilt;
}

Json::Value ProfileList::RebuildFromProfileFiles() const
{
    Json::Value list(Json::objectValue);
    list["profilelist"] = Json::Value(Json::arrayValue);
    list["profileselect"] = 0;
    // Identifiers are creation time stamps: in name order the profiles come back in the order
    // they were made.
    const QStringList files =
        QDir(m_userFolder).entryList({QStringLiteral("*.Json")}, QDir::Files, QDir::Name);
    for (const QString& fileName : files) {
        const QString id = CJsonFile::GetFileTitle(fileName);
        if (!paths::isSafeFileBaseName(id))
            continue;
        // A profile that is itself damaged is listed under its identifier; loading it keeps a
        // copy and repairs it.
        const Json::Value doc = CJsonFile::ReadJson(ProfileFile(id));
        std::string name = jsonx::toString(jsonx::member(doc, "profilename"));
        if (name.empty())
            name = WideToUtf8(id);
        list["profilelist"].append(MakeEntry(name, WideToUtf8(id)));
    }
    return list;
}

Json::Value ProfileList::CreateFirstProfile() const
{
    const std::string name = "profile1";
    const std::string id = NewProfileId(Json::Value());
    Json::Value list(Json::objectValue);
    list["profilelist"] = Json::Value(Json::arrayValue);
    list["profilelist"].append(MakeEntry(name, id));
    list["profileselect"] = 0;

    // The profile file before the list that names it.
    Json::Value doc = CJsonFile::ReadJson(m_defaultProfile);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    doc["profilename"] = name;
    doc["profileUUID"] = id;
    CJsonFile::WriteJson(ProfileFile(QString::fromStdString(id)), doc);
    CJsonFile::WriteJson(ListPath(), list);
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

// --- Operations ---

namespace {

Json::Value MakeEntry(const std::string& name, const std::string& id)
{
    Json::Value entry(Json::objectValue);
    entry["profilename"] = name;
    entry["profileUUID"] = id;
    entry["profileislink"] = 0;
    entry["profilelinkmame"] = "";
    return entry;
}

QString EntryId(const Json::Value& entries, Json::ArrayIndex i)
{
    return Utf8ToWide(jsonx::toString(jsonx::member(jsonx::element(entries, i), "profileUUID")));
}

bool Contains(const QStringList& names, const QString& name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

}  // namespace

std::vector<ProfileList::Entry> ProfileList::Entries() const
{
    const Json::Value list = EnsureList();
    const Json::Value& entries = jsonx::member(list, "profilelist");
    std::vector<Entry> out;
    out.reserve(entries.size());
    for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
        const Json::Value& e = jsonx::element(entries, i);
        out.push_back({Utf8ToWide(jsonx::toString(jsonx::member(e, "profilename"))), EntryId(entries, i)});
    }
    return out;
}

int ProfileList::SelectedIndex() const
{
    const Json::Value list = EnsureList();
    const int64_t count = jsonx::member(list, "profilelist").size();
    const int64_t selected = jsonx::toInt(jsonx::member(list, "profileselect"));
    return selected >= 0 && selected < count ? int(selected) : 0;
}

bool ProfileList::Select(int index) const
{
    Json::Value list = EnsureList();
    if (index < 0 || index >= int(jsonx::member(list, "profilelist").size()))
        return false;
    list["profileselect"] = index;
    return CJsonFile::WriteJson(ListPath(), list) == 0;
}

std::string ProfileList::NewProfileId(const Json::Value& list) const
{
    // Identifiers are local times to the millisecond; two profiles made within one millisecond
    // (or a clock set back) must still get their own files, so a taken one moves on.
    const Json::Value& entries = jsonx::member(list, "profilelist");
    return CJsonFile::MakeTimestampName([&](const std::string& id) {
        if (QFileInfo::exists(ProfileFile(QString::fromStdString(id))))
            return true;
        for (Json::ArrayIndex i = 0; i < entries.size(); ++i)
            if (EntryId(entries, i) == QString::fromStdString(id))
                return true;
        return false;
    });
}

int ProfileList::Append(Json::Value doc, const QString& name) const
{
    Json::Value list = EnsureList();
    const std::string id = NewProfileId(list);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    doc["profilename"] = WideToUtf8(name);
    doc["profileUUID"] = id;
    const QString file = ProfileFile(QString::fromStdString(id));
    // The file first: a list never names a profile whose file was not written.
    if (CJsonFile::WriteJson(file, doc) != 0)
        return -1;
    Json::Value& entries = jsonx::memberRef(list, "profilelist");
    const int index = int(entries.size());
    entries.append(MakeEntry(WideToUtf8(name), id));
    if (CJsonFile::WriteJson(ListPath(), list) != 0) {
        QFile::remove(file);
        return -1;
    }
    return index;
}

int ProfileList::AddFromDefault(const QString& name, bool select) const
{
    const int index = Append(CJsonFile::ReadJson(m_defaultProfile), name);
    if (index >= 0 && select)
        Select(index);
    return index;
}

int ProfileList::AddCopy(int source, const QString& name) const
{
    const Json::Value list = EnsureList();
    const Json::Value& entries = jsonx::member(list, "profilelist");
    if (source < 0 || source >= int(entries.size()))
        return -1;
    // A source whose file is missing gives a document with only the name and identifier; the
    // profile loader repairs "Device" from the default profile when it is loaded.
    const QString file = ProfileFile(EntryId(entries, Json::ArrayIndex(source)));
    return Append(file.isEmpty() ? Json::Value() : CJsonFile::ReadJson(file), name);
}

int ProfileList::AddDocument(const Json::Value& doc, const QString& name) const
{
    return Append(doc, name);
}

bool ProfileList::Remove(int index, int nextSelected) const
{
    Json::Value list = EnsureList();
    Json::Value& entries = jsonx::memberRef(list, "profilelist");
    if (index < 0 || index >= int(entries.size()) || entries.size() < 2)
        return false;
    const QString file = ProfileFile(EntryId(entries, Json::ArrayIndex(index)));
    Json::Value removed;
    entries.removeIndex(Json::ArrayIndex(index), &removed);
    list["profileselect"] = std::clamp(nextSelected, 0, int(entries.size()) - 1);
    // The list first: a file the list no longer names is harmless, a named missing file is not.
    if (CJsonFile::WriteJson(ListPath(), list) != 0)
        return false;
    if (!file.isEmpty())
        QFile::remove(file);
    return true;
}

bool ProfileList::Rename(int index, const QString& name) const
{
    const Json::Value old = EnsureList();
    Json::Value list = old;
    Json::Value& entries = jsonx::memberRef(list, "profilelist");
    if (index < 0 || index >= int(entries.size()))
        return false;
    entries[Json::ArrayIndex(index)]["profilename"] = WideToUtf8(name);
    if (CJsonFile::WriteJson(ListPath(), list) != 0)
        return false;
    const QString file = ProfileFile(EntryId(entries, Json::ArrayIndex(index)));
    if (file.isEmpty() || !QFileInfo::exists(file))
        return true;
    Json::Value doc = CJsonFile::ReadJson(file);
    if (!doc.isObject())
        return true;
    doc["profilename"] = WideToUtf8(name);
    if (CJsonFile::WriteJson(file, doc) != 0) {
        // Keep the list and the file in agreement.
        CJsonFile::WriteJson(ListPath(), old);
        return false;
    }
    return true;
}

bool ProfileList::Reset(int index, bool keepEqualiser) const
{
    const Json::Value list = EnsureList();
    const Json::Value& entries = jsonx::member(list, "profilelist");
    if (index < 0 || index >= int(entries.size()))
        return false;
    const Json::Value& entry = jsonx::element(entries, Json::ArrayIndex(index));
    const QString file = ProfileFile(EntryId(entries, Json::ArrayIndex(index)));
    if (file.isEmpty())
        return false;
    Json::Value doc = CJsonFile::ReadJson(m_defaultProfile);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    doc["profilename"] = jsonx::member(entry, "profilename");
    doc["profileUUID"] = jsonx::member(entry, "profileUUID");
    if (keepEqualiser) {
        const Json::Value old = CJsonFile::ReadJson(file);
        const Json::Value& oldDevice = jsonx::element(jsonx::member(old, "Device"), 0);
        Json::Value& device = jsonx::elementRef(jsonx::memberRef(doc, "Device"), 0);
        for (const char* key : {"CustomEQNameInfo", "CustomEQHzValueInfo"}) {
            if (oldDevice.isObject() && oldDevice.isMember(key))
                device[key] = oldDevice[key];
        }
    }
    return CJsonFile::WriteJson(file, doc) == 0;
}

bool ProfileList::Export(int index, const QString& target) const
{
    const Json::Value list = EnsureList();
    const Json::Value& entries = jsonx::member(list, "profilelist");
    if (index < 0 || index >= int(entries.size()) || target.isEmpty())
        return false;
    const QString file = ProfileFile(EntryId(entries, Json::ArrayIndex(index)));
    if (file.isEmpty())
        return false;
    const Json::Value doc = CJsonFile::ReadJson(file);
    if (doc.isNull())
        return false;
    return CJsonFile::WriteJson(target, doc) == 0;
}

QString ProfileList::FreeNewName(const QStringList& names)
{
    for (int n = 1;; ++n) {
        const QString name = QStringLiteral("profile%1").arg(n);
        if (!Contains(names, name))
            return name;
    }
}

QString ProfileList::FreeCopyName(const QStringList& names, const QString& source)
{
    QString name = source + QStringLiteral(" copy");
    while (Contains(names, name))
        name += QStringLiteral(" copy");
    return name;
}

QString ProfileList::FreeImportName(const QStringList& names, const QString& title)
{
    QString name = title;
    for (int n = 1; Contains(names, name); ++n)
        name += QStringLiteral("(%1)").arg(n);
    return name;
}

bool ProfileList::IsImportableProfile(const Json::Value& doc)
{
    return doc.isObject() && doc.isMember("profilename") && doc.isMember("profileUUID");
}
