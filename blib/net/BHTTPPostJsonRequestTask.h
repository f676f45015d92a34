#ifndef BHTTPPOSTJSONREQUESTTASK_H
#define BHTTPPOSTJSONREQUESTTASK_H

#include "blib/net/BHTTPRequestTask.h"

// A POST of `json` (sent as UTF-8, content type "application/json") to
// `url` (parsed tolerantly).
class BHTTPPostJsonRequestTask : public BHTTPRequestTask
{
    Q_OBJECT

public:
    BHTTPPostJsonRequestTask(const QString& url, const QString& json, int timeoutMs);

    BTaskResult run(BTaskController* controller) override;

private:
    QString m_json;
};

#endif // BHTTPPOSTJSONREQUESTTASK_H
