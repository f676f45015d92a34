// The framework main window: deferred set-up, menus, recent files, title,
// splash, tray and minimise behaviour, persistence and the shutdown sequence.
#include "blib/app/BAppInfo.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BMainWindow.h"
#include "blib/app/BMainWindowForm.h"
#include "blib/app/BSettings.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/net/BUpdateDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/plugin/BPasswordGeneratorPlugin.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"
#include "support/LocalHttpServer.h"
#include "support/UiDriver.h"

#include <QActionGroup>
#include <QLabel>
#include <QTextBrowser>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const char* const geometryKey = "blib.mainWindow.geometry";
const char* const splitterKey = "lockharbour.mainWindow.testSplitter_splitter";

// A form built in code with the widgets the framework uses, plus a splitter.
class TestForm : public BMainWindowForm
{
public:
    QMenuBar* menuBar = nullptr;
    QToolBar* toolBar = nullptr;
    QStatusBar* statusBar = nullptr;
    BWelcomeWidget* welcome = nullptr;
    QSplitter* splitter = nullptr;
    int retranslations = 0;

    void setupForm(QMainWindow* window) override
    {
        window->setMenuBar(menuBar = new QMenuBar(window));
        window->addToolBar(toolBar = new QToolBar(window));
        toolBar->setObjectName("mainToolBar");
        window->setStatusBar(statusBar = new QStatusBar(window));
        auto* central = new QWidget(window);
        auto* layout = new QVBoxLayout(central);
        layout->addWidget(welcome = new BWelcomeWidget(central));
        layout->addWidget(splitter = new QSplitter(central));
        splitter->addWidget(new QWidget(splitter));
        splitter->addWidget(new QWidget(splitter));
        window->setCentralWidget(central);
    }
    void retranslateForm(QMainWindow*) override { ++retranslations; }
    QMenuBar* formMenuBar() const override { return menuBar; }
    QToolBar* formToolBar() const override { return toolBar; }
    QStatusBar* formStatusBar() const override { return statusBar; }
    BWelcomeWidget* formWelcomeWidget() const override { return welcome; }
};

QStringList actionTexts(const QList<QAction*>& actions)
{
    QStringList texts;
    for (QAction* action : actions)
        texts << (action->isSeparator() ? QString("---") : action->text());
    return texts;
}

} // namespace

class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// Records every hook call and what the shutdown's last hook sees.
class TestWindow : public BMainWindow
{
    Q_OBJECT
public:
    TestWindow()
        : BMainWindow(qApp, nullptr, new TestForm())
        , testForm(static_cast<TestForm*>(form()))
    {
    }

    TestForm* testForm;
    QStringList calls;
    bool allowClose = true;
    bool trayGoneAtShutdown = false;
    bool splashGoneAtShutdown = false;
    bool splitterSavedAtShutdown = false;
    bool geometrySavedBeforeHooks = true;

    bool isSetUp() const { return calls.contains("updateActions"); }

protected:
    void enterInitialView() override { calls << "enterInitialView"; }
    void hideTransientWidgets() override
    {
        calls << "hideTransientWidgets";
        trayGoneAtShutdown = !isSystemTrayIconVisible() && !systemTrayIcon();
        splashGoneAtShutdown = !splashDialog();
        splitterSavedAtShutdown = !byteArraySetting(splitterKey).isEmpty();
        geometrySavedBeforeHooks = !byteArraySetting(geometryKey).isEmpty();
    }
    void createActions() override
    {
        calls << "createActions";
        registerSplitter(testForm->splitter, "testSplitter");
    }
    bool populateWelcomeWidget() override
    {
        calls << "populateWelcomeWidget";
        return true;
    }
    void createMenus() override
    {
        calls << "createMenus";
        setFileMenu(testForm->menuBar->addMenu("&File"));
        addRecentFilesMenu();
        rebuildRecentFilesMenu();
        setToolsMenu(testForm->menuBar->addMenu("&Tools"));
    }
    void createToolBar() override { calls << "createToolBar"; }
    void completeSetup() override { calls << "completeSetup"; }
    void retranslate() override
    {
        calls << "retranslate";
        BMainWindow::retranslate();
    }
    void openSettingsDialog() override { calls << "openSettingsDialog"; }
    bool mayClose() override
    {
        calls << "mayClose";
        return allowClose;
    }
    bool windowMinimised(bool hidden) override
    {
        calls << QString("windowMinimised(%1)").arg(hidden);
        return true;
    }
    void updateActions() override { calls << "updateActions"; }
    void registerPluginFactories() override
    {
        calls << "registerPluginFactories";
        generatorFactoryAtRegistration = pluginFactories().contains(BPasswordGeneratorPlugin::factoryInstance());
    }
    void unregisterPluginFactories() override
    {
        calls << "unregisterPluginFactories";
        generatorFactoryAtUnregistration = pluginFactories().contains(BPasswordGeneratorPlugin::factoryInstance());
        generatorsAtUnregistration = passwordGenerators().size();
    }

public:
    bool generatorFactoryAtRegistration = false;
    bool generatorFactoryAtUnregistration = true;
    int generatorsAtUnregistration = -1;
};

class tst_BMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deferredSetUpCallsHooksInOrder();
    void frameworkMenus();
    void titleAndStatus();
    void recentFilesStore();
    void recentFilesPrunedOnConstruction();
    void recentFilesMenuAndWelcomeWidget();
    void splashClosedByEscapeAndMousePress();
    void closeHidesToTrayAndRefusalRearms();
    void shutdownOrder();
    void generatorPluginsBetweenStartAndShutdown();
    void splitterAndGeometryPersistence();
    void manualUpdateCheck_data();
    void manualUpdateCheck();
    void silentUpdateCheckShowsOnlyUpdates();

private:
    void setServiceAnswer(int status, const QByteArray& body);

    // The web service for every window of these tests: the start-up update
    // check and the statistics upload at close never leave this machine.
    LocalHttpServer m_service;
};

void tst_BMainWindow::setServiceAnswer(int status, const QByteArray& body)
{
    CannedReply reply;
    reply.status = status;
    reply.body = body;
    m_service.setDefaultReply(reply);
}

void tst_BMainWindow::initTestCase()
{
    applyApplicationIdentity();
    QVERIFY(m_service.isListening());
    setStringSetting("blib.service.baseUrl", m_service.baseUrl());
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_BMainWindow::init()
{
    setServiceAnswer(200, "{\"version\":\"1.3\",\"beta\":false,\"change_log\":\"\"}");
    for (const char* key : { geometryKey, "blib.mainWindow.state", splitterKey })
        setByteArraySetting(key, QByteArray());
    setStringListSetting("blib.recentFiles", {});
}

void tst_BMainWindow::deferredSetUpCallsHooksInOrder()
{
    TestWindow window;
    QVERIFY(window.calls.isEmpty()); // nothing before the event loop runs
    QTRY_VERIFY(window.isSetUp());
    QCOMPARE(window.calls, QStringList({ "registerPluginFactories", "createActions", "populateWelcomeWidget",
                                         "createMenus", "createToolBar", "completeSetup", "retranslate",
                                         "enterInitialView", "updateActions" }));
    QVERIFY(window.trayMenu());
    QVERIFY(window.testForm->statusBar->isHidden());
}

void tst_BMainWindow::frameworkMenus()
{
    TestWindow window;
    QTRY_VERIFY(window.isSetUp());
    QCOMPARE(actionTexts(window.testForm->menuBar->actions()),
             QStringList({ "&File", "&Tools", "Language", "&Help" }));
    QCOMPARE(actionTexts(window.fileMenu()->actions()), QStringList({ "Recent Files", "---", "&Quit" }));
    QCOMPARE(window.fileMenu()->actions().last()->shortcut(), QKeySequence(QKeySequence::Quit));
    QAction* settings = window.toolsMenu()->actions().last();
    QCOMPARE(actionTexts(window.toolsMenu()->actions()), QStringList({ "---", "&Settings..." }));
    QCOMPARE(settings->shortcut(), QKeySequence(QKeySequence::Preferences));
    settings->trigger();
    QCOMPARE(window.calls.last(), QString("openSettingsDialog"));

    const QList<QAction*> help = window.helpMenu()->actions();
    QCOMPARE(actionTexts(help), QStringList({ "User &Manual...", "---", "Report &Bug...", "Send &Suggestion...",
                                              "Check for &Updates", "---", "&About..." }));
    UrlSink sink;
    QDesktopServices::setUrlHandler("https", &sink, "open");
    help.first()->trigger();
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(sink.urls, QList<QUrl>({ QUrl(QString::fromUtf8(BAppInfo::webAddress) + "#manuals") }));

    // One language, in an exclusive group; choosing it stores it and
    // retranslates form and window.
    const QList<QAction*> languages = window.languageMenu()->actions();
    QCOMPARE(actionTexts(languages), QStringList({ "English" }));
    QVERIFY(languages.first()->actionGroup()->isExclusive());
    setIntSetting("blib.language.current", 5);
    window.calls.clear();
    languages.first()->trigger();
    QCOMPARE(intSetting("blib.language.current", 0), 100);
    QCOMPARE(window.testForm->retranslations, 1);
    QCOMPARE(window.calls, QStringList({ "retranslate" }));
}

void tst_BMainWindow::titleAndStatus()
{
    TestWindow window;
    QTRY_VERIFY(window.isSetUp());
    const QString notice = QString::fromUtf8(BAppInfo::copyrightNotice);
    QCOMPARE(window.windowTitle(), QString("Lockharbour Password Manager"));
    QCOMPARE(window.testForm->statusBar->currentMessage(), notice);
    window.setModified(true);
    QCOMPARE(window.windowTitle(), QString("Lockharbour Password Manager *(unsaved changes)"));
    window.setModified(false);
    QCOMPARE(window.windowTitle(), QString("Lockharbour Password Manager"));
    // Any other status message is replaced by the notice at once.
    window.testForm->statusBar->showMessage("Something else");
    QCOMPARE(window.testForm->statusBar->currentMessage(), notice);
}

void tst_BMainWindow::recentFilesStore()
{
    QStringList expected;
    for (int i = 0; i < 11; ++i) {
        BMainWindow::addRecentFile(QString("/data/file%1.lhdb").arg(i));
        expected.prepend(QString("/data/file%1.lhdb").arg(i));
    }
    expected.removeLast(); // the oldest is dropped
    QCOMPARE(BMainWindow::recentFiles(), expected);

    // Re-opening a listed file moves it to the top without a duplicate.
    BMainWindow::addRecentFile("/data/file4.lhdb");
    expected.move(expected.indexOf("/data/file4.lhdb"), 0);
    QCOMPARE(BMainWindow::recentFiles(), expected);

    // A path differing only in letter case is another file.
    BMainWindow::addRecentFile("/data/FILE4.lhdb");
    QCOMPARE(BMainWindow::recentFiles().mid(0, 2), QStringList({ "/data/FILE4.lhdb", "/data/file4.lhdb" }));
    QCOMPARE(BMainWindow::recentFiles().size(), 10);
}

void tst_BMainWindow::recentFilesPrunedOnConstruction()
{
    QTemporaryDir dir;
    const QString kept = dir.filePath("kept.lhdb");
    QFile file(kept);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    setStringListSetting("blib.recentFiles", { dir.filePath("gone.lhdb"), kept, dir.filePath("gone2.lhdb") });
    TestWindow window;
    QCOMPARE(BMainWindow::recentFiles(), QStringList { kept });
}

void tst_BMainWindow::recentFilesMenuAndWelcomeWidget()
{
    TestWindow window;
    QTRY_VERIFY(window.isSetUp());
    QMenu* menu = window.recentFilesMenu();
    QCOMPARE(actionTexts(menu->actions()), QStringList({ "No recent files", "---", "Clear List" }));
    QVERIFY(!menu->actions().first()->isEnabled());

    BMainWindow::addRecentFile("/vaults/old.lhdb");
    BMainWindow::addRecentFile("/vaults/new & shiny.lhdb");
    window.refreshRecentFiles();
    QCOMPARE(actionTexts(menu->actions()), QStringList({ "new & shiny.lhdb", "old.lhdb", "---", "Clear List" }));

    QSignalSpy opened(&window, &BMainWindow::openRecentFile);
    menu->actions().at(1)->trigger();
    emit window.testForm->welcome->recentFileClicked("/vaults/other.lhdb");
    QCOMPARE(opened.count(), 2);
    QCOMPARE(opened.at(0).first().toString(), QString("/vaults/old.lhdb"));
    QCOMPARE(opened.at(1).first().toString(), QString("/vaults/other.lhdb"));

    menu->actions().last()->trigger(); // Clear List
    QCOMPARE(opened.count(), 2);
    QVERIFY(BMainWindow::recentFiles().isEmpty());
    QCOMPARE(menu->actions().first()->text(), QString("No recent files"));

    BMainWindow::addRecentFile("/vaults/old.lhdb");
    emit window.testForm->welcome->clearRecentFilesClicked();
    QVERIFY(BMainWindow::recentFiles().isEmpty());
}

void tst_BMainWindow::splashClosedByEscapeAndMousePress()
{
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.splashDialog());
    QPointer<BSplashDialog> splash = window.splashDialog();
    QVERIFY(splash->isVisible());
    QTest::keyClick(&window, Qt::Key_Escape);
    QVERIFY(!window.splashDialog());
    QTRY_VERIFY(splash.isNull());

    window.showSplashDialog();
    splash = window.splashDialog();
    QTest::mouseClick(&window, Qt::LeftButton);
    QTRY_VERIFY(splash.isNull());

    // A press on the splash itself accepts it, which ends it too.
    window.showSplashDialog();
    splash = window.splashDialog();
    QTest::mouseClick(splash, Qt::LeftButton);
    QVERIFY(!window.splashDialog());
    QTRY_VERIFY(splash.isNull());
}

void tst_BMainWindow::closeHidesToTrayAndRefusalRearms()
{
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.isSetUp());
    window.setSystemTrayIconVisible(true);
    window.setMinimiseOnClose(true);

    QVERIFY(!window.close()); // the close button hides to the tray
    QVERIFY(!window.isVisible());
    QCOMPARE(window.calls.last(), QString("windowMinimised(1)"));

    // Quit asks the application, which refuses: the window comes forward.
    window.allowClose = false;
    window.calls.clear();
    window.closeNoMinimise();
    QTRY_VERIFY(window.calls.contains("mayClose"));
    QVERIFY(window.isVisible());

    // Minimise-on-close is armed again, so the close button hides again.
    QVERIFY(!window.close());
    QVERIFY(!window.isVisible());
    QCOMPARE(window.calls.last(), QString("windowMinimised(1)"));

    window.allowClose = true;
    window.closeNoMinimise();
    QTRY_VERIFY(window.calls.contains("hideTransientWidgets"));
    QVERIFY(!window.isVisible());
    QVERIFY(!window.isSystemTrayIconVisible());
}

void tst_BMainWindow::shutdownOrder()
{
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.splashDialog());
    window.setSystemTrayIconVisible(true);
    window.calls.clear();

    QVERIFY(window.close());
    QCOMPARE(window.calls, QStringList({ "mayClose", "unregisterPluginFactories", "hideTransientWidgets" }));
    QVERIFY(window.trayGoneAtShutdown);
    QVERIFY(window.splashGoneAtShutdown);
    QVERIFY(window.splitterSavedAtShutdown);
    QVERIFY(!window.geometrySavedBeforeHooks);
    QVERIFY(!byteArraySetting(geometryKey).isEmpty());
    QVERIFY(!byteArraySetting("blib.mainWindow.state").isEmpty());
}

void tst_BMainWindow::generatorPluginsBetweenStartAndShutdown()
{
    // A generator plugin waiting in the plugin folder.
    QJsonObject manifest = PluginArchiveBuilder::manifest("test.words", "tessavond.password_generator");
    manifest.insert("data", QJsonObject { { "script", "words.lua" } });
    PluginArchiveBuilder builder = PluginArchiveBuilder::standard(manifest);
    builder.add("words.lua", "function generatePassword() return 'correct horse' end");
    const QString folder = pluginFolder();
    QVERIFY(!folder.isEmpty());
    const QString file = QDir(folder).filePath("words.tvp");
    QVERIFY(builder.write(file));

    {
        TestWindow window;
        QTRY_VERIFY(window.isSetUp());
        // The factory is there before the application's own hooks run, and
        // the random generator comes ahead of every plugin.
        QVERIFY(window.generatorFactoryAtRegistration);
        const QList<BPasswordGenerator*> generators = passwordGenerators();
        QCOMPARE(generators.size(), 2);
        QCOMPARE(generators.at(0), BPasswordGeneratorRandom::instance());
        QCOMPARE(generators.at(1)->name(), QString("Test Plugin"));
        QCOMPARE(generators.at(1)->generatePassword(), QString("correct horse"));
        QCOMPARE(loadedPlugins().size(), 1);

        // At shutdown the plugins go first, then the factory, before the
        // application unregisters its own.
        window.allowClose = true;
        QVERIFY(window.close());
        QVERIFY(!window.generatorFactoryAtUnregistration);
        QCOMPARE(window.generatorsAtUnregistration, 1);
        QVERIFY(loadedPlugins().isEmpty());
        QCOMPARE(passwordGenerators(), QList<BPasswordGenerator*>({ BPasswordGeneratorRandom::instance() }));
    }
    QVERIFY(QFile::exists(file)); // kept for the next start
    QFile::remove(file);
}

void tst_BMainWindow::splitterAndGeometryPersistence()
{
    QList<int> sizes;
    QByteArray formState;
    {
        TestWindow window;
        window.resize(640, 420);
        window.show();
        QTRY_VERIFY(window.isSetUp());
        formState = window.testForm->splitter->saveState(); // no key yet: the form's sizes stay
        window.testForm->splitter->setSizes({ 150, 350 });
        QCoreApplication::processEvents();
        sizes = window.testForm->splitter->sizes();
        QVERIFY(window.close());
    }
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.isSetUp());
    QCOMPARE(window.size(), QSize(640, 420));
    QTRY_COMPARE(window.testForm->splitter->sizes(), sizes);
    QVERIFY(window.testForm->splitter->saveState() != formState);
}

void tst_BMainWindow::manualUpdateCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<bool>("expectUpdateDialog");

    QTest::newRow("up to date") << 200 << QByteArray("{\"version\":\"1.2\",\"beta\":false,\"change_log\":\"\"}")
                                << QStringList({ "Up To Date: You already have the latest version." }) << false;
    QTest::newRow("update") << 200 << QByteArray("{\"version\":\"1.4\",\"beta\":false,\"change_log\":\"New\"}")
                            << QStringList() << true;
    QTest::newRow("no beta") << 200 << QByteArray("{\"version\":\"1.4\",\"change_log\":\"New\"}")
                             << QStringList({ "Error: Failed to check for updates.\n"
                                              "The update server's answer was not understood." }) << false;
    QTest::newRow("server error") << 503 << QByteArray("busy")
                                  << QStringList({ "Error: Failed to check for updates.\n"
                                                   "Request to server failed (status 503)." }) << false;
}

void tst_BMainWindow::manualUpdateCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(bool, expectUpdateDialog);

    const int before = m_service.requests().size();
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.isSetUp());
    QTRY_COMPARE_WITH_TIMEOUT(m_service.requests().size(), before + 1, 20000); // the silent check
    window.hideSplashDialog();
    setServiceAnswer(status, body);

    QStringList boxes;
    bool sawUpdateDialog = false;
    UiDriver driver([&]() {
        if (auto* box = visibleTopLevel<QMessageBox>()) {
            boxes << box->windowTitle() + ": " + box->text();
            box->accept();
        } else if (auto* dialog = visibleTopLevel<BUpdateDialog>()) {
            sawUpdateDialog = true;
            dialog->reject();
        }
        return false;
    });
    window.checkForUpdates();

    QCOMPARE(boxes, expectedBoxes);
    QCOMPARE(sawUpdateDialog, expectUpdateDialog);
    QCOMPARE(m_service.requests().size(), before + 2);
    QCOMPARE(m_service.requests().last().target, QByteArray("/v1/app-info?app_key=lockharbour"));
    QVERIFY(window.close());
}

void tst_BMainWindow::silentUpdateCheckShowsOnlyUpdates()
{
    setServiceAnswer(200, "{\"version\":\"9.9\",\"beta\":true,\"change_log\":\"Line one\\r\\nLine two\"}");
    QString versionText;
    QString changeLog;
    UiDriver driver([&]() {
        auto* dialog = visibleTopLevel<BUpdateDialog>();
        if (!dialog)
            return false;
        versionText = dialog->findChild<QLabel*>("versionLabel")->text();
        changeLog = dialog->findChild<QTextBrowser*>("changeLogTextBrowser")->toPlainText();
        dialog->reject();
        return true;
    });
    {
        TestWindow window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(driver.isDone(), 20000);
        QCOMPARE(versionText, QString("Your version is 1.3 and the latest version is 9.9."));
        QCOMPARE(changeLog, QString("Line one\nLine two"));
        QVERIFY(window.close());
    }

    // Failures stay silent.
    setServiceAnswer(500, "");
    const int before = m_service.requests().size();
    TestWindow window;
    window.show();
    QTRY_VERIFY(window.isSetUp());
    QTRY_COMPARE_WITH_TIMEOUT(m_service.requests().size(), before + 1, 20000);
    QTest::qWait(200);
    QVERIFY(!visibleTopLevel<QMessageBox>());
    QVERIFY(!visibleTopLevel<BUpdateDialog>());
    QVERIFY(window.close());
}

QTEST_MAIN(tst_BMainWindow)
#include "tst_bmainwindow.moc"
