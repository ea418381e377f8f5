#pragma once

#include <memory>
#include <string>

#include "protocol/CommandTransport.h"
#include "sim/Simulator.h"

// An in-process simulator serving one folder, and the command transport of one virtual device
// attached to it as discovery would attach it: the route's command collection opened on channel
// A (cable) or B (receiver), the transport marked ready and its mode set.
class SimDevice {
public:
    SimDevice(const std::string& folder, bool timing);
    ~SimDevice();

    sim::Simulator& simulator() { return *m_sim; }
    // Plugs `kind` on `route` and attaches `transport` to its command collection.
    bool attach(CommandTransport& transport, sim::DeviceKind kind, sim::Route route);
    // The socket of the command collection of `kind` on `route`; empty when it has none.
    static std::string commandSocket(const std::string& folder, sim::DeviceKind kind,
                                     sim::Route route);

private:
    std::string m_folder;
    std::unique_ptr<sim::Simulator> m_sim;
};
