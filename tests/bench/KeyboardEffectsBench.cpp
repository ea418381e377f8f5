// The keyboard lighting engine's cost per render step, mode by mode, next to a copy of the
// colour list (what the light thread holds a lock for) measured in the same run.
//   tessel_bench_keyboard_effects                 nanoseconds per step for every mode
//   tessel_bench_keyboard_effects MODE STEPS      renders STEPS steps of MODE only (for callgrind)
#include "devices/KeyboardEffects.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

lighting::KeyboardEffectInput inputFor(uint8_t mode)
{
    lighting::KeyboardEffectInput in;
    in.mode = mode;
    in.brightness = 4;
    in.speed = 4;
    in.direction = 1;
    in.multicolour = 1;
    in.red = 200, in.green = 40, in.blue = 90;
    in.musicStyle = 0;
    in.musicColourful = 1;
    return in;
}

void feed(lighting::KeyboardEffects& fx, uint8_t mode)
{
    std::vector<int> levels(25);
    for (int i = 0; i < 25; ++i) levels[size_t(i)] = (i * 37) % 500;
    fx.SetAudioLevels(levels.data(), 25);
    const int colour[3] = {10, 20, 30};
    fx.SetExternalColour(colour, 3);
    std::vector<LedEffectStep> steps(3);
    steps[0].mode = 0, steps[1].mode = 4, steps[2].mode = 5;
    for (auto& s : steps) s.brightness = 4, s.speed = 4, s.multicolour = 1, s.time = 500;
    fx.SetSteps(steps);
    if (mode == 7 || mode == 8 || mode == 25) fx.KeyEvent(50, 1, mode);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<LedColour> leds(170), copy(170);
    if (argc == 3) {
        const auto mode = uint8_t(std::atoi(argv[1]));
        const int steps = std::atoi(argv[2]);
        lighting::KeyboardEffects fx;
        const auto in = inputFor(mode);
        fx.Enter(in);
        feed(fx, mode);
        uint64_t now = 1000;
        for (int i = 0; i < steps; ++i)
            fx.Render(in, leds.data(), leds.size(), now += 2);
        return leds[0].brightness == 255 ? 0 : 0;
    }

    using clock = std::chrono::steady_clock;
    constexpr int kSteps = 20000;
    auto t0 = clock::now();
    for (int i = 0; i < kSteps; ++i) {
        std::memcpy(copy.data(), leds.data(), leds.size() * sizeof(LedColour));
        asm volatile("" ::"r"(copy.data()) : "memory");
    }
    const double copyNs = std::chrono::duration<double, std::nano>(clock::now() - t0).count() / kSteps;
    std::printf("copy of the colour list (680 bytes): %.1f ns\n", copyNs);
    std::printf("%-5s %12s %10s\n", "mode", "ns/step", "x copy");
    for (int mode = 0; mode <= 31; ++mode) {
        lighting::KeyboardEffects fx;
        const auto in = inputFor(uint8_t(mode));
        fx.Enter(in);
        feed(fx, uint8_t(mode));
        uint64_t now = 1000;
        t0 = clock::now();
        for (int i = 0; i < kSteps; ++i) {
            fx.Render(in, leds.data(), leds.size(), now += 2);
            asm volatile("" ::"r"(leds.data()) : "memory");
        }
        const double ns = std::chrono::duration<double, std::nano>(clock::now() - t0).count() / kSteps;
        std::printf("%-5d %12.1f %10.1f\n", mode, ns, ns / copyNs);
    }
    return 0;
}
