#include "app/gui/SettingsDialog.h"

#include "ui_SettingsDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "app/database/BreachedPasswordRangeTask.h"
#include "blib/net/BAnalytics.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>


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

    // The online breach check of the database report: off until allowed.
    auto* breaches = new QGroupBox(tr("Breached passwords"), ui->securityTab);
    breaches->setObjectName(QStringLiteral("breachCheckGroupBox"));
    auto* breachLayout = new QFormLayout(breaches);
    m_checkBreachesOnlineCheckBox = new QCheckBox(tr("Allow the database report to check passwords online"), breaches);
    m_checkBreachesOnlineCheckBox->setObjectName(QStringLiteral("checkBreachesOnlineCheckBox"));
    m_checkBreachesOnlineCheckBox->setChecked(BreachedPasswordRangeTask::onlineCheckEnabled());
    breachLayout->addRow(m_checkBreachesOnlineCheckBox);
    auto* explanation = new QLabel(tr("Only the first 5 characters of the SHA-1 hash of each password are sent; "
                                      "the passwords and the rest of their hashes never leave this computer."),
                                   breaches);
    explanation->setWordWrap(true);
    breachLayout->addRow(explanation);
    m_breachServiceUrlLineEdit = new QLineEdit(BreachedPasswordRangeTask::serviceBaseUrl(), breaches);
    m_breachServiceUrlLineEdit->setObjectName(QStringLiteral("breachServiceUrlLineEdit"));
    breachLayout->addRow(tr("Service address:"), m_breachServiceUrlLineEdit);
    if (auto* securityLayout = qobject_cast<QVBoxLayout*>(ui->securityTab->layout()))
        securityLayout->insertWidget(1, breaches);

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
    setBoolSetting(QStringLiteral("app.settings.checkBreachesOnline"), m_checkBreachesOnlineCheckBox->isChecked());
    setStringSetting(QStringLiteral("app.settings.breachServiceUrl"), m_breachServiceUrlLineEdit->text().trimmed());
}
