// The control protocol: the requests Simulator::handle answers and the client side that
// tessel-devsim's subcommands use.
#include "sim/ControlProtocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <json/reader.h>
#include <json/writer.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <memory>

#include "hid/SimWire.h"
#include "sim/Simulator.h"

namespace sim {
namespace {

Json::Value failure(const std::string& message) {
    Json::Value v(Json::objectValue);
    v["ok"] = false;
    v["error"] = message;
    return v;
}

std::optional<long long> parseInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

std::optional<std::vector<uint8_t>> parseHex(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

}  // namespace

std::optional<long long> integerField(const Json::Value& request, const char* name, long long min,
                                      long long max) {
    if (!request.isMember(name)) return std::nullopt;
    const Json::Value& v = request[name];
    std::optional<long long> value;
    if (v.isIntegral()) {
        value = v.asLargestInt();
    } else if (v.isString()) {
        value = parseInteger(v.asString());
    }
    if (!value || *value < min || *value > max) return std::nullopt;
    return value;
}

Json::Value Simulator::handle(const Json::Value& request) {
    if (!request.isObject()) return failure("request must be a JSON object");
    const std::string command = request.get("cmd", "").asString();
    if (command == "state") return state().toJson();
    if (command == "shutdown") {
        // Answered first; the serving program ends when it sees the simulator stop.
        requestShutdown();
        return SimResult().toJson();
    }
    if (command == "timing") {
        if (!request.isMember("on") || !request["on"].isBool()) return failure("timing needs \"on\": true or false");
        std::optional<uint32_t> delay;
        if (request.isMember("receiverDelayMs")) {
            const auto v = integerField(request, "receiverDelayMs", 0, 10000);
            if (!v) return failure("receiverDelayMs must be 0 to 10000");
            delay = uint32_t(*v);
        }
        return setTiming(request["on"].asBool(), delay).toJson();
    }

    const auto kind = parseDeviceKind(request.get("device", "").asString());
    if (!kind) return failure("unknown device \"" + request.get("device", "").asString() +
                              "\" (keyboard, mouse, pad, headset)");

    if (command == "plug" || command == "unplug" || command == "replug") {
        const auto route = parseRoute(request.get("route", "cable").asString());
        if (!route) return failure("route is cable or receiver");
        if (command == "replug") return replug(*kind, *route).toJson();
        return (command == "plug" ? plug(*kind, *route) : unplug(*kind, *route)).toJson();
    }
    if (command == "power") {
        if (!request.isMember("on") || !request["on"].isBool()) return failure("power needs \"on\": true or false");
        return power(*kind, request["on"].asBool()).toJson();
    }
    if (command == "profile") {
        const auto p = integerField(request, "profile", 0, 15);
        if (!p) return failure("profile must be 0 to 15");
        return profile(*kind, int(*p), request.get("fn", false).asBool()).toJson();
    }
    if (command == "event") {
        const auto code = integerField(request, "code", 0, 0xFFFF);
        if (!code) return failure("event code must be 0 to 0xffff");
        return event(*kind, uint16_t(*code)).toJson();
    }
    if (command == "key") {
        const auto usage = integerField(request, "key", 0x04, 0xFF);
        if (!usage) return failure("key must be a keyboard usage 0x04 to 0xff");
        const std::string action = request.get("action", "tap").asString();
        if (action != "tap" && action != "down" && action != "up") return failure("key action is tap, down or up");
        const KeyAction a = action == "down" ? KeyAction::Down : action == "up" ? KeyAction::Up : KeyAction::Tap;
        return key(*kind, uint8_t(*usage), a).toJson();
    }
    if (command == "fault") {
        const std::string name = request.get("fault", "").asString();
        if (name == "clear") return clearFaults(*kind).toJson();
        const auto fk = parseFaultKind(name);
        if (!fk) return failure("unknown fault \"" + name + "\" (drop-reply, late-reply, bad-echo, status-ff, status-fe, unplug-mid-transfer, clear)");
        FaultSpec spec;
        spec.kind = *fk;
        if (*fk == FaultKind::LateReply) {
            const auto ms = integerField(request, "ms", 0, 600000);
            if (!ms) return failure("late-reply needs \"ms\": 0 to 600000");
            spec.lateMs = uint32_t(*ms);
        }
        if (request.isMember("count")) {
            const auto count = integerField(request, "count", 1, 1000000);
            if (!count) return failure("count must be 1 to 1000000");
            spec.count = uint32_t(*count);
        }
        if (request.isMember("command")) {
            const auto c = integerField(request, "command", 0, 0xFF);
            if (!c) return failure("command must be 0 to 0xff");
            spec.command = int(*c);
        }
        return fault(*kind, spec).toJson();
    }
    if (command == "audio") {
        auto text = [&](const char* field) {
            const Json::Value& v = request.get(field, "");
            return v.isString() ? v.asString() : v.isNumeric() ? v.asString() : std::string();
        };
        return audio(*kind, text("op"), text("endpoint"), text("property"), text("value")).toJson();
    }
    if (command == "dump") {
        if (request.get("region", "").asString() == "audio") return audio(*kind, "dump").toJson();
        const auto region = parseRegion(request.get("region", "").asString());
        if (!region) return failure("unknown region \"" + request.get("region", "").asString() +
                                    "\" (info, settings, keytable, ledmap, macro, lighttable, frame, shoot, status, audio)");
        return dump(*kind, *region).toJson();
    }
    if (command == "status") {
        StatusChange change;
        for (const char* field : {"battery", "charging", "phone"}) {
            if (!request.isMember(field)) continue;
            const auto v = integerField(request, field, 0, 255);
            if (!v) return failure(std::string(field) + " must be 0 to 255");
            if (std::strcmp(field, "battery") == 0) change.battery = uint8_t(*v);
            if (std::strcmp(field, "charging") == 0) change.charging = uint8_t(*v);
            if (std::strcmp(field, "phone") == 0) change.phone = uint8_t(*v);
        }
        return setStatus(*kind, change).toJson();
    }
    if (command == "poke") {
        const auto region = parseRegion(request.get("region", "").asString());
        if (!region) return failure("unknown region");
        const auto offset = integerField(request, "offset", 0, 0xFFFF);
        if (!offset) return failure("offset must be 0 to 0xffff");
        const auto bytes = parseHex(request.get("hex", "").asString());
        if (!bytes || bytes->empty()) return failure("hex must be pairs of hexadecimal digits");
        return poke(*kind, *region, size_t(*offset), *bytes, request.get("announce", false).asBool()).toJson();
    }
    return failure("unknown command \"" + command + "\"");
}

Json::Value sendControlRequest(const std::string& dir, const Json::Value& request, int timeoutMs) {
    const std::string path = dir + "/" + hid::simwire::kControlSocketName;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return failure("control socket path too long: " + path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return failure(std::string("socket: ") + std::strerror(errno));
    std::unique_ptr<int, void (*)(int*)> guard(new int(fd), [](int* p) { ::close(*p); delete p; });
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return failure("no simulator at " + path + ": " + std::strerror(errno));

    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    const std::string text = Json::writeString(writer, request) + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return failure(std::string("send: ") + std::strerror(errno));
        sent += size_t(n);
    }
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (answer.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) return failure("the simulator did not answer");
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return failure("the simulator closed the connection");
        answer.append(buffer, size_t(n));
    }
    Json::Value result;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const std::string line = answer.substr(0, answer.find('\n'));
    if (!reader->parse(line.data(), line.data() + line.size(), &result, &errors))
        return failure("unreadable answer: " + errors);
    return result;
}

}  // namespace sim
