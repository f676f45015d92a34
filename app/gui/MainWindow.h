#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "app/database/PasswordDatabase.h"
#include "blib/app/BFileInUseMarker.h"
#include "blib/app/BMainWindow.h"

#include <QJsonObject>
#include <QList>
#include <QPointer>

#include <memory>

class AutoTypeController;
class BInactivityTimer;
class BFileState;
class ClipboardGuard;
class DatabaseFileWatch;
class DatabaseReportDialog;
class DesktopLockWatcher;
class EntryIconPackBuiltIn;
class GuiScriptUserInterface;
class QAction;
class QDialog;
class QApplication;
class QLabel;
class QMenu;
class QDropEvent;
class QTableWidgetItem;
class QTimer;
class QDateTime;
class QTreeWidgetItem;

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

    // The open database (an empty, closed one when none is open).
    const PasswordDatabase& database() const { return m_database; }
    PasswordDatabase::Group* currentGroup() const { return m_currentGroup; }
    PasswordDatabase::Password* currentPassword() const { return m_currentPassword; }

    // The file name offered by Save As for a database called `name`.
    static QString suggestedFileName(const QString& name);

    // The model side of a drop at `position` (viewport coordinates) on the
    // group tree or the password table, dragged from `source`.
    void dropOnGroupTree(QObject* source, const QPoint& position);
    void dropOnPasswordTable(QObject* source, const QPoint& position);

    // A finding of the security audit: the table shows the first warning of
    // a password in its name's tool tip, in orange.
    struct AuditFinding {
        const PasswordDatabase::Password* password;
        QString warning;
    };

public slots:
    void goToNoDatabaseView();
    void goToDatabaseView();
    void goToLockedView();

    void newDatabase();
    void openDatabase();
    void openDatabase(const QString& filePath);
    void importDatabase(const QString& filePath);
    // Opens a vault, or imports a file of another kind through the loader
    // plugin that reads it.
    void openOrImportDatabase(const QString& filePath);
    // Moves `newDb` into the window (leaving it empty) and shows it.
    void activateDatabase(PasswordDatabase& newDb);
    void findPassword();
    void closeDatabase();
    void saveDatabase();
    void saveDatabaseAs();
    bool saveDatabaseOrSaveAs(bool forceSaveAs);
    void databaseSettings();
    // File > Merge From Database...
    void mergeFromDatabase();
    // Re-keys a vault of format 1 to 3 as version 4 through the database
    // settings, asking for the password as a change of it does.
    void upgradeDatabaseFormat();
    void lockWorkspace();
    void unlockWorkspace();

    void newGroup();
    void newSubGroup();
    void deleteSelectedGroup();
    void deleteGroup(PasswordDatabase::Group* group, bool disallowBackup = false);
    void editGroup();
    void editGroup(PasswordDatabase::Group& group);
    void newPassword();
    void deleteSelectedPassword();
    void deletePassword(PasswordDatabase::Password* password, bool disallowBackup = false);
    void openPassword();
    void openPassword(PasswordDatabase::Password& password);
    void copyUsername();
    void copyPassword();
    void openPasswordURL();
    void copyUrl();
    // One-time codes from the otpauth link line of the selected entry's note.
    void copyTotp();
    void setUpTotp();
    void showTotpQrCode();
    // Types the selected entry into the other program's window that was in
    // front before this one.
    void performAutoType();
    // The global Auto-Type shortcut, pressed in another program's window:
    // types the entry that belongs to it, asking which when several or none
    // do, and for the master password first while the workspace is locked.
    void autoTypeHotkeyPressed(quint64 window, const QString& title);
    void deleteGroupOrPassword();
    void groupSelectionChanged();
    void groupActivated(QTreeWidgetItem* item, int column);
    void groupCustomContextMenuRequested(const QPoint& point);
    void groupExpanded(QTreeWidgetItem* item);
    void groupCollapsed(QTreeWidgetItem* item);
    void passwordSelectionChanged();
    void passwordActivated(QTableWidgetItem* item);
    void passwordCustomContextMenuRequested(const QPoint& point);
    void findWidgetSelectPassword(const PasswordDatabase::Password* password);
    // While the find bar holds text the password table lists the matches of
    // the whole database, with their groups; otherwise the selected group.
    void findWidgetSearchChanged();
    // Down in the find bar: into the results, the first one selected.
    void findWidgetDownPressed();
    void groupTreeWidgetItemDropped(QDropEvent* event);
    void passwordTableWidgetItemDropped(QDropEvent* event);
    void generatePassword();
    // Shows the modeless health report of the open vault.
    void showDatabaseReport();
    // Selects an entry chosen in the report, if it is still in the vault.
    void reportSelectPassword(const PasswordDatabase::Password* password);
    void setClipboardString(const QString& string);
    // Clears the clipboard if it still holds the text last copied by
    // setClipboardString; anything copied since is left alone.
    void clearClipboard();

    // View operations.
    void rebuildGroupTree();
    void refillPasswordTable();
    void refillInfoTable();
    // Looks the icons of the tree and table up again, after icon packs came
    // or went.
    void refreshEntryIcons();
    void selectGroup(const PasswordDatabase::Group* group);
    void selectPassword(const PasswordDatabase::Password* password);

protected:
    void enterInitialView() override;
    void hideTransientWidgets() override;
    void registerPluginFactories() override;
    void unregisterPluginFactories() override;
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
    // The group that New Password adds to, or null.
    PasswordDatabase::Group* newPasswordGroup() const;
    // Whether the password table shows search results rather than a group.
    bool isSearchResultsView() const { return m_searchResultsView; }
    // Back to the group view: with `reselect`, the group of the entry
    // selected among the results (or the group shown before) is selected,
    // and that entry in it.
    void leaveSearchResults(bool reselect);
    // The entry and group editors whose unfinished edit a lock keeps.
    enum EditorKind { NoEditor, PasswordEditor, NewPasswordEditor, GroupEditor, NewGroupEditor, NewSubGroupEditor };
    // Runs an editor over the workspace. True only when it was accepted and
    // no lock or close destroyed, meanwhile, the items the caller holds.
    // An editor of a kept kind works on `target` (the password or group
    // edited, or the group that receives the new item); a lock meanwhile
    // keeps its edit, and a resumed edit is put into it before it shows.
    bool runEditor(QDialog& dialog, EditorKind kind = NoEditor, const PasswordDatabase::Item* target = nullptr);
    // The open editor's unfinished edit with its kind and target, as the
    // bytes a lock encrypts; empty when no kept editor is open.
    QByteArray pendingEditState() const;
    // After an unlock: opens the editor of the edit kept by the lock again,
    // on the same target, with what it held.
    void resumePendingEdit();
    // Before a locked database is dropped with an edit still kept: asks
    // whether to let it go; true means go on.
    bool confirmDroppingPendingEdit();
    // Empties the group tree, the password table and the info table and
    // forgets the current group and password.
    void clearViews();
    // Asks what to do with unsaved changes; true means go on.
    bool checkUnsavedChanges();
    // Refreshes the title from the database's modified flag.
    void refreshTitle();
    // Marks the database modified, refreshes the title, updates the actions.
    void databaseChanged();
    // Whether deleting `item` now leaves copies of passwords in the backup
    // group, and that group's name (or the name of the one a backup makes).
    bool deletionKeepsCopies(const PasswordDatabase::Item& item) const;
    QString backupGroupName() const;
    // Copies `password` into the backup group; a newly made backup group is
    // shown as the last top-level tree item.
    void backupPassword(const PasswordDatabase::Password& password);
    // Adds tree items for `group` and its sub-groups under `parent` (or at
    // the top level when null) and returns the group's item.
    QTreeWidgetItem* addGroupItem(PasswordDatabase::Group* group, QTreeWidgetItem* parent);
    // Whether `item` is `ancestor` or lies inside it.
    static bool isInside(const PasswordDatabase::Item* item, const PasswordDatabase::Group* ancestor);
    // Writes the database to `path`; a failure is shown in an error box.
    bool writeDatabase(const QString& path);
    // Saves the database over its own file. When another program has
    // changed the file since the window read or wrote it, asks first whether
    // to reload it, save under another name or overwrite it.
    bool saveToOwnFile();
    // Merges the vault file into the open one (its password asked for) and
    // shows what changed. False when it was not merged.
    bool mergeDatabaseFile(const QString& filePath);
    // Loads, unlocks and shows the file, without asking about unsaved
    // changes first.
    void openDatabaseFile(const QString& filePath);
    // Follows the file just read or written as the open database's file.
    void followDatabaseFile(const QString& filePath, const BFileState& seen);
    // Stops following the open database's file.
    void forgetDatabaseFile();
    // Hands the tray settings to the framework and rebuilds the tray menu.
    void applyTraySettings();
    // Offers to delete the passwords of the open database that have expired.
    void offerExpiredPasswords();
    // The expired passwords among `items` and their sub-groups, in tree order.
    static QList<PasswordDatabase::Password*> expiredPasswords(const QList<PasswordDatabase::Item*>& items,
                                                               const QDateTime& now);
    // Empties every text field and table of `window`.
    static void clearTextFields(QWidget* window);
    // Chooses the entry for the window (asking when not exactly one matches)
    // and types it there.
    void autoTypeIntoWindow(quint64 window, const QString& title);
    // Grabs the Auto-Type shortcut of the settings and follows the desktop
    // lock settings.
    void applyDesktopSettings();
    // Shows the selected entry's current one-time code in the info table's
    // TOTP row and times the next refresh for the turn of the second.
    void updateTotpRow();

    BMainWindowFormOf<Ui::MainWindow>* ui; // owned by the framework window
    BInactivityTimer* m_inactivityTimer;
    ClipboardGuard* m_clipboard;
    AutoTypeController* m_autoType;
    DesktopLockWatcher* m_desktopLock;
    // A global Auto-Type request that waits for the unlock, and since when.
    struct PendingAutoType {
        quint64 window = 0;
        QString title;
        qint64 requestedAt = 0; // milliseconds since the epoch
    };
    PendingAutoType m_pendingAutoType;
    // On the locked page while a request waits for the unlock.
    QLabel* m_autoTypePendingLabel = nullptr;
    void setPendingAutoType(const PendingAutoType& pending);
    QTimer* m_totpTimer;
    int m_totpRow = -1; // the info table's TOTP row, -1 when it has none
    PasswordDatabase m_database;
    PasswordDatabase::Group* m_currentGroup = nullptr;
    PasswordDatabase::Password* m_currentPassword = nullptr;
    bool m_searchResultsView = false;
    bool m_refillForFindBar = false;
    QList<AuditFinding> m_auditFindings;
    // Windows hidden by the lock, shown again after unlocking.
    QList<QPointer<QWidget>> m_lockHiddenWindows;
    // Counts locks and closes: a flow that ran a dialog checks it before it
    // touches the model items it held, which a lock in between destroyed.
    int m_modelGeneration = 0;
    // The kept editor now running, if any.
    struct OpenEditor {
        QDialog* dialog = nullptr;
        EditorKind kind = NoEditor;
        const PasswordDatabase::Item* target = nullptr;
    };
    OpenEditor m_openEditor;
    // The edit being resumed after an unlock, for the editor about to run.
    QJsonObject m_resumedEdit;
    // The open database's file: changes made by other programs, and the
    // mark that tells other copies of the program that it is open here.
    DatabaseFileWatch* m_fileWatch;
    BFileInUseMarker m_inUseMarker;
    QLabel* m_fileChangedLabel = nullptr;
    // Above the views while the open vault has format 1 to 3.
    QWidget* m_formatNotice = nullptr;
    void refreshFormatNotice();
    // First in the icon-pack list from the plugin-factory registration on.
    std::unique_ptr<EntryIconPackBuiltIn> m_builtInIconPack;
    // Alerts and prompts of loader scripts while an import runs.
    std::unique_ptr<GuiScriptUserInterface> m_scriptUserInterface;
    // Whether this window registered the loader factory (and unregisters it).
    bool m_loaderFactoryRegistered = false;

    QAction* m_newDatabaseAction = nullptr;
    QAction* m_openDatabaseAction = nullptr;
    QAction* m_closeDatabaseAction = nullptr;
    QAction* m_saveDatabaseAction = nullptr;
    QAction* m_saveDatabaseAsAction = nullptr;
    QAction* m_databaseSettingsAction = nullptr;
    QAction* m_mergeDatabaseAction = nullptr;
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
    QAction* m_copyUrlAction = nullptr;
    QAction* m_copyTotpAction = nullptr;
    QAction* m_setUpTotpAction = nullptr;
    QAction* m_showTotpQrAction = nullptr;
    QAction* m_performAutoTypeAction = nullptr;
    QAction* m_findPasswordAction = nullptr;
    QAction* m_generatePasswordAction = nullptr;
    QAction* m_deleteAction = nullptr;

    QAction* m_databaseReportAction = nullptr;
    // The report, while it is open; it follows every change of the vault.
    QPointer<DatabaseReportDialog> m_reportDialog;
    void refreshReport();

    QMenu* m_groupMenu = nullptr;
    QMenu* m_passwordMenu = nullptr;
};

#endif // MAINWINDOW_H
