#ifndef DATABASEUNLOCKDIALOG_H
#define DATABASEUNLOCKDIALOG_H

#include <QDialog>

class PasswordDatabase;

namespace Ui {
class DatabaseUnlockDialog;
}

// Asks for the password of a loaded, still locked database and unlocks it
// through the task dialog. A wrong password keeps the dialog open for
// another try; only a successful unlock accepts it.
class DatabaseUnlockDialog : public QDialog
{
    Q_OBJECT

public:
    // `database` is not owned and must outlive the dialog.
    DatabaseUnlockDialog(QWidget* parent, PasswordDatabase* database);
    ~DatabaseUnlockDialog() override;

public slots:
    void accept() override;

private:
    Ui::DatabaseUnlockDialog* ui;
    PasswordDatabase* m_database;
};

#endif // DATABASEUNLOCKDIALOG_H
