#ifndef BSENDANALYTICSTASK_H
#define BSENDANALYTICSTASK_H

#include "blib/net/BAnalyticsDataPoint.h"
#include "blib/task/BTask.h"

#include <QList>
#include <QString>

// Uploads the recorded usage statistics (POST "/v1/analytics", 10 s
// time-out). A successful upload takes the sent points off the list. While
// statistics are disabled nothing is sent.
class BSendAnalyticsTask : public BTask
{
    Q_OBJECT

public:
    static constexpr int timeoutMs = 10000;

    BSendAnalyticsTask();

    BTaskResult run(BTaskController* controller) override;

    // The uploaded JSON document: the context id, app key and version, then
    // one object per point, members in a fixed order and every text escaped.
    static QString document(int contextId, const QList<BAnalyticsDataPoint>& points);
    // "blib.analytics.contextId", created at random (0 to 32767) on first use.
    static int contextId();
};

#endif // BSENDANALYTICSTASK_H
