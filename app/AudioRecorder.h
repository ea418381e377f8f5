#pragma once

#include "lightrecord/RecorderProtocol.h"

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace app {

// The application's side of the capture program: launching it, the connection to its socket,
// the codes sent to it and the blocks it sends back. Lives on the UI thread; the watchdog thread
// only reads IsRegisteredFlag(). The connection is a plain Unix stream socket served by the
// event loop (the program needs no network library for it).
class AudioRecorder : public QObject {
    Q_OBJECT
public:
    // A full spectrum block and a full screen colour block as the main window keeps them.
    using SpectrumFn = std::function<void(const int32_t* values)>;  // 500 values
    using ScreenColourFn = std::function<void(const int32_t* values)>;  // 6 values

    explicit AudioRecorder(QObject* parent = nullptr);
    ~AudioRecorder() override;

    void SetHandlers(SpectrumFn spectrum, ScreenColourFn screenColour);

    // TESSEL_LIGHTRECORD when set, else "tessel-lightrecord" in the executable's folder.
    static QString ProgramPath();
    // Launches the capture program (detached, in its own session); false when it could not be
    // started.
    bool StartRecorder();
    // Connects to the capture program and sends codes 0 (with this process's id), 3, 1. False
    // when no capture program answers.
    bool RegisterWithRecorder();
    // Sends codes 2, 4, 5 when a capture program answers; it ends on them.
    void StopRecorder();
    // Sends one code (the slider codes 6, 7, 8) while connected.
    void SendCode(uint32_t code, uint32_t value);
    // The style colour block (G 0 goes as 1) while connected.
    void SendStyleColour(int r, int g, int b);

    bool IsConnected() const;
    // Shared with the watchdog: true while a registered connection is open.
    std::shared_ptr<std::atomic<bool>> IsRegisteredFlag() const { return m_registered; }

    // Bytes of a block the main window keeps.
    const std::array<uint8_t, lightrecord::kSpectrumBufferBytes>& SpectrumBuffer() const { return m_spectrum; }
    const std::array<uint8_t, lightrecord::kScreenColourBytes>& ScreenBuffer() const { return m_screen; }

private:
    bool Connect();
    void Write(const std::vector<uint8_t>& record);
    void OnReadyRead();
    void OnWritable();
    void FlushPending();
    void OnBlock(uint32_t type, const uint8_t* data, size_t kept, uint32_t size);
    void Drop();

    int m_fd = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    // Records the kernel has not taken yet, from m_pendingSent on.
    std::vector<uint8_t> m_pending;
    size_t m_pendingSent = 0;
    std::unique_ptr<lightrecord::StreamParser> m_parser;
    SpectrumFn m_onSpectrum;
    ScreenColourFn m_onScreenColour;
    std::array<uint8_t, lightrecord::kSpectrumBufferBytes> m_spectrum{};
    std::array<uint8_t, lightrecord::kScreenColourBytes> m_screen{};
    std::shared_ptr<std::atomic<bool>> m_registered = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace app
