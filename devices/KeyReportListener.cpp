#include "devices/KeyReportListener.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <cctype>

namespace {

constexpr uint8_t kKeysReportId = 1;
constexpr size_t kKeysReportLength = 8;  // ID, modifier bits, six usages
constexpr uint8_t kRollOver = 0x01;
constexpr uint32_t kStopMs = 500;

}  // namespace

KeyReportListener::KeyReportListener(QObject* context) : m_context(context) {}

KeyReportListener::~KeyReportListener()
{
    Detach(false);
    Detach(true);
}

std::string KeyReportListener::KeysPathBeside(const std::string& path)
{
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const size_t at = lower.rfind("&col");
    if (at == std::string::npos || at + 6 > path.size())
        return {};
    std::string keys = path;
    keys.replace(at + 4, 2, "01");
    return keys;
}

std::vector<std::pair<uint8_t, int>> KeyReportListener::Changes(std::array<bool, 256>& before, const uint8_t* report,
                                                                  size_t length)
{
    std::vector<std::pair<uint8_t, int>> changes;
    if (length < kKeysReportLength || report[0] != kKeysReportId)
        return changes;
    std::array<bool, 256> now{};
    for (int bit = 0; bit < 8; ++bit)
        if (report[1] & (1u << bit))
            now[size_t(0xE0 + bit)] = true;
    for (size_t i = 2; i < kKeysReportLength; ++i) {
        if (report[i] == kRollOver)
            return changes;  // too many keys held: the keyboard does not say which
        if (report[i] >= 0x04)
            now[report[i]] = true;
    }
    for (size_t u = 0; u < now.size(); ++u)
        if (before[u] && !now[u])
            changes.emplace_back(uint8_t(u), 2);
    for (size_t u = 0; u < now.size(); ++u)
        if (!before[u] && now[u])
            changes.emplace_back(uint8_t(u), 1);
    before = now;
    return changes;
}

bool KeyReportListener::Attach(const std::string& notificationPath, bool receiver)
{
    const std::string path = KeysPathBeside(notificationPath);
    if (path.empty())
        return false;
    Detach(receiver);
    Route& r = m_routes[receiver ? 1 : 0];
    {
        std::lock_guard lock(r.lock);
        r.open = r.channel.open(path, true, false, true, false);
    }
    if (!r.open)
        return false;
    r.thread.Start([this, &r](const hid::Event& exit) { Loop(r, exit); });
    return true;
}

void KeyReportListener::Detach(bool receiver)
{
    Route& r = m_routes[receiver ? 1 : 0];
    if (!r.open && !r.thread.IsRunning())
        return;
    // The reader blocks without time-out: closing the channel releases it.
    r.thread.RequestStop();
    {
        std::lock_guard lock(r.lock);
        r.open = false;
        r.channel.close();
    }
    r.thread.Stop(kStopMs);
}

void KeyReportListener::Loop(Route& r, const hid::Event& exit)
{
    std::array<bool, 256> held{};
    std::vector<uint8_t> report;
    while (!exit.isSet()) {
        const uint32_t length = std::max<uint32_t>(r.channel.caps().inputReportByteLength, kKeysReportLength);
        report.assign(length, 0);
        uint32_t got = 0;
        if (!r.open.load() || !r.channel.readReport(report.data(), length, &got, hid::kInfinite) || got == 0) {
            // A closed or lost channel fails at once: rest so a gone keyboard does not spin here.
            exit.wait(20);
            continue;
        }
        const auto changes = Changes(held, report.data(), got);
        QObject* context = m_context.data();
        if (changes.empty() || !context || !m_handler)
            continue;
        QMetaObject::invokeMethod(context, [handler = m_handler, changes] {
            for (const auto& [usage, action] : changes)
                handler(usage, action);
        }, Qt::QueuedConnection);
    }
}
