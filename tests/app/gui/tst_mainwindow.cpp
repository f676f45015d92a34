// The application window: menus, tool bar, action states, the welcome page,
// the three views and the Escape key.
#include "app/gui/EntryIcon.h"
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BInactivityTimer.h"
#include "blib/app/BSettings.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"

#include <QCommandLinkButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QTabWidget>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include "support/LocalHttpServer.h"
#include "support/UiDriver.h"

namespace {

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* action : actions)
        texts << (action->isSeparator() ? QString("---") : action->text());
    return texts;
}

QMenu* menuNamed(QMainWindow& window, const QString& title)
{
    for (QAction* action : window.menuBar()->actions()) {
        if (action->text() == title)
            return action->menu();
    }
    return nullptr;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menusAndToolBarInOrder();
    void actionsWithoutUsableDatabase();
    void welcomePageActions();
    void viewSwitching();
    void escapeKey();
    void splittersPersisted();
    void builtInIconPackFromSetUpToDestruction();
    void generatePasswordOpensGenerator();

private:
    // Answers the start-up update check and the statistics upload at close,
    // so that no window of these tests reaches beyond this machine.
    LocalHttpServer m_service;
    MainWindow* m_window = nullptr;
    template <class T>
    T* child(const char* name) { return m_window->findChild<T*>(name); }
};

void tst_MainWindow::initTestCase()
{
    applyApplicationIdentity();
    QVERIFY(m_service.isListening());
    CannedReply upToDate;
    upToDate.body = "{\"version\":\"1.3\",\"beta\":false,\"change_log\":\"\"}";
    m_service.setDefaultReply(upToDate);
    setStringSetting("blib.service.baseUrl", m_service.baseUrl());
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_MainWindow::init()
{
    m_window = new MainWindow(qApp, nullptr);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_MainWindow::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_MainWindow::menusAndToolBarInOrder()
{
    QCOMPARE(actionTexts(m_window->menuBar()->actions()),
             QStringList({ "&File", "&Group", "&Password", "&View", "&Tools", "Language", "&Help" }));
    QCOMPARE(actionTexts(menuNamed(*m_window, "&File")->actions()),
             QStringList({ "&New Database...", "&Open Database...", "Recent Files", "---", "&Close Database", "---",
                           "&Save Database", "Save Database As...", "Merge From Database...", "---", "Database Se&ttings...", "---",
                           "&Lock Workspace", "---", "&Quit" }));
    QCOMPARE(actionTexts(menuNamed(*m_window, "&Group")->actions()),
             QStringList({ "&New Group...", "New &Subgroup...", "&Delete Group", "&Edit Group..." }));
    QCOMPARE(actionTexts(menuNamed(*m_window, "&Password")->actions()),
             QStringList({ "&New Password...", "&Delete Password", "&Open Password...", "---",
                           "Copy &Username...", "Copy &Password...", "Copy UR&L", "Copy TOTP", "Open U&RL...",
                           "Perform Auto-&Type", "---",
                           "Set Up TOTP...", "Show TOTP QR Code...", "---", "&Find Password...",
                           "---", "&Generate Password..." }));
    QCOMPARE(actionTexts(menuNamed(*m_window, "&Tools")->actions()), QStringList({ "Database Report...", "---", "&Settings..." }));

    auto* toolBar = child<QToolBar>("mainToolBar");
    QCOMPARE(toolBar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    QCOMPARE(toolBar->iconSize(), QSize(32, 32));
    const QList<QAction*> tools = toolBar->actions();
    QCOMPARE(actionTexts(tools),
             QStringList({ "&Open Database...", "&Save Database", "---", "&New Group...", "New &Subgroup...", "---",
                           "&New Password...", "&Open Password...", "---", "&Delete", "---", "&Lock Workspace" }));
    for (QAction* action : tools)
        QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->text()));
    QCOMPARE(tools.last()->shortcut(), QKeySequence("Ctrl+L"));
}

void tst_MainWindow::actionsWithoutUsableDatabase()
{
    QVERIFY(m_window->isNoDatabaseView());
    QVERIFY(child<QToolBar>("mainToolBar")->isHidden());
    QStringList enabled;
    for (QAction* action : m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (action->isEnabled())
            enabled << action->text();
    }
    enabled.sort();
    QCOMPARE(enabled, QStringList({ "&Delete", "&Generate Password...", "&New Database...", "&Open Database..." }));
}

void tst_MainWindow::welcomePageActions()
{
    const QList<QCommandLinkButton*> links = child<BWelcomeWidget>("welcomeWidget")->findChildren<QCommandLinkButton*>();
    QCOMPARE(links.size(), 2);
    QCOMPARE(links.at(0)->text(), QString("&New Database..."));
    QCOMPARE(links.at(1)->text(), QString("&Open Database..."));

    QAction* open = menuNamed(*m_window, "&File")->actions().at(1);
    QSignalSpy triggered(open, &QAction::triggered);
    // The welcome page's link opens the file chooser of Open Database.
    QString title;
    UiDriver driver([&title]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        title = dialog->windowTitle();
        dialog->reject();
        return true;
    });
    links.at(1)->click();
    QCOMPARE(triggered.count(), 1);
    QVERIFY(driver.isDone());
    QCOMPARE(title, QString("Select File"));
    QVERIFY(m_window->isNoDatabaseView());
}

void tst_MainWindow::viewSwitching()
{
    auto* toolBar = child<QToolBar>("mainToolBar");
    auto* timer = m_window->findChild<BInactivityTimer*>();
    setBoolSetting("app.settings.lockWorkspaceTimeout", true);
    setIntSetting("app.settings.lockWorkspaceTimeoutSeconds", 300);

    m_window->goToDatabaseView();
    QVERIFY(m_window->isDatabaseView() && !m_window->isNoDatabaseView());
    QVERIFY(!toolBar->isHidden());
    QVERIFY(timer->isActive());
    QCOMPARE(timer->seconds(), 300);

    child<QTreeWidget>("groupTreeWidget")->addTopLevelItem(new QTreeWidgetItem(QStringList { "Internet" }));
    m_window->goToLockedView();
    QVERIFY(m_window->isLockedView());
    QVERIFY(toolBar->isHidden());
    QVERIFY(!timer->isActive());
    QCOMPARE(child<QTreeWidget>("groupTreeWidget")->topLevelItemCount(), 0);
    QCOMPARE(m_window->focusWidget(), child<QLineEdit>("unlockDatabasePasswordLineEdit"));

    setBoolSetting("app.settings.lockWorkspaceTimeout", false);
    m_window->goToDatabaseView();
    QVERIFY(!timer->isActive());
    m_window->goToNoDatabaseView();
    QVERIFY(m_window->isNoDatabaseView());
    QVERIFY(toolBar->isHidden());
}

void tst_MainWindow::escapeKey()
{
    auto* password = child<QLineEdit>("unlockDatabasePasswordLineEdit");
    m_window->goToLockedView();
    password->setText("secret");
    QTest::keyClick(m_window, Qt::Key_Escape);
    QCOMPARE(password->text(), QString());

    auto* find = child<QWidget>("findWidget");
    m_window->goToDatabaseView();
    find->show();
    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
}

void tst_MainWindow::splittersPersisted()
{
    QVERIFY(m_window->close());
    QVERIFY(containsSetting("lockharbour.mainWindow.verticalSplitter_splitter"));
    QVERIFY(containsSetting("lockharbour.mainWindow.horizontalSplitter_splitter"));
}

void tst_MainWindow::builtInIconPackFromSetUpToDestruction()
{
    // init() has waited for the deferred set-up.
    QCOMPARE(EntryIconPack::packs().size(), 1);
    QVERIFY(dynamic_cast<EntryIconPackBuiltIn*>(EntryIconPack::packs().first()));
    QVERIFY(!findEntryIcon("tessavond.backup").pixmap.isNull());

    delete m_window;
    m_window = nullptr;
    QVERIFY(EntryIconPack::packs().isEmpty());
    QVERIFY(findEntryIcon("tessavond.backup").isNull());
}

void tst_MainWindow::generatePasswordOpensGenerator()
{
    // Every window of this test registered the built-in generators; the
    // random generator is in the list once, first.
    const QList<BPasswordGenerator*> generators = passwordGenerators();
    QVERIFY(!generators.isEmpty());
    QCOMPARE(generators.first(), BPasswordGeneratorRandom::instance());
    QCOMPARE(generators.count(BPasswordGeneratorRandom::instance()), 1);

    QStringList tabs;
    int passwordLength = -1;
    bool messageBox = false;
    UiDriver driver([&]() {
        messageBox = messageBox || visibleTopLevel<QMessageBox>();
        auto* dialog = visibleTopLevel<BPasswordGeneratorDialog>();
        if (!dialog)
            return false;
        auto* tabWidget = dialog->findChild<QTabWidget*>("tabWidget");
        for (int i = 0; i < tabWidget->count(); ++i)
            tabs << tabWidget->tabText(i);
        passwordLength = dialog->password().size();
        dialog->reject();
        return true;
    });
    menuNamed(*m_window, "&Password")->actions().last()->trigger();
    QVERIFY(driver.isDone());
    QVERIFY(!messageBox);
    QCOMPARE(tabs.value(0), QStringLiteral("Random"));
    QCOMPARE(passwordLength, 13);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
