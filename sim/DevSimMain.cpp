// tessel-devsim: serves virtual devices in a folder and drives them through the folder's
// control socket. Every subcommand prints one JSON object on standard output and exits 0 on
// success, 1 when the simulator refused the request and 2 on bad arguments.

#include <signal.h>
#include <unistd.h>

#include <json/writer.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "hid/SimWire.h"
#include "sim/ControlProtocol.h"
#include "sim/Simulator.h"

namespace {

constexpr char kUsage[] = R"(usage: tessel-devsim [--dir DIR] COMMAND [ARGS]

Serves virtual Tessel devices (keyboard, mouse, pad, headset) as sockets in DIR and drives
them. DIR defaults to $TESSEL_SIM_DIR. Every command prints one JSON object; the exit status is
0 on success, 1 when the simulator refused the request and 2 on bad arguments.

  serve [--no-timing] [--receiver-delay MS] [--plug DEVICE[:ROUTE]]...
        run the simulator in the foreground until SIGINT, SIGTERM or "shutdown"
  plug DEVICE [--route cable|receiver]       connect a device (keyboard and mouse: either route)
  unplug DEVICE [--route cable|receiver]     disconnect it; its sockets disappear
  replug DEVICE [--route cable|receiver]     unplug and plug again at once (new sockets, same names)
  power DEVICE on|off                        switch a wireless device; off: its receiver answers 0xAA
  profile DEVICE N [--fn]                    on-device profile switch (event 0x10NN, 0x11NN with --fn)
  event DEVICE CODE                          send an event report (0x401 settings changed, 0x403 click)
  key keyboard USAGE [down|up]               press and release a key (keyboard usage, 0x04 A); only
                                             down or only up with the word
  fault DEVICE KIND [MS] [--count N] [--command CMD]
        KIND: drop-reply, late-reply MS, bad-echo, status-ff, status-fe,
              unplug-mid-transfer, clear
  dump DEVICE REGION                         REGION: info, settings, keytable, ledmap, macro,
                                             lighttable, frame, shoot, status; on the
                                             headset also audio (the audio chip's properties)
  audio headset list                         the audio chip's device records
  audio headset get ENDPOINT PROPERTY        ENDPOINT: output or input
  audio headset set ENDPOINT PROPERTY VALUE  as the configuration library would
  audio headset features ENDPOINT LIST       the feature list ENDPOINT reports from now on
  status DEVICE [battery N] [charging N] [phone N]
                                             show or change the status block
  poke DEVICE REGION OFFSET HEX [--announce] change device memory as the device would
                                             (--announce sends event 0x401)
  timing on|off [--receiver-delay MS]        switch the USB timing model
  state                                      everything the simulator holds
  shutdown                                   end a running "serve"
)";

void print(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    std::cout << Json::writeString(writer, value) << std::endl;
}

int badArguments(const std::string& message) {
    Json::Value v(Json::objectValue);
    v["ok"] = false;
    v["error"] = message;
    print(v);
    std::cerr << "tessel-devsim: " << message << "\n(tessel-devsim --help shows the commands)\n";
    return 2;
}

int finish(const Json::Value& answer) {
    print(answer);
    if (answer.get("ok", false).asBool()) return 0;
    std::cerr << "tessel-devsim: " << answer.get("error", "failed").asString() << "\n";
    return 1;
}

// Takes "--name VALUE" out of args; nullopt when absent, "" when the value is missing.
std::optional<std::string> takeOption(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name) continue;
        std::string value = i + 1 < args.size() ? args[i + 1] : "";
        args.erase(args.begin() + long(i), args.begin() + long(std::min(i + 2, args.size())));
        return value;
    }
    return std::nullopt;
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + long(i));
            return true;
        }
    }
    return false;
}

std::optional<long long> number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return v;
}

int serve(const std::string& dir, std::vector<std::string> args) {
    sim::SimulatorOptions options;
    options.dir = dir;
    options.timing = !takeFlag(args, "--no-timing");
    if (auto delay = takeOption(args, "--receiver-delay")) {
        const auto v = number(*delay);
        if (!v || *v < 0 || *v > 10000) return badArguments("--receiver-delay takes 0 to 10000 ms");
        options.receiverDelayMs = uint32_t(*v);
    }
    std::vector<std::pair<sim::DeviceKind, sim::Route>> plugs;
    while (auto spec = takeOption(args, "--plug")) {
        const auto colon = spec->find(':');
        const auto kind = sim::parseDeviceKind(spec->substr(0, colon));
        const auto route = colon == std::string::npos ? std::optional(sim::Route::Cable)
                                                      : sim::parseRoute(spec->substr(colon + 1));
        if (!kind || !route) return badArguments("--plug takes DEVICE[:cable|receiver], not " + *spec);
        plugs.emplace_back(*kind, *route);
    }
    if (!args.empty()) return badArguments("serve does not take \"" + args.front() + "\"");

    // A live simulator already answering in this folder keeps it.
    Json::Value probe(Json::objectValue);
    probe["cmd"] = "state";
    if (sim::sendControlRequest(dir, probe, 1000).get("ok", false).asBool())
        return badArguments("a simulator already serves " + dir);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the thread starts: it inherits it

    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.start(&error)) {
        Json::Value v(Json::objectValue);
        v["ok"] = false;
        v["error"] = error;
        return finish(v);
    }
    for (const auto& [kind, route] : plugs) {
        const sim::SimResult r = simulator.plug(kind, route);
        if (!r.ok) {
            simulator.stop();
            return finish(r.toJson());
        }
    }
    Json::Value ready(Json::objectValue);
    ready["ok"] = true;
    ready["dir"] = dir;
    ready["control"] = simulator.controlPath();
    ready["pid"] = int(::getpid());
    ready["timing"] = options.timing;
    print(ready);

    while (simulator.running()) {
        timespec wait{0, 200'000'000};
        if (sigtimedwait(&signals, nullptr, &wait) > 0) break;
    }
    simulator.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (takeFlag(args, "--help") || takeFlag(args, "-h")) {
        std::cout << kUsage;
        return 0;
    }
    std::string dir;
    if (auto d = takeOption(args, "--dir")) {
        if (d->empty()) return badArguments("--dir needs a folder");
        dir = *d;
    } else if (const char* env = std::getenv(hid::simwire::kEnvSimDir)) {
        dir = env;
    }
    if (args.empty()) return badArguments("no command given");
    if (dir.empty()) return badArguments("no folder: give --dir DIR or set TESSEL_SIM_DIR");
    const std::string command = args.front();
    args.erase(args.begin());

    if (command == "serve") return serve(dir, args);

    Json::Value request(Json::objectValue);
    request["cmd"] = command;
    auto needDevice = [&]() -> bool {
        if (args.empty()) return false;
        request["device"] = args.front();
        args.erase(args.begin());
        return true;
    };

    if (command == "plug" || command == "unplug" || command == "replug") {
        if (!needDevice()) return badArguments(command + " needs a device");
        if (auto route = takeOption(args, "--route")) request["route"] = *route;
    } else if (command == "power") {
        if (!needDevice() || args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return badArguments("power takes DEVICE on|off");
        request["on"] = args[0] == "on";
        args.clear();
    } else if (command == "profile") {
        request["fn"] = takeFlag(args, "--fn");
        if (!needDevice() || args.size() != 1) return badArguments("profile takes DEVICE N");
        request["profile"] = args[0];
        args.clear();
    } else if (command == "event") {
        if (!needDevice() || args.size() != 1) return badArguments("event takes DEVICE CODE");
        request["code"] = args[0];
        args.clear();
    } else if (command == "key") {
        if (!needDevice() || args.empty() || args.size() > 2) return badArguments("key takes DEVICE USAGE [down|up]");
        request["key"] = args[0];
        if (args.size() == 2) {
            if (args[1] != "down" && args[1] != "up") return badArguments("key takes DEVICE USAGE [down|up]");
            request["action"] = args[1];
        }
        args.clear();
    } else if (command == "fault") {
        if (auto count = takeOption(args, "--count")) request["count"] = *count;
        if (auto c = takeOption(args, "--command")) request["command"] = *c;
        if (!needDevice() || args.empty()) return badArguments("fault takes DEVICE KIND");
        request["fault"] = args[0];
        if (args[0] == "late-reply") {
            if (args.size() != 2) return badArguments("late-reply takes the delay in ms");
            request["ms"] = args[1];
        } else if (args.size() != 1) {
            return badArguments(args[0] + " takes no value");
        }
        args.clear();
    } else if (command == "dump") {
        if (!needDevice() || args.size() != 1) return badArguments("dump takes DEVICE REGION");
        request["region"] = args[0];
        args.clear();
    } else if (command == "audio") {
        if (!needDevice() || args.empty()) return badArguments("audio takes DEVICE list|reset|get|set ...");
        request["op"] = args[0];
        if (args[0] == "get" && args.size() == 3) {
            request["endpoint"] = args[1];
            request["property"] = args[2];
        } else if (args[0] == "set" && args.size() == 4) {
            request["endpoint"] = args[1];
            request["property"] = args[2];
            request["value"] = args[3];
        } else if (args[0] == "features" && args.size() == 3) {
            request["endpoint"] = args[1];
            request["value"] = args[2];
        } else if ((args[0] != "list" && args[0] != "reset") || args.size() != 1) {
            return badArguments("audio takes DEVICE list, reset, get ENDPOINT PROPERTY, set ENDPOINT PROPERTY VALUE "
                                "or features ENDPOINT LIST");
        }
        args.clear();
    } else if (command == "status") {
        if (!needDevice()) return badArguments("status needs a device");
        if (args.size() % 2 != 0) return badArguments("status takes pairs: battery N charging N phone N");
        for (size_t i = 0; i < args.size(); i += 2) {
            if (args[i] != "battery" && args[i] != "charging" && args[i] != "phone")
                return badArguments("status does not know \"" + args[i] + "\"");
            request[args[i]] = args[i + 1];
        }
        args.clear();
    } else if (command == "poke") {
        request["announce"] = takeFlag(args, "--announce");
        if (!needDevice() || args.size() != 3) return badArguments("poke takes DEVICE REGION OFFSET HEX");
        request["region"] = args[0];
        request["offset"] = args[1];
        request["hex"] = args[2];
        args.clear();
    } else if (command == "timing") {
        if (auto delay = takeOption(args, "--receiver-delay")) request["receiverDelayMs"] = *delay;
        if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return badArguments("timing takes on|off");
        request["on"] = args[0] == "on";
        args.clear();
    } else if (command == "state" || command == "shutdown") {
        // no arguments
    } else {
        return badArguments("unknown command \"" + command + "\"");
    }
    if (!args.empty()) return badArguments(command + " does not take \"" + args.front() + "\"");
    return finish(sim::sendControlRequest(dir, request));
}
