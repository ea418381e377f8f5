#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <thread>

namespace hid {

// Runs the blocking sends of one open device on a thread of its own. A hidraw node's write()
// and HIDIOCSOUTPUT return only once the device took the report or the kernel gave up, and
// poll() calls the node writable all along; on this thread the caller can still give up at its
// time-out or at the channel's abort while the kernel holds the report.
//
// Sends run one at a time in the order they were handed in. A send the thread has not started
// when its caller gives up is withdrawn and never sent; a send already in the kernel runs to its
// end and its result is dropped, so no report goes out twice.
class ReportWriter {
public:
    // Sends one report: bytes taken (> 0), 0 when the device cannot take it yet, -1 with errno
    // set on an error. It owns whatever it needs (the report, the device), because it may
    // outlive both its caller and this writer.
    using Send = std::function<ssize_t()>;
    enum class Outcome { Done, TimedOut, Aborted, Failed };
    struct Result {
        Outcome outcome = Outcome::Failed;
        ssize_t bytes = 0;  // what the send returned, when Done
        int error = 0;      // errno of the send (Done with -1) or of starting the thread (Failed)
    };
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    ReportWriter();
    // Does not wait for a send the kernel still holds: the thread finishes it on its own and
    // then ends.
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Hands `send` to the thread (started on first use) and waits until it has run, until
    // `deadline` passes (no deadline: no limit) or until abort().
    Result run(Send send, Deadline deadline);
    // Releases every waiting caller with Aborted and refuses every later send.
    void abort();

private:
    struct Job;
    struct Shared;
    static void serve(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;  // started and ended under m_shared's mutex
};

}  // namespace hid
