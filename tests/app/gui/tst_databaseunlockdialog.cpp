// The unlock dialog: what it shows about the database, a wrong password
// that keeps it open, the right one that unlocks, and Cancel.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/gui/DatabaseUnlockDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/task/BTaskController.h"
#include "blib/task/BTaskDialog.h"
#include "support/UiDriver.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString Incorrect = QStringLiteral("Failed to unlock password database. Incorrect password.");

// A database with one group and one password, locked with `password`.
void makeLockedDatabase(PasswordDatabase& db, const QString& password)
{
    db.setName("Family Vault");
    auto* group = new PasswordDatabase::Group;
    group->setName("Bank");
    auto* entry = new PasswordDatabase::Password;
    entry->setName("Savings");
    entry->setPassword("hunter2");
    group->addItem(entry);
    db.addItem(group);
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, password, 2, 1, 3);
    QCOMPARE(task.run(&controller), Success);
    QVERIFY(db.lock());
}

QLineEdit* passwordEditOf(QDialog* dialog)
{
    return dialog->findChild<QLineEdit*>("passwordLineEdit");
}

// Clicks OK from a timer of its own: OK may open a message box or the task
// dialog, whose local loops the driver must stay free to work in.
void clickOk(QDialog* dialog)
{
    QAbstractButton* ok = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
    QTimer::singleShot(0, ok, &QAbstractButton::click);
}

} // namespace

class tst_DatabaseUnlockDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsDatabaseSettings();
    void wrongPasswordKeepsDialogOpen();
};

void tst_DatabaseUnlockDialog::showsDatabaseSettings()
{
    PasswordDatabase db;
    makeLockedDatabase(db, "right horse");
    DatabaseUnlockDialog dialog(nullptr, &db);
    QCOMPARE(dialog.windowTitle(), QString("Unlock Database"));
    QCOMPARE(dialog.findChild<QLabel*>("nameLabel")->text(), QString("Family Vault"));
    QCOMPARE(dialog.findChild<QLabel*>("cipherLabel")->text(), QString("Twofish-256"));
    QCOMPARE(dialog.findChild<QLabel*>("kdfLabel")->text(), QString("3 rounds of PBKDF2"));
    QCOMPARE(passwordEditOf(&dialog)->echoMode(), QLineEdit::Password);
}

void tst_DatabaseUnlockDialog::wrongPasswordKeepsDialogOpen()
{
    PasswordDatabase db;
    makeLockedDatabase(db, "right horse");
    QWidget window;
    window.show();
    DatabaseUnlockDialog dialog(&window, &db);

    int stage = 0;
    QString errorTitle, errorText, fieldDuringError = "unset";
    bool openAfterWrong = false, lockedAfterWrong = false;
    UiDriver driver([&]() {
        switch (stage) {
        case 0:
            if (!dialog.isVisible())
                return false;
            QTest::keyClicks(passwordEditOf(&dialog), "wrong horse");
            clickOk(&dialog);
            stage = 1;
            return false;
        case 1: {
            // The task dialog reports the task's error text.
            auto* box = visibleTopLevel<QMessageBox>();
            if (!box)
                return false;
            errorTitle = box->windowTitle();
            errorText = box->text();
            fieldDuringError = passwordEditOf(&dialog)->text();
            QTimer::singleShot(0, box->button(QMessageBox::Ok), &QAbstractButton::click);
            stage = 2;
            return false;
        }
        case 2:
            if (visibleTopLevel<QMessageBox>() || visibleTopLevel<BTaskDialog>())
                return false;
            openAfterWrong = dialog.isVisible();
            lockedAfterWrong = db.isLocked() && db.getItems().isEmpty();
            QTest::keyClicks(passwordEditOf(&dialog), "right horse");
            QTimer::singleShot(0, passwordEditOf(&dialog), [&dialog]() {
                QTest::keyClick(passwordEditOf(&dialog), Qt::Key_Return);
            });
            stage = 3;
            return true;
        }
        return false;
    });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(driver.isDone());
    QCOMPARE(errorTitle, QString("Error"));
    QCOMPARE(errorText, Incorrect);
    // Handed over and cleared before the task ran.
    QCOMPARE(fieldDuringError, QString());
    QVERIFY(openAfterWrong);
    QVERIFY(lockedAfterWrong);

    QVERIFY(!db.isLocked());
    QCOMPARE(db.getItems().size(), 1);
    QCOMPARE(db.getItems().first()->getName(), QString("Bank"));
    auto* entry = static_cast<PasswordDatabase::Password*>(db.getItems().first()->getItems().first());
    QCOMPARE(entry->getPassword(), QString("hunter2"));
    QCOMPARE(passwordEditOf(&dialog)->text(), QString());
}

QTEST_MAIN(tst_DatabaseUnlockDialog)
#include "tst_databaseunlockdialog.moc"
