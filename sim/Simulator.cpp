#include "sim/Simulator.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <queue>
#include <thread>

#include "hid/SimWire.h"
#include "sim/AudioChip.h"
#include "sim/CollectionSocket.h"
#include "sim/ReportDescriptors.h"

namespace sim {
namespace {

using Clock = std::chrono::steady_clock;

struct RouteState {
    bool plugged = false;
    uint64_t generation = 0;  // bumped on every plug and unplug: late replies of an old
                              // connection never reach a new one
    std::vector<std::unique_ptr<CollectionSocket>> sockets;
    int64_t lastOutFrame = -1;  // USB frames (milliseconds since start) already used
    int64_t lastInFrame = -1;
};

struct DeviceState {
    explicit DeviceState(DeviceKind k) : firmware(k) {}
    Firmware firmware;
    std::array<RouteState, kRouteCount> routes;
    bool powered = true;
    std::deque<FaultSpec> faults;
    std::vector<uint8_t> keysHeld;  // key usages held down, in the order they were pressed
    uint8_t modifiersHeld = 0;      // usages 0xE0-0xE7 as bits
};

// An input report waiting for its USB frame.
struct Pending {
    Clock::time_point when;
    uint64_t seq;
    DeviceKind kind;
    Route route;
    uint64_t generation;
    bool event;  // consumer-control event, else command reply
    std::vector<uint8_t> report;
};

struct Later {
    bool operator()(const Pending& a, const Pending& b) const {
        return a.when != b.when ? a.when > b.when : a.seq > b.seq;
    }
};

struct ControlConnection {
    int fd = -1;
    std::string input;
};

bool isChunked(uint8_t command) {
    switch (command) {
    case cmd::kReadInfo:
    case cmd::kReadSettings:
    case cmd::kWriteSettings:
    case cmd::kReadKeyTable:
    case cmd::kWriteKeyTable:
    case cmd::kWriteLightTable:
    case cmd::kLightingFrame:
    case cmd::kWriteMacro:
    case cmd::kWriteShoot:
    case cmd::kReadLedMap: return true;
    default: return false;
    }
}

std::string toHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

Json::Value imageJson(const MacroImageInfo& info) {
    Json::Value v(Json::objectValue);
    v["valid"] = info.valid;
    if (!info.problem.empty()) v["problem"] = info.problem;
    v["length"] = info.length;
    Json::Value macros(Json::arrayValue);
    for (const auto& record : info.macros) {
        Json::Value events(Json::arrayValue);
        for (const MacroEvent& e : record) {
            Json::Value ev(Json::objectValue);
            ev["delay"] = e.delay;
            ev["type"] = e.type;
            ev["down"] = e.down;
            ev["button"] = e.button;
            events.append(ev);
        }
        macros.append(events);
    }
    v["macros"] = macros;
    return v;
}

Json::Value countersJson(const FirmwareCounters& c) {
    Json::Value v(Json::objectValue);
    Json::Value commands(Json::objectValue);
    for (const auto& [command, count] : c.commands) {
        char key[8];
        std::snprintf(key, sizeof key, "0x%02x", command);
        commands[key] = Json::UInt64(count);
    }
    v["commands"] = commands;
    v["badChecksums"] = Json::UInt64(c.badChecksums);
    v["refused"] = Json::UInt64(c.refused);
    v["sessionsOpened"] = Json::UInt64(c.sessionsOpened);
    v["sessionsClosed"] = Json::UInt64(c.sessionsClosed);
    v["sessionOpen"] = c.sessionOpen;
    v["framesStarted"] = Json::UInt64(c.framesStarted);
    v["lightingNotices"] = Json::UInt64(c.lightingNotices);
    v["headsetLightReports"] = Json::UInt64(c.headsetLightReports);
    return v;
}

}  // namespace

std::string_view faultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::DropReply: return "drop-reply";
    case FaultKind::LateReply: return "late-reply";
    case FaultKind::BadEcho: return "bad-echo";
    case FaultKind::StatusFF: return "status-ff";
    case FaultKind::StatusFE: return "status-fe";
    case FaultKind::UnplugMidTransfer: return "unplug-mid-transfer";
    }
    return "?";
}

std::optional<FaultKind> parseFaultKind(std::string_view text) {
    for (int i = 0; i <= int(FaultKind::UnplugMidTransfer); ++i) {
        if (faultName(FaultKind(i)) == text) return FaultKind(i);
    }
    return std::nullopt;
}

SimResult SimResult::failure(std::string message) {
    SimResult r;
    r.ok = false;
    r.error = std::move(message);
    return r;
}

Json::Value SimResult::toJson() const {
    Json::Value v = data.isObject() ? data : Json::Value(Json::objectValue);
    v["ok"] = ok;
    if (!ok) v["error"] = error;
    return v;
}

struct Simulator::Impl {
    explicit Impl(SimulatorOptions o) : options(std::move(o)) {
        for (int i = 0; i < kDeviceKindCount; ++i)
            devices[size_t(i)] = std::make_unique<DeviceState>(DeviceKind(i));
    }

    SimulatorOptions options;
    // TESSEL_DEBUG=1 traces every command and every ignored report on standard error.
    const bool debug = [] {
        const char* v = std::getenv("TESSEL_DEBUG");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    std::array<std::unique_ptr<DeviceState>, kDeviceKindCount> devices;
    AudioChip headsetAudio;
    std::thread thread;
    std::atomic<std::thread::id> threadId{};
    std::atomic<bool> running{false};
    std::atomic<bool> quit{false};
    int wakeFd = -1;
    int controlFd = -1;
    std::vector<ControlConnection> controls;
    std::mutex postMutex;
    std::vector<std::function<void()>> posted;
    bool accepting = false;  // the thread takes posted calls (guarded by postMutex)
    std::priority_queue<Pending, std::vector<Pending>, Later> pending;
    uint64_t seq = 0;
    Clock::time_point epoch = Clock::now();
    Simulator* self = nullptr;

    DeviceState& device(DeviceKind kind) { return *devices[size_t(kind)]; }
    std::string controlPath() const { return options.dir + "/" + hid::simwire::kControlSocketName; }

    // Runs `fn` on the simulator's thread (or here when it is not running) and returns its
    // result.
    template <typename Fn>
    auto call(Fn fn) -> decltype(fn()) {
        using R = decltype(fn());
        if (std::this_thread::get_id() == threadId) return fn();
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(fn));
        std::future<R> result = task->get_future();
        {
            std::unique_lock lock(postMutex);
            if (!accepting) {
                // No thread serves the devices (not started, or its loop has ended).
                lock.unlock();
                (*task)();
                return result.get();
            }
            posted.emplace_back([task] { (*task)(); });
        }
        wake();
        return result.get();
    }

    // Called by the thread as its loop ends: what was posted meanwhile still runs, and later
    // calls run on their caller's thread.
    void closePosting() {
        std::lock_guard lock(postMutex);
        for (auto& t : posted) t();
        posted.clear();
        accepting = false;
    }

    void wake() {
        const uint64_t one = 1;
        if (wakeFd >= 0) [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    void runPosted() {
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(postMutex);
            tasks.swap(posted);
        }
        for (auto& t : tasks) t();
    }

    static constexpr int64_t kFrameNs = int64_t(kBusFrameMs) * 1'000'000;
    int64_t frameAtOrAfter(Clock::time_point t) const {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - epoch).count();
        return (ns + kFrameNs - 1) / kFrameNs;
    }
    int64_t frameAt(Clock::time_point t) const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(t - epoch).count() / kFrameNs;
    }
    Clock::time_point frameTime(int64_t frame) const {
        return epoch + std::chrono::milliseconds(frame * int64_t(kBusFrameMs));
    }

    // When an input report produced now on `route` leaves the device: the next free IN frame,
    // after the OUT frame of the request it answers (if any), plus the receiver's latency.
    Clock::time_point inputTime(RouteState& rs, Route route, int64_t afterFrame) {
        const Clock::time_point now = Clock::now();
        if (!options.timing) return now;
        const int64_t frame = std::max({frameAtOrAfter(now), afterFrame + 1, rs.lastInFrame + 1});
        rs.lastInFrame = frame;
        Clock::time_point when = frameTime(frame);
        if (route == Route::Receiver) when += std::chrono::milliseconds(options.receiverDelayMs);
        return when;
    }

    void schedule(DeviceKind kind, Route route, bool event, std::vector<uint8_t> report,
                  Clock::time_point when) {
        RouteState& rs = device(kind).routes[size_t(route)];
        Pending p{when, seq++, kind, route, rs.generation, event, std::move(report)};
        if (when <= Clock::now()) {
            deliver(p);
        } else {
            pending.push(std::move(p));
        }
    }

    void deliver(const Pending& p) {
        RouteState& rs = device(p.kind).routes[size_t(p.route)];
        if (!rs.plugged || rs.generation != p.generation) return;
        for (auto& s : rs.sockets) {
            const CollectionSpec& c = s->collection();
            const bool keys = p.event && !p.report.empty() && p.report[0] == kKeyboardReportId;
            const bool carries = keys ? c.carriesKeys : p.event ? c.carriesEvents : c.carriesCommands;
            if (carries) s->sendInput(p.report.data(), p.report.size());
        }
    }

    void deliverDue() {
        const Clock::time_point now = Clock::now();
        while (!pending.empty() && pending.top().when <= now) {
            Pending p = pending.top();
            pending.pop();
            deliver(p);
        }
    }

    SimResult plug(DeviceKind kind, Route route) {
        const auto identity = usbIdentity(kind, route);
        if (!identity)
            return SimResult::failure(std::string(deviceName(kind)) + " has no " +
                                      std::string(routeName(route)));
        DeviceState& dev = device(kind);
        RouteState& rs = dev.routes[size_t(route)];
        SimResult result;
        result.data["device"] = std::string(deviceName(kind));
        result.data["route"] = std::string(routeName(route));
        if (!rs.plugged) {
            std::vector<std::unique_ptr<CollectionSocket>> sockets;
            for (const InterfaceSpec& iface : interfacesFor(kind, route)) {
                for (const CollectionSpec& c : iface.collections) {
                    auto s = std::make_unique<CollectionSocket>(
                        options.dir + "/" + collectionSocketName(*identity, iface, c), *identity,
                        iface, c);
                    std::string error;
                    if (!s->listen(&error)) return SimResult::failure(error);
                    sockets.push_back(std::move(s));
                }
            }
            rs.sockets = std::move(sockets);
            rs.plugged = true;
            ++rs.generation;
            rs.lastOutFrame = rs.lastInFrame = -1;
        } else {
            result.data["alreadyPlugged"] = true;
        }
        Json::Value paths(Json::arrayValue);
        for (auto& s : rs.sockets) paths.append(s->path());
        result.data["sockets"] = paths;
        return result;
    }

    SimResult unplug(DeviceKind kind, Route route) {
        if (!usbIdentity(kind, route))
            return SimResult::failure(std::string(deviceName(kind)) + " has no " +
                                      std::string(routeName(route)));
        RouteState& rs = device(kind).routes[size_t(route)];
        SimResult result;
        result.data["device"] = std::string(deviceName(kind));
        result.data["route"] = std::string(routeName(route));
        result.data["wasPlugged"] = rs.plugged;
        rs.sockets.clear();  // removes the files and closes every connection
        rs.plugged = false;
        ++rs.generation;
        return result;
    }

    void emitEvent(DeviceKind kind, uint16_t code) {
        DeviceState& dev = device(kind);
        for (int r = 0; r < kRouteCount; ++r) {
            const Route route = Route(r);
            RouteState& rs = dev.routes[size_t(r)];
            if (!rs.plugged || (route == Route::Receiver && !dev.powered)) continue;
            std::vector<uint8_t> report = {kConsumerReportId, uint8_t(code), uint8_t(code >> 8)};
            schedule(kind, route, true, std::move(report), inputTime(rs, route, -1));
        }
    }

    // One keys report (report 1 of interface 1) with what is held now, to every plugged route
    // that reaches the device, as the event reports go.
    void emitKeys(DeviceKind kind) {
        DeviceState& dev = device(kind);
        std::vector<uint8_t> report(kKeyboardReportLength, 0);
        report[0] = kKeyboardReportId;
        report[1] = dev.modifiersHeld;
        // More than six keys held: the boot-protocol roll-over error in every place.
        const bool rollOver = dev.keysHeld.size() > 6;
        for (size_t i = 0; i < 6 && i < dev.keysHeld.size(); ++i) report[2 + i] = rollOver ? 0x01 : dev.keysHeld[i];
        for (int r = 0; r < kRouteCount; ++r) {
            const Route route = Route(r);
            RouteState& rs = dev.routes[size_t(r)];
            if (!rs.plugged || (route == Route::Receiver && !dev.powered)) continue;
            schedule(kind, route, true, report, inputTime(rs, route, -1));
        }
    }

    // Takes the first fault that applies to this request, if any.
    std::optional<FaultSpec> takeFault(DeviceState& dev, const Report& request) {
        const uint8_t command = request[frame::kCommand];
        const bool laterChunk = isChunked(command) &&
                                (request[frame::kOffsetLow] | request[frame::kOffsetHigh]) != 0;
        for (auto it = dev.faults.begin(); it != dev.faults.end(); ++it) {
            if (it->command >= 0 && it->command != command) continue;
            if (it->kind == FaultKind::UnplugMidTransfer && !laterChunk) continue;
            FaultSpec taken = *it;
            if (--it->count == 0) dev.faults.erase(it);
            return taken;
        }
        return std::nullopt;
    }

    void onCommand(DeviceKind kind, Route route, const uint8_t* report, size_t length) {
        DeviceState& dev = device(kind);
        RouteState& rs = dev.routes[size_t(route)];
        int64_t outFrame = -1;
        if (options.timing) {
            // The request takes the current frame's OUT slot when it is still free; its reply
            // leaves in a later frame, so back-to-back commands reach one per millisecond.
            outFrame = std::max(frameAt(Clock::now()), rs.lastOutFrame + 1);
            rs.lastOutFrame = outFrame;
        }
        Report request{};
        std::memcpy(request.data(), report, std::min(length, request.size()));
        const uint8_t command = request[frame::kCommand];

        Report reply{};
        std::optional<FaultSpec> fault;
        if (route == Route::Receiver && !dev.powered) {
            // The receiver cannot reach the device and says so in place of the echo.
            reply[0] = kCommandReportId;
            reply[frame::kCommand] = frame::kNoLink;
            frame::seal(reply.data());
        } else {
            fault = takeFault(dev, request);
            if (fault && fault->kind == FaultKind::UnplugMidTransfer) {
                unplug(kind, route);
                return;
            }
            if (fault && (fault->kind == FaultKind::StatusFF || fault->kind == FaultKind::StatusFE)) {
                reply[0] = kCommandReportId;
                reply[frame::kCommand] = command;
                reply[frame::kStatus] = fault->kind == FaultKind::StatusFF ? 0xFF : 0xFE;
                frame::seal(reply.data());
            } else {
                reply = dev.firmware.execute(request.data(), request.size(), route);
            }
            if (fault && fault->kind == FaultKind::DropReply) return;
            if (fault && fault->kind == FaultKind::BadEcho) {
                uint8_t echo = command ^ 0x80;
                if (echo == frame::kNoLink) echo = command ^ 0x40;
                reply[frame::kCommand] = echo;
                frame::seal(reply.data());
            }
        }
        if (debug) {
            std::fprintf(stderr, "tessel-devsim: %s/%s command %02x length %u offset %u -> %02x %02x%s\n",
                         deviceName(kind).data(), routeName(route).data(), command,
                         request[frame::kChunkLength],
                         unsigned(request[frame::kOffsetLow] | (request[frame::kOffsetHigh] << 8)),
                         reply[frame::kCommand], reply[frame::kStatus],
                         fault ? (" (fault " + std::string(faultName(fault->kind)) + ")").c_str() : "");
        }
        Clock::time_point when = inputTime(rs, route, outFrame);
        if (fault && fault->kind == FaultKind::LateReply) when += std::chrono::milliseconds(fault->lateMs);
        schedule(kind, route, false, std::vector<uint8_t>(reply.begin(), reply.end()), when);
    }

    void onMessage(DeviceKind kind, Route route, const CollectionSpec& collection,
                   const std::vector<uint8_t>& message) {
        if (message.size() < 2) return;
        const uint8_t messageKind = message[0];
        if (messageKind != hid::simwire::kOutputReport && messageKind != hid::simwire::kSetOutputReport)
            return;
        const uint8_t* report = message.data() + 1;
        const size_t length = message.size() - 1;
        const uint8_t reportId = report[0];
        if (reportId == kCommandReportId && collection.carriesCommands && length <= kCommandReportLength) {
            onCommand(kind, route, report, length);
        } else if (reportId == kHeadsetLightReportId && collection.carriesLighting) {
            if (!device(kind).firmware.lightingReport(report, length) && debug)
                std::fprintf(stderr, "tessel-devsim: %s ignored a malformed lighting report\n",
                             deviceName(kind).data());
        } else if (debug) {
            // Not a report this collection owns (or a command report longer than 64 bytes).
            std::fprintf(stderr, "tessel-devsim: %s/%s collection %u ignored report %02x of %zu bytes\n",
                         deviceName(kind).data(), routeName(route).data(), collection.index, reportId,
                         length);
        }
    }

    SimResult dump(DeviceKind kind, Region region) {
        const Firmware& fw = device(kind).firmware;
        if (!fw.hasRegion(region))
            return SimResult::failure(std::string(deviceName(kind)) + " has no " +
                                      std::string(regionName(region)) + " memory");
        const auto& mem = fw.region(region);
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["region"] = std::string(regionName(region));
        r.data["size"] = Json::UInt(mem.size());
        r.data["hex"] = toHex(mem);
        switch (region) {
        case Region::Info:
            r.data["keySlots"] = mem[5];
            r.data["macroUnits"] = mem[6];
            r.data["profiles"] = mem[3];
            break;
        case Region::Settings: r.data["activeProfile"] = mem[0]; break;
        case Region::Macro: r.data["image"] = imageJson(fw.macroImage()); break;
        case Region::Shoot: r.data["image"] = imageJson(fw.shootImage()); break;
        case Region::Status:
            r.data["battery"] = mem[0];
            r.data["charging"] = mem[1];
            r.data["phone"] = mem[5];
            break;
        default: break;
        }
        return r;
    }

    Json::Value deviceState(DeviceKind kind) {
        DeviceState& dev = device(kind);
        Json::Value v(Json::objectValue);
        Json::Value routes(Json::objectValue);
        for (int r = 0; r < kRouteCount; ++r) {
            if (!usbIdentity(kind, Route(r))) continue;
            const RouteState& rs = dev.routes[size_t(r)];
            Json::Value route(Json::objectValue);
            route["plugged"] = rs.plugged;
            Json::Value sockets(Json::arrayValue);
            size_t connections = 0;
            for (const auto& s : rs.sockets) {
                sockets.append(s->path());
                connections += s->connections().size();
            }
            route["sockets"] = sockets;
            route["connections"] = Json::UInt64(connections);
            routes[std::string(routeName(Route(r)))] = route;
        }
        v["routes"] = routes;
        if (hasReceiver(kind)) v["powered"] = dev.powered;
        v["activeProfile"] = dev.firmware.activeProfile();
        Json::Value faults(Json::arrayValue);
        for (const FaultSpec& f : dev.faults) {
            Json::Value fv(Json::objectValue);
            fv["fault"] = std::string(faultName(f.kind));
            fv["count"] = f.count;
            if (f.kind == FaultKind::LateReply) fv["ms"] = f.lateMs;
            if (f.command >= 0) fv["command"] = f.command;
            faults.append(fv);
        }
        v["faults"] = faults;
        v["counters"] = countersJson(dev.firmware.counters());
        return v;
    }

    bool openControl(std::string* error) {
        const std::string path = controlPath();
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path) {
            if (error) *error = "control socket path too long: " + path;
            return false;
        }
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        controlFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::unlink(path.c_str());
        if (controlFd < 0 || ::bind(controlFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(controlFd, 16) != 0) {
            if (error) *error = "cannot listen on " + path + ": " + std::strerror(errno);
            if (controlFd >= 0) ::close(controlFd);
            controlFd = -1;
            return false;
        }
        return true;
    }

    void acceptControls() {
        for (;;) {
            const int fd = ::accept4(controlFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            controls.push_back({fd, {}});
        }
    }

    // Reads what a control client sent and answers each complete line. False when the client
    // has gone.
    bool serveControl(ControlConnection& c) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                c.input.append(buffer, size_t(n));
                if (c.input.size() > (1u << 20)) return false;  // no line is this long
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
            return false;
        }
        size_t newline;
        while ((newline = c.input.find('\n')) != std::string::npos) {
            const std::string line = c.input.substr(0, newline);
            c.input.erase(0, newline + 1);
            Json::Value request;
            Json::Value answer;
            Json::CharReaderBuilder builder;
            std::string errors;
            std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
            if (!reader->parse(line.data(), line.data() + line.size(), &request, &errors)) {
                answer = SimResult::failure("request is not JSON: " + errors).toJson();
            } else {
                answer = self->handle(request);
            }
            Json::StreamWriterBuilder writer;
            writer["indentation"] = "";
            const std::string text = Json::writeString(writer, answer) + "\n";
            // Answers are small; a client that does not read them loses its connection.
            size_t sent = 0;
            while (sent < text.size()) {
                pollfd p{c.fd, POLLOUT, 0};
                if (::poll(&p, 1, 1000) <= 0) return false;
                const ssize_t n = ::send(c.fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) return false;
                sent += size_t(n);
            }
        }
        return true;
    }

    void loop() {
        enum class Kind { Wake, Control, ControlClient, Listen, Connection };
        struct Target {
            Kind kind;
            DeviceKind device = DeviceKind::Keyboard;
            Route route = Route::Cable;
            uint64_t generation = 0;
            CollectionSocket* socket = nullptr;
            int fd = -1;
        };
        std::vector<pollfd> fds;
        std::vector<Target> targets;
        std::vector<uint8_t> message;
        while (!quit) {
            fds.clear();
            targets.clear();
            auto add = [&](int fd, Target t) {
                fds.push_back({fd, POLLIN, 0});
                t.fd = fd;
                targets.push_back(t);
            };
            add(wakeFd, {Kind::Wake});
            if (controlFd >= 0) add(controlFd, {Kind::Control});
            for (const ControlConnection& c : controls) add(c.fd, {Kind::ControlClient});
            for (int k = 0; k < kDeviceKindCount; ++k) {
                for (int r = 0; r < kRouteCount; ++r) {
                    RouteState& rs = devices[size_t(k)]->routes[size_t(r)];
                    for (auto& s : rs.sockets) {
                        add(s->listenFd(), {Kind::Listen, DeviceKind(k), Route(r), rs.generation, s.get()});
                        for (int fd : s->connections())
                            add(fd, {Kind::Connection, DeviceKind(k), Route(r), rs.generation, s.get()});
                    }
                }
            }
            timespec timeout{};
            timespec* timeoutPtr = nullptr;
            if (!pending.empty()) {
                const auto wait = std::max(Clock::duration::zero(), pending.top().when - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
                timeout.tv_sec = ns / 1'000'000'000;
                timeout.tv_nsec = ns % 1'000'000'000;
                timeoutPtr = &timeout;
            }
            const int ready = ::ppoll(fds.data(), fds.size(), timeoutPtr, nullptr);
            if (ready < 0 && errno != EINTR) break;

            for (size_t i = 0; ready > 0 && i < fds.size() && !quit; ++i) {
                if (fds[i].revents == 0) continue;
                const Target& t = targets[i];
                switch (t.kind) {
                case Kind::Wake: {
                    uint64_t value;
                    [[maybe_unused]] ssize_t n = ::read(wakeFd, &value, sizeof value);
                    runPosted();
                    break;
                }
                case Kind::Control: acceptControls(); break;
                case Kind::ControlClient: {
                    auto it = std::find_if(controls.begin(), controls.end(),
                                           [&](const ControlConnection& c) { return c.fd == t.fd; });
                    if (it == controls.end()) break;
                    if (!serveControl(*it)) {
                        ::close(it->fd);
                        // serveControl may have changed `controls`? It does not: only this
                        // loop adds or removes control connections.
                        controls.erase(it);
                    }
                    break;
                }
                case Kind::Listen:
                case Kind::Connection: {
                    RouteState& rs = device(t.device).routes[size_t(t.route)];
                    // The route may have been unplugged (and its sockets destroyed) while
                    // handling an earlier descriptor of this pass.
                    if (!rs.plugged || rs.generation != t.generation) break;
                    if (t.kind == Kind::Listen) {
                        t.socket->acceptPending();
                        break;
                    }
                    const auto& conns = t.socket->connections();
                    if (std::find(conns.begin(), conns.end(), t.fd) == conns.end()) break;
                    // Drain what this connection sent, one report at a time.
                    for (int n = 0; n < 64; ++n) {
                        if (!t.socket->receive(t.fd, message) || message.empty()) break;
                        const CollectionSpec collection = t.socket->collection();
                        onMessage(t.device, t.route, collection, message);
                        if (!rs.plugged || rs.generation != t.generation) break;
                    }
                    break;
                }
                }
                deliverDue();
            }
            deliverDue();
        }
    }
};

Simulator::Simulator(SimulatorOptions options) : d(std::make_unique<Impl>(std::move(options))) {
    d->self = this;
}

Simulator::~Simulator() { stop(); }

namespace {

// Removes interface sockets a killed simulator left in the folder: nobody answers on them, and a
// client listing the folder would take them for devices that cannot be opened.
void removeStaleSockets(const std::string& dir) {
    DIR* folder = ::opendir(dir.c_str());
    if (!folder) return;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.rfind(hid::simwire::kSocketPrefix, 0) != 0) continue;
        const std::string path = dir + "/" + name;
        struct stat st{};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.size() >= sizeof addr.sun_path) continue;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno == ECONNREFUSED)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(folder);
}

}  // namespace

bool Simulator::start(std::string* error) {
    if (d->running) return true;
    if (d->options.dir.empty()) {
        if (error) *error = "no simulator folder given";
        return false;
    }
    ::mkdir(d->options.dir.c_str(), 0700);
    struct stat st{};
    if (::stat(d->options.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (error) *error = "not a folder: " + d->options.dir;
        return false;
    }
    removeStaleSockets(d->options.dir);
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->wakeFd < 0) {
        if (error) *error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    if (d->options.controlSocket && !d->openControl(error)) {
        ::close(d->wakeFd);
        d->wakeFd = -1;
        return false;
    }
    d->quit = false;
    d->epoch = Clock::now();
    std::promise<void> started;
    auto startedFuture = started.get_future();
    {
        std::lock_guard lock(d->postMutex);
        d->accepting = true;
    }
    d->thread = std::thread([this, &started] {
        d->threadId = std::this_thread::get_id();
        d->running = true;
        started.set_value();
        d->loop();
        d->closePosting();
    });
    startedFuture.wait();
    return true;
}

void Simulator::stop() {
    if (d->thread.joinable()) {
        d->quit = true;
        d->wake();
        d->thread.join();
    }
    d->threadId = std::thread::id{};
    d->running = false;
    for (int k = 0; k < kDeviceKindCount; ++k) {
        for (int r = 0; r < kRouteCount; ++r) {
            RouteState& rs = d->devices[size_t(k)]->routes[size_t(r)];
            rs.sockets.clear();
            rs.plugged = false;
        }
    }
    for (ControlConnection& c : d->controls) ::close(c.fd);
    d->controls.clear();
    if (d->controlFd >= 0) {
        ::unlink(d->controlPath().c_str());
        ::close(d->controlFd);
        d->controlFd = -1;
    }
    if (d->wakeFd >= 0) {
        ::close(d->wakeFd);
        d->wakeFd = -1;
    }
    d->pending = {};
}

void Simulator::requestShutdown() {
    d->quit = true;
    d->wake();
}

bool Simulator::running() const { return d->running && !d->quit; }
const std::string& Simulator::dir() const { return d->options.dir; }
std::string Simulator::controlPath() const { return d->controlPath(); }

SimResult Simulator::plug(DeviceKind kind, Route route) {
    return d->call([&] { return d->plug(kind, route); });
}

SimResult Simulator::unplug(DeviceKind kind, Route route) {
    return d->call([&] { return d->unplug(kind, route); });
}

SimResult Simulator::replug(DeviceKind kind, Route route) {
    return d->call([&] {
        SimResult gone = d->unplug(kind, route);
        return gone.ok ? d->plug(kind, route) : gone;
    });
}

SimResult Simulator::power(DeviceKind kind, bool on) {
    return d->call([&] {
        if (!hasReceiver(kind))
            return SimResult::failure(std::string(deviceName(kind)) + " is not wireless");
        d->device(kind).powered = on;
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["powered"] = on;
        return r;
    });
}

SimResult Simulator::profile(DeviceKind kind, int profile, bool fnKey) {
    return d->call([&] {
        DeviceState& dev = d->device(kind);
        if (profile < 0 || profile >= dev.firmware.profileCount())
            return SimResult::failure(std::string(deviceName(kind)) + " has profiles 0 to " +
                                      std::to_string(dev.firmware.profileCount() - 1));
        dev.firmware.setActiveProfile(uint8_t(profile));
        const uint16_t code = uint16_t((fnKey ? 0x1100 : 0x1000) | profile);
        d->emitEvent(kind, code);
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["activeProfile"] = profile;
        r.data["event"] = code;
        return r;
    });
}

SimResult Simulator::event(DeviceKind kind, uint16_t code) {
    return d->call([&] {
        d->emitEvent(kind, code);
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["event"] = code;
        return r;
    });
}

SimResult Simulator::key(DeviceKind kind, uint8_t usage, KeyAction action) {
    return d->call([&] {
        if (kind != DeviceKind::Keyboard) return SimResult::failure("only the keyboard has keys");
        if (usage < 0x04) return SimResult::failure("key usage must be 0x04 to 0xff");
        DeviceState& dev = d->device(kind);
        const auto press = [&] {
            if (usage >= 0xE0 && usage <= 0xE7)
                dev.modifiersHeld |= uint8_t(1u << (usage - 0xE0));
            else if (std::find(dev.keysHeld.begin(), dev.keysHeld.end(), usage) == dev.keysHeld.end())
                dev.keysHeld.push_back(usage);
            d->emitKeys(kind);
        };
        const auto release = [&] {
            if (usage >= 0xE0 && usage <= 0xE7)
                dev.modifiersHeld &= uint8_t(~(1u << (usage - 0xE0)));
            else
                dev.keysHeld.erase(std::remove(dev.keysHeld.begin(), dev.keysHeld.end(), usage), dev.keysHeld.end());
            d->emitKeys(kind);
        };
        if (action != KeyAction::Up) press();
        if (action != KeyAction::Down) release();
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["key"] = usage;
        r.data["action"] = action == KeyAction::Down ? "down" : action == KeyAction::Up ? "up" : "tap";
        Json::Value held(Json::arrayValue);
        for (uint8_t k : dev.keysHeld) held.append(k);
        r.data["held"] = held;
        r.data["modifiers"] = dev.modifiersHeld;
        return r;
    });
}

SimResult Simulator::fault(DeviceKind kind, const FaultSpec& spec) {
    return d->call([&] {
        if (spec.count == 0) return SimResult::failure("fault count must be at least 1");
        d->device(kind).faults.push_back(spec);
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["fault"] = std::string(faultName(spec.kind));
        r.data["count"] = spec.count;
        return r;
    });
}

SimResult Simulator::clearFaults(DeviceKind kind) {
    return d->call([&] {
        d->device(kind).faults.clear();
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        r.data["fault"] = "clear";
        return r;
    });
}

SimResult Simulator::dump(DeviceKind kind, Region region) {
    return d->call([&] { return d->dump(kind, region); });
}

SimResult Simulator::setStatus(DeviceKind kind, const StatusChange& change) {
    return d->call([&] {
        Firmware& fw = d->device(kind).firmware;
        if (change.battery) {
            if (*change.battery > 100) return SimResult::failure("battery is 0 to 100");
            fw.setBattery(*change.battery);
        }
        if (change.charging) {
            if (*change.charging > 2) return SimResult::failure("charging is 0, 1 or 2");
            fw.setCharging(*change.charging);
        }
        if (change.phone) fw.setPhoneType(*change.phone);
        return d->dump(kind, Region::Status);
    });
}

SimResult Simulator::poke(DeviceKind kind, Region region, size_t offset,
                          const std::vector<uint8_t>& bytes, bool announce) {
    return d->call([&] {
        if (!d->device(kind).firmware.poke(region, offset, bytes))
            return SimResult::failure("bytes do not fit the " + std::string(regionName(region)) +
                                      " memory");
        if (announce) d->emitEvent(kind, 0x401);
        return d->dump(kind, region);
    });
}

SimResult Simulator::state() {
    return d->call([&] {
        SimResult r;
        r.data["dir"] = d->options.dir;
        r.data["timing"] = d->options.timing;
        r.data["receiverDelayMs"] = d->options.receiverDelayMs;
        r.data["busFrameMs"] = kBusFrameMs;
        // Reports held for their frame or a late-reply fault; tests wait for 0.
        r.data["pendingReports"] = Json::UInt64(d->pending.size());
        Json::Value devices(Json::objectValue);
        for (int k = 0; k < kDeviceKindCount; ++k)
            devices[std::string(deviceName(DeviceKind(k)))] = d->deviceState(DeviceKind(k));
        r.data["devices"] = devices;
        return r;
    });
}

SimResult Simulator::setTiming(bool on, std::optional<uint32_t> receiverDelayMs) {
    return d->call([&] {
        d->options.timing = on;
        if (receiverDelayMs) d->options.receiverDelayMs = *receiverDelayMs;
        SimResult r;
        r.data["timing"] = on;
        r.data["receiverDelayMs"] = d->options.receiverDelayMs;
        return r;
    });
}

SimResult Simulator::audio(DeviceKind kind, const std::string& op, const std::string& endpoint,
                           const std::string& property, const std::string& value) {
    return d->call([&] {
        // Failures name their reason ("device", "endpoint", "property", "value", "op") so a
        // client can tell a missing property from a headset that is gone.
        auto failure = [](const char* reason, std::string message) {
            SimResult r = SimResult::failure(std::move(message));
            r.data["reason"] = reason;
            return r;
        };
        if (kind != DeviceKind::Headset)
            return failure("device", std::string(deviceName(kind)) + " has no audio chip");
        SimResult r;
        r.data["device"] = std::string(deviceName(kind));
        if (op == "dump") {
            r.data["audio"] = d->headsetAudio.dump();
            return r;
        }
        if (op == "reset") {
            // A power cycle: the chip forgets what it was given and starts from its own values.
            d->headsetAudio = AudioChip();
            r.data["audio"] = d->headsetAudio.dump();
            return r;
        }
        // Like the sound card, the chip answers only while the headset is on the bus.
        if (!d->device(kind).routes[size_t(Route::Cable)].plugged)
            return failure("device", "headset is not plugged");
        if (op == "list") {
            r.data["records"] = AudioChip::records();
            return r;
        }
        const auto e = AudioChip::parseEndpoint(endpoint);
        if (!e) return failure("endpoint", "endpoint is output or input");
        if (op == "get") {
            const auto v = d->headsetAudio.get(*e, property);
            if (!v) return failure("property", "the " + endpoint + " device has no property \"" + property + "\"");
            r.data["value"] = *v;
            return r;
        }
        if (op == "set") {
            if (!d->headsetAudio.get(*e, property))
                return failure("property", "the " + endpoint + " device has no property \"" + property + "\"");
            std::string error;
            if (!d->headsetAudio.set(*e, property, value, &error))
                return failure(error.find("read-only") != std::string::npos ? "readonly" : "value", error);
            r.data["value"] = *d->headsetAudio.get(*e, property);
            return r;
        }
        if (op == "features") {
            if (!d->headsetAudio.setFeatures(*e, value))
                return failure("value", "a feature list has seven comma-separated fields");
            r.data["value"] = *d->headsetAudio.get(*e, "GetSupportFeature");
            return r;
        }
        return failure("op", "audio op is list, get, set, features, reset or dump");
    });
}

std::vector<uint8_t> Simulator::memory(DeviceKind kind, Region region) {
    return d->call([&] { return d->device(kind).firmware.region(region); });
}

FirmwareCounters Simulator::counters(DeviceKind kind) {
    return d->call([&] { return d->device(kind).firmware.counters(); });
}

}  // namespace sim
