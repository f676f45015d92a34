#include "blib/net/BSendAnalyticsTask.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"
#include "blib/net/BHTTPPostJsonRequestTask.h"
#include "blib/net/BServiceAddress.h"
#include "blib/task/BTaskController.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace {

const char* const contextIdKey = "blib.analytics.contextId";

// `text` as a JSON string literal, quotes included, escaped by Qt's writer.
QString jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    // "[" + literal + "]"
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString pointObject(const BAnalyticsDataPoint& point)
{
    const QString name = BAnalyticsDataPoint::typeName(point.type);
    if (name.isEmpty())
        return QStringLiteral("{}");
    const QString data = QString::fromLatin1(point.data.toString().toUtf8().toBase64());
    return QStringLiteral("{\"type\":") + jsonString(name)
        + QStringLiteral(", \"string\":") + jsonString(point.string)
        + QStringLiteral(", \"data\":") + jsonString(data)
        + QStringLiteral(", \"count\":") + QString::number(point.count) + QLatin1Char('}');
}

} // namespace

BSendAnalyticsTask::BSendAnalyticsTask()
    : BTask(nullptr)
{
}

int BSendAnalyticsTask::contextId()
{
    const QString key = QString::fromLatin1(contextIdKey);
    if (!containsSetting(key))
        setIntSetting(key, static_cast<int>(QRandomGenerator::system()->bounded(32768u)));
    return intSetting(key, 0);
}

QString BSendAnalyticsTask::document(int contextId, const QList<BAnalyticsDataPoint>& points)
{
    QStringList objects;
    objects.reserve(points.size());
    for (const BAnalyticsDataPoint& point : points)
        objects.append(pointObject(point));

    return QStringLiteral("{\"context_id\":") + jsonString(QString::number(contextId))
        + QStringLiteral(", \"app_key\":") + jsonString(QString::fromUtf8(BAppInfo::serviceAppKey))
        + QStringLiteral(", \"app_version\":") + jsonString(QString::fromUtf8(BAppInfo::applicationVersion))
        + QStringLiteral(", \"data_points\":[") + objects.join(QLatin1Char(',')) + QStringLiteral("]}");
}

BTaskResult BSendAnalyticsTask::run(BTaskController* controller)
{
    controller->setTitle(tr("Sending Anonymous Usage Statistics"));
    controller->setStatus(tr("Sending anonymous usage data..."));

    if (!analyticsEnabled())
        return Success; // nothing may leave the machine

    const QList<BAnalyticsDataPoint> sent = analyticsDataPoints();
    BHTTPPostJsonRequestTask request(serviceUrl(QStringLiteral("/v1/analytics")),
                                     document(contextId(), sent), timeoutMs);
    const BTaskResult result = request.run(controller);
    if (result == Success)
        removeSentDataPoints(sent);
    return result;
}
