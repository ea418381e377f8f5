#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "profiles/UserFiles.h"

// Every write of the profiles layer is an atomic replace that syncs the file to disk; on a
// memory-backed folder that costs nothing, so the loaders run thousands of times a second
// instead of a few.
inline QString scratchFolderTemplate()
{
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm/tessel-fuzz-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/tessel-fuzz-XXXXXX");
}

// A damaged input is kept beside itself before it is repaired, and a notice is recorded for the
// window. Each run clears both, so thousands of inputs leave neither copies nor notices behind.
inline void clearKeptCopies(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.damaged-*")}, QDir::Files))
        QFile::remove(dir.filePath(name));
    userfiles::TakeNotices();
}
