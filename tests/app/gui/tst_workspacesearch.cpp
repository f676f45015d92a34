// The keyboard-first workspace: search results of the whole database in the
// password table as the find bar is typed in, kept in step with the model,
// and the shortcuts, double clicks and Tab order of the views.
#include "app/gui/GroupTreeWidget.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordTableWidget.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>

#include <memory>
#include <QtTest>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

class tst_WorkspaceSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void resultsSpanGroupsWithFieldAndCaseSettings();
    void resultsFollowDeleteEditAndMove();
    void lockAndCloseWhileResultsShown();
    void downAndEscapeReturnToTheEntrysGroup();
    void shortcutsActFromTheTableOnly();
    void saveAsHasAKeyOnEveryPlatform();
    void doubleClickCopiesUserAndPassword();
    void tabMovesBetweenTheViews();
    void backupGroupOnlyWhenTicked();
    void newEntryGoesToTheResultsGroup();
    void largeResultsMakeRowsAsTheyAreShown();

private:
    // Internet (Bank, Mail), Work (Laptop) with Work / Old (bank card).
    void activateSample();
    void search(const QString& text);
    QStringList rows(int column);
    PasswordTableWidget* table() { return m_window->findChild<PasswordTableWidget*>("passwordTableWidget"); }
    GroupTreeWidget* tree() { return m_window->findChild<GroupTreeWidget*>("groupTreeWidget"); }
    QWidget* findBar() { return m_window->findChild<QWidget*>("findWidget"); }
    QLineEdit* findField() { return m_window->findChild<QLineEdit*>("findLineEdit"); }
    QAction* action(const QString& text);
    Password* password(const QString& name) { return itemNamed<Password>(m_window->database(), name); }
    Group* group(const QString& name) { return itemNamed<Group>(m_window->database(), name); }

    MainWindow* m_window = nullptr;
};

void tst_WorkspaceSearch::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_WorkspaceSearch::init()
{
    setBoolSetting("app.settings.askBeforeDelete", false);
    setBoolSetting("app.settings.backupDeletedPasswords", false);
    setBoolSetting("app.settings.backupModifiedPasswords", false);
    setBoolSetting("app.mainWindow.hideUsernames", false);
    setBoolSetting("app.findWidget.matchCase", false);
    setBoolSetting("app.findWidget.name", true);
    setBoolSetting("app.findWidget.url", true);
    setBoolSetting("app.findWidget.backupGroup", false);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    activateSample();
}

void tst_WorkspaceSearch::cleanup()
{
    closeAndDeleteWindow(m_window);
}

void tst_WorkspaceSearch::activateSample()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "Bank", "alice", "bank.example");
    makePassword(internet, "Mail", "bob");
    Group* work = makeGroup("Work");
    makePassword(work, "Laptop", "carol", "https://intranet.example");
    Group* old = makeGroup("Old");
    makePassword(old, "bank card", "dave");
    work->addItem(old);
    db.addItem(internet);
    db.addItem(work);
    m_window->activateDatabase(db);
}

void tst_WorkspaceSearch::search(const QString& text)
{
    m_window->findPassword();
    findField()->setText(text);
}

QStringList tst_WorkspaceSearch::rows(int column)
{
    QStringList texts;
    for (int row = 0; row < table()->rowCount(); ++row)
        texts << table()->item(row, column)->text();
    return texts;
}

QAction* tst_WorkspaceSearch::action(const QString& text)
{
    for (QAction* action : m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void tst_WorkspaceSearch::resultsSpanGroupsWithFieldAndCaseSettings()
{
    search("bank");
    QCOMPARE(rows(0), QStringList({ "Bank", "bank card" }));
    QCOMPARE(table()->horizontalHeaderItem(4)->text(), QString("Group"));
    QCOMPARE(rows(4), QStringList({ "Internet", "Work / Old" }));
    QVERIFY(tree()->selectedItems().isEmpty());

    findBar()->findChild<QCheckBox*>("matchCaseCheckBox")->setChecked(true);
    findField()->setText("Bank");
    QCOMPARE(rows(0), QStringList({ "Bank" }));
    // Without the name only Bank's URL holds the text.
    findBar()->findChild<QCheckBox*>("nameCheckBox")->setChecked(false);
    findField()->setText("bank");
    QCOMPARE(rows(0), QStringList({ "Bank" }));
    findBar()->findChild<QCheckBox*>("matchCaseCheckBox")->setChecked(false);
    findBar()->findChild<QCheckBox*>("nameCheckBox")->setChecked(true);
}

void tst_WorkspaceSearch::resultsFollowDeleteEditAndMove()
{
    search("a");
    QCOMPARE(rows(0), QStringList({ "Bank", "Mail", "Laptop", "bank card" }));

    m_window->selectPassword(password("Mail"));
    m_window->deleteSelectedPassword();
    QCOMPARE(rows(0), QStringList({ "Bank", "Laptop", "bank card" }));

    // Renamed so that it no longer matches: it leaves the results.
    m_window->selectPassword(password("Laptop"));
    UiDriver edit([]() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("PasswordEditDialog") && widget->isVisible()) {
                widget->findChild<QLineEdit*>("nameEdit")->setText("PC");
                widget->findChild<QLineEdit*>("URLEdit")->clear();
                static_cast<QDialog*>(widget)->accept();
                return true;
            }
        }
        return false;
    });
    action("&Open Password...")->trigger();
    QVERIFY(edit.isDone());
    QCOMPARE(rows(0), QStringList({ "Bank", "bank card" }));
    QVERIFY(findBar()->isVisible());

    // Moved to another group: its Group cell follows.
    m_window->selectPassword(password("bank card"));
    QTreeWidgetItem* internet = tree()->findGroupItem(group("Internet"));
    m_window->dropOnGroupTree(table(), tree()->visualItemRect(internet).center());
    QCOMPARE(rows(4), QStringList({ "Internet", "Internet" }));
}

void tst_WorkspaceSearch::lockAndCloseWhileResultsShown()
{
    search("bank");
    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    QCOMPARE(table()->rowCount(), 0);
    m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("secret");
    m_window->unlockWorkspace();
    QVERIFY(m_window->isDatabaseView());
    QCOMPARE(table()->columnCount(), 4);
    QVERIFY(tree()->selectedGroup());
    // Next after the unlock must not reach the entries the lock destroyed.
    search("bank");
    QMetaObject::invokeMethod(findBar(), "findNext");
    QCOMPARE(m_window->currentPassword(), password("Bank"));

    BoxAnswerer answerer({ "Discard" });
    m_window->closeDatabase();
    QVERIFY(m_window->isNoDatabaseView());
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(table()->columnCount(), 4);
}

void tst_WorkspaceSearch::downAndEscapeReturnToTheEntrysGroup()
{
    m_window->selectGroup(group("Internet"));
    search("bank");
    QTest::keyClick(findField(), Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), table());
    QCOMPARE(m_window->currentPassword(), password("Bank"));
    QTest::keyClick(table(), Qt::Key_Down);
    QCOMPARE(m_window->currentPassword(), password("bank card"));

    QTest::keyClick(table(), Qt::Key_Escape);
    QVERIFY(!findBar()->isVisible());
    QCOMPARE(tree()->selectedGroup(), group("Old"));
    QCOMPARE(rows(0), QStringList({ "bank card" }));
    QCOMPARE(table()->selectedPassword(), password("bank card"));
    QCOMPARE(table()->columnCount(), 4);
}

void tst_WorkspaceSearch::shortcutsActFromTheTableOnly()
{
    QClipboard* clipboard = QApplication::clipboard();
    m_window->selectGroup(group("Work"));
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("carol"));
    QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("Laptop-pw"));
    QTest::keyClick(table(), Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(clipboard->text(), QString("https://intranet.example"));

    // Ctrl+C in the find field copies the field's own text.
    search("Lap");
    findField()->selectAll();
    QTest::keyClick(findField(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("Lap"));

    UiDriver cancel([]() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("PasswordEditDialog") && widget->isVisible()) {
                static_cast<QDialog*>(widget)->reject();
                return true;
            }
        }
        return false;
    });
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_E, Qt::ControlModifier);
    QVERIFY(cancel.isDone());

    QCOMPARE(action("Open U&RL...")->shortcut(), QKeySequence("Ctrl+U"));
    QCOMPARE(action("&New Password...")->shortcut(), QKeySequence("Ctrl+Shift+N"));
}

void tst_WorkspaceSearch::saveAsHasAKeyOnEveryPlatform()
{
    const QList<QKeySequence> platform = QKeySequence::keyBindings(QKeySequence::SaveAs);
    QCOMPARE(action("Save Database As...")->shortcut(),
             platform.isEmpty() ? QKeySequence("Ctrl+Shift+S") : platform.first());
}

void tst_WorkspaceSearch::doubleClickCopiesUserAndPassword()
{
    QClipboard* clipboard = QApplication::clipboard();
    m_window->selectGroup(group("Internet"));
    const QRect user = table()->visualItemRect(table()->item(0, PasswordTableWidget::UsernameColumn));
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, Qt::NoModifier, user.center());
    QCOMPARE(clipboard->text(), QString("alice"));

    auto* info = m_window->findChild<QTableWidget*>("infoTableWidget");
    info->scrollToItem(info->item(4, 1));
    const QRect secret = info->visualItemRect(info->item(4, 1));
    // The view reports a double click only on the cell the press went to.
    QTest::mousePress(info->viewport(), Qt::LeftButton, Qt::NoModifier, secret.center());
    QTest::mouseDClick(info->viewport(), Qt::LeftButton, Qt::NoModifier, secret.center());
    QCOMPARE(clipboard->text(), QString("Bank-pw"));
}

namespace {

// Names the entry in the next password editor and accepts it.
UiDriver* namedNew(const QString& name)
{
    return new UiDriver([name]() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("PasswordEditDialog") && widget->isVisible()) {
                widget->findChild<QLineEdit*>("nameEdit")->setText(name);
                static_cast<QDialog*>(widget)->accept();
                return true;
            }
        }
        return false;
    });
}

} // namespace

void tst_WorkspaceSearch::tabMovesBetweenTheViews()
{
    tree()->setFocus();
    QTest::keyClick(tree(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), table());
    QTest::keyClick(table(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_window->findChild<QWidget*>("infoTableWidget"));
}

void tst_WorkspaceSearch::backupGroupOnlyWhenTicked()
{
    // Deleting Mail leaves its copy in a new backup group.
    setBoolSetting("app.settings.backupDeletedPasswords", true);
    m_window->selectGroup(group("Internet"));
    m_window->selectPassword(password("Mail"));
    m_window->deleteSelectedPassword();
    QVERIFY(group("Backup"));

    search("mail");
    QCOMPARE(table()->rowCount(), 0);
    QCheckBox* backup = findBar()->findChild<QCheckBox*>("backupGroupCheckBox");
    QVERIFY(!backup->isChecked());
    backup->setChecked(true);
    QCOMPARE(rows(0), QStringList({ "Mail" }));
    QCOMPARE(rows(4), QStringList({ "Backup" }));
    QCOMPARE(m_window->currentPassword()->getParent(), group("Backup"));
    // A new entry does not go beside the backed-up copy, but into the group
    // shown when the search began.
    table()->setFocus();
    std::unique_ptr<UiDriver> driver(namedNew("Mail again"));
    QTest::keyClick(table(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(driver->isDone());
    QCOMPARE(password("Mail again")->getParent(), group("Internet"));
    QApplication::setActiveWindow(m_window);
    backup->setChecked(false);
    QCOMPARE(rows(0), QStringList({ "Mail again" }));
}

void tst_WorkspaceSearch::newEntryGoesToTheResultsGroup()
{
    // The selected result's group, with the results kept as they match.
    m_window->selectGroup(group("Internet"));
    search("bank");
    m_window->selectPassword(password("bank card"));
    table()->setFocus();
    std::unique_ptr<UiDriver> driver(namedNew("bank note"));
    QTest::keyClick(table(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(driver->isDone());
    QCOMPARE(password("bank note")->getParent(), group("Old"));
    QCOMPARE(rows(0), QStringList({ "Bank", "bank card", "bank note" }));
    QCOMPARE(table()->selectedPassword(), password("bank note"));

    // No result to go by: the group shown when the search began; the entry,
    // matching nothing, is shown in it.
    findBar()->hide();
    m_window->selectGroup(group("Work"));
    search("zzz");
    QCOMPARE(table()->rowCount(), 0);
    driver.reset(namedNew("Printer"));
    // The window is active again once the first editor has gone.
    QApplication::setActiveWindow(m_window);
    findField()->setFocus();
    QTest::keyClick(findField(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(driver->isDone());
    QCOMPARE(password("Printer")->getParent(), group("Work"));
    QVERIFY(!findBar()->isVisible());
    QCOMPARE(tree()->selectedGroup(), group("Work"));
    QCOMPARE(table()->selectedPassword(), password("Printer"));
}

void tst_WorkspaceSearch::largeResultsMakeRowsAsTheyAreShown()
{
    // More entries than the table makes rows for before it is painted.
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* many = makeGroup("Many");
    for (int i = 0; i < 600; ++i)
        makePassword(many, QString("Entry %1").arg(i, 3, 10, QChar('0')), QString("user%1").arg(i));
    db.addItem(many);
    m_window->activateDatabase(db);

    search("entry");
    QCOMPARE(table()->rowCount(), 600);
    // Next walks to a row far down: it becomes current with its cells.
    for (int i = 0; i < 500; ++i)
        QMetaObject::invokeMethod(findBar(), "findNext");
    QCOMPARE(table()->selectedPassword(), password("Entry 500"));
    QCOMPARE(table()->item(500, 0)->text(), QString("Entry 500"));
    QCOMPARE(table()->item(500, 4)->text(), QString("Many"));

    // A deletion above keeps every row's entry in step.
    m_window->selectPassword(password("Entry 010"));
    m_window->deleteSelectedPassword();
    QCOMPARE(table()->rowCount(), 599);
    table()->scrollToBottom();
    table()->viewport()->repaint();
    const int last = table()->rowCount() - 1;
    QCOMPARE(table()->item(last, 0)->text(), QString("Entry 599"));
    QCOMPARE(table()->item(last, 1)->text(), QString("user599"));
    for (int row : { 0, 10, 498, last })
        QCOMPARE(table()->passwordAt(row)->getName(), table()->item(row, 0)->text());
}

QTEST_MAIN(tst_WorkspaceSearch)
#include "tst_workspacesearch.moc"
