#pragma once

#include <QObject>
#include <QTimer>

struct udev;
struct udev_monitor;
class QSocketNotifier;

// Watches udev's sound subsystem on the UI thread and reports, once things have settled, that a
// sound card came or went: the headset's audio endpoints may have changed. Without udev it
// stays silent (the headset then finds its endpoints when it connects).
class SoundCardMonitor : public QObject {
    Q_OBJECT
public:
    explicit SoundCardMonitor(QObject* parent = nullptr);
    ~SoundCardMonitor() override;
    bool start();

signals:
    void cardsChanged();

private:
    void onReadable();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    // A card brings several nodes (control, PCM) one after another: one report after the last.
    QTimer m_settle;
};
