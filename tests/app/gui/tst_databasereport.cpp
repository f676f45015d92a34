// The database report in the workspace: its figures and findings list, the
// selection of an entry from it, following edits and locks, and the breach
// checks it offers (the online one only when allowed).
#include "app/gui/DatabaseReportDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordTableWidget.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "support/LocalHttpServer.h"
#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

const QString shared = QStringLiteral("Tq8#vLm2!pXz6&Rw");
const QString breachedSecret = QStringLiteral("Bg4@qZ7#nX2!hP8s");

QByteArray hexOf(const QString& password)
{
    return QCryptographicHash::hash(password.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
}

// "entry|group|kind|detail" of each row, top to bottom.
QStringList rows(const QTreeWidget* tree)
{
    QStringList lines;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        lines << QStringList({ item->text(0), item->text(1), item->text(2), item->text(3) }).join('|');
    }
    return lines;
}

} // namespace

class tst_DatabaseReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reportListsFindingsAndSelectsEntries();
    void reportFollowsEditsAndLocks();
    void breachChecksFromListAndOnline();

private:
    DatabaseReportDialog* openReport();
    QString label(const char* name) { return m_report->findChild<QLabel*>(name)->text(); }

    MainWindow* m_window = nullptr;
    DatabaseReportDialog* m_report = nullptr;
};

void tst_DatabaseReport::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_DatabaseReport::init()
{
    setBoolSetting("app.settings.checkBreachesOnline", false);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();

    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* web = makeGroup("Web");
    Group* work = makeGroup("Work");
    makePassword(web, "Forum")->setPassword("abc123");
    makePassword(web, "Mail")->setPassword(shared);
    makePassword(work, "Wiki")->setPassword(shared);
    Password* soon = makePassword(work, "Server");
    soon->setPassword("Np2&xD8#sL5@cV1r");
    soon->setNeverExpire(false);
    soon->setExpireTime(QDateTime::currentDateTime().addDays(5));
    makePassword(work, "Bank")->setPassword(breachedSecret);
    Group* backup = makeGroup("Backup");
    backup->setTag(PasswordDatabase::BackupGroupTag);
    makePassword(backup, "Old forum")->setPassword("abc123");
    db.addItem(web);
    db.addItem(work);
    db.addItem(backup);
    m_window->activateDatabase(db);
    m_report = nullptr;
}

void tst_DatabaseReport::cleanup()
{
    closeAndDeleteWindow(m_window);
}

DatabaseReportDialog* tst_DatabaseReport::openReport()
{
    QMenu* tools = nullptr;
    for (QAction* menu : m_window->menuBar()->actions()) {
        if (menu->text() == "&Tools")
            tools = menu->menu();
    }
    if (!tools)
        return nullptr;
    for (QAction* action : tools->actions()) {
        if (action->text() == "Database Report...")
            action->trigger();
    }
    m_report = visibleTopLevel<DatabaseReportDialog>();
    return m_report;
}

void tst_DatabaseReport::reportListsFindingsAndSelectsEntries()
{
    QVERIFY(openReport());
    QTreeWidget* tree = m_report->findingsTree();
    tree->sortByColumn(0, Qt::AscendingOrder);
    const QStringList found = rows(tree);
    QCOMPARE(found.size(), 4);
    QVERIFY2(found.at(0).startsWith("Forum|Web|Weak|"), qPrintable(found.at(0)));
    QCOMPARE(found.mid(1), QStringList({ "Mail|Web|Re-used|Work - Wiki",
                                         "Server|Work|Expiring soon|" + QDateTime::currentDateTime().addDays(5).toString("d MMM yyyy"),
                                         "Wiki|Work|Re-used|Web - Mail" }));
    tree->sortByColumn(2, Qt::DescendingOrder);
    QCOMPARE(tree->topLevelItem(0)->text(2), QString("Weak"));
    QCOMPARE(label("weakCountLabel"), QString("Weak: 1"));
    QCOMPARE(label("reusedCountLabel"), QString("Re-used: 2"));
    QCOMPARE(label("expiringCountLabel"), QString("Expiring within 30 days: 1"));
    QCOMPARE(label("breachedCountLabel"), QString("Breached: not checked"));
    // One of five entries (Bank) has no finding.
    QCOMPARE(label("scoreLabel"), QString("Score: 20 / 100"));

    // Double-clicking a row selects its entry in the workspace.
    QTreeWidgetItem* wiki = tree->findItems("Wiki", Qt::MatchExactly).value(0);
    QVERIFY(wiki);
    emit tree->itemDoubleClicked(wiki, 0);
    QCOMPARE(m_window->currentPassword(), itemNamed<Password>(m_window->database(), "Wiki"));
}

void tst_DatabaseReport::reportFollowsEditsAndLocks()
{
    QVERIFY(openReport());
    QPointer<DatabaseReportDialog> report = m_report;
    // Deleting Mail ends both re-use findings.
    m_window->selectGroup(itemNamed<Group>(m_window->database(), "Web"));
    m_window->selectPassword(itemNamed<Password>(m_window->database(), "Mail"));
    {
        BoxAnswerer answerer({ "Delete Password" });
        m_window->deleteSelectedPassword();
    }
    QCOMPARE(report->report().count(DatabaseReport::Reused), 0);
    QCOMPARE(rows(report->findingsTree()).filter("Re-used").size(), 0);
    QCOMPARE(label("reusedCountLabel"), QString("Re-used: 0"));

    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    if (report) {
        QVERIFY(!report->isVisible());
        QCOMPARE(report->findingsTree()->topLevelItemCount(), 0);
        QCOMPARE(report->report().passwordCount(), 0);
    }
}

void tst_DatabaseReport::breachChecksFromListAndOnline()
{
    QVERIFY(openReport());
    QTemporaryDir dir;
    // A list holding Bank's password and one more hash.
    QList<QByteArray> hashes { hexOf(breachedSecret), hexOf("unrelated") };
    std::sort(hashes.begin(), hashes.end());
    QFile list(dir.filePath("list.txt"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    for (const QByteArray& hash : hashes)
        list.write(hash + (hash == hexOf(breachedSecret) ? ":321\r\n" : ":5\r\n"));
    list.close();
    QVERIFY(m_report->checkAgainstList(list.fileName()));
    QCOMPARE(label("breachedCountLabel"), QString("Breached: 1"));
    QVERIFY(rows(m_report->findingsTree()).contains("Bank|Work|Breached|321"));

    // Online: nothing goes out until it is allowed.
    LocalHttpServer server;
    setStringSetting("app.settings.breachServiceUrl", server.baseUrl());
    server.setDefaultReply({ 500, "down", "text/plain", 0, false, {}, {} });
    QVERIFY(!m_report->checkOnline());
    QVERIFY(server.requests().isEmpty());
    QVERIFY(!m_report->findChild<QPushButton*>("checkOnlineButton")->isEnabled());
    m_report->findChild<QCheckBox*>("allowOnlineCheckBox")->setChecked(true);
    QVERIFY(boolSetting("app.settings.checkBreachesOnline", false));
    // A failure says so and keeps the report as it was.
    QVERIFY(!m_report->checkOnline());
    QVERIFY(!server.requests().isEmpty());
    QVERIFY2(label("breachStatusLabel").contains("500"), qPrintable(label("breachStatusLabel")));
    QCOMPARE(m_report->report().count(DatabaseReport::Breached), 1);
    QCOMPARE(m_report->report().count(DatabaseReport::Reused), 2);
}

QTEST_MAIN(tst_DatabaseReport)
#include "tst_databasereport.moc"
