#include "hid/NodeIdentity.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <sys/stat.h>

#include "hid/HidChannel.h"

namespace hid {

namespace {

std::mutex& goneMutex()
{
    static std::mutex m;
    return m;
}

// Keyed by path, so it never holds more than one report per interface path.
std::map<std::string, NodeIdentity>& goneReports()
{
    static std::map<std::string, NodeIdentity> reports;
    return reports;
}

}  // namespace

NodeIdentity nodeIdentityOf(const std::string& path)
{
    // hidraw paths are the node followed by "#" and the interface's tokens.
    const bool simulator = isSimulatorPath(path);
    const size_t hash = simulator ? std::string::npos : path.find('#');
    const std::string node = hash == std::string::npos ? path : path.substr(0, hash);
    struct stat st {};
    if (node.empty() || ::stat(node.c_str(), &st) != 0)
        return {};
    const int64_t changed = simulator ? int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec : 0;
    return NodeIdentity{st.st_dev, st.st_ino, st.st_rdev, changed};
}

bool isGoneError(int error)
{
    switch (error) {
    case ENODEV:      // hidraw write after removal; the simulator's end of file
    case EIO:         // hidraw read after removal
    case EPIPE:       // a write to a closed simulator connection
    case ECONNRESET:
    case ENOTCONN:
    case ESHUTDOWN:
        return true;
    default:
        return false;
    }
}

void reportInterfaceGone(const std::string& path, const NodeIdentity& identity)
{
    if (path.empty())
        return;
    std::lock_guard lock(goneMutex());
    goneReports()[path] = identity;
}

bool takeInterfaceGone(const std::string& path, const NodeIdentity& identity)
{
    std::lock_guard lock(goneMutex());
    auto& reports = goneReports();
    const auto it = reports.find(path);
    if (it == reports.end())
        return false;
    const bool match = it->second == identity;
    // A report about another appearance is stale either way.
    reports.erase(it);
    return match;
}

bool interfaceGoneReported(const std::string& path)
{
    std::lock_guard lock(goneMutex());
    return goneReports().count(path) != 0;
}

void forgetInterfaceGone(const std::string& path)
{
    std::lock_guard lock(goneMutex());
    goneReports().erase(path);
}

}  // namespace hid
