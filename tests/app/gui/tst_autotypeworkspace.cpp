// Auto-Type from the workspace into another program's window on a display
// of the test's own: the global shortcut typing the entry that belongs to
// the window, the chooser when several do, the password asked first while
// locked, and Perform Auto-Type.
#include "app/gui/AutoTypeChooserDialog.h"
#include "app/gui/AutoTypeController.h"
#include "app/gui/AutoTypeWindows.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordTableWidget.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QLineEdit>
#include <QLabel>
#include <QTreeWidget>
#include <QtTest>

#include "support/WorkspaceFixture.h"
#include "support/X11TestDisplay.h"

#include <X11/keysym.h>

using Password = PasswordDatabase::Password;

class tst_AutoTypeWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void shortcutTypesTheEntryOfTheWindow();
    void severalMatchesAreChosenFrom();
    void lockedWorkspaceAsksForThePasswordFirst();

private:
    void pressShortcut() { m_x.pressCombination({ XK_Control_L, XK_Alt_L, XK_a }); }

    X11TestDisplay m_x;
    MainWindow* m_window = nullptr;
};

void tst_AutoTypeWorkspace::initTestCase_data()
{
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("no window manager") << false;
    QTest::newRow("openbox") << true;
}

void tst_AutoTypeWorkspace::initTestCase()
{
    if (!X11TestDisplay::canStart())
        QSKIP("Xvfb is not installed");
    QVERIFY(m_x.start());
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_AutoTypeWorkspace::init()
{
    QFETCH_GLOBAL(bool, windowManager);
    if (windowManager && !X11TestDisplay::canStartWindowManager())
        QSKIP("openbox is not installed");
    QVERIFY(m_x.setWindowManager(windowManager));

    // The workspace runs offscreen; only its Auto-Type reaches the display.
    m_window = new MainWindow(qApp, nullptr);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    PasswordDatabase::Group* group = makeGroup(QStringLiteral("Internet"));
    Password* bank = makePassword(group, QStringLiteral("Bank"), QStringLiteral("user"));
    bank->setPassword(QString::fromUtf8("pässwörd ©€"));
    makePassword(group, QStringLiteral("Forum"), QStringLiteral("forum-user"), QStringLiteral("forum.example"));
    Password* forumAdmin = makePassword(group, QStringLiteral("Forum admin"), QStringLiteral("admin"));
    forumAdmin->setNote(QStringLiteral("auto-type: {USERNAME}:{PASSWORD}"));
    db.addItem(group);
    m_window->activateDatabase(db);
}

void tst_AutoTypeWorkspace::cleanup()
{
    if (m_window)
        closeAndDeleteWindow(m_window);
    m_x.closeTargets();
}

void tst_AutoTypeWorkspace::cleanupTestCase()
{
    m_x.stop();
}

void tst_AutoTypeWorkspace::shortcutTypesTheEntryOfTheWindow()
{
    QString output;
    QVERIFY(m_x.startActiveTarget(QString::fromUtf8("Bank — Login"), &output));
    const QVector<KeySym> mapping = m_x.keyboardMapping();
    pressShortcut();
    const QString typed = QString::fromUtf8("user\tpässwörd ©€\n");
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), typed, 10000);
    QCOMPARE(m_x.keyboardMapping(), mapping);

    // Perform Auto-Type types the selected entry into that same window.
    m_window->selectPassword(itemNamed<Password>(m_window->database(), QStringLiteral("Bank")));
    QAction* perform = nullptr;
    for (QAction* action : m_window->findChildren<QAction*>()) {
        if (action->text().remove(QLatin1Char('&')) == QLatin1String("Perform Auto-Type"))
            perform = action;
    }
    QVERIFY(perform && perform->isEnabled());
    QCOMPARE(perform->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+V")));
    perform->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), typed + typed, 10000);

    // The program's own windows are never typed into.
    const quint64 target = AutoTypeWindows::activeWindow();
    QVERIFY(!AutoTypeController::isOwnWindow(target));
    QVERIFY(AutoTypeController::isOwnWindow(quint64(m_window->winId())));
    AutoTypeController* controller = m_window->findChild<AutoTypeController*>();
    QString error;
    QVERIFY(!controller->perform(*itemNamed<Password>(m_window->database(), QStringLiteral("Bank")),
                                 quint64(m_window->winId()), &error));
    QVERIFY2(error.contains(QLatin1String("own windows")), qPrintable(error));
    QCOMPARE(X11TestDisplay::readFile(output), typed + typed);
}

void tst_AutoTypeWorkspace::severalMatchesAreChosenFrom()
{
    QString output;
    QVERIFY(m_x.startActiveTarget(QStringLiteral("Forum admin - Forum"), &output));
    // The chooser runs its own loop: it is answered from a timer. It lists
    // both forum entries; the filter narrows them to one, which Enter types.
    int listed = 0;
    QString chosen;
    QTimer answer;
    answer.setInterval(20);
    connect(&answer, &QTimer::timeout, this, [&]() {
        auto* chooser = m_window->findChild<AutoTypeChooserDialog*>();
        if (!chooser || !chooser->isVisible())
            return;
        answer.stop();
        listed = chooser->findChild<QTreeWidget*>(QStringLiteral("entryTreeWidget"))->topLevelItemCount();
        auto* filter = chooser->findChild<QLineEdit*>(QStringLiteral("filterLineEdit"));
        QTest::keyClicks(filter, QStringLiteral("adm"));
        chosen = chooser->selectedPassword() ? chooser->selectedPassword()->getName() : QString();
        QTest::keyClick(filter, Qt::Key_Return);
    });
    answer.start();
    pressShortcut();
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), QStringLiteral("admin:Forum admin-pw"), 10000);
    QCOMPARE(listed, 2);
    QCOMPARE(chosen, QStringLiteral("Forum admin"));
}

void tst_AutoTypeWorkspace::lockedWorkspaceAsksForThePasswordFirst()
{
    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    QString output;
    QVERIFY(m_x.startActiveTarget(QStringLiteral("Bank"), &output));
    pressShortcut();
    // Nothing is typed before the unlock.
    QLabel* pending = m_window->findChild<QLabel*>(QStringLiteral("autoTypePendingLabel"));
    QTRY_VERIFY(pending->isVisibleTo(m_window));
    QVERIFY(pending->text().contains(QLatin1String("\"Bank\"")));
    QCOMPARE(X11TestDisplay::readFile(output), QString());
    m_window->findChild<QLineEdit*>(QStringLiteral("unlockDatabasePasswordLineEdit"))->setText(QStringLiteral("secret"));
    m_window->unlockWorkspace();
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), QString::fromUtf8("user\tpässwörd ©€\n"), 10000);
    QVERIFY(!pending->isVisibleTo(m_window));
}

QTEST_MAIN(tst_AutoTypeWorkspace)
#include "tst_autotypeworkspace.moc"
