#include "profiles/UserFiles.h"

#include "profiles/ProfilesLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <mutex>

namespace userfiles {

namespace {

constexpr qint64 kKiB = 1024;
constexpr qint64 kMiB = 1024 * kKiB;

struct Store {
    std::mutex lock;
    std::vector<Notice> pending;
    QSet<QString> reportedTooLarge;
    QSet<QString> failingSaves;
    QHash<QString, QString> corrected;
    std::function<void()> listener;
};

Store& store()
{
    static Store s;
    return s;
}

void record(Notice notice)
{
    std::function<void()> listener;
    {
        Store& s = store();
        const std::lock_guard guard(s.lock);
        s.pending.push_back(std::move(notice));
        listener = s.listener;
    }
    if (listener)
        listener();
}

}  // namespace

qint64 SizeLimit(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (name.compare(QLatin1String("ProfileList.ini"), Qt::CaseInsensitive) == 0)
        return 256 * kKiB;
    if (suffix == QLatin1String("ini"))
        return 64 * kKiB;
    if (suffix == QLatin1String("json") || suffix == QLatin1String("mac") || suffix == QLatin1String("light"))
        return kMiB;
    if (suffix == QLatin1String("shoot"))
        return 64 * kKiB;
    if (suffix == QLatin1String("config"))
        return 256 * kKiB;
    return 4 * kMiB;
}

bool IsTooLarge(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    const qint64 size = info.size();
    const qint64 limit = SizeLimit(path);
    if (size <= limit)
        return false;
    const QString file = info.absoluteFilePath();
    bool first = false;
    {
        Store& s = store();
        const std::lock_guard guard(s.lock);
        if (!s.reportedTooLarge.contains(file)) {
            s.reportedTooLarge.insert(file);
            first = true;
        }
    }
    if (first) {
        qCDebug(profilesDebug) << "file too large, not read:" << file << size << "bytes, at most" << limit;
        Notice n;
        n.kind = Notice::TooLarge;
        n.file = file;
        n.size = size;
        n.limit = limit;
        record(std::move(n));
    }
    return true;
}

namespace {

// A copy kept earlier of the same damaged bytes, if there is one: the same file found damaged
// again before anything replaced it is not copied (nor told) twice.
QString EarlierCopyOf(const QFileInfo& info)
{
    const QDir dir = info.absoluteDir();
    const QStringList copies =
        dir.entryList({info.fileName() + QStringLiteral(".damaged-*")}, QDir::Files, QDir::Name);
    if (copies.isEmpty())
        return {};
    QFile original(info.absoluteFilePath());
    if (!original.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = original.readAll();
    for (const QString& name : copies) {
        QFile copy(dir.filePath(name));
        if (copy.size() == bytes.size() && copy.open(QIODevice::ReadOnly) && copy.readAll() == bytes)
            return copy.fileName();
    }
    return {};
}

}  // namespace

QString KeepDamaged(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    if (const QString earlier = EarlierCopyOf(info); !earlier.isEmpty())
        return earlier;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = info.absoluteFilePath() + QStringLiteral(".damaged-") + stamp;
    QString kept = base;
    for (int n = 2; QFileInfo::exists(kept) && n < 1000; ++n)
        kept = base + QStringLiteral("-%1").arg(n);
    if (QFileInfo::exists(kept) || !QFile::copy(info.absoluteFilePath(), kept)) {
        qCDebug(profilesDebug) << "could not keep a copy of the damaged file" << path;
        kept.clear();
    } else {
        QFile::setPermissions(kept, QFile::ReadOwner | QFile::WriteOwner);
    }
    Notice n;
    n.kind = Notice::Damaged;
    n.file = info.absoluteFilePath();
    n.keptAs = kept;
    record(std::move(n));
    return kept;
}

bool KeptBeforeReplacing(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || (info.isFile() && info.size() == 0))
        return true;  // nothing there to lose
    if (IsTooLarge(path))
        return false;
    return !KeepDamaged(path).isEmpty();
}

void NoteSave(const QString& path, bool saved)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    {
        Store& s = store();
        const std::lock_guard guard(s.lock);
        if (saved) {
            s.failingSaves.remove(key);
            return;
        }
        if (s.failingSaves.contains(key))
            return;
        s.failingSaves.insert(key);
    }
    Notice n;
    n.kind = Notice::NotSaved;
    n.file = path;
    record(std::move(n));
}

void NoteCorrected(const QString& path, const QString& detail)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    {
        Store& s = store();
        const std::lock_guard guard(s.lock);
        if (s.corrected.value(key) == detail)
            return;
        s.corrected.insert(key, detail);
    }
    Notice n;
    n.kind = Notice::Corrected;
    n.file = path;
    n.detail = detail;
    record(std::move(n));
}

std::vector<Notice> TakeNotices()
{
    Store& s = store();
    const std::lock_guard guard(s.lock);
    std::vector<Notice> out;
    out.swap(s.pending);
    return out;
}

void SetNoticeListener(std::function<void()> listener)
{
    std::function<void()> announce;
    {
        Store& s = store();
        const std::lock_guard guard(s.lock);
        s.listener = std::move(listener);
        if (!s.pending.empty())
            announce = s.listener;
    }
    // Notices recorded before anyone listened (while the window was being built) are announced now.
    if (announce)
        announce();
}

}  // namespace userfiles
