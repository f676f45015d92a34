#include "blib/net/BCheckForUpdatesTask.h"

#include "blib/app/BAppInfo.h"
#include "blib/net/BHTTPGetRequestTask.h"
#include "blib/net/BServiceAddress.h"
#include "blib/task/BTaskController.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

BCheckForUpdatesTask::BCheckForUpdatesTask()
    : BTask(nullptr)
{
}

QString BCheckForUpdatesTask::requestUrl()
{
    return serviceUrl(QStringLiteral("/v1/app-info")) + QStringLiteral("?app_key=")
        + QString::fromUtf8(BAppInfo::serviceAppKey);
}

double BCheckForUpdatesTask::versionNumber(const QString& version)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9})?$"));
    if (!decimal.match(version).hasMatch())
        return 0.0;
    bool ok = false;
    const double number = version.toDouble(&ok);
    return ok ? number : 0.0;
}

BTaskResult BCheckForUpdatesTask::run(BTaskController* controller)
{
    controller->setIndeterminateProgress(true);
    controller->setTitle(tr("Checking for Updates"));
    controller->setStatus(tr("Checking for updates..."));

    BHTTPGetRequestTask request(requestUrl(), timeoutMs);
    const BTaskResult result = request.run(controller);
    if (result != Success)
        return result;

    const QJsonDocument document = QJsonDocument::fromJson(request.responseText().toUtf8());
    if (!document.isObject())
        return Failure;
    const QJsonObject answer = document.object();
    if (!answer.contains(QStringLiteral("version")))
        return Failure;

    if (!answer.contains(QStringLiteral("beta")) || !answer.contains(QStringLiteral("change_log")))
        return Failure;

    // A version that is not text (say the number 1.4) counts as empty.
    m_latestVersion = answer.value(QStringLiteral("version")).toString();
    m_changeLog = answer.value(QStringLiteral("change_log")).toString();
    m_updateAvailable = versionNumber(m_latestVersion)
        > versionNumber(QString::fromUtf8(BAppInfo::applicationVersion));
    return Success;
}
