#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/DeviceKind.h"
#include "sim/ReportDescriptors.h"

namespace sim {

// One virtual top-level collection: a listening SOCK_SEQPACKET socket in the simulator folder
// and the connections HidChannel made to it. Each connection gets the hello and the report
// descriptor first; after that every message is a kind byte and one report. Input reports go
// to every connection, as the HID driver gives every open handle its own copy.
//
// The socket file exists exactly while the object lives: destroying it (unplugging) removes the
// file and closes every connection, so a reader sees end-of-file and a new open fails.
class CollectionSocket {
public:
    CollectionSocket(std::string path, UsbIdentity identity, const InterfaceSpec& iface,
                     CollectionSpec collection);
    ~CollectionSocket();
    CollectionSocket(const CollectionSocket&) = delete;
    CollectionSocket& operator=(const CollectionSocket&) = delete;

    // Creates the socket file; false with a message when the path is unusable.
    bool listen(std::string* error);

    int listenFd() const { return m_listenFd; }
    const std::vector<int>& connections() const { return m_connections; }
    const std::string& path() const { return m_path; }
    const CollectionSpec& collection() const { return m_collection; }

    // Accepts every waiting connection and sends each its hello.
    void acceptPending();
    // Reads one message from connection `fd` into `message`; false when the peer has gone, in
    // which case the connection is closed and forgotten.
    bool receive(int fd, std::vector<uint8_t>& message);
    // Sends an input report (report ID first) to every connection. A connection whose queue is
    // full loses the report, as a HID ring buffer that nobody reads drops reports.
    void sendInput(const uint8_t* report, size_t length);

private:
    void dropConnection(int fd);

    std::string m_path;
    UsbIdentity m_identity;
    uint8_t m_interfaceNumber;
    std::vector<uint8_t> m_descriptor;
    CollectionSpec m_collection;
    int m_listenFd = -1;
    std::vector<int> m_connections;
};

}  // namespace sim
