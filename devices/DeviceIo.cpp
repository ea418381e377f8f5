#include "devices/DeviceIo.h"

#include "hid/DebugLog.h"
#include "hid/NodeIdentity.h"
#include "protocol/ResultCodes.h"

#include <QDateTime>
#include <QMetaObject>

#include <algorithm>

namespace {

constexpr uint32_t kListenerStopMs = 500;

int64_t nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

DeviceIo::DeviceIo(CommandTransport& transport, QObject* context) : m_transport(transport), m_context(context) {}

DeviceIo::~DeviceIo()
{
    DetachListener(false);
    DetachListener(true);
    Stop();
}

// --- Requests ---

void DeviceIo::Enqueue(Request request)
{
    std::unique_lock lock(m_lock);
    if (!m_answering.load() && !request.marker && request.kind != IoKind::Read) {
        // Not queued behind the reads that are waiting for the device: it fails now.
        Landing landing = request.fail(IoFailure::NotAnswering);
        ++m_unlanded;
        lock.unlock();
        Land(std::move(landing));
        return;
    }
    if (!request.coalesce.empty()) {
        auto same = std::find_if(m_queue.begin(), m_queue.end(), [&](const Request& r) {
            return r.coalesce == request.coalesce && r.kind == request.kind;
        });
        if (same != m_queue.end()) {
            // A frame or a command of the same name still waiting is replaced by the newer one,
            // which supersedes it (the newest colours, the newest settings block); a read
            // waiting answers for both.
            if (request.kind != IoKind::Read)
                *same = std::move(request);
            return;
        }
    }
    m_queue.push_back(std::move(request));
    ++m_unlanded;
    if (!m_thread.joinable()) {
        m_stopping = false;
        m_thread = std::thread([this] { WorkerLoop(); });
    }
    lock.unlock();
    m_wake.notify_all();
}

void DeviceIo::AfterQueued(std::function<void()> then)
{
    Request request;
    request.marker = true;
    request.run = [then](CommandTransport&, const std::function<IoFailure(int)>&) -> Landing { return then; };
    request.fail = [then](IoFailure) -> Landing { return then; };
    Enqueue(std::move(request));
}

void DeviceIo::Land(Landing landing)
{
    QObject* context = m_context.data();
    if (!landing || !context) {
        --m_unlanded;
        return;
    }
    QMetaObject::invokeMethod(context, [this, landing = std::move(landing)] {
        landing();
        --m_unlanded;
    }, Qt::QueuedConnection);
}

void DeviceIo::Notify(Landing notice)
{
    if (QObject* context = m_context.data())
        QMetaObject::invokeMethod(context, std::move(notice), Qt::QueuedConnection);
}

void DeviceIo::Stop()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        m_unlanded -= int64_t(m_queue.size());
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard lock(m_lock);
    m_stopping = false;
}

void DeviceIo::WorkerLoop()
{
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
        if (m_queue.empty()) {
            if (m_answering.load()) {
                m_wake.wait(lock, [&] { return m_stopping || !m_queue.empty() || !m_answering.load(); });
                continue;
            }
            // Not answering and nothing to send: probe once a second.
            const auto due = m_lastSent + kProbeInterval;
            if (std::chrono::steady_clock::now() < due) {
                m_wake.wait_until(lock, due, [&] { return m_stopping || !m_queue.empty(); });
                continue;
            }
            m_running = true;
            lock.unlock();
            Probe();
            lock.lock();
            m_running = false;
            continue;
        }
        Request request = std::move(m_queue.front());
        m_queue.pop_front();
        m_running = true;
        lock.unlock();
        Serve(request);
        lock.lock();
        m_running = false;
    }
}

void DeviceIo::Serve(Request& request)
{
    if (request.marker) {
        Land(request.run(m_transport, {}));
        return;
    }
    if (!m_answering.load() && request.kind != IoKind::Read) {
        Land(request.fail(IoFailure::NotAnswering));
        return;
    }
    const CommandTransport::Tally before = m_transport.tally();
    m_transport.setHoldAfterTimeout(true);
    // Why a result other than success came about, judged from what the transport saw meanwhile.
    auto classify = [&](int code) {
        const CommandTransport::Tally now = m_transport.tally();
        if (DeviceGone())
            return IoFailure::Unplugged;
        if (now.timedOut > before.timedOut || now.held > before.held)
            return IoFailure::NotAnswering;
        if (code == protocol::kNoLink)
            return IoFailure::OutOfReach;
        if (code == protocol::kStatusFF || code == protocol::kStatusFE || code == protocol::kMacroTransferFailed)
            return IoFailure::Refused;
        return IoFailure::None;
    };
    Landing landing = request.run(m_transport, classify);
    m_transport.setHoldAfterTimeout(false);
    TakeOutcome(before, true);
    Land(std::move(landing));
}

void DeviceIo::TakeOutcome(const CommandTransport::Tally& before, bool mayMarkSilent)
{
    const CommandTransport::Tally after = m_transport.tally();
    std::lock_guard lock(m_lock);
    m_lastSent = std::chrono::steady_clock::now();
    if (after.answered > before.answered && after.timedOut == before.timedOut)
        SetAnsweringLocked(true);
    else if (mayMarkSilent && after.timedOut > before.timedOut && !DeviceGone())
        SetAnsweringLocked(false);
}

void DeviceIo::Probe()
{
    const CommandTransport::Tally before = m_transport.tally();
    m_transport.setHoldAfterTimeout(true);
    CommandTransport::InfoBlock info{};
    m_transport.readInformation(info);
    m_transport.setHoldAfterTimeout(false);
    TakeOutcome(before, false);  // a probe only ever brings the device back
}

void DeviceIo::SetAnsweringLocked(bool answering)
{
    if (m_answering.load() == answering)
        return;
    const int64_t since = answering ? 0 : nowMs();
    m_sinceMs.store(since);
    m_answering.store(answering);
    qCDebug(tesselDebug, answering ? "device answers again" : "device stopped answering");
    if (!answering) {
        // What waits behind the time-out fails now instead of timing out in turn; reads stay.
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (!it->marker && it->kind != IoKind::Read) {
                Land(it->fail(IoFailure::NotAnswering));
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (m_availability) {
        auto handler = m_availability;
        Notify([handler, answering, since] { handler(answering, since); });
    }
    m_wake.notify_all();
}

void DeviceIo::SetAvailabilityHandler(std::function<void(bool, int64_t)> handler)
{
    std::lock_guard lock(m_lock);
    m_availability = std::move(handler);
}

void DeviceIo::Reset()
{
    std::lock_guard lock(m_lock);
    SetAnsweringLocked(true);
}

bool DeviceIo::DeviceGone() const
{
    if (!m_transport.isReady())
        return true;
    hid::HidChannel& channel = m_transport.isWireless() ? m_transport.channelB() : m_transport.channelA();
    if (!channel.isOpen())
        return true;
    return !hid::nodeIdentityOf(channel.path()).valid();
}

// --- Listener channels ---

void DeviceIo::SetEventHandler(std::function<void(uint32_t)> handler)
{
    m_onEvent = std::move(handler);
}

bool DeviceIo::ListenerOpen(bool receiver) const
{
    return m_listeners[receiver ? 1 : 0].open.load();
}

bool DeviceIo::AttachListener(const std::string& path, bool receiver)
{
    Listener& l = m_listeners[receiver ? 1 : 0];
    {
        std::lock_guard lock(l.lock);
        l.channel.close();
        l.open = l.channel.open(path, true, true, true, false);
    }
    if (!l.open)
        return false;
    l.thread.Stop(kListenerStopMs);
    l.thread.Start([this, &l](const hid::Event& exit) { ListenerLoop(l, exit); });
    return true;
}

void DeviceIo::DetachListener(bool receiver)
{
    Listener& l = m_listeners[receiver ? 1 : 0];
    if (!l.open && !l.thread.IsRunning())
        return;
    // The listener blocks in a read without time-out: closing the channel releases it.
    l.thread.RequestStop();
    {
        std::lock_guard lock(l.lock);
        l.open = false;
        l.channel.close();
    }
    if (!l.thread.Stop(kListenerStopMs))
        qCDebug(tesselDebug) << "线程退出：：对象处于非激发状态，超时";
}

void DeviceIo::ListenerLoop(Listener& l, const hid::Event& exit)
{
    std::vector<uint8_t> report(65, 0);
    while (!exit.isSet()) {
        if (!l.open.load()) {
            exit.wait(100);
            continue;
        }
        uint32_t got = 0;
        const uint32_t length = std::max<uint32_t>(l.channel.caps().inputReportByteLength, 2);
        report.assign(length, 0);
        if (!l.channel.readReport(report.data(), length, &got, hid::kInfinite) || got == 0) {
            // A closed or lost channel fails at once; rest a little so a gone device does not
            // spin this loop until discovery notices.
            exit.wait(20);
            continue;
        }
        if (!l.channel.decodeInputReport(report.data(), got, hid::ReportType::Input))
            continue;
        const auto& items = l.channel.items(hid::ReportType::Input);
        if (items.empty())
            continue;
        const hid::HidDataItem& first = items.front();
        const uint32_t code = first.isButton ? (first.usages.empty() ? 0u : first.usages.front()) : first.value;
        qCDebug(tesselDebug) << "接收到自动添加设备的同步信息要求  TEST" << Qt::hex << code;
        if (code == 0 || !m_onEvent)
            continue;
        auto handler = m_onEvent;
        Notify([handler, code] { handler(code); });
    }
    qCDebug(tesselDebug) << m_listenerExitTrace.load();
}
