#ifndef SECURITYAUDITTASK_H
#define SECURITYAUDITTASK_H

#include "app/database/PasswordDatabase.h"
#include "app/gui/MainWindow.h"
#include "blib/task/BTask.h"

#include <QList>

// Looks at the password entries of a database (outside the backup group)
// and records a warning for each weak or re-used password. A full audit
// (no target) replaces the whole findings list. With a target, that entry is
// looked at again together with every entry that shares its password or
// shared `previousPassword` (what the target held before an edit), whose
// re-use warnings change with it; their findings are replaced or removed.
// Runs synchronously; the task object lives for one run.
class SecurityAuditTask : public BTask
{
    Q_OBJECT

public:
    using Finding = MainWindow::AuditFinding;

    SecurityAuditTask(const PasswordDatabase* database, QList<Finding>* findings,
                      const PasswordDatabase::Password* target = nullptr,
                      const QString& previousPassword = QString());

    BTaskResult run(BTaskController* controller) override;

private:
    const PasswordDatabase* m_database;
    QList<Finding>* m_findings;
    const PasswordDatabase::Password* m_target;
    // Shares its text with the caller's copy, which the caller wipes.
    QString m_previousPassword;
};

#endif // SECURITYAUDITTASK_H
