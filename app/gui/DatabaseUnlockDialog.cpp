#include "app/gui/DatabaseUnlockDialog.h"

#include "ui_DatabaseUnlockDialog.h"

#include "app/database/DatabaseKdfParameters.h"
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "app/gui/SecretText.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskDialog.h"

DatabaseUnlockDialog::DatabaseUnlockDialog(QWidget* parent, PasswordDatabase* database)
    : QDialog(parent)
    , ui(new Ui::DatabaseUnlockDialog)
    , m_database(database)
{
    initResources();
    ui->setupUi(this);
    if (m_database) {
        ui->nameLabel->setText(m_database->getName());
        ui->cipherLabel->setText(cipherName(m_database->getCipher()));
        const DatabaseKdfParameters kdf = m_database->getKdfParameters();
        if (kdf.isArgon2())
            ui->kdfLabel->setText(kdf.describe());
        else
            ui->kdfLabel->setText(QStringLiteral("%1 %2 %3")
                                      .arg(QString::number(kdf.rounds), tr("rounds of"), kdfName(kdf.kdf)));
    }
    ui->passwordLineEdit->setFocus();
    fixDialogHeight(this);
    centreOnParent(this);
}

DatabaseUnlockDialog::~DatabaseUnlockDialog()
{
    delete ui;
}

void DatabaseUnlockDialog::accept()
{
    if (!m_database)
        return;

    BTaskResult result;
    {
        QString password = takeSecretText(ui->passwordLineEdit);
        PasswordDatabaseUnlockTask task(*m_database, password);
        wipe(password);
        // The task dialog reports the task's own error text.
        result = BTaskDialog::run(this, &task, false);
    }
    if (result == Success) {
        QDialog::accept();
        return;
    }
    ui->passwordLineEdit->setFocus();
}
