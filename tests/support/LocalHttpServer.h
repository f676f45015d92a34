#ifndef LOCALHTTPSERVER_H
#define LOCALHTTPSERVER_H

// A small HTTP/1.1 server on 127.0.0.1 for tests of the network code. It
// answers every request with the canned reply set for its path (or the
// default one): any status, body and delay, or no answer at all, and keeps
// what it received. It lives in the test's thread, so the test must process
// events (QTRY_*, QSignalSpy::wait) while a request is under way.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

struct CannedReply
{
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    int delayMs = 0;
    bool neverAnswer = false;
    QByteArray location; // sent as "Location" when not empty
    QByteArray contentEncoding; // sent as "Content-Encoding" when not empty
};

struct RecordedRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    QByteArray path() const { return target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')); }
    QByteArray query() const { return target.indexOf('?') < 0 ? QByteArray() : target.mid(target.indexOf('?') + 1); }
};

class LocalHttpServer : public QObject
{
public:
    LocalHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                accept(socket);
        });
    }

    bool isListening() const { return m_server.isListening(); }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    void setDefaultReply(const CannedReply& reply) { m_defaultReply = reply; }
    void setReply(const QByteArray& path, const CannedReply& reply) { m_replies.insert(path, reply); }

    const QList<RecordedRequest>& requests() const { return m_requests; }
    // Answers written out completely, as opposed to requests received.
    int answersSent() const { return m_answersSent; }

private:
    struct Connection
    {
        QByteArray buffer;
        bool headDone = false;
        RecordedRequest request;
        int contentLength = 0;
    };

    void accept(QTcpSocket* socket)
    {
        socket->setParent(this);
        auto* connection = new Connection;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, connection]() {
            connection->buffer += socket->readAll();
            if (!connection->headDone) {
                const int end = connection->buffer.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                parseHead(connection->buffer.left(end), connection);
                connection->buffer.remove(0, end + 4);
                connection->headDone = true;
            }
            if (connection->buffer.size() < connection->contentLength)
                return;
            connection->request.body = connection->buffer.left(connection->contentLength);
            m_requests.append(connection->request);
            answer(socket, connection->request);
            // Ready for the next request on a kept-alive connection.
            connection->buffer.clear();
            connection->headDone = false;
            connection->request = RecordedRequest();
            connection->contentLength = 0;
        });
        QObject::connect(socket, &QObject::destroyed, [connection]() { delete connection; });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    static void parseHead(const QByteArray& head, Connection* connection)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        connection->request.method = requestLine.value(0);
        connection->request.target = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines.at(i).indexOf(':');
            if (colon > 0)
                connection->request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                                   lines.at(i).mid(colon + 1).trimmed());
        }
        connection->contentLength = connection->request.headers.value("content-length").toInt();
    }

    void answer(QTcpSocket* socket, const RecordedRequest& request)
    {
        const CannedReply reply = m_replies.value(request.path(), m_defaultReply);
        if (reply.neverAnswer)
            return;
        QPointer<QTcpSocket> target(socket);
        QTimer::singleShot(reply.delayMs, this, [this, target, reply]() {
            if (!target)
                return;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " " + reason(reply.status) + "\r\n";
            if (!reply.contentType.isEmpty() && reply.status != 204)
                head += "Content-Type: " + reply.contentType + "\r\n";
            if (!reply.location.isEmpty())
                head += "Location: " + reply.location + "\r\n";
            if (!reply.contentEncoding.isEmpty())
                head += "Content-Encoding: " + reply.contentEncoding + "\r\n";
            const QByteArray body = reply.status == 204 ? QByteArray() : reply.body;
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
            target->write(head + body);
            target->flush();
            ++m_answersSent;
            target->disconnectFromHost();
        });
    }

    static QByteArray reason(int status)
    {
        switch (status) {
        case 200: return "OK";
        case 204: return "No Content";
        case 301: return "Moved Permanently";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
        }
    }

    QTcpServer m_server;
    CannedReply m_defaultReply;
    QHash<QByteArray, CannedReply> m_replies;
    QList<RecordedRequest> m_requests;
    int m_answersSent = 0;
};

#endif // LOCALHTTPSERVER_H
