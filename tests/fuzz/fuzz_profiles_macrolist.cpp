// Macro list files ("macro.config"): the macro names a device page offers.

#include "profiles/DeviceNameLists.h"

#include <QFile>
#include <QTemporaryDir>

#include "fuzz_profiles_scratch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(scratchFolderTemplate());
    const QString input = dir.filePath("macro.config");
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    DeviceNameLists lists;
    lists.LoadMacroNames(input);
    return 0;
}
