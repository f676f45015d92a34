#ifndef BHTTPGETREQUESTTASK_H
#define BHTTPGETREQUESTTASK_H

#include "blib/net/BHTTPRequestTask.h"

// A GET of `url` (parsed tolerantly) without a body or extra headers.
class BHTTPGetRequestTask : public BHTTPRequestTask
{
    Q_OBJECT

public:
    BHTTPGetRequestTask(const QString& url, int timeoutMs);

    BTaskResult run(BTaskController* controller) override;
};

#endif // BHTTPGETREQUESTTASK_H
