#include "app/gui/MainWindow.h"

#include "ui_MainWindow.h"

#include "app/database/OtpAuthLink.h"
#include "app/database/PasswordBackup.h"
#include "app/database/PasswordDatabaseMerge.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "app/gui/DatabaseEditDialog.h"
#include "app/gui/DatabaseFileWatch.h"
#include "app/gui/DatabaseUnlockDialog.h"
#include "app/gui/DesktopLockWatcher.h"
#include "app/gui/EntryIcon.h"
#include "app/gui/DatabaseReportDialog.h"
#include "app/gui/ExpiredPasswordsDialog.h"
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/GroupEditDialog.h"
#include "app/gui/GuiScriptUserInterface.h"
#include "app/gui/GroupTreeWidget.h"
#include "app/gui/PasswordEditDialog.h"
#include "app/gui/PasswordTableWidget.h"
#include "app/gui/PasswordSearchResults.h"
#include "app/gui/AutoTypeChooserDialog.h"
#include "app/gui/AutoTypeController.h"
#include "app/gui/AutoTypeMatcher.h"
#include "app/gui/ClipboardGuard.h"
#include "app/gui/WorkspaceShortcuts.h"
#include "app/gui/SecretText.h"
#include "app/gui/FindWidget.h"
#include "app/plugin/EntryIconPackPlugin.h"
#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "app/plugin/SecurityAuditTask.h"
#include "app/gui/SettingsDialog.h"
#include "app/gui/TotpQrDialog.h"
#include "app/gui/TotpSetupDialog.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"
#include "blib/task/BTaskDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BFileAccess.h"
#include "blib/app/BFileLock.h"
#include "blib/app/BInactivityTimer.h"
#include "blib/app/BMainWindowForm.h"
#include "blib/app/BSettings.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/password/BPasswordGeneratorDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QLabel>
#include <QRandomGenerator>
#include <QTextEdit>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>

#include <limits>

namespace {

// Rows of the info table whose value a double click copies.
constexpr int InfoUsernameRow = 1;
constexpr int InfoPasswordRow = 4;


// Resource ids of the action icons.
constexpr int newDatabaseIcon = 200;   // icon_091
constexpr int openDatabaseIcon = 201;  // icon_106
constexpr int saveDatabaseIcon = 202;  // icon_291
constexpr int lockWorkspaceIcon = 203; // icon_217
constexpr int deleteIcon = 205;        // icon_228
constexpr int openUrlIcon = 210;       // icon_270
constexpr int findPasswordIcon = 222;  // icon_183
constexpr int newPasswordIcon = 233;   // icon_311
constexpr int deletePasswordIcon = 234; // icon_312
constexpr int openPasswordIcon = 235;  // icon_313
constexpr int newGroupIcon = 236;      // icon_314
constexpr int newSubGroupIcon = 237;   // icon_315
constexpr int deleteGroupIcon = 238;   // icon_316

} // namespace

MainWindow::MainWindow(QApplication* application, QWidget* parent)
    : BMainWindow(application, parent, new BMainWindowFormOf<Ui::MainWindow>())
    , ui(static_cast<BMainWindowFormOf<Ui::MainWindow>*>(form()))
    , m_inactivityTimer(new BInactivityTimer(this))
    , m_clipboard(new ClipboardGuard(this))
    , m_autoType(new AutoTypeController(this))
    , m_desktopLock(new DesktopLockWatcher(this))
    , m_totpTimer(new QTimer(this))
    , m_fileWatch(new DatabaseFileWatch(this))
{
    connect(m_fileWatch, &DatabaseFileWatch::fileChanged, this, [this](const QString& path) {
        if (!m_fileChangedLabel)
            return;
        m_fileChangedLabel->setText(tr("The file \"%1\" was changed by another program. Saving will ask "
                                       "before overwriting those changes.")
                                        .arg(QFileInfo(path).fileName()));
        m_fileChangedLabel->show();
    });
    connect(m_clipboard, &ClipboardGuard::timedOut, this, &MainWindow::clearClipboard);
    connect(m_autoType, &AutoTypeController::hotkeyPressed, this, &MainWindow::autoTypeHotkeyPressed);
    connect(m_desktopLock, &DesktopLockWatcher::screenLocked, this, [this]() {
        if (boolSetting(QStringLiteral("app.settings.lockWorkspaceOnScreenLock"), true))
            lockWorkspace();
    });
    connect(m_desktopLock, &DesktopLockWatcher::aboutToSleep, this, [this]() {
        if (boolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), true))
            lockWorkspace();
    });
    m_totpTimer->setSingleShot(true);
    connect(m_totpTimer, &QTimer::timeout, this, &MainWindow::updateTotpRow);
    if (application)
        application->installEventFilter(m_inactivityTimer);
    // A stopped timer keeps its period and starts again on the next input,
    // so it also fires after the auto-lock was switched off.
    connect(m_inactivityTimer, &BInactivityTimer::inactive, this, [this]() {
        if (boolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), false))
            lockWorkspace();
    });
}

MainWindow::~MainWindow()
{
    if (application())
        application()->removeEventFilter(m_inactivityTimer);
    unregisterPluginFactories();
}

// ---------------------------------------------------------------- framework hooks

void MainWindow::registerPluginFactories()
{
    // The built-in pack comes first in the icon-pack list, before any pack
    // a plugin creates once the plugins are loaded.
    EntryIconPackPlugin::registerPluginFactory();
    if (!m_builtInIconPack) {
        m_builtInIconPack = std::make_unique<EntryIconPackBuiltIn>();
        EntryIconPack::addPack(m_builtInIconPack.get());
    }
    if (!m_loaderFactoryRegistered)
        m_loaderFactoryRegistered = PasswordDatabaseLoaderPlugin::Factory::install();
}

void MainWindow::unregisterPluginFactories()
{
    // The plugins are unloaded by now; the built-in pack stays until the
    // window goes.
    EntryIconPackPlugin::unregisterPluginFactory();
    if (m_loaderFactoryRegistered) {
        PasswordDatabaseLoaderPlugin::Factory::uninstall();
        m_loaderFactoryRegistered = false;
    }
}

void MainWindow::createActions()
{
    m_newDatabaseAction = createAction(tr("&New Database..."), tr("Create new password database"),
                                       SLOT(newDatabase()), newDatabaseIcon, QKeySequence::New);
    m_openDatabaseAction = createAction(tr("&Open Database..."), tr("Open an existing password database"),
                                        SLOT(openDatabase()), openDatabaseIcon, QKeySequence::Open);
    m_closeDatabaseAction = createAction(tr("&Close Database"), tr("Close the password database"),
                                         SLOT(closeDatabase()));
    m_saveDatabaseAction = createAction(tr("&Save Database"), tr("Save the password database to file"),
                                        SLOT(saveDatabase()), saveDatabaseIcon, QKeySequence::Save);
    m_saveDatabaseAsAction = createAction(tr("Save Database As..."), tr("Save the password database to file"),
                                          SLOT(saveDatabaseAs()), 0,
                                          WorkspaceShortcuts::standardOr(QKeySequence::SaveAs,
                                                                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
    m_databaseSettingsAction = createAction(tr("Database Se&ttings..."),
                                            tr("Change the password database settings"),
                                            SLOT(databaseSettings()));
    m_mergeDatabaseAction = createAction(tr("Merge From Database..."),
                                         tr("Merge another copy of a password database into this one"),
                                         SLOT(mergeFromDatabase()));
    m_lockWorkspaceAction = createAction(tr("&Lock Workspace"), tr("Lock the workspace"),
                                         SLOT(lockWorkspace()), lockWorkspaceIcon,
                                         QKeySequence(Qt::CTRL | Qt::Key_L));
    m_newGroupAction = createAction(tr("&New Group..."), tr("Add a new group"), SLOT(newGroup()), newGroupIcon);
    m_newSubGroupAction = createAction(tr("New &Subgroup..."), tr("Add a new sub-group to the selected group"),
                                       SLOT(newSubGroup()), newSubGroupIcon);
    m_deleteGroupAction = createAction(tr("&Delete Group"), tr("Delete the selected group"),
                                       SLOT(deleteSelectedGroup()), deleteGroupIcon);
    m_editGroupAction = createAction(tr("&Edit Group..."), tr("Edit the selected group"), SLOT(editGroup()));
    m_newPasswordAction = createAction(tr("&New Password..."), tr("Add a new password"),
                                       SLOT(newPassword()), newPasswordIcon,
                                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_deletePasswordAction = createAction(tr("&Delete Password"), tr("Delete the selected password"),
                                          SLOT(deleteSelectedPassword()), deletePasswordIcon);
    m_openPasswordAction = createAction(tr("&Open Password..."), tr("Open the selected password"),
                                        SLOT(openPassword()), openPasswordIcon, QKeySequence(Qt::CTRL | Qt::Key_E));
    m_copyUsernameAction = createAction(tr("Copy &Username..."), tr("Copy the username to the clipboard"),
                                        SLOT(copyUsername()), 0, QKeySequence(Qt::CTRL | Qt::Key_B));
    m_copyPasswordAction = createAction(tr("Copy &Password..."), tr("Copy the password to the clipboard"),
                                        SLOT(copyPassword()), 0, QKeySequence::Copy);
    m_openUrlAction = createAction(tr("Open U&RL..."), tr("Open the URL"), SLOT(openPasswordURL()), openUrlIcon,
                                   QKeySequence(Qt::CTRL | Qt::Key_U));
    m_copyUrlAction = createAction(tr("Copy UR&L"), tr("Copy the URL to the clipboard"), SLOT(copyUrl()), 0,
                                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    m_copyTotpAction = createAction(tr("Copy TOTP"), tr("Copy the current one-time code to the clipboard"),
                                    SLOT(copyTotp()), 0, QKeySequence(Qt::CTRL | Qt::Key_T));
    m_setUpTotpAction = createAction(tr("Set Up TOTP..."), tr("Set up one-time codes from an otpauth link or a secret"),
                                     SLOT(setUpTotp()));
    m_showTotpQrAction = createAction(tr("Show TOTP QR Code..."),
                                      tr("Show the one-time code link as a QR code for a phone"),
                                      SLOT(showTotpQrCode()));
    m_performAutoTypeAction = createAction(tr("Perform Auto-&Type"),
                                           tr("Type the user name and password into the window used before this one"),
                                           SLOT(performAutoType()), 0, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    m_findPasswordAction = createAction(tr("&Find Password..."), tr("Search for a password"),
                                        SLOT(findPassword()), findPasswordIcon, QKeySequence::Find);
    m_generatePasswordAction = createAction(tr("&Generate Password..."), tr("Generate a password"),
                                            SLOT(generatePassword()));
    m_deleteAction = createAction(tr("&Delete"), tr("Delete selected group or password"),
                                  SLOT(deleteGroupOrPassword()), deleteIcon, QKeySequence::Delete);

    m_databaseReportAction = createAction(tr("Database Report..."), tr("Show the health of the database's passwords"),
                                          SLOT(showDatabaseReport()));

    connect(this, &BMainWindow::openRecentFile, this, qOverload<const QString&>(&MainWindow::openDatabase));
    GroupTreeWidget* tree = ui->groupTreeWidget;
    connect(tree, &QTreeWidget::itemSelectionChanged, this, &MainWindow::groupSelectionChanged);
    connect(tree, &QTreeWidget::itemActivated, this, &MainWindow::groupActivated);
    connect(tree, &QWidget::customContextMenuRequested, this, &MainWindow::groupCustomContextMenuRequested);
    connect(tree, &QTreeWidget::itemExpanded, this, &MainWindow::groupExpanded);
    connect(tree, &QTreeWidget::itemCollapsed, this, &MainWindow::groupCollapsed);
    connect(tree, &GroupTreeWidget::itemDropped, this, &MainWindow::groupTreeWidgetItemDropped);
    PasswordTableWidget* table = ui->passwordTableWidget;
    connect(table, &QTableWidget::itemSelectionChanged, this, &MainWindow::passwordSelectionChanged);
    connect(table, &QTableWidget::itemActivated, this, &MainWindow::passwordActivated);
    connect(table, &QWidget::customContextMenuRequested, this, &MainWindow::passwordCustomContextMenuRequested);
    connect(table, &PasswordTableWidget::itemDropped, this, &MainWindow::passwordTableWidgetItemDropped);
    connect(ui->findWidget, &FindWidget::selectPassword, this, &MainWindow::findWidgetSelectPassword);
    connect(ui->findWidget, &FindWidget::searchChanged, this, &MainWindow::findWidgetSearchChanged);
    connect(ui->findWidget, &FindWidget::downPressed, this, &MainWindow::findWidgetDownPressed);
    connect(table, &PasswordTableWidget::usernameDoubleClicked, this, &MainWindow::copyUsername);
    // Ctrl+C copies the password only from the table; elsewhere it is the
    // focused field's own copy.
    m_copyPasswordAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    table->addAction(m_copyPasswordAction);

    QTableWidget* info = ui->infoTableWidget;
    info->setColumnCount(2);
    info->setHorizontalHeaderLabels({ tr("Item"), tr("Value") });
    info->setAlternatingRowColors(true);
    info->setShowGrid(false);
    info->setCornerButtonEnabled(false);
    info->setWordWrap(true);
    info->horizontalHeader()->setHighlightSections(false);
    info->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    info->verticalHeader()->hide();
    info->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    info->verticalHeader()->setDefaultSectionSize(20);
    info->setTabKeyNavigation(false);
    // The user name and password rows copy their value on a double click.
    connect(info, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row == InfoUsernameRow)
            copyUsername();
        else if (row == InfoPasswordRow)
            copyPassword();
    });
    QWidget::setTabOrder(tree, table);
    QWidget::setTabOrder(table, info);
    connect(ui->unlockDatabasePasswordLineEdit, &QLineEdit::returnPressed, this, &MainWindow::unlockWorkspace);
    connect(ui->unlockDatabaseButton, &QPushButton::clicked, this, &MainWindow::unlockWorkspace);
    connect(ui->closeDatabaseLabel, &QLabel::linkActivated, this, &MainWindow::closeDatabase);

    // Until the user moves them: a third of the width for the tree, three
    // fifths of the height for the password table.
    ui->verticalSplitter->setStretchFactor(0, 1);
    ui->verticalSplitter->setStretchFactor(1, 2);
    ui->horizontalSplitter->setStretchFactor(0, 3);
    ui->horizontalSplitter->setStretchFactor(1, 2);
    registerSplitter(ui->verticalSplitter, QStringLiteral("verticalSplitter"));
    registerSplitter(ui->horizontalSplitter, QStringLiteral("horizontalSplitter"));
}

bool MainWindow::populateWelcomeWidget()
{
    ui->welcomeWidget->addAction(m_newDatabaseAction);
    ui->welcomeWidget->addAction(m_openDatabaseAction);
    return true;
}

void MainWindow::createMenus()
{
    QMenuBar* bar = ui->menuBar;

    QMenu* fileMenu = bar->addMenu(tr("&File"));
    setFileMenu(fileMenu);
    fileMenu->addAction(m_newDatabaseAction);
    fileMenu->addAction(m_openDatabaseAction);
    addRecentFilesMenu();
    rebuildRecentFilesMenu();
    fileMenu->addSeparator();
    fileMenu->addAction(m_closeDatabaseAction);
    fileMenu->addSeparator();
    fileMenu->addAction(m_saveDatabaseAction);
    fileMenu->addAction(m_saveDatabaseAsAction);
    fileMenu->addAction(m_mergeDatabaseAction);
    fileMenu->addSeparator();
    fileMenu->addAction(m_databaseSettingsAction);
    fileMenu->addSeparator();
    fileMenu->addAction(m_lockWorkspaceAction);

    m_groupMenu = bar->addMenu(tr("&Group"));
    m_groupMenu->addAction(m_newGroupAction);
    m_groupMenu->addAction(m_newSubGroupAction);
    m_groupMenu->addAction(m_deleteGroupAction);
    m_groupMenu->addAction(m_editGroupAction);

    m_passwordMenu = bar->addMenu(tr("&Password"));
    m_passwordMenu->addAction(m_newPasswordAction);
    m_passwordMenu->addAction(m_deletePasswordAction);
    m_passwordMenu->addAction(m_openPasswordAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_copyUsernameAction);
    m_passwordMenu->addAction(m_copyPasswordAction);
    m_passwordMenu->addAction(m_copyUrlAction);
    m_passwordMenu->addAction(m_copyTotpAction);
    m_passwordMenu->addAction(m_openUrlAction);
    m_passwordMenu->addAction(m_performAutoTypeAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_setUpTotpAction);
    m_passwordMenu->addAction(m_showTotpQrAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_findPasswordAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_generatePasswordAction);

    // Masking of the table and the info view, taking effect at once.
    QMenu* viewMenu = bar->addMenu(tr("&View"));
    auto addToggle = [this, viewMenu](const QString& text, const QString& key) {
        QAction* toggle = viewMenu->addAction(text);
        toggle->setCheckable(true);
        toggle->setChecked(boolSetting(key, true));
        connect(toggle, &QAction::toggled, this, [this, key](bool hide) {
            setBoolSetting(key, hide);
            if (!isDatabaseUsable())
                return;
            PasswordDatabase::Password* selected = ui->passwordTableWidget->selectedPassword();
            refillPasswordTable();
            selectPassword(selected);
            refillInfoTable();
        });
    };
    addToggle(tr("Hide User Names"), QStringLiteral("app.mainWindow.hideUsernames"));
    addToggle(tr("Hide Passwords"), QStringLiteral("app.mainWindow.hidePasswords"));

    QMenu* toolsMenu = bar->addMenu(tr("&Tools"));
    toolsMenu->addAction(m_databaseReportAction);
    setToolsMenu(toolsMenu);
}

void MainWindow::createToolBar()
{
    QToolBar* toolBar = ui->mainToolBar;
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar->setIconSize(QSize(32, 32));
    toolBar->addAction(m_openDatabaseAction);
    toolBar->addAction(m_saveDatabaseAction);
    toolBar->addSeparator();
    toolBar->addAction(m_newGroupAction);
    toolBar->addAction(m_newSubGroupAction);
    toolBar->addSeparator();
    toolBar->addAction(m_newPasswordAction);
    toolBar->addAction(m_openPasswordAction);
    toolBar->addSeparator();
    toolBar->addAction(m_deleteAction);
    toolBar->addSeparator();
    toolBar->addAction(m_lockWorkspaceAction);
}

void MainWindow::completeSetup()
{
    // Shown above the views while the vault's file holds changes made by
    // another program that the window has not seen.
    m_fileChangedLabel = new QLabel(ui->databaseWidget);
    m_fileChangedLabel->setObjectName(QStringLiteral("fileChangedLabel"));
    m_fileChangedLabel->setWordWrap(true);
    m_fileChangedLabel->setTextFormat(Qt::PlainText);
    m_fileChangedLabel->setAutoFillBackground(true);
    m_fileChangedLabel->setBackgroundRole(QPalette::ToolTipBase);
    m_fileChangedLabel->setForegroundRole(QPalette::ToolTipText);
    m_fileChangedLabel->setMargin(6);
    m_fileChangedLabel->hide();
    ui->databaseLayout->insertWidget(0, m_fileChangedLabel);

    // Shown above the views while the vault has a format version in which
    // its key-derivation settings protect less than they claim.
    m_formatNotice = new QFrame(ui->databaseWidget);
    m_formatNotice->setObjectName(QStringLiteral("formatNoticeWidget"));
    m_formatNotice->setAutoFillBackground(true);
    m_formatNotice->setBackgroundRole(QPalette::ToolTipBase);
    m_formatNotice->setForegroundRole(QPalette::ToolTipText);
    auto* noticeLayout = new QHBoxLayout(m_formatNotice);
    noticeLayout->setContentsMargins(6, 4, 6, 4);
    auto* noticeLabel = new QLabel(m_formatNotice);
    noticeLabel->setObjectName(QStringLiteral("formatNoticeLabel"));
    noticeLabel->setWordWrap(true);
    noticeLabel->setTextFormat(Qt::PlainText);
    noticeLabel->setText(tr("This vault uses an old file format: its password can be checked with far less "
                            "work than its key derivation settings suggest. Upgrade it to protect it fully "
                            "(earlier versions of the program will no longer open it)."));
    auto* upgradeButton = new QPushButton(tr("Upgrade..."), m_formatNotice);
    upgradeButton->setObjectName(QStringLiteral("upgradeFormatNoticeButton"));
    noticeLayout->addWidget(noticeLabel, 1);
    noticeLayout->addWidget(upgradeButton);
    connect(upgradeButton, &QAbstractButton::clicked, this, &MainWindow::upgradeDatabaseFormat);
    m_formatNotice->hide();
    ui->databaseLayout->insertWidget(0, m_formatNotice);

    // Says what happens after the unlock when the Auto-Type shortcut was
    // pressed while the workspace was locked.
    m_autoTypePendingLabel = new QLabel(ui->databaseLockedWidget);
    m_autoTypePendingLabel->setObjectName(QStringLiteral("autoTypePendingLabel"));
    m_autoTypePendingLabel->setWordWrap(true);
    m_autoTypePendingLabel->setTextFormat(Qt::PlainText);
    m_autoTypePendingLabel->hide();
    ui->lockedFormLayout->addWidget(m_autoTypePendingLabel);

    applyDesktopSettings();
}

void MainWindow::applyDesktopSettings()
{
    m_desktopLock->setLockBeforeSleep(isDatabaseUsable()
                                      && boolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), true));
    // A shortcut another program holds is named in the settings' Auto-Type
    // tab.
    m_autoType->applyShortcut();
}

void MainWindow::setPendingAutoType(const PendingAutoType& pending)
{
    m_pendingAutoType = pending;
    if (!m_autoTypePendingLabel)
        return;
    m_autoTypePendingLabel->setText(
        tr("Auto-Type into \"%1\" goes on after the unlock.").arg(pending.title.left(200)));
    m_autoTypePendingLabel->setVisible(pending.window != 0);
}

void MainWindow::refreshFormatNotice()
{
    if (m_formatNotice)
        m_formatNotice->setVisible(m_database.isOpen() && !m_database.isLocked() && m_database.isLegacyFormat());
}

void MainWindow::enterInitialView()
{
    applyTraySettings();
    ui->findWidget->hide();
    clearViews();
    goToNoDatabaseView();
}

void MainWindow::hideTransientWidgets()
{
    ui->findWidget->hide();
}

void MainWindow::openSettingsDialog()
{
    ui->findWidget->hide();
    SettingsDialog dialog(this);
    execDialog(this, &dialog);
    applyTraySettings();
    applyDesktopSettings();
    // Icon packs may have been loaded or unloaded in the plugin manager.
    refreshEntryIcons();
    if (isDatabaseView() && boolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), false))
        m_inactivityTimer->start(SettingsDialog::lockTimeoutSeconds());
    else
        m_inactivityTimer->stop();
}

bool MainWindow::mayClose()
{
    return checkUnsavedChanges();
}

bool MainWindow::windowMinimised(bool)
{
    if (m_database.isOpen() && boolSetting(QStringLiteral("app.settings.lockWorkspaceOnMinimise"), false))
        lockWorkspace();
    return true;
}

void MainWindow::updateActions()
{
    const bool usable = isDatabaseUsable();
    const bool groupSelected = usable && ui->groupTreeWidget->selectedGroup();
    PasswordDatabase::Password* password = usable ? ui->passwordTableWidget->selectedPassword() : nullptr;
    const bool passwordSelected = password != nullptr;

    for (QAction* action : { m_closeDatabaseAction, m_saveDatabaseAction, m_saveDatabaseAsAction,
                             m_databaseSettingsAction, m_lockWorkspaceAction, m_newGroupAction,
                             m_databaseReportAction, m_mergeDatabaseAction })
        action->setEnabled(usable);
    m_findPasswordAction->setEnabled(usable);
    for (QAction* action : { m_newSubGroupAction, m_deleteGroupAction, m_editGroupAction })
        action->setEnabled(groupSelected);
    m_newPasswordAction->setEnabled(usable && newPasswordGroup());
    for (QAction* action : { m_deletePasswordAction, m_openPasswordAction, m_copyUsernameAction,
                             m_copyPasswordAction })
        action->setEnabled(passwordSelected);
    m_openUrlAction->setEnabled(passwordSelected && !password->getUrl().isEmpty());
    m_copyUrlAction->setEnabled(passwordSelected && !password->getUrl().isEmpty());
    m_setUpTotpAction->setEnabled(passwordSelected);
    const bool hasTotp = passwordSelected && OtpAuthLink().parseNote(password->getNote()) == OtpAuthLink::ValidLink;
    m_copyTotpAction->setEnabled(hasTotp);
    m_showTotpQrAction->setEnabled(hasTotp);
    QString autoTypeUnavailable;
    const bool autoType = m_autoType->available(&autoTypeUnavailable);
    m_performAutoTypeAction->setEnabled(passwordSelected && autoType);
    m_performAutoTypeAction->setToolTip(autoType ? tr("Type the user name and password into the window used before "
                                                      "this one")
                                                 : autoTypeUnavailable);
    for (QAction* action : { m_newDatabaseAction, m_openDatabaseAction, m_generatePasswordAction, m_deleteAction })
        action->setEnabled(true);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (isLockedView())
            ui->unlockDatabasePasswordLineEdit->clear();
        else if (ui->findWidget->isVisible())
            ui->findWidget->hide();
    }
    BMainWindow::keyPressEvent(event);
}

// ---------------------------------------------------------------- views

bool MainWindow::isNoDatabaseView() const
{
    // The form is built once the event loop runs.
    return ui->stackedWidget && ui->stackedWidget->currentWidget() == ui->noDatabaseWidget;
}

bool MainWindow::isDatabaseView() const
{
    // The form is built once the event loop runs.
    return ui->stackedWidget && ui->stackedWidget->currentWidget() == ui->databaseWidget;
}

bool MainWindow::isLockedView() const
{
    // The form is built once the event loop runs.
    return ui->stackedWidget && ui->stackedWidget->currentWidget() == ui->databaseLockedWidget;
}

void MainWindow::goToNoDatabaseView()
{
    ui->findWidget->hide();
    clearViews();
    ui->stackedWidget->setCurrentWidget(ui->noDatabaseWidget);
    ui->mainToolBar->hide();
    m_inactivityTimer->stop();
    setPendingAutoType(PendingAutoType());
    m_desktopLock->setLockBeforeSleep(false);
    updateActions();
    refreshReport();
}

void MainWindow::goToDatabaseView()
{
    ui->stackedWidget->setCurrentWidget(ui->databaseWidget);
    ui->mainToolBar->show();
    refreshFormatNotice();
    if (boolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), false))
        m_inactivityTimer->start(SettingsDialog::lockTimeoutSeconds());
    m_desktopLock->setLockBeforeSleep(boolSetting(QStringLiteral("app.settings.lockWorkspaceBeforeSleep"), true));
    updateActions();
    refreshReport();
}

void MainWindow::goToLockedView()
{
    ui->findWidget->hide();
    clearViews();
    ui->stackedWidget->setCurrentWidget(ui->databaseLockedWidget);
    ui->mainToolBar->hide();
    ui->unlockDatabasePasswordLineEdit->setFocus();
    m_inactivityTimer->stop();
    m_desktopLock->setLockBeforeSleep(false);
    updateActions();
    refreshReport();
}

void MainWindow::clearViews()
{
    // Forget the pointers first: clearing the widgets reports selection
    // changes, which must not reach items that may be gone.
    m_currentGroup = nullptr;
    m_currentPassword = nullptr;
    m_totpTimer->stop();
    m_totpRow = -1;
    m_searchResultsView = false;
    ui->passwordTableWidget->setColumnCount(PasswordTableWidget::GroupColumn);
    const QSignalBlocker treeBlocker(ui->groupTreeWidget);
    const QSignalBlocker tableBlocker(ui->passwordTableWidget);
    ui->groupTreeWidget->clear();
    ui->passwordTableWidget->clearContents();
    ui->passwordTableWidget->setRowCount(0);
    ui->infoTableWidget->clearContents();
    ui->infoTableWidget->setRowCount(0);
}

bool MainWindow::isDatabaseUsable() const
{
    return m_database.isOpen() && !m_database.isLocked();
}

void MainWindow::applyTraySettings()
{
    QMenu* menu = trayMenu();
    menu->clear();
    connect(menu->addAction(tr("Show")), &QAction::triggered, this, &BMainWindow::showAndRaise);
    menu->addSeparator();
    connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &BMainWindow::closeNoMinimise);

    const bool trayIconShown = boolSetting(QStringLiteral("app.settings.showInSystemTray"), false);
    setSystemTrayIconVisible(trayIconShown);
    // Without a tray icon nothing could bring a hidden window back, so a
    // minimised window then stays in the task bar.
    setHideWhenMinimised(trayIconShown && boolSetting(QStringLiteral("app.settings.showInSystemTrayOnly"), false));
    setMinimiseOnClose(boolSetting(QStringLiteral("app.settings.minimiseOnClose"), false));
}

// ---------------------------------------------------------------- database flows

bool MainWindow::checkUnsavedChanges()
{
    if (!confirmDroppingPendingEdit())
        return false;
    if (!m_database.isModified())
        return true;
    ui->findWidget->hide();
    if (m_database.isLocked()) {
        if (!askWarning(this, tr("Unsaved Changes"),
                        tr("There are unsaved changes but the database is locked. "
                           "The database must be unlocked to save the changes."),
                        tr("Discard Changes"), tr("Unlock to Save Changes")))
            return false;
        return askWarning(this, tr("Unsaved Changes"),
                          tr("Are you sure you want to discard the unsaved changes? This can't be undone."),
                          tr("Discard Changes"), tr("Keep Changes"));
    }
    auto* box = new QMessageBox(QMessageBox::Question, tr("Unsaved Changes"),
                                tr("There are unsaved changes. Do you want to save them now?"),
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    // Whatever order and default the desktop's style gives the buttons,
    // Enter saves and Escape cancels: no key press throws the changes away.
    box->setDefaultButton(QMessageBox::Save);
    box->setEscapeButton(QMessageBox::Cancel);
    execDialog(this, box);
    const QMessageBox::StandardButton answer = box->standardButton(box->clickedButton());
    delete box;
    if (answer == QMessageBox::Save)
        return saveDatabaseOrSaveAs(false);
    return answer == QMessageBox::Discard;
}

void MainWindow::refreshTitle()
{
    setModified(m_database.isModified());
    refreshFormatNotice();
}

void MainWindow::databaseChanged()
{
    m_database.setModified();
    refreshTitle();
    updateActions();
    refreshReport();
}

void MainWindow::refreshReport()
{
    if (m_reportDialog)
        m_reportDialog->refresh();
}

void MainWindow::showDatabaseReport()
{
    if (!isDatabaseUsable())
        return;
    ui->findWidget->hide();
    if (!m_reportDialog) {
        m_reportDialog = new DatabaseReportDialog(this, &m_database);
        m_reportDialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_reportDialog, &DatabaseReportDialog::passwordChosen, this, &MainWindow::reportSelectPassword);
        centreOnParent(m_reportDialog);
    } else {
        m_reportDialog->refresh();
    }
    m_reportDialog->show();
    m_reportDialog->raise();
    m_reportDialog->activateWindow();
}

void MainWindow::reportSelectPassword(const PasswordDatabase::Password* password)
{
    // The row may name an entry that has gone since the report was built.
    if (!isDatabaseUsable() || !DatabaseReport::candidates(m_database).contains(password))
        return;
    findWidgetSelectPassword(password);
    showAndRaise();
}

void MainWindow::newDatabase()
{
    if (!checkUnsavedChanges())
        return;
    ui->findWidget->hide();
    PasswordDatabase newDb;
    DatabaseEditDialog dialog(this, true, QString());
    dialog.loadDatabase(&newDb);
    if (execDialog(this, &dialog) != QDialog::Accepted || !newDb.isOpen())
        return;

    forgetDatabaseFile();
    clearViews();
    m_database = newDb;
    ++m_modelGeneration;
    auto* internet = new PasswordDatabase::Group();
    internet->setName(tr("Internet"));
    internet->setIconId(QStringLiteral("tessavond.web"));
    m_database.addItem(internet);
    auto* email = new PasswordDatabase::Group();
    email->setName(tr("Email"));
    email->setIconId(QStringLiteral("tessavond.mail"));
    m_database.addItem(email);
    {
        BTaskController controller;
        SecurityAuditTask audit(&m_database, &m_auditFindings);
        audit.run(&controller);
    }
    setWindowFilePath(QString());
    refreshTitle();
    goToDatabaseView();
    rebuildGroupTree();
    updateActions();
}

void MainWindow::openDatabase()
{
    if (!checkUnsavedChanges())
        return;
    ui->findWidget->hide();
    // The program's own files first, then what the loader plugins read.
    QStringList extensions { QStringLiteral("lhdb") };
    for (const PasswordDatabaseLoaderPlugin* loader : databaseLoaders())
        extensions += loader->fileExtensions();
    // Every file as well: a vault saved without its extension is known by
    // its content.
    const QString filePath = getOpenFileName(this, tr("Select File"),
                                             stringSetting(QStringLiteral("app.mainWindow.databaseOpenDir"), QString()),
                                             extensions, tr("All files (*)"));
    if (filePath.isEmpty())
        return;
    setStringSetting(QStringLiteral("app.mainWindow.databaseOpenDir"), QFileInfo(filePath).absolutePath());
    openOrImportDatabase(filePath);
}

void MainWindow::openOrImportDatabase(const QString& filePath)
{
    // A vault is known by its content, whatever its name; a damaged file
    // named as a vault (in either case, as the open dialog offers both) is
    // opened as one too, so that the reason it cannot be read is shown.
    if (PasswordDatabase::isDatabaseFile(filePath)
        || QFileInfo(filePath).suffix().compare(QLatin1String("lhdb"), Qt::CaseInsensitive) == 0)
        openDatabase(filePath);
    else
        importDatabase(filePath);
}

void MainWindow::openDatabase(const QString& filePath)
{
    if (!checkUnsavedChanges())
        return;
    openDatabaseFile(filePath);
}

void MainWindow::openDatabaseFile(const QString& filePath)
{
    // Two copies of the program saving one file would overwrite each
    // other's changes; the one opening it second is told.
    if (BFileInUseMarker::canonicalPath(filePath) != m_inUseMarker.markedPath()) {
        BFileInUseMarker probe;
        if (!probe.mark(filePath)
            && !askWarning(this, tr("Already Open"),
                           tr("The file \"%1\" is already open in another Lockharbour window. Changes saved "
                              "in one window are not seen by the other, which asks before it overwrites "
                              "them.\n\nOpen it here as well?")
                               .arg(QDir::toNativeSeparators(filePath)),
                           tr("Open Anyway"), tr("Cancel")))
            return;
    }
    ui->findWidget->hide();
    // Taken before reading: a change made while the file is read counts as
    // not seen.
    const BFileState seen = BFileState::read(filePath);
    PasswordDatabase newDb;
    BTaskController controller;
    if (!newDb.load(filePath, &controller)) {
        const QString text = controller.errorMessage().isEmpty()
            ? tr("Failed to load the password database file. It may be corrupted or has been tampered with.")
            : controller.errorMessage();
        // The open database stays exactly as it was, unsaved changes included.
        showError(this, tr("Failed to Load"), text);
        return;
    }
    DatabaseUnlockDialog dialog(this, &newDb);
    if (execDialog(this, &dialog) != QDialog::Accepted || newDb.isLocked() || !newDb.isOpen())
        return;
    addRecentFile(filePath);
    refreshRecentFiles();
    activateDatabase(newDb);
    setWindowFilePath(filePath);
    followDatabaseFile(filePath, seen);
}

void MainWindow::followDatabaseFile(const QString& filePath, const BFileState& seen)
{
    m_fileWatch->follow(filePath, seen);
    m_inUseMarker.mark(filePath);
    // A vault the user may not write is opened read-only: the title says
    // so, and Save offers Save As instead of rewriting it.
    setTitleNote(isReadOnlyFile(filePath) ? tr("read-only") : QString());
    if (m_fileChangedLabel)
        m_fileChangedLabel->hide();
}

void MainWindow::forgetDatabaseFile()
{
    m_fileWatch->stop();
    m_inUseMarker.release();
    setTitleNote(QString());
    if (m_fileChangedLabel)
        m_fileChangedLabel->hide();
}

void MainWindow::importDatabase(const QString& filePath)
{
    const QString suffix = QFileInfo(filePath).suffix();
    if (!databaseLoaderFor(suffix)) {
        // The open dialog offers every extension in upper case as well; a
        // file no loader takes must not be passed over in silence.
        showError(this, tr("Import Failed"),
                  suffix.isEmpty()
                      ? tr("The file \"%1\" is not a password database, and its name has no extension that an "
                           "installed plugin reads.").arg(QFileInfo(filePath).fileName())
                      : tr("No installed plugin reads files ending in \".%1\".").arg(suffix));
        return;
    }
    if (!checkUnsavedChanges())
        return;
    ui->findWidget->hide();
    PasswordDatabase newDb;
    DatabaseEditDialog dialog(this, true, tr("New Database from Import"));
    dialog.loadDatabase(&newDb);
    if (execDialog(this, &dialog) != QDialog::Accepted || !newDb.isOpen())
        return;

    QByteArray data;
    QString error;
    if (!readRegularFile(filePath, PasswordDatabaseLoaderPlugin::MaxImportFileSize, data, error)) {
        showError(this, tr("Import Failed"), error);
        return;
    }
    // Looked up again: the loader list may have changed while the editor
    // was open.
    PasswordDatabaseLoaderPlugin* loader = databaseLoaderFor(suffix);
    bool loaded = false;
    if (loader) {
        if (!m_scriptUserInterface)
            m_scriptUserInterface = std::make_unique<GuiScriptUserInterface>();
        ScriptUserInterface::Installation installation(m_scriptUserInterface.get());
        loaded = loader->loadDatabase(data, suffix, newDb);
    }
    wipe(data);
    if (!loaded) {
        QString text = tr("The file \"%1\" could not be imported.").arg(QFileInfo(filePath).fileName());
        if (loader && !loader->lastError().isEmpty())
            text += QLatin1Char('\n') + loader->lastError();
        showError(this, tr("Import Failed"), text);
        return;
    }
    activateDatabase(newDb);
    // The imported database exists in memory only: it has no file path of
    // its own (the first save asks for a name, so the foreign file is never
    // overwritten), and it stays modified so that closing it asks to save.
    m_database.setModified();
    refreshTitle();
    setWindowFilePath(filePath);
}

void MainWindow::activateDatabase(PasswordDatabase& newDb)
{
    forgetDatabaseFile();
    clearViews();
    m_database = newDb;
    newDb.clear();
    ++m_modelGeneration;
    // The previous database's findings name entries that are gone.
    m_auditFindings.clear();
    m_database.clearModified();
    refreshTitle();
    // Offered before the audit, so that no finding is made for a password
    // deleted here, nor names one as sharing a survivor's password.
    offerExpiredPasswords();
    if (!isDatabaseUsable())
        return; // locked while the list was open; the unlock audits and shows it
    {
        BTaskController controller;
        SecurityAuditTask audit(&m_database, &m_auditFindings);
        audit.run(&controller);
    }
    goToDatabaseView();
    rebuildGroupTree();
    updateActions();
}

QList<PasswordDatabase::Password*> MainWindow::expiredPasswords(const QList<PasswordDatabase::Item*>& items,
                                                                const QDateTime& now)
{
    QList<PasswordDatabase::Password*> expired;
    for (PasswordDatabase::Item* item : items) {
        if (item->isGroup()) {
            expired += expiredPasswords(static_cast<PasswordDatabase::Group*>(item)->getItems(), now);
            continue;
        }
        auto* password = static_cast<PasswordDatabase::Password*>(item);
        if (!password->isNeverExpire() && !(now < password->getExpireTime()))
            expired << password;
    }
    return expired;
}

void MainWindow::offerExpiredPasswords()
{
    QList<PasswordDatabase::Item*> topLevel;
    for (PasswordDatabase::Group* group : m_database.getItems())
        topLevel << group;
    const QList<PasswordDatabase::Password*> expired = expiredPasswords(topLevel, QDateTime::currentDateTime());
    if (expired.isEmpty())
        return;
    ExpiredPasswordsDialog dialog(this, expired);
    if (!runEditor(dialog))
        return;
    const QList<PasswordDatabase::Password*> doomed = dialog.passwordsToDelete();
    if (doomed.isEmpty())
        return;
    // Deleted outright: the user asked to be rid of them, so no backup copy.
    for (PasswordDatabase::Password* password : doomed)
        password->getParent()->deleteItem(password);
    databaseChanged();
}

void MainWindow::findPassword()
{
    if (!isDatabaseUsable() || !isDatabaseView())
        return;
    ui->findWidget->setDatabase(&m_database);
    ui->findWidget->show();
}

void MainWindow::closeDatabase()
{
    if (!checkUnsavedChanges())
        return;
    forgetDatabaseFile();
    clearViews();
    m_database.clear();
    ++m_modelGeneration;
    m_auditFindings.clear();
    m_database.clearModified();
    refreshTitle();
    setWindowFilePath(QString());
    goToNoDatabaseView();
}

void MainWindow::saveDatabase()
{
    saveDatabaseOrSaveAs(false);
}

void MainWindow::saveDatabaseAs()
{
    saveDatabaseOrSaveAs(true);
}

QString MainWindow::suggestedFileName(const QString& name)
{
    QString result = name.toLower();
    result.replace(QLatin1Char('&'), QLatin1String(" and "));
    static const QString removed = QStringLiteral("!@#$%^&*()-+=[]{};':\",./<>?");
    for (const QChar c : removed)
        result.remove(c);
    result.replace(QLatin1Char(' '), QLatin1Char('_'));
    for (int pass = 0; pass < 2; ++pass)
        result.replace(QLatin1String("  "), QLatin1String(" "));
    for (int pass = 0; pass < 2; ++pass)
        result.replace(QLatin1String("__"), QLatin1String("_"));
    return result;
}

bool MainWindow::writeDatabase(const QString& path)
{
    QString error;
    if (m_database.save(path, &error))
        return true;
    QString text = tr("Failed to save the password database.");
    if (!error.isEmpty())
        text += QLatin1Char('\n') + error;
    showError(this, tr("Failed to Save"), text);
    return false;
}

bool MainWindow::saveDatabaseOrSaveAs(bool forceSaveAs)
{
    if (!isDatabaseUsable())
        return false;
    ui->findWidget->hide();
    if (!forceSaveAs && !m_database.getFilePath().isEmpty()) {
        const QString path = m_database.getFilePath();
        if (!isReadOnlyFile(path))
            return saveToOwnFile();
        setTitleNote(tr("read-only"));
        if (!askQuestion(this, tr("Read-Only File"),
                         tr("The file \"%1\" is read-only and is left as it is. Save the database under "
                            "another name?").arg(QDir::toNativeSeparators(path)),
                         tr("Save As..."), tr("Cancel"), true)
            || !isDatabaseUsable() || m_database.getFilePath() != path)
            return false;
    }

    const QString openDir = stringSetting(QStringLiteral("app.mainWindow.databaseOpenDir"), QString());
    const QString filePath = getSaveFileName(this, tr("Select File"),
                                             stringSetting(QStringLiteral("app.mainWindow.databaseSaveDir"), openDir),
                                             suggestedFileName(m_database.getName()), QStringLiteral("lhdb"),
                                             tr("Password databases (*.lhdb)"));
    if (filePath.isEmpty())
        return false;
    setStringSetting(QStringLiteral("app.mainWindow.databaseSaveDir"), QFileInfo(filePath).absolutePath());
    addRecentFile(filePath);
    refreshRecentFiles();
    if (!writeDatabase(filePath)) {
        refreshTitle();
        return false;
    }
    followDatabaseFile(filePath, BFileState::read(filePath));
    setWindowFilePath(filePath);
    refreshTitle();
    updateActions();
    return true;
}

bool MainWindow::saveToOwnFile()
{
    const QString path = m_database.getFilePath();
    if (m_fileWatch->path() != path)
        followDatabaseFile(path, BFileState::read(path));
    BFileState overwritable = m_fileWatch->seen();
    // Set once the user chose to save where a vanished file was.
    bool recreate = false;
    for (;;) {
        // Under the file's lock no other writer can slip in between the
        // look at the file and the save.
        BFileLock lock;
        QString error;
        if (!lock.lock(path, PasswordDatabase::FileLockWaitMs, error)) {
            showError(this, tr("Failed to Save"), tr("Failed to save the password database.") + QLatin1Char('\n') + error);
            return false;
        }
        const BFileState now = BFileState::read(path);
        if (now.exists() ? now.sameContents(overwritable) : recreate) {
            const bool saved = writeDatabase(path);
            if (saved) {
                m_fileWatch->remember();
                if (m_fileChangedLabel)
                    m_fileChangedLabel->hide();
            }
            refreshTitle();
            updateActions();
            return saved;
        }
        lock.unlock();

        if (!now.exists()) {
            // Moved away, deleted, or a symbolic link whose file is gone: a
            // save must not quietly make a new file (nor replace the link).
            QMessageBox gone(QMessageBox::Warning, tr("File Gone"),
                             tr("The file \"%1\" is gone: it was moved, renamed or deleted since it was opened "
                                "here.").arg(QDir::toNativeSeparators(path)),
                             QMessageBox::NoButton, this);
            gone.setInformativeText(tr("Save the database under another name, or save it here again as a new "
                                       "file."));
            QPushButton* saveAs = gone.addButton(tr("Save As..."), QMessageBox::AcceptRole);
            QPushButton* saveHere = gone.addButton(tr("Save Here"), QMessageBox::DestructiveRole);
            QPushButton* cancel = gone.addButton(QMessageBox::Cancel);
            gone.setDefaultButton(saveAs);
            gone.setEscapeButton(cancel);
            execDialog(this, &gone);
            if (!isDatabaseUsable() || m_database.getFilePath() != path)
                return false;
            if (gone.clickedButton() == saveHere) {
                recreate = true;
                continue;
            }
            if (gone.clickedButton() == saveAs)
                return saveDatabaseOrSaveAs(true);
            return false;
        }

        QMessageBox box(QMessageBox::Warning, tr("File Changed"),
                        tr("The file \"%1\" has been changed by another program since it was opened here.")
                            .arg(QDir::toNativeSeparators(path)),
                        QMessageBox::NoButton, this);
        box.setInformativeText(tr("Saving now would overwrite those changes. Reload the file to see them (the "
                                  "changes made here since the last save are then lost), save your version "
                                  "under another name, or overwrite the file."));
        QPushButton* merge = box.addButton(tr("Merge"), QMessageBox::AcceptRole);
        QPushButton* reload = box.addButton(tr("Reload"), QMessageBox::DestructiveRole);
        QPushButton* saveAs = box.addButton(tr("Save As..."), QMessageBox::AcceptRole);
        QPushButton* overwrite = box.addButton(tr("Overwrite"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(merge);
        box.setEscapeButton(cancel);
        execDialog(this, &box);
        if (!isDatabaseUsable() || m_database.getFilePath() != path)
            return false;
        if (box.clickedButton() == merge) {
            // The other program's changes join this window's, then the
            // file is written with both.
            const BFileState merged = BFileState::read(path);
            if (!mergeDatabaseFile(path))
                return false;
            overwritable = merged;
            continue;
        }
        if (box.clickedButton() == overwrite) {
            overwritable = now;
            continue;
        }
        if (box.clickedButton() == saveAs)
            return saveDatabaseOrSaveAs(true);
        if (box.clickedButton() == reload)
            openDatabaseFile(path);
        return false;
    }
}

void MainWindow::mergeFromDatabase()
{
    if (!isDatabaseUsable())
        return;
    const QString filePath = getOpenFileName(this, tr("Merge From Database"),
                                             QFileInfo(m_database.getFilePath()).absolutePath(),
                                             { QStringLiteral("lhdb") }, tr("All files (*)"));
    if (!filePath.isEmpty())
        mergeDatabaseFile(filePath);
}

bool MainWindow::mergeDatabaseFile(const QString& filePath)
{
    PasswordDatabase other;
    BTaskController controller;
    if (!other.load(filePath, &controller)) {
        showError(this, tr("Failed to Load"),
                  controller.errorMessage().isEmpty()
                      ? tr("Failed to load the password database file. It may be corrupted or has been tampered with.")
                      : controller.errorMessage());
        return false;
    }
    // A copy of this vault under the same password opens with its keys;
    // only another password is asked for.
    PasswordDatabaseUnlockTask sameKeys(other, m_database);
    BTaskController keysController;
    if (sameKeys.run(&keysController) != Success) {
        DatabaseUnlockDialog dialog(this, &other);
        if (execDialog(this, &dialog) != QDialog::Accepted || other.isLocked() || !isDatabaseUsable())
            return false;
    }
    const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(m_database, other);
    // Merged items may replace the ones the views and findings point at.
    ++m_modelGeneration;
    m_auditFindings.clear();
    rebuildGroupTree();
    if (!summary.isEmpty())
        databaseChanged();
    QMessageBox box(QMessageBox::Information, tr("Merged"),
                    tr("Merged \"%1\": %2 added, %3 updated, %4 deleted, %5 kept as conflicts.")
                        .arg(QDir::toNativeSeparators(filePath))
                        .arg(summary.added)
                        .arg(summary.updated)
                        .arg(summary.deleted)
                        .arg(summary.conflicts),
                    QMessageBox::Ok, this);
    if (!summary.details.isEmpty())
        box.setDetailedText(summary.details.join(QLatin1Char('\n')));
    execDialog(this, &box);
    return true;
}

void MainWindow::databaseSettings()
{
    if (!isDatabaseUsable())
        return;
    ui->findWidget->hide();
    DatabaseEditDialog dialog(this, false, QString());
    dialog.loadDatabase(&m_database);
    if (execDialog(this, &dialog) == QDialog::Accepted && isDatabaseUsable())
        databaseChanged();
}

void MainWindow::upgradeDatabaseFormat()
{
    if (!isDatabaseUsable() || !m_database.isLegacyFormat())
        return;
    ui->findWidget->hide();
    DatabaseEditDialog dialog(this, false, QString());
    dialog.loadDatabase(&m_database);
    dialog.upgradeFormatButtonPressed();
    if (execDialog(this, &dialog) == QDialog::Accepted && isDatabaseUsable())
        databaseChanged();
    refreshFormatNotice();
}

void MainWindow::lockWorkspace()
{
    if (!isDatabaseUsable() || !m_database.hasKeys())
        return;
    // A task (re-keying in the database settings) may be working on the
    // database on its own thread; the inactivity timer must wait for it.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<BTaskDialog*>(widget) && widget->isVisible())
            return;
    }
    // An open entry or group editor's unfinished edit is kept with the
    // tree, encrypted, and comes back after the unlock.
    QByteArray pendingEdit = pendingEditState();
    clearViews();
    const bool locked = m_database.lock(pendingEdit);
    wipe(pendingEdit);
    if (!locked) {
        rebuildGroupTree();
        return;
    }
    ++m_modelGeneration;

    const QString title = windowTitle();
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget == this || !widget->isVisible() || widget->windowTitle() == title)
            continue;
        if (widget->windowTitle().isEmpty()) {
            widget->close();
        } else if (auto* dialog = qobject_cast<QDialog*>(widget)) {
            // A dialog runs in execDialog's loop, which a hidden dialog ends
            // anyway, and the items it was editing are gone with the lock (an
            // entry or group editor's edit is kept, encrypted): empty its
            // text fields so no secret stays readable, then cancel.
            clearTextFields(dialog);
            dialog->reject();
        } else {
            widget->hide();
            m_lockHiddenWindows.append(widget);
        }
    }
    goToLockedView();
}

void MainWindow::unlockWorkspace()
{
    QString password = takeSecretText(ui->unlockDatabasePasswordLineEdit);
    if (!m_database.isOpen() || !m_database.isLocked()) {
        wipe(password);
        return;
    }
    PasswordDatabaseUnlockTask task(m_database, password);
    wipe(password);
    // One box for a failure, with the task's own reason when it gave one.
    QString error;
    const BTaskResult result = BTaskDialog::run(this, &task, false, &error);
    if (result == Cancelled)
        return;
    if (result != Success || m_database.isLocked()) {
        showError(this, tr("Failed to Unlock"),
                  error.isEmpty() ? tr("Failed to unlock database with that password.") : error);
        return;
    }
    // The findings of before the lock name entries that no longer exist.
    {
        BTaskController controller;
        SecurityAuditTask audit(&m_database, &m_auditFindings);
        audit.run(&controller);
    }
    goToDatabaseView();
    for (const QPointer<QWidget>& widget : qAsConst(m_lockHiddenWindows)) {
        if (widget)
            widget->show();
    }
    m_lockHiddenWindows.clear();
    refreshTitle();
    rebuildGroupTree();
    updateActions();
    resumePendingEdit();
    // The Auto-Type shortcut that asked for the password goes on, unless
    // the unlock came long after it.
    const PendingAutoType pending = m_pendingAutoType;
    setPendingAutoType(PendingAutoType());
    if (pending.window && QDateTime::currentMSecsSinceEpoch() - pending.requestedAt < 120000 && isDatabaseUsable())
        autoTypeIntoWindow(pending.window, pending.title);
}

// ---------------------------------------------------------------- views of the model

QTreeWidgetItem* MainWindow::addGroupItem(PasswordDatabase::Group* group, QTreeWidgetItem* parent)
{
    auto* item = new QTreeWidgetItem();
    item->setText(0, group->getName());
    item->setIcon(0, findEntryIcon(group->getIconId()).icon);
    GroupTreeWidget::setGroup(item, group);
    for (PasswordDatabase::Item* child : group->getItems()) {
        if (child->isGroup())
            addGroupItem(static_cast<PasswordDatabase::Group*>(child), item);
    }
    if (parent)
        parent->addChild(item);
    else
        ui->groupTreeWidget->addTopLevelItem(item);
    return item;
}

void MainWindow::rebuildGroupTree()
{
    GroupTreeWidget* tree = ui->groupTreeWidget;
    {
        const QSignalBlocker blocker(tree);
        m_currentGroup = nullptr;
        m_currentPassword = nullptr;
        tree->clear();
        if (isDatabaseUsable()) {
            for (PasswordDatabase::Group* group : m_database.getItems())
                addGroupItem(group, nullptr);
        }
    }

    // Restoring the expanded state reports expansions; they only set the
    // bits that are already set.
    QTreeWidgetItem* current = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const PasswordDatabase::Group* group = GroupTreeWidget::groupOf(*it);
        if (group->getGuiState() & PasswordDatabase::GuiExpanded)
            (*it)->setExpanded(true);
        if (!current && (group->getGuiState() & PasswordDatabase::GuiCurrent))
            current = *it;
    }
    if (!current)
        current = tree->topLevelItem(0);
    {
        const QSignalBlocker blocker(tree);
        tree->clearSelection();
        if (current) {
            tree->setCurrentItem(current);
            current->setSelected(true);
        }
    }
    groupSelectionChanged();
    if (!current) {
        refillPasswordTable();
        updateActions();
    }
}

void MainWindow::refreshEntryIcons()
{
    if (!isDatabaseUsable())
        return;
    // The views hold copies of the icons, taken when they were filled; an
    // id whose pack has gone now looks up the empty icon.
    QHash<QString, QIcon> icons;
    auto iconFor = [&icons](const QString& id) {
        auto it = icons.find(id);
        if (it == icons.end())
            it = icons.insert(id, findEntryIcon(id).icon);
        return *it;
    };
    for (QTreeWidgetItemIterator it(ui->groupTreeWidget); *it; ++it) {
        if (const PasswordDatabase::Group* group = GroupTreeWidget::groupOf(*it))
            (*it)->setIcon(0, iconFor(group->getIconId()));
    }
    PasswordTableWidget* table = ui->passwordTableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        QTableWidgetItem* cell = table->item(row, 0);
        if (const PasswordDatabase::Password* password = cell ? PasswordTableWidget::passwordOf(cell) : nullptr)
            cell->setIcon(iconFor(password->getIconId()));
    }
}

void MainWindow::groupSelectionChanged()
{
    PasswordDatabase::Group* group = ui->groupTreeWidget->selectedGroup();
    if (group && m_searchResultsView) {
        // Choosing a group ends the search; the table shows that group.
        leaveSearchResults(false);
        ui->findWidget->hide();
    }
    if (!group || group == m_currentGroup) {
        updateActions();
        return;
    }
    if (m_currentGroup)
        m_currentGroup->setGuiState(m_currentGroup->getGuiState() & ~PasswordDatabase::GuiCurrent);
    group->setGuiState(group->getGuiState() | PasswordDatabase::GuiCurrent);
    m_currentGroup = group;
    m_currentPassword = nullptr;
    refillPasswordTable();
    updateActions();
}

void MainWindow::groupExpanded(QTreeWidgetItem* item)
{
    if (PasswordDatabase::Group* group = GroupTreeWidget::groupOf(item))
        group->setGuiState(group->getGuiState() | PasswordDatabase::GuiExpanded);
}

void MainWindow::groupCollapsed(QTreeWidgetItem* item)
{
    if (PasswordDatabase::Group* group = GroupTreeWidget::groupOf(item))
        group->setGuiState(group->getGuiState() & ~PasswordDatabase::GuiExpanded);
}

namespace {

QString masked(const QString& text, bool hide)
{
    return hide ? QString(text.size(), QLatin1Char('*')) : text;
}

} // namespace

void MainWindow::refillPasswordTable()
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    PasswordDatabase::Group* group = ui->groupTreeWidget->selectedGroup();
    QList<PasswordSearchResults::Row> passwords;
    if (m_searchResultsView) {
        // The bar searches again after a change of the database, keeping
        // its place, so that Next and Previous walk what the table shows;
        // when the bar asked for this refill its search has just run.
        if (!m_refillForFindBar)
            ui->findWidget->refresh();
        passwords = PasswordSearchResults::rowsOf(ui->findWidget->results());
    } else if (group && isDatabaseUsable()) {
        for (PasswordDatabase::Item* item : group->getItems()) {
            if (item->isPassword())
                passwords.append({ static_cast<PasswordDatabase::Password*>(item), QString() });
        }
    }

    QHash<const PasswordDatabase::Password*, QString> warnings;
    for (const AuditFinding& finding : qAsConst(m_auditFindings)) {
        if (!warnings.contains(finding.password))
            warnings.insert(finding.password, finding.warning);
    }
    int currentRow = -1;
    QVector<PasswordTableWidget::Row> rows;
    rows.reserve(passwords.size());
    for (const PasswordSearchResults::Row& found : qAsConst(passwords)) {
        if (!m_searchResultsView && (found.password->getGuiState() & PasswordDatabase::GuiCurrent))
            currentRow = rows.size();
        rows.append(PasswordTableWidget::rowFor(found.password, found.groupName, warnings.value(found.password)));
    }

    {
        const QSignalBlocker blocker(table);
        table->setUpdatesEnabled(false);
        m_currentPassword = nullptr;
        table->setRows(rows, boolSetting(QStringLiteral("app.mainWindow.hideUsernames"), true), m_searchResultsView);
        table->setUpdatesEnabled(true);
    }
    if (currentRow < 0 && !rows.isEmpty())
        currentRow = 0;
    if (currentRow >= 0) {
        table->setCurrentCell(currentRow, 0);
        table->selectRow(currentRow);
    }
    passwordSelectionChanged();
    if (currentRow < 0)
        refillInfoTable();
}

void MainWindow::passwordSelectionChanged()
{
    PasswordDatabase::Password* password = ui->passwordTableWidget->selectedPassword();
    if (!password || password == m_currentPassword) {
        updateActions();
        return;
    }
    if (m_currentPassword)
        m_currentPassword->setGuiState(m_currentPassword->getGuiState() & ~PasswordDatabase::GuiCurrent);
    password->setGuiState(password->getGuiState() | PasswordDatabase::GuiCurrent);
    m_currentPassword = password;
    refillInfoTable();
    updateActions();
}

void MainWindow::refillInfoTable()
{
    QTableWidget* info = ui->infoTableWidget;
    info->clearContents();
    info->setRowCount(0);
    m_totpTimer->stop();
    m_totpRow = -1;
    const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword()
                                                                    : nullptr;
    if (!password)
        return;
    const bool hideUsernames = boolSetting(QStringLiteral("app.mainWindow.hideUsernames"), true);
    const bool hidePasswords = boolSetting(QStringLiteral("app.mainWindow.hidePasswords"), true);
    const QString expires = password->isNeverExpire() ? tr("Never")
                                                       : password->getExpireTime().toString(Qt::TextDate);
    QString secret = password->getPassword();
    QString note = password->getNote();
    QString totpLine = OtpAuthLink::linkLine(note);
    const bool hasTotp = !totpLine.isEmpty();
    wipe(totpLine);
    QList<QPair<QString, QString>> rows {
        { tr("Name"), password->getName() },
        { tr("Username"), masked(password->getUsername(), hideUsernames) },
        { tr("Email address"), masked(password->getEmailAddress(), hideUsernames) },
        { tr("Phone number"), masked(password->getPhoneNumber(), hideUsernames) },
        { tr("Password"), masked(secret, hidePasswords) },
        { tr("URL"), password->getUrl() },
        // The secret of a one-time code link is masked like the password.
        { tr("Note"), hidePasswords ? OtpAuthLink::maskedNote(note) : note },
        { tr("Expires"), expires },
    };
    wipe(secret);
    wipe(note);
    if (hasTotp) {
        m_totpRow = 5; // after "Password"
        rows.insert(m_totpRow, { tr("TOTP"), QString() });
    }
    info->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        info->setItem(row, 0, new QTableWidgetItem(rows.at(row).first));
        info->setItem(row, 1, new QTableWidgetItem(rows.at(row).second));
    }
    updateTotpRow();
    info->resizeRowsToContents();
}

void MainWindow::updateTotpRow()
{
    m_totpTimer->stop();
    QTableWidgetItem* item = m_totpRow >= 0 ? ui->infoTableWidget->item(m_totpRow, 1) : nullptr;
    const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword()
                                                                    : nullptr;
    if (!item || !password)
        return;
    OtpAuthLink link;
    QString error;
    if (link.parseNote(password->getNote(), &error) != OtpAuthLink::ValidLink) {
        item->setText(tr("The one-time code link in the note cannot be used. %1").arg(error));
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QString code = link.code(now / 1000);
    item->setText(tr("%1 (%2 s left)").arg(code).arg(link.secondsLeft(now / 1000)));
    wipe(code);
    // Just after the next second begins.
    m_totpTimer->start(int(1000 - now % 1000) + 20);
}

void MainWindow::selectGroup(const PasswordDatabase::Group* group)
{
    GroupTreeWidget* tree = ui->groupTreeWidget;
    QTreeWidgetItem* item = tree->findGroupItem(group);
    if (!item)
        return;
    {
        const QSignalBlocker blocker(tree);
        tree->clearSelection();
        tree->setCurrentItem(item);
        item->setSelected(true);
    }
    for (QTreeWidgetItem* parent = item->parent(); parent; parent = parent->parent())
        parent->setExpanded(true);
    groupSelectionChanged();
}

void MainWindow::selectPassword(const PasswordDatabase::Password* password)
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    const int row = table->findPasswordRow(password);
    if (row < 0)
        return;
    table->setCurrentCell(row, 0);
    table->selectRow(row);
    passwordSelectionChanged();
}

void MainWindow::findWidgetSelectPassword(const PasswordDatabase::Password* password)
{
    if (!password || !password->getParent())
        return;
    if (m_searchResultsView) {
        selectPassword(password);
        return;
    }
    selectGroup(password->getParent());
    selectPassword(password);
}

void MainWindow::findWidgetSearchChanged()
{
    const bool wanted = !ui->findWidget->isHidden() && isDatabaseView() && isDatabaseUsable()
        && !ui->findWidget->text().isEmpty();
    if (!wanted) {
        if (m_searchResultsView)
            leaveSearchResults(true);
        return;
    }
    if (!m_searchResultsView) {
        m_searchResultsView = true;
        const QSignalBlocker blocker(ui->groupTreeWidget);
        ui->groupTreeWidget->clearSelection();
    }
    m_refillForFindBar = true;
    refillPasswordTable();
    m_refillForFindBar = false;
}

void MainWindow::findWidgetDownPressed()
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    if (!m_searchResultsView || table->rowCount() == 0)
        return;
    table->setFocus();
    table->setCurrentCell(0, 0);
    table->selectRow(0);
    passwordSelectionChanged();
}

void MainWindow::leaveSearchResults(bool reselect)
{
    PasswordDatabase::Password* selected = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword()
                                                              : nullptr;
    m_searchResultsView = false;
    ui->passwordTableWidget->setColumnCount(PasswordTableWidget::GroupColumn);
    if (!isDatabaseUsable())
        return;
    PasswordDatabase::Group* group = selected ? selected->getParent() : m_currentGroup;
    // The group is shown afresh even when it was the one shown before.
    if (m_currentGroup)
        m_currentGroup->setGuiState(m_currentGroup->getGuiState() & ~PasswordDatabase::GuiCurrent);
    m_currentGroup = nullptr;
    m_currentPassword = nullptr;
    if (!reselect)
        return;
    GroupTreeWidget* tree = ui->groupTreeWidget;
    if (group && tree->findGroupItem(group)) {
        selectGroup(group);
    } else if (QTreeWidgetItem* first = tree->topLevelItem(0)) {
        selectGroup(GroupTreeWidget::groupOf(first));
    } else {
        refillPasswordTable();
    }
    if (selected)
        selectPassword(selected);
    updateActions();
}

// ---------------------------------------------------------------- groups

void MainWindow::groupActivated(QTreeWidgetItem* item, int)
{
    if (PasswordDatabase::Group* group = GroupTreeWidget::groupOf(item))
        editGroup(*group);
}

void MainWindow::groupCustomContextMenuRequested(const QPoint& point)
{
    GroupTreeWidget* tree = ui->groupTreeWidget;
    QMenu menu(this);
    if (QTreeWidgetItem* item = tree->itemAt(point)) {
        selectGroup(GroupTreeWidget::groupOf(item));
        menu.addAction(m_editGroupAction);
        menu.addAction(m_deleteGroupAction);
        menu.addSeparator();
        menu.addAction(m_newSubGroupAction);
    } else {
        menu.addAction(m_newGroupAction);
    }
    menu.exec(tree->viewport()->mapToGlobal(point));
}

bool MainWindow::runEditor(QDialog& dialog, EditorKind kind, const PasswordDatabase::Item* target)
{
    if (kind != NoEditor && !m_resumedEdit.isEmpty()) {
        if (auto* editor = qobject_cast<PasswordEditDialog*>(&dialog))
            editor->restoreEditState(m_resumedEdit);
        else if (auto* editor = qobject_cast<GroupEditDialog*>(&dialog))
            editor->restoreEditState(m_resumedEdit);
        m_resumedEdit = QJsonObject();
    }
    const OpenEditor outer = m_openEditor;
    if (kind != NoEditor)
        m_openEditor = { &dialog, kind, target };
    const int generation = m_modelGeneration;
    const bool accepted = execDialog(this, &dialog) == QDialog::Accepted;
    m_openEditor = outer;
    return accepted && generation == m_modelGeneration && isDatabaseUsable();
}

namespace {

// Where an item sits in the tree: its index among the top-level groups,
// then among each parent's children. A lock and unlock rebuild the same
// tree, so the path finds the same item again.
QJsonArray itemPath(const PasswordDatabase& db, const PasswordDatabase::Item* item)
{
    QJsonArray path;
    for (const PasswordDatabase::Item* at = item; at; at = at->getParent()) {
        int index = -1;
        if (const PasswordDatabase::Group* parent = at->getParent())
            index = parent->getItems().indexOf(const_cast<PasswordDatabase::Item*>(at));
        else if (at->isGroup())
            index = db.getItems().indexOf(static_cast<PasswordDatabase::Group*>(const_cast<PasswordDatabase::Item*>(at)));
        path.prepend(index);
    }
    return path;
}

// The item at an itemPath(), or null when there is none.
PasswordDatabase::Item* itemAtPath(const PasswordDatabase& db, const QJsonArray& path)
{
    PasswordDatabase::Item* at = nullptr;
    for (const QJsonValue& step : path) {
        const int index = step.toInt(-1);
        QList<PasswordDatabase::Item*> items;
        if (!at) {
            for (PasswordDatabase::Group* group : db.getItems())
                items << group;
        } else if (at->isGroup()) {
            items = static_cast<PasswordDatabase::Group*>(at)->getItems();
        }
        if (index < 0 || index >= items.size())
            return nullptr;
        at = items.at(index);
    }
    return at;
}

} // namespace

QByteArray MainWindow::pendingEditState() const
{
    QDialog* dialog = m_openEditor.dialog;
    if (!dialog || !dialog->isVisible())
        return QByteArray();
    QJsonObject form;
    if (auto* editor = qobject_cast<PasswordEditDialog*>(dialog))
        form = editor->editState();
    else if (auto* editor = qobject_cast<GroupEditDialog*>(dialog))
        form = editor->editState();
    else
        return QByteArray();
    const QJsonObject state { { QStringLiteral("kind"), int(m_openEditor.kind) },
                              { QStringLiteral("target"), itemPath(m_database, m_openEditor.target) },
                              { QStringLiteral("form"), form } };
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

void MainWindow::resumePendingEdit()
{
    if (!isDatabaseUsable() || !m_database.hasPendingEdit())
        return;
    QByteArray bytes = m_database.takePendingEdit();
    const QJsonObject state = QJsonDocument::fromJson(bytes).object();
    wipe(bytes);
    PasswordDatabase::Item* target = itemAtPath(m_database, state.value(QLatin1String("target")).toArray());
    auto* group = target && target->isGroup() ? static_cast<PasswordDatabase::Group*>(target) : nullptr;
    auto* password = target && target->isPassword() ? static_cast<PasswordDatabase::Password*>(target) : nullptr;
    // Taken by the next kept editor to run, which is the one opened here.
    m_resumedEdit = state.value(QLatin1String("form")).toObject();
    switch (state.value(QLatin1String("kind")).toInt()) {
    case PasswordEditor:
        if (password) {
            selectGroup(password->getParent());
            selectPassword(password);
            openPassword(*password);
        }
        break;
    case NewPasswordEditor:
        if (group) {
            selectGroup(group);
            newPassword();
        }
        break;
    case GroupEditor:
        if (group) {
            selectGroup(group);
            editGroup(*group);
        }
        break;
    case NewGroupEditor:
        newGroup();
        break;
    case NewSubGroupEditor:
        if (group) {
            selectGroup(group);
            newSubGroup();
        }
        break;
    default:
        break;
    }
    m_resumedEdit = QJsonObject();
}

bool MainWindow::confirmDroppingPendingEdit()
{
    if (!m_database.isLocked() || !m_database.hasPendingEdit())
        return true;
    ui->findWidget->hide();
    return askWarning(this, tr("Unfinished Edit"),
                      tr("An editor was open when the workspace was locked. What was typed in it comes back "
                         "once the database is unlocked, and is lost if the database is closed now."),
                      tr("Discard Edit"), tr("Cancel"));
}

void MainWindow::newGroup()
{
    if (!isDatabaseUsable())
        return;
    ui->findWidget->hide();
    GroupEditDialog dialog(this, true);
    dialog.loadGroup(PasswordDatabase::Group());
    if (!runEditor(dialog, NewGroupEditor))
        return;
    auto* group = new PasswordDatabase::Group();
    group->setName(dialog.group().getName());
    group->setIconId(dialog.group().getIconId());
    m_database.addItem(group);
    addGroupItem(group, nullptr);
    selectGroup(group);
    databaseChanged();
}

void MainWindow::newSubGroup()
{
    PasswordDatabase::Group* parent = isDatabaseUsable() ? ui->groupTreeWidget->selectedGroup() : nullptr;
    if (!parent)
        return;
    ui->findWidget->hide();
    GroupEditDialog dialog(this, true);
    dialog.loadGroup(PasswordDatabase::Group());
    if (!runEditor(dialog, NewSubGroupEditor, parent))
        return;
    QTreeWidgetItem* parentItem = ui->groupTreeWidget->findGroupItem(parent);
    if (!parentItem)
        return;
    auto* group = new PasswordDatabase::Group();
    group->setName(dialog.group().getName());
    group->setIconId(dialog.group().getIconId());
    parent->addItem(group);
    addGroupItem(group, parentItem);
    parentItem->setExpanded(true);
    selectGroup(group);
    databaseChanged();
}

void MainWindow::editGroup()
{
    if (PasswordDatabase::Group* group = isDatabaseUsable() ? ui->groupTreeWidget->selectedGroup() : nullptr)
        editGroup(*group);
}

void MainWindow::editGroup(PasswordDatabase::Group& group)
{
    if (!isDatabaseUsable())
        return;
    ui->findWidget->hide();
    GroupEditDialog dialog(this, false);
    dialog.loadGroup(group);
    if (!runEditor(dialog, GroupEditor, &group))
        return;
    if (group.getName() == dialog.group().getName() && group.getIconId() == dialog.group().getIconId())
        return;
    group.setName(dialog.group().getName());
    group.setIconId(dialog.group().getIconId());
    if (QTreeWidgetItem* item = ui->groupTreeWidget->findGroupItem(&group)) {
        item->setText(0, group.getName());
        item->setIcon(0, findEntryIcon(group.getIconId()).icon);
    }
    databaseChanged();
}

bool MainWindow::isInside(const PasswordDatabase::Item* item, const PasswordDatabase::Group* ancestor)
{
    for (const PasswordDatabase::Item* at = item; at; at = at->getParent()) {
        if (at == ancestor)
            return true;
    }
    return false;
}

void MainWindow::deleteSelectedGroup()
{
    GroupTreeWidget* tree = ui->groupTreeWidget;
    PasswordDatabase::Group* group = isDatabaseUsable() ? tree->selectedGroup() : nullptr;
    if (!group)
        return;
    if (boolSetting(QStringLiteral("app.settings.askBeforeDelete"), true) && !group->isEmpty()) {
        ui->findWidget->hide();
        const int generation = m_modelGeneration;
        const QString text = deletionKeepsCopies(*group)
            ? tr("Are you sure you want to delete the group and all its children? Copies of its passwords are "
                 "kept in the backup group \"%1\"; the groups themselves can't be restored.")
                  .arg(backupGroupName())
            : tr("Are you sure you want to delete the group and all its children? This can't be undone.");
        if (!askWarning(this, tr("Delete Group"), text, tr("Delete Group"), tr("Cancel")))
            return;
        if (generation != m_modelGeneration || tree->selectedGroup() != group)
            return;
    }
    const bool disallowBackup = isInBackupGroup(*group);

    // The neighbour that becomes selected: the next sibling (which moves
    // into the deleted item's place), else the previous one, else the parent.
    QTreeWidgetItem* item = tree->findGroupItem(group);
    QTreeWidgetItem* parentItem = item ? item->parent() : nullptr;
    QTreeWidgetItem* neighbour = nullptr;
    if (item) {
        const int index = parentItem ? parentItem->indexOfChild(item) : tree->indexOfTopLevelItem(item);
        const int count = parentItem ? parentItem->childCount() : tree->topLevelItemCount();
        auto at = [&](int i) { return parentItem ? parentItem->child(i) : tree->topLevelItem(i); };
        if (index + 1 < count)
            neighbour = at(index + 1);
        else if (index > 0)
            neighbour = at(index - 1);
        else
            neighbour = parentItem;
    }

    if (PasswordDatabase::Group* parent = group->getParent())
        parent->takeItem(group);
    else
        m_database.takeItem(group);
    deleteGroup(group, disallowBackup);

    {
        const QSignalBlocker blocker(tree);
        tree->clearSelection();
        if (neighbour) {
            tree->setCurrentItem(neighbour);
            neighbour->setSelected(true);
        }
    }
    groupSelectionChanged();
    if (!neighbour)
        refillPasswordTable();
    databaseChanged();
}

void MainWindow::deleteGroup(PasswordDatabase::Group* group, bool disallowBackup)
{
    if (!group)
        return;
    // Nothing may keep pointing into the group once it is gone.
    if (m_currentGroup && isInside(m_currentGroup, group)) {
        m_currentGroup = nullptr;
        m_currentPassword = nullptr;
        const QSignalBlocker blocker(ui->passwordTableWidget);
        ui->passwordTableWidget->clearContents();
        ui->passwordTableWidget->setRowCount(0);
        ui->infoTableWidget->clearContents();
        ui->infoTableWidget->setRowCount(0);
    }
    for (PasswordDatabase::Item* child : group->getItems()) {
        group->takeItem(child);
        // A backup group inside the deleted group goes without copies.
        if (child->isGroup())
            deleteGroup(static_cast<PasswordDatabase::Group*>(child), disallowBackup || isInBackupGroup(*child));
        else
            deletePassword(static_cast<PasswordDatabase::Password*>(child), disallowBackup);
    }
    {
        const QSignalBlocker blocker(ui->groupTreeWidget);
        delete ui->groupTreeWidget->findGroupItem(group);
    }
    m_database.recordDeletion(*group);
    delete group;
}

// ---------------------------------------------------------------- passwords

bool MainWindow::deletionKeepsCopies(const PasswordDatabase::Item& item) const
{
    if (isInBackupGroup(item) || !boolSetting(QStringLiteral("app.settings.backupDeletedPasswords"), true))
        return false;
    if (item.isPassword())
        return true;
    // A group's deletion keeps something only when a password lies inside.
    QList<const PasswordDatabase::Item*> pending { &item };
    while (!pending.isEmpty()) {
        const PasswordDatabase::Item* at = pending.takeLast();
        if (at->isPassword())
            return true;
        for (const PasswordDatabase::Item* child : static_cast<const PasswordDatabase::Group*>(at)->getItems())
            pending.append(child);
    }
    return false;
}

QString MainWindow::backupGroupName() const
{
    // The group a backup would go to, or the name of the one it would make.
    for (const PasswordDatabase::Item* item : m_database.getAllItems()) {
        if (item->isGroup() && item->getTag() == PasswordDatabase::BackupGroupTag)
            return item->getName();
    }
    return tr("Backup");
}

void MainWindow::backupPassword(const PasswordDatabase::Password& password)
{
    PasswordDatabase::Group* created = nullptr;
    ::backupPassword(m_database, password, &created);
    if (created) {
        const QSignalBlocker blocker(ui->groupTreeWidget);
        addGroupItem(created, nullptr);
    }
}

void MainWindow::deleteSelectedPassword()
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    if (!isDatabaseUsable() || !table->selectedPassword())
        return;
    if (boolSetting(QStringLiteral("app.settings.askBeforeDelete"), true)) {
        // The results stay on screen and follow the deletion.
        if (!m_searchResultsView)
            ui->findWidget->hide();
        const int generation = m_modelGeneration;
        const PasswordDatabase::Password* selected = table->selectedPassword();
        const QString text = deletionKeepsCopies(*selected)
            ? tr("Are you sure you want to delete the password? A copy of it is kept in the backup group \"%1\".")
                  .arg(backupGroupName())
            : tr("Are you sure you want to delete the password? This can't be undone.");
        if (!askWarning(this, tr("Delete Password"), text, tr("Delete Password"), tr("Cancel")))
            return;
        if (generation != m_modelGeneration)
            return;
    }
    PasswordDatabase::Password* password = table->selectedPassword();
    if (!password || !password->getParent())
        return;
    const bool disallowBackup = isInBackupGroup(*password);
    const int row = table->findPasswordRow(password);
    password->getParent()->takeItem(password);
    deletePassword(password, disallowBackup);

    if (table->rowCount() > 0) {
        const int next = qBound(0, row, table->rowCount() - 1);
        table->setCurrentCell(next, 0);
        table->selectRow(next);
        passwordSelectionChanged();
    } else {
        refillInfoTable();
    }
    databaseChanged();
}

void MainWindow::deletePassword(PasswordDatabase::Password* password, bool disallowBackup)
{
    if (!password)
        return;
    if (password == m_currentPassword)
        m_currentPassword = nullptr;
    PasswordTableWidget* table = ui->passwordTableWidget;
    const int row = table->findPasswordRow(password);
    if (row >= 0) {
        const QSignalBlocker blocker(table);
        table->removeRow(row);
        if (table->rowCount() == 0) {
            ui->infoTableWidget->clearContents();
            ui->infoTableWidget->setRowCount(0);
        }
    }
    if (!disallowBackup && boolSetting(QStringLiteral("app.settings.backupDeletedPasswords"), true))
        backupPassword(*password);
    // A finding must not outlive its entry: a later entry made at the same
    // address would inherit its warning.
    for (int i = m_auditFindings.size() - 1; i >= 0; --i) {
        if (m_auditFindings.at(i).password == password)
            m_auditFindings.removeAt(i);
    }
    m_database.recordDeletion(*password);
    delete password;
}

void MainWindow::deleteGroupOrPassword()
{
    // The window's focus widget, also while another window is active.
    QWidget* focus = focusWidget();
    if (!focus)
        return;
    if (focus == ui->groupTreeWidget || ui->groupTreeWidget->isAncestorOf(focus))
        deleteSelectedGroup();
    else if (focus == ui->passwordTableWidget || ui->passwordTableWidget->isAncestorOf(focus))
        deleteSelectedPassword();
}

void MainWindow::passwordActivated(QTableWidgetItem* item)
{
    if (PasswordDatabase::Password* password = PasswordTableWidget::passwordOf(item))
        openPassword(*password);
}

void MainWindow::passwordCustomContextMenuRequested(const QPoint& point)
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    QMenu menu(this);
    if (PasswordDatabase::Password* password = table->passwordAt(table->rowAt(point.y()))) {
        selectPassword(password);
        menu.addAction(m_deletePasswordAction);
        menu.addAction(m_openPasswordAction);
        menu.addSeparator();
        menu.addAction(m_copyUsernameAction);
        menu.addAction(m_copyPasswordAction);
        menu.addAction(m_copyUrlAction);
        menu.addAction(m_copyTotpAction);
        menu.addAction(m_openUrlAction);
        menu.addAction(m_performAutoTypeAction);
        menu.addSeparator();
        menu.addAction(m_setUpTotpAction);
        menu.addAction(m_showTotpQrAction);
    } else {
        menu.addAction(m_newPasswordAction);
    }
    menu.exec(table->viewport()->mapToGlobal(point));
}

PasswordDatabase::Group* MainWindow::newPasswordGroup() const
{
    if (!isDatabaseUsable())
        return nullptr;
    if (!m_searchResultsView)
        return ui->groupTreeWidget->selectedGroup();
    // The tree has no selection while results are shown: the group of the
    // selected result, or else the group shown when the search began.
    // A result in the backup group is an old copy: a new entry does not
    // belong beside it.
    const PasswordDatabase::Item* backup = m_database.getItemByTag(1);
    if (const PasswordDatabase::Password* selected = ui->passwordTableWidget->selectedPassword()) {
        if (!backup || !backup->isGroup() || !isInside(selected, static_cast<const PasswordDatabase::Group*>(backup)))
            return selected->getParent();
    }
    return ui->groupTreeWidget->findGroupItem(m_currentGroup) ? m_currentGroup : nullptr;
}

void MainWindow::newPassword()
{
    PasswordDatabase::Group* group = newPasswordGroup();
    if (!group)
        return;
    // The results stay on screen and take the new entry if it matches.
    if (!m_searchResultsView)
        ui->findWidget->hide();
    PasswordDatabase::Password fresh(QDateTime::currentDateTime().addYears(1));
    fresh.setNeverExpire(true);
    fresh.setIconId(group->getIconId());
    PasswordEditDialog dialog(this, true);
    dialog.loadPassword(fresh);
    if (!runEditor(dialog, NewPasswordEditor, group))
        return;
    auto* password = new PasswordDatabase::Password(fresh);
    *password = dialog.password();
    group->addItem(password);
    {
        BTaskController controller;
        SecurityAuditTask audit(&m_database, &m_auditFindings, password);
        audit.run(&controller);
    }
    refillPasswordTable();
    if (m_searchResultsView && ui->passwordTableWidget->findPasswordRow(password) < 0) {
        // Not among the results: the entry is shown in its group instead.
        ui->findWidget->hide();
        selectGroup(group);
    }
    selectPassword(password);
    databaseChanged();
}

void MainWindow::openPassword()
{
    if (PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr)
        openPassword(*password);
}

void MainWindow::openPassword(PasswordDatabase::Password& password)
{
    if (!isDatabaseUsable())
        return;
    // The results stay on screen and follow the edit.
    if (!m_searchResultsView)
        ui->findWidget->hide();
    PasswordEditDialog dialog(this, false);
    dialog.loadPassword(password);
    if (!runEditor(dialog, PasswordEditor, &password))
        return;
    // An unchanged OK keeps the database as it was.
    if (dialog.password() == password)
        return;
    if (boolSetting(QStringLiteral("app.settings.backupModifiedPasswords"), true))
        backupPassword(password);
    // The entries that shared the old password are audited again with it.
    QString previous = password.getPassword();
    password = dialog.password();
    {
        BTaskController controller;
        SecurityAuditTask audit(&m_database, &m_auditFindings, &password, previous);
        audit.run(&controller);
    }
    wipe(previous);
    refillPasswordTable();
    selectPassword(&password);
    databaseChanged();
}

void MainWindow::setClipboardString(const QString& string)
{
    m_clipboard->copy(string);
}

void MainWindow::clearClipboard()
{
    m_clipboard->clearIfUnchanged();
}

void MainWindow::clearTextFields(QWidget* window)
{
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
        // The editors inside spin and combo boxes hold numbers and choices.
        if (qobject_cast<QAbstractSpinBox*>(edit->parentWidget()) || qobject_cast<QComboBox*>(edit->parentWidget()))
            continue;
        // Wiped where it lies, not just removed: clear() would leave the
        // characters in the field's buffer and undo history.
        QString text = takeSecretText(edit);
        wipe(text);
    }
    for (QPlainTextEdit* edit : window->findChildren<QPlainTextEdit*>())
        edit->clear();
    for (QTextEdit* edit : window->findChildren<QTextEdit*>())
        edit->clear();
    for (QTableWidget* table : window->findChildren<QTableWidget*>())
        table->clearContents();
}

void MainWindow::copyUsername()
{
    if (const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr) {
        QString text = password->getUsername();
        setClipboardString(text);
        wipe(text);
    }
}

void MainWindow::copyPassword()
{
    if (const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr) {
        QString text = password->getPassword();
        setClipboardString(text);
        wipe(text);
    }
}

void MainWindow::copyTotp()
{
    const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword()
                                                                    : nullptr;
    OtpAuthLink link;
    if (!password || link.parseNote(password->getNote()) != OtpAuthLink::ValidLink)
        return;
    QString code = link.code(QDateTime::currentSecsSinceEpoch());
    setClipboardString(code);
    wipe(code);
}

void MainWindow::performAutoType()
{
    PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr;
    if (!password)
        return;
    QString error;
    if (!m_autoType->perform(*password, m_autoType->previousWindow(), &error))
        showError(this, tr("Auto-Type"), error);
}

void MainWindow::autoTypeHotkeyPressed(quint64 window, const QString& title)
{
    if (!m_database.isOpen()) {
        showAndRaise();
        AutoTypeController::bringToFront(this);
        showInformation(this, tr("Auto-Type"), tr("Open a password database to use Auto-Type."));
        return;
    }
    if (m_database.isLocked()) {
        // The unlock goes on with this request.
        setPendingAutoType({ window, title, QDateTime::currentMSecsSinceEpoch() });
        showAndRaise();
        AutoTypeController::bringToFront(this);
        ui->unlockDatabasePasswordLineEdit->setFocus();
        return;
    }
    if (isDatabaseUsable())
        autoTypeIntoWindow(window, title);
}

void MainWindow::autoTypeIntoWindow(quint64 window, const QString& title)
{
    PasswordDatabase::Password* chosen = nullptr;
    const QList<PasswordDatabase::Password*> matches = AutoTypeMatcher::matchingPasswords(m_database, title);
    if (matches.size() == 1) {
        chosen = matches.first();
    } else {
        AutoTypeChooserDialog dialog(matches.isEmpty() ? AutoTypeMatcher::allPasswords(m_database) : matches, title,
                                     this);
        // Asked from another program's window: the question comes to the
        // front, above that window.
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
        QTimer::singleShot(0, &dialog, [&dialog]() { AutoTypeController::bringToFront(&dialog); });
        if (!runEditor(dialog))
            return;
        chosen = dialog.selectedPassword();
    }
    if (!chosen)
        return;
    QString error;
    if (!m_autoType->perform(*chosen, window, &error))
        showError(this, tr("Auto-Type"), error);
}

void MainWindow::setUpTotp()
{
    PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr;
    if (!password)
        return;
    ui->findWidget->hide();
    TotpSetupDialog dialog(this, password->getName(), password->getUsername());
    QString present = OtpAuthLink::linkLine(password->getNote());
    dialog.setText(present);
    wipe(present);
    if (!runEditor(dialog))
        return;
    QString link = dialog.link();
    PasswordDatabase::Password edited(*password);
    edited.setNote(OtpAuthLink::noteWithLink(password->getNote(), link));
    wipe(link);
    if (edited == *password)
        return;
    if (boolSetting(QStringLiteral("app.settings.backupModifiedPasswords"), true))
        backupPassword(*password);
    *password = edited;
    refillPasswordTable();
    selectPassword(password);
    refillInfoTable();
    databaseChanged();
}

void MainWindow::showTotpQrCode()
{
    const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword()
                                                                    : nullptr;
    OtpAuthLink link;
    if (!password || link.parseNote(password->getNote()) != OtpAuthLink::ValidLink)
        return;
    ui->findWidget->hide();
    QString text = link.toString();
    const QString caption = link.issuer().isEmpty() || link.label().startsWith(link.issuer())
        ? link.label()
        : link.issuer() + QStringLiteral(" (") + link.label() + QLatin1Char(')');
    TotpQrDialog dialog(this, text, caption.isEmpty() ? password->getName() : caption);
    wipe(text);
    execDialog(this, &dialog);
}

void MainWindow::copyUrl()
{
    if (const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr) {
        if (!password->getUrl().isEmpty())
            setClipboardString(password->getUrl());
    }
}

void MainWindow::openPasswordURL()
{
    if (const PasswordDatabase::Password* password = isDatabaseUsable() ? ui->passwordTableWidget->selectedPassword() : nullptr) {
        if (!password->getUrl().isEmpty())
            openUrl(password->getUrl());
    }
}

// ---------------------------------------------------------------- drag and drop

void MainWindow::groupTreeWidgetItemDropped(QDropEvent* event)
{
    dropOnGroupTree(event->source(), event->pos());
}

void MainWindow::passwordTableWidgetItemDropped(QDropEvent* event)
{
    dropOnPasswordTable(event->source(), event->pos());
}

void MainWindow::dropOnGroupTree(QObject* source, const QPoint& position)
{
    if (!isDatabaseUsable())
        return;
    GroupTreeWidget* tree = ui->groupTreeWidget;
    QTreeWidgetItem* target = tree->itemAt(position);
    PasswordDatabase::Group* targetGroup = GroupTreeWidget::groupOf(target);

    if (source == ui->passwordTableWidget) {
        PasswordDatabase::Password* password = ui->passwordTableWidget->selectedPassword();
        PasswordDatabase::Group* from = password ? password->getParent() : nullptr;
        if (!from || !targetGroup)
            return;
        if (password == m_currentPassword)
            m_currentPassword = nullptr;
        from->takeItem(password);
        targetGroup->addItem(password);
        refillPasswordTable();
        databaseChanged();
        return;
    }
    if (source != tree)
        return;

    PasswordDatabase::Group* group = tree->selectedGroup();
    if (!group)
        return;
    auto detach = [this, group]() {
        if (PasswordDatabase::Group* parent = group->getParent())
            parent->takeItem(group);
        else
            m_database.takeItem(group);
    };

    if (!targetGroup) {
        detach();
        m_database.addItem(group);
    } else {
        if (isInside(targetGroup, group))
            return;
        const QRect rect = tree->visualItemRect(target);
        const int centre = rect.center().y();
        const int y = position.y();
        PasswordDatabase::Group* targetParent = targetGroup->getParent();
        if (y < centre - 3) {
            detach();
            if (targetParent)
                targetParent->insertItemBefore(targetGroup, group);
            else
                m_database.insertGroupBefore(targetGroup, group);
        } else if (y < centre + 3) {
            detach();
            targetGroup->addItem(group);
        } else if (targetGroup->isEmpty() || !(targetGroup->getGuiState() & PasswordDatabase::GuiExpanded)) {
            detach();
            if (targetParent)
                targetParent->insertItemAfter(targetGroup, group);
            else
                m_database.insertGroupAfter(targetGroup, group);
        } else {
            detach();
            targetGroup->addItemTop(group);
        }
    }
    rebuildGroupTree();
    databaseChanged();
}

void MainWindow::dropOnPasswordTable(QObject* source, const QPoint& position)
{
    PasswordTableWidget* table = ui->passwordTableWidget;
    if (!isDatabaseUsable() || source != table)
        return;
    PasswordDatabase::Password* password = table->selectedPassword();
    PasswordDatabase::Group* group = password ? password->getParent() : nullptr;
    if (!group)
        return;
    const int row = table->rowAt(position.y());
    PasswordDatabase::Password* target = table->passwordAt(row);
    if (target == password)
        return;
    if (target && target->getParent() != group)
        return;
    m_currentPassword = nullptr;
    group->takeItem(password);
    if (!target)
        group->addItem(password);
    else if (position.y() > table->visualRect(table->model()->index(row, 0)).center().y())
        group->insertItemAfter(target, password);
    else
        group->insertItemBefore(target, password);
    refillPasswordTable();
    databaseChanged();
}

void MainWindow::generatePassword()
{
    ui->findWidget->hide();
    // A stand-alone generator: the password is shown to the user and not
    // used by the window.
    BPasswordGeneratorDialog dialog(this);
    execDialog(this, &dialog);
}
