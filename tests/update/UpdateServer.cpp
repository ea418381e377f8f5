#include "UpdateServer.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>
#include <chrono>

UpdateServer::UpdateServer()
{
    m_default.status = 404;
    m_default.body = "{}";
    m_thread = new QThread;
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_thread->start();
}

UpdateServer::~UpdateServer()
{
    QMetaObject::invokeMethod(m_context, [this] {
        delete m_server;  // its sockets are its children
        m_server = nullptr;
        delete m_context;
    }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

bool UpdateServer::Start(const QHostAddress& address)
{
    bool ok = false;
    m_address = address;
    QMetaObject::invokeMethod(m_context, [&] {
        m_server = new QTcpServer;
        ok = m_server->listen(address, 0);
        m_port = m_server->serverPort();
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                socket->setParent(m_server);
                socket->setProperty("buffer", QByteArray());
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onData(socket); });
            }
        });
    }, Qt::BlockingQueuedConnection);
    return ok;
}

QString UpdateServer::BaseUrl() const
{
    return QStringLiteral("http://%1:%2/api/").arg(m_address.toString()).arg(m_port);
}

void UpdateServer::SetAnswer(const QString& appKey, const Answer& answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.insert(appKey, answer);
}

void UpdateServer::SetDefault(const Answer& answer)
{
    std::lock_guard lock(m_mutex);
    m_default = answer;
}

void UpdateServer::StopListeningAfter(size_t n)
{
    std::lock_guard lock(m_mutex);
    m_stopAfter = m_requests.size() + n;
}

std::vector<QByteArray> UpdateServer::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

size_t UpdateServer::RequestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

bool UpdateServer::WaitForRequests(size_t n, int ms) const
{
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_requests.size() >= n; });
}

QByteArray UpdateServer::BodyOf(const QByteArray& request)
{
    const qsizetype end = request.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : request.mid(end + 4);
}

QString UpdateServer::AppKeyOf(const QByteArray& request)
{
    QByteArray body = BodyOf(request);
    if (body.endsWith('\0'))
        body.chop(1);
    return QUrlQuery(QString::fromUtf8(body)).queryItemValue(QStringLiteral("app_key"));
}

void UpdateServer::onData(QObject* object)
{
    auto* socket = static_cast<QTcpSocket*>(object);
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    qsizetype length = 0;
    for (const QByteArray& line : buffer.left(headerEnd).split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.toLower().startsWith("content-length:"))
            length = l.mid(15).trimmed().toLongLong();
    }
    if (buffer.size() < headerEnd + 4 + length)
        return;
    const QByteArray request = buffer.left(headerEnd + 4 + length);
    socket->setProperty("buffer", QByteArray());
    Answer answer;
    bool stopListening = false;
    {
        std::lock_guard lock(m_mutex);
        answer = m_answers.value(AppKeyOf(request), m_default);
        m_requests.push_back(request);
        stopListening = m_stopAfter != 0 && m_requests.size() >= m_stopAfter;
    }
    if (stopListening)
        m_server->close();
    m_arrived.notify_all();
    if (answer.silent)
        return;
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(answer.status) +
                       (answer.status == 200 ? " OK" : " Not Found") + "\r\nContent-Type: application/json\r\n"
                       "Content-Length: " + QByteArray::number(answer.body.size()) +
                       "\r\nConnection: close\r\n\r\n" + answer.body;
    socket->write(reply);
    socket->disconnectFromHost();
}
