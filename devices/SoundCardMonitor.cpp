#include "devices/SoundCardMonitor.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cstring>

namespace {
constexpr int kSettleMs = 300;
}

SoundCardMonitor::SoundCardMonitor(QObject* parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &SoundCardMonitor::cardsChanged);
}

SoundCardMonitor::~SoundCardMonitor()
{
    delete m_notifier;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

bool SoundCardMonitor::start()
{
    if (m_monitor)
        return true;
    m_udev = udev_new();
    if (!m_udev)
        return false;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "sound", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
        return false;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SoundCardMonitor::onReadable);
    return true;
}

void SoundCardMonitor::onReadable()
{
    while (udev_device* dev = udev_monitor_receive_device(m_monitor)) {
        const char* name = udev_device_get_sysname(dev);
        const char* action = udev_device_get_action(dev);
        // The card's own node stands for the whole card; its control and PCM nodes follow it.
        if (name && action && std::strncmp(name, "card", 4) == 0 &&
            (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0 ||
             std::strcmp(action, "change") == 0))
            m_settle.start();
        udev_device_unref(dev);
    }
}
