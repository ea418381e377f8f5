#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scriptable device at the far end of one simulator-protocol socket: it speaks the wire
// format of hid/SimWire.h, answers each 64-byte command with a 64-byte reply echoing it, keeps
// a memory per command family for chunked reads and writes, and plays a script of faults on
// chosen requests. Used where a test must count reads or time a fault exactly.
class FirmwarePeer {
public:
    enum class Fault {
        None,
        Drop,         // no reply at all
        Late,         // reply after `delayMs`
        WrongEcho,    // reply with byte 3 = `value`
        Status,       // reply status byte 7 = `value`
        StrayBefore,  // a reply with byte 3 = `value` first, then the right one
        TwoStrays,    // two replies with byte 3 = `value` first, then the right one
        Hold,         // reply only once release() is called
        ShortReply,   // the reply cut to `value` bytes (report ID included)
        EventBefore,  // a 3-byte event report (ID 5, as the headset's) first, then the reply
        OtherIdBefore,  // the reply as report ID 5 first, then the right one
    };
    struct Action {
        Fault fault = Fault::None;
        uint8_t value = 0;
        uint32_t delayMs = 0;
    };

    FirmwarePeer(const std::string& folder, const std::string& name);
    ~FirmwarePeer();

    const std::string& path() const { return m_path; }
    // Faults for the next requests, one per request in arrival order.
    void script(std::vector<Action> actions);
    // Every request received so far (64 bytes each).
    std::vector<std::vector<uint8_t>> requests() const;
    size_t requestCount() const;
    // Reports sent so far (replies, strays and short reports alike), and a wait for the count
    // to reach `n`: tests wait for what the peer did, never for time. False only if it never
    // comes (a hang guard of several seconds).
    size_t sentCount() const;
    bool waitSent(size_t n) const;
    bool waitRequests(size_t n) const;
    // Lets a reply held by Fault::Hold go.
    void release();
    // Reply byte 8 of the wireless link check (0xFF: device reachable).
    void setLinkByte(uint8_t value) { m_linkByte = value; }
    // Memory of the given write/read command family: writes go to it, reads come from it.
    std::vector<uint8_t> memory(uint8_t command) const;
    void setMemory(uint8_t command, std::vector<uint8_t> bytes);
    void unplug();

private:
    void serve();
    void reply(int fd, const uint8_t* request);
    void send(int fd, const uint8_t* message, size_t length);
    uint8_t family(uint8_t command) const;

    std::string m_path;
    int m_listen = -1;
    std::mutex m_connMutex;
    int m_conn = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<uint8_t> m_linkByte{0xFF};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    size_t m_sent = 0;
    bool m_released = false;
    std::deque<Action> m_script;
    std::vector<std::vector<uint8_t>> m_requests;
    std::map<uint8_t, std::vector<uint8_t>> m_memory;
    std::thread m_thread;
};
