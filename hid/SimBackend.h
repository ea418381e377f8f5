#pragma once

#include <memory>
#include <string>

#include "hid/HidBackend.h"

namespace hid {

// A virtual interface served by the device simulator: a SOCK_SEQPACKET socket whose first
// message is the hello of hid/SimWire.h (attributes, collection and the report descriptor) and
// whose later messages are one report each, prefixed by their kind byte.
class SimBackend : public HidBackend {
public:
    // How long open() waits for the simulator's hello before giving up.
    static constexpr int kHelloTimeoutMs = 2000;

    // Connects to the socket at `path`; null when it is not there or the hello is not valid.
    static std::unique_ptr<SimBackend> open(const std::string& path);
    ~SimBackend() override;

    int pollFd() const override { return m_fd; }
    ssize_t readSome(uint8_t* buffer, uint32_t length) override;
    ssize_t writeSome(const uint8_t* buffer, uint32_t length) override;
    bool setOutputReport(const uint8_t* buffer, uint32_t length) override;

private:
    explicit SimBackend(int fd) : m_fd(fd) {}
    bool readHello();
    ssize_t send(uint8_t kind, const uint8_t* buffer, uint32_t length);

    int m_fd = -1;
};

}  // namespace hid
