// The workspace of the main window: the database flows (unsaved changes,
// save, lock and unlock, open), the group tree and password table kept in
// step with the model, deletion with backups, and drag and drop.
#include "app/database/PasswordBackup.h"
#include "app/gui/MainWindow.h"
#include "app/gui/GroupTreeWidget.h"
#include "app/gui/PasswordTableWidget.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

class tst_Workspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void suggestedFileName_data();
    void suggestedFileName();
    void unsavedChangesOfUnlockedDatabase();
    void unsavedChangesEnterSavesEscapeCancels();
    void failedSaveIsShownAndStopsTheClose();
    void unsavedChangesOfLockedDatabase();
    void actionStates();
    void viewStateSurvivesSaveReopenAndLock();
    void wrongUnlockPasswordKeepsTheLock();
    void lockHidesOtherWindowsUntilUnlocked();
    void unreadableFileKeepsTheOpenDatabase();
    void vaultIsKnownByItsContent();
    void usernamesAndPasswordsMasked();
    void viewMenuUnmasksAtOnce();
    void deleteGroupAsksOnlyWhenNotEmpty();
    void deleteGroupBacksUpAndSelectsNeighbour();
    void deleteInsideBackupGroupMakesNoCopies();
    void deletePasswordAsksAndBacksUpOnce();
    void editBacksUpOnlyRealChanges();
    void dropGroupAboveOnAndBelow();
    void dropGroupOnItselfOrDescendant();
    void dropPasswordOnGroup();
    void dropPasswordWithinTable();

private:
    // Puts a database with Internet (Bank, Mail), Work (Laptop) and an empty
    // group Spare into the window.
    void activateSample();
    GroupTreeWidget* tree() { return m_window->findChild<GroupTreeWidget*>("groupTreeWidget"); }
    PasswordTableWidget* table() { return m_window->findChild<PasswordTableWidget*>("passwordTableWidget"); }
    QTableWidget* info() { return m_window->findChild<QTableWidget*>("infoTableWidget"); }
    QAction* action(const QString& text);
    QStringList tableNames();
    QStringList treeTopLevelNames();
    Group* group(const QString& name) { return itemNamed<Group>(m_window->database(), name); }
    Password* password(const QString& name) { return itemNamed<Password>(m_window->database(), name); }
    // Viewport position of the tree item of `group`, `offset` pixels below
    // its vertical centre.
    QPoint treePoint(const QString& name, int offset);

    MainWindow* m_window = nullptr;
    QTemporaryDir m_dir;
};

void tst_Workspace::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
    QVERIFY(m_dir.isValid());
}

void tst_Workspace::init()
{
    setBoolSetting("app.settings.askBeforeDelete", true);
    setBoolSetting("app.settings.backupDeletedPasswords", true);
    setBoolSetting("app.mainWindow.hideUsernames", true);
    setBoolSetting("app.mainWindow.hidePasswords", true);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_Workspace::cleanup()
{
    closeAndDeleteWindow(m_window);
}

void tst_Workspace::activateSample()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "Bank", "alice", "bank.example");
    makePassword(internet, "Mail", "bob");
    Group* work = makeGroup("Work");
    makePassword(work, "Laptop", "carol", "https://intranet.example");
    db.addItem(internet);
    db.addItem(work);
    db.addItem(makeGroup("Spare"));
    m_window->activateDatabase(db);
    QVERIFY(!db.isOpen());
}

QAction* tst_Workspace::action(const QString& text)
{
    for (QAction* action : m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QStringList tst_Workspace::tableNames()
{
    QStringList names;
    for (int row = 0; row < table()->rowCount(); ++row)
        names << table()->item(row, 0)->text();
    return names;
}

QStringList tst_Workspace::treeTopLevelNames()
{
    QStringList names;
    for (int i = 0; i < tree()->topLevelItemCount(); ++i)
        names << tree()->topLevelItem(i)->text(0);
    return names;
}

QPoint tst_Workspace::treePoint(const QString& name, int offset)
{
    QTreeWidgetItem* item = tree()->findGroupItem(group(name));
    if (!item)
        return QPoint(-1, -1);
    const QRect rect = tree()->visualItemRect(item);
    return QPoint(rect.center().x(), rect.center().y() + offset);
}

void tst_Workspace::suggestedFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ampersand and punctuation") << "My Bank & Card!" << "my_bank_and_card";
    QTest::newRow("every removed character") << "a!@#$%^*()-+=[]{};':\",./<>?b" << "ab";
    QTest::newRow("runs of blanks") << "Home    Vault" << "home_vault";
}

void tst_Workspace::suggestedFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(MainWindow::suggestedFileName(name), expected);
}

void tst_Workspace::unsavedChangesOfUnlockedDatabase()
{
    activateSample();
    QVERIFY(!m_window->database().isModified());
    // Nothing unsaved: closing asks nothing.
    {
        BoxAnswerer answerer({});
        m_window->closeDatabase();
        QVERIFY(m_window->isNoDatabaseView());
        QVERIFY(answerer.boxes.isEmpty());
    }

    activateSample();
    {
        // Cancel keeps everything.
        m_window->selectGroup(group("Spare"));
        m_window->deleteSelectedGroup();
        BoxAnswerer answerer({ "Cancel" });
        QVERIFY(m_window->database().isModified());
        QVERIFY(m_window->isModified());
        m_window->closeDatabase();
        QCOMPARE(answerer.boxes, QStringList({ "Unsaved Changes|There are unsaved changes. Do you want to save them now?" }));
        QVERIFY(m_window->isDatabaseView());
    }
    {
        // Save with no file path runs Save As; cancelling it stops the close.
        BoxAnswerer answerer({ "Save" });
        UiDriver cancelFileDialog([]() {
            auto* dialog = visibleTopLevel<QFileDialog>();
            if (dialog)
                dialog->reject();
            return dialog != nullptr;
        });
        m_window->closeDatabase();
        QVERIFY(cancelFileDialog.isDone());
        QVERIFY(m_window->isDatabaseView());
        QVERIFY(m_window->database().isModified());
    }
    {
        // Save into a file goes on and closes.
        const QString path = m_dir.filePath("unsaved.lhdb");
        BoxAnswerer answerer({ "Save" });
        QString suggested;
        UiDriver chooseFile([&]() {
            auto* dialog = visibleTopLevel<QFileDialog>();
            if (!dialog)
                return false;
            suggested = dialog->selectedFiles().value(0);
            chooseInFileDialog(dialog, path);
            return true;
        });
        m_window->closeDatabase();
        QVERIFY(chooseFile.isDone());
        QCOMPARE(QFileInfo(suggested).completeBaseName(), QString("vault"));
        QVERIFY(m_window->isNoDatabaseView());
        QVERIFY(QFile::exists(path));
        QCOMPARE(BMainWindow::recentFiles().value(0), path);
    }
    {
        // Discard goes on without writing anything.
        activateSample();
        const QString path = m_dir.filePath("discarded.lhdb");
        m_window->selectGroup(group("Spare"));
        m_window->deleteSelectedGroup();
        BoxAnswerer answerer({ "Discard" });
        m_window->closeDatabase();
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY(m_window->isNoDatabaseView());
        QVERIFY(!QFile::exists(path));
        QVERIFY(!m_window->isModified());
    }
}

void tst_Workspace::unsavedChangesEnterSavesEscapeCancels()
{
    activateSample();
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->selectGroup(group("Spare"));
    m_window->deleteSelectedGroup();
    bool saveIsDefault = false;
    auto pressInBox = [&saveIsDefault](Qt::Key key) {
        return [&saveIsDefault, key]() {
            auto* box = visibleTopLevel<QMessageBox>();
            if (!box)
                return false;
            saveIsDefault = box->defaultButton() && box->defaultButton() == box->button(QMessageBox::Save);
            QTest::keyClick(box, key);
            return true;
        };
    };
    {
        Steps escape({ pressInBox(Qt::Key_Escape) });
        m_window->closeDatabase();
        QVERIFY(escape.isDone());
        QVERIFY(saveIsDefault);
        QVERIFY(m_window->isDatabaseView());
        QVERIFY(m_window->database().isModified());
    }
    {
        // Enter saves: the database has no file yet, so the file chooser
        // opens, and cancelling it stops the close.
        bool chooserShown = false;
        Steps enter({ pressInBox(Qt::Key_Return), [&chooserShown]() {
                         auto* dialog = visibleTopLevel<QFileDialog>();
                         if (dialog) {
                             chooserShown = true;
                             dialog->reject();
                         }
                         return dialog != nullptr;
                     } });
        m_window->closeDatabase();
        QVERIFY(enter.isDone());
        QVERIFY(chooserShown);
        QVERIFY(m_window->isDatabaseView());
        QVERIFY(m_window->database().isModified());
    }
}

void tst_Workspace::failedSaveIsShownAndStopsTheClose()
{
    activateSample();
    // Saved once to a folder that then disappears: the next save must fail
    // loudly and keep the database open and modified.
    const QString folder = m_dir.filePath("gone");
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/vault.lhdb";
    UiDriver chooseFile([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        chooseInFileDialog(dialog, path);
        return true;
    });
    QVERIFY(m_window->saveDatabaseOrSaveAs(true));
    QVERIFY(chooseFile.isDone());
    QVERIFY(!m_window->isModified());
    QVERIFY(QDir(folder).removeRecursively());

    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->selectGroup(group("Spare"));
    m_window->deleteSelectedGroup();
    // The file is gone with its folder: saving it there again fails.
    BoxAnswerer answerer({ "Save", "Save Here", "OK" });
    m_window->closeDatabase();
    QCOMPARE(answerer.boxes.size(), 3);
    QVERIFY(answerer.boxes.at(1).startsWith("File Gone|"));
    QVERIFY(answerer.boxes.at(2).startsWith("Failed to Save|Failed to save the password database.\n"));
    QVERIFY(answerer.boxes.at(2).size() > QString("Failed to Save|Failed to save the password database.\n").size());
    QVERIFY(m_window->isDatabaseView());
    QVERIFY(m_window->database().isModified());
    QVERIFY(m_window->isModified());
}

void tst_Workspace::unsavedChangesOfLockedDatabase()
{
    activateSample();
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->selectGroup(group("Spare"));
    m_window->deleteSelectedGroup();
    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    QVERIFY(m_window->database().isLocked());

    const QString first = "Unsaved Changes|There are unsaved changes but the database is locked. "
                          "The database must be unlocked to save the changes.";
    const QString second = "Unsaved Changes|Are you sure you want to discard the unsaved changes? This can't be undone.";
    {
        BoxAnswerer answerer({ "Unlock to Save Changes" });
        m_window->closeDatabase();
        QCOMPARE(answerer.boxes, QStringList({ first }));
        QVERIFY(m_window->isLockedView());
    }
    {
        BoxAnswerer answerer({ "Discard Changes", "Keep Changes" });
        m_window->closeDatabase();
        QCOMPARE(answerer.boxes, QStringList({ first, second }));
        QVERIFY(m_window->isLockedView());
    }
    {
        // The close link of the locked page reaches the same check.
        BoxAnswerer answerer({ "Discard Changes", "Discard Changes" });
        emit m_window->findChild<QLabel*>("closeDatabaseLabel")->linkActivated("closeDatabase");
        QCOMPARE(answerer.boxes, QStringList({ first, second }));
        QVERIFY(m_window->isNoDatabaseView());
        QVERIFY(!m_window->database().isOpen());
    }
}

void tst_Workspace::actionStates()
{
    const QStringList usableOnly { "&Close Database", "&Save Database", "Save Database As...",
                                   "Database Se&ttings...", "&Lock Workspace", "&New Group..." };
    const QStringList groupOnly { "New &Subgroup...", "&Delete Group", "&Edit Group...", "&New Password..." };
    const QStringList passwordOnly { "&Delete Password", "&Open Password...", "Copy &Username...",
                                     "Copy &Password..." };
    auto enabled = [this](const QStringList& texts) {
        QStringList on;
        for (const QString& text : texts) {
            if (action(text)->isEnabled())
                on << text;
        }
        return on;
    };

    activateSample();
    // Internet is current, Bank (with a URL) selected.
    QCOMPARE(m_window->currentGroup(), group("Internet"));
    QCOMPARE(m_window->currentPassword(), password("Bank"));
    QCOMPARE(enabled(usableOnly + groupOnly + passwordOnly + QStringList { "Open U&RL..." }),
             usableOnly + groupOnly + passwordOnly + QStringList { "Open U&RL..." });
    // The find bar opens whenever the database is usable.
    QVERIFY(action("&Find Password...")->isEnabled());

    // A password without a URL.
    m_window->selectPassword(password("Mail"));
    QVERIFY(action("Copy &Password...")->isEnabled());
    QVERIFY(!action("Open U&RL...")->isEnabled());

    // An empty group: no password actions.
    m_window->selectGroup(group("Spare"));
    QCOMPARE(enabled(passwordOnly + QStringList { "Open U&RL..." }), QStringList());
    QCOMPARE(enabled(groupOnly), groupOnly);

    // Locked: only the always-on actions.
    m_window->lockWorkspace();
    QCOMPARE(enabled(usableOnly + groupOnly + passwordOnly), QStringList());
    for (const char* text : { "&New Database...", "&Open Database...", "&Generate Password...", "&Delete" })
        QVERIFY2(action(text)->isEnabled(), text);
}

void tst_Workspace::viewStateSurvivesSaveReopenAndLock()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* outer = makeGroup("Outer");
    Group* inner = makeGroup("Inner");
    outer->addItem(inner);
    makePassword(inner, "First");
    makePassword(inner, "Second");
    db.addItem(makeGroup("Top"));
    db.addItem(outer);
    m_window->activateDatabase(db);
    QCOMPARE(m_window->currentGroup(), group("Top"));

    // Expanding and selecting are view state, not changes.
    tree()->findGroupItem(group("Outer"))->setExpanded(true);
    m_window->selectGroup(group("Inner"));
    m_window->selectPassword(password("Second"));
    QCOMPARE(info()->item(0, 1)->text(), QString("Second"));
    QVERIFY(!m_window->database().isModified());
    QVERIFY(!m_window->isModified());

    m_window->lockWorkspace();
    QVERIFY(!m_window->currentGroup() && !m_window->currentPassword());
    QCOMPARE(tree()->topLevelItemCount(), 0);
    QCOMPARE(table()->rowCount(), 0);
    auto* field = m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit");
    field->setText("secret");
    m_window->unlockWorkspace();
    QVERIFY(m_window->isDatabaseView());
    QCOMPARE(field->text(), QString());
    QCOMPARE(m_window->currentGroup(), group("Inner"));
    QCOMPARE(m_window->currentPassword(), password("Second"));
    QVERIFY(tree()->findGroupItem(group("Outer"))->isExpanded());
    QVERIFY(!m_window->isModified());

    // Saved and opened again through the recent-files signal.
    const QString path = m_dir.filePath("state.lhdb");
    UiDriver chooseFile([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        chooseInFileDialog(dialog, path);
        return true;
    });
    QVERIFY(m_window->saveDatabaseOrSaveAs(false));
    m_window->closeDatabase();
    UiDriver unlock([]() {
        QDialog* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("DatabaseUnlockDialog") && widget->isVisible())
                dialog = static_cast<QDialog*>(widget);
        }
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("passwordLineEdit")->setText("secret");
        static_cast<QDialog*>(dialog)->accept();
        return true;
    });
    emit m_window->openRecentFile(path);
    QVERIFY(unlock.isDone());
    QVERIFY(m_window->isDatabaseView());
    QCOMPARE(m_window->currentGroup(), group("Inner"));
    QCOMPARE(m_window->currentPassword(), password("Second"));
    QCOMPARE(table()->currentRow(), 1);
    QVERIFY(tree()->findGroupItem(group("Outer"))->isExpanded());
    QVERIFY(!m_window->isModified());
}

void tst_Workspace::wrongUnlockPasswordKeepsTheLock()
{
    activateSample();
    m_window->lockWorkspace();
    auto* field = m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit");
    field->setText("wrong");
    BoxAnswerer answerer({ "OK", "OK" });
    m_window->unlockWorkspace();
    QCOMPARE(field->text(), QString());
    // One box, with the reason.
    QCOMPARE(answerer.boxes, QStringList({ "Failed to Unlock|Failed to unlock password database. Incorrect password." }));
    QVERIFY(m_window->isLockedView());
    QVERIFY(m_window->database().isLocked());
    QCOMPARE(tree()->topLevelItemCount(), 0);
}

void tst_Workspace::lockHidesOtherWindowsUntilUnlocked()
{
    activateSample();
    QWidget helper;
    helper.setWindowTitle("Notes");
    helper.show();
    QMenu popup;
    popup.addAction("Entry");
    popup.popup(QPoint(10, 10));
    QTRY_VERIFY(popup.isVisible());

    action("&Lock Workspace")->trigger();
    QVERIFY(m_window->isLockedView());
    QVERIFY(!helper.isVisible());
    QVERIFY(!popup.isVisible());

    m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("secret");
    m_window->unlockWorkspace();
    QVERIFY(m_window->isDatabaseView());
    QVERIFY(helper.isVisible());
    QVERIFY(!popup.isVisible());
    QCOMPARE(m_window->currentGroup(), group("Internet"));
}

void tst_Workspace::unreadableFileKeepsTheOpenDatabase()
{
    activateSample();
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->selectGroup(group("Spare"));
    m_window->deleteSelectedGroup();
    const QString path = m_dir.filePath("empty.lhdb");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    // Discard lets the open go on; the changes stay until the database goes.
    BoxAnswerer answerer({ "Discard", "OK" });
    m_window->openDatabase(path);
    QCOMPARE(answerer.boxes.size(), 2);
    QVERIFY(answerer.boxes.at(1).startsWith("Failed to Load|"));
    QVERIFY(answerer.boxes.at(1).size() > QString("Failed to Load|").size());
    QVERIFY(m_window->isDatabaseView());
    QVERIFY(group("Internet"));
    QVERIFY(!BMainWindow::recentFiles().contains(path));
    // Still modified: closing it now asks again.
    QVERIFY(m_window->database().isModified());
    QVERIFY(m_window->isModified());
}

void tst_Workspace::vaultIsKnownByItsContent()
{
    // A name typed without extension, in a folder whose name has a dot,
    // gets the vault's suffix.
    activateSample();
    const QString folder = m_dir.filePath("my.files");
    QVERIFY(QDir().mkpath(folder));
    QString filter;
    UiDriver chooseFile([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        filter = dialog->selectedNameFilter();
        chooseInFileDialog(dialog, folder + "/household");
        return true;
    });
    QVERIFY(m_window->saveDatabaseOrSaveAs(true));
    QVERIFY(chooseFile.isDone());
    QCOMPARE(filter, QString("Password databases (*.lhdb)"));
    QVERIFY(QFile::exists(folder + "/household.lhdb"));

    // A vault renamed without extension still opens as a vault.
    m_window->closeDatabase();
    const QString bare = folder + "/household";
    QVERIFY(QFile::rename(folder + "/household.lhdb", bare));
    UiDriver unlock([]() {
        QWidget* dialog = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("DatabaseUnlockDialog") && widget->isVisible())
                dialog = widget;
        }
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("passwordLineEdit")->setText("secret");
        static_cast<QDialog*>(dialog)->accept();
        return true;
    });
    BoxAnswerer noBoxes({});
    m_window->openOrImportDatabase(bare);
    QVERIFY(unlock.isDone());
    QVERIFY(noBoxes.boxes.isEmpty());
    QVERIFY(m_window->isDatabaseView());
    QVERIFY(group("Internet"));
    QCOMPARE(m_window->database().getFilePath(), bare);
}

void tst_Workspace::usernamesAndPasswordsMasked()
{
    activateSample();
    m_window->selectPassword(password("Bank"));
    QCOMPARE(table()->item(0, 1)->text(), QString("*****"));
    QCOMPARE(table()->item(0, 2)->text(), QString());
    QCOMPARE(table()->item(0, 3)->text(), QString("bank.example"));
    QCOMPARE(info()->item(1, 1)->text(), QString("*****"));
    QCOMPARE(info()->item(4, 1)->text(), QString(7, '*'));
    QCOMPARE(info()->item(7, 1)->text(), QString("Never"));

}

void tst_Workspace::viewMenuUnmasksAtOnce()
{
    activateSample();
    m_window->selectPassword(password("Mail"));
    QMenu* view = nullptr;
    for (QAction* entry : m_window->menuBar()->actions()) {
        if (entry->text() == "&View")
            view = entry->menu();
    }
    QVERIFY(view);
    QCOMPARE(view->actions().size(), 2);
    QAction* hideUsernames = view->actions().at(0);
    QAction* hidePasswords = view->actions().at(1);
    QCOMPARE(hideUsernames->text(), QString("Hide User Names"));
    QCOMPARE(hidePasswords->text(), QString("Hide Passwords"));
    QVERIFY(hideUsernames->isCheckable() && hideUsernames->isChecked());
    QVERIFY(hidePasswords->isCheckable() && hidePasswords->isChecked());

    hideUsernames->trigger();
    QVERIFY(!boolSetting("app.mainWindow.hideUsernames", true));
    QCOMPARE(table()->item(1, 1)->text(), QString("bob"));
    QCOMPARE(info()->item(1, 1)->text(), QString("bob"));
    QCOMPARE(info()->item(4, 1)->text(), QString(7, '*'));
    // The selection stays where it was.
    QCOMPARE(m_window->currentPassword(), password("Mail"));

    hidePasswords->trigger();
    QVERIFY(!boolSetting("app.mainWindow.hidePasswords", true));
    QCOMPARE(info()->item(4, 1)->text(), QString("Mail-pw"));
    hideUsernames->trigger();
    QCOMPARE(table()->item(1, 1)->text(), QString("***"));
    QVERIFY(boolSetting("app.mainWindow.hideUsernames", false));
}

void tst_Workspace::deleteGroupAsksOnlyWhenNotEmpty()
{
    activateSample();
    tree()->setFocus();
    {
        // An empty group goes without a question.
        BoxAnswerer answerer({});
        m_window->selectGroup(group("Spare"));
        action("&Delete")->trigger();
        QVERIFY(answerer.boxes.isEmpty());
        QVERIFY(!group("Spare"));
        QVERIFY(m_window->isModified());
    }
    {
        BoxAnswerer answerer({ "Cancel" });
        m_window->selectGroup(group("Work"));
        action("&Delete")->trigger();
        QCOMPARE(answerer.boxes, QStringList({ "Delete Group|Are you sure you want to delete the group and all its "
                                               "children? Copies of its passwords are kept in the backup group "
                                               "\"Backup\"; the groups themselves can't be restored." }));
        QVERIFY(group("Work"));
        QCOMPARE(m_window->currentGroup(), group("Work"));
    }
    {
        // Without backups the deletion is final, and the question says so.
        setBoolSetting("app.settings.backupDeletedPasswords", false);
        BoxAnswerer answerer({ "Cancel" });
        action("&Delete")->trigger();
        QCOMPARE(answerer.boxes, QStringList({ "Delete Group|Are you sure you want to delete the group and all its "
                                               "children? This can't be undone." }));
    }
}

void tst_Workspace::deleteGroupBacksUpAndSelectsNeighbour()
{
    activateSample();
    // Internet holds a sub-group, so its passwords come from two levels.
    Group* sub = makeGroup("Shops");
    makePassword(sub, "Store");
    group("Internet")->addItem(sub);
    m_window->rebuildGroupTree();
    m_window->selectGroup(group("Shops"));
    m_window->selectGroup(group("Internet"));

    BoxAnswerer answerer({ "Delete Group" });
    m_window->deleteSelectedGroup();
    QCOMPARE(answerer.boxes.size(), 1);
    QVERIFY(!group("Internet") && !group("Shops"));

    // The next sibling takes the place; the tables show its contents.
    QCOMPARE(m_window->currentGroup(), group("Work"));
    QCOMPARE(tree()->selectedGroup(), group("Work"));
    QCOMPARE(tableNames(), QStringList({ "Laptop" }));
    QCOMPARE(info()->item(0, 1)->text(), QString("Laptop"));

    // The backup group appears as the last top-level item, with a copy of
    // every deleted password.
    QCOMPARE(treeTopLevelNames(), QStringList({ "Work", "Spare", "Backup" }));
    auto* backup = static_cast<Group*>(m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QVERIFY(backup);
    QCOMPARE(tree()->topLevelItem(2)->data(0, Qt::UserRole).value<void*>(), static_cast<void*>(backup));
    QStringList copies = childNames(backup->getItems());
    copies.sort();
    QCOMPARE(copies, QStringList({ "Bank", "Mail", "Store" }));

    // The last group: the previous sibling; the only child: the parent.
    m_window->selectGroup(backup);
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->deleteSelectedGroup();
    QVERIFY(!m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QCOMPARE(m_window->currentGroup(), group("Spare"));
    QCOMPARE(tableNames(), QStringList());
    QCOMPARE(info()->rowCount(), 0);
    Group* child = makeGroup("Child");
    group("Work")->addItem(child);
    m_window->rebuildGroupTree();
    m_window->selectGroup(child);
    m_window->deleteSelectedGroup();
    QCOMPARE(m_window->currentGroup(), group("Work"));
    QCOMPARE(tableNames(), QStringList({ "Laptop" }));
}

void tst_Workspace::deleteInsideBackupGroupMakesNoCopies()
{
    activateSample();
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->selectGroup(group("Work"));
    m_window->selectPassword(password("Laptop"));
    m_window->deleteSelectedPassword();
    auto* backup = static_cast<Group*>(m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QVERIFY(backup);
    QCOMPARE(childNames(backup->getItems()), QStringList({ "Laptop" }));

    // A sub-group inside the backup group: deleting it copies nothing.
    Group* old = makeGroup("Old");
    makePassword(old, "Ancient");
    backup->addItem(old);
    m_window->rebuildGroupTree();
    m_window->selectGroup(old);
    m_window->deleteSelectedGroup();
    QCOMPARE(childNames(backup->getItems()), QStringList({ "Laptop" }));
    QVERIFY(!password("Ancient"));

    // Nor does deleting a password of the backup group.
    m_window->selectGroup(backup);
    m_window->selectPassword(password("Laptop"));
    m_window->deleteSelectedPassword();
    QVERIFY(backup->isEmpty());
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Work", "Spare", "Backup" }));

    // Dragged inside another group, the backup group still keeps no copies
    // of what is deleted from it, nor does deleting the group around it.
    makePassword(backup, "Stale");
    makePassword(backup, "Staler");
    m_window->rebuildGroupTree();
    m_window->selectGroup(backup);
    m_window->dropOnGroupTree(tree(), treePoint("Spare", 0));
    QCOMPARE(backup->getParent(), group("Spare"));
    m_window->selectGroup(backup);
    m_window->selectPassword(password("Stale"));
    m_window->deleteSelectedPassword();
    QCOMPARE(childNames(backup->getItems()), QStringList({ "Staler" }));
    m_window->selectGroup(group("Spare"));
    m_window->deleteSelectedGroup();
    QVERIFY(!password("Staler"));
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Work" }));
}

void tst_Workspace::deletePasswordAsksAndBacksUpOnce()
{
    activateSample();
    table()->setFocus();
    {
        BoxAnswerer answerer({ "Cancel" });
        m_window->selectPassword(password("Mail"));
        action("&Delete")->trigger();
        QCOMPARE(answerer.boxes, QStringList({ "Delete Password|Are you sure you want to delete the password? "
                                               "A copy of it is kept in the backup group \"Backup\"." }));
        QCOMPARE(tableNames(), QStringList({ "Bank", "Mail" }));
    }
    // With backups off, or inside the backup group, nothing is kept.
    setBoolSetting("app.settings.backupDeletedPasswords", false);
    {
        BoxAnswerer answerer({ "Cancel" });
        action("&Delete")->trigger();
        QCOMPARE(answerer.boxes, QStringList({ "Delete Password|Are you sure you want to delete the password? "
                                               "This can't be undone." }));
    }
    setBoolSetting("app.settings.backupDeletedPasswords", true);
    // An equal copy already in the backup group is not made again.
    Password copy(*password("Mail"));
    QVERIFY(::backupPassword(const_cast<PasswordDatabase&>(m_window->database()), copy));
    m_window->rebuildGroupTree();
    m_window->selectGroup(group("Internet"));
    m_window->selectPassword(password("Mail"));
    {
        BoxAnswerer answerer({ "Delete Password" });
        action("&Delete")->trigger();
        QCOMPARE(answerer.boxes.size(), 1);
    }
    auto* backup = static_cast<Group*>(m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QCOMPARE(childNames(backup->getItems()), QStringList({ "Mail" }));
    // The last row was deleted: the row before it becomes current.
    QCOMPARE(tableNames(), QStringList({ "Bank" }));
    QCOMPARE(m_window->currentPassword(), password("Bank"));
    QCOMPARE(info()->item(0, 1)->text(), QString("Bank"));
    QVERIFY(m_window->isModified());

    // With backups switched off nothing is copied.
    setBoolSetting("app.settings.backupDeletedPasswords", false);
    setBoolSetting("app.settings.askBeforeDelete", false);
    m_window->deleteSelectedPassword();
    QCOMPARE(tableNames(), QStringList());
    QCOMPARE(info()->rowCount(), 0);
    QVERIFY(!m_window->currentPassword());
    QCOMPARE(childNames(backup->getItems()), QStringList({ "Mail" }));
}

void tst_Workspace::editBacksUpOnlyRealChanges()
{
    activateSample();
    setBoolSetting("app.settings.backupModifiedPasswords", true);
    auto editWith = [](const QString& username) {
        return new UiDriver([username]() {
            QDialog* dialog = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->inherits("PasswordEditDialog") && widget->isVisible())
                    dialog = static_cast<QDialog*>(widget);
            }
            if (!dialog)
                return false;
            if (!username.isNull())
                dialog->findChild<QLineEdit*>("usernameEdit")->setText(username);
            dialog->accept();
            return true;
        });
    };

    // OK without a change: no copy, nothing to save.
    m_window->selectPassword(password("Mail"));
    std::unique_ptr<UiDriver> unchanged(editWith(QString()));
    action("&Open Password...")->trigger();
    QVERIFY(unchanged->isDone());
    QVERIFY(!m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QVERIFY(!m_window->database().isModified());

    // Two real edits keep the two earlier states.
    for (const QString& username : { QString("bob2"), QString("bob3") }) {
        std::unique_ptr<UiDriver> edit(editWith(username));
        m_window->passwordActivated(table()->item(table()->currentRow(), 0));
        QVERIFY(edit->isDone());
    }
    QCOMPARE(password("Mail")->getUsername(), QString("bob3"));
    QCOMPARE(m_window->currentPassword(), password("Mail"));
    QCOMPARE(table()->item(table()->currentRow(), 0)->text(), QString("Mail"));
    QVERIFY(m_window->isModified());
    auto* backup = static_cast<Group*>(m_window->database().getItemByTag(PasswordDatabase::BackupGroupTag));
    QVERIFY(backup);
    QStringList usernames;
    for (PasswordDatabase::Item* item : backup->getItems())
        usernames << static_cast<Password*>(item)->getUsername();
    QCOMPARE(usernames, QStringList({ "bob", "bob2" }));
    QCOMPARE(treeTopLevelNames().last(), QString("Backup"));
}

void tst_Workspace::dropGroupAboveOnAndBelow()
{
    activateSample();
    auto save = [this]() {
        // Mark saved so that each drop is seen to mark the database again.
        const_cast<PasswordDatabase&>(m_window->database()).clearModified();
        m_window->setModified(false);
    };

    // Spare above Internet.
    save();
    m_window->selectGroup(group("Spare"));
    m_window->dropOnGroupTree(tree(), treePoint("Internet", -5));
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Spare", "Internet", "Work" }));
    QCOMPARE(treeTopLevelNames(), QStringList({ "Spare", "Internet", "Work" }));
    QVERIFY(m_window->database().isModified());
    QVERIFY(m_window->isModified());

    // Spare on Work, within three pixels of its centre: its last child.
    save();
    m_window->selectGroup(group("Spare"));
    m_window->dropOnGroupTree(tree(), treePoint("Work", 2));
    QCOMPARE(group("Spare")->getParent(), group("Work"));
    QCOMPARE(childNames(group("Work")->getItems()), QStringList({ "Laptop", "Spare" }));
    QVERIFY(m_window->isModified());

    // Below a collapsed group: its next sibling, even when it has children.
    save();
    Group* extra = makeGroup("Extra");
    const_cast<PasswordDatabase&>(m_window->database()).addItem(extra);
    m_window->rebuildGroupTree();
    m_window->selectGroup(extra);
    m_window->dropOnGroupTree(tree(), treePoint("Internet", 4));
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Extra", "Work" }));

    // Below an expanded group with children: its first child.
    tree()->findGroupItem(group("Work"))->setExpanded(true);
    m_window->selectGroup(extra);
    m_window->dropOnGroupTree(tree(), treePoint("Work", 3));
    QCOMPARE(childNames(group("Work")->getItems()), QStringList({ "Extra", "Laptop", "Spare" }));

    // Onto empty space: appended at the top level.
    m_window->selectGroup(group("Spare"));
    m_window->dropOnGroupTree(tree(), QPoint(5, tree()->viewport()->height() - 2));
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Work", "Spare" }));
    QCOMPARE(m_window->currentGroup(), group("Spare"));
    QCOMPARE(tree()->selectedGroup(), group("Spare"));
}

void tst_Workspace::dropGroupOnItselfOrDescendant()
{
    activateSample();
    Group* inner = makeGroup("Inner");
    group("Work")->addItem(inner);
    m_window->rebuildGroupTree();
    tree()->findGroupItem(group("Work"))->setExpanded(true);
    const_cast<PasswordDatabase&>(m_window->database()).clearModified();

    m_window->selectGroup(group("Work"));
    for (int offset : { -5, 0, 5 }) {
        m_window->dropOnGroupTree(tree(), treePoint("Inner", offset));
        m_window->dropOnGroupTree(tree(), treePoint("Work", offset));
    }
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Work", "Spare" }));
    QCOMPARE(inner->getParent(), group("Work"));
    QVERIFY(!m_window->database().isModified());

}

void tst_Workspace::dropPasswordOnGroup()
{
    activateSample();
    m_window->selectPassword(password("Mail"));
    m_window->dropOnGroupTree(table(), treePoint("Work", 0));
    QCOMPARE(childNames(group("Work")->getItems()), QStringList({ "Laptop", "Mail" }));
    QCOMPARE(tableNames(), QStringList({ "Bank" }));
    QCOMPARE(m_window->currentPassword(), password("Bank"));
    QVERIFY(m_window->isModified());
}

void tst_Workspace::dropPasswordWithinTable()
{
    activateSample();
    Group* internet = group("Internet");
    makePassword(internet, "Shop");
    m_window->refillPasswordTable();
    QCOMPARE(tableNames(), QStringList({ "Bank", "Mail", "Shop" }));
    const_cast<PasswordDatabase&>(m_window->database()).clearModified();

    auto rowPoint = [this](int row, int offset) {
        const QRect rect = table()->visualItemRect(table()->item(row, 0));
        return QPoint(rect.center().x(), rect.center().y() + offset);
    };
    // Shop dropped on the upper half of Bank: before it.
    m_window->selectPassword(password("Shop"));
    m_window->dropOnPasswordTable(table(), rowPoint(0, -3));
    QCOMPARE(tableNames(), QStringList({ "Shop", "Bank", "Mail" }));
    QCOMPARE(childNames(internet->getItems()), QStringList({ "Shop", "Bank", "Mail" }));
    QVERIFY(m_window->database().isModified());

    // Shop dropped on the lower half of Bank: after it.
    m_window->selectPassword(password("Shop"));
    m_window->dropOnPasswordTable(table(), rowPoint(1, 3));
    QCOMPARE(childNames(internet->getItems()), QStringList({ "Bank", "Shop", "Mail" }));

    // On itself: nothing; below the rows: to the end.
    m_window->selectPassword(password("Bank"));
    m_window->dropOnPasswordTable(table(), rowPoint(0, 0));
    QCOMPARE(childNames(internet->getItems()), QStringList({ "Bank", "Shop", "Mail" }));
    m_window->dropOnPasswordTable(table(), QPoint(5, table()->viewport()->height() - 2));
    QCOMPARE(childNames(internet->getItems()), QStringList({ "Shop", "Mail", "Bank" }));
    QCOMPARE(tableNames(), QStringList({ "Shop", "Mail", "Bank" }));
}

QTEST_MAIN(tst_Workspace)
#include "tst_workspace.moc"
