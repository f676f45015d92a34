#include "app/plugin/SecurityAuditTask.h"

#include "blib/app/BSettings.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPassword.h"
#include "blib/task/BTaskController.h"

#include <QHash>

namespace {

struct Rating {
    int rating = 0;
    QString feedback;
};

void removeFindingsOf(QList<MainWindow::AuditFinding>& findings, const PasswordDatabase::Password* password)
{
    for (int i = findings.size() - 1; i >= 0; --i) {
        if (findings.at(i).password == password)
            findings.removeAt(i);
    }
}

} // namespace

SecurityAuditTask::SecurityAuditTask(const PasswordDatabase* database, QList<Finding>* findings,
                                     const PasswordDatabase::Password* target,
                                     const QString& previousPassword)
    : m_database(database)
    , m_findings(findings)
    , m_target(target)
    , m_previousPassword(previousPassword)
{
}

BTaskResult SecurityAuditTask::run(BTaskController* controller)
{
    // The candidates: every password entry in tree order whose group is not
    // the backup group.
    QList<const PasswordDatabase::Password*> candidates;
    for (const PasswordDatabase::Item* item : m_database->getAllItems()) {
        if (!item->isPassword())
            continue;
        const PasswordDatabase::Group* parent = item->getParent();
        if (parent && parent->getTag() != 1)
            candidates.append(static_cast<const PasswordDatabase::Password*>(item));
    }

    if (!m_target)
        m_findings->clear();

    const bool warnWeak = boolSetting(QStringLiteral("app.settings.warnWeakPasswords"), true);
    const bool warnReused = boolSetting(QStringLiteral("app.settings.warnReusedPasswords"), true);

    // For each password text the first two candidates holding it, in order:
    // the first other candidate sharing an entry's password is the first of
    // these that is not the entry itself. The keys share their text with the
    // entries (implicit sharing), so no copy of a secret is made.
    struct Holders {
        int first = -1;
        int second = -1;
    };
    QHash<QString, Holders> holders;
    if (warnReused) {
        holders.reserve(candidates.size());
        for (int i = 0; i < candidates.size(); ++i) {
            const QString& text = candidates.at(i)->getPassword();
            if (text.isEmpty())
                continue;
            Holders& entry = holders[text];
            if (entry.first < 0)
                entry.first = i;
            else if (entry.second < 0)
                entry.second = i;
        }
    }
    // Each distinct password is rated once.
    QHash<QString, Rating> ratings;

    // With a target, the entries whose re-use warning can have changed with
    // it: those holding its password now, and those holding what it held.
    const QString targetPassword = m_target ? m_target->getPassword() : QString();
    auto inScope = [&](const PasswordDatabase::Password* password) {
        if (!m_target || password == m_target)
            return true;
        const QString& text = password->getPassword();
        return !text.isEmpty() && (text == targetPassword || text == m_previousPassword);
    };

    BTaskResult result = Success;
    for (int i = 0; i < candidates.size(); ++i) {
        const PasswordDatabase::Password* password = candidates.at(i);
        if (!inScope(password))
            continue;
        if (controller && controller->isCancelled()) {
            result = Cancelled;
            break;
        }
        QString text;
        const QString& secret = password->getPassword();
        if (!secret.isEmpty()) {
            if (warnWeak) {
                auto rating = ratings.find(secret);
                if (rating == ratings.end()) {
                    Rating fresh;
                    double entropy = 0;
                    double fraction = 0;
                    ratePassword(secret, entropy, fresh.rating, fraction, fresh.feedback);
                    rating = ratings.insert(secret, fresh);
                }
                if (rating->rating <= 1)
                    text += QStringLiteral("%1 (%2). ").arg(tr("Weak password"), rating->feedback);
            }
            if (warnReused) {
                const Holders entry = holders.value(secret);
                const int other = entry.first != i ? entry.first : entry.second;
                if (other >= 0)
                    text += QStringLiteral("%1 (%2). ").arg(tr("Reused password"), candidates.at(other)->getFullName());
            }
        }
        if (m_target) {
            // An entry's old finding makes way for the new one.
            removeFindingsOf(*m_findings, password);
            if (!text.isEmpty())
                m_findings->append({ password, text });
            continue;
        }
        if (!text.isEmpty())
            m_findings->append({ password, text });
    }

    // The feedback texts quote the matched characters of the passwords.
    for (Rating& rating : ratings)
        wipe(rating.feedback);
    return result;
}
