#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <vector>

class QThread;
class QObject;
class QTcpServer;

// A tiny update server on loopback for the tests: it answers POST .../updates by the request's
// app key and records every request's bytes as they came on the wire. It runs its own event
// loop on its own thread, so blocking requests on the test thread reach it. It also serves as an
// upstream proxy (a request line with a full URL is answered the same way).
class UpdateServer {
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        bool silent = false;  // accept and read, then never answer
    };

    UpdateServer();
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    bool Start(const QHostAddress& address = QHostAddress::LocalHost);
    quint16 Port() const { return m_port; }
    // "http://127.0.0.1:<port>/api/"
    QString BaseUrl() const;

    // The answer for requests whose body names `appKey`; others get the default (404 "{}").
    void SetAnswer(const QString& appKey, const Answer& answer);
    void SetDefault(const Answer& answer);

    // After `n` more requests the server stops listening: later connections are refused.
    void StopListeningAfter(size_t n);

    std::vector<QByteArray> Requests() const;
    size_t RequestCount() const;
    // True when at least n requests arrived within `ms`.
    bool WaitForRequests(size_t n, int ms) const;
    // The app key of a request's body ("app_key=<key>&...").
    static QString AppKeyOf(const QByteArray& request);
    static QByteArray BodyOf(const QByteArray& request);

private:
    void onData(QObject* socket);

    QThread* m_thread = nullptr;
    QObject* m_context = nullptr;
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
    QHostAddress m_address;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    QHash<QString, Answer> m_answers;
    Answer m_default;
    std::vector<QByteArray> m_requests;
    size_t m_stopAfter = 0;  // 0: never
};
