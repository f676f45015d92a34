#ifndef BANALYTICS_H
#define BANALYTICS_H

#include "blib/net/BAnalyticsDataPoint.h"

#include <QList>

// Anonymous usage statistics: a process-wide list of counted events, kept
// in memory only, uploaded at shutdown by BSendAnalyticsTask when a week has
// passed since the last upload. Nothing here names the user or touches a
// vault. The list is guarded, so recording and uploading may run on
// different threads.

// Adds one occurrence of `point`'s event: nothing while statistics are
// disabled; otherwise the count of an equal event already listed goes up by
// one, or a copy of `point` is appended.
void recordDataPoint(const BAnalyticsDataPoint& point);

// Called once at start-up; later calls do nothing. On the first run after
// installation it marks the installation as initialised, starts the
// seven-day period and records an "install" point; every run records a
// "run" point.
void initialiseAnalytics();

// "blib.analytics.enabled" (default true). Turning statistics off also
// forgets every point recorded so far, so none of them is ever sent.
bool analyticsEnabled();
void setAnalyticsEnabled(bool enabled);

// Whether an upload is due: statistics are enabled and more than seven days
// lie between now and the last upload attempt, either way (a last attempt
// "in the future", after the clock was set back, is due as well).
bool analyticsDue();
// Stores now as the time of the last upload attempt.
void markAnalyticsSent();

// The points recorded and not yet uploaded, in recording order.
QList<BAnalyticsDataPoint> analyticsDataPoints();
// Takes the counts of `sent` off the list after a successful upload; points
// recorded meanwhile stay.
void removeSentDataPoints(const QList<BAnalyticsDataPoint>& sent);

#endif // BANALYTICS_H
