// The database editor: new and edit modes, what needs the password and what
// does not, the high-rounds warning, calibration, and failures that must
// leave the database as it was.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "app/gui/DatabaseEditDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSettings.h"
#include "blib/password/BPasswordGenerator.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/task/BTaskController.h"
#include "blib/task/BTaskDialog.h"
#include "support/UiDriver.h"

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QStandardItemModel>
#include <QtTest>

#include <functional>
#include <vector>

namespace {

const QString RoundsKey = QStringLiteral("app.passwordDatabase.defaultKdfRounds");

// Calibration with a fixed outcome, counting how often it ran.
class FixedCalibrationDialog : public DatabaseEditDialog
{
public:
    FixedCalibrationDialog(QWidget* parent, bool newDatabase, BTaskResult result, int rounds)
        : DatabaseEditDialog(parent, newDatabase, QString())
        , m_result(result)
        , m_rounds(rounds)
    {
    }
    int calls = 0;

protected:
    BTaskResult calibrateRounds(int, int& rounds) override
    {
        ++calls;
        if (m_result == Success)
            rounds = m_rounds;
        return m_result;
    }

private:
    BTaskResult m_result;
    int m_rounds;
};

// Clicks from a timer of its own, so that a local loop the click opens
// (message box, task dialog) does not block the driver.
void clickLater(QAbstractButton* button)
{
    QTimer::singleShot(0, button, &QAbstractButton::click);
}

void clickOk(QDialog* dialog)
{
    clickLater(field<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok));
}

void setPasswords(QDialog* dialog, const QString& password, const QString& repeated)
{
    field<QLineEdit>(dialog, "passwordEdit")->setText(password);
    field<QLineEdit>(dialog, "repeatPasswordEdit")->setText(repeated);
}

// A step that waits until no message box or task dialog is open.
bool settled()
{
    return !visibleTopLevel<QMessageBox>() && !visibleTopLevel<BTaskDialog>();
}

void giveKeys(PasswordDatabase& db, const QString& password, int cipher)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, password, cipher, 1, 3);
    QCOMPARE(task.run(&controller), Success);
}

bool unlocks(PasswordDatabase& db, const QString& password)
{
    BTaskController controller;
    PasswordDatabaseUnlockTask task(db, password);
    return task.run(&controller) == Success;
}

} // namespace

class tst_DatabaseEditDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void newDatabase();
    void editNoteNeedsNoPassword();
    void cipherChangeAsksForPasswordThenReKeys();
    void highRoundsWarningThreshold();
    void calibrateButton();
    void failuresLeaveDatabaseUnchanged();
    void generatedPasswordFillsBothFields();
    void argon2DefaultPassesAreCalibratedOnce();
    void legacyVaultIsUpgradedWithArgon2();
};

void tst_DatabaseEditDialog::init()
{
    // New databases take their rounds from here: few, for fast tests. Most
    // tests drive the PBKDF2 settings; the Argon2 ones choose it themselves.
    setIntSetting(RoundsKey, 3);
    setStringSetting(QStringLiteral("app.passwordDatabase.defaultKdf"), QStringLiteral("PBKDF2"));
    setIntSetting(QStringLiteral("app.passwordDatabase.defaultArgon2MemoryKib"), 1024);
}

void tst_DatabaseEditDialog::newDatabase()
{
    QWidget window;
    window.show();
    PasswordDatabase db;
    // The version 3 layout's fixed HMAC rounds keep the task dialog up long
    // enough to look at the fields meanwhile.
    db.setFileFormatVersion(3);
    FixedCalibrationDialog dialog(&window, true, Success, 1000);
    dialog.loadDatabase(&db);

    QCOMPARE(dialog.windowTitle(), QString("New Database"));
    QVERIFY(field<QPushButton>(&dialog, "changePasswordButton")->isHidden());
    for (const char* name : { "passwordLabel", "passwordWidget", "repeatPasswordLabel", "repeatPasswordWidget",
                              "passwordStrengthLabel", "passwordStrengthWidget" })
        QVERIFY2(!field<QWidget>(&dialog, name)->isHidden(), name);
    auto* ciphers = field<QComboBox>(&dialog, "cipherComboBox");
    QCOMPARE(field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->value(), 3);

    field<QLineEdit>(&dialog, "nameEdit")->setText("Vault");
    ciphers->setCurrentIndex(1);
    field<QPlainTextEdit>(&dialog, "noteEdit")->setPlainText("family\npasswords");
    setPasswords(&dialog, "correct horse", "correct horse");
    field<QToolButton>(&dialog, "showPasswordButton")->click();
    QCOMPARE(field<QLineEdit>(&dialog, "repeatPasswordEdit")->echoMode(), QLineEdit::Normal);

    QString fieldDuringTask = "unset";
    Steps steps({ [&]() { clickOk(&dialog); return true; },
                  [&]() {
                      if (!visibleTopLevel<BTaskDialog>())
                          return false;
                      fieldDuringTask = field<QLineEdit>(&dialog, "passwordEdit")->text()
                          + field<QLineEdit>(&dialog, "repeatPasswordEdit")->text();
                      return true;
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(steps.isDone());
    QCOMPARE(fieldDuringTask, QString());
    QCOMPARE(dialog.calls, 0); // the rounds were not changed
    QCOMPARE(db.getName(), QString("Vault"));
    QCOMPARE(db.getNote(), QString("family\npasswords"));
    QCOMPARE(db.getCipher(), 2);
    QCOMPARE(db.getKdfRounds(), 3);
    QVERIFY(db.isOpen() && db.isModified() && db.hasKeys());
    QVERIFY(db.lock());
    QVERIFY(unlocks(db, "correct horse"));

    DatabaseEditDialog import(&window, true, "New Database from Import");
    import.loadDatabase(&db);
    QCOMPARE(import.windowTitle(), QString("New Database from Import"));
}

void tst_DatabaseEditDialog::editNoteNeedsNoPassword()
{
    PasswordDatabase db;
    db.setName("Vault");
    giveKeys(db, "old", 1);
    db.clearModified();
    const QByteArray key = db.getCipherKey();

    QWidget window;
    window.show();
    FixedCalibrationDialog dialog(&window, false, Success, 1000);
    dialog.loadDatabase(&db);
    QCOMPARE(dialog.windowTitle(), QString("Database Settings - Vault"));
    QVERIFY(!field<QPushButton>(&dialog, "changePasswordButton")->isHidden());
    QVERIFY(field<QWidget>(&dialog, "passwordWidget")->isHidden());
    QVERIFY(field<QWidget>(&dialog, "passwordStrengthWidget")->isHidden());

    field<QPlainTextEdit>(&dialog, "noteEdit")->setPlainText("new note");
    bool sawBox = false;
    Steps steps({ [&]() { clickOk(&dialog); return true; },
                  [&]() {
                      sawBox = sawBox || !settled();
                      return !dialog.isVisible();
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(!sawBox);
    QCOMPARE(dialog.calls, 0);
    QCOMPARE(db.getNote(), QString("new note"));
    QVERIFY(db.isModified());
    QCOMPARE(db.getCipherKey(), key);
}

void tst_DatabaseEditDialog::cipherChangeAsksForPasswordThenReKeys()
{
    PasswordDatabase db;
    db.setName("Vault");
    giveKeys(db, "old", 1);
    const QByteArray key = db.getCipherKey();
    const QByteArray salt = db.getCipherKeySalt();

    QWidget window;
    window.show();
    DatabaseEditDialog dialog(&window, false, QString());
    dialog.loadDatabase(&db);
    QCOMPARE(field<QComboBox>(&dialog, "cipherComboBox")->currentData().toInt(), 1);
    field<QComboBox>(&dialog, "cipherComboBox")->setCurrentIndex(1);

    QStringList boxes;
    bool unchangedWhileAsking = false, rowsShown = false;
    Steps steps({ [&]() { clickOk(&dialog); return true; },
                  answerBox(boxes, "OK"),
                  [&]() {
                      // The rows and the new height may take turns of the
                      // event loop on a busy machine; a dialog that never
                      // shows and fits its rows makes the driver give up,
                      // rejecting the dialog, and the test fail.
                      rowsShown = !field<QWidget>(&dialog, "passwordWidget")->isHidden()
                          && field<QPushButton>(&dialog, "changePasswordButton")->isHidden()
                          && dialog.height() == dialog.sizeHint().height()
                          && dialog.minimumHeight() == dialog.maximumHeight();
                      if (!settled() || !rowsShown)
                          return false;
                      unchangedWhileAsking = db.getCipher() == 1 && db.getCipherKey() == key;
                      setPasswords(&dialog, "new pass", "new pass");
                      clickOk(&dialog);
                      return true;
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(steps.isDone());
    QCOMPARE(boxes, QStringList({ "Password Confirmation Required: Because you've changed the KDF algorithm, "
                                  "KDF rounds or cipher type, you must re-enter the password." }));
    QVERIFY(unchangedWhileAsking);
    QVERIFY(rowsShown);
    QCOMPARE(db.getCipher(), 2);
    QVERIFY(db.getCipherKey() != key);
    QCOMPARE(db.getCipherKeySalt(), salt);
    QVERIFY(db.lock());
    QVERIFY(!unlocks(db, "old"));
    QVERIFY(unlocks(db, "new pass"));
}

void tst_DatabaseEditDialog::highRoundsWarningThreshold()
{
    // 20000 rounds a second: 100000 is exactly five times that, one more is
    // above.
    PasswordDatabase db;
    QWidget window;
    window.show();
    FixedCalibrationDialog dialog(&window, true, Success, 20000);
    dialog.loadDatabase(&db);
    field<QLineEdit>(&dialog, "nameEdit")->setText("Vault");
    auto* rounds = field<QSpinBox>(&dialog, "kdfRoundsSpinBox");
    rounds->setValue(100000);
    // Passwords that differ stop each attempt just before the task.
    setPasswords(&dialog, "one", "two");

    QStringList boxes;
    bool openAfterChangeIt = false;
    Steps steps({ [&]() { clickOk(&dialog); return true; },
                  answerBox(boxes, "OK"),
                  [&]() {
                      if (!settled())
                          return false;
                      rounds->setValue(100001);
                      clickOk(&dialog);
                      return true;
                  },
                  answerBox(boxes, "I'll Change It"),
                  [&]() {
                      if (!settled())
                          return false;
                      openAfterChangeIt = dialog.isVisible();
                      clickOk(&dialog);
                      return true;
                  },
                  answerBox(boxes, "I Understand"),
                  answerBox(boxes, "OK"),
                  [&]() {
                      if (!settled())
                          return false;
                      dialog.reject();
                      return true;
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Rejected));
    QVERIFY(steps.isDone());
    const QString mismatch = "Passwords Don't Match: The passwords don't match. Try entering them again.";
    const QString warning = "Warning: When using a high number of KDF rounds, opening the database may take a "
                            "very long time. Are you sure you want to use this number?";
    QCOMPARE(boxes, QStringList({ mismatch, warning, warning, mismatch }));
    QVERIFY(openAfterChangeIt);
    QCOMPARE(dialog.calls, 3);
    QVERIFY(!db.isOpen());
    QCOMPARE(db.getKdfRounds(), 3);
    QCOMPARE(db.getName(), QString());
}

void tst_DatabaseEditDialog::calibrateButton()
{
    PasswordDatabase db;
    QWidget window;
    window.show();
    {
        // The real measurement, shortened, through the task dialog.
        DatabaseEditDialog dialog(&window, true, QString());
        dialog.setCalibrationDuration(30);
        dialog.loadDatabase(&db);
        QString taskTitle;
        Steps steps({ [&]() {
                          clickLater(field<QToolButton>(&dialog, "calibrateKDFRoundsButton"));
                          return true;
                      },
                      [&]() {
                          // The task dialog takes the task's title once the
                          // task thread reports it; until then it has the
                          // form's own.
                          if (auto* task = visibleTopLevel<BTaskDialog>())
                              taskTitle = task->windowTitle();
                          return !taskTitle.isEmpty() && taskTitle != QLatin1String("Dialog");
                      },
                      [&]() {
                          if (!settled())
                              return false;
                          dialog.reject();
                          return true;
                      } });
        execDialog(&window, &dialog);
        QVERIFY(steps.isDone());
        QCOMPARE(taskTitle, QString("Calibrating KDF"));
        const int calibrated = field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->value();
        QVERIFY(calibrated > 3);
        QCOMPARE(intSetting(RoundsKey, 0), calibrated);
    }

    // A failed calibration, and one that measured nothing, change nothing.
    for (int measured : { -1, 0 }) {
        setIntSetting(RoundsKey, 3);
        FixedCalibrationDialog dialog(&window, true, measured < 0 ? Failure : Success, 0);
        dialog.loadDatabase(&db);
        QStringList boxes;
        Steps steps({ [&]() {
                          clickLater(field<QToolButton>(&dialog, "calibrateKDFRoundsButton"));
                          return true;
                      },
                      answerBox(boxes, "OK"),
                      [&]() {
                          if (!settled())
                              return false;
                          dialog.reject();
                          return true;
                      } });
        execDialog(&window, &dialog);
        QCOMPARE(boxes, QStringList({ "Calibration Failed: Failed to calibrate KFD rounds." }));
        QCOMPARE(field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->value(), 3);
        QCOMPARE(intSetting(RoundsKey, 0), 3);
    }
}

void tst_DatabaseEditDialog::failuresLeaveDatabaseUnchanged()
{
    PasswordDatabase db;
    db.setName("Vault");
    giveKeys(db, "old", 1);
    const QByteArray key = db.getCipherKey();

    QWidget window;
    window.show();
    FixedCalibrationDialog dialog(&window, false, Success, 1000000);
    dialog.loadDatabase(&db);
    field<QLineEdit>(&dialog, "nameEdit")->setText("Renamed");
    field<QPushButton>(&dialog, "changePasswordButton")->click();

    // Zero rounds would make the task fail after it stored the settings.
    field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->setValue(0);
    setPasswords(&dialog, "new", "new");
    QStringList boxes;
    bool keptAfterRounds = false, lockedBeforeTask = false;
    Steps steps({ [&]() { clickOk(&dialog); return true; },
                  answerBox(boxes, "OK"),
                  [&]() {
                      if (!settled())
                          return false;
                      keptAfterRounds = field<QLineEdit>(&dialog, "passwordEdit")->text() == "new";
                      // A locked database is refused by the task itself.
                      field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->setValue(3);
                      lockedBeforeTask = db.lock();
                      clickOk(&dialog);
                      return true;
                  },
                  answerBox(boxes, "OK"),
                  [&]() {
                      if (!settled())
                          return false;
                      dialog.reject();
                      return true;
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Rejected));
    QVERIFY(steps.isDone());
    QCOMPARE(boxes, QStringList({ "Rounds Required: The key derivation needs at least one round.",
                                  "Error: Failed to set password on database." }));
    QVERIFY(keptAfterRounds);
    QVERIFY(lockedBeforeTask);
    QCOMPARE(db.getName(), QString("Vault"));
    QCOMPARE(db.getKdfRounds(), 3);
    QCOMPARE(db.getCipher(), 1);
    QVERIFY(unlocks(db, "old"));
    QCOMPARE(db.getCipherKey(), key);
}

void tst_DatabaseEditDialog::generatedPasswordFillsBothFields()
{
    if (!passwordGenerators().contains(BPasswordGeneratorRandom::instance()))
        registerPasswordGenerator(BPasswordGeneratorRandom::instance());
    PasswordDatabase db;
    QWidget window;
    window.show();
    DatabaseEditDialog dialog(&window, true, QString());
    dialog.loadDatabase(&db);
    QString generated;
    Steps steps({ [&]() {
                      clickLater(field<QToolButton>(&dialog, "generatePasswordButton"));
                      return true;
                  },
                  [&]() {
                      auto* generator = visibleTopLevel<BPasswordGeneratorDialog>();
                      if (!generator)
                          return false;
                      generated = generator->password();
                      generator->accept();
                      return true;
                  },
                  [&]() {
                      if (visibleTopLevel<BPasswordGeneratorDialog>())
                          return false;
                      dialog.reject();
                      return true;
                  } });
    execDialog(&window, &dialog);
    QVERIFY(steps.isDone());
    QVERIFY(!generated.isEmpty());
    QCOMPARE(field<QLineEdit>(&dialog, "passwordEdit")->text(), generated);
    QCOMPARE(field<QLineEdit>(&dialog, "repeatPasswordEdit")->text(), generated);
}

void tst_DatabaseEditDialog::argon2DefaultPassesAreCalibratedOnce()
{
    setStringSetting(QStringLiteral("app.passwordDatabase.defaultKdf"), QStringLiteral("Argon2"));
    QSettings().remove(QStringLiteral("app.passwordDatabase.defaultArgon2Passes"));
    QWidget window;
    window.show();
    for (int round = 0; round < 2; ++round) {
        PasswordDatabase db;
        FixedCalibrationDialog dialog(&window, true, Success, 2);
        dialog.loadDatabase(&db);
        QVERIFY(!field<QWidget>(&dialog, "kdfArgon2Widget")->isHidden());
        QCOMPARE(field<QSpinBox>(&dialog, "kdfMemorySpinBox")->value(), 1);
        QCOMPARE(field<QSpinBox>(&dialog, "kdfRoundsSpinBox")->value(), round == 0 ? 3 : 2);
        field<QLineEdit>(&dialog, "nameEdit")->setText("Vault");
        setPasswords(&dialog, "pw", "pw");
        Steps steps({ [&]() { clickOk(&dialog); return true; } });
        QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
        QCOMPARE(db.getKdf(), 2);
        QCOMPARE(db.getKdfMemoryKib(), 1024);
        QCOMPARE(db.getFileFormatVersion(), 4);
        QCOMPARE(db.getKdfRounds(), 2);
        // Measured for the first vault only, then kept.
        QCOMPARE(dialog.calls, round == 0 ? 1 : 0);
        QCOMPARE(intSetting(QStringLiteral("app.passwordDatabase.defaultArgon2Passes"), 0), 2);
    }
}

void tst_DatabaseEditDialog::legacyVaultIsUpgradedWithArgon2()
{
    setStringSetting(QStringLiteral("app.passwordDatabase.defaultKdf"), QStringLiteral("Argon2"));
    setIntSetting(QStringLiteral("app.passwordDatabase.defaultArgon2Passes"), 2);
    setIntSetting(QStringLiteral("app.passwordDatabase.defaultArgon2MemoryKib"), 1024);
    PasswordDatabase db;
    db.setName("Old");
    db.setFileFormatVersion(3);
    {
        BTaskController controller;
        PasswordDatabaseSetPasswordTask task(db, "old", 1, 1, 3);
        QCOMPARE(task.run(&controller), Success);
    }
    QWidget window;
    window.show();
    FixedCalibrationDialog dialog(&window, false, Success, 2);
    dialog.loadDatabase(&db);
    auto* kdf = field<QComboBox>(&dialog, "kdfComboBox");
    auto* model = qobject_cast<QStandardItemModel*>(kdf->model());
    QVERIFY(!model->item(kdf->findData(2))->isEnabled());
    QVERIFY(field<QLabel>(&dialog, "formatVersionLabel")->text().startsWith("Version 3"));
    auto* upgrade = field<QPushButton>(&dialog, "upgradeFormatButton");
    QVERIFY(!upgrade->isHidden());

    int kdfOffered = 0;
    Steps steps({ [&]() {
                     upgrade->click();
                     return true;
                 },
                  [&]() {
                      if (!field<QWidget>(&dialog, "passwordWidget")->isVisible())
                          return false;
                      kdfOffered = kdf->currentData().toInt();
                      setPasswords(&dialog, "new", "new");
                      clickOk(&dialog);
                      return true;
                  } });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(steps.isDone());
    QCOMPARE(kdfOffered, 2);
    QCOMPARE(db.getFileFormatVersion(), 4);
    QCOMPARE(db.getKdf(), 2);
    QCOMPARE(db.getKdfRounds(), 2);
    QCOMPARE(db.getKdfSalt().size(), 32);
    QVERIFY(db.getCipherKeySalt().isEmpty());
}

QTEST_MAIN(tst_DatabaseEditDialog)
#include "tst_databaseeditdialog.moc"
