#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "blib/app/BMainWindow.h"

#include <memory>

class BInactivityTimer;
class EntryIconPackBuiltIn;
class QAction;
class QApplication;
class QMenu;

namespace Ui {
class MainWindow;
}
template <class Form>
class BMainWindowFormOf;

// The application's one top-level window: the password-manager workspace
// with its three views (no database, database, locked), its actions, menus
// and tool bar, on top of the framework window.
class MainWindow : public BMainWindow
{
    Q_OBJECT

public:
    MainWindow(QApplication* application, QWidget* parent = nullptr);
    ~MainWindow() override;

    bool isNoDatabaseView() const;
    bool isDatabaseView() const;
    bool isLockedView() const;

public slots:
    void goToNoDatabaseView();
    void goToDatabaseView();
    void goToLockedView();

    // Database flows; they arrive with the database model.
    void newDatabase();
    void openDatabase();
    void openDatabase(const QString& filePath);
    void findPassword();
    void closeDatabase();
    void saveDatabase();
    void saveDatabaseAs();
    bool saveDatabaseOrSaveAs(bool forceSaveAs);
    void databaseSettings();
    void lockWorkspace();
    void unlockWorkspace();

    // Group and password flows; they arrive with the tree and the table.
    void newGroup();
    void newSubGroup();
    void deleteSelectedGroup();
    void editGroup();
    void newPassword();
    void deleteSelectedPassword();
    void openPassword();
    void copyUsername();
    void copyPassword();
    void openPasswordURL();
    void deleteGroupOrPassword();
    void groupSelectionChanged();
    void passwordSelectionChanged();
    void generatePassword();

protected:
    void enterInitialView() override;
    void hideTransientWidgets() override;
    void registerPluginFactories() override;
    void createActions() override;
    bool populateWelcomeWidget() override;
    void createMenus() override;
    void createToolBar() override;
    void completeSetup() override;
    void openSettingsDialog() override;
    bool mayClose() override;
    bool windowMinimised(bool hidden) override;
    void updateActions() override;

    void keyPressEvent(QKeyEvent* event) override;

private:
    // Whether a database is open and not locked.
    bool isDatabaseUsable() const;
    // Empties the group tree, the password table and the info table.
    void clearViews();
    // Tells the user that a database flow is not in this build yet.
    void showDatabaseWorkspaceUnavailable(const QString& title);
    // Hands the tray settings to the framework and rebuilds the tray menu.
    void applyTraySettings();

    BMainWindowFormOf<Ui::MainWindow>* ui; // owned by the framework window
    BInactivityTimer* m_inactivityTimer;
    // First in the icon-pack list from the plugin-factory registration on.
    std::unique_ptr<EntryIconPackBuiltIn> m_builtInIconPack;

    QAction* m_newDatabaseAction = nullptr;
    QAction* m_openDatabaseAction = nullptr;
    QAction* m_closeDatabaseAction = nullptr;
    QAction* m_saveDatabaseAction = nullptr;
    QAction* m_saveDatabaseAsAction = nullptr;
    QAction* m_databaseSettingsAction = nullptr;
    QAction* m_lockWorkspaceAction = nullptr;
    QAction* m_newGroupAction = nullptr;
    QAction* m_newSubGroupAction = nullptr;
    QAction* m_deleteGroupAction = nullptr;
    QAction* m_editGroupAction = nullptr;
    QAction* m_newPasswordAction = nullptr;
    QAction* m_deletePasswordAction = nullptr;
    QAction* m_openPasswordAction = nullptr;
    QAction* m_copyUsernameAction = nullptr;
    QAction* m_copyPasswordAction = nullptr;
    QAction* m_openUrlAction = nullptr;
    QAction* m_findPasswordAction = nullptr;
    QAction* m_generatePasswordAction = nullptr;
    QAction* m_deleteAction = nullptr;

    QMenu* m_groupMenu = nullptr;
    QMenu* m_passwordMenu = nullptr;
};

#endif // MAINWINDOW_H
