#include "blib/net/BAnalytics.h"

#include "blib/app/BSettings.h"

#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>

namespace {

const char* const enabledKey = "blib.analytics.enabled";
const char* const initialisedKey = "blib.analytics.initialised";
const char* const lastSendTimeKey = "blib.analytics.lastSendTime";
constexpr quint64 sendIntervalSeconds = 7 * 24 * 60 * 60;

QMutex pointsMutex;
QList<BAnalyticsDataPoint> points;
bool initialised = false;

BAnalyticsDataPoint simplePoint(int type)
{
    BAnalyticsDataPoint point;
    point.type = type;
    point.count = 1;
    return point;
}

void storeNowAsLastSendTime()
{
    // The setting is 32 bits wide, as the stored value has always been.
    setIntSetting(QString::fromLatin1(lastSendTimeKey),
                  static_cast<int>(QDateTime::currentSecsSinceEpoch()));
}

} // namespace

QString BAnalyticsDataPoint::typeName(int type)
{
    switch (type) {
    case Download: return QStringLiteral("download");
    case Install: return QStringLiteral("install");
    case Uninstall: return QStringLiteral("uninstall");
    case Run: return QStringLiteral("run");
    case UseFeature: return QStringLiteral("use_feature");
    case Crash: return QStringLiteral("crash");
    default: return QString();
    }
}

void recordDataPoint(const BAnalyticsDataPoint& point)
{
    if (!analyticsEnabled())
        return;
    QMutexLocker locker(&pointsMutex);
    for (BAnalyticsDataPoint& listed : points) {
        if (listed.sameEvent(point)) {
            ++listed.count;
            return;
        }
    }
    points.append(point);
}

void initialiseAnalytics()
{
    if (initialised)
        return;
    initialised = true;

    if (!boolSetting(QString::fromLatin1(initialisedKey), false)) {
        setBoolSetting(QString::fromLatin1(initialisedKey), true);
        storeNowAsLastSendTime();
        recordDataPoint(simplePoint(BAnalyticsDataPoint::Install));
    }
    recordDataPoint(simplePoint(BAnalyticsDataPoint::Run));
}

bool analyticsEnabled()
{
    // Nothing is recorded or sent until the user has agreed.
    return boolSetting(QString::fromLatin1(enabledKey), false);
}

void setAnalyticsEnabled(bool enabled)
{
    setBoolSetting(QString::fromLatin1(enabledKey), enabled);
    if (!enabled) {
        QMutexLocker locker(&pointsMutex);
        points.clear();
    }
}

bool analyticsDue()
{
    if (!analyticsEnabled())
        return false;
    const qint64 last = intSetting(QString::fromLatin1(lastSendTimeKey), 0);
    const qint64 elapsed = QDateTime::currentSecsSinceEpoch() - last;
    return static_cast<quint64>(elapsed) > sendIntervalSeconds;
}

void markAnalyticsSent()
{
    storeNowAsLastSendTime();
}

QList<BAnalyticsDataPoint> analyticsDataPoints()
{
    QMutexLocker locker(&pointsMutex);
    return points;
}

void removeSentDataPoints(const QList<BAnalyticsDataPoint>& sent)
{
    QMutexLocker locker(&pointsMutex);
    for (const BAnalyticsDataPoint& done : sent) {
        for (int i = 0; i < points.size(); ++i) {
            if (points.at(i).sameEvent(done)) {
                points[i].count -= done.count;
                if (points.at(i).count <= 0)
                    points.removeAt(i);
                break;
            }
        }
    }
}
