// Usage statistics: recording, the upload schedule, the uploaded document
// and the upload at shutdown against a real server on 127.0.0.1.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BMainWindowShutdownTask.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"
#include "blib/net/BSendAnalyticsTask.h"
#include "support/LocalHttpServer.h"
#include "support/TaskRun.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

constexpr qint64 week = 7 * 24 * 60 * 60;

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

int lastSendTime()
{
    return intSetting("blib.analytics.lastSendTime", 0);
}

void setLastSendTime(qint64 seconds)
{
    setIntSetting("blib.analytics.lastSendTime", static_cast<int>(seconds));
}

BAnalyticsDataPoint point(int type, const QString& string = QString(), const QVariant& data = QVariant())
{
    BAnalyticsDataPoint p;
    p.type = type;
    p.string = string;
    p.data = data;
    return p;
}

QJsonObject parsedObject(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QJsonObject();
    return document.object();
}

} // namespace

class tst_BAnalytics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    // Must stay first: the first-run points are recorded once per process.
    void offUntilTheUserAgrees();
    void firstRunRecordsInstallAndRun();
    void equalEventsMergeTheirCounts();
    void disablingDropsPointsAndStopsRecording();
    void dueAfterMoreThanSevenDaysEitherWay();
    void documentKeepsOrderAndEscapesText();
    void shutdownUploadsDuePointsOnce();
    void failedUploadKeepsPointsButMovesTheClock();
    void disabledShutdownSendsNothing();
    void shutdownIsBoundedByTheUploadTimeOut();
};

void tst_BAnalytics::initTestCase()
{
    applyApplicationIdentity();
    // The settings store outlives a run of this test: start as a fresh install.
    setBoolSetting("blib.analytics.initialised", false);
    setBoolSetting("blib.analytics.enabled", true);
    setLastSendTime(0);
}

void tst_BAnalytics::offUntilTheUserAgrees()
{
    QSettings().remove("blib.analytics.enabled");
    QVERIFY(!analyticsEnabled());
    recordDataPoint(point(BAnalyticsDataPoint::Run));
    QVERIFY(analyticsDataPoints().isEmpty());
    setLastSendTime(now() - 2 * week);
    QVERIFY(!analyticsDue());
    setLastSendTime(0);
    setBoolSetting("blib.analytics.enabled", true);
}

void tst_BAnalytics::firstRunRecordsInstallAndRun()
{
    QVERIFY(!boolSetting("blib.analytics.initialised", false));
    const qint64 before = now();
    initialiseAnalytics();
    const qint64 after = now();

    QVERIFY(boolSetting("blib.analytics.initialised", false));
    QVERIFY(lastSendTime() >= before && lastSendTime() <= after);
    QList<BAnalyticsDataPoint> points = analyticsDataPoints();
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.at(0).type, int(BAnalyticsDataPoint::Install));
    QCOMPARE(points.at(1).type, int(BAnalyticsDataPoint::Run));
    QCOMPARE(points.at(0).count, 1);
    QCOMPARE(points.at(1).count, 1);
    // Not yet due, so the first close uploads nothing.
    QVERIFY(!analyticsDue());

    // Once per process.
    initialiseAnalytics();
    QCOMPARE(analyticsDataPoints().size(), 2);
    QCOMPARE(analyticsDataPoints().at(1).count, 1);
}

void tst_BAnalytics::equalEventsMergeTheirCounts()
{
    removeSentDataPoints(analyticsDataPoints());
    QVERIFY(analyticsDataPoints().isEmpty());

    BAnalyticsDataPoint heavy = point(BAnalyticsDataPoint::UseFeature, "find");
    heavy.count = 40; // each recording is one more occurrence, whatever its count
    recordDataPoint(point(BAnalyticsDataPoint::UseFeature, "find"));
    recordDataPoint(heavy);
    recordDataPoint(point(BAnalyticsDataPoint::UseFeature, "lock"));
    recordDataPoint(point(BAnalyticsDataPoint::UseFeature, "find", 7));

    const QList<BAnalyticsDataPoint> points = analyticsDataPoints();
    QCOMPARE(points.size(), 3);
    QCOMPARE(points.at(0).string, QString("find"));
    QCOMPARE(points.at(0).count, 2);
    QCOMPARE(points.at(1).string, QString("lock"));
    QCOMPARE(points.at(2).data, QVariant(7));
    removeSentDataPoints(points);
}

void tst_BAnalytics::disablingDropsPointsAndStopsRecording()
{
    recordDataPoint(point(BAnalyticsDataPoint::Run));
    QCOMPARE(analyticsDataPoints().size(), 1);

    setAnalyticsEnabled(false);
    QVERIFY(!analyticsEnabled());
    QVERIFY(analyticsDataPoints().isEmpty()); // what was recorded is forgotten
    recordDataPoint(point(BAnalyticsDataPoint::Run));
    QVERIFY(analyticsDataPoints().isEmpty());
    setLastSendTime(now() - 2 * week);
    QVERIFY(!analyticsDue());

    setAnalyticsEnabled(true);
    recordDataPoint(point(BAnalyticsDataPoint::Run));
    QCOMPARE(analyticsDataPoints().size(), 1);
    removeSentDataPoints(analyticsDataPoints());
}

void tst_BAnalytics::dueAfterMoreThanSevenDaysEitherWay()
{
    setLastSendTime(now() - week + 60);
    QVERIFY(!analyticsDue());
    setLastSendTime(now() - week - 60);
    QVERIFY(analyticsDue());
    setLastSendTime(now() - 8 * 24 * 60 * 60);
    QVERIFY(analyticsDue());
    // The clock was set back: the stored time lies in the future.
    setLastSendTime(now() + 3600);
    QVERIFY(analyticsDue());

    setLastSendTime(0);
    markAnalyticsSent();
    QVERIFY(!analyticsDue());
}

void tst_BAnalytics::documentKeepsOrderAndEscapesText()
{
    const QString awkward = QString::fromUtf8("quote \" backslash \\ line\nbreak tab\t zoë </script>");
    const QString document = BSendAnalyticsTask::document(
        4711, { point(BAnalyticsDataPoint::Install), point(BAnalyticsDataPoint::UseFeature, awkward, "ü"),
                point(42) });

    QVERIFY(document.startsWith(
        "{\"context_id\":\"4711\", \"app_key\":\"lockharbour\", \"app_version\":\"1.3\", \"data_points\":["
        "{\"type\":\"install\", \"string\":\"\", \"data\":\"\", \"count\":1},{\"type\":\"use_feature\", "));
    QVERIFY(document.endsWith(",{}]}"));

    const QJsonObject parsed = parsedObject(document.toUtf8());
    QVERIFY(!parsed.isEmpty());
    const QJsonArray points = parsed.value("data_points").toArray();
    QCOMPARE(points.size(), 3);
    const QJsonObject feature = points.at(1).toObject();
    QCOMPARE(feature.value("string").toString(), awkward);
    QCOMPARE(QByteArray::fromBase64(feature.value("data").toString().toLatin1()), QString::fromUtf8("ü").toUtf8());
    QCOMPARE(feature.value("count").toInt(), 1);
    QVERIFY(points.at(2).toObject().isEmpty());
}

void tst_BAnalytics::shutdownUploadsDuePointsOnce()
{
    LocalHttpServer server;
    server.setDefaultReply(CannedReply());
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    recordDataPoint(point(BAnalyticsDataPoint::Run));
    setLastSendTime(now() - 8 * 24 * 60 * 60);
    const qint64 before = now();
    {
        BMainWindowShutdownTask task(nullptr);
        TaskRun run(&task);
        QVERIFY(run.wait());
        QCOMPARE(run.result(), Success);
    }
    QVERIFY(lastSendTime() >= before);
    QVERIFY(analyticsDataPoints().isEmpty());

    QCOMPARE(server.requests().size(), 1);
    const RecordedRequest& received = server.requests().at(0);
    QCOMPARE(received.method, QByteArray("POST"));
    QCOMPARE(received.target, QByteArray("/v1/analytics"));
    QCOMPARE(received.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject body = parsedObject(received.body);
    QCOMPARE(body.keys(), QStringList({ "app_key", "app_version", "context_id", "data_points" }));
    bool isNumber = false;
    const int contextId = body.value("context_id").toString().toInt(&isNumber);
    QVERIFY(isNumber && contextId >= 0 && contextId <= 32767);
    QCOMPARE(contextId, intSetting("blib.analytics.contextId", -1));
    const QJsonArray points = body.value("data_points").toArray();
    QCOMPARE(points.size(), 1);
    QCOMPARE(points.at(0).toObject().value("type").toString(), QString("run"));
    QCOMPARE(points.at(0).toObject().value("count").toInt(), 1);

    // Just sent: the next close uploads nothing.
    {
        BMainWindowShutdownTask task(nullptr);
        TaskRun run(&task);
        QVERIFY(run.wait());
    }
    QCOMPARE(server.requests().size(), 1);
}

void tst_BAnalytics::failedUploadKeepsPointsButMovesTheClock()
{
    LocalHttpServer server;
    CannedReply broken;
    broken.status = 500;
    server.setDefaultReply(broken);
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    recordDataPoint(point(BAnalyticsDataPoint::Run));
    setLastSendTime(now() + 3600); // in the future: due
    const qint64 before = now();
    BMainWindowShutdownTask task(nullptr);
    TaskRun run(&task);
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Success); // closing goes on regardless
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(analyticsDataPoints().size(), 1);
    QVERIFY(lastSendTime() >= before && lastSendTime() < before + 3600);
    removeSentDataPoints(analyticsDataPoints());
}

void tst_BAnalytics::disabledShutdownSendsNothing()
{
    LocalHttpServer server;
    server.setDefaultReply(CannedReply());
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    recordDataPoint(point(BAnalyticsDataPoint::Run));
    setAnalyticsEnabled(false);
    const qint64 stale = now() - 30 * 24 * 60 * 60;
    setLastSendTime(stale);
    {
        BMainWindowShutdownTask task(nullptr);
        TaskRun run(&task);
        QVERIFY(run.wait());
    }
    // The upload task itself refuses as well.
    {
        BSendAnalyticsTask task;
        TaskRun run(&task);
        QVERIFY(run.wait());
    }
    QTest::qWait(100);
    QCOMPARE(server.requests().size(), 0);
    QCOMPARE(lastSendTime(), int(stale));
    setAnalyticsEnabled(true);
}

void tst_BAnalytics::shutdownIsBoundedByTheUploadTimeOut()
{
    LocalHttpServer server;
    CannedReply silent;
    silent.neverAnswer = true;
    server.setDefaultReply(silent);
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    recordDataPoint(point(BAnalyticsDataPoint::Run));
    setLastSendTime(now() - 8 * 24 * 60 * 60);
    BMainWindowShutdownTask task(nullptr);
    TaskRun run(&task);
    // The upload gives up after its 10 s time-out; the bound only keeps a
    // broken build from hanging here.
    QVERIFY(run.wait(BSendAnalyticsTask::timeoutMs + 20000));
    QCOMPARE(run.result(), Success);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(analyticsDataPoints().size(), 1);
    QVERIFY(!analyticsDue());
}

QTEST_MAIN(tst_BAnalytics)
#include "tst_banalytics.moc"
