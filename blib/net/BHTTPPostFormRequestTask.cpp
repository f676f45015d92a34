#include "blib/net/BHTTPPostFormRequestTask.h"

#include "blib/task/BTaskController.h"

#include <QUrl>

BHTTPPostFormRequestTask::BHTTPPostFormRequestTask(const QString& url, const QByteArray& form, int timeoutMs)
    : BHTTPRequestTask(url, timeoutMs)
    , m_form(form)
{
}

BTaskResult BHTTPPostFormRequestTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    client().post(QUrl(url(), QUrl::TolerantMode), m_form,
                  QByteArrayLiteral("application/x-www-form-urlencoded"), timeoutMs());
    return BHTTPRequestTask::run(controller);
}
