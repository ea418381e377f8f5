#pragma once

#include <cstdint>
#include <sys/types.h>

#include "hid/HidTypes.h"
#include "hid/ReportDescriptor.h"

namespace hid {

// One open HID interface as HidChannel drives it: a non-blocking descriptor to poll and
// report moves that do not wait for the descriptor (see blockingWrites() for those that wait
// for the device). HidChannel does all the waiting (poll on this descriptor and its
// abort eventfd, time-outs) and the report-ID filtering, so each backend only moves bytes.
// Reports cross this interface as HidChannel's callers see them: first byte the report ID, 0
// when the descriptor declares none.
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // The descriptor to poll (POLLIN for reads, POLLOUT for writes).
    virtual int pollFd() const = 0;
    // One report into `buffer`: its length (> 0), 0 when none is waiting, -1 on an error
    // (errno set; the device is gone or the descriptor is unusable).
    virtual ssize_t readSome(uint8_t* buffer, uint32_t length) = 0;
    // One report out: bytes taken (> 0), 0 when the device cannot take it yet, -1 on an error.
    virtual ssize_t writeSome(const uint8_t* buffer, uint32_t length) = 0;
    // An output report through the control pipe; blocking, bounded by the kernel or a second.
    virtual bool setOutputReport(const uint8_t* buffer, uint32_t length) = 0;
    // True when writeSome() and setOutputReport() hold the caller until the device has taken
    // the report, whatever poll() says (hidraw). HidChannel then runs them on a writer thread so
    // that its time-out and abort still hold.
    virtual bool blockingWrites() const { return false; }

    const ReportDescriptor& descriptor() const { return m_descriptor; }
    // The top-level collection this interface stands for (1-based index into the descriptor's).
    const TopCollection& collection() const
    {
        return m_descriptor.collections()[m_collectionIndex - 1];
    }
    const HidAttributes& attributes() const { return m_attributes; }

protected:
    // Parses the descriptor and selects the collection; false when either is not possible.
    bool setDescriptor(const uint8_t* data, size_t length, uint32_t collectionIndex);

    ReportDescriptor m_descriptor;
    uint32_t m_collectionIndex = 1;
    HidAttributes m_attributes;
};

}  // namespace hid
