#include "app/gui/SettingsDialog.h"

#include "ui_SettingsDialog.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "app/database/BreachedPasswordRangeTask.h"
#include "app/gui/AutoTypeController.h"
#include "app/gui/AutoTypeSequence.h"
#include "app/gui/GlobalHotkey.h"
#include "blib/net/BAnalytics.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QPushButton>
#include <QSpinBox>
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

    // Locking with the desktop: its screen lock and the computer's sleep.
    m_lockOnScreenLockCheckBox = new QCheckBox(tr("Lock when the screen locks"), ui->groupBox_2);
    m_lockOnScreenLockCheckBox->setObjectName(QStringLiteral("lockOnScreenLockCheckBox"));
    m_lockOnScreenLockCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), true));
    m_lockBeforeSleepCheckBox = new QCheckBox(tr("Lock before the computer sleeps"), ui->groupBox_2);
    m_lockBeforeSleepCheckBox->setObjectName(QStringLiteral("lockBeforeSleepCheckBox"));
    m_lockBeforeSleepCheckBox->setChecked(boolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), true));
    if (auto* lockLayout = qobject_cast<QGridLayout*>(ui->groupBox_2->layout())) {
        const int row = lockLayout->rowCount();
        lockLayout->addWidget(m_lockOnScreenLockCheckBox, row, 0, 1, 2);
        lockLayout->addWidget(m_lockBeforeSleepCheckBox, row + 1, 0, 1, 2);
    }

    createAutoTypeTab();

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

void SettingsDialog::createAutoTypeTab()
{
    auto* tab = new QWidget(ui->tabWidget);
    tab->setObjectName(QStringLiteral("autoTypeTab"));
    auto* layout = new QVBoxLayout(tab);
    QString unavailable;
    if (!AutoTypeController::isAvailable(&unavailable)) {
        auto* notice = new QLabel(unavailable, tab);
        notice->setObjectName(QStringLiteral("autoTypeUnavailableLabel"));
        notice->setWordWrap(true);
        layout->addWidget(notice);
    }
    // The shortcut of the settings that another program held when it was
    // grabbed.
    const AutoTypeController* controller = parentWidget() ? parentWidget()->findChild<AutoTypeController*>() : nullptr;
    if (controller && !controller->shortcutError().isEmpty()) {
        auto* held = new QLabel(tr("%1 The shortcut does nothing until you choose another one.")
                                    .arg(controller->shortcutError()),
                                tab);
        held->setObjectName(QStringLiteral("autoTypeShortcutHeldLabel"));
        held->setWordWrap(true);
        layout->addWidget(held);
    }
    auto* form = new QFormLayout();
    auto* shortcutRow = new QHBoxLayout();
    m_autoTypeShortcutEdit = new QKeySequenceEdit(AutoTypeController::shortcutSetting(), tab);
    m_autoTypeShortcutEdit->setObjectName(QStringLiteral("autoTypeShortcutEdit"));
    // One key combination: the first of what was pressed.
    connect(m_autoTypeShortcutEdit, &QKeySequenceEdit::editingFinished, this, [this]() {
        const QKeySequence sequence = m_autoTypeShortcutEdit->keySequence();
        if (sequence.count() > 1)
            m_autoTypeShortcutEdit->setKeySequence(QKeySequence(sequence[0]));
    });
    auto* noShortcutButton = new QPushButton(tr("None"), tab);
    noShortcutButton->setObjectName(QStringLiteral("autoTypeNoShortcutButton"));
    connect(noShortcutButton, &QAbstractButton::clicked, m_autoTypeShortcutEdit, &QKeySequenceEdit::clear);
    shortcutRow->addWidget(m_autoTypeShortcutEdit, 1);
    shortcutRow->addWidget(noShortcutButton);
    form->addRow(tr("Global shortcut:"), shortcutRow);
    m_autoTypeKeyDelaySpinBox = new QSpinBox(tab);
    m_autoTypeKeyDelaySpinBox->setObjectName(QStringLiteral("autoTypeKeyDelaySpinBox"));
    m_autoTypeKeyDelaySpinBox->setRange(0, AutoTypeController::MaxKeyDelayMilliseconds);
    m_autoTypeKeyDelaySpinBox->setSuffix(tr(" ms"));
    m_autoTypeKeyDelaySpinBox->setValue(AutoTypeController::keyDelaySetting());
    form->addRow(tr("Pause between keys:"), m_autoTypeKeyDelaySpinBox);
    layout->addLayout(form);
    auto* help = new QLabel(tr("Pressed in another program's window, the shortcut types the entry whose name or "
                               "URL host is in the window's title, or whose note has a line "
                               "\"auto-type-window: PATTERN\" (with * and ?) matching it, and asks when several or "
                               "none do. Entries type %1 unless their note has a line \"auto-type: SEQUENCE\"; "
                               "the placeholders are {USERNAME}, {PASSWORD}, {URL}, {EMAIL}, {PHONE}, {TOTP}, "
                               "{TAB}, {ENTER}, {SPACE}, {DELAY N}, {{} and {}}.")
                                .arg(AutoTypeSequence::defaultSequence()),
                            tab);
    help->setObjectName(QStringLiteral("autoTypeHelpLabel"));
    help->setWordWrap(true);
    help->setTextFormat(Qt::PlainText);
    layout->addWidget(help);
    layout->addStretch(1);
    tab->setEnabled(unavailable.isEmpty());
    ui->tabWidget->insertTab(ui->tabWidget->indexOf(ui->securityTab) + 1, tab, tr("Auto-Type"));
}

bool SettingsDialog::checkAutoTypeShortcut()
{
    const QKeySequence chosen = m_autoTypeShortcutEdit->keySequence();
    if (chosen.isEmpty() || chosen == AutoTypeController::shortcutSetting() || !AutoTypeController::isAvailable())
        return true;
    // Held by this program under the old setting, which is let go once the
    // new one is stored: only another program's grab fails here.
    GlobalHotkey probe;
    QString error;
    if (probe.setShortcut(chosen, &error))
        return true;
    ui->tabWidget->setCurrentWidget(m_autoTypeShortcutEdit->parentWidget());
    showError(this, tr("Auto-Type Shortcut"), error);
    m_autoTypeShortcutEdit->setFocus();
    return false;
}

void SettingsDialog::accept()
{
    if (!checkAutoTypeShortcut())
        return;
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
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), m_lockOnScreenLockCheckBox->isChecked());
    setBoolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), m_lockBeforeSleepCheckBox->isChecked());
    setStringSetting(QStringLiteral("app.settings.autoTypeShortcut"),
                     m_autoTypeShortcutEdit->keySequence().toString(QKeySequence::PortableText));
    setIntSetting(QStringLiteral("app.settings.autoTypeKeyDelayMilliseconds"), m_autoTypeKeyDelaySpinBox->value());
}
