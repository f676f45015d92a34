#include "blib/net/BSendFeedbackTask.h"

#include "blib/app/BAppInfo.h"
#include "blib/net/BHTTPPostFormRequestTask.h"
#include "blib/net/BServiceAddress.h"
#include "blib/task/BTaskController.h"

#include <QUrl>

namespace {

QString percentEncoded(const QString& text)
{
    // Keeps exactly the unreserved characters, upper-case hex for the rest.
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

BSendFeedbackTask::BSendFeedbackTask(const BFeedback& feedback)
    : BTask(nullptr)
    , m_feedback(feedback)
{
}

QString BSendFeedbackTask::requestUrl()
{
    return serviceUrl(QStringLiteral("/v1/feedback"));
}

QByteArray BSendFeedbackTask::requestBody(const BFeedback& feedback)
{
    const QString category = feedback.category == BFeedback::BugReport ? QStringLiteral("bug")
                                                                       : QStringLiteral("suggestion");
    const QString form = QStringLiteral("app_key=") + QString::fromUtf8(BAppInfo::serviceAppKey)
        + QStringLiteral("&app_version=") + QString::fromUtf8(BAppInfo::applicationVersion)
        + QStringLiteral("&category=") + category
        + QStringLiteral("&text=") + percentEncoded(feedback.text)
        + QStringLiteral("&email_address=") + percentEncoded(feedback.emailAddress);
    return form.toLatin1();
}

BTaskResult BSendFeedbackTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    controller->setTitle(tr("Sending Feedback"));
    controller->setStatus(tr("Sending feedback..."));

    BHTTPPostFormRequestTask request(requestUrl(), requestBody(m_feedback), timeoutMs);
    return request.run(controller);
}
