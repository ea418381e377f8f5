#include "tests/hid/TinySim.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "hid/SimWire.h"

namespace hid::test {

TinySim::TinySim(const std::string& path, std::vector<uint8_t> hello)
    : m_path(path), m_hello(std::move(hello))
{
    m_listenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listenFd, 8) != 0)
        throw std::runtime_error("cannot listen on " + path);
    m_stopFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { run(); });
}

TinySim::~TinySim()
{
    ::eventfd_write(m_stopFd, 1);
    m_thread.join();
    for (int fd : m_clients)
        ::close(fd);
    ::close(m_listenFd);
    ::close(m_stopFd);
    ::unlink(m_path.c_str());
}

std::vector<uint8_t> TinySim::makeHello(const std::vector<uint8_t>& descriptor, uint16_t vendor,
                                        uint16_t product, uint8_t collectionIndex)
{
    simwire::SimHello h{};
    std::memcpy(h.magic, "TSIM", 4);
    h.protocolVersion = simwire::kProtocolVersion;
    h.vendorId = vendor;
    h.productId = product;
    h.versionNumber = 0x0102;
    h.interfaceNumber = 1;
    h.collectionIndex = collectionIndex;
    h.descriptorLength = uint16_t(descriptor.size());
    std::vector<uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    out.insert(out.end(), descriptor.begin(), descriptor.end());
    return out;
}

void TinySim::sendInput(const std::vector<uint8_t>& report)
{
    std::vector<uint8_t> message{simwire::kInputReport};
    message.insert(message.end(), report.begin(), report.end());
    std::lock_guard lock(m_mutex);
    for (int fd : m_clients)
        ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
}

void TinySim::hangUp()
{
    std::lock_guard lock(m_mutex);
    for (int fd : m_clients)
        ::shutdown(fd, SHUT_RDWR);
}

size_t TinySim::clients()
{
    std::lock_guard lock(m_mutex);
    return m_clients.size();
}

std::vector<uint8_t> TinySim::lastSetOutput()
{
    std::lock_guard lock(m_mutex);
    return m_lastSetOutput;
}

void TinySim::run()
{
    std::vector<uint8_t> buffer(simwire::kMaxMessage);
    for (;;) {
        std::vector<pollfd> fds = {{m_stopFd, POLLIN, 0}, {m_listenFd, POLLIN, 0}};
        {
            std::lock_guard lock(m_mutex);
            for (int fd : m_clients)
                fds.push_back({fd, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                // Counted before greeted: a client that has read its hello is surely among
                // the connections hangUp() ends.
                std::lock_guard lock(m_mutex);
                m_clients.push_back(fd);
                ::send(fd, m_hello.data(), m_hello.size(), MSG_NOSIGNAL);
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const ssize_t n = ::recv(fds[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
            std::lock_guard lock(m_mutex);
            if (n <= 0) {
                if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    ::close(fds[i].fd);
                    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), fds[i].fd));
                }
                continue;
            }
            if (buffer[0] == simwire::kOutputReport) {
                buffer[0] = simwire::kInputReport;
                ::send(fds[i].fd, buffer.data(), size_t(n), MSG_NOSIGNAL);
            } else if (buffer[0] == simwire::kSetOutputReport) {
                m_lastSetOutput.assign(buffer.begin() + 1, buffer.begin() + n);
            }
        }
    }
}

}  // namespace hid::test
