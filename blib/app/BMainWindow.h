#ifndef BMAINWINDOW_H
#define BMAINWINDOW_H

#include "blib/app/BSplashDialog.h"
#include "blib/task/BTask.h"
#include "blib/task/BTaskResult.h"

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSplitter>
#include <QSystemTrayIcon>

#include <memory>

class BMainWindowForm;
class QAction;
class QApplication;
class QMenu;

// The framework's main window. It builds the application's form once the
// event loop runs (deferred set-up), adds the Quit, Settings, Language and
// Help entries to the application's menus, keeps the recent-files list,
// persists geometry, tool-bar state and splitter positions, runs the tray
// icon and the splash, decides what the close button does and shuts the
// program down through a task. The application plugs in through the
// virtual hooks below.
class BMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `form` is the application's designer form (owned); it is built onto
    // the window during deferred set-up.
    BMainWindow(QApplication* application, QWidget* parent, BMainWindowForm* form);
    ~BMainWindow() override;

    // Recent-files store ("blib.recentFiles", most recent first, at most 10).
    static void addRecentFile(const QString& path);
    static QStringList recentFiles();
    static void clearRecentFiles();
    // Drops the entries whose file no longer exists.
    static void pruneRecentFiles();

    void setModified(bool modified);
    bool isModified() const { return m_modified; }
    // A note the title shows after the program's name (such as that the
    // open file is read-only); empty for none.
    void setTitleNote(const QString& note);

    // Rebuilds the recent-files menu and lets the welcome widget re-read it.
    void refreshRecentFiles();
    void rebuildRecentFilesMenu();

    void setSystemTrayIconVisible(bool visible);
    bool isSystemTrayIconVisible() const { return m_trayIconShown; }
    void setHideWhenMinimised(bool hide);
    void setMinimiseOnClose(bool minimise);
    QMenu* trayMenu() const { return m_trayMenu; }
    QSystemTrayIcon* systemTrayIcon() const { return m_trayIcon; }

    QApplication* application() const { return m_application; }
    BSplashDialog* splashDialog() const { return m_splashDialog; }
    QMenu* fileMenu() const { return m_fileMenu; }
    QMenu* recentFilesMenu() const { return m_recentFilesMenu; }
    QMenu* toolsMenu() const { return m_toolsMenu; }
    QMenu* languageMenu() const { return m_languageMenu; }
    QMenu* helpMenu() const { return m_helpMenu; }

    // Settings key of a splitter registered under `name`.
    static QString splitterSettingsKey(const QString& name);

signals:
    // A recent file was chosen, from the menu or the welcome widget.
    void openRecentFile(const QString& filePath);

public slots:
    void showSplashDialog();
    void hideSplashDialog();
    void changeLanguage(QAction* action);
    void statusBarMessageChanged(const QString& message);
    void updateTitleAndStatus();
    void openSettingsDialogSlot();
    void openUserManual();
    void openReportBugDialog();
    void openSendSuggestionDialog();
    void checkForUpdates();
    void checkForUpdatesInBackground();
    void checkForUpdatesInBackgroundFinished(BTask* task, BTaskResult result);
    void shutdownTaskFinished(BTask* task, BTaskResult result);
    void openAboutDialog();
    void _openRecentFile(QAction* action);
    void _openRecentFile(const QString& filePath);
    void clearRecentFilesList();
    void systemTrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    // Closes the window even when the close button would hide it to the tray.
    void closeNoMinimise();
    void showAndRaise();

protected:
    // Hooks for the application, in the order of the framework's vtable.
    virtual void enterInitialView() = 0;
    virtual void hideTransientWidgets() = 0;
    virtual void createActions() = 0;
    // True: the welcome widget's recent-files list is wired; false hides it.
    virtual bool populateWelcomeWidget() = 0;
    // Must set the file and tools menus (setFileMenu, setToolsMenu).
    virtual void createMenus() = 0;
    virtual void createToolBar() = 0;
    virtual void completeSetup() = 0;
    virtual void retranslate();
    virtual void openSettingsDialog() = 0;
    virtual bool mayClose();
    // After a minimise, and when a close is turned into hiding to the tray.
    virtual bool windowMinimised(bool hidden);
    virtual void updateActions() = 0;
    virtual void registerPluginFactories();
    virtual void unregisterPluginFactories();

    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

    BMainWindowForm* form() const { return m_form.get(); }
    void setFileMenu(QMenu* menu) { m_fileMenu = menu; }
    void setToolsMenu(QMenu* menu) { m_toolsMenu = menu; }

    // Adds the "Recent Files" submenu to the file menu; call from
    // createMenus() where it belongs, then rebuildRecentFilesMenu().
    void addRecentFilesMenu();
    // Persists the splitter's state under "lockharbour.mainWindow.<name>_splitter".
    // Call from createActions() or earlier.
    void registerSplitter(QSplitter* splitter, const QString& name);
    // The action factory: `slot` (a SLOT() signature on this window) is
    // connected to triggered(bool); icon id 0 and an empty key sequence mean
    // none.
    QAction* createAction(const QString& text, const QString& toolTip, const char* slot,
                          int iconId = 0, const QKeySequence& shortcut = QKeySequence());

private slots:
    void deferredSetup();

private:
    struct RegisteredSplitter {
        QPointer<QSplitter> splitter;
        QString key;
    };

    void buildMenus();
    void prepareShutdown();

    // Built-in plugin types and plugins. The password-generator plugin
    // factory, the random generator and the plugin loader plug in here.
    void registerBuiltInPasswordGenerators();
    void loadPlugins();
    void shutDownPlugins();

    std::unique_ptr<BMainWindowForm> m_form;
    QApplication* m_application;
    QMenu* m_fileMenu = nullptr;
    QMenu* m_recentFilesMenu = nullptr;
    QMenu* m_toolsMenu = nullptr;
    QMenu* m_languageMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QPointer<BSplashDialog> m_splashDialog;
    QList<RegisteredSplitter> m_splitters;
    bool m_modified = false;
    QString m_titleNote;
    bool m_trayIconShown = false;
    bool m_hideWhenMinimised = false;
    bool m_minimiseOnClose = false;
    bool m_minimiseOnCloseArmed = false;
    bool m_shuttingDown = false;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayMenu = nullptr;
};

#endif // BMAINWINDOW_H
