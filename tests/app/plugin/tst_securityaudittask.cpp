// The security audit: which entries get which warnings, the single-entry
// re-audit after an edit, and the marks the password table shows for them.
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordTableWidget.h"
#include "app/plugin/SecurityAuditTask.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/password/BPassword.h"
#include "blib/task/BTaskController.h"

#include <QLineEdit>
#include <QtTest>

#include <memory>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;
using Finding = SecurityAuditTask::Finding;

namespace {

const QString shared = QStringLiteral("Tq8#vLm2!pXz6&Rw");

Password* addEntry(Group* group, const QString& name, const QString& secret)
{
    Password* password = makePassword(group, name);
    password->setPassword(secret);
    return password;
}

BTaskResult audit(const PasswordDatabase& db, QList<Finding>& findings, const Password* target = nullptr,
                  const QString& previousPassword = QString())
{
    BTaskController controller;
    SecurityAuditTask task(&db, &findings, target, previousPassword);
    return task.run(&controller);
}

// "name: warning" for each finding, in list order.
QStringList describe(const QList<Finding>& findings)
{
    QStringList lines;
    for (const Finding& finding : findings)
        lines << finding.password->getName() + QStringLiteral(": ") + finding.warning;
    return lines;
}

} // namespace

class tst_SecurityAuditTask : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void reuseNamesTheFirstOtherEntry();
    void weakPasswordsOnlyBelowOk();
    void singleEntryReauditReplacesItsFinding();
    void switchesAndCancellation();
    void tableMarksFollowEditsAndAudits();
};

void tst_SecurityAuditTask::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_SecurityAuditTask::init()
{
    setBoolSetting("app.settings.warnWeakPasswords", true);
    setBoolSetting("app.settings.warnReusedPasswords", true);
}

void tst_SecurityAuditTask::reuseNamesTheFirstOtherEntry()
{
    PasswordDatabase db;
    Group* internet = makeGroup("Internet");
    Group* work = makeGroup("Work");
    Group* sub = makeGroup("Sub");
    addEntry(internet, "A", shared);
    addEntry(internet, "Solo", QStringLiteral("Uv5$kN9@wQ3^hJ7z"));
    addEntry(internet, "Empty", QString());
    addEntry(internet, "Empty too", QString());
    work->addItem(sub);
    addEntry(sub, "B", shared);
    addEntry(work, "C", shared);
    // A copy kept in the backup group shares Solo's password.
    Group* backup = makeGroup("Backup");
    backup->setTag(PasswordDatabase::BackupGroupTag);
    addEntry(backup, "Solo copy", QStringLiteral("Uv5$kN9@wQ3^hJ7z"));
    db.addItem(internet);
    db.addItem(work);
    db.addItem(backup);

    QList<Finding> findings { { nullptr, QStringLiteral("left over") } };
    QCOMPARE(audit(db, findings), Success);
    // Tree order: Internet (A, Solo, Empty, Empty too), Work (Sub (B), C).
    QCOMPARE(describe(findings), QStringList({
        "A: Reused password (Work - Sub - B). ",
        "B: Reused password (Internet - A). ",
        "C: Reused password (Internet - A). ",
    }));
}

void tst_SecurityAuditTask::weakPasswordsOnlyBelowOk()
{
    PasswordDatabase db;
    Group* group = makeGroup("Internet");
    Password* weak = addEntry(group, "Weak", QStringLiteral("password"));
    Password* strong = addEntry(group, "Strong", QStringLiteral("Uv5$kN9@wQ3^hJ7z"));
    addEntry(group, "Weak twin", QStringLiteral("password"));
    db.addItem(group);

    for (const Password* password : { weak, strong }) {
        double entropy = 0, fraction = 0;
        int rating = -1;
        QString feedback;
        ratePassword(password->getPassword(), entropy, rating, fraction, feedback);
        QVERIFY2((password == weak) == (rating <= 1), qPrintable(QString::number(rating)));
    }

    QList<Finding> findings;
    QCOMPARE(audit(db, findings), Success);
    QCOMPARE(findings.size(), 2);
    QCOMPARE(findings.at(0).password, weak);
    // Both warnings, each a sentence of its own ending in a space.
    const QString& text = findings.at(0).warning;
    QVERIFY2(text.startsWith("Weak password ("), qPrintable(text));
    QVERIFY2(text.endsWith("). Reused password (Internet - Weak twin). "), qPrintable(text));
    QCOMPARE(findings.at(1).password->getName(), QString("Weak twin"));
}

void tst_SecurityAuditTask::singleEntryReauditReplacesItsFinding()
{
    PasswordDatabase db;
    Group* group = makeGroup("Internet");
    Password* a = addEntry(group, "A", QStringLiteral("password"));
    Password* b = addEntry(group, "B", QStringLiteral("password"));
    Password* c = addEntry(group, "C", QStringLiteral("Uv5$kN9@wQ3^hJ7z"));
    db.addItem(group);
    QList<Finding> findings;
    audit(db, findings);
    QCOMPARE(findings.size(), 2);

    // A now shares C's strong password: its one finding says only that, C
    // now tells of re-use, and B, which shared A's old password, no longer.
    a->setPassword(c->getPassword());
    QCOMPARE(audit(db, findings, a, QStringLiteral("password")), Success);
    QStringList lines = describe(findings);
    lines.sort();
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).startsWith("A: Reused password (Internet - C). "), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith("B: Weak password (") && !lines.at(1).contains("Reused"), qPrintable(lines.at(1)));
    QCOMPARE(lines.at(2), QString("C: Reused password (Internet - A). "));

    // Fixed: the findings of A and C go at once; B keeps its weak one.
    const QString previous = a->getPassword();
    a->setPassword(QStringLiteral("Hs4*eD8(yB1!gK6~"));
    QCOMPARE(audit(db, findings, a, previous), Success);
    QCOMPARE(findings.size(), 1);
    QCOMPARE(findings.at(0).password, b);
    QVERIFY(!findings.at(0).warning.contains("Reused"));
}

void tst_SecurityAuditTask::switchesAndCancellation()
{
    PasswordDatabase db;
    Group* group = makeGroup("Internet");
    addEntry(group, "A", QStringLiteral("password"));
    addEntry(group, "B", QStringLiteral("password"));
    db.addItem(group);

    setBoolSetting("app.settings.warnWeakPasswords", false);
    QList<Finding> findings;
    audit(db, findings);
    QCOMPARE(findings.size(), 2);
    QVERIFY(!findings.at(0).warning.contains("Weak"));

    setBoolSetting("app.settings.warnReusedPasswords", false);
    audit(db, findings);
    QVERIFY(findings.isEmpty());

    setBoolSetting("app.settings.warnWeakPasswords", true);
    BTaskController controller;
    controller.cancel();
    SecurityAuditTask task(&db, &findings, nullptr);
    QCOMPARE(task.run(&controller), Cancelled);
    QVERIFY(findings.isEmpty());
}

void tst_SecurityAuditTask::tableMarksFollowEditsAndAudits()
{
    auto window = std::make_unique<MainWindow>(qApp, nullptr);
    window->resize(900, 600);
    window->show();
    QTRY_VERIFY(window->splashDialog());
    window->hideSplashDialog();

    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* group = makeGroup("Internet");
    addEntry(group, "Bank", QStringLiteral("password"));
    addEntry(group, "Mail", QStringLiteral("Uv5$kN9@wQ3^hJ7z"));
    db.addItem(group);
    window->activateDatabase(db);

    auto* table = window->findChild<PasswordTableWidget*>("passwordTableWidget");
    Group* internet = itemNamed<Group>(window->database(), "Internet");
    Password* bank = itemNamed<Password>(window->database(), "Bank");
    window->selectGroup(internet);
    QCOMPARE(table->rowCount(), 2);
    const QColor orange(238, 85, 0);
    auto nameCell = [&](const QString& name) {
        return table->item(table->findPasswordRow(itemNamed<Password>(window->database(), name)), 0);
    };
    QCOMPARE(nameCell("Bank")->foreground().color(), orange);
    QVERIFY2(nameCell("Bank")->toolTip().startsWith("Weak password ("), qPrintable(nameCell("Bank")->toolTip()));
    QVERIFY(nameCell("Mail")->foreground().color() != orange);
    QVERIFY(nameCell("Mail")->toolTip().isEmpty());

    // The edit gives Bank Mail's password: the mark now tells of re-use.
    auto editPassword = [](const QString& secret) {
        return new UiDriver([secret]() {
            QDialog* dialog = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (widget->inherits("PasswordEditDialog") && widget->isVisible())
                    dialog = static_cast<QDialog*>(widget);
            }
            if (!dialog)
                return false;
            dialog->findChild<QLineEdit*>("passwordEdit")->setText(secret);
            dialog->findChild<QLineEdit*>("repeatPasswordEdit")->setText(secret);
            dialog->accept();
            return true;
        });
    };
    setBoolSetting("app.settings.backupModifiedPasswords", false);
    {
        std::unique_ptr<UiDriver> edit(editPassword(QStringLiteral("Uv5$kN9@wQ3^hJ7z")));
        window->openPassword(*bank);
        QVERIFY(edit->isDone());
    }
    QCOMPARE(nameCell("Bank")->foreground().color(), orange);
    QCOMPARE(nameCell("Bank")->toolTip(), QString("Reused password (Internet - Mail). "));
    // Mail now shares its password and is marked at once.
    QCOMPARE(nameCell("Mail")->foreground().color(), orange);
    QCOMPARE(nameCell("Mail")->toolTip(), QString("Reused password (Internet - Bank). "));

    // A lock and unlock audits the whole database afresh.
    window->lockWorkspace();
    QVERIFY(window->isLockedView());
    window->findChild<QLineEdit*>("unlockDatabasePasswordLineEdit")->setText("secret");
    window->unlockWorkspace();
    QVERIFY(window->isDatabaseView());
    window->selectGroup(itemNamed<Group>(window->database(), "Internet"));
    QCOMPARE(nameCell("Mail")->foreground().color(), orange);
    QCOMPARE(nameCell("Mail")->toolTip(), QString("Reused password (Internet - Bank). "));

    // A fixed password loses its mark at once, and so does Mail, which
    // shared it.
    bank = itemNamed<Password>(window->database(), "Bank");
    {
        std::unique_ptr<UiDriver> edit(editPassword(QStringLiteral("Hs4*eD8(yB1!gK6~")));
        window->openPassword(*bank);
        QVERIFY(edit->isDone());
    }
    QVERIFY(nameCell("Bank")->foreground().color() != orange);
    QVERIFY(nameCell("Bank")->toolTip().isEmpty());
    QVERIFY(nameCell("Mail")->foreground().color() != orange);
    QVERIFY(nameCell("Mail")->toolTip().isEmpty());

    BoxAnswerer answerer({ "Discard" });
    window->closeDatabase();
}

QTEST_MAIN(tst_SecurityAuditTask)
#include "tst_securityaudittask.moc"
