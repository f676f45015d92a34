#ifndef BHTTPGETREQUESTTASK_H
#define BHTTPGETREQUESTTASK_H

#include "blib/net/BHTTPRequestTask.h"

// A GET of `url` (parsed tolerantly) without a body, and without extra
// headers unless some are added before run().
class BHTTPGetRequestTask : public BHTTPRequestTask
{
    Q_OBJECT

public:
    BHTTPGetRequestTask(const QString& url, int timeoutMs);

    BTaskResult run(BTaskController* controller) override;

    void addRawHeader(const QByteArray& name, const QByteArray& value) { m_headers.append({ name, value }); }

private:
    QList<QPair<QByteArray, QByteArray>> m_headers;
};

#endif // BHTTPGETREQUESTTASK_H
