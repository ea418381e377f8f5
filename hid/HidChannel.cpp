#include "hid/HidChannel.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hid/DebugLog.h"
#include "hid/HidBackend.h"
#include "hid/HidrawBackend.h"
#include "hid/HidrawEnumerator.h"
#include "hid/OsError.h"
#include "hid/ReportDecoder.h"
#include "hid/ReportWriter.h"
#include "hid/SimBackend.h"
#include "hid/SimWire.h"

namespace hid {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_sysfsMutex;
std::string g_sysfsRoot = "/sys";

enum class WaitResult { Ready, Hangup, Aborted, TimedOut, Failed };

// Waits until `fd` is ready for `events`, the abort eventfd becomes readable, or the deadline
// passes. The abort event wins when both are ready, so a closing channel never moves a report.
WaitResult waitReady(int fd, short events, int abortFd, bool infinite, Clock::time_point deadline)
{
    for (;;) {
        int timeout = -1;
        if (!infinite) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            timeout = int(std::clamp<int64_t>(left.count(), 0, INT_MAX));
        }
        pollfd p[2] = {{abortFd, POLLIN, 0}, {fd, events, 0}};
        const int r = ::poll(p, 2, timeout);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            qCDebug(tesselDebug, "%s", osErrorText("poll", errno).c_str());
            return WaitResult::Failed;
        }
        if (p[0].revents & POLLIN)
            return WaitResult::Aborted;
        if (p[1].revents & POLLNVAL)
            return WaitResult::Failed;
        if (p[1].revents & events)
            return WaitResult::Ready;
        if (p[1].revents & (POLLHUP | POLLERR))
            return WaitResult::Hangup;
        if (r == 0 && !infinite && Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::vector<std::string> simulatorPaths()
{
    std::vector<std::string> out;
    const char* dirName = std::getenv(simwire::kEnvSimDir);
    if (dirName == nullptr || *dirName == '\0')
        return out;
    const std::string folder = dirName;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind(simwire::kSocketPrefix, 0) != 0)
                continue;
            const std::string path = folder + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
                out.push_back(path);
        }
        ::closedir(dir);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

uint32_t hexAfterToken(const std::string& text, const std::string& token)
{
    const size_t at = lower(text).find(lower(token));
    if (at == std::string::npos)
        return 0;
    // Read like "%x" would, without its undefined overflow: digits until the first non-digit,
    // saturating at the largest 32-bit value.
    uint64_t v = 0;
    for (size_t i = at + token.size(); i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
        const char c = char(std::tolower(static_cast<unsigned char>(text[i])));
        v = v * 16 + uint64_t(c <= '9' ? c - '0' : c - 'a' + 10);
        v = std::min<uint64_t>(v, UINT32_MAX);
    }
    return uint32_t(v);
}

std::string deviceNameOfPath(const std::string& path)
{
    // The folders above a simulator socket are the user's ("/home/david_x/..."), and may hold
    // anything that looks like a token; only the device's own name says what it is.
    const size_t slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t hash = last.find('#');
    return hash == std::string::npos ? last : last.substr(hash + 1);
}

uint32_t interfaceNumberFromPath(const std::string& path)
{
    return hexAfterToken(deviceNameOfPath(path), "&mi_");
}
uint32_t collectionNumberFromPath(const std::string& path)
{
    return hexAfterToken(deviceNameOfPath(path), "&col");
}
uint32_t vendorIdFromPath(const std::string& path)
{
    return hexAfterToken(deviceNameOfPath(path), "vid_");
}
uint32_t productIdFromPath(const std::string& path)
{
    return hexAfterToken(deviceNameOfPath(path), "pid_");
}

bool isSimulatorPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    return last.rfind(simwire::kSocketPrefix, 0) == 0;
}

HidChannel::HidChannel()
{
    std::lock_guard lock(m_lifecycleMutex);
    makeAbortEventLocked();
}

bool HidChannel::makeAbortEventLocked()
{
    if (m_abortFd >= 0)
        return true;
    m_abortFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_abortFd < 0)
        qCDebug(tesselDebug, "%s", osErrorText("eventfd", errno).c_str());
    return m_abortFd >= 0;
}

HidChannel::~HidChannel()
{
    close();
    freeDeviceList();
    if (m_abortFd >= 0)
        ::close(m_abortFd);
}

void HidChannel::setSysfsRoot(const std::string& root)
{
    std::lock_guard lock(g_sysfsMutex);
    g_sysfsRoot = root;
}

std::string HidChannel::sysfsRoot()
{
    std::lock_guard lock(g_sysfsMutex);
    return g_sysfsRoot;
}

bool HidChannel::listDevices()
{
    m_cursor = 0;
    m_pathList = HidrawEnumerator::paths(sysfsRoot());
    for (std::string& p : simulatorPaths())
        m_pathList.push_back(std::move(p));
    return true;
}

std::string HidChannel::nextDevicePath()
{
    if (m_cursor >= m_pathList.size())
        return {};
    return m_pathList[m_cursor++];
}

void HidChannel::freeDeviceList()
{
    m_pathList.clear();
    m_pathList.shrink_to_fit();
    m_cursor = 0;
}

bool HidChannel::open(const std::string& path, bool readAccess, bool writeAccess,
                      bool overlapped, bool exclusive)
{
    std::lock_guard lock(m_lifecycleMutex);
    // Waiters leave before the options change under them.
    shutDownLocked();
    m_path = path;
    m_readAccess = readAccess;
    m_writeAccess = writeAccess;
    m_overlapped = overlapped;
    // hidraw has no exclusive open; the flag is kept but every open is shared.
    m_exclusive = exclusive;
    return openLocked();
}

void HidChannel::shutDownLocked()
{
    std::unique_lock lock(m_stateMutex);
    m_closing = true;
    m_open = false;
    if (m_activeTransfers > 0 && m_abortFd >= 0)
        ::eventfd_write(m_abortFd, 1);
    if (m_writer)
        m_writer->abort();
    m_idle.wait(lock, [this] { return m_activeTransfers == 0; });
    // Nobody waits any more: take the signal back so the next transfer does not see it.
    eventfd_t drained;
    if (m_abortFd >= 0)
        ::eventfd_read(m_abortFd, &drained);
    // A send still in the kernel keeps the device open until it returns; nobody waits for it.
    m_writer.reset();
    m_backend.reset();
    m_caps = HidCaps{};
    m_attributes = HidAttributes{};
    for (auto& items : m_items)
        std::vector<HidDataItem>().swap(items);
}

bool HidChannel::installLocked(std::unique_ptr<HidBackend> backend)
{
    // Without the abort event close() could never release a waiting reader and would wait for
    // it for ever; a channel that cannot be released is not opened.
    if (backend && !makeAbortEventLocked())
        backend.reset();
    std::lock_guard lock(m_stateMutex);
    m_interfaceNumber = interfaceNumberFromPath(m_path);
    m_collectionNumber = collectionNumberFromPath(m_path);
    if (backend) {
        const TopCollection& collection = backend->collection();
        m_caps = collection.caps();
        m_attributes = backend->attributes();
        for (int t = 0; t < 3; ++t)
            m_items[t] = ReportDecoder::buildItems(collection, ReportType(t));
        if (backend->blockingWrites())
            m_writer = std::make_unique<ReportWriter>();
        m_backend = std::move(backend);
        m_open = true;
    }
    m_closing = false;
    return m_open;
}

bool HidChannel::reopen()
{
    std::lock_guard lock(m_lifecycleMutex);
    shutDownLocked();
    return openLocked();
}

bool HidChannel::openLocked()
{
    // Transfers keep failing (m_closing) while the device opens, which may take a moment.
    std::unique_ptr<HidBackend> backend;
    m_identity = nodeIdentityOf(m_path);
    if (m_path.empty())
        backend = nullptr;
    else if (isSimulatorPath(m_path))
        backend = SimBackend::open(m_path);
    else
        backend = HidrawBackend::open(m_path, sysfsRoot(), m_readAccess, m_writeAccess);
    if (!backend)
        qCDebug(tesselDebug, "cannot open %s", m_path.c_str());
    return installLocked(std::move(backend));
}

bool HidChannel::openBackend(const std::string& path, std::unique_ptr<HidBackend> backend,
                             bool readAccess, bool writeAccess)
{
    std::lock_guard lock(m_lifecycleMutex);
    shutDownLocked();
    m_path = path;
    m_identity = nodeIdentityOf(path);
    m_readAccess = readAccess;
    m_writeAccess = writeAccess;
    return installLocked(std::move(backend));
}

void HidChannel::close()
{
    std::lock_guard lock(m_lifecycleMutex);
    shutDownLocked();
    std::lock_guard state(m_stateMutex);
    m_closing = false;
}

bool HidChannel::isOpen() const
{
    return m_open;
}

bool HidChannel::beginTransfer(bool read, bool write)
{
    std::lock_guard lock(m_stateMutex);
    if (m_closing || !m_backend || (read && !m_readAccess) || (write && !m_writeAccess))
        return false;
    ++m_activeTransfers;
    return true;
}

void HidChannel::endTransfer()
{
    {
        std::lock_guard lock(m_stateMutex);
        --m_activeTransfers;
    }
    m_idle.notify_all();
}

template <typename Move>
bool HidChannel::transfer(short events, uint32_t timeoutMs, uint32_t* transferred, Move move)
{
    if (transferred != nullptr)
        *transferred = 0;
    if (!beginTransfer(events == POLLIN, events == POLLOUT))
        return false;
    const bool infinite = timeoutMs == kInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : timeoutMs);
    bool ok = false;
    for (;;) {
        const WaitResult w = waitReady(m_backend->pollFd(), events, m_abortFd, infinite, deadline);
        if (w == WaitResult::Aborted || w == WaitResult::TimedOut || w == WaitResult::Failed)
            break;
        // A hang-up still lets the backend say what happened (end of file, an error).
        const ssize_t n = move(infinite ? std::nullopt : std::optional(deadline));
        if (n < 0) {
            const int error = errno;
            qCDebug(tesselDebug, "%s", osErrorText(m_path.c_str(), error).c_str());
            // The interface ended under us: discovery closes this channel and opens it afresh.
            if (isGoneError(error))
                reportInterfaceGone(m_path, m_identity);
            break;
        }
        if (n > 0) {
            if (transferred != nullptr)
                *transferred = uint32_t(n);
            ok = true;
            break;
        }
        if (w == WaitResult::Hangup)
            break;
    }
    endTransfer();
    return ok;
}

bool HidChannel::readReport(uint8_t* buffer, uint32_t length, uint32_t* transferred,
                            uint32_t timeoutMs)
{
    if (buffer == nullptr || length == 0) {
        if (transferred != nullptr)
            *transferred = 0;
        return false;
    }
    return transfer(POLLIN, timeoutMs, transferred, [&](auto) -> ssize_t {
        const ssize_t n = m_backend->readSome(buffer, length);
        // An interface's node carries the reports of all its collections; keep this one's.
        if (n > 0 && m_backend->descriptor().usesReportIds() &&
            !m_backend->collection().hasReportId(ReportType::Input, buffer[0]))
            return 0;
        return n;
    });
}

bool HidChannel::writeReport(const uint8_t* buffer, uint32_t length, uint32_t* transferred,
                             uint32_t timeoutMs)
{
    if (buffer == nullptr || length == 0) {
        if (transferred != nullptr)
            *transferred = 0;
        return false;
    }
    return transfer(POLLOUT, timeoutMs, transferred, [&](auto deadline) -> ssize_t {
        if (!m_writer)
            return m_backend->writeSome(buffer, length);
        std::vector<uint8_t> report(buffer, buffer + length);
        return sendOnWriter(
            [report = std::move(report)](HidBackend& backend) {
                return backend.writeSome(report.data(), uint32_t(report.size()));
            },
            deadline);
    });
}

ssize_t HidChannel::sendOnWriter(std::function<ssize_t(HidBackend&)> send,
                                 std::optional<Clock::time_point> deadline)
{
    // The send holds the device and its own copy of the report: both must stay valid while the
    // kernel has them, even after this caller gave up and the channel closed.
    const ReportWriter::Result r = m_writer->run(
        [backend = m_backend, send = std::move(send)] { return send(*backend); }, deadline);
    switch (r.outcome) {
    case ReportWriter::Outcome::Done:
        errno = r.error;
        return r.bytes;
    case ReportWriter::Outcome::TimedOut:
        errno = ETIMEDOUT;
        return -1;
    case ReportWriter::Outcome::Aborted:
        errno = ECANCELED;
        return -1;
    case ReportWriter::Outcome::Failed:
        errno = r.error;
        return -1;
    }
    return -1;
}

bool HidChannel::setOutputReport(const uint8_t* buffer, uint32_t length, uint32_t timeoutMs)
{
    if (buffer == nullptr || length == 0 || !beginTransfer(false, true))
        return false;
    bool ok = false;
    if (m_writer) {
        std::optional<Clock::time_point> deadline;
        if (timeoutMs != kInfinite)
            deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<uint8_t> report(buffer, buffer + length);
        const ssize_t n = sendOnWriter(
            [report = std::move(report)](HidBackend& backend) -> ssize_t {
                return backend.setOutputReport(report.data(), uint32_t(report.size()))
                           ? ssize_t(report.size())
                           : -1;
            },
            deadline);
        ok = n == ssize_t(length);
        if (!ok)
            qCDebug(tesselDebug, "%s", osErrorText("set output report", errno).c_str());
    } else {
        ok = m_backend->setOutputReport(buffer, length);
    }
    endTransfer();
    return ok;
}

bool HidChannel::decodeInputReport(const uint8_t* report, uint32_t length, ReportType type)
{
    if (!beginTransfer(false, false))
        return false;
    const bool ok = ReportDecoder::decode(m_backend->collection(), type, report, length,
                                          m_items[static_cast<int>(type)]);
    endTransfer();
    return ok;
}

}  // namespace hid
