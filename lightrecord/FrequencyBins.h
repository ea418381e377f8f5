#pragma once

#include <cstdint>
#include <vector>

struct fftwf_plan_s;

namespace lightrecord {

// The sound's spectrum over the latest window of samples: a Hann-windowed real FFT (FFTW3),
// each of the first 500 bins as 30 steps a decibel above -90 dBFS (0 to 2700; exact silence is
// 0), so a change in loudness moves the values the same way at every volume.
class Spectrum {
public:
    static constexpr int kWindow = 2048;
    static constexpr int kValues = 500;

    Spectrum();
    ~Spectrum();
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // Appends mono samples (-1 to 1) to the window.
    void Push(const float* samples, int count);
    // The spectrum of the current window; value i is the bin of i * rate / kWindow Hz.
    void Compute(int32_t* values);

private:
    std::vector<float> m_ring;   // the window, oldest first after `m_head`
    int m_head = 0;
    float* m_in = nullptr;       // fftwf_malloc'd
    void* m_out = nullptr;       // fftwf_complex[kWindow / 2 + 1]
    fftwf_plan_s* m_plan = nullptr;
    std::vector<float> m_hann;
    float m_hannSum = 0;
};

}  // namespace lightrecord
