#ifndef EXPIREDPASSWORDSDIALOG_H
#define EXPIREDPASSWORDSDIALOG_H

#include "app/database/PasswordDatabase.h"

#include <QDialog>
#include <QList>

namespace Ui {
class ExpiredPasswordsDialog;
}

// Lists expired passwords, one row each with a "Delete" tick box. The
// dialog does not own the passwords; after acceptance the caller deletes
// the ones passwordsToDelete() returns.
class ExpiredPasswordsDialog : public QDialog
{
    Q_OBJECT

public:
    ExpiredPasswordsDialog(QWidget* parent, const QList<PasswordDatabase::Password*>& passwords);
    ~ExpiredPasswordsDialog() override;

    // The passwords whose box is ticked, in row order.
    QList<PasswordDatabase::Password*> passwordsToDelete() const;

private:
    Ui::ExpiredPasswordsDialog* ui;
    QList<PasswordDatabase::Password*> m_passwords;
};

#endif // EXPIREDPASSWORDSDIALOG_H
