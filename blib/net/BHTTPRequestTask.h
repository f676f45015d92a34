#ifndef BHTTPREQUESTTASK_H
#define BHTTPREQUESTTASK_H

#include "blib/net/BHTTPClient.h"
#include "blib/task/BTask.h"

#include <QString>

// One HTTP request and the wait for its answer. Request tasks are not run
// on a thread of their own: a task constructs one inside its own run() and
// calls run() with its own controller, so the request lives in, and is
// served by, the thread that runs the outer task. Single use.
//
// Results: Success for status 200 (the body may still be unusable; callers
// check it), Cancelled when cancelled while waiting, otherwise Failure with
// an error text on the controller.
class BHTTPRequestTask : public BTask
{
    Q_OBJECT

public:
    BHTTPRequestTask(const QString& url, int timeoutMs);

    // The common wait; subclasses issue their request, then call this.
    BTaskResult run(BTaskController* controller) override;

    QString responseText() const { return m_responseText; }
    int statusCode() const { return m_statusCode; }
    bool timedOut() const { return m_timedOut; }

public slots:
    void response(int code, const QString& text);
    void timeout();
    void responseTooLarge();
    void responseUnreadable();

protected:
    QString url() const { return m_url; }
    int timeoutMs() const { return m_timeoutMs; }
    BHTTPClient& client() { return m_client; }

private:
    QString m_url;
    int m_timeoutMs;
    bool m_timedOut = false;
    int m_statusCode = 0;
    QString m_responseText;
    bool m_finished = false;
    bool m_tooLarge = false;
    bool m_unreadable = false;
    BHTTPClient m_client;
};

#endif // BHTTPREQUESTTASK_H
