// The plugin manager page: installing through the Load button, what the
// details show, failures, option settings and unloading.

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSettings.h"
#include "blib/password/BOptionSetDialog.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginManagerWidget.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"
#include "support/TestPluginFactory.h"
#include "support/UiDriver.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

namespace {

QStringList details(QWidget* manager)
{
    return { field<QLabel>(manager, "nameLabel")->text(), field<QLabel>(manager, "versionLabel")->text(),
             field<QLabel>(manager, "descriptionLabel")->text(), field<QLabel>(manager, "authorLabel")->text(),
             field<QTextBrowser>(manager, "logTextBrowser")->toPlainText() };
}

std::function<bool()> chooseFile(const QString& path, QStringList& seen)
{
    return [path, &seen]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        seen = QStringList { dialog->windowTitle(), dialog->directory().absolutePath(),
                             dialog->nameFilters().join(QLatin1Char('|')) };
        chooseInFileDialog(dialog, path);
        return true;
    };
}

void clickLater(QWidget* manager, const char* button)
{
    QTimer::singleShot(0, field<QPushButton>(manager, button), &QAbstractButton::click);
}

} // namespace

class TestBPluginManagerWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void emptyManagerShowsNothingSelected();
    void loadInstallsAndShowsThePlugin();
    void failedLoadsSayWhy();
    void settingsEditTheCurrentValues();
    void unloadAsksAndDeletesTheCopy();

private:
    QString source(const QString& id, const QString& className = QStringLiteral("test.kind"),
                   const QJsonArray& options = QJsonArray());
    QStringList folderFiles() const { return QDir(pluginFolder()).entryList(QDir::Files); }

    TestPluginFactory m_factory;
    QTemporaryDir m_sources;
    int m_count = 0;
    QWidget m_window;
};

void TestBPluginManagerWidget::initTestCase()
{
    QVERIFY(!pluginFolder().isEmpty());
    registerFactory(&m_factory);
    m_window.resize(700, 450);
    m_window.show();
}

void TestBPluginManagerWidget::cleanup()
{
    unloadAllPlugins();
    QCOMPARE(m_factory.live, 0);
    for (const QString& name : folderFiles())
        QFile::remove(QDir(pluginFolder()).filePath(name));
}

QString TestBPluginManagerWidget::source(const QString& id, const QString& className, const QJsonArray& options)
{
    QJsonObject manifest = PluginArchiveBuilder::manifest(id, className, QStringLiteral("2.1"));
    manifest.insert(QStringLiteral("name"), QStringLiteral("Plugin <b>%1</b>").arg(id));
    manifest.insert(QStringLiteral("author"), QStringLiteral("Ann Maker"));
    manifest.insert(QStringLiteral("description"), QStringLiteral("Does things & more."));
    manifest.insert(QStringLiteral("options"), options);
    const QString path = m_sources.filePath(QStringLiteral("source%1.tvp").arg(++m_count));
    if (!PluginArchiveBuilder::standard(manifest).write(path))
        return QString();
    return path;
}

void TestBPluginManagerWidget::emptyManagerShowsNothingSelected()
{
    BPluginManagerWidget manager(&m_window);
    QCOMPARE(field<QTableWidget>(&manager, "tableWidget")->rowCount(), 0);
    const QString none("No plugin selected");
    QCOMPARE(details(&manager), QStringList({ none, none, none, none, none }));
    QVERIFY(!field<QLabel>(&manager, "nameLabel")->isEnabled());
    QVERIFY(!field<QTextBrowser>(&manager, "logTextBrowser")->isEnabled());
    QVERIFY(!field<QPushButton>(&manager, "unloadButton")->isEnabled());
    QVERIFY(!field<QPushButton>(&manager, "settingsButton")->isEnabled());
    QVERIFY(field<QPushButton>(&manager, "loadButton")->isEnabled());
}

void TestBPluginManagerWidget::loadInstallsAndShowsThePlugin()
{
    const QString first = source("maker.first");
    QString error;
    QVERIFY2(installPlugin(first, error), qPrintable(error));
    const QString second = source("maker.second");
    setStringSetting("blib.pluginManagerWidget.browseDir", m_sources.path());

    auto* manager = new BPluginManagerWidget(&m_window);
    auto* table = field<QTableWidget>(manager, "tableWidget");
    QCOMPARE(table->rowCount(), 1);
    QVERIFY(field<QPushButton>(manager, "unloadButton")->isEnabled());
    // A plugin without options has nothing to set.
    QVERIFY(!field<QPushButton>(manager, "settingsButton")->isEnabled());

    QStringList seen;
    Steps steps({ [&]() {
                      clickLater(manager, "loadButton");
                      return true;
                  },
                  chooseFile(second, seen) });
    QTRY_VERIFY_WITH_TIMEOUT(steps.isDone() && table->rowCount() == 2, 20000);
    QCOMPARE(seen, QStringList({ "Select Plugin File", m_sources.path(), "*.tvp *.TVP" }));

    // Rows follow the loaded-plugin list; the first row is selected again.
    QCOMPARE(table->item(0, 0)->text(), QString("Plugin <b>maker.first</b>"));
    QCOMPARE(table->item(1, 0)->text(), QString("Plugin <b>maker.second</b>"));
    QCOMPARE(table->item(1, 1)->text(), QString("2.1"));
    QVERIFY(!table->item(1, 0)->icon().isNull());
    QCOMPARE(manager->selectedPlugin(), loadedPlugins().at(0));

    table->selectRow(1);
    // Names and texts from a plugin are shown as they are, never as markup.
    QCOMPARE(details(manager), QStringList({ "Plugin <b>maker.second</b>", "2.1", "Does things & more.",
                                             "Ann Maker", "Plugin loaded\n" }));
    QCOMPARE(field<QLabel>(manager, "nameLabel")->textFormat(), Qt::PlainText);
    QVERIFY(field<QLabel>(manager, "nameLabel")->isEnabled());
    QCOMPARE(manager->selectedPlugin(), loadedPlugins().at(1));
    QCOMPARE(folderFiles().size(), 2);
    delete manager;
}

void TestBPluginManagerWidget::failedLoadsSayWhy()
{
    const QString garbage = m_sources.filePath("garbage.tvp");
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a zip archive") > 0);
    file.close();
    const QString unknownKind = source("maker.other", "other.kind");

    BPluginManagerWidget manager(&m_window);
    QStringList boxes, seen;
    Steps steps({ [&]() {
                      clickLater(&manager, "loadButton");
                      return true;
                  },
                  chooseFile(garbage, seen), answerBox(boxes, "OK"),
                  [&]() {
                      if (topLevelExists<QMessageBox>())
                          return false;
                      clickLater(&manager, "loadButton");
                      return true;
                  },
                  chooseFile(unknownKind, seen), answerBox(boxes, "OK") });
    QTRY_VERIFY_WITH_TIMEOUT(steps.isDone() && !topLevelExists<QMessageBox>(), 20000);
    QCOMPARE(boxes, QStringList({ "Load Failed: Failed to load the plugin. Plugin file is not valid.",
                                  "Load Failed: Failed to load the plugin. Plugins of the kind \"other.kind\" "
                                  "are not supported." }));
    // Neither failure leaves a copy behind, and the chosen folder is kept.
    QVERIFY(folderFiles().isEmpty());
    QVERIFY(loadedPlugins().isEmpty());
    QCOMPARE(stringSetting("blib.pluginManagerWidget.browseDir", QString()), m_sources.path());
}

void TestBPluginManagerWidget::settingsEditTheCurrentValues()
{
    const QJsonArray options { QJsonObject { { "name", "count" },
                                             { "title", "Count" },
                                             { "type", "int" },
                                             { "visibleInGUI", true },
                                             { "value", 5 },
                                             { "min", 1 },
                                             { "max", 99 } } };
    QString error;
    QVERIFY2(installPlugin(source("maker.options", "test.kind", options), error), qPrintable(error));
    BPlugin* plugin = loadedPlugins().at(0);
    BPluginManagerWidget manager(&m_window);
    QVERIFY(field<QPushButton>(&manager, "settingsButton")->isEnabled());

    auto editCount = [&](int value, bool accept) {
        QString title;
        Steps steps({ [&]() {
                          clickLater(&manager, "settingsButton");
                          return true;
                      },
                      [&]() {
                          auto* dialog = visibleTopLevel<BOptionSetDialog>();
                          if (!dialog)
                              return false;
                          title = dialog->windowTitle();
                          QSpinBox* spin = dialog->findChild<QSpinBox*>();
                          if (!spin)
                              return false;
                          spin->setValue(value);
                          QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject", Qt::QueuedConnection);
                          return true;
                      } });
        QTRY_VERIFY_WITH_TIMEOUT(steps.isDone() && !visibleTopLevel<BOptionSetDialog>(), 20000);
        QCOMPARE(title, plugin->name());
    };
    editCount(42, true);
    QCOMPARE(plugin->currentOptions().children().at(0)->intValue(), 42);
    editCount(7, false);
    QCOMPARE(plugin->currentOptions().children().at(0)->intValue(), 42);
}

void TestBPluginManagerWidget::unloadAsksAndDeletesTheCopy()
{
    QString error;
    QVERIFY2(installPlugin(source("maker.gone"), error), qPrintable(error));
    QCOMPARE(folderFiles().size(), 1);
    BPluginManagerWidget manager(&m_window);

    QStringList boxes;
    Steps keep({ [&]() {
                     clickLater(&manager, "unloadButton");
                     return true;
                 },
                 answerBox(boxes, "Cancel") });
    QTRY_VERIFY_WITH_TIMEOUT(keep.isDone() && !topLevelExists<QMessageBox>(), 20000);
    QCOMPARE(loadedPlugins().size(), 1);
    QCOMPARE(folderFiles().size(), 1);

    Steps unload({ [&]() {
                       clickLater(&manager, "unloadButton");
                       return true;
                   },
                   answerBox(boxes, "Unload") });
    QTRY_VERIFY_WITH_TIMEOUT(unload.isDone() && !topLevelExists<QMessageBox>(), 20000);
    QCOMPARE(boxes, QStringList({ "Unload Plugin: Are you sure you want to unload the plugin?",
                                  "Unload Plugin: Are you sure you want to unload the plugin?" }));
    QVERIFY(loadedPlugins().isEmpty());
    QVERIFY(folderFiles().isEmpty());
    QCOMPARE(m_factory.live, 0);
    QCOMPARE(field<QTableWidget>(&manager, "tableWidget")->rowCount(), 0);
    QCOMPARE(field<QLabel>(&manager, "nameLabel")->text(), QString("No plugin selected"));
    QVERIFY(!field<QPushButton>(&manager, "unloadButton")->isEnabled());
}

QTEST_MAIN(TestBPluginManagerWidget)
#include "tst_bpluginmanagerwidget.moc"
