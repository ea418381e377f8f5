#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hid::test {

// A stand-in for the device simulator's side of one virtual interface: binds a SOCK_SEQPACKET
// socket, greets every client with `hello`, echoes each output report back as an input report
// and records reports sent through the control pipe.
class TinySim {
public:
    TinySim(const std::string& path, std::vector<uint8_t> hello);
    ~TinySim();

    // The hello of hid/SimWire.h for a descriptor.
    static std::vector<uint8_t> makeHello(const std::vector<uint8_t>& descriptor,
                                          uint16_t vendor, uint16_t product,
                                          uint8_t collectionIndex);
    // Sends an input report to every connected client.
    void sendInput(const std::vector<uint8_t>& report);
    // Closes every connection, as unplugging does.
    void hangUp();
    size_t clients();
    std::vector<uint8_t> lastSetOutput();

private:
    void run();

    std::string m_path;
    std::vector<uint8_t> m_hello;
    int m_listenFd = -1;
    int m_stopFd = -1;
    std::mutex m_mutex;
    std::vector<int> m_clients;
    std::vector<uint8_t> m_lastSetOutput;
    std::thread m_thread;
};

}  // namespace hid::test
