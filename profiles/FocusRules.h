#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// A device's rules for following the application in focus: "FocusRules.json" in the device's
// user data folder, beside its profiles. Each rule names an application (its application id,
// executable name or window class, compared without regard to case) and the profile to switch
// to while it is in focus; the default profile is taken when no rule matches (none: the device
// keeps what it has). Profiles are named by their identifiers, so a renamed profile keeps its
// rules.
//
// The file:  { "rules": [ { "match": "firefox", "profile": "<profileUUID>" }, ... ],
//              "default": "<profileUUID>" or "" }
struct FocusRule {
    QString match;
    QString profileId;
    bool operator==(const FocusRule&) const = default;
};

struct FocusRuleSet {
    std::vector<FocusRule> rules;
    QString defaultProfileId;
    bool operator==(const FocusRuleSet&) const = default;

    // The rule list keeps at most this many rules; a file with more is not a rule file.
    static constexpr int kMaxRules = 200;

    // The profile for an application known by `names` (its id, executable, window class...):
    // the first rule whose match equals one of them, else the default. Empty names never match.
    QString ProfileFor(const QStringList& names) const;
    // The matches of the rules that switch to `profileId`, in order.
    QStringList MatchesOf(const QString& profileId) const;
    // Replaces the rules of `profileId` by one rule per match, keeping the others where they were
    // (new ones at the end). Blank matches are dropped, repeats kept once.
    void SetMatchesOf(const QString& profileId, const QStringList& matches);
    // Drops every rule (and the default) that names a profile not in `knownIds`; true when any.
    bool DropUnknown(const QStringList& knownIds);
};

namespace focusrules {

constexpr char kFileName[] = "FocusRules.json";

QString FilePath(const QString& userFolder);

struct LoadResult {
    FocusRuleSet set;
    // The file was there but could not be read as rules; a copy was kept beside it and a notice
    // recorded, and `set` is empty.
    bool damaged = false;
};
// Reads the rules of the device whose user data folder is `userFolder`. A missing file is an
// empty set. A damaged one is kept aside (never replaced in silence) before anything is saved.
LoadResult Load(const QString& userFolder);
// Writes the rules (atomically); false when the file could not be written, or when it is
// damaged and no copy of it could be kept.
bool Save(const QString& userFolder, const FocusRuleSet& set);

}  // namespace focusrules
