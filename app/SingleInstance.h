#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>

class QSocketNotifier;

namespace app {

// Makes sure only one Tessel runs per user. The first instance holds a lock file in the runtime
// folder and listens on a local socket named "tamrel wireless"; a later start finds the lock
// taken, hands the instance message to the first instance through the socket and exits. The
// socket is a plain Unix stream socket (what Qt's local sockets are on Linux), served by the
// event loop, so start-up needs no network library.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder`: where the lock file and the socket live (empty: the user's runtime folder).
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance (it then listens for later starts). When the
    // lock cannot be taken for another reason than a running instance, the process carries on
    // as the first instance.
    bool Acquire();
    bool isFirst() const { return m_first; }

    // Sent by a later start: delivers the named message with its two numbers to the first
    // instance, which takes only the instance message (anything else is dropped there). Gives up after `timeoutMs` so a hung first instance cannot block it. True when
    // the message was written.
    bool Notify(const QString& messageName, intptr_t wParam, intptr_t lParam, int timeoutMs = 2000);

    QString socketPath() const;
    QString lockPath() const;

signals:
    // A later start delivered the instance message; `message` is its registered id.
    void messageReceived(uint32_t message, intptr_t wParam, intptr_t lParam);

private:
    void onNewConnection();
    void onClientReadable(int fd);
    void closeClient(int fd);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    int m_listenFd = -1;
    QSocketNotifier* m_listenNotifier = nullptr;
    struct Client {
        QSocketNotifier* notifier = nullptr;
        QByteArray buffer;
    };
    std::map<int, Client> m_clients;
    bool m_first = false;
};

}  // namespace app
