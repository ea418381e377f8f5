#pragma once

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/DeviceKind.h"
#include "sim/Firmware.h"

namespace sim {

// The USB timing model's frame: each direction of a route moves one report per frame.
inline constexpr uint32_t kBusFrameMs = 1;

struct SimulatorOptions {
    std::string dir;              // the folder served ($TESSEL_SIM_DIR of the clients)
    bool timing = true;           // USB timing model: one report per direction per millisecond
    uint32_t receiverDelayMs = 2; // extra latency of a reply through a 2.4 GHz receiver
    bool controlSocket = true;    // serve "control" for tessel-devsim's subcommands
};

// Faults injected into a device's next matching command reports.
// What `key` does with a key: press it, release it, or press and release it.
enum class KeyAction : uint8_t { Tap, Down, Up };

enum class FaultKind : uint8_t {
    DropReply,          // no reply at all
    LateReply,          // the reply comes `lateMs` later than the bus would deliver it
    BadEcho,            // the reply echoes another command number
    StatusFF,           // not executed, answered with status 0xFF
    StatusFE,           // not executed, answered with status 0xFE
    UnplugMidTransfer,  // the route is unplugged on the next chunk after a transfer's first
};
std::string_view faultName(FaultKind kind);
std::optional<FaultKind> parseFaultKind(std::string_view text);

struct FaultSpec {
    FaultKind kind = FaultKind::DropReply;
    uint32_t lateMs = 0;
    uint32_t count = 1;  // how many matching reports it affects
    int command = -1;    // only reports of this command number; -1 for any
};

struct StatusChange {
    std::optional<uint8_t> battery;
    std::optional<uint8_t> charging;
    std::optional<uint8_t> phone;
};

// Outcome of a simulator operation: ok, or an error message; `data` holds the operation's
// machine-readable answer (the same JSON the control socket returns, without "ok").
struct SimResult {
    bool ok = true;
    std::string error;
    Json::Value data{Json::objectValue};

    static SimResult failure(std::string message);
    Json::Value toJson() const;
};

// The device simulator: serves virtual devices in a folder from a thread of its own. Every
// plugged route of a device appears as one socket per HID top-level collection (see
// hid/SimWire.h); the firmware behind them implements the command set, the receivers answer
// 0xAA for a device that is switched off, and event reports go out on the consumer-control
// collection. The operations below mirror tessel-devsim's subcommands and are safe to call from
// any thread; they run on the simulator's thread and return when done.
class Simulator {
public:
    explicit Simulator(SimulatorOptions options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the folder if needed, the control socket, and starts the thread.
    bool start(std::string* error = nullptr);
    // Unplugs everything, removes the control socket and ends the thread.
    void stop();
    bool running() const;
    // Asks the thread to end (the control request "shutdown"); stop() still cleans up.
    void requestShutdown();
    const std::string& dir() const;
    std::string controlPath() const;

    SimResult plug(DeviceKind kind, Route route = Route::Cable);
    SimResult unplug(DeviceKind kind, Route route = Route::Cable);
    // Unplugs and plugs the route again in one step: the sockets are made anew under the same
    // names with nothing in between, as a quick re-plug looks to a program that polls.
    SimResult replug(DeviceKind kind, Route route = Route::Cable);
    // A wireless device switched off or out of reach: its receiver answers 0xAA.
    SimResult power(DeviceKind kind, bool on);
    // The on-device profile button (event 0x10pp) or the FN combination (0x11pp).
    SimResult profile(DeviceKind kind, int profile, bool fnKey = false);
    SimResult event(DeviceKind kind, uint16_t code);
    // A key of the keyboard pressed (Down), released (Up) or both in turn (Tap), by its keyboard
    // usage (0xE0-0xE7 are the modifiers): a keys report with what is held after each.
    SimResult key(DeviceKind kind, uint8_t usage, KeyAction action = KeyAction::Tap);
    SimResult fault(DeviceKind kind, const FaultSpec& spec);
    SimResult clearFaults(DeviceKind kind);
    SimResult dump(DeviceKind kind, Region region);
    SimResult setStatus(DeviceKind kind, const StatusChange& change);
    // Changes device memory as the device itself would; with `announce`, sends event 0x401.
    SimResult poke(DeviceKind kind, Region region, size_t offset, const std::vector<uint8_t>& bytes,
                   bool announce);
    SimResult state();
    SimResult setTiming(bool on, std::optional<uint32_t> receiverDelayMs = std::nullopt);

    // The headset's audio chip (sim/AudioChip.h), reachable while the headset is plugged:
    // `op` "list" gives the device records, "get" one property's value as text, "set" one
    // property from text; "dump" every property (also while unplugged).
    SimResult audio(DeviceKind kind, const std::string& op, const std::string& endpoint = {},
                    const std::string& property = {}, const std::string& value = {});

    // A copy of one memory and the firmware's counters, for in-process tests.
    std::vector<uint8_t> memory(DeviceKind kind, Region region);
    FirmwareCounters counters(DeviceKind kind);

    // One control request ({"cmd": "plug", "device": "keyboard", "route": "cable"}, ...), as the
    // control socket receives it; the answer carries "ok" and "error" or the operation's data.
    Json::Value handle(const Json::Value& request);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace sim
