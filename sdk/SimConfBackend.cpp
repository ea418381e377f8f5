#include "sdk/ConfBackend.h"

#include "hid/SimWire.h"
#include "sim/ControlProtocol.h"

#include <dirent.h>

#include <cstdlib>
#include <cstring>

namespace osconf {

namespace {

// Long enough for a loaded simulator, short enough that a hung one does not freeze the caller.
constexpr int kRequestTimeoutMs = 3000;

// The headset's interface socket in the simulator folder: "hid#vid_0c76&pid_1630&...".
bool servesHeadset(const std::string& dir)
{
    DIR* folder = ::opendir(dir.c_str());
    if (!folder)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strstr(entry->d_name, "vid_0c76&pid_1630")) {
            found = true;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

int resultOf(const Json::Value& answer)
{
    if (answer.get("ok", false).asBool())
        return OSCONF_OK;
    const std::string reason = answer.get("reason", "").asString();
    if (reason == "property")
        return OSCONF_ERR_PROPERTY;
    if (reason == "readonly")
        return OSCONF_ERR_READ_ONLY;
    if (reason == "value")
        return OSCONF_ERR_VALUE;
    if (reason == "device" || reason == "endpoint")
        return OSCONF_ERR_NO_DEVICE;
    return OSCONF_ERR_IO;
}

class SimConfBackend : public ConfBackend {
public:
    explicit SimConfBackend(std::string dir) : m_dir(std::move(dir)) {}

    std::vector<OsConfDevice> Devices(int kind) override
    {
        std::vector<OsConfDevice> out;
        const Json::Value answer = Request("list");
        for (const Json::Value& r : answer["records"]) {
            if (r.get("kind", -1).asInt() != kind)
                continue;
            out.push_back({r["id"].asUInt(), r["type"].asUInt(), 0, r["flag"].asUInt()});
        }
        return out;
    }

    int Read(const OsConfDevice& device, const std::string& name, std::string& text) override
    {
        const char* endpoint = EndpointOf(device);
        if (!endpoint)
            return OSCONF_ERR_NO_DEVICE;
        const Json::Value answer = Request("get", endpoint, name);
        const int r = resultOf(answer);
        if (r == OSCONF_OK)
            text = answer.get("value", "").asString();
        return r;
    }

    int Write(const OsConfDevice& device, const std::string& name, const std::string& value) override
    {
        const char* endpoint = EndpointOf(device);
        if (!endpoint)
            return OSCONF_ERR_NO_DEVICE;
        return resultOf(Request("set", endpoint, name, value));
    }

private:
    // The chip's records carry fixed identifiers: one playback and one capture device.
    static const char* EndpointOf(const OsConfDevice& device)
    {
        if (device.id == 0x65330001)
            return "output";
        if (device.id == 0x65330002)
            return "input";
        return nullptr;
    }

    Json::Value Request(const char* op, const char* endpoint = nullptr, const std::string& property = {},
                        const std::string& value = {})
    {
        Json::Value request(Json::objectValue);
        request["cmd"] = "audio";
        request["device"] = "headset";
        request["op"] = op;
        if (endpoint) {
            request["endpoint"] = endpoint;
            request["property"] = property;
        }
        if (!value.empty())
            request["value"] = value;
        return sim::sendControlRequest(m_dir, request, kRequestTimeoutMs);
    }

    std::string m_dir;
};

}  // namespace

std::unique_ptr<ConfBackend> MakeSimBackend()
{
    const char* dir = std::getenv(hid::simwire::kEnvSimDir);
    if (!dir || !*dir || !servesHeadset(dir))
        return nullptr;
    return std::make_unique<SimConfBackend>(dir);
}

}  // namespace osconf
