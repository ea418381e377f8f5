#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "hid/NodeIdentity.h"
#include "hid/HidTypes.h"

namespace hid {

class HidBackend;
class ReportWriter;

// One HID interface (one top-level collection): listing the paths of every interface on the
// system, opening one by path with its capabilities, and moving whole reports bounded by a
// time-out and released by the channel's abort event.
//
// Paths carry "vid_XXXX", "pid_XXXX", "&mi_NN" and, when the interface has more than one
// top-level collection, "&colNN" (01, 02, ... in descriptor order). A path that names a socket in
// the simulator folder ($TESSEL_SIM_DIR) is a virtual interface served by tessel-devsim; every
// other path is a hidraw collection. Both behave the same at this interface.
//
// hidraw paths are the node followed by the tokens: "/dev/hidraw3#vid_3a17&pid_5055&mi_01&col04".
// Simulator paths are the socket's full path; a path whose last component starts with "hid#" is
// a simulator socket.
//
// Failure is always reported as false (or no path); nothing here shows a message or throws.
// One thread may read while another writes; close() and reopen() from any thread release a
// waiting reader or writer at once with failure (the abort event is an eventfd that every wait
// polls beside the device), and wait until it has left before the device is closed. A channel
// that cannot make its abort event does not open.
//
// hidraw sends a report synchronously inside write() (and HIDIOCSOUTPUT), so on hidraw the sends
// run on a writer thread of the open device and the caller waits for them with its time-out and
// the abort event. A report the kernel already holds when its caller gives up is still sent
// once, never again; the device is closed when that send returns.
class HidChannel {
public:
    HidChannel();
    ~HidChannel();
    HidChannel(const HidChannel&) = delete;
    HidChannel& operator=(const HidChannel&) = delete;

    // Fills the path list with every HID collection present (hidraw, then the simulator folder
    // when TESSEL_SIM_DIR is set) and resets the cursor. An empty system is success.
    bool listDevices();
    // The path under the cursor, advancing it; empty when the list is exhausted.
    std::string nextDevicePath();
    void freeDeviceList();

    // Stores the options and the path, then reopen(). hidraw cannot open exclusively: an
    // exclusive open opens shared, so other processes can still read the interface.
    bool open(const std::string& path, bool readAccess, bool writeAccess, bool overlapped,
              bool exclusive);
    // (Re)opens the stored path; releases a waiting reader or writer first.
    bool reopen();
    // Releases a waiting reader or writer, frees the capability tables and closes the handle.
    void close();

    // One report each way. `length` includes the report-ID byte. `timeoutMs` of kInfinite waits
    // until the report moves or the channel is closed. On time-out, abort or error: false, with
    // *transferred set to 0 and nothing left pending.
    bool readReport(uint8_t* buffer, uint32_t length, uint32_t* transferred, uint32_t timeoutMs);
    bool writeReport(const uint8_t* buffer, uint32_t length, uint32_t* transferred,
                     uint32_t timeoutMs);
    // Sends an output report through the control pipe (HidD_SetOutputReport); the headset's
    // lighting reports travel this way. False on error, when the device has not taken the report
    // within `timeoutMs` (hidraw; the simulator takes it or fails within a second), or when the
    // channel is closed meanwhile.
    static constexpr uint32_t kSetOutputTimeoutMs = 1000;
    bool setOutputReport(const uint8_t* buffer, uint32_t length,
                         uint32_t timeoutMs = kSetOutputTimeoutMs);

    // Fills the items of `type` that belong to the report's ID (its first byte). A report whose
    // ID matches no item leaves every item unchanged and returns true. Never reads outside the
    // report or the descriptor.
    bool decodeInputReport(const uint8_t* report, uint32_t length, ReportType type);

    bool isOpen() const;
    const std::string& path() const { return m_path; }
    const HidCaps& caps() const { return m_caps; }
    const HidAttributes& attributes() const { return m_attributes; }
    uint32_t interfaceNumber() const { return m_interfaceNumber; }
    uint32_t collectionNumber() const { return m_collectionNumber; }
    std::vector<HidDataItem>& items(ReportType type) { return m_items[static_cast<int>(type)]; }
    const std::vector<HidDataItem>& items(ReportType type) const
    {
        return m_items[static_cast<int>(type)];
    }

    // Where hidraw enumeration looks; "/sys" unless a test points it at a fake tree.
    static void setSysfsRoot(const std::string& root);
    static std::string sysfsRoot();

    // Opens on a backend made by the caller instead of one found from the path: tests run the
    // hidraw code on a stand-in descriptor this way. reopen() later goes by the path as usual.
    bool openBackend(const std::string& path, std::unique_ptr<HidBackend> backend,
                     bool readAccess, bool writeAccess);

private:
    // Releases waiters and waits until they left; the lifecycle lock must be held.
    void shutDownLocked();
    bool openLocked();
    bool installLocked(std::unique_ptr<HidBackend> backend);
    bool makeAbortEventLocked();
    // Admits a transfer unless the channel is closed or closing or lacks the access it needs;
    // every true is paired with endTransfer().
    bool beginTransfer(bool read, bool write);
    void endTransfer();
    template <typename Move>
    bool transfer(short events, uint32_t timeoutMs, uint32_t* transferred, Move move);
    // Runs a send of the backend on the writer thread, waiting until `deadline` or the abort:
    // bytes taken, 0 when the device cannot take them yet, -1 with errno set otherwise.
    ssize_t sendOnWriter(std::function<ssize_t(HidBackend&)> send,
                         std::optional<std::chrono::steady_clock::time_point> deadline);

    std::vector<std::string> m_pathList;
    uint32_t m_cursor = 0;

    // Options and path change only while no transfer is admitted (see shutDownLocked).
    bool m_readAccess = false;
    bool m_writeAccess = false;
    bool m_overlapped = false;
    bool m_exclusive = false;

    std::string m_path;
    NodeIdentity m_identity;  // the node as it was when this channel opened it
    // Shared with a send the writer thread still runs after the channel gave up on it.
    std::shared_ptr<HidBackend> m_backend;
    std::unique_ptr<ReportWriter> m_writer;  // only for backends with blocking writes
    int m_abortFd = -1;  // eventfd: readable while close() or reopen() wants waiters out
    std::mutex m_lifecycleMutex;  // serialises open, reopen and close
    std::mutex m_stateMutex;      // guards the fields below and the backend's presence
    std::condition_variable m_idle;
    uint32_t m_activeTransfers = 0;
    bool m_closing = false;
    std::atomic<bool> m_open{false};
    HidCaps m_caps{};
    HidAttributes m_attributes{};
    std::array<std::vector<HidDataItem>, 3> m_items;
    uint32_t m_interfaceNumber = 0;
    uint32_t m_collectionNumber = 0;
};

// The part of a path that names the device and carries its tokens: the last component, from
// after its first '#' when it has one ("vid_3a17&pid_5055&mi_01&col04" for both
// "/dev/hidraw3#vid_3a17&pid_5055&mi_01&col04" and "/tmp/sim/hid#vid_3a17&pid_5055&mi_01&col04").
// The tokens below are read from this part alone, never from the folders above it.
std::string deviceNameOfPath(const std::string& path);
// Interface and collection numbers encoded in a path ("&mi_", "&col", case-insensitive,
// hexadecimal); 0 when absent.
uint32_t interfaceNumberFromPath(const std::string& path);
uint32_t collectionNumberFromPath(const std::string& path);
// The hexadecimal number after "vid_" and "pid_" (case-insensitive); 0 when absent.
uint32_t vendorIdFromPath(const std::string& path);
uint32_t productIdFromPath(const std::string& path);
// The hexadecimal number after `token`, found case-insensitively anywhere in `text`; 0 when
// absent.
uint32_t hexAfterToken(const std::string& text, const std::string& token);
// True for a simulator socket path (last component starts with "hid#").
bool isSimulatorPath(const std::string& path);

}  // namespace hid
