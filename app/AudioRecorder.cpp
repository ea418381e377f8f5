#include "app/AudioRecorder.h"

#include "hid/DebugLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <cstring>
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
    m_socket = new QLocalSocket(this);
    m_socket->connectToServer(QString::fromStdString(lightrecord::SocketPath()));
    if (!m_socket->waitForConnected(kConnectWaitMs)) {
        Drop();
        return false;
    }
    m_parser = std::make_unique<lightrecord::StreamParser>(
        nullptr, [this](uint32_t type, const uint8_t* data, size_t kept, uint32_t size) { OnBlock(type, data, kept, size); },
        lightrecord::kSpectrumBufferBytes);
    connect(m_socket, &QLocalSocket::readyRead, this, &AudioRecorder::OnReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, [this] { *m_registered = false; });
    return true;
}

void AudioRecorder::Drop()
{
    *m_registered = false;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_parser.reset();
}

bool AudioRecorder::IsConnected() const
{
    return m_socket && m_socket->state() == QLocalSocket::ConnectedState;
}

void AudioRecorder::Write(const std::vector<uint8_t>& record)
{
    if (!IsConnected() || m_socket->bytesToWrite() + qint64(record.size()) > kMaxUnsent)
        return;
    m_socket->write(reinterpret_cast<const char*>(record.data()), qint64(record.size()));
    // Hand it to the kernel now; never wait for the capture program to read it.
    m_socket->flush();
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
    if (!m_socket || !m_parser)
        return;
    char buf[8192];
    for (;;) {
        const qint64 n = m_socket->read(buf, sizeof buf);
        if (n <= 0)
            break;
        if (!m_parser->Feed(reinterpret_cast<const uint8_t*>(buf), size_t(n))) {
            qCDebug(tesselDebug) << "capture program stream out of step; connection dropped";
            Drop();
            return;
        }
        if (!m_socket)
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
