// A person's first session, driven through the real window on the offscreen
// platform: a new database, a group, a password with a generated secret,
// Save As, Close, opening the file again from the recent-files list; the
// command-line client then reads the file.
#include "app/gui/GroupTreeWidget.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "support/UiDriver.h"

namespace {

QDialog* visibleDialogOf(const char* className)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits(className) && widget->isVisible())
            return static_cast<QDialog*>(widget);
    }
    return nullptr;
}

QStringList treeNames(QTreeWidget* tree)
{
    QStringList names;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        names << (*it)->text(0);
    return names;
}

} // namespace

class tst_WorkspaceEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstSession();

private:
    QAction* action(MainWindow& window, const QString& text)
    {
        for (QAction* action : window.findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }
};

void tst_WorkspaceEndToEnd::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_WorkspaceEndToEnd::firstSession()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("travel.lhdb");
    const QString master = QStringLiteral("e2e master pass");

    MainWindow window(qApp);
    window.resize(900, 600);
    window.show();
    QTRY_VERIFY(window.splashDialog());
    window.hideSplashDialog();
    auto* tree = window.findChild<GroupTreeWidget*>("groupTreeWidget");

    // New Database: name, password twice, one round to keep the test quick.
    UiDriver newDatabase([&]() {
        QDialog* dialog = visibleDialogOf("DatabaseEditDialog");
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("nameEdit")->setText("Travel Vault");
        dialog->findChild<QLineEdit*>("passwordEdit")->setText(master);
        dialog->findChild<QLineEdit*>("repeatPasswordEdit")->setText(master);
        dialog->findChild<QSpinBox*>("kdfRoundsSpinBox")->setValue(1);
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    action(window, "&New Database...")->trigger();
    QVERIFY(newDatabase.isDone());
    QTRY_VERIFY(window.isDatabaseView());
    QCOMPARE(treeNames(tree), QStringList({ "Internet", "Email" }));
    QVERIFY(window.isModified());

    // New Group.
    UiDriver newGroup([&]() {
        QDialog* dialog = visibleDialogOf("GroupEditDialog");
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("nameEdit")->setText("Flights");
        dialog->accept();
        return true;
    });
    action(window, "&New Group...")->trigger();
    QVERIFY(newGroup.isDone());
    QCOMPARE(treeNames(tree), QStringList({ "Internet", "Email", "Flights" }));
    QCOMPARE(tree->selectedGroup()->getName(), QString("Flights"));

    // New Password in the new group, its secret from the generator.
    QString generated;
    bool generatorClicked = false;
    UiDriver generator([&]() {
        QDialog* dialog = visibleDialogOf("BPasswordGeneratorDialog");
        if (dialog)
            dialog->accept();
        return dialog != nullptr;
    });
    UiDriver newPassword([&]() {
        QDialog* dialog = visibleDialogOf("PasswordEditDialog");
        if (!dialog || visibleDialogOf("BPasswordGeneratorDialog"))
            return false;
        if (!generatorClicked) {
            // The generator runs in a loop of its own; this step goes on
            // once it has closed.
            generatorClicked = true;
            QTimer::singleShot(0, dialog->findChild<QAbstractButton*>("generatePasswordButton"),
                               &QAbstractButton::click);
            return false;
        }
        generated = dialog->findChild<QLineEdit*>("passwordEdit")->text();
        if (generated.isEmpty())
            return false;
        dialog->findChild<QLineEdit*>("nameEdit")->setText("Airline");
        dialog->findChild<QLineEdit*>("usernameEdit")->setText("traveller");
        dialog->findChild<QLineEdit*>("URLEdit")->setText("https://airline.example");
        dialog->accept();
        return true;
    });
    action(window, "&New Password...")->trigger();
    QVERIFY(newPassword.isDone());
    QVERIFY(generator.isDone());
    QVERIFY(!generated.isEmpty());
    QVERIFY(window.currentPassword());
    QCOMPARE(window.currentPassword()->getName(), QString("Airline"));
    QCOMPARE(window.currentPassword()->getParent()->getName(), QString("Flights"));

    // Save As to the temporary folder; the suggestion comes from the name.
    QString suggested;
    UiDriver saveAs([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        suggested = QFileInfo(dialog->selectedFiles().value(0)).completeBaseName();
        chooseInFileDialog(dialog, path);
        return true;
    });
    action(window, "Save Database As...")->trigger();
    QVERIFY(saveAs.isDone());
    QCOMPARE(suggested, QString("travel_vault"));
    QVERIFY(QFile::exists(path));
    QVERIFY(!window.isModified());

    // Close: nothing is unsaved, so no question.
    action(window, "&Close Database")->trigger();
    QVERIFY(window.isNoDatabaseView());
    QCOMPARE(tree->topLevelItemCount(), 0);

    // Open it again from the recent-files list and unlock it.
    QAction* recent = nullptr;
    for (QAction* entry : window.recentFilesMenu()->actions()) {
        if (entry->text() == QFileInfo(path).fileName())
            recent = entry;
    }
    QVERIFY(recent);
    UiDriver unlock([&]() {
        QDialog* dialog = visibleDialogOf("DatabaseUnlockDialog");
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>("passwordLineEdit")->setText(master);
        dialog->accept();
        return true;
    });
    recent->trigger();
    QVERIFY(unlock.isDone());
    QTRY_VERIFY(window.isDatabaseView());
    QCOMPARE(treeNames(tree), QStringList({ "Internet", "Email", "Flights" }));
    QCOMPARE(window.currentGroup()->getName(), QString("Flights"));
    QCOMPARE(tree->selectedGroup(), window.currentGroup());
    QVERIFY(window.currentPassword());
    QCOMPARE(window.currentPassword()->getName(), QString("Airline"));
    QCOMPARE(window.currentPassword()->getPassword(), generated);
    QVERIFY(!window.isModified());

    // The command-line client reads the same entries.
    QProcess client;
    client.start(qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli",
                 { "export", path, "--password-stdin" });
    QVERIFY(client.waitForStarted());
    client.write((master + "\n").toUtf8());
    client.closeWriteChannel();
    QVERIFY(client.waitForFinished(60000));
    QCOMPARE(client.exitCode(), 0);
    const QJsonObject exported = QJsonDocument::fromJson(client.readAllStandardOutput()).object();
    QStringList groups;
    for (const QJsonValue& group : exported.value("groups").toArray())
        groups << group.toObject().value("name").toString();
    QCOMPARE(groups, QStringList({ "Internet", "Email", "Flights" }));
    const QJsonArray flights = exported.value("groups").toArray().at(2).toObject().value("items").toArray();
    QCOMPARE(flights.size(), 1);
    QCOMPARE(flights.at(0).toObject().value("name").toString(), QString("Airline"));
    QCOMPARE(flights.at(0).toObject().value("username").toString(), QString("traveller"));
    QCOMPARE(flights.at(0).toObject().value("password").toString(), generated);
}

QTEST_MAIN(tst_WorkspaceEndToEnd)
#include "tst_workspaceendtoend.moc"
