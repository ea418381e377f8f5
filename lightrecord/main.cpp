// tessel-lightrecord: captures what the computer plays and the screen's colour, and reports both
// to the Tessel that registered with it. See README.md for the protocol and how it maps.

#include "lightrecord/RecorderProtocol.h"
#include "lightrecord/ScreenColour.h"
#include "lightrecord/FrequencyBins.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace lightrecord;

namespace {

constexpr int kRate = 48000;
// 60 frames a second: the application releases a frame once four are queued and hands levels
// out on every third message, so at this rate a sound reaches the lights in well under 100 ms;
// slower rates add 25 ms or more per queued frame.
constexpr int kFramesPerSecond = 60;
constexpr int kHop = kRate / kFramesPerSecond;
// After the sound stops, frames go on for this long so the application sees the quiet ones.
constexpr int kTailFrames = kFramesPerSecond / 2;
constexpr float kSilence = 1.0e-5f;  // about -100 dBFS
constexpr int kScreenIntervalMs = 100;
// A Tessel that started us registers within a second; one that never does is gone.
constexpr int kRegisterWithinMs = 15000;
constexpr size_t kMaxClients = 4;
// What may wait for a slow reader; more is dropped (whole records only), never grows.
constexpr size_t kMaxPending = 64 * 1024;

int Env(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

void Say(const char* what)
{
    std::fprintf(stderr, "tessel-lightrecord: %s\n", what);
}

// The newest frame of each kind waits here for the socket loop; older ones are replaced.
struct Mailbox {
    std::mutex lock;
    bool spectrumReady = false;
    std::array<int32_t, Spectrum::kValues> spectrum{};
    bool colourReady = false;
    std::array<int32_t, 6> colour{};
    int wake = -1;  // eventfd

    void Notify()
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wake, &one, sizeof one);
    }
};

struct Client {
    int fd = -1;
    StreamParser parser;
    std::vector<uint8_t> out;
};

void CaptureSound(Mailbox& box, std::atomic<bool>& running)
{
    Spectrum spectrum;
    std::vector<float> hop(kHop);
    const char* device = std::getenv("TESSEL_LIGHTRECORD_SOURCE");
    bool toldFailure = false;
    while (running) {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = uint32_t(kHop * sizeof(float));  // one frame of latency, not seconds
        int error = 0;
        pa_simple* s = pa_simple_new(nullptr, "tessel-lightrecord", PA_STREAM_RECORD,
                                     device && *device ? device : "@DEFAULT_MONITOR@", "lighting", &spec,
                                     nullptr, &attr, &error);
        if (!s) {
            if (!toldFailure)
                std::fprintf(stderr, "tessel-lightrecord: no sound capture (%s); trying again\n", pa_strerror(error));
            toldFailure = true;
            std::this_thread::sleep_for(std::chrono::seconds(2));
            continue;
        }
        toldFailure = false;
        int tail = 0;
        while (running) {
            if (pa_simple_read(s, hop.data(), hop.size() * sizeof(float), &error) < 0)
                break;
            spectrum.Push(hop.data(), kHop);
            bool loud = false;
            for (float v : hop)
                loud = loud || std::fabs(v) > kSilence;
            if (loud)
                tail = kTailFrames;
            else if (tail == 0)
                continue;  // silence: nothing to report
            else
                --tail;
            {
                std::lock_guard g(box.lock);
                spectrum.Compute(box.spectrum.data());
                box.spectrumReady = true;
            }
            box.Notify();
        }
        pa_simple_free(s);
    }
}

void CaptureScreen(Mailbox& box, std::atomic<bool>& running)
{
    ScreenColour screen;
    std::string why;
    if (!screen.Open(why)) {
        Say(why.c_str());
        return;
    }
    std::array<int32_t, 6> last{-1, -1, -1, -1, -1, -1};
    while (running) {
        std::array<int32_t, 6> c{};
        if (screen.Sample(c) && c != last) {
            last = c;
            {
                std::lock_guard g(box.lock);
                box.colour = c;
                box.colourReady = true;
            }
            box.Notify();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kScreenIntervalMs));
    }
}

// Queues a whole record or nothing, so a slow reader never sees a torn one.
void Queue(Client& c, const std::vector<uint8_t>& record)
{
    if (c.out.size() + record.size() <= kMaxPending)
        c.out.insert(c.out.end(), record.begin(), record.end());
}

bool Flush(Client& c)
{
    while (!c.out.empty()) {
        const ssize_t n = send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bool screen = Env("TESSEL_LIGHTRECORD_SCREEN", 1) != 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-screen") == 0) {
            screen = false;
        } else {
            std::fprintf(stderr, "usage: %s [--no-screen]\n", argv[0]);
            return 2;
        }
    }
    // Lighting is never worth taking time from anything else, least of all the sound.
    setpriority(PRIO_PROCESS, 0, 10);

    // The lock says "running" to Tessel's watchdog; the kernel drops it however we end.
    const std::string lockPath = LockPath();
    const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        Say("another capture program is running");
        return 0;
    }
    // Our process id in the lock file, for whoever wants to see which program holds it.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(lock, 0) == 0) {
        [[maybe_unused]] ssize_t n = pwrite(lock, pid.data(), pid.size(), 0);
    }

    const std::string socketPath = SocketPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path) {
        Say("the runtime folder's path is too long for a socket");
        return 1;
    }
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // We hold the lock, so a socket file left there is a dead program's.
    unlink(socketPath.c_str());
    const mode_t old = umask(0077);
    const bool bound = listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                       listen(listener, 4) == 0;
    umask(old);
    if (!bound) {
        std::perror("tessel-lightrecord: socket");
        return 1;
    }

    Mailbox box;
    box.wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<bool> running{true};
    // The capture threads are never joined: a blocking read may not return, and the process
    // ends with _exit.
    std::thread(CaptureSound, std::ref(box), std::ref(running)).detach();
    if (screen)
        std::thread(CaptureScreen, std::ref(box), std::ref(running)).detach();

    std::vector<Client> clients;
    int registered = -1;  // fd of the Tessel that registered
    bool sending = false;
    std::array<int32_t, 3> styleColour{};
    std::array<int32_t, 3> sliders{};
    bool quit = false;
    const auto started = std::chrono::steady_clock::now();
    const int registerWithin = Env("TESSEL_LIGHTRECORD_REGISTER_MS", kRegisterWithinMs);

    auto makeParser = [&](int fd) {
        return StreamParser(
            [&, fd](uint32_t code, uint32_t value) {
                switch (code) {
                case kRegister: registered = fd; sending = false; break;
                case kReset: sending = false; break;
                case kStart: sending = registered == fd; break;
                case kStop1: case kStop2: case kStop3: quit = true; break;
                case kSliderR: case kSliderG: case kSliderB: sliders[code - kSliderR] = int32_t(value); break;
                default: break;
                }
            },
            [&](uint32_t type, const uint8_t* data, size_t kept, uint32_t) {
                if (type == kStyleColourBlock && kept >= 12)
                    for (int k = 0; k < 3; ++k)
                        styleColour[size_t(k)] = int32_t(ReadLe32(data + 4 * k));
            },
            kStyleColourBytes);
    };

    while (!quit) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}, {box.wake, POLLIN, 0}};
        for (const Client& c : clients)
            fds.push_back({c.fd, short(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        if (poll(fds.data(), fds.size(), 500) < 0 && errno != EINTR)
            break;
        if (registered < 0 &&
            std::chrono::steady_clock::now() - started > std::chrono::milliseconds(registerWithin)) {
            Say("nobody registered; ending");
            break;
        }
        if (fds[0].revents & POLLIN) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0 && clients.size() < kMaxClients) {
                clients.push_back(Client{fd, makeParser(fd), {}});
            } else if (fd >= 0) {
                close(fd);
            }
        }
        if (fds[1].revents & POLLIN) {
            uint64_t n;
            [[maybe_unused]] ssize_t r = read(box.wake, &n, sizeof n);
            std::vector<uint8_t> spectrumRecord, colourRecord;
            {
                std::lock_guard g(box.lock);
                if (box.spectrumReady)
                    spectrumRecord = EncodeBlock(kSpectrumBlock, box.spectrum.data(), sizeof box.spectrum);
                if (box.colourReady)
                    colourRecord = EncodeBlock(kScreenColourBlock, box.colour.data(), sizeof box.colour);
                box.spectrumReady = box.colourReady = false;
            }
            for (Client& c : clients) {
                if (c.fd != registered || !sending)
                    continue;
                if (!spectrumRecord.empty())
                    Queue(c, spectrumRecord);
                if (!colourRecord.empty())
                    Queue(c, colourRecord);
            }
        }
        for (size_t i = 0; i < clients.size() && !quit;) {
            Client& c = clients[i];
            // Found by descriptor: a client accepted in this round was not polled, and a client
            // dropped before it shifts the positions.
            short ev = 0;
            for (size_t k = 2; k < fds.size(); ++k)
                if (fds[k].fd == c.fd)
                    ev = fds[k].revents;
            bool drop = false;
            if (ev & (POLLIN | POLLHUP | POLLERR)) {
                uint8_t buf[4096];
                const ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                    drop = true;
                } else if (n > 0) {
                    if (!c.parser.Feed(buf, size_t(n)))
                        drop = true;
                }
            }
            if (!drop && !c.out.empty())
                drop = !Flush(c);
            if (drop) {
                close(c.fd);
                if (c.fd == registered) {
                    // The Tessel we report to has gone.
                    quit = true;
                }
                clients.erase(clients.begin() + long(i));
                continue;
            }
            ++i;
        }
    }
    running = false;
    unlink(socketPath.c_str());
    std::fflush(stderr);
    _exit(0);
}
