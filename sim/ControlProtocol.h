#pragma once

#include <json/value.h>

#include <optional>
#include <string>

namespace sim {

// tessel-devsim's control socket: the client writes one JSON object per line and reads one
// JSON object per line back, each with "ok" and, on failure, "error". Requests name the
// operation in "cmd" ("plug", "unplug", "power", "profile", "event", "fault", "dump", "status",
// "poke", "state", "timing", "shutdown") and take the fields documented in docs/devsim.md.

// Reads an integer field given as a JSON number or as text ("0x401", "35"); nullopt when the
// field is absent or not an integer in [min, max].
std::optional<long long> integerField(const Json::Value& request, const char* name, long long min,
                                      long long max);

// Sends one request to the simulator serving `dir` and returns its answer; on a connection
// failure, an answer with "ok": false and the reason.
Json::Value sendControlRequest(const std::string& dir, const Json::Value& request,
                               int timeoutMs = 10000);

}  // namespace sim
