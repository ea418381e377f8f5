#include "app/SingleInstance.h"

#include "app/RegisteredMessages.h"
#include "hid/DebugLog.h"
#include "profiles/DataPaths.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace app {

namespace {
// One line per message: name, wParam and lParam separated by tabs.
QByteArray encode(const QString& name, intptr_t w, intptr_t l)
{
    return name.toUtf8() + '\t' + QByteArray::number(qlonglong(w)) + '\t' +
           QByteArray::number(qlonglong(l)) + '\n';
}
}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder))
{
    if (m_folder.isEmpty()) {
        m_folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (m_folder.isEmpty())
            m_folder = QDir::tempPath();
    }
    QDir().mkpath(m_folder);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        m_lock->unlock();
}

QString SingleInstance::socketPath() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(msg::kInstance));
}

QString SingleInstance::lockPath() const
{
    return QDir(m_folder).filePath(QString::fromLatin1(msg::kInstance) + ".lock");
}

bool SingleInstance::Acquire()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Only a lock whose owner process is gone is stale, however old it is.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError) {
            m_first = false;
            return false;
        }
        // No lock could be made at all (unwritable folder): run as the first instance.
        qCDebug(tesselDebug) << "single instance: lock failed" << m_lock->error();
    }
    m_first = true;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file left here belongs to a crashed instance.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath()))
        qCDebug(tesselDebug) << "single instance: listen failed" << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

bool SingleInstance::Notify(const QString& messageName, intptr_t wParam, intptr_t lParam, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(encode(messageName, wParam, lParam));
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return written;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setReadBufferSize(4096);  // a client that never sends a line stays bounded
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                // Only "name<TAB>w<TAB>l" of the instance message is taken: a later start has
                // nothing else to say, and the other registered messages of other programs
                // arrive over D-Bus, so any other line here comes from a stray client.
                const QList<QByteArray> parts = socket->readLine(1024).trimmed().split('\t');
                if (parts.size() != 3 || parts[0] != msg::kInstance)
                    continue;
                bool okW = false, okL = false;
                const qlonglong w = parts[1].toLongLong(&okW);
                const qlonglong l = parts[2].toLongLong(&okL);
                const uint32_t id = RegisteredMessages::Find(QString::fromLatin1(msg::kInstance));
                if (okW && okL && id != 0)
                    emit messageReceived(id, intptr_t(w), intptr_t(l));
            }
        });
    }
}

}  // namespace app
