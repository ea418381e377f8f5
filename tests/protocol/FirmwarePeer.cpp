#include "FirmwarePeer.h"

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "hid/SimWire.h"

namespace {

// Vendor page 0xFF00, one application collection with report 4 (63 bytes in, 63 bytes out)
// and, as on the headset, a 2-byte event report 5 in the same collection.
const uint8_t kDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x04, 0x09, 0x02, 0x15, 0x00, 0x26,
    0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x81, 0x02, 0x09, 0x03, 0x95, 0x3F, 0x91, 0x02,
    0x85, 0x05, 0x09, 0x04, 0x95, 0x02, 0x81, 0x02, 0xC0,
};
constexpr auto kWaitBound = std::chrono::seconds(10);

}  // namespace

FirmwarePeer::FirmwarePeer(const std::string& folder, const std::string& name)
    : m_path(folder + "/" + name)
{
    m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, m_path.c_str(), sizeof addr.sun_path - 1);
    ::unlink(m_path.c_str());
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_listen, 4);
    m_thread = std::thread([this] { serve(); });
}

FirmwarePeer::~FirmwarePeer()
{
    m_stop = true;
    unplug();
    m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

void FirmwarePeer::unplug()
{
    release();
    // Only the serving thread closes its connection; a hang-up ends its receive at once.
    ::unlink(m_path.c_str());
    ::shutdown(m_listen, SHUT_RDWR);
    std::lock_guard lock(m_connMutex);
    if (m_conn >= 0)
        ::shutdown(m_conn, SHUT_RDWR);
}

void FirmwarePeer::script(std::vector<Action> actions)
{
    std::lock_guard lock(m_mutex);
    m_script.assign(actions.begin(), actions.end());
}

std::vector<std::vector<uint8_t>> FirmwarePeer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

size_t FirmwarePeer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

size_t FirmwarePeer::sentCount() const
{
    std::lock_guard lock(m_mutex);
    return m_sent;
}

bool FirmwarePeer::waitSent(size_t n) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kWaitBound, [&] { return m_sent >= n; });
}

bool FirmwarePeer::waitRequests(size_t n) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kWaitBound, [&] { return m_requests.size() >= n; });
}

void FirmwarePeer::release()
{
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
}

void FirmwarePeer::send(int fd, const uint8_t* message, size_t length)
{
    ::send(fd, message, length, MSG_NOSIGNAL);
    std::lock_guard lock(m_mutex);
    ++m_sent;
    m_changed.notify_all();
}

std::vector<uint8_t> FirmwarePeer::memory(uint8_t command) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_memory.find(family(command));
    return it == m_memory.end() ? std::vector<uint8_t>{} : it->second;
}

void FirmwarePeer::setMemory(uint8_t command, std::vector<uint8_t> bytes)
{
    std::lock_guard lock(m_mutex);
    m_memory[family(command)] = std::move(bytes);
}

// Reads and writes of the same memory share one family: settings 0x05/0x06, key table 0x07/0x09.
uint8_t FirmwarePeer::family(uint8_t command) const
{
    switch (command) {
    case 0x05: return 0x06;
    case 0x07: return 0x09;
    default: return command;
    }
}

void FirmwarePeer::serve()
{
    while (!m_stop) {
        const int conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn < 0)
            return;
        {
            std::lock_guard lock(m_connMutex);
            m_conn = conn;
        }
        std::vector<uint8_t> hello(sizeof(hid::simwire::SimHello) + sizeof kDescriptor);
        hid::simwire::SimHello h{};
        std::memcpy(h.magic, "TSIM", 4);
        h.protocolVersion = hid::simwire::kProtocolVersion;
        h.vendorId = 0x3A17;
        h.productId = 0x5055;
        h.interfaceNumber = 1;
        h.collectionIndex = 1;
        h.descriptorLength = sizeof kDescriptor;
        std::memcpy(hello.data(), &h, sizeof h);
        std::memcpy(hello.data() + sizeof h, kDescriptor, sizeof kDescriptor);
        ::send(conn, hello.data(), hello.size(), MSG_NOSIGNAL);
        uint8_t message[hid::simwire::kMaxMessage];
        for (;;) {
            const ssize_t n = ::recv(conn, message, sizeof message, 0);
            if (n <= 0)
                break;
            if (message[0] == hid::simwire::kOutputReport && n == 65)
                reply(conn, message + 1);
        }
        std::lock_guard lock(m_connMutex);
        m_conn = -1;
        ::close(conn);
    }
}

void FirmwarePeer::reply(int fd, const uint8_t* request)
{
    Action action;
    uint8_t out[65] = {hid::simwire::kInputReport, 4};
    uint8_t* r = out + 1;
    {
        std::lock_guard lock(m_mutex);
        m_requests.emplace_back(request, request + 64);
        m_changed.notify_all();
        if (!m_script.empty()) {
            action = m_script.front();
            m_script.pop_front();
        }
        const uint8_t command = request[3];
        const uint32_t length = request[4];
        const uint32_t offset = request[5] | (request[6] << 8);
        std::vector<uint8_t>& mem = m_memory[family(command)];
        r[3] = command;
        if (command == 0xAA) {
            r[8] = m_linkByte;
        } else if (command == 0x05 || command == 0x07 || command == 0x03 || command == 0x1A ||
                   command == 0x1B) {
            for (uint32_t i = 0; i < length && i < 56; ++i)
                r[8 + i] = offset + i < mem.size() ? mem[offset + i] : 0;
        } else if (length > 0) {
            if (mem.size() < offset + length)
                mem.resize(offset + length);
            std::memcpy(mem.data() + offset, request + 8, length);
        }
    }
    size_t length = sizeof out;
    uint8_t before[65] = {hid::simwire::kInputReport};
    size_t beforeLength = 0;
    switch (action.fault) {
    case Fault::None: break;
    case Fault::Drop: return;
    case Fault::Late: std::this_thread::sleep_for(std::chrono::milliseconds(action.delayMs)); break;
    case Fault::WrongEcho: r[3] = action.value; break;
    case Fault::Status: r[7] = action.value; break;
    case Fault::Hold: {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_released || m_stop; });
        m_released = false;
        break;
    }
    case Fault::ShortReply: length = 1 + action.value; break;
    case Fault::EventBefore:
        before[1] = 5;
        before[2] = 0x01;
        before[3] = 0x02;
        beforeLength = 4;
        break;
    case Fault::OtherIdBefore:
        std::memcpy(before + 1, r, 8);  // the echo and status, but none of the data
        before[1] = 5;
        beforeLength = 65;
        break;
    case Fault::StrayBefore:
    case Fault::TwoStrays: {
        uint8_t stray[65] = {hid::simwire::kInputReport, 4, 0, 0, action.value};
        send(fd, stray, sizeof stray);
        if (action.fault == Fault::TwoStrays)
            send(fd, stray, sizeof stray);
        break;
    }
    }
    if (beforeLength > 0)
        send(fd, before, beforeLength);
    send(fd, out, length);
}
