// The workspace's protective behaviours: locking with windows open, the
// inactivity and minimise locks, the clipboard clearing, the tray setting
// that must not strand a minimised window, and the offer to delete expired
// passwords when a database is opened.
#include "app/gui/ExpiredPasswordsDialog.h"
#include "app/gui/GroupEditDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordEditDialog.h"
#include "app/gui/PasswordTableWidget.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BInactivityTimer.h"
#include "blib/app/BSettings.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QtTest>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

class tst_WorkspaceSecurity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lockKeepsAnOpenEditorsEditUntilTheUnlock();
    void closingWhileLockedAsksBeforeDroppingTheEdit();
    void inactivityLocksTheDatabase();
    void lockOnMinimise_data();
    void lockOnMinimise();
    void minimiseToTrayNeedsTheTrayIcon();
    void clipboardClearedOnceAndOnlyWhenUnchanged();
    void clipboardClearedByDefaultAndNeverAtOnce();
    void inactivityLockOfZeroSecondsWaitsOne();
    void expiredPasswordsOfferedAndDeletedWithoutBackups();
    void expiredPasswordsKeptOnCancel();
    void expiredPasswordsDeletedBeforeTheAudit();

private:
    void activateSample();
    void unlock();
    QAction* action(const QString& text);
    Password* password(const QString& name) { return itemNamed<Password>(m_window->database(), name); }
    Group* group(const QString& name) { return itemNamed<Group>(m_window->database(), name); }

    MainWindow* m_window = nullptr;
};

void tst_WorkspaceSecurity::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_WorkspaceSecurity::init()
{
    for (const char* key : { "app.settings.lockWorkspaceTimeout", "app.settings.lockWorkspaceOnMinimise",
                             "app.settings.clearClipboardTimeout", "app.settings.showInSystemTray",
                             "app.settings.showInSystemTrayOnly" })
        setBoolSetting(QString::fromLatin1(key), false);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_WorkspaceSecurity::cleanup()
{
    closeAndDeleteWindow(m_window);
}

void tst_WorkspaceSecurity::activateSample()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "Bank", "alice", "bank.example")->setNote("PIN 1234");
    makePassword(internet, "Mail", "bob");
    db.addItem(internet);
    m_window->activateDatabase(db);
}

void tst_WorkspaceSecurity::unlock()
{
    m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("secret");
    m_window->unlockWorkspace();
}

QAction* tst_WorkspaceSecurity::action(const QString& text)
{
    for (QAction* action : m_window->findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void tst_WorkspaceSecurity::lockKeepsAnOpenEditorsEditUntilTheUnlock()
{
    activateSample();
    m_window->selectPassword(password("Bank"));

    bool sawSecret = false;
    bool sawNote = false;
    QStringList leftAfterLock;
    bool editorStillShown = true;
    UiDriver lockWhileEditing([&]() {
        auto* editor = visibleTopLevel<PasswordEditDialog>();
        if (!editor)
            return false;
        const QList<QLineEdit*> edits = editor->findChildren<QLineEdit*>();
        const QList<QPlainTextEdit*> notes = editor->findChildren<QPlainTextEdit*>();
        for (QLineEdit* edit : edits)
            sawSecret = sawSecret || edit->text() == "Bank-pw";
        for (QPlainTextEdit* edit : notes)
            sawNote = sawNote || edit->toPlainText() == "PIN 1234";
        editor->findChild<QLineEdit*>("nameEdit")->setText("Bank renamed");
        editor->findChild<QLineEdit*>("passwordEdit")->setText("half-typed");
        m_window->lockWorkspace();
        for (QLineEdit* edit : edits) {
            if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) && !edit->text().isEmpty())
                leftAfterLock << edit->objectName() + "=" + edit->text();
        }
        for (QPlainTextEdit* edit : notes) {
            if (!edit->toPlainText().isEmpty())
                leftAfterLock << edit->objectName();
        }
        editorStillShown = editor->isVisible();
        return true;
    });
    m_window->openPassword();
    QVERIFY(lockWhileEditing.isDone());
    QVERIFY(sawSecret);
    QVERIFY(sawNote);
    QCOMPARE(leftAfterLock, QStringList());
    QVERIFY(!editorStillShown);
    QVERIFY(m_window->isLockedView());
    QVERIFY(m_window->database().isLocked());
    QVERIFY(m_window->database().hasPendingEdit());

    // A wrong password keeps it; the right one brings the editor back on
    // the same entry, holding what was typed, and its OK edits that entry.
    BoxAnswerer wrong({ "OK", "OK" });
    m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("wrong");
    m_window->unlockWorkspace();
    QVERIFY(m_window->isLockedView());
    QString name, typed, note;
    UiDriver resumed([&]() {
        auto* editor = visibleTopLevel<PasswordEditDialog>();
        if (!editor)
            return false;
        name = editor->findChild<QLineEdit*>("nameEdit")->text();
        typed = editor->findChild<QLineEdit*>("passwordEdit")->text();
        note = editor->findChild<QPlainTextEdit*>("noteEdit")->toPlainText();
        editor->findChild<QLineEdit*>("repeatPasswordEdit")->setText(typed);
        editor->accept();
        return true;
    });
    unlock();
    QVERIFY(resumed.isDone());
    QCOMPARE(name, QString("Bank renamed"));
    QCOMPARE(typed, QString("half-typed"));
    QCOMPARE(note, QString("PIN 1234"));
    QCOMPARE(childNames(group("Internet")->getItems()), QStringList({ "Bank renamed", "Mail" }));
    QCOMPARE(password("Bank renamed")->getPassword(), QString("half-typed"));
    QCOMPARE(password("Bank renamed")->getUsername(), QString("alice"));
    QVERIFY(m_window->database().isModified());
    QVERIFY(!m_window->database().hasPendingEdit());
}

void tst_WorkspaceSecurity::closingWhileLockedAsksBeforeDroppingTheEdit()
{
    activateSample();
    m_window->selectGroup(group("Internet"));
    UiDriver lockWhileEditing([&]() {
        auto* editor = visibleTopLevel<GroupEditDialog>();
        if (!editor)
            return false;
        editor->findChild<QLineEdit*>("nameEdit")->setText("Web");
        m_window->lockWorkspace();
        return true;
    });
    m_window->editGroup();
    QVERIFY(lockWhileEditing.isDone());
    QVERIFY(m_window->isLockedView());

    {
        BoxAnswerer keep({ "Cancel" });
        m_window->closeDatabase();
        QCOMPARE(keep.boxes.size(), 1);
        QVERIFY2(keep.boxes.first().startsWith("Unfinished Edit|"), qPrintable(keep.boxes.first()));
    }
    QVERIFY(m_window->isLockedView());
    QVERIFY(m_window->database().hasPendingEdit());

    // The unmodified database asks nothing more.
    BoxAnswerer drop({ "Discard Edit" });
    m_window->closeDatabase();
    QCOMPARE(drop.boxes.size(), 1);
    QVERIFY(m_window->isNoDatabaseView());
    QVERIFY(!m_window->database().hasPendingEdit());
}

void tst_WorkspaceSecurity::inactivityLocksTheDatabase()
{
    setBoolSetting("app.settings.lockWorkspaceTimeout", true);
    setIntSetting("app.settings.lockWorkspaceTimeoutSeconds", 1);
    activateSample();
    QVERIFY(m_window->isDatabaseView());
    QTRY_VERIFY_WITH_TIMEOUT(m_window->isLockedView(), 20000);
    QVERIFY(m_window->database().isLocked());

    // After unlocking the timer runs again.
    unlock();
    QVERIFY(m_window->isDatabaseView());
    QTRY_VERIFY_WITH_TIMEOUT(m_window->isLockedView(), 20000);

    // Switched off in the settings, input no longer re-arms a lock.
    unlock();
    UiDriver switchOff([]() {
        QDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("SettingsDialog") && widget->isVisible())
                dialog = static_cast<QDialog*>(widget);
        }
        if (!dialog)
            return false;
        dialog->findChild<QCheckBox*>("lockTimeoutCheckBox")->setChecked(false);
        dialog->accept();
        return true;
    });
    action("&Settings...")->trigger();
    QVERIFY(switchOff.isDone());
    QVERIFY(!boolSetting("app.settings.lockWorkspaceTimeout", true));
    QTest::mouseMove(m_window->findChild<QWidget*>("groupTreeWidget"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(m_window, &press);
    QTest::qWait(2500);
    QVERIFY(m_window->isDatabaseView());
}

void tst_WorkspaceSecurity::lockOnMinimise_data()
{
    QTest::addColumn<bool>("setting");
    QTest::addColumn<bool>("withDatabase");
    QTest::newRow("on, database open") << true << true;
    QTest::newRow("on, no database") << true << false;
    QTest::newRow("off, database open") << false << true;
}

void tst_WorkspaceSecurity::lockOnMinimise()
{
    QFETCH(bool, setting);
    QFETCH(bool, withDatabase);
    setBoolSetting("app.settings.lockWorkspaceOnMinimise", setting);
    if (withDatabase)
        activateSample();
    m_window->setWindowState(Qt::WindowMinimized);
    QCOMPARE(m_window->isLockedView(), setting && withDatabase);
    QCOMPARE(m_window->isNoDatabaseView(), !withDatabase);
    QCOMPARE(m_window->database().isLocked(), setting && withDatabase);
    m_window->showNormal();
}

void tst_WorkspaceSecurity::minimiseToTrayNeedsTheTrayIcon()
{
    // "Minimise to tray" stays stored while the tray group is switched off.
    UiDriver settings([]() {
        QDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("SettingsDialog") && widget->isVisible())
                dialog = static_cast<QDialog*>(widget);
        }
        if (!dialog)
            return false;
        dialog->findChild<QGroupBox*>("showInSystemTrayGroupBox")->setChecked(false);
        dialog->findChild<QCheckBox*>("minimiseToTrayCheckBox")->setChecked(true);
        dialog->accept();
        return true;
    });
    action("&Settings...")->trigger();
    QVERIFY(settings.isDone());
    QVERIFY(boolSetting("app.settings.showInSystemTrayOnly", false));
    QVERIFY(!boolSetting("app.settings.showInSystemTray", true));

    m_window->setWindowState(Qt::WindowMinimized);
    QVERIFY(m_window->isVisible());
    m_window->showNormal();

    // With the tray icon there, the window does go to the tray.
    UiDriver trayOn([]() {
        QDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("SettingsDialog") && widget->isVisible())
                dialog = static_cast<QDialog*>(widget);
        }
        if (!dialog)
            return false;
        dialog->findChild<QGroupBox*>("showInSystemTrayGroupBox")->setChecked(true);
        dialog->accept();
        return true;
    });
    action("&Settings...")->trigger();
    QVERIFY(trayOn.isDone());
    QVERIFY(m_window->isSystemTrayIconVisible());
    m_window->setWindowState(Qt::WindowMinimized);
    QVERIFY(!m_window->isVisible());
    m_window->showAndRaise();
    QVERIFY(m_window->isVisible());
}

void tst_WorkspaceSecurity::clipboardClearedOnceAndOnlyWhenUnchanged()
{
    setBoolSetting("app.settings.clearClipboardTimeout", true);
    setIntSetting("app.settings.clearClipboardTimeoutSeconds", 1);
    activateSample();
    QClipboard* clipboard = QApplication::clipboard();
    m_window->selectPassword(password("Bank"));

    action("Copy &Password...")->trigger();
    QCOMPARE(clipboard->text(), QString("Bank-pw"));
    QCOMPARE(clipboard->mimeData()->data("x-kde-passwordManagerHint"), QByteArray("secret"));
    QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 20000);

    // The clearing happened once: what the user copies next stays, past
    // the time a repeating timer would have fired again.
    clipboard->setText("copied elsewhere");
    QTest::qWait(2500);
    QCOMPARE(clipboard->text(), QString("copied elsewhere"));

    // Text copied elsewhere before the timer fires is not wiped either.
    action("Copy &Username...")->trigger();
    QCOMPARE(clipboard->text(), QString("alice"));
    clipboard->setText("my own notes");
    m_window->clearClipboard();
    QCOMPARE(clipboard->text(), QString("my own notes"));

    // Turned off, a copy is left alone.
    setBoolSetting("app.settings.clearClipboardTimeout", false);
    action("Copy &Password...")->trigger();
    m_window->clearClipboard();
    QCOMPARE(clipboard->text(), QString("Bank-pw"));
}

void tst_WorkspaceSecurity::clipboardClearedByDefaultAndNeverAtOnce()
{
    // A store that never had the setting clears after 30 seconds.
    QSettings().remove("app.settings.clearClipboardTimeout");
    QSettings().remove("app.settings.clearClipboardTimeoutSeconds");
    activateSample();
    m_window->selectPassword(password("Bank"));
    auto* timer = m_window->findChild<QTimer*>("clipboardTimer");
    QVERIFY(timer);
    action("Copy &Password...")->trigger();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 30000);

    // A stored zero waits one second rather than emptying the clipboard
    // before it can be pasted.
    setIntSetting("app.settings.clearClipboardTimeoutSeconds", 0);
    action("Copy &Password...")->trigger();
    QCOMPARE(timer->interval(), 1000);
}

void tst_WorkspaceSecurity::inactivityLockOfZeroSecondsWaitsOne()
{
    setBoolSetting("app.settings.lockWorkspaceTimeout", true);
    setIntSetting("app.settings.lockWorkspaceTimeoutSeconds", 0);
    activateSample();
    QCOMPARE(m_window->findChild<BInactivityTimer*>()->seconds(), 1);
}

namespace {

// Builds Mail (expired), Bank (never expires, old date), News (expires
// tomorrow), Old (expired, in a sub-group) and Gone (expired, in the backup
// group).
void addExpirySample(PasswordDatabase& db)
{
    const QDateTime now = QDateTime::currentDateTime();
    Group* internet = makeGroup("Internet");
    Password* mail = makePassword(internet, "Mail", "bob");
    mail->setNeverExpire(false);
    mail->setExpireTime(QDateTime(QDate(2020, 3, 5), QTime(12, 0)));
    Password* bank = makePassword(internet, "Bank", "alice");
    bank->setNeverExpire(true);
    bank->setExpireTime(now.addYears(-3));
    Password* news = makePassword(internet, "News");
    news->setNeverExpire(false);
    news->setExpireTime(now.addDays(1));
    Group* archive = makeGroup("Archive");
    Password* old = makePassword(archive, "Old", "carol");
    old->setNeverExpire(false);
    old->setExpireTime(now.addSecs(-1));
    internet->addItem(archive);
    Group* backup = makeGroup("Backup");
    backup->setTag(PasswordDatabase::BackupGroupTag);
    Password* gone = makePassword(backup, "Gone");
    gone->setNeverExpire(false);
    gone->setExpireTime(now.addDays(-10));
    db.addItem(internet);
    db.addItem(backup);
}

QStringList rowNames(QTableWidget* table)
{
    QStringList names;
    for (int row = 0; row < table->rowCount(); ++row)
        names << table->item(row, 0)->text();
    return names;
}

} // namespace

void tst_WorkspaceSecurity::expiredPasswordsOfferedAndDeletedWithoutBackups()
{
    setBoolSetting("app.settings.backupDeletedPasswords", true);
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    addExpirySample(db);

    QStringList names;
    QString mailUser;
    QString mailDate;
    UiDriver tick([&]() {
        auto* dialog = visibleTopLevel<ExpiredPasswordsDialog>();
        if (!dialog)
            return false;
        auto* table = dialog->findChild<QTableWidget*>("passwordTableWidget");
        names = rowNames(table);
        mailUser = table->item(0, 1)->text();
        mailDate = table->item(0, 2)->text();
        for (int row : { 0, 2 })
            table->cellWidget(row, 3)->findChild<QCheckBox*>()->setChecked(true);
        dialog->accept();
        return true;
    });
    m_window->activateDatabase(db);
    QVERIFY(tick.isDone());
    QCOMPARE(names, QStringList({ "Internet - Mail", "Internet - Archive - Old", "Backup - Gone" }));
    QCOMPARE(mailUser, QString("bob"));
    QVERIFY2(mailDate.startsWith("5 ") && mailDate.endsWith(" 2020"), qPrintable(mailDate));

    QVERIFY(!password("Mail"));
    QVERIFY(!password("Gone"));
    QVERIFY(password("Old"));
    QVERIFY(password("Bank"));
    QVERIFY(password("News"));
    // No copies: the backup group is now empty and no other group appeared.
    QVERIFY(group("Backup")->getItems().isEmpty());
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Backup" }));
    QVERIFY(m_window->database().isModified());
    QVERIFY(m_window->isModified());
    QVERIFY(m_window->isDatabaseView());
}

void tst_WorkspaceSecurity::expiredPasswordsKeptOnCancel()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    addExpirySample(db);
    UiDriver cancel([&]() {
        auto* dialog = visibleTopLevel<ExpiredPasswordsDialog>();
        if (!dialog)
            return false;
        dialog->findChild<QTableWidget*>("passwordTableWidget")->cellWidget(0, 3)->findChild<QCheckBox*>()->setChecked(true);
        dialog->reject();
        return true;
    });
    m_window->activateDatabase(db);
    QVERIFY(cancel.isDone());
    QVERIFY(password("Mail"));
    QVERIFY(!m_window->database().isModified());

    // Not offered again after a lock.
    m_window->lockWorkspace();
    UiDriver noOffer([]() { return visibleTopLevel<ExpiredPasswordsDialog>() != nullptr; }, 10, 30);
    unlock();
    QTest::qWait(400);
    QVERIFY(!noOffer.isDone());
    QVERIFY(m_window->isDatabaseView());
}

void tst_WorkspaceSecurity::expiredPasswordsDeletedBeforeTheAudit()
{
    // Old (expired) and Current share a strong password; Old is deleted
    // from the list, so Current re-uses nothing.
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    for (const char* name : { "Old", "Current" })
        makePassword(internet, name)->setPassword("Tq8#vLm2!pXz6&Rw");
    Password* old = static_cast<Password*>(internet->getItems().first());
    old->setNeverExpire(false);
    old->setExpireTime(QDateTime::currentDateTime().addDays(-1));
    db.addItem(internet);
    UiDriver tick([&]() {
        auto* dialog = visibleTopLevel<ExpiredPasswordsDialog>();
        if (!dialog)
            return false;
        dialog->findChild<QTableWidget*>("passwordTableWidget")->cellWidget(0, 3)->findChild<QCheckBox*>()->setChecked(true);
        dialog->accept();
        return true;
    });
    m_window->activateDatabase(db);
    QVERIFY(tick.isDone());
    QVERIFY(!password("Old"));
    QVERIFY(m_window->isDatabaseView());
    m_window->selectGroup(group("Internet"));
    auto* table = m_window->findChild<PasswordTableWidget*>("passwordTableWidget");
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 0)->text(), QString("Current"));
    QCOMPARE(table->item(0, 0)->toolTip(), QString());
}

QTEST_MAIN(tst_WorkspaceSecurity)
#include "tst_workspacesecurity.moc"
