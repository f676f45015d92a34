// The settings dialog: controls filled from the store, the spin boxes
// enabled with their check boxes, OK storing the controls and every other
// way of leaving keeping the store as it was.
#include "app/gui/SettingsDialog.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void controlsShowTheStore();
    void okStores();
    void cancelAndCloseKeepTheStore_data();
    void cancelAndCloseKeepTheStore();
    void periodsAreAtLeastOneSecond();

private:
    template <class T>
    static T* child(QWidget* dialog, const char* name)
    {
        T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("missing %s", name);
        return widget;
    }
};

void tst_SettingsDialog::initTestCase()
{
    applyApplicationIdentity();
}

void tst_SettingsDialog::init()
{
    setBoolSetting("app.settings.showInSystemTray", false);
    setBoolSetting("app.settings.showInSystemTrayOnly", true);
    setBoolSetting("app.settings.minimiseOnClose", false);
    setBoolSetting("app.settings.backupModifiedPasswords", true);
    setBoolSetting("app.settings.backupDeletedPasswords", false);
    setBoolSetting("app.settings.askBeforeDelete", true);
    setBoolSetting("app.settings.securityAudit", true);
    setBoolSetting("app.settings.warnWeakPasswords", false);
    setBoolSetting("app.settings.warnReusedPasswords", true);
    setBoolSetting("app.settings.lockWorkspaceTimeout", false);
    setIntSetting("app.settings.lockWorkspaceTimeoutSeconds", 600);
    setBoolSetting("app.settings.lockWorkspaceOnMinimise", true);
    setBoolSetting("app.settings.clearClipboardTimeout", true);
    setIntSetting("app.settings.clearClipboardTimeoutSeconds", 45);
    setAnalyticsEnabled(false);
    setBoolSetting("app.settings.checkBreachesOnline", false);
    setStringSetting("app.settings.breachServiceUrl", "");
}

void tst_SettingsDialog::controlsShowTheStore()
{
    SettingsDialog dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QString("Lockharbour Settings"));
    QCOMPARE(child<QTabWidget>(&dialog, "tabWidget")->currentIndex(), 0);
    QVERIFY(!child<QGroupBox>(&dialog, "showInSystemTrayGroupBox")->isChecked());
    // Kept, though disabled with its group.
    auto* toTray = child<QCheckBox>(&dialog, "minimiseToTrayCheckBox");
    QVERIFY(toTray->isChecked());
    QVERIFY(!toTray->isEnabled());
    QVERIFY(!child<QCheckBox>(&dialog, "backupDeletedPasswordsCheckBox")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "backupModifiedPasswordsCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "warnWeakPasswordsCheckBox")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "sendUsageStatisticsCheckBox")->isChecked());
    QVERIFY(child<QCheckBox>(&dialog, "lockOnMinimiseCheckBox")->isChecked());
    QCOMPARE(child<QSpinBox>(&dialog, "clearClipboardSpinBox")->value(), 45);
    QCOMPARE(child<QSpinBox>(&dialog, "lockTimeoutSpinBox")->value(), 600);
    // The online breach check is off, at the service's own address, until changed.
    QVERIFY(!child<QCheckBox>(&dialog, "checkBreachesOnlineCheckBox")->isChecked());
    QCOMPARE(child<QLineEdit>(&dialog, "breachServiceUrlLineEdit")->text(), QString("https://api.pwnedpasswords.com"));

    // Each spin box is usable exactly while its check box is ticked.
    auto* lockWidget = child<QWidget>(&dialog, "lockTimeoutWidget");
    auto* clearWidget = child<QWidget>(&dialog, "clearClipboardWidget");
    QVERIFY(!lockWidget->isEnabled());
    QVERIFY(clearWidget->isEnabled());
    child<QCheckBox>(&dialog, "lockTimeoutCheckBox")->setChecked(true);
    child<QCheckBox>(&dialog, "clearClipboardCheckBox")->setChecked(false);
    QVERIFY(lockWidget->isEnabled());
    QVERIFY(!clearWidget->isEnabled());
}

namespace {

// Changes a control of each kind away from what init() stored.
void changeEveryKind(QWidget* dialog)
{
    dialog->findChild<QGroupBox*>("showInSystemTrayGroupBox")->setChecked(true);
    dialog->findChild<QCheckBox*>("backupDeletedPasswordsCheckBox")->setChecked(true);
    dialog->findChild<QCheckBox*>("askBeforeDeleteCheckBox")->setChecked(false);
    dialog->findChild<QCheckBox*>("sendUsageStatisticsCheckBox")->setChecked(true);
    dialog->findChild<QGroupBox*>("securityAuditGroupBox")->setChecked(false);
    dialog->findChild<QCheckBox*>("lockTimeoutCheckBox")->setChecked(true);
    dialog->findChild<QSpinBox*>("lockTimeoutSpinBox")->setValue(90);
    dialog->findChild<QCheckBox*>("clearClipboardCheckBox")->setChecked(false);
    dialog->findChild<QSpinBox*>("clearClipboardSpinBox")->setValue(12);
    dialog->findChild<QCheckBox*>("checkBreachesOnlineCheckBox")->setChecked(true);
    dialog->findChild<QLineEdit*>("breachServiceUrlLineEdit")->setText("http://127.0.0.1:9");
}

} // namespace

void tst_SettingsDialog::okStores()
{
    SettingsDialog dialog(nullptr);
    dialog.show();
    changeEveryKind(&dialog);
    dialog.accept();
    QVERIFY(!dialog.isVisible());

    QVERIFY(boolSetting("app.settings.showInSystemTray", false));
    QVERIFY(boolSetting("app.settings.showInSystemTrayOnly", false));
    QVERIFY(boolSetting("app.settings.backupDeletedPasswords", false));
    QVERIFY(!boolSetting("app.settings.askBeforeDelete", true));
    QVERIFY(analyticsEnabled());
    QVERIFY(!boolSetting("app.settings.securityAudit", true));
    QVERIFY(boolSetting("app.settings.lockWorkspaceTimeout", false));
    QCOMPARE(intSetting("app.settings.lockWorkspaceTimeoutSeconds", 0), 90);
    QVERIFY(!boolSetting("app.settings.clearClipboardTimeout", true));
    QCOMPARE(intSetting("app.settings.clearClipboardTimeoutSeconds", 0), 12);
    QVERIFY(!boolSetting("app.settings.warnWeakPasswords", true));
    QVERIFY(boolSetting("app.settings.lockWorkspaceOnMinimise", false));
    QVERIFY(boolSetting("app.settings.checkBreachesOnline", false));
    QCOMPARE(stringSetting("app.settings.breachServiceUrl", ""), QString("http://127.0.0.1:9"));
}

void tst_SettingsDialog::cancelAndCloseKeepTheStore_data()
{
    QTest::addColumn<bool>("closeButton");
    QTest::newRow("Cancel") << false;
    QTest::newRow("close button") << true;
}

void tst_SettingsDialog::cancelAndCloseKeepTheStore()
{
    QFETCH(bool, closeButton);
    SettingsDialog dialog(nullptr);
    dialog.show();
    changeEveryKind(&dialog);
    if (closeButton)
        dialog.close();
    else
        dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
    QVERIFY(!dialog.isVisible());

    QVERIFY(!boolSetting("app.settings.showInSystemTray", true));
    QVERIFY(!boolSetting("app.settings.backupDeletedPasswords", true));
    QVERIFY(boolSetting("app.settings.askBeforeDelete", false));
    QVERIFY(!analyticsEnabled());
    QVERIFY(boolSetting("app.settings.securityAudit", false));
    QVERIFY(!boolSetting("app.settings.lockWorkspaceTimeout", true));
    QCOMPARE(intSetting("app.settings.lockWorkspaceTimeoutSeconds", 0), 600);
    QVERIFY(boolSetting("app.settings.clearClipboardTimeout", false));
    QCOMPARE(intSetting("app.settings.clearClipboardTimeoutSeconds", 0), 45);
}

void tst_SettingsDialog::periodsAreAtLeastOneSecond()
{
    // Zero from an older program or a hand-edited store reads as one
    // second, and the boxes go no lower.
    setIntSetting("app.settings.lockWorkspaceTimeoutSeconds", 0);
    setIntSetting("app.settings.clearClipboardTimeoutSeconds", 0);
    SettingsDialog dialog(nullptr);
    dialog.show();
    child<QSpinBox>(&dialog, "lockTimeoutSpinBox")->setValue(0);
    child<QSpinBox>(&dialog, "clearClipboardSpinBox")->setValue(0);
    dialog.accept();
    QCOMPARE(intSetting("app.settings.lockWorkspaceTimeoutSeconds", -1), 1);
    QCOMPARE(intSetting("app.settings.clearClipboardTimeoutSeconds", -1), 1);
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
