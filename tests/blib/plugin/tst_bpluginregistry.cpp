// Installing, loading, replacing and removing plugins in the plugin folder,
// and the option values each plugin keeps in the settings store.

#include "blib/app/BSettings.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"
#include "support/TestPluginFactory.h"

#include <QTemporaryDir>
#include <QSettings>
#include <QtTest>

namespace {

QJsonArray countOption(int value)
{
    return QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("count") },
                                      { QStringLiteral("type"), QStringLiteral("int") },
                                      { QStringLiteral("visibleInGUI"), true },
                                      { QStringLiteral("value"), value },
                                      { QStringLiteral("min"), 1 },
                                      { QStringLiteral("max"), 99 } } };
}

} // namespace

class TestBPluginRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void installReplacesSameId();
    void failedInstallLeavesNoCopy();
    void startUpLoading();
    void optionValues();

private:
    QString source(const QString& id, const QString& version = QStringLiteral("1.0"),
                   const QJsonObject& data = QJsonObject(), const QJsonArray& options = QJsonArray());
    QStringList folderFiles() const { return QDir(pluginFolder()).entryList(QDir::Files); }

    TestPluginFactory m_factory;
    QTemporaryDir m_sources;
    int m_count = 0;
};

void TestBPluginRegistry::initTestCase()
{
    QVERIFY(!pluginFolder().isEmpty());
    registerFactory(&m_factory);
}

void TestBPluginRegistry::cleanup()
{
    unloadAllPlugins();
    QCOMPARE(m_factory.live, 0);
    for (const QString& name : folderFiles())
        QFile::remove(QDir(pluginFolder()).filePath(name));
}

QString TestBPluginRegistry::source(const QString& id, const QString& version, const QJsonObject& data,
                                    const QJsonArray& options)
{
    QJsonObject manifest = PluginArchiveBuilder::manifest(id, QStringLiteral("test.kind"), version);
    manifest.insert(QStringLiteral("data"), data);
    manifest.insert(QStringLiteral("options"), options);
    const QString path = m_sources.filePath(QStringLiteral("source%1.tvp").arg(++m_count));
    if (!PluginArchiveBuilder::standard(manifest).write(path))
        return QString();
    return path;
}

void TestBPluginRegistry::installReplacesSameId()
{
    const QString first = source(QStringLiteral("maker.one"), QStringLiteral("1.0"));
    const QString second = source(QStringLiteral("maker.one"), QStringLiteral("2.0"));
    const QString other = source(QStringLiteral("maker.two"));
    QString error;

    QVERIFY2(installPlugin(first, error), qPrintable(error));
    QCOMPARE(loadedPlugins().size(), 1);
    const QString firstCopy = loadedPlugins().at(0)->path();
    QCOMPARE(QFileInfo(firstCopy).absolutePath(), QFileInfo(pluginFolder()).absoluteFilePath());
    QCOMPARE(QFileInfo(firstCopy).suffix(), QStringLiteral("tvp"));
    QCOMPARE(loadedPlugins().at(0)->log(), QStringLiteral("Plugin loaded\n"));

    QVERIFY(installPlugin(other, error));
    QVERIFY(installPlugin(second, error));
    QCOMPARE(loadedPlugins().size(), 2);
    QCOMPARE(loadedPlugins().at(0)->id(), QStringLiteral("maker.two"));
    QCOMPARE(loadedPlugins().at(1)->id(), QStringLiteral("maker.one"));
    QCOMPARE(loadedPlugins().at(1)->version(), QStringLiteral("2.0"));
    QVERIFY(!QFile::exists(firstCopy));
    QCOMPARE(folderFiles().size(), 2);
    QCOMPARE(m_factory.live, 2);
    // The files installed from stay where they were.
    QVERIFY(QFile::exists(first) && QFile::exists(second));

    // Removing deletes the copy; unloading at shutdown keeps it.
    BPlugin* two = loadedPlugins().at(0);
    const QString twoCopy = two->path();
    removePlugin(two);
    QVERIFY(!QFile::exists(twoCopy));
    QCOMPARE(loadedPlugins().size(), 1);
    const QString oneCopy = loadedPlugins().at(0)->path();
    unloadAllPlugins();
    QVERIFY(loadedPlugins().isEmpty());
    QVERIFY(QFile::exists(oneCopy));
}

void TestBPluginRegistry::failedInstallLeavesNoCopy()
{
    QString error;
    const QString text = m_sources.filePath(QStringLiteral("text.tvp"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not an archive");
    file.close();
    QVERIFY(!installPlugin(text, error));
    QCOMPARE(error, QStringLiteral("Plugin file is not valid."));

    error = QStringLiteral("untouched");
    QJsonObject manifest = PluginArchiveBuilder::manifest(QStringLiteral("maker.x"), QStringLiteral("other.kind"));
    const QString unknownKind = m_sources.filePath(QStringLiteral("kind.tvp"));
    QVERIFY(PluginArchiveBuilder::standard(manifest).write(unknownKind));
    QVERIFY(!installPlugin(unknownKind, error));
    QCOMPARE(error, QStringLiteral("untouched"));

    QVERIFY(!installPlugin(source(QStringLiteral("maker.fails"), QStringLiteral("1"),
                                  QJsonObject { { QStringLiteral("fail"), true } }),
                           error));
    QCOMPARE(error, QStringLiteral("init refused"));
    QCOMPARE(m_factory.live, 0);

    QVERIFY(!installPlugin(m_sources.filePath(QStringLiteral("absent.tvp")), error));
    QVERIFY(folderFiles().isEmpty());
    QVERIFY(loadedPlugins().isEmpty());
}

void TestBPluginRegistry::startUpLoading()
{
    const QDir folder(pluginFolder());
    QVERIFY(QFile::copy(source(QStringLiteral("maker.same")), folder.filePath(QStringLiteral("a.tvp"))));
    QVERIFY(QFile::copy(source(QStringLiteral("maker.same"), QStringLiteral("3")), folder.filePath(QStringLiteral("c.tvp"))));
    QVERIFY(QFile::copy(source(QStringLiteral("maker.upper")), folder.filePath(QStringLiteral("b.TVP"))));
    QVERIFY(QFile::copy(source(QStringLiteral("maker.zip")), folder.filePath(QStringLiteral("e.zip"))));
    QVERIFY(folder.mkpath(QStringLiteral("sub")));
    QVERIFY(QFile::copy(source(QStringLiteral("maker.deep")), folder.filePath(QStringLiteral("sub/f.tvp"))));
    QFile broken(folder.filePath(QStringLiteral("d.tvp")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("PK\x03\x04 broken");
    broken.close();

    loadAllPlugins();
    QStringList names;
    for (BPlugin* plugin : loadedPlugins()) {
        names << QFileInfo(plugin->path()).fileName();
        QCOMPARE(plugin->id(), QStringLiteral("maker.same"));
        QCOMPARE(plugin->log(), QStringLiteral("Plugin loaded\n"));
    }
    names.sort();
    QCOMPARE(names, QStringList({ QStringLiteral("a.tvp"), QStringLiteral("c.tvp") }));
    QVERIFY(QDir(folder.filePath(QStringLiteral("sub"))).removeRecursively());
}

void TestBPluginRegistry::optionValues()
{
    QString error;
    BPluginMetadata first;
    QVERIFY(first.load(source(QStringLiteral("maker.opts"), QStringLiteral("1.0"), QJsonObject(), countOption(4)), error));
    const QString key = QStringLiteral("blib.plugin.maker.opts-1.0");
    QSettings().remove(key); // left by an earlier run in the same test home
    QVERIFY(!containsSetting(key));

    // The first load writes the definitions; unloading writes the values in use.
    BPlugin* plugin = createPlugin(first, error);
    QVERIFY(plugin);
    QVERIFY(containsSetting(key));
    QCOMPARE(plugin->optionsKey(), key);
    QCOMPARE(plugin->currentOptions().findOption(QStringLiteral("count"))->intValue(), 4);
    plugin->currentOptions().option(QStringLiteral("count"))->setInt(7);
    unloadPlugin(plugin);

    plugin = createPlugin(first, error);
    QVERIFY(plugin);
    QCOMPARE(plugin->currentOptions().findOption(QStringLiteral("count"))->intValue(), 7);
    unloadPlugin(plugin);

    // A new version starts from the manifest's values.
    BPluginMetadata second;
    QVERIFY(second.load(source(QStringLiteral("maker.opts"), QStringLiteral("2.0"), QJsonObject(), countOption(5)), error));
    plugin = createPlugin(second, error);
    QVERIFY(plugin);
    QCOMPARE(plugin->currentOptions().findOption(QStringLiteral("count"))->intValue(), 5);
    unloadPlugin(plugin);

    // Values that no longer read are replaced by the definitions.
    setStringSetting(key, QStringLiteral("{broken"));
    plugin = createPlugin(first, error);
    QVERIFY(plugin);
    QCOMPARE(plugin->currentOptions().findOption(QStringLiteral("count"))->intValue(), 4);
    BOption stored;
    QVERIFY(loadOptionSet(key, stored));
    QCOMPARE(stored.findOption(QStringLiteral("count"))->intValue(), 4);
    unloadPlugin(plugin);
    QCOMPARE(m_factory.live, 0);
}

QTEST_MAIN(TestBPluginRegistry)
#include "tst_bpluginregistry.moc"
