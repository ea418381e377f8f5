#pragma once

#include <QHash>
#include <QString>

namespace app {

// The skin's resource index "res.xml": resource names ("XML_MAIN", "XML_MSG", ...) mapped to
// layout files relative to the skin folder.
//   <Res><Layout name="XML_MAIN" file="XML/main.ui"/>...</Res>
class SkinResources {
public:
    // Reads "res.xml" of `skinFolder`; false when the file is missing or not well-formed (the
    // index is then empty). Entries whose file would leave the skin folder are skipped.
    bool Load(const QString& skinFolder);
    // The relative layout file of `resourceName`, or an empty string.
    QString Resolve(const QString& resourceName) const;
    // The index loaded at start-up (empty until then).
    static SkinResources& Instance();

private:
    QHash<QString, QString> m_files;
};

}  // namespace app
