#pragma once

#include <QString>
#include <QStringList>
#include <json/value.h>

// A device's list of profiles: "ProfileList.ini" in its user data folder (a JSON document in
// spite of its name) naming each profile and its identifier, and which one is selected. The
// profile of identifier X is the file X + ".Json" in the same folder.
//
// Every operation re-reads the list from disk, changes it and writes it back at once. Files are
// written in an order that keeps the list true after a crash at any point: a new profile's file
// is written before the list names it, and a removed profile's file is deleted only after the
// list no longer names it. An operation that cannot write (a full disk) changes nothing and
// reports failure.
class ProfileList {
public:
    // At most this many profiles are made with New; Copy and Import have no limit.
    static constexpr int kMaxNewProfiles = 50;

    struct Entry {
        QString name;
        QString id;
    };

    // `userFolder`: the device's user data folder; `defaultProfile`: its shipped default profile.
    ProfileList(QString userFolder, QString defaultProfile);

    QString ListPath() const;
    const QString& UserFolder() const { return m_userFolder; }
    const QString& DefaultProfile() const { return m_defaultProfile; }

    // Reads the list. When it is missing, makes one profile "profile1" from the default profile,
    // selects it and writes both files. When it is there but unusable (damaged, empty, too
    // large), keeps a copy of it beside it and rebuilds it from the profile files in the folder
    // (their names and identifiers), falling back to "profile1" when there are none. Returns
    // the list as it is on disk.
    Json::Value EnsureList() const;
    // EnsureList, then the selected profile's file; a selection outside the list counts as the
    // first entry, and an identifier that is not a safe file name gives the first usable entry.
    // Empty only when no entry is usable.
    QString SelectedProfileFile() const;
    // The file of a profile identifier; empty when the identifier is not a safe file name.
    QString ProfileFile(const QString& profileUuid) const;

    // The entries of the list on disk (made first when missing), in combo order.
    std::vector<Entry> Entries() const;
    // "profileselect" of the list on disk, limited to the list (0 when outside it).
    int SelectedIndex() const;

    // Records `index` as the selected profile; false when it is outside the list or the list
    // could not be written.
    bool Select(int index) const;
    // Appends a profile made from the default profile under `name`, selected in the file only.
    // Returns its index, -1 on failure.
    int AddFromDefault(const QString& name, bool select) const;
    // Appends a copy of the saved file of entry `source` named `name`. Index or -1.
    int AddCopy(int source, const QString& name) const;
    // Appends the document `doc` (an imported profile) under `name`; every member but the name
    // and identifier is kept. Index or -1.
    int AddDocument(const Json::Value& doc, const QString& name) const;
    // Removes entry `index` and its file, and selects `nextSelected`. False when the list would
    // become empty or could not be written.
    bool Remove(int index, int nextSelected) const;
    // Renames entry `index` in the list and in its file. False when either could not be written
    // (the list is then as it was).
    bool Rename(int index, const QString& name) const;
    // Replaces entry `index`'s file with the default profile under the same name and identifier;
    // for a headset (`keepEqualiser`) the user's custom equaliser presets survive.
    bool Reset(int index, bool keepEqualiser) const;
    // Writes entry `index`'s saved file to `target`.
    bool Export(int index, const QString& target) const;

    // Names for new entries, free among `names` (compared without regard to case):
    // "profile1", "profile2", ...
    static QString FreeNewName(const QStringList& names);
    // "A copy", "A copy copy", ...
    static QString FreeCopyName(const QStringList& names, const QString& source);
    // "T", "T(1)", "T(1)(2)", ...
    static QString FreeImportName(const QStringList& names, const QString& title);
    // Whether a document read from a file is a profile that may be imported.
    static bool IsImportableProfile(const Json::Value& doc);

private:
    Json::Value CreateFirstProfile() const;
    // A list naming every profile file of the folder, the first selected.
    Json::Value RebuildFromProfileFiles() const;
    // A timestamp identifier that neither the list nor the folder uses yet.
    std::string NewProfileId(const Json::Value& list) const;
    int Append(Json::Value doc, const QString& name) const;

    QString m_userFolder;
    QString m_defaultProfile;
};
