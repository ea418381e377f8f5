// Transport figures against the simulator's USB timing model, each printed with the bus limit
// of that model and the ratio limit / measured (1.0 = as fast as the bus allows).
//
// The timing model moves one report per direction per bus frame. A command is lock-step (the
// next request waits for the reply and its echo check): its request takes the current frame's
// OUT slot and its reply comes in the next IN frame, so the bus allows one command per frame on
// the cable, and one per frame plus the receiver's latency through the 2.4 GHz receiver. The
// frame and the latency are read from the running simulator. Nothing can beat the bus, so a
// ratio above 1 means the limit's formula is wrong: it is flagged and the exit status is 1.
//
// Usage: tessel_bench_transport [--smoke]   (--smoke: a few iterations, to check it still runs)

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "SimDevice.h"
#include "protocol/ChunkPlan.h"
#include "protocol/LightingFrame.h"
#include "protocol/MacroImage.h"

using namespace protocol;
using Clock = std::chrono::steady_clock;

namespace {

// The bus model of the simulator in use, read from it at start.
double g_frameMs = 0;
double g_receiverDelayMs = 0;
int g_scale = 1;  // iterations divided by this (--smoke)
bool g_broken = false;

// Prints "(ratio r)" and flags a ratio the bus cannot allow.
const char* checkRatio(double ratio)
{
    if (ratio > 1.0) {
        g_broken = true;
        return " !! faster than the bus allows: the limit formula is broken";
    }
    return "";
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[at];
}

double commandLimitMs(bool receiver)
{
    return g_frameMs + (receiver ? g_receiverDelayMs : 0);
}

// The least time `commands` lock-step commands in a row can take: one command per frame (plus
// the receiver's latency), less one frame, since the first request may go out at the very end
// of a frame and be answered at the start of the next.
double runLimitMs(size_t commands, bool receiver)
{
    return commands * commandLimitMs(receiver) - g_frameMs;
}

void roundTrip(CommandTransport& transport, const char* route, bool receiver)
{
    // Single round trips vary around the per-command limit (a reply noticed late shortens the
    // next trip), so only the whole run is held against the bus.
    const int commands = 400 / g_scale;
    std::vector<double> samples;
    const auto runStart = Clock::now();
    for (int i = 0; i < commands; ++i) {
        const auto start = Clock::now();
        if (transport.lightingControlNotice() != kOk) {
            std::printf("  %-8s round trip: command failed\n", route);
            return;
        }
        samples.push_back(millisecondsSince(start));
    }
    const double total = millisecondsSince(runStart);
    const double limit = runLimitMs(commands, receiver);
    std::printf("  %-8s %d commands in a row: %.1f ms (ratio %.2f), bus limit %.1f ms; one "
                "command: median %.3f ms, p99 %.3f ms, bus allows %.1f ms per command%s\n",
                route, commands, total, limit / total, limit, percentile(samples, 0.5),
                percentile(samples, 0.99), commandLimitMs(receiver), checkRatio(limit / total));
}

void macroWrite(CommandTransport& transport, const char* route, bool receiver)
{
    // Two macros filling 4 KiB exactly: 16 + 2 × 6 + 4 × 1017 bytes.
    std::vector<MacroRecord> records(2);
    for (int i = 0; i < 1017; ++i)
        records[i % 2].push_back({static_cast<uint16_t>(i), 0x8A, static_cast<uint8_t>(i)});
    const auto image = buildMacroImage(records);
    const size_t chunks = planChunks(4096, transport.chunkSize()).size();
    const double limit = runLimitMs(chunks, receiver);
    std::vector<double> runs;
    for (int i = 0; i < std::max(1, 5 / g_scale); ++i) {
        const auto start = Clock::now();
        if (transport.writeMacroImage(image->data(), 4096) != kOk) {
            std::printf("  %-8s macro image write failed\n", route);
            return;
        }
        runs.push_back(millisecondsSince(start));
    }
    const double median = percentile(runs, 0.5);
    std::printf("  %-8s 4 KiB macro image (%zu chunks): %.1f ms, %.1f KiB/s (ratio %.2f); "
                "bus limit %.1f ms%s\n",
                route, chunks, median, 4.0 / (median / 1000.0), limit / median, limit,
                checkRatio(limit / median));
}

// Frames go out on the cable only (the device sends none through the receiver).
void frameStream(CommandTransport& transport, int frames)
{
    const char* route = "cable";
    std::vector<uint8_t> colours(4 * 104);
    LightingFrame frame{};
    const size_t chunks = planChunks(312, transport.chunkSize()).size();
    const double limit = runLimitMs(chunks * frames, false) / frames;
    int failed = 0;
    const auto start = Clock::now();
    for (int f = 0; f < frames; ++f) {
        std::fill(colours.begin(), colours.end(), static_cast<uint8_t>(f));
        const size_t length = buildLightingFrame(colours.data(), 104, frame);
        if (transport.sendLightingFrame(frame.data(), static_cast<uint32_t>(length)) != kOk)
            ++failed;
    }
    const double perFrame = millisecondsSince(start) / frames;
    std::printf("  %-8s 104-LED frame stream (%zu chunks): %.2f ms per frame, %.1f frames/s "
                "(ratio %.2f); bus limit %.1f ms, %.1f frames/s; %d failed%s\n",
                route, chunks, perFrame, 1000.0 / perFrame, limit / perFrame, limit,
                1000.0 / limit, failed, checkRatio(limit / perFrame));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--smoke") == 0)
        g_scale = 20;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    SimDevice device(dir.path().toStdString(), true);
    CommandTransport wired;
    CommandTransport wireless;
    if (!device.attach(wired, sim::DeviceKind::Keyboard, sim::Route::Cable) ||
        !device.attach(wireless, sim::DeviceKind::Keyboard, sim::Route::Receiver)) {
        std::fprintf(stderr, "could not attach the simulated keyboard\n");
        return 1;
    }
    const Json::Value model = device.simulator().state().data;
    g_frameMs = model["busFrameMs"].asDouble();
    g_receiverDelayMs = model["receiverDelayMs"].asDouble();
    if (!model["timing"].asBool() || g_frameMs <= 0) {
        std::fprintf(stderr, "the simulator runs without its timing model\n");
        return 1;
    }
    wired.openSession();
    wireless.openSession();

    std::printf("Command transport against the simulator's USB timing model "
                "(ratio = bus limit / measured; 1.0 is the bus limit)\n");
    roundTrip(wired, "cable", false);
    roundTrip(wireless, "receiver", true);
    macroWrite(wired, "cable", false);
    macroWrite(wireless, "receiver", true);
    frameStream(wired, 200 / g_scale);

    wired.closeSession();
    wireless.closeSession();
    return g_broken ? 1 : 0;
}
