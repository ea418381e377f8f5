#pragma once

#include <QString>
#include <functional>
#include <vector>

// What the application does with a user file it cannot read: it never replaces it in silence.
// A file that is damaged is copied beside itself as "<name>.damaged-<date>" before anything
// repairs or replaces it, and a file above the size its kind may sensibly have is not read at
// all. Each such event becomes a notice the window shows once (which file, what was kept, where).
// Thread-safe: files are read from worker threads as well as the user-interface thread.
namespace userfiles {

struct Notice {
    enum Kind { Damaged, TooLarge, NotSaved, Corrected };
    Kind kind = Damaged;
    QString file;    // the file that could not be read (NotSaved: written)
    QString keptAs;  // the copy kept beside it (Damaged); empty when none could be made
    qint64 size = 0;   // the file's size (TooLarge)
    qint64 limit = 0;  // the largest size its kind may have (TooLarge)
    QString detail;    // what was corrected, one field a line (Corrected)
};

// The largest size accepted for a file, by its name: profiles 1 MB, the profile list 256 KB,
// settings 64 KB, macro files 1 MB, shoot patterns 64 KB, light configuration 256 KB and its
// effect files 1 MB, anything else 4 MB.
qint64 SizeLimit(const QString& path);
// Whether the file exists and is larger than its limit. The first time a file is found too
// large a TooLarge notice is recorded.
bool IsTooLarge(const QString& path);

// Copies a damaged file beside itself before it is repaired or replaced and records a Damaged
// notice. Returns the copy's path, empty when the file does not exist or no copy could be made
// (the notice is recorded all the same). Never overwrites an earlier copy; when one already holds
// the same bytes, that one is returned and nothing new is recorded.
QString KeepDamaged(const QString& path);

// Whether a file that could not be read may now be replaced: true when it does not exist or is
// empty, or
// when a copy of it was kept (KeepDamaged); false when it is too large (it is left as it is) or
// no copy could be made.
bool KeptBeforeReplacing(const QString& path);

// Records whether a save of `path` worked. The first failure after a success (or the first one
// at all) becomes a NotSaved notice; later failures of the same file add none until a save of it
// works again, so a disk that stays full is reported once per file, not at every change.
void NoteSave(const QString& path, bool saved);

// Records that values of `path` were out of range or of the wrong type and were corrected as
// `detail` says. The same detail for the same file is recorded once.
void NoteCorrected(const QString& path, const QString& detail);

// The notices recorded since the last call, oldest first.
std::vector<Notice> TakeNotices();
// Called (from whichever thread records it) after each new notice; the window posts itself a
// message from here. An empty function removes the listener.
void SetNoticeListener(std::function<void()> listener);

}  // namespace userfiles
