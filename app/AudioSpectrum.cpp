#include "app/AudioSpectrum.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace app {

namespace {

constexpr int64_t kActiveTotal = 99;     // a frame whose differences add up to more is active
constexpr int kQuietFramesToStop = 2;    // stop once the count of quiet frames exceeds this
constexpr size_t kQueueLength = 4;
constexpr int kMessagesPerSend = 2;      // levels go out once the message count exceeds this
constexpr int64_t kFramesExpireMs = 500;

int ClampInt(int64_t v)
{
    return int(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A band reads four of every five values; the level moves a quarter of the way, in 64 bits so
// that hostile values cannot overflow.
int NextLevel(int level, const int32_t* f)
{
    const int64_t sum = int64_t(level) + f[0] + f[1] + f[2] + f[3];
    return ClampInt(sum / 4);
}

}  // namespace

AudioSpectrum::Result AudioSpectrum::ProcessSpectrum(const int32_t* values, int64_t nowMs)
{
    Result result;
    m_pending = true;
    m_lastFrameMs = nowMs;
    ++m_messages;

    Frame d;
    int64_t total = 0;
    for (int i = 0; i < kValues; ++i) {
        const int64_t diff = std::llabs(int64_t(values[i]) - int64_t(m_previous[size_t(i)]));
        d[size_t(i)] = int32_t(std::min<int64_t>(diff, std::numeric_limits<int32_t>::max()));
        total += diff;
        m_previous[size_t(i)] = values[i];
    }

    const bool active = total > kActiveTotal;
    if (active) {
        m_quiet = 0;
    } else if (++m_quiet > kQuietFramesToStop) {
        result.stopRecorder = true;
        m_quiet = 0;
    }

    m_frames.push_back(d);
    m_active.push_back(active);
    if (m_active.size() != kQueueLength)
        return result;
    if (std::find(m_active.begin(), m_active.end(), false) != m_active.end()) {
        m_frames.clear();
        m_active.clear();
        return result;
    }

    const Frame f = m_frames.front();
    m_frames.pop_front();
    m_active.pop_front();

    for (int b = 0; b < kKeyboardBands; ++b)
        m_keyboard[size_t(b)] = NextLevel(m_keyboard[size_t(b)], &f[size_t(5 * b)]);
    if (m_messages > kMessagesPerSend) {
        std::copy(m_keyboard.begin(), m_keyboard.end(), m_keyboardBuffer.begin());
        result.sendKeyboards = true;
    }

    for (int b = 0; b < kMouseBands; ++b)
        m_mouse[size_t(b)] = NextLevel(m_mouse[size_t(b)], &f[size_t(5 * b)]);
    if (m_messages > kMessagesPerSend) {
        // The mouse buffer starts at the second band.
        std::copy(m_mouse.begin() + 1, m_mouse.end(), m_mouseBuffer.begin());
        result.sendMouse = true;
        m_messages = 0;
    }
    return result;
}

bool AudioSpectrum::ExpireFrames(int64_t nowMs)
{
    if (!m_pending || nowMs - m_lastFrameMs <= kFramesExpireMs)
        return false;
    m_frames.clear();
    m_active.clear();
    m_pending = false;
    // The sound has stopped: levels kept from the last frames would leave the lights showing
    // it; they fall to silence instead.
    m_keyboard.fill(0);
    m_mouse.fill(0);
    m_keyboardBuffer.fill(0);
    m_mouseBuffer.fill(0);
    return true;
}

}  // namespace app
