#ifndef DATABASEREPORT_H
#define DATABASEREPORT_H

#include "app/database/PasswordDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// The health of a whole vault: every finding about its passwords (weak,
// re-used, expired, expiring soon, breached), their counts, a score and how
// many passwords fall into each strength rating. The entries of the backup
// group are left out, as in the security audit. Built in one pass; the
// details can quote characters of passwords (the strength warnings), so
// clear() wipes them.
class DatabaseReport
{
    Q_DECLARE_TR_FUNCTIONS(DatabaseReport)

public:
    enum Kind { Weak, Reused, Expired, Expiring, Breached, KindCount };
    static constexpr int ratingCount = 5;
    static constexpr int expiringDays = 30;

    struct Finding {
        const PasswordDatabase::Password* password;
        Kind kind;
        QString detail;
    };

    ~DatabaseReport() { clear(); }

    // `breachCounts`: the breach counts known for entries (from a list or
    // the online check); entries missing from it are not reported breached.
    void build(const PasswordDatabase& database, const QDateTime& now,
               const QHash<const PasswordDatabase::Password*, qint64>& breachCounts = {});
    void clear();

    const QList<Finding>& findings() const { return m_findings; }
    int count(Kind kind) const { return m_counts[kind]; }
    // Passwords (not empty) per strength rating, 0 "Very weak" to 4 "Excellent".
    int ratingTotal(int rating) const { return m_ratings[rating]; }
    // The entries looked at, and the share of them without any finding, 0 to 100.
    int passwordCount() const { return m_passwordCount; }
    int score() const { return m_score; }

    // The entries looked at: every password entry outside the backup group, in tree order.
    static QList<const PasswordDatabase::Password*> candidates(const PasswordDatabase& database);
    // "weak", "reused", "expired", "expiring", "breached".
    static QString kindKey(Kind kind);
    // The translated name of a kind.
    static QString kindName(Kind kind);

private:
    QList<Finding> m_findings;
    int m_counts[KindCount] = {};
    int m_ratings[ratingCount] = {};
    int m_passwordCount = 0;
    int m_score = 100;
};

#endif // DATABASEREPORT_H
