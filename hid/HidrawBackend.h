#pragma once

#include <memory>
#include <string>

#include "hid/HidBackend.h"

namespace hid {

// A hidraw node, opened non-blocking. The kernel hands over reports without an ID byte when the
// descriptor declares no report IDs; reads put the 0 back so callers always see the ID first.
// Writes and output reports take the ID byte first in every case, as hidraw expects.
//
// Exclusive opens do not exist on hidraw: every open is shared, so other processes can still
// read the interface.
class HidrawBackend : public HidBackend {
public:
    // Opens the node of a hidraw path ("/dev/hidrawN#..."); the descriptor and attributes come
    // from sysfs under `sysfsRoot`, or from the node itself when sysfs does not have them. With
    // neither access the node is only looked up (O_PATH): enough to see that it is present.
    static std::unique_ptr<HidrawBackend> open(const std::string& path,
                                               const std::string& sysfsRoot, bool readAccess,
                                               bool writeAccess);
    // Takes over an open non-blocking descriptor that behaves like a hidraw node (tests hand in
    // one end of a SOCK_SEQPACKET socketpair).
    static std::unique_ptr<HidrawBackend> adopt(int fd, const uint8_t* descriptor, size_t length,
                                                uint32_t collectionIndex,
                                                const HidAttributes& attributes);
    ~HidrawBackend() override;

    int pollFd() const override { return m_fd; }
    ssize_t readSome(uint8_t* buffer, uint32_t length) override;
    ssize_t writeSome(const uint8_t* buffer, uint32_t length) override;
    bool setOutputReport(const uint8_t* buffer, uint32_t length) override;
    // The node is always writable to poll(); write() and HIDIOCSOUTPUT send synchronously.
    bool blockingWrites() const override { return true; }

private:
    explicit HidrawBackend(int fd) : m_fd(fd) {}
    bool descriptorFromNode(uint32_t collectionIndex);

    int m_fd = -1;
};

}  // namespace hid
