#include "sdk/osConfLib.h"

#include "sdk/ConfBackend.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_lock;
bool g_initialised = false;
std::unique_ptr<osconf::ConfBackend> g_backend;

std::string decodeValue(const std::string& name, const void* buffer)
{
    char text[64];
    if (osconf::IsFloatProperty(name)) {
        float f = 0;
        std::memcpy(&f, buffer, sizeof f);
        std::snprintf(text, sizeof text, "%.6g", double(f));
    } else {
        int32_t i = 0;
        std::memcpy(&i, buffer, sizeof i);
        std::snprintf(text, sizeof text, "%d", i);
    }
    return text;
}

}  // namespace

namespace osconf {
bool IsFloatProperty(const std::string& name)
{
    return name == "VolumeScalarControl" || name == "AAVolumeScalarControl";
}
}  // namespace osconf

extern "C" {

int ConfLibInit(void)
{
    std::lock_guard lock(g_lock);
    g_initialised = true;
    return OSCONF_OK;
}

int ConfLibUnInit(void)
{
    std::lock_guard lock(g_lock);
    g_backend.reset();
    g_initialised = false;
    return OSCONF_OK;
}

int CreateDeviceList(void)
{
    std::lock_guard lock(g_lock);
    if (!g_initialised)
        return OSCONF_ERR_NOT_INITIALISED;
    // A simulated headset stands in for the real one wherever the simulator serves one.
    g_backend = osconf::MakeSimBackend();
    if (!g_backend)
        g_backend = osconf::MakeAlsaBackend();
    return OSCONF_OK;
}

int GetDeviceCount(int kind, int* count)
{
    std::lock_guard lock(g_lock);
    if (!count || (kind != 0 && kind != 1))
        return OSCONF_ERR_ARGUMENT;
    *count = 0;
    if (!g_initialised)
        return OSCONF_ERR_NOT_INITIALISED;
    if (g_backend)
        *count = int(g_backend->Devices(kind).size());
    return OSCONF_OK;
}

int GetDeviceById(int kind, int index, OsConfDevice* record)
{
    std::lock_guard lock(g_lock);
    if (!record || (kind != 0 && kind != 1) || index < 0)
        return OSCONF_ERR_ARGUMENT;
    if (!g_initialised)
        return OSCONF_ERR_NOT_INITIALISED;
    if (!g_backend)
        return OSCONF_ERR_ARGUMENT;
    const auto devices = g_backend->Devices(kind);
    if (size_t(index) >= devices.size())
        return OSCONF_ERR_ARGUMENT;
    *record = devices[size_t(index)];
    return OSCONF_OK;
}

int PropertyControl(OsConfDevice device, const char* name, void** value, void** second, int mode)
{
    (void)second;  // the channel: every backend sets all channels of its control alike
    std::lock_guard lock(g_lock);
    if (!name || !value || !*value || (mode != 0 && mode != 1))
        return OSCONF_ERR_ARGUMENT;
    if (!g_initialised || !g_backend)
        return OSCONF_ERR_NOT_INITIALISED;
    const std::string property(name);
    if (property.empty() || property.size() > 128)
        return OSCONF_ERR_PROPERTY;
    if (mode == 0) {
        std::string text;
        const int r = g_backend->Read(device, property, text);
        if (r != OSCONF_OK)
            return r;
        if (text.size() >= OSCONF_VALUE_BUFFER_SIZE)
            text.resize(OSCONF_VALUE_BUFFER_SIZE - 1);
        std::memcpy(*value, text.c_str(), text.size() + 1);
        return OSCONF_OK;
    }
    return g_backend->Write(device, property, decodeValue(property, *value));
}

int RegisterCallbackFunction(OsConfCallback callback, void* context)
{
    (void)callback, (void)context;
    return OSCONF_ERR_UNSUPPORTED;
}

int ShowAsioPanel(void) { return OSCONF_ERR_UNSUPPORTED; }
int PlayTestSound(OsConfDevice) { return OSCONF_ERR_UNSUPPORTED; }
int StopTestSound(OsConfDevice) { return OSCONF_ERR_UNSUPPORTED; }
int CloseTestSound(OsConfDevice) { return OSCONF_ERR_UNSUPPORTED; }

}  // extern "C"
