// Command round trips through HidChannel against the simulator: with the USB timing model the
// rate is bounded by one report per direction per millisecond (1000 round trips a second wired,
// less through a receiver); without it the figure is the simulator's own cost per command.
// "bus_ratio" is the measured rate over the bus limit of the route measured (one round trip per
// bus frame, plus the receiver's latency through the receiver), both read from the simulator;
// it cannot exceed 1. Without the timing model there is no limit and no ratio.

#include <benchmark/benchmark.h>

#include <chrono>

#include "SimTestSupport.h"
#include "hid/HidChannel.h"
#include "sim/Simulator.h"

namespace {

void roundTrips(benchmark::State& state, bool timing, sim::Route route) {
    simtest::TempDir dir;
    sim::SimulatorOptions options;
    options.dir = dir.path();
    options.timing = timing;
    sim::Simulator simulator(options);
    if (!simulator.start() || !simulator.plug(sim::DeviceKind::Keyboard, route).ok) {
        state.SkipWithError("simulator did not start");
        return;
    }
    hid::HidChannel channel;
    const char* name = route == sim::Route::Cable ? "hid#vid_3a17&pid_5055&mi_01&col04"
                                                  : "hid#vid_3a17&pid_5088&mi_01&col04";
    if (!simtest::openPath(channel, dir.path(), name)) {
        state.SkipWithError("cannot open the command collection");
        return;
    }
    const auto request = simtest::request(0x05, 27, 26);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!simtest::transact(channel, request)) {
            state.SkipWithError("no reply");
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetItemsProcessed(int64_t(state.iterations()));
    if (timing && seconds > 0) {
        const Json::Value model = simulator.state().data;
        const double tripMs = model["busFrameMs"].asDouble() +
                              (route == sim::Route::Receiver ? model["receiverDelayMs"].asDouble() : 0);
        // The most round trips the bus allows in that time: one per trip, plus one, since the
        // first request may go out at the very end of a frame and be answered at the next.
        const double allowed = (seconds * 1000.0 + model["busFrameMs"].asDouble()) / tripMs;
        state.counters["bus_ratio"] = double(state.iterations()) / allowed;
    }
}

void BM_WiredBusModel(benchmark::State& s) { roundTrips(s, true, sim::Route::Cable); }
void BM_ReceiverBusModel(benchmark::State& s) { roundTrips(s, true, sim::Route::Receiver); }
void BM_WiredNoTiming(benchmark::State& s) { roundTrips(s, false, sim::Route::Cable); }

BENCHMARK(BM_WiredBusModel)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ReceiverBusModel)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_WiredNoTiming)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
