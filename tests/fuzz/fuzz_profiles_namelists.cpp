// Lighting name lists: the input is both the default lighting file and the user's light
// configuration file, read for every model index and one beyond.

#include "profiles/DeviceNameLists.h"

#include <QFile>
#include <QTemporaryDir>

#include "fuzz_profiles_scratch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(scratchFolderTemplate());
    const QString input = dir.filePath("default_light.json");
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    DeviceNameLists lists;
    for (int model = -1; model <= 4; ++model) {
        lists.LoadDefaultLightNames(model, input);
        lists.LoadCustomLightNames(model, input);
    }
    return 0;
}
