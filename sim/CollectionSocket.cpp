#include "sim/CollectionSocket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "hid/SimWire.h"

namespace sim {

CollectionSocket::CollectionSocket(std::string path, UsbIdentity identity,
                                   const InterfaceSpec& iface, CollectionSpec collection)
    : m_path(std::move(path)),
      m_identity(identity),
      m_interfaceNumber(iface.number),
      m_descriptor(iface.descriptor),
      m_collection(collection) {}

CollectionSocket::~CollectionSocket() {
    if (m_listenFd >= 0) {
        ::unlink(m_path.c_str());
        ::close(m_listenFd);
    }
    for (int fd : m_connections) ::close(fd);
}

bool CollectionSocket::listen(std::string* error) {
    // The socket is bound and listening under a hidden name first and then renamed into place,
    // so a client that sees the file appear (a folder watch) can connect at once.
    static std::atomic<unsigned> counter{0};
    const size_t slash = m_path.rfind('/');
    const std::string staging = m_path.substr(0, slash == std::string::npos ? 0 : slash + 1) +
                                ".plug-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof addr.sun_path || staging.size() >= sizeof addr.sun_path) {
        if (error) *error = "socket path too long: " + m_path;
        return false;
    }
    std::memcpy(addr.sun_path, staging.c_str(), staging.size() + 1);
    m_listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    ::unlink(staging.c_str());
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 16) != 0 || ::rename(staging.c_str(), m_path.c_str()) != 0) {
        if (error) *error = "cannot listen on " + m_path + ": " + std::strerror(errno);
        ::unlink(staging.c_str());
        ::close(m_listenFd);
        m_listenFd = -1;
        return false;
    }
    return true;
}

void CollectionSocket::acceptPending() {
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        hid::simwire::SimHello hello{};
        std::memcpy(hello.magic, "TSIM", 4);
        hello.protocolVersion = hid::simwire::kProtocolVersion;
        hello.vendorId = m_identity.vendorId;
        hello.productId = m_identity.productId;
        hello.versionNumber = m_identity.versionNumber;
        hello.interfaceNumber = m_interfaceNumber;
        hello.collectionIndex = m_collection.index;
        hello.descriptorLength = uint16_t(m_descriptor.size());
        std::vector<uint8_t> message(sizeof hello + m_descriptor.size());
        std::memcpy(message.data(), &hello, sizeof hello);
        std::memcpy(message.data() + sizeof hello, m_descriptor.data(), m_descriptor.size());
        if (::send(fd, message.data(), message.size(), MSG_NOSIGNAL) !=
            ssize_t(message.size())) {
            ::close(fd);
            continue;
        }
        m_connections.push_back(fd);
    }
}

bool CollectionSocket::receive(int fd, std::vector<uint8_t>& message) {
    message.resize(hid::simwire::kMaxMessage);
    const ssize_t n = ::recv(fd, message.data(), message.size(), MSG_DONTWAIT);
    if (n > 0) {
        message.resize(size_t(n));
        return true;
    }
    message.clear();
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    dropConnection(fd);
    return false;
}

void CollectionSocket::sendInput(const uint8_t* report, size_t length) {
    std::vector<uint8_t> message(1 + length);
    message[0] = hid::simwire::kInputReport;
    std::memcpy(message.data() + 1, report, length);
    std::vector<int> gone;
    for (int fd : m_connections) {
        const ssize_t n = ::send(fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != ENOBUFS) gone.push_back(fd);
    }
    for (int fd : gone) dropConnection(fd);
}

void CollectionSocket::dropConnection(int fd) {
    auto it = std::find(m_connections.begin(), m_connections.end(), fd);
    if (it == m_connections.end()) return;
    m_connections.erase(it);
    ::close(fd);
}

}  // namespace sim
