#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace app {

// Turns the capture program's spectrum frames into the audio levels of the keyboards (25
// bands) and of the mice (10 bands). Frames are compared with the one before; a frame whose
// differences add up to 99 or less is quiet, and three quiet frames in a row mean the sound has
// stopped. Difference frames wait in a queue of four; once four active ones are queued the
// oldest feeds the levels, a quiet one among them discards all four. The levels move a quarter
// of the way each time and are handed out at most on every third message.
class AudioSpectrum {
public:
    static constexpr int kValues = 500;
    static constexpr int kKeyboardBands = 25;
    static constexpr int kMouseBands = 10;
    // Devices take a buffer of this many levels (the bands first, zeros after).
    static constexpr int kLevelBuffer = 500;

    struct Result {
        bool stopRecorder = false;   // third quiet frame in a row
        bool sendKeyboards = false;  // every keyboard gets KeyboardBuffer()
        bool sendMouse = false;      // the first mouse gets MouseBuffer()
    };

    // One spectrum frame (kValues values) received at `nowMs`.
    Result ProcessSpectrum(const int32_t* values, int64_t nowMs);
    // Timer 1067: more than 500 ms without a frame empties the queues and sets the levels to
    // zero (the buffers too). True when it did: the devices should get the silent buffers.
    bool ExpireFrames(int64_t nowMs);

    // The keyboard levels followed by zeros.
    const std::array<int, kLevelBuffer>& KeyboardBuffer() const { return m_keyboardBuffer; }
    // The mouse levels from the second band on, followed by zeros.
    const std::array<int, kLevelBuffer>& MouseBuffer() const { return m_mouseBuffer; }

    const std::array<int, kKeyboardBands>& KeyboardLevels() const { return m_keyboard; }
    const std::array<int, kMouseBands>& MouseLevels() const { return m_mouse; }
    int QuietCount() const { return m_quiet; }
    int MessageCount() const { return m_messages; }
    size_t Queued() const { return m_frames.size(); }
    bool FramesPending() const { return m_pending; }

private:
    using Frame = std::array<int32_t, kValues>;

    std::array<int32_t, kValues> m_previous{};
    int m_quiet = 0;
    int m_messages = 0;
    std::deque<Frame> m_frames;
    std::deque<bool> m_active;
    std::array<int, kKeyboardBands> m_keyboard{};
    std::array<int, kMouseBands> m_mouse{};
    std::array<int, kLevelBuffer> m_keyboardBuffer{};
    std::array<int, kLevelBuffer> m_mouseBuffer{};
    bool m_pending = false;
    int64_t m_lastFrameMs = 0;
};

}  // namespace app
