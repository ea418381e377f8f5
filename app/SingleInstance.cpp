#include "app/SingleInstance.h"

#include "app/RegisteredMessages.h"
#include "hid/DebugLog.h"
#include "profiles/DataPaths.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {

namespace {
// One line per message: name, wParam and lParam separated by tabs.
QByteArray encode(const QString& name, intptr_t w, intptr_t l)
{
    return name.toUtf8() + '\t' + QByteArray::number(qlonglong(w)) + '\t' +
           QByteArray::number(qlonglong(l)) + '\n';
}

// The socket's address; false when the path does not fit one.
bool addressOf(const QString& path, sockaddr_un& address)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}

// A line longer than this is no instance message: its client is dropped.
constexpr qsizetype kMaxBuffered = 4096;
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
    while (!m_clients.empty())
        closeClient(m_clients.begin()->first);
    if (m_listenFd >= 0) {
        delete m_listenNotifier;
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(socketPath()).constData());
    }
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
    sockaddr_un address;
    if (!addressOf(socketPath(), address)) {
        qCDebug(tesselDebug) << "single instance: socket path too long" << socketPath();
        return true;
    }
    // We hold the lock, so a socket file left here belongs to a crashed instance.
    ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // Only the user may connect: the socket is made with no rights for group and others.
    const mode_t oldMask = ::umask(077);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(oldMask);
    if (!bound || ::listen(fd, 16) != 0) {
        qCDebug(tesselDebug) << "single instance: listen failed" << std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return true;
    }
    m_listenFd = fd;
    m_listenNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
    return true;
}

bool SingleInstance::Notify(const QString& messageName, intptr_t wParam, intptr_t lParam, int timeoutMs)
{
    sockaddr_un address;
    if (!addressOf(socketPath(), address))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    auto waitFor = [&](short events) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p{fd, events, 0};
            const int n = ::poll(&p, 1, int(left));
            if (n > 0)
                return (p.revents & events) != 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) == 0;
            if (n < 0 && errno != EINTR)
                return false;
        }
    };
    bool connected = false;
    // A first instance whose backlog is full refuses for a moment (EAGAIN): try again until
    // the time is up.
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            connected = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno == EINPROGRESS) {
            connected = waitFor(POLLOUT);
            break;
        }
        if (errno != EAGAIN || std::chrono::steady_clock::now() >= deadline)
            break;
        ::usleep(5000);
    }
    bool written = false;
    if (connected) {
        const QByteArray line = encode(messageName, wParam, lParam);
        qsizetype sent = 0;
        while (sent < line.size()) {
            const ssize_t n = ::send(fd, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && errno == EAGAIN && waitFor(POLLOUT))
                continue;
            else
                break;
        }
        written = sent == line.size();
    }
    ::close(fd);
    return written;
}

void SingleInstance::onNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        Client& client = m_clients[fd];
        client.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(client.notifier, &QSocketNotifier::activated, this, [this, fd] { onClientReadable(fd); });
    }
}

void SingleInstance::onClientReadable(int fd)
{
    auto it = m_clients.find(fd);
    if (it == m_clients.end())
        return;
    bool ended = false;
    char chunk[1024];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            it->second.buffer.append(chunk, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        ended = n == 0 || errno != EAGAIN;
        break;
    }
    QByteArray& buffer = it->second.buffer;
    for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
        // Only "name<TAB>w<TAB>l" of the instance message is taken: a later start has nothing
        // else to say, and the other registered messages of other programs arrive over D-Bus,
        // so any other line here comes from a stray client.
        const QList<QByteArray> parts = buffer.left(std::min<qsizetype>(end, 1024)).trimmed().split('\t');
        buffer.remove(0, end + 1);
        if (parts.size() != 3 || parts[0] != msg::kInstance)
            continue;
        bool okW = false, okL = false;
        const qlonglong w = parts[1].toLongLong(&okW);
        const qlonglong l = parts[2].toLongLong(&okL);
        const uint32_t id = RegisteredMessages::Find(QString::fromLatin1(msg::kInstance));
        if (okW && okL && id != 0)
            emit messageReceived(id, intptr_t(w), intptr_t(l));
    }
    // A client that never ends its line stays bounded.
    if (ended || buffer.size() > kMaxBuffered)
        closeClient(fd);
}

void SingleInstance::closeClient(int fd)
{
    auto it = m_clients.find(fd);
    if (it == m_clients.end())
        return;
    delete it->second.notifier;
    m_clients.erase(it);
    ::close(fd);
}

}  // namespace app
