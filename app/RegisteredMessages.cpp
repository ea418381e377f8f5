#include "app/RegisteredMessages.h"

#include <QHash>
#include <mutex>
#include <vector>

namespace app {

namespace {
struct Table {
    std::mutex mutex;
    QHash<QString, uint32_t> ids;
    std::vector<QString> names;  // index = id - kFirstId
};

Table& table()
{
    static Table t;
    return t;
}
}  // namespace

uint32_t RegisteredMessages::Register(const QString& name)
{
    if (name.isEmpty())
        return 0;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const auto found = t.ids.constFind(name);
    if (found != t.ids.constEnd())
        return *found;
    if (t.names.size() > kLastId - kFirstId)
        return 0;
    const uint32_t id = kFirstId + static_cast<uint32_t>(t.names.size());
    t.names.push_back(name);
    t.ids.insert(name, id);
    return id;
}

uint32_t RegisteredMessages::Find(const QString& name)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.ids.value(name, 0);
}

QString RegisteredMessages::Name(uint32_t id)
{
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (id < kFirstId || id - kFirstId >= t.names.size())
        return {};
    return t.names[id - kFirstId];
}

void RegisteredMessages::RegisterAll()
{
    for (const char* name : msg::kHookMessages)
        Register(QString::fromLatin1(name));
    for (const char* name : msg::kMouseMessages)
        Register(QString::fromLatin1(name));
    for (const char* name : msg::kGameMessages)
        Register(QString::fromLatin1(name));
    Register(QString::fromLatin1(msg::kInstance));
    for (const char* name : {msg::kUpdateRelay, msg::kLightControlBroadcast,
                             msg::kLightControlRequest, msg::kWorkToolQuery, msg::kAudioRecorder})
        Register(QString::fromLatin1(name));
}

}  // namespace app
