#include "app/AudioRecorder.h"

#include "hid/DebugLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {

namespace {

// A capture program that stops reading must not make the application hold ever more for it:
// past this, records are dropped (whole) until it reads again.
constexpr qint64 kMaxUnsent = 64 * 1024;
constexpr int kConnectWaitMs = 200;

void ToInts(const uint8_t* bytes, int32_t* out, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = int32_t(lightrecord::ReadLe32(bytes + 4 * i));
}

}  // namespace

AudioRecorder::AudioRecorder(QObject* parent) : QObject(parent) {}

AudioRecorder::~AudioRecorder()
{
    *m_registered = false;
}

void AudioRecorder::SetHandlers(SpectrumFn spectrum, ScreenColourFn screenColour)
{
    m_onSpectrum = std::move(spectrum);
    m_onScreenColour = std::move(screenColour);
}

QString AudioRecorder::ProgramPath()
{
    const QString env = qEnvironmentVariable("TESSEL_LIGHTRECORD");
    if (!env.isEmpty())
        return env;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tessel-lightrecord"));
}

bool AudioRecorder::StartRecorder()
{
    const QString program = ProgramPath();
    if (!QFileInfo(program).isExecutable())
        return false;
    QProcess p;
    p.setProgram(program);
    p.setStandardInputFile(QProcess::nullDevice());
    return p.startDetached();
}

bool AudioRecorder::Connect()
{
    if (IsConnected())
        return true;
    Drop();
    const std::string path = lightrecord::SocketPath();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        // A listener whose queue is full takes the connection a little later; wait a short while.
        bool connected = false;
        if (errno == EAGAIN || errno == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            int error = 0;
            socklen_t size = sizeof error;
            connected = ::poll(&p, 1, kConnectWaitMs) > 0 &&
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        if (!connected) {
            ::close(fd);
            return false;
        }
    }
    m_fd = fd;
    m_parser = std::make_unique<lightrecord::StreamParser>(
        nullptr, [this](uint32_t type, const uint8_t* data, size_t kept, uint32_t size) { OnBlock(type, data, kept, size); },
        lightrecord::kSpectrumBufferBytes);
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &AudioRecorder::OnReadyRead);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &AudioRecorder::OnWritable);
    return true;
}

void AudioRecorder::Drop()
{
    *m_registered = false;
    if (m_fd >= 0) {
        // The notifiers may be the ones whose signal is being delivered: switched off now,
        // deleted once the event loop is back.
        for (QSocketNotifier* n : {m_readNotifier, m_writeNotifier}) {
            n->setEnabled(false);
            n->disconnect(this);
            n->deleteLater();
        }
        m_readNotifier = m_writeNotifier = nullptr;
        ::close(m_fd);
        m_fd = -1;
    }
    m_pending.clear();
    m_pendingSent = 0;
    m_parser.reset();
}

bool AudioRecorder::IsConnected() const
{
    return m_fd >= 0;
}

void AudioRecorder::Write(const std::vector<uint8_t>& record)
{
    if (!IsConnected() || qint64(m_pending.size() - m_pendingSent + record.size()) > kMaxUnsent)
        return;
    if (m_pendingSent > 0) {
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(m_pendingSent));
        m_pendingSent = 0;
    }
    m_pending.insert(m_pending.end(), record.begin(), record.end());
    // Hand it to the kernel now; never wait for the capture program to read it.
    FlushPending();
}

void AudioRecorder::FlushPending()
{
    while (m_fd >= 0 && m_pendingSent < m_pending.size()) {
        const ssize_t n = ::send(m_fd, m_pending.data() + m_pendingSent, m_pending.size() - m_pendingSent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        if (n <= 0) {
            // The capture program has gone.
            Drop();
            return;
        }
        m_pendingSent += size_t(n);
    }
    if (m_fd < 0)
        return;
    m_pending.clear();
    m_pendingSent = 0;
    m_writeNotifier->setEnabled(false);
}

void AudioRecorder::OnWritable()
{
    FlushPending();
}

bool AudioRecorder::RegisterWithRecorder()
{
    if (!Connect())
        return false;
    Write(lightrecord::EncodeMessage(lightrecord::kRegister, uint32_t(getpid())));
    Write(lightrecord::EncodeMessage(lightrecord::kReset, 0));
    Write(lightrecord::EncodeMessage(lightrecord::kStart, 0));
    *m_registered = true;
    return true;
}

void AudioRecorder::StopRecorder()
{
    if (!Connect())
        return;
    for (uint32_t code : {lightrecord::kStop1, lightrecord::kStop2, lightrecord::kStop3})
        Write(lightrecord::EncodeMessage(code, 0));
    *m_registered = false;
}

void AudioRecorder::SendCode(uint32_t code, uint32_t value)
{
    Write(lightrecord::EncodeMessage(code, value));
}

void AudioRecorder::SendStyleColour(int r, int g, int b)
{
    Write(lightrecord::EncodeStyleColour(r, g == 0 ? 1 : g, b));
}

void AudioRecorder::OnReadyRead()
{
    if (m_fd < 0 || !m_parser)
        return;
    char buf[8192];
    // A bounded number of reads per wake-up; the notifier fires again while data is waiting.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            // The capture program closed the connection (or it failed).
            Drop();
            return;
        }
        if (!m_parser->Feed(reinterpret_cast<const uint8_t*>(buf), size_t(n))) {
            qCDebug(tesselDebug) << "capture program stream out of step; connection dropped";
            Drop();
            return;
        }
        if (m_fd < 0)
            return;  // a handler dropped the connection
    }
}

void AudioRecorder::OnBlock(uint32_t type, const uint8_t* data, size_t kept, uint32_t size)
{
    if (size == 0)
        return;
    if (type == lightrecord::kSpectrumBlock) {
        // The block replaces the front of the fixed buffer; never more than the buffer holds.
        std::memcpy(m_spectrum.data(), data, std::min(kept, m_spectrum.size()));
        if (m_onSpectrum) {
            std::array<int32_t, lightrecord::kSpectrumValues> values;
            ToInts(m_spectrum.data(), values.data(), values.size());
            m_onSpectrum(values.data());
        }
    } else if (type == lightrecord::kScreenColourBlock) {
        std::memcpy(m_screen.data(), data, std::min(kept, m_screen.size()));
        if (m_onScreenColour) {
            std::array<int32_t, 6> values;
            ToInts(m_screen.data(), values.data(), values.size());
            m_onScreenColour(values.data());
        }
    }
}

}  // namespace app
