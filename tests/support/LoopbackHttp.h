#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>

namespace vk::test {

// A small HTTP server on loopback, served by the same event loop that the client's wait runs.
class LoopbackServer {
public:
    struct Reply {
        QByteArray head;  // status line and headers, without the blank line
        QByteArray body;
        int chunks = 1;  // the body in this many pieces, 100 ms apart
    };
    std::map<QByteArray, Reply> replies;  // by path; "HEAD " + path answers a HEAD differently
    QList<QByteArray> requests;
    // Called with each request as it arrives, before it is answered: the client is waiting for it.
    std::function<void(const QByteArray& request)> onRequest;

    LoopbackServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            }
        });
    }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(QLatin1String(path));
    }

private:
    void serve(QTcpSocket* socket) {
        QByteArray& request = pending_[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        requests << request;
        if (onRequest) {
            onRequest(request);
        }
        const QByteArray path = request.split(' ').value(1);
        const bool head = request.startsWith("HEAD ");
        auto it = head ? replies.find("HEAD " + path) : replies.end();
        if (it == replies.end()) {
            it = replies.find(path);
        }
        const Reply reply = it != replies.end() ? it->second : Reply{"HTTP/1.0 404 Not Found", "nergens"};
        socket->write(reply.head + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                      "\r\n\r\n");
        if (head) {
            socket->disconnectFromHost();
            return;
        }
        const qsizetype piece = (reply.body.size() + reply.chunks - 1) / std::max(1, reply.chunks);
        for (int i = 0; i < reply.chunks; ++i) {
            QTimer::singleShot(
                100 * i, socket,
                [socket, part = reply.body.mid(i * piece, piece), last = i == reply.chunks - 1] {
                    socket->write(part);
                    if (last) {
                        socket->disconnectFromHost();
                    }
                });
        }
    }
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> pending_;
};

}  // namespace vk::test
