#ifndef BREACHEDPASSWORDRANGETASK_H
#define BREACHEDPASSWORDRANGETASK_H

#include "blib/task/BTask.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Looks passwords up online in the range interface of the breached-passwords
// service without revealing them: for each distinct 5-digit prefix of their
// SHA-1 digests it asks GET "<base>/range/<PREFIX>" with "Add-Padding: true"
// and compares the listed suffixes here. Nothing but the prefixes leaves.
// Padding lines (count 0) are ignored. A failed or unreadable answer ends the
// task with Failure and an error text.
class BreachedPasswordRangeTask : public BTask
{
    Q_OBJECT

public:
    static constexpr int prefixLength = 5;
    static constexpr int defaultTimeoutMs = 30000;

    // `sha1Hexes`: upper-case SHA-1 hex digests (BreachedPasswordFile::sha1Hex).
    // The task keeps copies, wiped when it is destroyed.
    BreachedPasswordRangeTask(const QString& baseUrl, const QList<QByteArray>& sha1Hexes,
                              int timeoutMs = defaultTimeoutMs);
    ~BreachedPasswordRangeTask() override;

    BTaskResult run(BTaskController* controller) override;

    // After Success: for each digest in order, the listed count (0 when not listed).
    QList<qint64> counts() const { return m_counts; }

    // The settings: whether the online check is allowed, and the service's
    // base address.
    static bool onlineCheckEnabled();
    static QString serviceBaseUrl();

private:
    QString m_baseUrl;
    QList<QByteArray> m_hashes;
    int m_timeoutMs;
    QList<qint64> m_counts;
};

#endif // BREACHEDPASSWORDRANGETASK_H
