#include "SimDevice.h"

#include <cstdlib>

#include "sim/ReportDescriptors.h"

SimDevice::SimDevice(const std::string& folder, bool timing) : m_folder(folder)
{
    ::setenv("TESSEL_SIM_DIR", folder.c_str(), 1);
    sim::SimulatorOptions options;
    options.dir = folder;
    options.timing = timing;
    options.controlSocket = false;
    m_sim = std::make_unique<sim::Simulator>(options);
    m_sim->start();
}

SimDevice::~SimDevice()
{
    m_sim->stop();
}

std::string SimDevice::commandSocket(const std::string& folder, sim::DeviceKind kind,
                                     sim::Route route)
{
    const auto identity = sim::usbIdentity(kind, route);
    if (!identity)
        return {};
    for (const sim::InterfaceSpec& iface : sim::interfacesFor(kind, route))
        for (const sim::CollectionSpec& collection : iface.collections)
            if (collection.carriesCommands)
                return folder + "/" + sim::collectionSocketName(*identity, iface, collection);
    return {};
}

bool SimDevice::attach(CommandTransport& transport, sim::DeviceKind kind, sim::Route route)
{
    if (!m_sim->plug(kind, route).ok)
        return false;
    const bool receiver = route == sim::Route::Receiver;
    hid::HidChannel& channel = receiver ? transport.channelB() : transport.channelA();
    {
        std::lock_guard lock(transport.ioLock());
        if (!channel.open(commandSocket(m_folder, kind, route), true, true, true, false))
            return false;
    }
    transport.setReady(1);
    transport.setMode(receiver ? 2 : 1);
    return true;
}
