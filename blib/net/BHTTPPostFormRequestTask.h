#ifndef BHTTPPOSTFORMREQUESTTASK_H
#define BHTTPPOSTFORMREQUESTTASK_H

#include "blib/net/BHTTPRequestTask.h"

#include <QByteArray>

// A POST of an already encoded form body ("key=value&..."), content type
// "application/x-www-form-urlencoded", to `url` (parsed tolerantly). What
// the body holds stays out of the URL, and so out of proxy and server logs.
class BHTTPPostFormRequestTask : public BHTTPRequestTask
{
    Q_OBJECT

public:
    BHTTPPostFormRequestTask(const QString& url, const QByteArray& form, int timeoutMs);

    BTaskResult run(BTaskController* controller) override;

private:
    QByteArray m_form;
};

#endif // BHTTPPOSTFORMREQUESTTASK_H
