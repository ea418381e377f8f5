#include "profiles/FocusRules.h"

#include "profiles/CJsonFile.h"
#include "profiles/UserFiles.h"

#include <QDir>
#include <QFileInfo>
#include <json/reader.h>
#include <json/value.h>

QString FocusRuleSet::ProfileFor(const QStringList& names) const
{
    for (const FocusRule& r : rules) {
        if (r.match.trimmed().isEmpty())
            continue;
        for (const QString& n : names) {
            if (!n.isEmpty() && n.compare(r.match.trimmed(), Qt::CaseInsensitive) == 0)
                return r.profileId;
        }
    }
    return defaultProfileId;
}

QStringList FocusRuleSet::MatchesOf(const QString& profileId) const
{
    QStringList out;
    for (const FocusRule& r : rules) {
        if (r.profileId == profileId)
            out << r.match;
    }
    return out;
}

void FocusRuleSet::SetMatchesOf(const QString& profileId, const QStringList& matches)
{
    QStringList wanted;
    for (const QString& m : matches) {
        const QString t = m.trimmed();
        if (!t.isEmpty() && !wanted.contains(t, Qt::CaseInsensitive))
            wanted << t;
    }
    std::vector<FocusRule> kept;
    for (const FocusRule& r : rules) {
        if (r.profileId != profileId) {
            kept.push_back(r);
            continue;
        }
        // A rule still wanted keeps its place; the others of this profile go.
        for (int i = 0; i < wanted.size(); ++i) {
            if (wanted[i].compare(r.match, Qt::CaseInsensitive) == 0) {
                kept.push_back({wanted[i], profileId});
                wanted.removeAt(i);
                break;
            }
        }
    }
    for (const QString& m : wanted)
        kept.push_back({m, profileId});
    rules = std::move(kept);
}

bool FocusRuleSet::DropUnknown(const QStringList& knownIds)
{
    const size_t before = rules.size();
    std::erase_if(rules, [&](const FocusRule& r) { return !knownIds.contains(r.profileId); });
    bool changed = rules.size() != before;
    if (!defaultProfileId.isEmpty() && !knownIds.contains(defaultProfileId)) {
        defaultProfileId.clear();
        changed = true;
    }
    return changed;
}

namespace focusrules {

QString FilePath(const QString& userFolder)
{
    return QDir(userFolder).filePath(QLatin1String(kFileName));
}

namespace {

// The rules in `doc`; false when it is not a rule document (wrong types anywhere).
bool Parse(const Json::Value& doc, FocusRuleSet& set)
{
    if (!doc.isObject())
        return false;
    const Json::Value& rules = doc["rules"];
    const Json::Value& def = doc["default"];
    if (!(rules.isNull() || rules.isArray()) || !(def.isNull() || def.isString()))
        return false;
    if (rules.isArray() && rules.size() > Json::ArrayIndex(FocusRuleSet::kMaxRules))
        return false;
    for (const Json::Value& r : rules) {
        if (!r.isObject() || !r["match"].isString() || !r["profile"].isString())
            return false;
        set.rules.push_back({QString::fromStdString(r["match"].asString()), QString::fromStdString(r["profile"].asString())});
    }
    set.defaultProfileId = QString::fromStdString(def.isString() ? def.asString() : std::string());
    return true;
}

}  // namespace

LoadResult Load(const QString& userFolder)
{
    LoadResult result;
    const QString path = FilePath(userFolder);
    const QFileInfo info(path);
    if (!info.exists())
        return result;
    if (userfiles::IsTooLarge(path)) {
        result.damaged = true;
        return result;
    }
    const std::string text = CJsonFile::ReadFileText(path);
    Json::Value doc;
    Json::Reader reader;
    const bool parsed = !text.empty() && reader.parse(text, doc, false);
    if (!parsed || !Parse(doc, result.set)) {
        result.set = {};
        result.damaged = true;
        userfiles::KeepDamaged(path);
    }
    return result;
}

bool Save(const QString& userFolder, const FocusRuleSet& set)
{
    const QString path = FilePath(userFolder);
    // A file that could not be read is kept before it is replaced.
    if (QFileInfo::exists(path) && Load(userFolder).damaged && !userfiles::KeptBeforeReplacing(path))
        return false;
    Json::Value doc(Json::objectValue);
    doc["rules"] = Json::Value(Json::arrayValue);
    for (const FocusRule& r : set.rules) {
        Json::Value v(Json::objectValue);
        v["match"] = r.match.toStdString();
        v["profile"] = r.profileId.toStdString();
        doc["rules"].append(v);
    }
    doc["default"] = set.defaultProfileId.toStdString();
    QDir().mkpath(userFolder);
    const bool saved = CJsonFile::WriteJson(path, doc) == 0;
    userfiles::NoteSave(path, saved);
    return saved;
}

}  // namespace focusrules
