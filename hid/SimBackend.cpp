#include "hid/SimBackend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "hid/DebugLog.h"
#include "hid/OsError.h"
#include "hid/SimWire.h"

namespace hid {

namespace {

constexpr int kSetOutputTimeoutMs = 1000;

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;  // a signal; the wait is short enough to start again
        return r > 0 && (p.revents & events);
    }
}

}  // namespace

std::unique_ptr<SimBackend> SimBackend::open(const std::string& path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        qCDebug(tesselDebug, "simulator path too long for a socket: %s", path.c_str());
        return nullptr;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        qCDebug(tesselDebug, "%s", osErrorText("socket", errno).c_str());
        return nullptr;
    }
    std::unique_ptr<SimBackend> backend(new SimBackend(fd));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        qCDebug(tesselDebug, "%s", osErrorText(("connect " + path).c_str(), errno).c_str());
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return nullptr;
    if (!backend->readHello()) {
        qCDebug(tesselDebug, "no valid hello from the simulator at %s", path.c_str());
        return nullptr;
    }
    return backend;
}

SimBackend::~SimBackend()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SimBackend::readHello()
{
    if (!waitFor(m_fd, POLLIN, kHelloTimeoutMs))
        return false;
    std::vector<uint8_t> message(sizeof(simwire::SimHello) + 0xFFFF);
    const ssize_t n = ::recv(m_fd, message.data(), message.size(), MSG_DONTWAIT);
    if (n < ssize_t(sizeof(simwire::SimHello)))
        return false;
    simwire::SimHello hello;
    std::memcpy(&hello, message.data(), sizeof hello);
    if (std::memcmp(hello.magic, "TSIM", 4) != 0 ||
        hello.protocolVersion != simwire::kProtocolVersion ||
        size_t(n) != sizeof hello + hello.descriptorLength)
        return false;
    m_attributes.vendorId = hello.vendorId;
    m_attributes.productId = hello.productId;
    m_attributes.versionNumber = hello.versionNumber;
    const uint32_t index = hello.collectionIndex == 0 ? 1 : hello.collectionIndex;
    return setDescriptor(message.data() + sizeof hello, hello.descriptorLength, index);
}

ssize_t SimBackend::readSome(uint8_t* buffer, uint32_t length)
{
    // The kind byte lands apart, so the report goes straight into the caller's buffer.
    uint8_t kind = 0;
    iovec iov[2] = {{&kind, 1}, {buffer, length}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    const ssize_t n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    if (n == 0) {
        errno = ENODEV;  // the simulator closed the interface: it was unplugged
        return -1;
    }
    if (kind != simwire::kInputReport || n == 1)
        return 0;
    return n - 1;
}

ssize_t SimBackend::send(uint8_t kind, const uint8_t* buffer, uint32_t length)
{
    iovec iov[2] = {{&kind, 1}, {const_cast<uint8_t*>(buffer), length}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    const ssize_t n = ::sendmsg(m_fd, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0)
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    return n - 1;
}

ssize_t SimBackend::writeSome(const uint8_t* buffer, uint32_t length)
{
    if (length == 0 || length + 1 > simwire::kMaxMessage) {
        errno = EINVAL;
        return -1;
    }
    return send(simwire::kOutputReport, buffer, length);
}

bool SimBackend::setOutputReport(const uint8_t* buffer, uint32_t length)
{
    if (length == 0 || length + 1 > simwire::kMaxMessage)
        return false;
    ssize_t n = send(simwire::kSetOutputReport, buffer, length);
    if (n == 0 && waitFor(m_fd, POLLOUT, kSetOutputTimeoutMs))
        n = send(simwire::kSetOutputReport, buffer, length);
    return n == ssize_t(length);
}

}  // namespace hid
