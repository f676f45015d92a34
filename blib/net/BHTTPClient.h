#ifndef BHTTPCLIENT_H
#define BHTTPCLIENT_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// One HTTP request at a time over a QNetworkAccessManager of its own. The
// answer to the current request arrives as one response() signal, or
// timeout() fires first and the request is dropped, so that a late answer
// is never reported. Answers are asked for uncompressed; answers larger
// than maxBodyBytes are cut off and reported by tooLarge(), compressed ones
// by unreadable(). Redirects are not followed.
//
// The client, its manager and its replies live in the thread that created
// the client; that thread must process events while a request is waiting.
class BHTTPClient : public QObject
{
    Q_OBJECT

public:
    // Bodies above this size are refused: the service's answers are small,
    // and an endless answer must not fill the memory.
    static constexpr qint64 maxBodyBytes = 1024 * 1024;

    explicit BHTTPClient(QObject* parent = nullptr);
    ~BHTTPClient() override;

    // Issues a GET, or a POST with the content type "application/json" and
    // `json` as its body, and starts the time-out. A request still waiting
    // is dropped first.
    void get(const QUrl& url, int timeoutMs);
    // A GET carrying the extra request headers (name, value).
    void get(const QUrl& url, int timeoutMs, const QList<QPair<QByteArray, QByteArray>>& headers);
    void postJson(const QUrl& url, const QByteArray& json, int timeoutMs);
    void post(const QUrl& url, const QByteArray& body, const QByteArray& contentType, int timeoutMs);

    // Drops the waiting request, if any, without reporting anything.
    void abort();

    QNetworkAccessManager* networkAccessManager() const { return m_manager; }
    QNetworkReply* currentReply() const { return m_reply; }

signals:
    // `code` is the HTTP status, 0 when the answer had none (no connection).
    void response(int code, QString text);
    void timeout();
    void tooLarge();
    void unreadable();

public slots:
    void replyReceived(QNetworkReply* reply);
    void timeoutTimerTimeout();

private slots:
    void replyDataArrived();

private:
    void watch(QNetworkReply* reply, int timeoutMs);
    void releaseReply();

    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    QTimer m_timeoutTimer;
    bool m_replyTooLarge = false;
};

#endif // BHTTPCLIENT_H
