#pragma once

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <concepts>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hid/HidChannel.h"
#include "hid/WorkerThread.h"
#include "protocol/CommandTransport.h"

// Why a device operation failed, in the terms the user is told.
enum class IoFailure : uint8_t {
    None,          // it did not fail, or failed in a way of its own (its code says how)
    NotAnswering,  // no reply in time (now or since an earlier time-out)
    OutOfReach,    // the receiver answered for a wireless device it cannot reach
    Refused,       // the device answered with a failure status
    Unplugged,     // the device went away (or was not connected)
};

// What every request of the I/O worker gives back: the operation's result code (the codes of
// protocol/ResultCodes.h, 1 success) and, when it failed, why. A request that returns more
// derives its result from this.
struct IoResult {
    int code = 0;
    IoFailure failure = IoFailure::None;
    bool ok() const { return code == 1; }
};

// How the worker treats a request while the device is not answering.
enum class IoKind : uint8_t {
    // A page action or a profile push: fails at once, without reaching the device.
    Command,
    // A read of the device tab's timers or of the connection (status, link check, settings
    // read-back): still sent, one after another, so the device's next answer is seen.
    Read,
    // A lighting frame: only the newest one waits; none is sent.
    Frame,
};

// A device's I/O: one worker thread that serves the device's requests in the order they were
// posted, and the device's listener channels (its event reports).
//
// The UI thread posts a request: a function that talks to the device through its
// CommandTransport and returns what it found (a value deriving from IoResult), and the function
// that takes the answer. The worker runs the first; the second then runs on the UI thread (as a
// queued call on the context object, dropped if that object is gone). So a device that stops
// answering costs the window nothing: only this worker waits for it. Requests are built from
// copies of what they need; they never touch widgets or the device's page state.
//
// One thread per device, rather than one for all: the transport waits in blocking reads of up
// to a second on the cable and five behind the receiver, and a device that stops answering
// must not hold up the others.
//
// Failing fast: the first request that sees a time-out marks the device "not answering" (the
// context is told, with the time), and the rest of that request gives up at once (the transport
// is held). While the device is not answering, commands and frames fail at once without
// reaching it, those already waiting included; reads still go out one at a time, and every
// second the worker sends a probe of its own (a read of the information block) when nothing
// else did. The first answer marks the device answering again.
class DeviceIo {
public:
    static constexpr auto kProbeInterval = std::chrono::milliseconds(1000);

    DeviceIo(CommandTransport& transport, QObject* context);
    ~DeviceIo();
    DeviceIo(const DeviceIo&) = delete;
    DeviceIo& operator=(const DeviceIo&) = delete;

    // Queues `io` for the worker; its result lands in `landed` on the context's thread. With a
    // `coalesce` name, a read that finds one of the same name still waiting is dropped (that one
    // answers for both), and a frame or command replaces the waiting one of its name (whose
    // landing is then dropped: coalesce only requests whose landings may be).
    template <class R>
        requires std::derived_from<R, IoResult>
    void Post(IoKind kind, std::function<R(CommandTransport&)> io, std::function<void(R)> landed = {},
              const char* coalesce = nullptr);
    // Runs `then` on the context's thread once every request posted before it has landed.
    void AfterQueued(std::function<void()> then);

    // Whether the device answers, and since when (milliseconds since the epoch) it does not.
    bool Answering() const { return m_answering.load(); }
    int64_t NotAnsweringSinceMs() const { return m_sinceMs.load(); }
    // Called on the context's thread whenever the device stops or starts answering.
    void SetAvailabilityHandler(std::function<void(bool answering, int64_t sinceMs)> handler);
    // A new connection: the device counts as answering again.
    void Reset();
    // Requests posted whose result has not landed yet (waiting, running, or on their way back).
    size_t Pending() const { return size_t(m_unlanded.load()); }
    // Ends the worker (a transfer in progress ends with its time-out, or at once when the
    // channels were closed first); requests still waiting are dropped without landing. A later
    // Post starts it again.
    void Stop();

    // --- Listener channels: A behind the cable, B behind the receiver ---
    // Called on the context's thread with the first usage of each event report.
    void SetEventHandler(std::function<void(uint32_t code)> handler);
    // The debug trace a listener thread writes when it ends.
    void SetListenerExitTrace(const char* trace) { m_listenerExitTrace = trace; }
    bool AttachListener(const std::string& path, bool receiver);
    void DetachListener(bool receiver);
    bool ListenerOpen(bool receiver) const;

private:
    using Landing = std::function<void()>;
    struct Request {
        IoKind kind = IoKind::Command;
        std::string coalesce;
        bool marker = false;  // AfterQueued: never sent, never failed
        // Runs on the worker; `classify` turns the result code into its failure.
        std::function<Landing(CommandTransport&, const std::function<IoFailure(int)>& classify)> run;
        // What lands when the request fails without being run.
        std::function<Landing(IoFailure)> fail;
    };
    struct Listener {
        hid::HidChannel channel;
        std::atomic<bool> open{false};
        std::mutex lock;
        hid::WorkerThread thread;
    };

    void Enqueue(Request request);
    // Hands a request's landing to the context's thread; it counts as landed once it ran there
    // (or at once when there is nothing to run).
    void Land(Landing landing);
    // Hands a notice (not a request) to the context's thread.
    void Notify(Landing notice);
    void WorkerLoop();
    void Serve(Request& request);
    void Probe();
    // What a request or probe showed, from the transport's counts since `before`: the device
    // answers again after a reply without a time-out; with `mayMarkSilent`, it stopped answering
    // after a time-out while it is still there.
    void TakeOutcome(const CommandTransport::Tally& before, bool mayMarkSilent);
    // Marks the device answering or not; under m_lock. Commands and frames still waiting fail
    // when it stops answering.
    void SetAnsweringLocked(bool answering);
    bool DeviceGone() const;
    void ListenerLoop(Listener& listener, const hid::Event& exit);

    CommandTransport& m_transport;
    QPointer<QObject> m_context;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    bool m_running = false;    // a request is being served
    bool m_stopping = false;
    std::thread m_thread;
    std::chrono::steady_clock::time_point m_lastSent{};
    std::atomic<bool> m_answering{true};
    std::atomic<int64_t> m_sinceMs{0};
    std::atomic<int64_t> m_unlanded{0};
    std::function<void(bool, int64_t)> m_availability;

    Listener m_listeners[2];  // [0] channel A (cable), [1] channel B (receiver)
    std::function<void(uint32_t)> m_onEvent;
    std::atomic<const char*> m_listenerExitTrace{"MS 设备同步线程设定退出"};
};

template <class R>
    requires std::derived_from<R, IoResult>
void DeviceIo::Post(IoKind kind, std::function<R(CommandTransport&)> io, std::function<void(R)> landed,
                    const char* coalesce)
{
    auto take = std::make_shared<std::function<void(R)>>(std::move(landed));
    Request request;
    request.kind = kind;
    if (coalesce)
        request.coalesce = coalesce;
    request.run = [io = std::move(io), take](CommandTransport& transport,
                                             const std::function<IoFailure(int)>& classify) -> Landing {
        R result = io(transport);
        result.failure = result.ok() ? IoFailure::None : classify(result.code);
        return [result = std::move(result), take]() mutable {
            if (*take)
                (*take)(std::move(result));
        };
    };
    request.fail = [take](IoFailure failure) -> Landing {
        R result{};
        result.code = 0;
        result.failure = failure;
        return [result = std::move(result), take]() mutable {
            if (*take)
                (*take)(std::move(result));
        };
    };
    Enqueue(std::move(request));
}
