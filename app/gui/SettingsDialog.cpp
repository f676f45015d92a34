#include "app/gui/SettingsDialog.h"

#include "ui_SettingsDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/net/BAnalytics.h"

#include <QCloseEvent>

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
    ui->lockTimeoutSpinBox->setValue(intSetting(QStringLiteral("app.settings.lockWorkspaceTimeoutSeconds"), 600));
    ui->lockOnMinimiseCheckBox->setChecked(
        boolSetting(QStringLiteral("app.settings.lockWorkspaceOnMinimise"), false));
    ui->clearClipboardCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.clearClipboardTimeout"), false));
    ui->clearClipboardSpinBox->setValue(intSetting(QStringLiteral("app.settings.clearClipboardTimeoutSeconds"), 30));
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

void SettingsDialog::accept()
{
    storeSettings();
    QDialog::accept();
}

void SettingsDialog::reject()
{
    storeSettings();
    QDialog::reject();
}

void SettingsDialog::closeEvent(QCloseEvent* event)
{
    storeSettings();
    QDialog::closeEvent(event);
}

void SettingsDialog::storeSettings()
{
    if (m_stored)
        return;
    m_stored = true;
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
