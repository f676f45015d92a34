#include "app/gui/SettingsDialog.h"

#include "ui_SettingsDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"


SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SettingsDialog)
{
    initResources();
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("%1 %2").arg(QString::fromLatin1(BAppInfo::applicationName), tr("Settings")));

    ui->showInSystemTrayGroupBox->setChecked(boolSetting(QStringLiteral("app.settings.showInSystemTray"), false));
    ui->minimiseToTrayCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.showInSystemTrayOnly"), false));
    ui->minimiseToTrayOnCloseCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.minimiseOnClose"), false));
    ui->backupModifiedPasswordsCheckBox->setChecked(
        boolSetting(QStringLiteral("app.settings.backupModifiedPasswords"), true));
    ui->backupDeletedPasswordsCheckBox->setChecked(
        boolSetting(QStringLiteral("app.settings.backupDeletedPasswords"), true));
    ui->askBeforeDeleteCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.askBeforeDelete"), true));
    ui->sendUsageStatisticsCheckBox->setChecked(analyticsEnabled());

    ui->securityAuditGroupBox->setChecked(boolSetting(QStringLiteral("app.settings.securityAudit"), true));
    ui->warnWeakPasswordsCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.warnWeakPasswords"), true));
    ui->warnReusedPasswordsCheckBox->setChecked(
        boolSetting(QStringLiteral("app.settings.warnReusedPasswords"), true));
    ui->lockTimeoutCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), false));
    ui->lockTimeoutSpinBox->setValue(lockTimeoutSeconds());
    ui->lockOnMinimiseCheckBox->setChecked(
        boolSetting(QStringLiteral("app.settings.lockWorkspaceOnMinimise"), false));
    ui->clearClipboardCheckBox->setChecked(clearClipboardEnabled());
    ui->clearClipboardSpinBox->setValue(clearClipboardSeconds());
    // The form connects the boxes for later changes; this covers the start.
    ui->lockTimeoutWidget->setEnabled(ui->lockTimeoutCheckBox->isChecked());
    ui->clearClipboardWidget->setEnabled(ui->clearClipboardCheckBox->isChecked());

    ui->tabWidget->setCurrentIndex(0);
    resize(741, 464);
    fixDialogHeight(this);
    centreOnParent(this);
}

SettingsDialog::~SettingsDialog()
{
    delete ui;
}

int SettingsDialog::lockTimeoutSeconds()
{
    return qMax(1, intSetting(QStringLiteral("app.settings.lockWorkspaceTimeoutSeconds"), 600));
}

bool SettingsDialog::clearClipboardEnabled()
{
    // On unless the user turned it off: a copied password must not stay on
    // the clipboard for good.
    return boolSetting(QStringLiteral("app.settings.clearClipboardTimeout"), true);
}

int SettingsDialog::clearClipboardSeconds()
{
    return qMax(1, intSetting(QStringLiteral("app.settings.clearClipboardTimeoutSeconds"), 30));
}

void SettingsDialog::accept()
{
    storeSettings();
    QDialog::accept();
}

void SettingsDialog::storeSettings()
{
    setBoolSetting(QStringLiteral("app.settings.showInSystemTray"), ui->showInSystemTrayGroupBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.showInSystemTrayOnly"), ui->minimiseToTrayCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.minimiseOnClose"), ui->minimiseToTrayOnCloseCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.backupModifiedPasswords"),
                   ui->backupModifiedPasswordsCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.backupDeletedPasswords"),
                   ui->backupDeletedPasswordsCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.askBeforeDelete"), ui->askBeforeDeleteCheckBox->isChecked());
    setAnalyticsEnabled(ui->sendUsageStatisticsCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.securityAudit"), ui->securityAuditGroupBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.warnWeakPasswords"), ui->warnWeakPasswordsCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.warnReusedPasswords"), ui->warnReusedPasswordsCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), ui->lockTimeoutCheckBox->isChecked());
    setIntSetting(QStringLiteral("app.settings.lockWorkspaceTimeoutSeconds"), ui->lockTimeoutSpinBox->value());
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceOnMinimise"), ui->lockOnMinimiseCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.clearClipboardTimeout"), ui->clearClipboardCheckBox->isChecked());
    setIntSetting(QStringLiteral("app.settings.clearClipboardTimeoutSeconds"), ui->clearClipboardSpinBox->value());
}
