#include "sdk/HostAudio.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace osconf {

namespace {

constexpr char kPitchShifterPlugin[] = "ladspa-rubberband.so";

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool isFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string features(int bits, int missing, int f4, int f6)
{
    std::ostringstream out;
    out << bits << ',' << missing << ",0,0," << f4 << ",0," << f6;
    return out.str();
}

}  // namespace

std::string PipeWireSocketPath()
{
    std::string name = env("PIPEWIRE_REMOTE");
    if (!name.empty() && name.front() == '/')
        return name;
    if (name.empty())
        name = "pipewire-0";
    for (const char* dir : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"}) {
        const std::string d = env(dir);
        if (!d.empty())
            return d + "/" + name;
    }
    return {};
}

bool PipeWireRunning()
{
    const std::string path = PipeWireSocketPath();
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (r != 0 && errno == EINTR);
    ::close(fd);
    return r == 0;
}

bool LadspaPluginPresent(const std::string& file)
{
    std::string folders = env("LADSPA_PATH");
    if (folders.empty())
        folders = "/usr/lib/ladspa:/usr/local/lib/ladspa:/usr/lib/x86_64-linux-gnu/ladspa:"
                  "/usr/lib/aarch64-linux-gnu/ladspa:/usr/lib64/ladspa";
    std::istringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':')) {
        if (!folder.empty() && isFile(folder + "/" + file))
            return true;
    }
    return false;
}

HostAudio DetectHostAudio()
{
    HostAudio host;
    host.pipewire = PipeWireRunning();
    host.pitchShifter = LadspaPluginPresent(kPitchShifterPlugin);
    return host;
}

bool EqualiserAvailable(const HostAudio& host) { return host.pipewire && host.effectGraph; }

bool VoiceChangerAvailable(const HostAudio& host)
{
    return host.pipewire && host.voiceGraph && host.pitchShifter;
}

std::string PlaybackFeatures(const HostAudio& host)
{
    const bool eq = EqualiserAvailable(host);
    const int missing = (host.pipewire ? 0 : kMissingPipeWire) | (host.effectGraph ? 0 : kMissingEffectGraph);
    // No head-related impulse responses ship with Tessel, so no surround mode is offered.
    return features(eq ? kFeatureEqualiser : 0, eq ? 0 : missing, eq ? 10 : 0, 0);
}

std::string CaptureFeatures(const HostAudio& host)
{
    const bool voice = VoiceChangerAvailable(host);
    const int missing = (host.pipewire ? 0 : kMissingPipeWire) | (host.pitchShifter ? 0 : kMissingPitchShifter) |
                        (host.voiceGraph ? 0 : kMissingEffectGraph);
    // Noise reduction has no graph yet, so it is not offered.
    return features(voice ? kFeatureVoiceChanger : 0, voice ? 0 : missing, 0, 0);
}

}  // namespace osconf
