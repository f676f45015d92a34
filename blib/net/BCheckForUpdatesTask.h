#ifndef BCHECKFORUPDATESTASK_H
#define BCHECKFORUPDATESTASK_H

#include "blib/net/BUpdateInfo.h"
#include "blib/task/BTask.h"

class QJsonValue;

// Asks the web service for the latest published version
// (GET "/v1/app-info?app_key=lockharbour", 60 s time-out). The answer must
// be a JSON object with "version" (a decimal number as text), "beta" and
// "change_log"; anything else is a Failure with the error text that the
// answer was not understood, so that a damaged or absurd answer never reads
// as "up to date".
class BCheckForUpdatesTask : public BTask
{
    Q_OBJECT

public:
    static constexpr int timeoutMs = 60000;

    BCheckForUpdatesTask();

    BTaskResult run(BTaskController* controller) override;

    bool updateAvailable() const { return m_updateAvailable; }
    BUpdateInfo updateInfo() const { return { m_latestVersion, m_changeLog }; }

    static QString requestUrl();
    // True for a version this check can compare: text of digits with at
    // most one decimal point, each part at most nine digits.
    static bool isVersion(const QJsonValue& version);
    // A version as the decimal number it stands for: digits with at most one
    // decimal point ("1.10" is 1.1). Any other text, including exponents,
    // signs, "inf" and overlong numbers, counts as 0.
    static double versionNumber(const QString& version);

private:
    bool m_updateAvailable = false;
    QString m_latestVersion;
    QString m_changeLog;
};

#endif // BCHECKFORUPDATESTASK_H
