#include "lightrecord/FrequencyBins.h"

#include <algorithm>
#include <cmath>
#include <fftw3.h>

namespace lightrecord {

Spectrum::Spectrum() : m_ring(kWindow, 0.0f), m_hann(kWindow)
{
    m_in = fftwf_alloc_real(kWindow);
    m_out = fftwf_alloc_complex(kWindow / 2 + 1);
    // FFTW_ESTIMATE: no timing runs at start-up, no wisdom files written.
    m_plan = fftwf_plan_dft_r2c_1d(kWindow, m_in, static_cast<fftwf_complex*>(m_out), FFTW_ESTIMATE);
    for (int i = 0; i < kWindow; ++i) {
        m_hann[size_t(i)] = 0.5f - 0.5f * std::cos(2.0f * float(M_PI) * float(i) / float(kWindow - 1));
        m_hannSum += m_hann[size_t(i)];
    }
}

Spectrum::~Spectrum()
{
    fftwf_destroy_plan(m_plan);
    fftwf_free(m_in);
    fftwf_free(m_out);
}

void Spectrum::Push(const float* samples, int count)
{
    for (int i = 0; i < count; ++i) {
        m_ring[size_t(m_head)] = samples[i];
        m_head = (m_head + 1) % kWindow;
    }
}

void Spectrum::Compute(int32_t* values)
{
    for (int i = 0; i < kWindow; ++i)
        m_in[i] = m_ring[size_t((m_head + i) % kWindow)] * m_hann[size_t(i)];
    fftwf_execute(m_plan);
    const auto* out = static_cast<const fftwf_complex*>(m_out);
    for (int i = 0; i < kValues; ++i) {
        // A full-scale sine in the middle of a bin gives amplitude 1 (0 dBFS).
        const float amplitude = 2.0f * std::hypot(out[i][0], out[i][1]) / m_hannSum;
        const float db = amplitude > 0 ? 20.0f * std::log10(amplitude) : -1000.0f;
        values[i] = int32_t(std::clamp((db + 90.0f) * 30.0f, 0.0f, 2700.0f));
    }
}

}  // namespace lightrecord
