#ifndef DATABASEEDITDIALOG_H
#define DATABASEEDITDIALOG_H

#include "app/database/DatabaseKdfParameters.h"
#include "blib/task/BTaskResult.h"

#include <QDialog>
#include <QString>

class PasswordDatabase;
class QLabel;
class QPushButton;
class QSpinBox;

namespace Ui {
class DatabaseEditDialog;
}

// Names a new database and sets its password, cipher and key derivation
// (new mode), or changes these settings on an open database (edit mode).
// In edit mode a change of name or note alone needs no password; any
// cryptographic change asks for the password twice and re-keys the
// database through the set-password task. The dialog shows the vault's
// format version; a vault of version 3 or earlier is offered the upgrade to
// version 4 (re-keyed with the default key derivation, Argon2id, unless the
// user picks other settings), and only then can it use Argon2. The database is changed only
// once everything has succeeded; the caller then finds it updated in place.
class DatabaseEditDialog : public QDialog
{
    Q_OBJECT

public:
    // An empty title gives "New Database" or "Database Settings - NAME".
    DatabaseEditDialog(QWidget* parent, bool newDatabase, const QString& title);
    ~DatabaseEditDialog() override;

    // Remembers the database (not owned; it must outlive the dialog) and
    // fills the form from it.
    void loadDatabase(PasswordDatabase* database);

    // How long a calibration measures, in milliseconds; one second unless
    // set otherwise.
    void setCalibrationDuration(int durationMs) { m_calibrationDurationMs = durationMs; }

public slots:
    void changePasswordButtonPressed();
    void showPasswordButtonChecked(bool checked);
    void passwordTextChanged(const QString& text);
    void generatePasswordButtonPressed();
    void calibrateKDFRoundsButtonPressed();
    // Prepares the re-keying of a version 1-3 vault as version 4: the
    // password rows are shown and the default key derivation is selected.
    void upgradeFormatButtonPressed();
    void kdfChanged();
    void accept() override;

protected:
    // Measures the rounds of `kdf` this computer manages in the calibration
    // time, running the calibration task in the task dialog. On success
    // `rounds` holds the proposed count.
    virtual BTaskResult calibrateRounds(int kdf, int& rounds);

private:
    void setPasswordRowsVisible(bool visible);
    int selectedCipher() const;
    int selectedKdf() const;
    DatabaseKdfParameters selectedKdfParameters() const;
    void showKdfParameters(const DatabaseKdfParameters& parameters);
    void refreshFormatRow();
    // Runs the set-password task with the entered password; the password
    // fields are emptied before it runs.
    bool setPassword();

    Ui::DatabaseEditDialog* ui;
    bool m_newDatabase;
    QString m_title;
    bool m_passwordFieldsShown;
    PasswordDatabase* m_database = nullptr;
    int m_calibrationDurationMs = 1000;
    bool m_upgrading = false;
    // The key derivation the form showed first: a change of it asks for
    // the password and may warn about slow settings.
    DatabaseKdfParameters m_shownKdf;
    QLabel* m_formatLabel = nullptr;
    QPushButton* m_upgradeButton = nullptr;
    QWidget* m_argon2Widget = nullptr;
    QLabel* m_argon2Label = nullptr;
    QSpinBox* m_memorySpinBox = nullptr;
    QSpinBox* m_parallelismSpinBox = nullptr;
};

#endif // DATABASEEDITDIALOG_H
