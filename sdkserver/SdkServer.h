#pragma once

#include "sdkserver/SdkProtocol.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace sdk {

// What the server asks of the program that owns the devices. Controllers are named by their
// location string, which stays the same while the device is connected, so a request never
// reaches another device after the list changed. Called on the server's thread (the UI thread).
class SdkBackend {
public:
    virtual ~SdkBackend() = default;
    // The colours of every LED of the controller, in the order of its description.
    virtual void ApplyColours(const std::string& location, const std::vector<uint32_t>& colours) = 0;
    // Mode `index` of the controller's description with the client's settings (range-checked).
    virtual void ApplyMode(const std::string& location, int index, const Mode& mode) = 0;
    // The client now driving the controller's lights; empty when none does any more (the
    // device goes back to its profile's lighting).
    virtual void ControlChanged(const std::string& location, const std::string& client) = 0;
    virtual std::vector<std::string> ProfileNames() { return {}; }
};

// A TCP server speaking the SDK protocol to any number of clients up to a limit. Each client is
// read and answered on its own; one that sends anything malformed, truncated or oversized, or
// that stops reading while answers pile up, is disconnected, and only that one. Plain
// non-blocking sockets served by the event loop, so the program needs no network library to
// start (the server is off unless the user turns it on).
class SdkServer : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Every address of the machine (IPv6 and IPv4); the loopback address 127.0.0.1 otherwise.
        bool anyAddress = false;
        quint16 port = kDefaultPort;
        int maxClients = 32;
        // Answers waiting for a client that does not read: beyond this the client is dropped.
        qint64 maxQueuedBytes = 1024 * 1024;
    };

    explicit SdkServer(SdkBackend& backend, QObject* parent = nullptr);
    ~SdkServer() override;

    // Starts listening; false with the reason in `error` when the port cannot be had.
    bool Listen(const Options& options, QString* error = nullptr);
    void Close();
    bool IsListening() const { return m_listenFd >= 0; }
    quint16 Port() const;
    int ClientCount() const { return int(m_clients.size()); }

    // The controllers as the devices are now. Clients hear that the list changed; control of a
    // controller that is gone ends.
    void SetControllers(std::vector<Controller> controllers);
    const std::vector<Controller>& Controllers() const { return m_controllers; }

signals:
    void clientCountChanged(int count);

private:
    struct Client;
    void OnNewConnection();
    void OnReadyRead(int fd);
    void OnWritable(int fd);
    // Hands queued answers to the kernel; false when the connection failed (the client is
    // dropped).
    bool Flush(Client& c);
    // False: the client broke the protocol and is dropped.
    bool Handle(Client& c, const Packet& p);
    bool HandleControllerRequest(Client& c, const Packet& p, Controller& ctl);
    void Send(Client& c, uint32_t device, uint32_t id, const std::vector<uint8_t>& payload);
    void Drop(int fd, const char* why);
    void TakeControl(Client& c, const Controller& ctl);
    void ReleaseControl(const std::string& location);

    SdkBackend& m_backend;
    Options m_options;
    int m_listenFd = -1;
    QSocketNotifier* m_listenNotifier = nullptr;
    // Client socket -> its state.
    std::map<int, std::unique_ptr<Client>> m_clients;
    std::vector<Controller> m_controllers;
    // Location -> the socket of the client driving it.
    std::map<std::string, int> m_holders;
};

}  // namespace sdk
