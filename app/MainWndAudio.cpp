// The main window's side of audio-reactive lighting: the capture program (launch, register,
// stop, watchdog), the spectrum frames turned into device levels, the screen colour, the audio
// styles and their window.

#include "app/AudioRecorder.h"
#include "app/CMainWnd.h"
#include "app/MusicWnd.h"
#include "app/PrivateMessages.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/PanelServices.h"
#include "hid/DebugLog.h"
#include "lightrecord/RecorderProtocol.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "protocol/CommandTransport.h"
#include "ui/CAudioRecordUI.h"

#include <QDir>
#include <QLabel>
#include <QTimer>
#include <chrono>

namespace {

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString UserAudioFile()
{
    return QDir(paths::userDataFolder()).filePath(QStringLiteral("AudioFile.json"));
}

QString ShippedAudioFile()
{
    return QDir(paths::defaultDataFolder()).filePath(QStringLiteral("AudioFile.json"));
}

bool Connected(CVantikUSBDevice* d)
{
    return d && d->Transport().isReady() != 0;
}

}  // namespace

void CMainWnd::StartRecorder()
{
    if (!m_recorder) {
        m_recorder = new app::AudioRecorder(this);
        m_recorder->SetHandlers([this](const int32_t* v) { ProcessSpectrum(v); },
                                [this](const int32_t* v) { ProcessScreenColour(v); });
    }
    if (m_recorder->StartRecorder()) {
        m_recorderFailureShown = false;
        return;
    }
    qCDebug(tesselDebug) << "capture program did not start:" << app::AudioRecorder::ProgramPath();
    // Told once per run of failures: the watchdog tries again every second, and a box a
    // second would make the window unusable. The box is raised after this call returns, so
    // start-up and the watchdog's message never wait for the user.
    if (m_recorderFailureShown)
        return;
    m_recorderFailureShown = true;
    QTimer::singleShot(0, this, [this] {
        editors::Services().message(this, QStringLiteral("record_open_failed"), true, 0);
    });
}

void CMainWnd::RegisterWithRecorder()
{
    if (!m_recorder)
        return;
    if (m_recorder->RegisterWithRecorder())
        SendStyleColour();
}

void CMainWnd::StopRecorder()
{
    if (m_recorder)
        m_recorder->StopRecorder();
}

void CMainWnd::SendStyleColour()
{
    if (!m_recorder || !m_recorder->IsConnected())
        return;
    const auto& c = m_audioStyles.colours[m_audioStyles.current % app::AudioStyles::kCount];
    m_recorder->SendStyleColour(c[0], c[1], c[2]);
}

void CMainWnd::ProcessSpectrum(const int32_t* values)
{
    ui::CAudioRecordUI::Feed(values, lightrecord::kSpectrumValues);
    const app::AudioSpectrum::Result r = m_spectrum.ProcessSpectrum(values, NowMs());
    if (r.stopRecorder)
        StopRecorder();
    SendAudioLevels(r.sendKeyboards, r.sendMouse);
    // Frames held now expire when the sound stops; the timer that expires them runs meanwhile.
    if (m_spectrum.FramesPending() && !PM().HasTimer(this, app::pm::kTimerAudioFrames))
        PM().SetTimer(this, app::pm::kTimerAudioFrames, 100);
}

void CMainWnd::SendAudioLevels(bool keyboards, bool mouse)
{
    if (!m_devices)
        return;
    if (keyboards) {
        for (CVantikUSBDevice* k : m_devices->Keyboards())
            if (Connected(k))
                k->SetAudioLevels(m_spectrum.KeyboardBuffer().data(), app::AudioSpectrum::kLevelBuffer);
    }
    if (mouse) {
        for (CVantikUSBDevice* m : m_devices->Mice()) {
            if (Connected(m)) {
                m->SetAudioLevels(m_spectrum.MouseBuffer().data(), app::AudioSpectrum::kLevelBuffer);
                break;
            }
        }
    }
}

void CMainWnd::ProcessScreenColour(const int32_t* values)
{
    if (!m_devices)
        return;
    for (CVantikUSBDevice* k : m_devices->Keyboards()) {
        if (Connected(k)) {
            k->SetExternalColour(values, 6);
            return;
        }
    }
}

void CMainWnd::LoadAudioStyles()
{
    m_audioDocument = app::audiofile::LoadAtStart(UserAudioFile(), ShippedAudioFile());
    m_audioStyles = app::AudioStyles::Load(m_audioDocument.isObject() ? m_audioDocument["Device"] : Json::Value());
}

void CMainWnd::StartAudioWatchdog()
{
    // The thread holds the window's link and the registration flag, never the window.
    m_workers.Start(kAudioWatchdogSlot, [link = m_link, registered = m_recorder->IsRegisteredFlag()](
                                            const hid::Event& exit) {
        for (;;) {
            if (exit.wait(1)) {
                qCDebug(tesselDebug) << "AudioDaemonThreadPrc stop";
                return;
            }
            if (exit.wait(1000))
                continue;
            if (!lightrecord::RecorderRunning()) {
                link->Post(app::pm::kRecorderStart, 0, 0);
                if (exit.wait(500))
                    continue;
                link->Post(app::pm::kRecorderRegister, 0, 0);
            } else if (!*registered) {
                // Running but not ours yet (it was still starting when the window registered).
                link->Post(app::pm::kRecorderRegister, 0, 0);
            }
        }
    });
}

void CMainWnd::OnLightSlider(const QString& name, int value)
{
    const QChar channel = name.at(0);
    const uint32_t code = channel == u'R' ? lightrecord::kSliderR
                        : channel == u'G' ? lightrecord::kSliderG
                                          : lightrecord::kSliderB;
    if (m_recorder)
        m_recorder->SendCode(code, uint32_t(value));
    if (auto* label = qobject_cast<QLabel*>(PM().FindControl(QStringLiteral("%1_light_label").arg(channel))))
        label->setText(QStringLiteral("%1 %2").arg(channel).arg(value));
}

void CMainWnd::OpenMusicWindow()
{
    if (m_musicWnd)
        return;
    auto* wnd = new MusicWnd(m_audioStyles);
    m_musicWnd = wnd;
    wnd->Create(this, QStringLiteral("MusicWnd"));
    wnd->CenterWindow();
    const int result = wnd->ShowModal();
    const app::AudioStyles edited = wnd->Styles();
    // Closed: another may open at once, before this one is gone.
    m_musicWnd.clear();
    wnd->deleteLater();
    if (result != 1)
        return;
    m_audioStyles = edited;
    SendStyleColour();
    if (!m_audioDocument.isObject())
        m_audioDocument = Json::Value(Json::objectValue);
    m_audioStyles.Store(m_audioDocument["Device"]);
    app::audiofile::Save(UserAudioFile(), m_audioDocument);
}
