#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

// Every write of the profiles layer is an atomic replace that syncs the file to disk; on a
// memory-backed folder that costs nothing, so the loaders run thousands of times a second
// instead of a few.
inline QString scratchFolderTemplate()
{
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        return QStringLiteral("/dev/shm/tessel-fuzz-XXXXXX");
    return QDir::tempPath() + QStringLiteral("/tessel-fuzz-XXXXXX");
}
