#include "blib/net/BHTTPRequestTask.h"

#include "blib/task/BTaskController.h"

#include <QCoreApplication>

namespace {
constexpr int pollIntervalMs = 10;
}

BHTTPRequestTask::BHTTPRequestTask(const QString& url, int timeoutMs)
    : BTask(nullptr)
    , m_url(url)
    , m_timeoutMs(timeoutMs)
    , m_client(this)
{
    connect(&m_client, &BHTTPClient::response, this, &BHTTPRequestTask::response);
    connect(&m_client, &BHTTPClient::timeout, this, &BHTTPRequestTask::timeout);
    connect(&m_client, &BHTTPClient::tooLarge, this, &BHTTPRequestTask::responseTooLarge);
    connect(&m_client, &BHTTPClient::unreadable, this, &BHTTPRequestTask::responseUnreadable);
}

BTaskResult BHTTPRequestTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    while (!m_finished) {
        if (controller->isCancelled()) {
            m_client.abort();
            return Cancelled;
        }
        // The answer and the time-out reach the client as events of this
        // thread. A threaded controller delivers them in isCancelled(); this
        // also covers controllers that do not, so the time-out always ends
        // the wait.
        QCoreApplication::processEvents();
        if (m_finished)
            break;
        controller->sleep(pollIntervalMs);
    }

    if (m_timedOut) {
        controller->setErrorMessage(tr("Request timed out."));
        return Failure;
    }
    if (m_tooLarge) {
        controller->setErrorMessage(tr("The server's answer is too large."));
        return Failure;
    }
    if (m_unreadable) {
        controller->setErrorMessage(tr("The server's answer could not be read."));
        return Failure;
    }
    if (m_statusCode == 200)
        return Success;
    controller->setErrorMessage(tr("Request to server failed (status %1).").arg(m_statusCode));
    return Failure;
}

void BHTTPRequestTask::response(int code, const QString& text)
{
    if (m_finished)
        return;
    m_statusCode = code;
    m_responseText = text;
    m_finished = true;
}

void BHTTPRequestTask::timeout()
{
    if (m_finished)
        return;
    m_timedOut = true;
    m_finished = true;
}

void BHTTPRequestTask::responseTooLarge()
{
    if (m_finished)
        return;
    m_tooLarge = true;
    m_finished = true;
}

void BHTTPRequestTask::responseUnreadable()
{
    if (m_finished)
        return;
    m_unreadable = true;
    m_finished = true;
}
