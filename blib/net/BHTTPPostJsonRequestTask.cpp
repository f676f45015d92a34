#include "blib/net/BHTTPPostJsonRequestTask.h"

#include "blib/task/BTaskController.h"

#include <QUrl>

BHTTPPostJsonRequestTask::BHTTPPostJsonRequestTask(const QString& url, const QString& json, int timeoutMs)
    : BHTTPRequestTask(url, timeoutMs)
    , m_json(json)
{
}

BTaskResult BHTTPPostJsonRequestTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    client().postJson(QUrl(url(), QUrl::TolerantMode), m_json.toUtf8(), timeoutMs());
    return BHTTPRequestTask::run(controller);
}
