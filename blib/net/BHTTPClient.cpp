#include "blib/net/BHTTPClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

QNetworkRequest plainRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    // A redirect is an answer like any other that is not 200.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // No compressed answers: the size bound must count the bytes the answer
    // decodes to, and a small compressed answer can inflate without end.
    request.setRawHeader(QByteArrayLiteral("Accept-Encoding"), QByteArrayLiteral("identity"));
    return request;
}

} // namespace

BHTTPClient::BHTTPClient(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_timeoutTimer.setSingleShot(true);
    connect(&m_timeoutTimer, &QTimer::timeout, this, &BHTTPClient::timeoutTimerTimeout);
    connect(m_manager, &QNetworkAccessManager::finished, this, &BHTTPClient::replyReceived);
}

BHTTPClient::~BHTTPClient()
{
    releaseReply();
}

void BHTTPClient::get(const QUrl& url, int timeoutMs)
{
    get(url, timeoutMs, {});
}

void BHTTPClient::get(const QUrl& url, int timeoutMs, const QList<QPair<QByteArray, QByteArray>>& headers)
{
    releaseReply();
    QNetworkRequest request = plainRequest(url);
    for (const auto& header : headers)
        request.setRawHeader(header.first, header.second);
    watch(m_manager->get(request), timeoutMs);
}

void BHTTPClient::postJson(const QUrl& url, const QByteArray& json, int timeoutMs)
{
    post(url, json, QByteArrayLiteral("application/json"), timeoutMs);
}

void BHTTPClient::post(const QUrl& url, const QByteArray& body, const QByteArray& contentType, int timeoutMs)
{
    releaseReply();
    QNetworkRequest request = plainRequest(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    watch(m_manager->post(request, body), timeoutMs);
}

void BHTTPClient::abort()
{
    m_timeoutTimer.stop();
    releaseReply();
}

void BHTTPClient::watch(QNetworkReply* reply, int timeoutMs)
{
    m_reply = reply;
    m_replyTooLarge = false;
    // Reading stops once one byte more than the bound is waiting.
    reply->setReadBufferSize(maxBodyBytes + 1);
    connect(reply, &QNetworkReply::readyRead, this, &BHTTPClient::replyDataArrived);
    m_timeoutTimer.start(timeoutMs);
}

void BHTTPClient::releaseReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    // Neither its data nor its end may reach us any more.
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

void BHTTPClient::replyDataArrived()
{
    if (m_reply && m_reply->bytesAvailable() > maxBodyBytes) {
        m_replyTooLarge = true;
        m_reply->abort(); // finishes the reply: replyReceived() reports it
    }
}

void BHTTPClient::replyReceived(QNetworkReply* reply)
{
    if (!reply || reply != m_reply)
        return;
    m_timeoutTimer.stop();
    m_reply = nullptr;
    reply->deleteLater();

    if (m_replyTooLarge || reply->bytesAvailable() > maxBodyBytes) {
        emit tooLarge();
        return;
    }
    // Compressed although not asked for: nothing here decodes it.
    const QByteArray encoding = reply->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
    if (!encoding.isEmpty() && encoding != "identity") {
        emit unreadable();
        return;
    }
    const QString body = QString::fromUtf8(reply->readAll());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    emit response(status, body);
}

void BHTTPClient::timeoutTimerTimeout()
{
    releaseReply();
    emit timeout();
}
