#pragma once

#include <QString>
#include <json/value.h>

// A device's list of profiles: "ProfileList.ini" in its user data folder (a JSON document in
// spite of its name) naming each profile and its identifier, and which one is selected. The
// profile of identifier X is the file X + ".Json" in the same folder.
class ProfileList {
public:
    // `userFolder`: the device's user data folder; `defaultProfile`: its shipped default profile.
    ProfileList(QString userFolder, QString defaultProfile);

    QString ListPath() const;

    // Reads the list; when it is missing, unreadable or empty, makes one profile "profile1" from
    // the default profile, selects it and writes both files. Returns the list as it is on disk.
    Json::Value EnsureList() const;
    // EnsureList, then the selected profile's file; a selection outside the list counts as the
    // first entry, and an identifier that is not a safe file name gives the first usable entry.
    // Empty only when no entry is usable.
    QString SelectedProfileFile() const;
    // The file of a profile identifier; empty when the identifier is not a safe file name.
    QString ProfileFile(const QString& profileUuid) const;

private:
    Json::Value CreateFirstProfile() const;

    QString m_userFolder;
    QString m_defaultProfile;
};
