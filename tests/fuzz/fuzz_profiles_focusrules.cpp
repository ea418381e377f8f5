// A device's focus rules file as it is read: any bytes in "FocusRules.json"; a set that loads is
// saved and read back the same.
#include "profiles/FocusRules.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    QFile::remove(focusrules::FilePath(dir.path()));
    {
        QFile f(focusrules::FilePath(dir.path()));
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    const focusrules::LoadResult r = focusrules::Load(dir.path());
    if (!r.damaged) {
        (void)r.set.ProfileFor({QStringLiteral("steam"), QString()});
        if (focusrules::Save(dir.path(), r.set) && !(focusrules::Load(dir.path()).set == r.set))
            std::abort();
    }
    return 0;
}
