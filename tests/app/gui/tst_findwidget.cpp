// The find bar in the workspace: the Next/Previous walk over the matches,
// the tick boxes, and that it never hands out a password that is gone.
#include "app/gui/FindWidget.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

class tst_FindWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nextAndPreviousWrapBothWays();
    void oneMatchAndEmptyText();
    void noFieldTickedFindsNothing();
    void deletedOrLockedPasswordsAreNeverShown();
    void tickStatesSurviveARestart();

private:
    // Internet (Acct A, Mail), Work (Sub (Acct B), Acct C).
    void activateSample();
    FindWidget* bar() { return m_window->findChild<FindWidget*>("findWidget"); }
    QLineEdit* findText() { return bar()->findChild<QLineEdit*>("findLineEdit"); }
    QCheckBox* box(const char* name) { return bar()->findChild<QCheckBox*>(name); }
    QAction* findAction();
    // The name of the password selected in the window.
    QString shown() { return m_window->currentPassword() ? m_window->currentPassword()->getName() : QString(); }
    // Clicks Next (true) or Previous (false) for each step and lists what
    // each click showed.
    QStringList walk(const QList<bool>& steps);

    MainWindow* m_window = nullptr;
};

void tst_FindWidget::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_FindWidget::init()
{
    // The defaults: Name and URL ticked.
    for (const char* key : { "app.findWidget.matchCase", "app.findWidget.username", "app.findWidget.password",
                             "app.findWidget.note", "app.findWidget.backupGroup" })
        setBoolSetting(key, false);
    setBoolSetting("app.findWidget.name", true);
    setBoolSetting("app.findWidget.url", true);
    setBoolSetting("app.settings.askBeforeDelete", false);
    setBoolSetting("app.settings.backupDeletedPasswords", false);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_FindWidget::cleanup()
{
    closeAndDeleteWindow(m_window);
}

void tst_FindWidget::activateSample()
{
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "Acct A");
    makePassword(internet, "Mail");
    Group* work = makeGroup("Work");
    Group* sub = makeGroup("Sub");
    work->addItem(sub);
    makePassword(sub, "Acct B");
    makePassword(work, "Acct C");
    db.addItem(internet);
    db.addItem(work);
    m_window->activateDatabase(db);
    QVERIFY(findAction()->isEnabled());
    findAction()->trigger();
    QVERIFY(bar()->isVisible());
}

QAction* tst_FindWidget::findAction()
{
    for (QAction* action : m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->text() == "&Find Password...")
            return action;
    }
    return nullptr;
}

QStringList tst_FindWidget::walk(const QList<bool>& steps)
{
    QStringList names;
    for (bool next : steps) {
        bar()->findChild<QPushButton*>(next ? "findNextButton" : "findPreviousButton")->click();
        names << shown();
    }
    return names;
}

void tst_FindWidget::nextAndPreviousWrapBothWays()
{
    QVERIFY(!findAction()->isEnabled());
    activateSample();
    findText()->setText("acct");
    QCOMPARE(shown(), QString("Acct A"));
    QCOMPARE(walk({ true, true, true }), QStringList({ "Acct B", "Acct C", "Acct A" }));
    QCOMPARE(walk({ false, false, false, false }), QStringList({ "Acct C", "Acct B", "Acct A", "Acct C" }));
    QCOMPARE(walk({ true, true }), QStringList({ "Acct A", "Acct B" }));
    // Return in the text field steps on as Next does.
    QTest::keyClick(findText(), Qt::Key_Return);
    QCOMPARE(shown(), QString("Acct C"));
    // Back from the last match after the walk wrapped past it.
    QCOMPARE(walk({ true, false, false }), QStringList({ "Acct A", "Acct C", "Acct B" }));

    // Case matters only when asked for.
    box("matchCaseCheckBox")->setChecked(true);
    QCOMPARE(bar()->matchCount(), 0);
    findText()->setText("Acct");
    QCOMPARE(bar()->matchCount(), 3);

    // Leaving the database view disables the action and hides the bar.
    m_window->lockWorkspace();
    QVERIFY(!bar()->isVisible());
    QVERIFY(!findAction()->isEnabled());
}

void tst_FindWidget::oneMatchAndEmptyText()
{
    activateSample();
    findText()->setText("mail");
    QCOMPARE(shown(), QString("Mail"));
    QCOMPARE(walk({ true, false, false, true }), QStringList({ "Mail", "Mail", "Mail", "Mail" }));

    // An empty text matches every password, in tree order.
    findText()->clear();
    QCOMPARE(shown(), QString("Acct A"));
    QCOMPARE(walk({ true, true, true, true }), QStringList({ "Mail", "Acct B", "Acct C", "Acct A" }));
}

void tst_FindWidget::noFieldTickedFindsNothing()
{
    activateSample();
    findText()->setText("acct");
    int steps = 0;
    QObject receiver;
    connect(bar(), &FindWidget::selectPassword, &receiver, [&steps]() { ++steps; });
    box("nameCheckBox")->setChecked(false);
    box("urlCheckBox")->setChecked(false);
    QCOMPARE(bar()->matchCount(), 0);
    findText()->clear();
    walk({ true, false });
    QCOMPARE(steps, 0);
    // The password field alone: the sample's passwords are "<name>-pw".
    findText()->setText("Acct");
    box("passwordCheckBox")->setChecked(true);
    QCOMPARE(bar()->matchCount(), 3);
    QCOMPARE(steps, 1);
}

void tst_FindWidget::deletedOrLockedPasswordsAreNeverShown()
{
    activateSample();
    findText()->setText("acct");
    QCOMPARE(walk({ true }), QStringList({ "Acct B" }));

    // The shown match is deleted: the walk goes on over the ones left.
    QList<const Password*> emitted;
    QObject receiver;
    connect(bar(), &FindWidget::selectPassword, &receiver,
            [&emitted](const Password* password) { emitted << password; });
    m_window->deleteSelectedPassword();
    QVERIFY(!itemNamed<Password>(m_window->database(), "Acct B"));
    QCOMPARE(walk({ true, true, false }), QStringList({ "Acct C", "Acct A", "Acct C" }));

    // Every password object is destroyed by the lock: a step then shows
    // nothing, and after the unlock the bar searches the new objects.
    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    emitted.clear();
    bar()->findNext();
    bar()->findPrevious();
    QVERIFY(emitted.isEmpty());
    m_window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("secret");
    m_window->unlockWorkspace();
    QVERIFY(m_window->isDatabaseView());
    findAction()->trigger();
    QCOMPARE(bar()->matchCount(), 2);
    bar()->findNext();
    QCOMPARE(emitted, QList<const Password*>({ itemNamed<Password>(m_window->database(), "Acct A") }));
    QCOMPARE(shown(), QString("Acct A"));
}

void tst_FindWidget::tickStatesSurviveARestart()
{
    {
        FindWidget widget;
        QCOMPARE(widget.findFlags(), PasswordDatabase::FindName | PasswordDatabase::FindUrl);
        widget.findChild<QCheckBox*>("matchCaseCheckBox")->setChecked(true);
        widget.findChild<QCheckBox*>("urlCheckBox")->setChecked(false);
        widget.findChild<QCheckBox*>("noteCheckBox")->setChecked(true);
        QVERIFY(!widget.includesBackupGroup());
        widget.findChild<QCheckBox*>("backupGroupCheckBox")->setChecked(true);
    }
    FindWidget widget;
    QCOMPARE(widget.findFlags(), PasswordDatabase::FindCaseSensitive | PasswordDatabase::FindName
                                 | PasswordDatabase::FindNote);
    QVERIFY(widget.includesBackupGroup());
}

QTEST_MAIN(tst_FindWidget)
#include "tst_findwidget.moc"
