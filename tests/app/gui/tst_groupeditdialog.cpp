// The group editor: icon guessing in new mode, the window title, the
// empty-name check and what the working copy holds after OK.
#include "app/database/PasswordDatabase.h"
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/EntryIconPickerWidget.h"
#include "app/gui/GroupEditDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "support/UiDriver.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

QLineEdit* nameEditOf(QDialog* dialog)
{
    return dialog->findChild<QLineEdit*>("nameEdit");
}

QString pickedId(QDialog* dialog)
{
    return dialog->findChild<EntryIconPickerWidget*>("iconPickerWidget")->currentIconId();
}

// Clicks OK from a timer of its own: OK may open a message box or the task
// dialog, whose local loops the driver must stay free to work in.
void clickOk(QDialog* dialog)
{
    QAbstractButton* ok = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok);
    QTimer::singleShot(0, ok, &QAbstractButton::click);
}

} // namespace

class tst_GroupEditDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newGroupGuessesIconWhileTyping();
    void emptyNameIsRefused();
    void editModeKeepsIconOnRename();
    void editModeUnknownIconStoresFirstIcon();

private:
    EntryIconPackBuiltIn m_pack;
};

void tst_GroupEditDialog::initTestCase()
{
    EntryIconPack::addPack(&m_pack);
}

void tst_GroupEditDialog::newGroupGuessesIconWhileTyping()
{
    QWidget window;
    window.show();
    GroupEditDialog dialog(&window, true);
    dialog.loadGroup(PasswordDatabase::Group());
    QCOMPARE(dialog.windowTitle(), QString("New Group"));
    QCOMPARE(pickedId(&dialog), QString("tessavond.web"));

    QLineEdit* name = nameEditOf(&dialog);
    QTest::keyClicks(name, "Amazon Prime");
    QCOMPARE(pickedId(&dialog), QString("tessavond.amazon"));
    QCOMPARE(dialog.windowTitle(), QString("Amazon Prime"));

    // Words of three letters or fewer fall back to the web icon.
    name->selectAll();
    QTest::keyClicks(name, "My ATM");
    QCOMPARE(pickedId(&dialog), QString("tessavond.web"));

    name->clear();
    QCOMPARE(dialog.windowTitle(), QString("New Group"));

    // A choice by hand is kept as long as the name does not change.
    QTest::keyClicks(name, "Paypal");
    QCOMPARE(pickedId(&dialog), QString("tessavond.paypal"));
    dialog.findChild<EntryIconPickerWidget*>("iconPickerWidget")->setCurrentIconId("tessavond.money");

    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.group().getName(), QString("Paypal"));
    QCOMPARE(dialog.group().getIconId(), QString("tessavond.money"));
}

void tst_GroupEditDialog::emptyNameIsRefused()
{
    QWidget window;
    window.show();
    GroupEditDialog dialog(&window, true);
    dialog.loadGroup(PasswordDatabase::Group());

    int stage = 0;
    QString boxTitle, boxText;
    bool stayedOpen = false;
    bool nameFocused = false;
    UiDriver driver([&]() {
        if (!dialog.isVisible())
            return false;
        switch (stage) {
        case 0:
            clickOk(&dialog); // opens the error box in a loop of its own
            stage = 1;
            return false;
        case 1: {
            auto* box = visibleTopLevel<QMessageBox>();
            if (!box)
                return false;
            boxTitle = box->windowTitle();
            boxText = box->text();
            QTimer::singleShot(0, box->button(QMessageBox::Ok), &QAbstractButton::click);
            stage = 2;
            return false;
        }
        default:
            if (visibleTopLevel<QMessageBox>())
                return false;
            stayedOpen = dialog.isVisible();
            nameFocused = dialog.focusWidget() == nameEditOf(&dialog);
            QTest::keyClicks(nameEditOf(&dialog), "Work Mail");
            clickOk(&dialog);
            return true;
        }
    });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QVERIFY(driver.isDone());
    QCOMPARE(boxTitle, QString("Name Required"));
    QCOMPARE(boxText, QString("The group must have a name."));
    QVERIFY(stayedOpen);
    QVERIFY(nameFocused);
    QCOMPARE(dialog.group().getName(), QString("Work Mail"));
    QCOMPARE(dialog.group().getIconId(), QString("tessavond.mail"));
}

void tst_GroupEditDialog::editModeKeepsIconOnRename()
{
    PasswordDatabase::Group group;
    group.setName("Banking");
    group.setNote("branch 12");
    group.setIconId("tessavond.key");
    auto* password = new PasswordDatabase::Password;
    password->setName("Current account");
    password->setPassword("s3cret");
    group.addItem(password);

    QWidget window;
    window.show();
    GroupEditDialog dialog(&window, false);
    dialog.loadGroup(group);
    QCOMPARE(dialog.windowTitle(), QString("Banking"));
    QCOMPARE(pickedId(&dialog), QString("tessavond.key"));

    QLineEdit* name = nameEditOf(&dialog);
    QCOMPARE(name->text(), QString("Banking"));
    name->clear();
    QCOMPARE(dialog.windowTitle(), QString("Unnamed Group"));
    QTest::keyClicks(name, "Amazon Wallet");
    QCOMPARE(dialog.windowTitle(), QString("Amazon Wallet"));
    QCOMPARE(pickedId(&dialog), QString("tessavond.key"));

    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.group().getName(), QString("Amazon Wallet"));
    QCOMPARE(dialog.group().getIconId(), QString("tessavond.key"));
    // The working copy is a copy: the loaded group is untouched.
    QCOMPARE(group.getName(), QString("Banking"));
    QCOMPARE(group.getItems().size(), 1);
    QCOMPARE(group.getItems().first(), password);
    QCOMPARE(dialog.group().getNote(), QString("branch 12"));
}

void tst_GroupEditDialog::editModeUnknownIconStoresFirstIcon()
{
    PasswordDatabase::Group group;
    group.setName("Imported");
    group.setIconId("uninstalled-plugin.ship");

    QWidget window;
    window.show();
    GroupEditDialog dialog(&window, false);
    dialog.loadGroup(group);
    QCOMPARE(dialog.findChild<QComboBox*>("comboBox")->currentIndex(), 0);
    dialog.accept();
    QCOMPARE(dialog.group().getIconId(), QString("tessavond.web"));
}

QTEST_MAIN(tst_GroupEditDialog)
#include "tst_groupeditdialog.moc"
