#include "app/SkinSettings.h"

#include <QDir>
#include <QSettings>

#include "profiles/DataPaths.h"

namespace app::skinsettings {

namespace {
const QString kFlags = QStringLiteral("SKINIMAGE/FLAGS");
const QString kImage = QStringLiteral("SKINIMAGE/IMAGE");
const QString kColour = QStringLiteral("SKINIMAGE/COLOR");
}

QString IniFile()
{
    return QDir(paths::userDataFolder()).filePath(QStringLiteral("main.ini"));
}

void WriteImage(int flags, const QString& image)
{
    QSettings ini(IniFile(), QSettings::IniFormat);
    ini.setValue(kFlags, QString::number(flags));
    ini.setValue(kImage, image);
    ini.remove(kColour);
}

void WriteColour(uint32_t argb)
{
    QSettings ini(IniFile(), QSettings::IniFormat);
    ini.setValue(kColour, QStringLiteral("%1").arg(argb, 8, 16, QLatin1Char('0')).toUpper());
}

std::optional<SkinChangedParam> Read()
{
    const QSettings ini(IniFile(), QSettings::IniFormat);
    const QString colour = ini.value(kColour).toString();
    if (!colour.isEmpty()) {
        bool ok = false;
        const uint32_t argb = colour.toUInt(&ok, 16);
        if (ok && colour.size() <= 8) {
            SkinChangedParam p;
            p.bColor = true;
            p.bkcolor = argb;
            return p;
        }
    }
    const QString image = ini.value(kImage).toString();
    if (ini.value(kFlags).toString().trimmed() != QLatin1String("1") || image.isEmpty() ||
        image == QLatin1String(ui::kDefaultBackground))
        return std::nullopt;
    SkinChangedParam p;
    p.bgimage = image;
    return p;
}

}  // namespace app::skinsettings
