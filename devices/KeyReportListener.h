#pragma once

#include "hid/HidChannel.h"
#include "hid/WorkerThread.h"

#include <QPointer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QObject;

// Reads the keyboard's keys reports (report 1 of the keys collection on its vendor interface:
// modifier bits, then up to six key usages held) on one thread per route and turns each report
// into the presses and releases since the one before. The handler runs on the context's thread
// with a keyboard usage (0xE0-0xE7 for the modifiers) and 1 (pressed) or 2 (released).
class KeyReportListener {
public:
    using Handler = std::function<void(uint8_t usage, int action)>;

    explicit KeyReportListener(QObject* context);
    ~KeyReportListener();
    KeyReportListener(const KeyReportListener&) = delete;
    KeyReportListener& operator=(const KeyReportListener&) = delete;

    void SetHandler(Handler handler) { m_handler = std::move(handler); }
    // Opens the keys collection of the interface whose notification path is `notificationPath`
    // (the same interface, collection 01); false when there is none or it does not open.
    bool Attach(const std::string& notificationPath, bool receiver);
    void Detach(bool receiver);
    bool IsOpen(bool receiver) const { return m_routes[receiver ? 1 : 0].open.load(); }

    // The keys collection's path beside an interface's other collection: "&colNN" becomes
    // "&col01"; empty for a path with a single collection.
    static std::string KeysPathBeside(const std::string& path);
    // The changes from the keys held in `before` to those of `report` (ID, modifier bits, six
    // usages), as (usage, 1 pressed / 2 released), releases first; `before` becomes the new set.
    // A report with the roll-over error (usage 1) changes nothing.
    static std::vector<std::pair<uint8_t, int>> Changes(std::array<bool, 256>& before, const uint8_t* report,
                                                         size_t length);

private:
    struct Route {
        hid::HidChannel channel;
        std::atomic<bool> open{false};
        std::mutex lock;
        hid::WorkerThread thread;
    };
    void Loop(Route& route, const hid::Event& exit);

    QPointer<QObject> m_context;
    Handler m_handler;
    Route m_routes[2];  // [0] cable, [1] receiver
};
