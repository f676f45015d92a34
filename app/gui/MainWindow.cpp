#include "app/gui/MainWindow.h"

#include "ui_MainWindow.h"

#include "app/gui/EntryIconPackBuiltIn.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BInactivityTimer.h"
#include "blib/app/BMainWindowForm.h"
#include "blib/app/BSettings.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/password/BPasswordGeneratorDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace {

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
{
    if (application)
        application->installEventFilter(m_inactivityTimer);
    connect(m_inactivityTimer, &BInactivityTimer::inactive, this, &MainWindow::lockWorkspace);
}

MainWindow::~MainWindow()
{
    if (application())
        application()->removeEventFilter(m_inactivityTimer);
}

// ---------------------------------------------------------------- framework hooks

void MainWindow::registerPluginFactories()
{
    // The built-in pack comes first in the icon-pack list, before any pack
    // a plugin creates once the plugins are loaded.
    if (!m_builtInIconPack) {
        m_builtInIconPack = std::make_unique<EntryIconPackBuiltIn>();
        EntryIconPack::addPack(m_builtInIconPack.get());
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
                                          SLOT(saveDatabaseAs()), 0, QKeySequence::SaveAs);
    m_databaseSettingsAction = createAction(tr("Database Se&ttings..."),
                                            tr("Change the password database settings"),
                                            SLOT(databaseSettings()));
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
                                       SLOT(newPassword()), newPasswordIcon);
    m_deletePasswordAction = createAction(tr("&Delete Password"), tr("Delete the selected password"),
                                          SLOT(deleteSelectedPassword()), deletePasswordIcon);
    m_openPasswordAction = createAction(tr("&Open Password..."), tr("Open the selected password"),
                                        SLOT(openPassword()), openPasswordIcon);
    m_copyUsernameAction = createAction(tr("Copy &Username..."), tr("Copy the username to the clipboard"),
                                        SLOT(copyUsername()));
    m_copyPasswordAction = createAction(tr("Copy &Password..."), tr("Copy the password to the clipboard"),
                                        SLOT(copyPassword()));
    m_openUrlAction = createAction(tr("Open U&RL..."), tr("Open the URL"), SLOT(openPasswordURL()), openUrlIcon);
    m_findPasswordAction = createAction(tr("&Find Password..."), tr("Search for a password"),
                                        SLOT(findPassword()), findPasswordIcon, QKeySequence::Find);
    m_generatePasswordAction = createAction(tr("&Generate Password..."), tr("Generate a password"),
                                            SLOT(generatePassword()));
    m_deleteAction = createAction(tr("&Delete"), tr("Delete selected group or password"),
                                  SLOT(deleteGroupOrPassword()), deleteIcon, QKeySequence::Delete);

    connect(this, &BMainWindow::openRecentFile, this, qOverload<const QString&>(&MainWindow::openDatabase));
    connect(ui->groupTreeWidget, &QTreeWidget::itemSelectionChanged, this, &MainWindow::groupSelectionChanged);
    connect(ui->passwordTableWidget, &QTableWidget::itemSelectionChanged,
            this, &MainWindow::passwordSelectionChanged);
    connect(ui->unlockDatabasePasswordLineEdit, &QLineEdit::returnPressed, this, &MainWindow::unlockWorkspace);
    connect(ui->unlockDatabaseButton, &QPushButton::clicked, this, &MainWindow::unlockWorkspace);
    connect(ui->closeDatabaseLabel, &QLabel::linkActivated, this, &MainWindow::closeDatabase);

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
    m_passwordMenu->addAction(m_openUrlAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_findPasswordAction);
    m_passwordMenu->addSeparator();
    m_passwordMenu->addAction(m_generatePasswordAction);

    setToolsMenu(bar->addMenu(tr("&Tools")));
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
    showInformation(this, tr("Settings"), tr("The settings dialog is not available in this build."));
    applyTraySettings();
}

bool MainWindow::mayClose()
{
    // Nothing can be unsaved while no database can be open.
    return true;
}

bool MainWindow::windowMinimised(bool)
{
    if (isDatabaseUsable() && boolSetting(QStringLiteral("app.settings.lockWorkspaceOnMinimise"), false))
        lockWorkspace();
    return true;
}

void MainWindow::updateActions()
{
    const bool usable = isDatabaseUsable();
    const bool groupSelected = usable && !ui->groupTreeWidget->selectedItems().isEmpty();
    const bool passwordSelected = usable && !ui->passwordTableWidget->selectedItems().isEmpty();

    for (QAction* action : { m_closeDatabaseAction, m_saveDatabaseAction, m_saveDatabaseAsAction,
                             m_databaseSettingsAction, m_lockWorkspaceAction, m_newGroupAction,
                             m_findPasswordAction })
        action->setEnabled(usable);
    for (QAction* action : { m_newSubGroupAction, m_deleteGroupAction, m_editGroupAction, m_newPasswordAction })
        action->setEnabled(groupSelected);
    for (QAction* action : { m_deletePasswordAction, m_openPasswordAction, m_copyUsernameAction,
                             m_copyPasswordAction })
        action->setEnabled(passwordSelected);
    // Needs the selected password's URL, which arrives with the password table.
    m_openUrlAction->setEnabled(false);
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
    updateActions();
}

void MainWindow::goToDatabaseView()
{
    ui->stackedWidget->setCurrentWidget(ui->databaseWidget);
    ui->mainToolBar->show();
    if (boolSetting(QStringLiteral("app.settings.lockWorkspaceTimeout"), false))
        m_inactivityTimer->start(intSetting(QStringLiteral("app.settings.lockWorkspaceTimeoutSeconds"), 600));
    updateActions();
}

void MainWindow::goToLockedView()
{
    ui->findWidget->hide();
    clearViews();
    ui->stackedWidget->setCurrentWidget(ui->databaseLockedWidget);
    ui->mainToolBar->hide();
    ui->unlockDatabasePasswordLineEdit->setFocus();
    m_inactivityTimer->stop();
    updateActions();
}

void MainWindow::clearViews()
{
    ui->groupTreeWidget->clear();
    ui->passwordTableWidget->clearContents();
    ui->passwordTableWidget->setRowCount(0);
    ui->infoTableWidget->clearContents();
    ui->infoTableWidget->setRowCount(0);
}

bool MainWindow::isDatabaseUsable() const
{
    // No database can be opened yet.
    return false;
}

void MainWindow::applyTraySettings()
{
    QMenu* menu = trayMenu();
    menu->clear();
    connect(menu->addAction(tr("Show")), &QAction::triggered, this, &BMainWindow::showAndRaise);
    menu->addSeparator();
    connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &BMainWindow::closeNoMinimise);

    setSystemTrayIconVisible(boolSetting(QStringLiteral("app.settings.showInSystemTray"), false));
    setHideWhenMinimised(boolSetting(QStringLiteral("app.settings.showInSystemTrayOnly"), false));
    setMinimiseOnClose(boolSetting(QStringLiteral("app.settings.minimiseOnClose"), false));
}

// ---------------------------------------------------------------- flows still to come

void MainWindow::newDatabase()
{
    // Creating a database here arrives with the database editor.
    showDatabaseWorkspaceUnavailable(tr("New Database"));
}

void MainWindow::openDatabase()
{
    // Opening a database here arrives with the unlock dialog.
    showDatabaseWorkspaceUnavailable(tr("Open Database"));
}

void MainWindow::openDatabase(const QString&)
{
    showDatabaseWorkspaceUnavailable(tr("Open Database"));
}

void MainWindow::showDatabaseWorkspaceUnavailable(const QString& title)
{
    showInformation(this, title,
                    tr("Working with databases in this window is not available in this build. "
                       "The command-line client lockharbour-cli creates, reads and edits database files."));
}

void MainWindow::findPassword()
{
    // Only in the database view; the find widget arrives later.
}

void MainWindow::closeDatabase()
{
}

void MainWindow::saveDatabase()
{
    saveDatabaseOrSaveAs(false);
}

void MainWindow::saveDatabaseAs()
{
    saveDatabaseOrSaveAs(true);
}

bool MainWindow::saveDatabaseOrSaveAs(bool)
{
    // Nothing can be saved before databases exist.
    return false;
}

void MainWindow::databaseSettings()
{
}

void MainWindow::lockWorkspace()
{
    // Locking needs an open, unlocked database; there is none yet.
}

void MainWindow::unlockWorkspace()
{
    ui->unlockDatabasePasswordLineEdit->clear();
}

void MainWindow::newGroup()
{
}

void MainWindow::newSubGroup()
{
}

void MainWindow::deleteSelectedGroup()
{
}

void MainWindow::editGroup()
{
}

void MainWindow::newPassword()
{
}

void MainWindow::deleteSelectedPassword()
{
}

void MainWindow::openPassword()
{
}

void MainWindow::copyUsername()
{
}

void MainWindow::copyPassword()
{
}

void MainWindow::openPasswordURL()
{
}

void MainWindow::deleteGroupOrPassword()
{
}

void MainWindow::groupSelectionChanged()
{
    updateActions();
}

void MainWindow::passwordSelectionChanged()
{
    updateActions();
}

void MainWindow::generatePassword()
{
    ui->findWidget->hide();
    // A stand-alone generator: the password is shown to the user and not
    // used by the window.
    BPasswordGeneratorDialog dialog(this);
    execDialog(this, &dialog);
}
