#include "app/database/DatabaseReport.h"

#include "blib/crypto/BWipe.h"
#include "blib/password/BPassword.h"

#include <QSet>

QList<const PasswordDatabase::Password*> DatabaseReport::candidates(const PasswordDatabase& database)
{
    QList<const PasswordDatabase::Password*> result;
    for (const PasswordDatabase::Item* item : database.getAllItems()) {
        if (!item->isPassword())
            continue;
        const PasswordDatabase::Group* parent = item->getParent();
        if (parent && parent->getTag() != 1)
            result.append(static_cast<const PasswordDatabase::Password*>(item));
    }
    return result;
}

QString DatabaseReport::kindKey(Kind kind)
{
    switch (kind) {
    case Weak: return QStringLiteral("weak");
    case Reused: return QStringLiteral("reused");
    case Expired: return QStringLiteral("expired");
    case Expiring: return QStringLiteral("expiring");
    default: return QStringLiteral("breached");
    }
}

QString DatabaseReport::kindName(Kind kind)
{
    switch (kind) {
    case Weak: return tr("Weak");
    case Reused: return tr("Re-used");
    case Expired: return tr("Expired");
    case Expiring: return tr("Expiring soon");
    default: return tr("Breached");
    }
}

void DatabaseReport::clear()
{
    for (Finding& finding : m_findings)
        wipe(finding.detail);
    m_findings.clear();
    for (int& count : m_counts)
        count = 0;
    for (int& count : m_ratings)
        count = 0;
    m_passwordCount = 0;
    m_score = 100;
}

void DatabaseReport::build(const PasswordDatabase& database, const QDateTime& now,
                           const QHash<const PasswordDatabase::Password*, qint64>& breachCounts)
{
    clear();
    if (!database.isOpen() || database.isLocked())
        return;
    const QList<const PasswordDatabase::Password*> entries = candidates(database);
    m_passwordCount = entries.size();

    // The first holder of each password text, and the second, so that an
    // entry's partner is the first other holder. The keys share their text
    // with the entries: no copy of a secret is made.
    QHash<QString, QPair<int, int>> holders;
    for (int i = 0; i < entries.size(); ++i) {
        const QString& text = entries.at(i)->getPassword();
        if (text.isEmpty())
            continue;
        auto found = holders.find(text);
        if (found == holders.end())
            holders.insert(text, qMakePair(i, -1));
        else if (found->second < 0)
            found->second = i;
    }

    const QDateTime soon = now.addDays(expiringDays);
    QSet<const PasswordDatabase::Password*> flagged;
    auto add = [&](const PasswordDatabase::Password* password, Kind kind, const QString& detail) {
        m_findings.append({ password, kind, detail });
        ++m_counts[kind];
        flagged.insert(password);
    };
    for (int i = 0; i < entries.size(); ++i) {
        const PasswordDatabase::Password* password = entries.at(i);
        const QString& secret = password->getPassword();
        if (!secret.isEmpty()) {
            double entropy = 0;
            double fraction = 0;
            int rating = 0;
            QString feedback;
            ratePassword(secret, entropy, rating, fraction, feedback);
            ++m_ratings[qBound(0, rating, ratingCount - 1)];
            if (rating <= 1) {
                add(password, Weak, feedback.isEmpty() ? ratingName(rating)
                                                       : QStringLiteral("%1: %2").arg(ratingName(rating), feedback));
            }
            wipe(feedback);
            const QPair<int, int> holder = holders.value(secret);
            const int other = holder.first != i ? holder.first : holder.second;
            if (other >= 0)
                add(password, Reused, entries.at(other)->getFullName());
        }
        if (!password->isNeverExpire()) {
            const QDateTime expiry = password->getExpireTime();
            const QString date = expiry.toString(QStringLiteral("d MMM yyyy"));
            if (now >= expiry)
                add(password, Expired, date);
            else if (expiry <= soon)
                add(password, Expiring, date);
        }
        const qint64 breaches = breachCounts.value(password, 0);
        if (breaches > 0)
            add(password, Breached, QString::number(breaches));
    }
    m_score = m_passwordCount == 0 ? 100 : qRound(100.0 * (m_passwordCount - flagged.size()) / m_passwordCount);
}
