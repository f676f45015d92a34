// The password editor: icon guessing, an unchanged OK giving back an equal
// password, validation, expiry presets, the show-password setting, the
// generator and Open URL buttons, and the attachment flows.
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/EntryIconPickerWidget.h"
#include "app/gui/PasswordEditDialog.h"
#include "blib/app/BCalendarDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSettings.h"
#include "blib/password/BPasswordGenerator.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "support/UiDriver.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <sys/stat.h>

#include <functional>
#include <vector>

namespace {

using Password = PasswordDatabase::Password;

QString pickedId(QWidget* dialog)
{
    return field<EntryIconPickerWidget>(dialog, "iconPickerWidget")->currentIconId();
}

// Clicks from a timer of its own, so that the local loop the click opens
// (message box, file dialog, generator) leaves the driver free to work.
void clickLater(QWidget* dialog, const char* button)
{
    QTimer::singleShot(0, field<QAbstractButton>(dialog, button), &QAbstractButton::click);
}

void clickOk(QDialog* dialog)
{
    QAbstractButton* ok = field<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok);
    QTimer::singleShot(0, ok, &QAbstractButton::click);
}

// True once the message boxes and file dialogs are gone and the code that
// opened them has gone on (they are deleted after their loops end), and no
// generator dialog is showing.
bool noDialogOpen()
{
    return !topLevelExists<QMessageBox>() && !topLevelExists<QFileDialog>()
        && !visibleTopLevel<BPasswordGeneratorDialog>();
}

// Waits for a message box, records "title: text" and closes it.
std::function<bool()> closeBox(QStringList& seen)
{
    return [&seen]() {
        auto* box = visibleTopLevel<QMessageBox>();
        if (box) {
            seen << box->windowTitle() + ": " + box->text();
            QTimer::singleShot(0, box->button(QMessageBox::Ok), &QAbstractButton::click);
        }
        return box != nullptr;
    };
}

// Waits for a file dialog, records its folder, the name in its name field
// and its default suffix, and accepts it with `path`.
std::function<bool()> chooseFile(const QString& path, QStringList& seen)
{
    return [path, &seen]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        seen = QStringList { dialog->directory().absolutePath(),
                             field<QLineEdit>(dialog, "fileNameEdit")->text(), dialog->defaultSuffix() };
        chooseInFileDialog(dialog, path);
        return true;
    };
}

// Counts the expiry presets from a fixed moment instead of the clock.
class FixedClockDialog : public PasswordEditDialog
{
public:
    FixedClockDialog(QWidget* parent, const QDateTime& now)
        : PasswordEditDialog(parent, false)
        , m_now(now)
    {
    }

protected:
    QDateTime currentDateTime() const override { return m_now; }

private:
    QDateTime m_now;
};

void triggerPreset(QWidget* dialog, const QString& text)
{
    for (QAction* action : field<QToolButton>(dialog, "expireTimeButton")->menu()->actions()) {
        if (action->text() == text)
            return action->trigger();
    }
    qFatal("no preset %s", qPrintable(text));
}

} // namespace

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void handle(const QUrl& url) { urls << url; }
};

class tst_PasswordEditDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newModeGuessesIconFromName();
    void unchangedEditGivesEqualPassword();
    void validationKeepsDialogOpen();
    void expiryPresetsAndNeverExpire();
    void calendarKeepsTimeOfDay();
    void showPasswordSettingAppliesToBothFields();
    void generatorFillsBothFields();
    void openUrlUsesTextBesideButton();
    void attachmentImportExportAndClear();
    void attachmentFailuresLeaveWorkingCopy();

private:
    EntryIconPackBuiltIn m_pack;
    QWidget m_window;
};

void tst_PasswordEditDialog::initTestCase()
{
    EntryIconPack::addPack(&m_pack);
    if (!passwordGenerators().contains(BPasswordGeneratorRandom::instance()))
        registerPasswordGenerator(BPasswordGeneratorRandom::instance());
    m_window.show();
}

void tst_PasswordEditDialog::newModeGuessesIconFromName()
{
    Password fresh; // carries the group's icon, which the name rule replaces
    fresh.setIconId("tessavond.web");
    PasswordEditDialog dialog(&m_window, true);
    dialog.loadPassword(fresh);
    auto* name = field<QLineEdit>(&dialog, "nameEdit");
    QCOMPARE(dialog.windowTitle(), QString("New Password"));
    QCOMPARE(pickedId(&dialog), QString("tessavond.key"));
    QCOMPARE(dialog.focusWidget(), name);

    QTest::keyClicks(name, "my PAYPAL account");
    QCOMPARE(pickedId(&dialog), QString("tessavond.paypal"));
    QCOMPARE(dialog.windowTitle(), QString("my PAYPAL account"));
    name->setText("My PIN at ATM");
    QCOMPARE(pickedId(&dialog), QString("tessavond.key"));

    name->setText("Amazon Prime");
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.password().getIconId(), QString("tessavond.amazon"));
    QCOMPARE(dialog.password().getName(), QString("Amazon Prime"));
}

void tst_PasswordEditDialog::unchangedEditGivesEqualPassword()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("notes.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("attached") == 8);
    file.close();

    Password stored;
    stored.setName("Work mail");
    stored.setIconId("someplugin.ship"); // its pack is not installed
    stored.setFlags(4);
    stored.setUsername("ann");
    stored.setEmailAddress("ann@example.com");
    stored.setPhoneNumber("+61 2 5550 1234");
    stored.setUrl("mail.example.com");
    stored.setPassword("s3cret!");
    stored.setNote("line one\r\nline two");
    stored.setNeverExpire(false);
    stored.setExpireTime(QDateTime(QDate(2031, 3, 4), QTime(5, 6, 7, 890), Qt::UTC));
    Password::Attachment attachment;
    QVERIFY(attachment.loadFromFile(file.fileName()));
    stored.setAttachment(attachment);

    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    QCOMPARE(field<QLineEdit>(&dialog, "repeatPasswordEdit")->text(), QString("s3cret!"));
    QCOMPARE(field<QLineEdit>(&dialog, "attachmentEdit")->text(), QString("notes.txt"));
    dialog.accept();
    QVERIFY(dialog.password() == stored);

    // Renaming keeps the icon; choosing another one in the picker takes it.
    PasswordEditDialog renamed(&m_window, false);
    renamed.loadPassword(stored);
    auto* name = field<QLineEdit>(&renamed, "nameEdit");
    name->clear();
    QCOMPARE(renamed.windowTitle(), QString("Unnamed Password"));
    QTest::keyClicks(name, "Amazon shop");
    renamed.accept();
    QCOMPARE(renamed.password().getIconId(), QString("someplugin.ship"));
    QCOMPARE(renamed.password().getName(), QString("Amazon shop"));

    PasswordEditDialog repicked(&m_window, false);
    repicked.loadPassword(stored);
    field<EntryIconPickerWidget>(&repicked, "iconPickerWidget")->setCurrentIconId("tessavond.mail");
    repicked.accept();
    QCOMPARE(repicked.password().getIconId(), QString("tessavond.mail"));
}

void tst_PasswordEditDialog::validationKeepsDialogOpen()
{
    Password stored;
    stored.setName("Bank");
    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    auto* name = field<QLineEdit>(&dialog, "nameEdit");
    auto* repeat = field<QLineEdit>(&dialog, "repeatPasswordEdit");

    QStringList boxes;
    QWidget* focusAfterName = nullptr;
    QWidget* focusAfterMismatch = nullptr;
    QString selected;
    Steps steps({ [&]() {
                      name->clear();
                      clickOk(&dialog);
                      return true;
                  },
                  closeBox(boxes),
                  [&]() {
                      if (!noDialogOpen())
                          return false;
                      focusAfterName = dialog.focusWidget();
                      name->setText("Bank");
                      field<QLineEdit>(&dialog, "passwordEdit")->setText("new one");
                      repeat->setText("new on");
                      clickOk(&dialog);
                      return true;
                  },
                  closeBox(boxes),
                  [&]() {
                      if (!noDialogOpen())
                          return false;
                      focusAfterMismatch = dialog.focusWidget();
                      selected = repeat->selectedText();
                      repeat->setText("new one");
                      clickOk(&dialog);
                      return true;
                  } });
    QCOMPARE(execDialog(&m_window, &dialog), int(QDialog::Accepted));
    QVERIFY(steps.isDone());
    QCOMPARE(boxes, QStringList({ "Name Required: The password must have a name.",
                                  "Passwords Don't Match: The passwords don't match. Enter the same "
                                  "password twice." }));
    QCOMPARE(focusAfterName, name);
    QCOMPARE(focusAfterMismatch, repeat);
    QCOMPARE(selected, QString("new on"));
    QCOMPARE(dialog.password().getPassword(), QString("new one"));
}

void tst_PasswordEditDialog::expiryPresetsAndNeverExpire()
{
    const QDateTime now(QDate(2027, 1, 31), QTime(10, 0));
    Password stored; // never expires
    stored.setName("Router");
    FixedClockDialog dialog(&m_window, now);
    dialog.loadPassword(stored);
    auto* edit = field<QDateTimeEdit>(&dialog, "expireTimeEdit");
    QVERIFY(!edit->isEnabled());
    QVERIFY(!field<QToolButton>(&dialog, "expireTimeButton")->isEnabled());

    triggerPreset(&dialog, "Today");
    QCOMPARE(edit->dateTime(), QDateTime(QDate(2027, 2, 1), QTime(10, 0)));
    triggerPreset(&dialog, "1 Month");
    QCOMPARE(edit->dateTime(), QDateTime(QDate(2027, 2, 28), QTime(10, 0)));
    triggerPreset(&dialog, "3 Weeks");
    QCOMPARE(edit->date(), QDate(2027, 2, 21));
    triggerPreset(&dialog, "1 Year");
    QCOMPARE(edit->date(), QDate(2028, 1, 31));

    // OK with the disabled field still stores the time shown, in UTC, and
    // the presets left the never-expire flag alone.
    edit->setDateTime(QDateTime(QDate(2029, 6, 30), QTime(23, 45)));
    dialog.accept();
    QVERIFY(dialog.password().isNeverExpire());
    QCOMPARE(dialog.password().getExpireTime().timeSpec(), Qt::UTC);
    QCOMPARE(dialog.password().getExpireTime(), QDateTime(QDate(2029, 6, 30), QTime(23, 45)).toUTC());

    FixedClockDialog expiring(&m_window, now);
    expiring.loadPassword(stored);
    field<QCheckBox>(&expiring, "neverExpireCheckBox")->click();
    QVERIFY(field<QDateTimeEdit>(&expiring, "expireTimeEdit")->isEnabled());
    QVERIFY(field<QToolButton>(&expiring, "expireTimeButton")->isEnabled());
    triggerPreset(&expiring, "6 Months");
    expiring.accept();
    QVERIFY(!expiring.password().isNeverExpire());
    QCOMPARE(expiring.password().getExpireTime(), QDateTime(QDate(2027, 7, 31), QTime(10, 0)));
}

void tst_PasswordEditDialog::calendarKeepsTimeOfDay()
{
    Password stored;
    stored.setName("Router");
    stored.setNeverExpire(false);
    stored.setExpireTime(QDateTime(QDate(2030, 5, 17), QTime(8, 30)));
    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    QDate offered;
    Steps steps({ [&]() {
                      clickLater(&dialog, "expireTimeButton");
                      return true;
                  },
                  [&]() {
                      auto* calendar = visibleTopLevel<BCalendarDialog>();
                      if (!calendar)
                          return false;
                      offered = calendar->date();
                      // Moving the selection chooses the next day.
                      auto* widget = field<QCalendarWidget>(calendar, "calendarWidget");
                      QTest::keyClick(widget->findChild<QAbstractItemView*>(), Qt::Key_Right);
                      return true;
                  },
                  [&]() {
                      if (visibleTopLevel<BCalendarDialog>())
                          return false;
                      dialog.accept();
                      return true;
                  } });
    execDialog(&m_window, &dialog);
    QVERIFY(steps.isDone());
    QCOMPARE(offered, QDate(2030, 5, 17));
    QCOMPARE(dialog.password().getExpireTime(), QDateTime(QDate(2030, 5, 18), QTime(8, 30)));
}

void tst_PasswordEditDialog::showPasswordSettingAppliesToBothFields()
{
    const QString key = "app.passwordEditDialog.showPassword";
    setBoolSetting(key, true);
    {
        PasswordEditDialog dialog(&m_window, true);
        QCOMPARE(field<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Normal);
        QCOMPARE(field<QLineEdit>(&dialog, "repeatPasswordEdit")->echoMode(), QLineEdit::Normal);
        field<QToolButton>(&dialog, "showPasswordButton")->click();
        QVERIFY(!boolSetting(key, true));
    }
    PasswordEditDialog dialog(&m_window, false);
    Password stored;
    stored.setName("Bank");
    stored.setPassword("abc123");
    dialog.loadPassword(stored);
    QVERIFY(!field<QToolButton>(&dialog, "showPasswordButton")->isChecked());
    // Masked while typing too, and a key typed into the filled field is
    // added to the stored password instead of replacing it.
    for (const char* name : { "passwordEdit", "repeatPasswordEdit" }) {
        auto* edit = field<QLineEdit>(&dialog, name);
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, "X");
        QCOMPARE(edit->text(), QString("abc123X"));
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        QVERIFY(!edit->displayText().contains("abc"));
    }
}

void tst_PasswordEditDialog::generatorFillsBothFields()
{
    PasswordEditDialog dialog(&m_window, true);
    dialog.loadPassword(Password());
    QString generated;
    Steps steps({ [&]() {
                      clickLater(&dialog, "generatePasswordButton");
                      return true;
                  },
                  [&]() {
                      auto* generator = visibleTopLevel<BPasswordGeneratorDialog>();
                      if (generator) {
                          generated = generator->password();
                          generator->accept();
                      }
                      return generator != nullptr;
                  },
                  [&]() {
                      if (noDialogOpen())
                          dialog.reject();
                      return noDialogOpen();
                  } });
    execDialog(&m_window, &dialog);
    QVERIFY(steps.isDone());
    QVERIFY(!generated.isEmpty());
    QCOMPARE(field<QLineEdit>(&dialog, "passwordEdit")->text(), generated);
    QCOMPARE(field<QLineEdit>(&dialog, "repeatPasswordEdit")->text(), generated);
}

void tst_PasswordEditDialog::openUrlUsesTextBesideButton()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("http", &recorder, "handle");
    QDesktopServices::setUrlHandler("https", &recorder, "handle");
    Password stored;
    stored.setUrl("https://old.example.com");
    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    auto* url = field<QLineEdit>(&dialog, "URLEdit");
    auto* button = field<QToolButton>(&dialog, "openURLButton");
    url->setText("shop.example.com/login");
    button->click();
    url->clear();
    button->click(); // nothing to open
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(recorder.urls, QList<QUrl>({ QUrl("http://shop.example.com/login") }));
}

void tst_PasswordEditDialog::attachmentImportExportAndClear()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("in"));
    const QString source = dir.filePath("in/archive.tar.gz");
    const QString target = dir.filePath("copy.gz");
    const QByteArray bytes("\x1f\x8b\x08\x00 packed", 12);
    QFile file(source);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    setStringSetting("app.passwordEditDialog.attachmentImportDir", QString());
    setStringSetting("app.passwordEditDialog.attachmentExportDir", QString());

    Password stored;
    stored.setName("Backup key");
    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    auto* exportButton = field<QToolButton>(&dialog, "attachmentExportButton");
    auto* clearButton = field<QToolButton>(&dialog, "attachmentClearButton");
    QVERIFY(!exportButton->isEnabled() && !clearButton->isEnabled());

    QStringList importSeen, exportSeen;
    Steps steps({ [&]() {
                      clickLater(&dialog, "attachmentImportButton");
                      return true;
                  },
                  chooseFile(source, importSeen),
                  [&]() {
                      if (noDialogOpen() && exportButton->isEnabled())
                          clickLater(&dialog, "attachmentExportButton");
                      return noDialogOpen() && exportButton->isEnabled();
                  },
                  chooseFile(target, exportSeen),
                  [&]() {
                      if (!noDialogOpen() || !QFile::exists(target))
                          return false;
                      clearButton->click();
                      dialog.accept();
                      return true;
                  } });
    execDialog(&m_window, &dialog);
    QVERIFY(steps.isDone());
    QCOMPARE(stringSetting("app.passwordEditDialog.attachmentImportDir", QString()), dir.filePath("in"));
    // The export starts where the last import came from and suggests the
    // name up to the first dot, with the last suffix as the default.
    QCOMPARE(exportSeen, QStringList({ dir.filePath("in"), "archive", "gz" }));
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), bytes);
    QCOMPARE(stringSetting("app.passwordEditDialog.attachmentExportDir", QString()), dir.path());

    QVERIFY(!dialog.password().getAttachment().isValid());
    QVERIFY(field<QLineEdit>(&dialog, "attachmentEdit")->text().isEmpty());
    QVERIFY(!exportButton->isEnabled() && !clearButton->isEnabled());
}

void tst_PasswordEditDialog::attachmentFailuresLeaveWorkingCopy()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe"); // not a regular file
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString target = dir.filePath("key.pem");

    // An attachment whose data no longer matches its hash cannot be exported.
    Password stored;
    stored.setName("Damaged");
    Password::Attachment attachment;
    attachment.setFileName("key.pem");
    attachment.setData(QString::fromLatin1(QByteArray("secret").toBase64()));
    attachment.setDataHash("00");
    stored.setAttachment(attachment);

    PasswordEditDialog dialog(&m_window, false);
    dialog.loadPassword(stored);
    QStringList boxes, ignored;
    Steps steps({ [&]() {
                      clickLater(&dialog, "attachmentImportButton");
                      return true;
                  },
                  chooseFile(fifo, ignored), closeBox(boxes),
                  [&]() {
                      if (noDialogOpen())
                          clickLater(&dialog, "attachmentExportButton");
                      return noDialogOpen();
                  },
                  chooseFile(target, ignored), closeBox(boxes),
                  [&]() {
                      if (noDialogOpen())
                          dialog.accept();
                      return noDialogOpen();
                  } });
    execDialog(&m_window, &dialog);
    QVERIFY(steps.isDone());
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes.at(0).startsWith("Load Failed: Failed to load file. There may be a permission issue."),
             qPrintable(boxes.at(0)));
    QVERIFY2(boxes.at(1).startsWith("Save Failed: Failed to save the file. There may be a permission issue "
                                    "or the file is already open by another application."),
             qPrintable(boxes.at(1)));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(field<QLineEdit>(&dialog, "attachmentEdit")->text(), QString("key.pem"));
    QVERIFY(dialog.password() == stored);
}

QTEST_MAIN(tst_PasswordEditDialog)
#include "tst_passwordeditdialog.moc"
