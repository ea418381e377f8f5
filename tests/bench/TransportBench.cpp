// Transport figures against the simulator's USB timing model, each printed with the bus limit
// of that model and the ratio limit / measured (1.0 = as fast as the bus allows).
//
// The timing model moves one report per direction per 1 ms frame. A command is lock-step (the
// next request waits for the reply and its echo check): its request takes the current frame's
// OUT slot and its reply comes in the next IN frame, so the bus allows one command per frame on
// the cable, and one per frame plus the receiver's latency through the 2.4 GHz receiver.

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "SimDevice.h"
#include "protocol/ChunkPlan.h"
#include "protocol/LightingFrame.h"
#include "protocol/MacroImage.h"

using namespace protocol;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kFrameMs = 1.0;
const uint32_t kReceiverDelayMs = sim::SimulatorOptions{}.receiverDelayMs;  // as SimDevice runs it

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
    return kFrameMs + (receiver ? kReceiverDelayMs : 0);
}

void roundTrip(CommandTransport& transport, const char* route, bool receiver)
{
    std::vector<double> samples;
    for (int i = 0; i < 400; ++i) {
        const auto start = Clock::now();
        if (transport.lightingControlNotice() != kOk) {
            std::printf("  %-8s round trip: command failed\n", route);
            return;
        }
        samples.push_back(millisecondsSince(start));
    }
    const double limit = commandLimitMs(receiver);
    const double median = percentile(samples, 0.5);
    const double p99 = percentile(samples, 0.99);
    std::printf("  %-8s round trip of one command: median %.3f ms (ratio %.2f), p99 %.3f ms "
                "(ratio %.2f); bus limit %.1f ms\n",
                route, median, limit / median, p99, limit / p99, limit);
}

void macroWrite(CommandTransport& transport, const char* route, bool receiver)
{
    // Two macros filling 4 KiB exactly: 16 + 2 × 6 + 4 × 1017 bytes.
    std::vector<MacroRecord> records(2);
    for (int i = 0; i < 1017; ++i)
        records[i % 2].push_back({static_cast<uint16_t>(i), 0x8A, static_cast<uint8_t>(i)});
    const auto image = buildMacroImage(records);
    const size_t chunks = planChunks(4096, transport.chunkSize()).size();
    const double limit = chunks * commandLimitMs(receiver);
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        if (transport.writeMacroImage(image->data(), 4096) != kOk) {
            std::printf("  %-8s macro image write failed\n", route);
            return;
        }
        runs.push_back(millisecondsSince(start));
    }
    const double median = percentile(runs, 0.5);
    std::printf("  %-8s 4 KiB macro image (%zu chunks): %.1f ms, %.1f KiB/s (ratio %.2f); "
                "bus limit %.1f ms\n",
                route, chunks, median, 4.0 / (median / 1000.0), limit / median, limit);
}

void frameStream(CommandTransport& transport, const char* route, bool receiver, int frames)
{
    std::vector<uint8_t> colours(4 * 104);
    LightingFrame frame{};
    const size_t chunks = planChunks(312, transport.chunkSize()).size();
    const double limit = chunks * commandLimitMs(receiver);
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
                "(ratio %.2f); bus limit %.1f ms, %.1f frames/s; %d failed\n",
                route, chunks, perFrame, 1000.0 / perFrame, limit / perFrame, limit,
                1000.0 / limit, failed);
}

}  // namespace

int main()
{
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
    wired.openSession();
    wireless.openSession();

    std::printf("Command transport against the simulator's USB timing model "
                "(ratio = bus limit / measured; 1.0 is the bus limit)\n");
    roundTrip(wired, "cable", false);
    roundTrip(wireless, "receiver", true);
    macroWrite(wired, "cable", false);
    macroWrite(wireless, "receiver", true);
    frameStream(wired, "cable", false, 200);
    frameStream(wireless, "receiver", true, 40);

    wired.closeSession();
    wireless.closeSession();
    return 0;
}
