#include "blib/net/BHTTPGetRequestTask.h"

#include "blib/task/BTaskController.h"

#include <QUrl>

BHTTPGetRequestTask::BHTTPGetRequestTask(const QString& url, int timeoutMs)
    : BHTTPRequestTask(url, timeoutMs)
{
}

BTaskResult BHTTPGetRequestTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    client().get(QUrl(url(), QUrl::TolerantMode), timeoutMs(), m_headers);
    return BHTTPRequestTask::run(controller);
}
