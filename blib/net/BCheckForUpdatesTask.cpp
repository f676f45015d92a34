#include "blib/net/BCheckForUpdatesTask.h"

#include "blib/app/BAppInfo.h"
#include "blib/net/BHTTPGetRequestTask.h"
#include "blib/net/BServiceAddress.h"
#include "blib/task/BTaskController.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
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

namespace {

bool isDecimal(const QString& text)
{
    static const QRegularExpression decimal(QStringLiteral("^[0-9]{1,9}(\\.[0-9]{1,9})?$"));
    return decimal.match(text).hasMatch();
}

} // namespace

bool BCheckForUpdatesTask::isVersion(const QJsonValue& version)
{
    return version.isString() && isDecimal(version.toString());
}

double BCheckForUpdatesTask::versionNumber(const QString& version)
{
    if (!isDecimal(version))
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
    const QJsonObject answer = document.object();
    if (!document.isObject() || !isVersion(answer.value(QStringLiteral("version")))
        || !answer.contains(QStringLiteral("beta")) || !answer.contains(QStringLiteral("change_log"))) {
        controller->setErrorMessage(tr("The update server's answer was not understood."));
        return Failure;
    }

    m_latestVersion = answer.value(QStringLiteral("version")).toString();
    m_changeLog = answer.value(QStringLiteral("change_log")).toString();
    m_updateAvailable = versionNumber(m_latestVersion)
        > versionNumber(QString::fromUtf8(BAppInfo::applicationVersion));
    return Success;
}
