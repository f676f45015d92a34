#include "blib/app/BMainWindow.h"

#include "blib/app/BAboutDialog.h"
#include "blib/app/BAppInfo.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BLanguage.h"
#include "blib/app/BMainWindowForm.h"
#include "blib/app/BMainWindowShutdownTask.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/app/BSplashDialog.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/net/BCheckForUpdatesTask.h"
#include "blib/net/BSendFeedbackDialog.h"
#include "blib/net/BUpdateDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/plugin/BPasswordGeneratorPlugin.h"
#include "blib/plugin/BPluginRegistry.h"
#include "blib/task/BTaskDialog.h"
#include "blib/task/BTaskThread.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {

const char* const recentFilesKey = "blib.recentFiles";
const char* const geometryKey = "blib.mainWindow.geometry";
const char* const stateKey = "blib.mainWindow.state";
const char* const languageKey = "blib.language.current";
constexpr int maxRecentFiles = 10;
constexpr int stateVersion = 0;
constexpr int splashMs = 4000;
constexpr int windowIconId = 227;
constexpr int trayIconId = 225;
constexpr int englishId = 100;

} // namespace

BMainWindow::BMainWindow(QApplication* application, QWidget* parent, BMainWindowForm* form)
    : QMainWindow(parent, Qt::WindowFlags())
    , m_form(form)
    , m_application(application)
{
    setWindowIcon(resourceIcon(windowIconId));
    pruneRecentFiles();
    // Runs once the event loop is up, after the application's constructor.
    QTimer::singleShot(0, this, &BMainWindow::deferredSetup);
}

BMainWindow::~BMainWindow() = default;

// ---------------------------------------------------------------- set-up

void BMainWindow::deferredSetup()
{
    m_form->setupForm(this);
    m_trayMenu = new QMenu(this);

    registerBuiltInPasswordGenerators();
    registerPluginFactories();
    loadPlugins();
    createActions();

    BWelcomeWidget* welcome = m_form->formWelcomeWidget();
    if (populateWelcomeWidget()) {
        connect(welcome, &BWelcomeWidget::recentFileClicked,
                this, qOverload<const QString&>(&BMainWindow::_openRecentFile));
        connect(welcome, &BWelcomeWidget::clearRecentFilesClicked, this, &BMainWindow::clearRecentFilesList);
    } else {
        welcome->hide();
    }

    buildMenus();

    m_form->formToolBar()->setContextMenuPolicy(Qt::CustomContextMenu);
    createToolBar();
    QStatusBar* status = m_form->formStatusBar();
    status->hide();
    connect(status, &QStatusBar::messageChanged, this, &BMainWindow::statusBarMessageChanged);

    completeSetup();

    const QByteArray geometry = byteArraySetting(QString::fromLatin1(geometryKey));
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = byteArraySetting(QString::fromLatin1(stateKey));
    if (!state.isEmpty())
        restoreState(state, stateVersion);

    for (const RegisteredSplitter& entry : qAsConst(m_splitters)) {
        if (entry.splitter && containsSetting(entry.key))
            entry.splitter->restoreState(byteArraySetting(entry.key));
    }

    retranslate();
    checkForUpdatesInBackground();
    enterInitialView();
    updateActions();

    QTimer::singleShot(0, this, &BMainWindow::showSplashDialog);
}

void BMainWindow::buildMenus()
{
    QMenuBar* bar = m_form->formMenuBar();
    bar->setContextMenuPolicy(Qt::CustomContextMenu);

    createMenus();

    if (m_fileMenu) {
        m_fileMenu->addSeparator();
        QAction* quit = m_fileMenu->addAction(tr("&Quit"));
        quit->setShortcut(QKeySequence::Quit);
        connect(quit, &QAction::triggered, this, &BMainWindow::closeNoMinimise);
    }

    if (m_toolsMenu) {
        m_toolsMenu->addSeparator();
        QAction* settings = m_toolsMenu->addAction(tr("&Settings..."));
        settings->setShortcut(QKeySequence::Preferences);
        connect(settings, &QAction::triggered, this, &BMainWindow::openSettingsDialogSlot);
    }

    // Not translated: whoever needs this menu may not read the current language.
    m_languageMenu = bar->addMenu(QStringLiteral("Language"));
    auto* languages = new QActionGroup(m_languageMenu);
    languages->setExclusive(true);
    QAction* english = languages->addAction(languageName(englishId));
    english->setData(englishId);
    english->setCheckable(false);
    m_languageMenu->addAction(english);
    connect(languages, &QActionGroup::triggered, this, &BMainWindow::changeLanguage);

    m_helpMenu = bar->addMenu(tr("&Help"));
    QAction* manual = m_helpMenu->addAction(tr("User &Manual..."));
    manual->setShortcut(QKeySequence::HelpContents);
    connect(manual, &QAction::triggered, this, &BMainWindow::openUserManual);
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(tr("Report &Bug...")), &QAction::triggered,
            this, &BMainWindow::openReportBugDialog);
    connect(m_helpMenu->addAction(tr("Send &Suggestion...")), &QAction::triggered,
            this, &BMainWindow::openSendSuggestionDialog);
    connect(m_helpMenu->addAction(tr("Check for &Updates")), &QAction::triggered,
            this, &BMainWindow::checkForUpdates);
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(tr("&About...")), &QAction::triggered, this, &BMainWindow::openAboutDialog);
}

void BMainWindow::registerBuiltInPasswordGenerators()
{
    // Generator plugins can be created from here on; the plugins themselves
    // are loaded later, so the random generator still comes first.
    BPasswordGeneratorPlugin::registerPluginFactory();

    // The random generator always comes first in the generator list. It
    // lives for the whole run; a second main window does not add it again.
    BPasswordGeneratorRandom* random = BPasswordGeneratorRandom::instance();
    if (!passwordGenerators().contains(random))
        registerPasswordGenerator(random);
}

void BMainWindow::loadPlugins()
{
    loadAllPlugins();
}

void BMainWindow::shutDownPlugins()
{
    // Each loaded plugin stores its option values and is destroyed; its
    // file stays in the plugin folder for the next start. The factory goes
    // only after its plugins.
    unloadAllPlugins();
    BPasswordGeneratorPlugin::unregisterPluginFactory();
}

// ---------------------------------------------------------------- hooks

void BMainWindow::retranslate()
{
    updateTitleAndStatus();
}

bool BMainWindow::mayClose()
{
    return true;
}

bool BMainWindow::windowMinimised(bool)
{
    return true;
}

void BMainWindow::registerPluginFactories()
{
}

void BMainWindow::unregisterPluginFactories()
{
}

// ---------------------------------------------------------------- operations for the application

void BMainWindow::addRecentFilesMenu()
{
    if (!m_fileMenu)
        return;
    m_recentFilesMenu = m_fileMenu->addMenu(tr("Recent Files"));
    connect(m_recentFilesMenu, &QMenu::triggered, this, qOverload<QAction*>(&BMainWindow::_openRecentFile));
}

QString BMainWindow::splitterSettingsKey(const QString& name)
{
    return QStringLiteral("%1.mainWindow.%2_splitter").arg(QString::fromLatin1(BAppInfo::settingsPrefix), name);
}

void BMainWindow::registerSplitter(QSplitter* splitter, const QString& name)
{
    m_splitters.append({ splitter, splitterSettingsKey(name) });
}

QAction* BMainWindow::createAction(const QString& text, const QString& toolTip, const char* slot,
                                   int iconId, const QKeySequence& shortcut)
{
    auto* action = new QAction(text, this);
    if (iconId != 0)
        action->setIcon(resourceIcon(iconId));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    action->setToolTip(toolTip);
    connect(action, SIGNAL(triggered(bool)), this, slot);
    return action;
}

void BMainWindow::setModified(bool modified)
{
    m_modified = modified;
    updateTitleAndStatus();
}

// ---------------------------------------------------------------- recent files

void BMainWindow::addRecentFile(const QString& path)
{
    const QStringList old = recentFiles();
    QStringList list { path };
    for (const QString& entry : old) {
        if (list.size() >= maxRecentFiles)
            break;
        if (entry != path)
            list.append(entry);
    }
    setStringListSetting(QString::fromLatin1(recentFilesKey), list);
}

QStringList BMainWindow::recentFiles()
{
    return stringListSetting(QString::fromLatin1(recentFilesKey));
}

void BMainWindow::clearRecentFiles()
{
    setStringListSetting(QString::fromLatin1(recentFilesKey), QStringList());
}

void BMainWindow::pruneRecentFiles()
{
    QStringList kept;
    for (const QString& path : recentFiles()) {
        if (QFileInfo::exists(path))
            kept.append(path);
    }
    setStringListSetting(QString::fromLatin1(recentFilesKey), kept);
}

void BMainWindow::refreshRecentFiles()
{
    rebuildRecentFilesMenu();
    if (BWelcomeWidget* welcome = m_form->formWelcomeWidget())
        welcome->refreshRecentFiles();
}

void BMainWindow::rebuildRecentFilesMenu()
{
    if (!m_recentFilesMenu)
        return;
    m_recentFilesMenu->clear();

    const QStringList files = recentFiles();
    if (files.isEmpty()) {
        m_recentFilesMenu->addAction(tr("No recent files"))->setEnabled(false);
    } else {
        for (const QString& path : files) {
            QAction* action = m_recentFilesMenu->addAction(QFileInfo(path).fileName());
            action->setData(path);
        }
    }
    m_recentFilesMenu->addSeparator();
    // Its triggered() also reaches the menu's handler, which ignores actions
    // without a path.
    QAction* clear = m_recentFilesMenu->addAction(tr("Clear List"));
    connect(clear, &QAction::triggered, this, &BMainWindow::clearRecentFilesList);
}

void BMainWindow::_openRecentFile(QAction* action)
{
    const QString path = action->data().toString();
    if (!path.isEmpty())
        emit openRecentFile(path);
}

void BMainWindow::_openRecentFile(const QString& filePath)
{
    emit openRecentFile(filePath);
}

void BMainWindow::clearRecentFilesList()
{
    clearRecentFiles();
    if (BWelcomeWidget* welcome = m_form->formWelcomeWidget())
        welcome->refreshRecentFiles();
    rebuildRecentFilesMenu();
}

// ---------------------------------------------------------------- splash

void BMainWindow::showSplashDialog()
{
    hideSplashDialog();
    m_splashDialog = new BSplashDialog(this);
    m_splashDialog->show();
    QPointer<BSplashDialog> shown = m_splashDialog;
    QTimer::singleShot(splashMs, this, [this, shown]() {
        if (shown && shown == m_splashDialog)
            hideSplashDialog();
    });
    connect(m_splashDialog, &QDialog::accepted, this, &BMainWindow::hideSplashDialog);
}

void BMainWindow::hideSplashDialog()
{
    if (!m_splashDialog)
        return;
    BSplashDialog* splash = m_splashDialog;
    m_splashDialog = nullptr;
    splash->close();
    // Deferred: this may run from inside the splash's own mouse handler.
    splash->deleteLater();
}

void BMainWindow::mousePressEvent(QMouseEvent* event)
{
    hideSplashDialog();
    QMainWindow::mousePressEvent(event);
}

void BMainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        hideSplashDialog();
    QMainWindow::keyPressEvent(event);
}

// ---------------------------------------------------------------- title, language

void BMainWindow::updateTitleAndStatus()
{
    QString title = tr("Lockharbour Password Manager");
    if (!m_titleNote.isEmpty())
        title += QStringLiteral(" (%1)").arg(m_titleNote);
    if (m_modified)
        title += tr(" *(unsaved changes)");
    setWindowTitle(title);
    if (QStatusBar* status = m_form->formStatusBar())
        status->showMessage(QString::fromUtf8(BAppInfo::copyrightNotice));
}

void BMainWindow::setTitleNote(const QString& note)
{
    m_titleNote = note;
    updateTitleAndStatus();
}

void BMainWindow::statusBarMessageChanged(const QString&)
{
    updateTitleAndStatus();
}

void BMainWindow::changeLanguage(QAction* action)
{
    const int id = action->data().toInt();
    if (setLanguage(id))
        setIntSetting(QString::fromLatin1(languageKey), id);
    m_form->retranslateForm(this);
    retranslate();
}

void BMainWindow::changeEvent(QEvent* event)
{
    // Other change events are deliberately not passed on to QMainWindow.
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
    } else if (event->type() == QEvent::WindowStateChange) {
        if (windowState() & Qt::WindowMinimized) {
            if (!m_hideWhenMinimised) {
                windowMinimised(false);
            } else {
                windowMinimised(true);
                hide();
            }
        }
    }
}

// ---------------------------------------------------------------- tray

void BMainWindow::setSystemTrayIconVisible(bool visible)
{
    if (visible == m_trayIconShown)
        return;
    m_trayIconShown = visible;
    if (visible) {
        m_trayIcon = new QSystemTrayIcon(resourceIcon(trayIconId), this);
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, &BMainWindow::systemTrayIconActivated);
        m_trayIcon->setVisible(true);
        m_trayIcon->setContextMenu(m_trayMenu);
    } else if (m_trayIcon) {
        m_trayIcon->hide();
        delete m_trayIcon;
        m_trayIcon = nullptr;
    }
}

void BMainWindow::setHideWhenMinimised(bool hide)
{
    m_hideWhenMinimised = hide;
}

void BMainWindow::setMinimiseOnClose(bool minimise)
{
    m_minimiseOnClose = minimise;
    m_minimiseOnCloseArmed = minimise;
}

void BMainWindow::systemTrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showAndRaise();
}

void BMainWindow::showAndRaise()
{
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

// ---------------------------------------------------------------- closing

void BMainWindow::closeNoMinimise()
{
    m_minimiseOnCloseArmed = false;
    QTimer::singleShot(0, this, &QWidget::close);
}

void BMainWindow::closeEvent(QCloseEvent* event)
{
    showAndRaise();

    if (m_trayIconShown && m_minimiseOnCloseArmed) {
        windowMinimised(true);
        hide();
        event->ignore();
        return;
    }

    if (!mayClose()) {
        event->ignore();
        m_minimiseOnCloseArmed = m_minimiseOnClose;
        return;
    }

    prepareShutdown();
    BMainWindowShutdownTask task(this);
    BTaskDialog::run(this, &task, false);
    event->accept();
}

void BMainWindow::prepareShutdown()
{
    m_shuttingDown = true;
    setSystemTrayIconVisible(false);

    for (const RegisteredSplitter& entry : qAsConst(m_splitters)) {
        if (entry.splitter)
            setByteArraySetting(entry.key, entry.splitter->saveState());
    }

    if (m_splashDialog) {
        BSplashDialog* splash = m_splashDialog;
        m_splashDialog = nullptr;
        splash->close();
        delete splash;
    }

    shutDownPlugins();
    unregisterPluginFactories();
    hideTransientWidgets();

    setByteArraySetting(QString::fromLatin1(geometryKey), saveGeometry());
    setByteArraySetting(QString::fromLatin1(stateKey), saveState(stateVersion));

    // The form object itself stays until the window is destroyed: the
    // shutdown dialog's event loop may still deliver timers and queued
    // signals to the application's slots, which reach the form through it.
}

void BMainWindow::shutdownTaskFinished(BTask* task, BTaskResult)
{
    delete task;
}

// ---------------------------------------------------------------- help menu

void BMainWindow::openSettingsDialogSlot()
{
    openSettingsDialog();
}

void BMainWindow::openUserManual()
{
    openUrl(QString::fromUtf8(BAppInfo::webAddress) + QStringLiteral("#manuals"));
}

void BMainWindow::openReportBugDialog()
{
    BSendFeedbackDialog dialog(this, BSendFeedbackDialog::BugReportMode);
    execDialog(this, &dialog);
}

void BMainWindow::openSendSuggestionDialog()
{
    BSendFeedbackDialog dialog(this, BSendFeedbackDialog::SuggestionMode);
    execDialog(this, &dialog);
}

void BMainWindow::checkForUpdates()
{
    BCheckForUpdatesTask task;
    // A failure is reported in one box, with the request's reason if any.
    QString error;
    switch (BTaskDialog::run(this, &task, false, &error)) {
    case Success:
        if (task.updateAvailable()) {
            BUpdateDialog dialog(this, task.updateInfo());
            execDialog(this, &dialog);
        } else {
            showInformation(this, tr("Up To Date"), tr("You already have the latest version."));
        }
        break;
    case Failure:
        showError(this, tr("Error"),
                  error.isEmpty() ? tr("Failed to check for updates.")
                                  : tr("Failed to check for updates.") + QLatin1Char('\n') + error);
        break;
    case Cancelled:
        break;
    }
}

void BMainWindow::checkForUpdatesInBackground()
{
    startBackgroundTask(this, new BCheckForUpdatesTask,
                        SLOT(checkForUpdatesInBackgroundFinished(BTask*,BTaskResult)));
}

void BMainWindow::checkForUpdatesInBackgroundFinished(BTask* task, BTaskResult result)
{
    auto* check = qobject_cast<BCheckForUpdatesTask*>(task);
    // Nothing pops up over a window that is on its way out.
    if (check && result == Success && check->updateAvailable() && !m_shuttingDown) {
        BUpdateDialog dialog(this, check->updateInfo());
        execDialog(this, &dialog);
    }
    delete task;
}

void BMainWindow::openAboutDialog()
{
    BAboutDialog dialog(this);
    execDialog(this, &dialog);
}
