// The settings dialog: controls filled from the store, the spin boxes
// enabled with their check boxes, and every way of leaving it storing the
// controls exactly once.
#include "app/gui/SettingsDialog.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"

#include <QCheckBox>
#include <QGroupBox>
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
    void leavingStoresOnce_data();
    void leavingStoresOnce();

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

void tst_SettingsDialog::leavingStoresOnce_data()
{
    QTest::addColumn<int>("way");
    QTest::newRow("OK") << 0;
    QTest::newRow("Cancel") << 1;
    QTest::newRow("close button") << 2;
}

void tst_SettingsDialog::leavingStoresOnce()
{
    QFETCH(int, way);
    SettingsDialog dialog(nullptr);
    dialog.show();
    child<QGroupBox>(&dialog, "showInSystemTrayGroupBox")->setChecked(true);
    child<QCheckBox>(&dialog, "backupDeletedPasswordsCheckBox")->setChecked(true);
    child<QCheckBox>(&dialog, "askBeforeDeleteCheckBox")->setChecked(false);
    child<QCheckBox>(&dialog, "sendUsageStatisticsCheckBox")->setChecked(true);
    child<QGroupBox>(&dialog, "securityAuditGroupBox")->setChecked(false);
    child<QCheckBox>(&dialog, "lockTimeoutCheckBox")->setChecked(true);
    child<QSpinBox>(&dialog, "lockTimeoutSpinBox")->setValue(90);
    child<QCheckBox>(&dialog, "clearClipboardCheckBox")->setChecked(false);
    child<QSpinBox>(&dialog, "clearClipboardSpinBox")->setValue(12);
    if (way == 0)
        dialog.accept();
    else if (way == 1)
        dialog.reject();
    else
        dialog.close();
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

    // Once: a later change in the store is not overwritten when the dialog
    // is closed again.
    setBoolSetting("app.settings.askBeforeDelete", true);
    dialog.show();
    dialog.reject();
    QVERIFY(boolSetting("app.settings.askBeforeDelete", false));
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
