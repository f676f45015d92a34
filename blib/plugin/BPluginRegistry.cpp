#include "blib/plugin/BPluginRegistry.h"

#include "blib/app/BSettings.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"
#include "blib/plugin/BPluginMetadata.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

namespace {

QList<BPluginFactory*>& factoryList()
{
    static QList<BPluginFactory*> list;
    return list;
}

QList<BPlugin*>& pluginList()
{
    static QList<BPlugin*> list;
    return list;
}

BPluginFactory* findFactory(const QString& typeId)
{
    for (BPluginFactory* factory : factoryList()) {
        if (factory->typeId() == typeId)
            return factory;
    }
    return nullptr;
}

} // namespace

void registerFactory(BPluginFactory* factory)
{
    factoryList().append(factory);
}

void unregisterFactory(const QString& typeId)
{
    QList<BPluginFactory*>& list = factoryList();
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i)->typeId() == typeId) {
            list.removeAt(i);
            return;
        }
    }
}

QList<BPluginFactory*> pluginFactories()
{
    return factoryList();
}

QList<BPlugin*> loadedPlugins()
{
    return pluginList();
}

QString pluginFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (base.isEmpty())
        return QString();
    const QString folder = QDir(base).filePath(QStringLiteral("plugins"));
    if (!QDir().mkpath(folder))
        return QString();
    return folder;
}

QString pluginBrowseFolder()
{
    return stringSetting(QStringLiteral("blib.pluginManagerWidget.browseDir"),
                         QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
}

void setPluginBrowseFolder(const QString& folder)
{
    setStringSetting(QStringLiteral("blib.pluginManagerWidget.browseDir"), folder);
}

BPlugin* createPlugin(const BPluginMetadata& metadata, QString& error)
{
    BPluginFactory* factory = findFactory(metadata.className);
    if (!factory)
        return nullptr;
    BPlugin* plugin = factory->createPlugin(metadata);
    if (!plugin)
        return nullptr;

    const QString key = plugin->optionsKey();
    if (!containsSetting(key))
        saveOptionSet(key, metadata.options);
    BOption values;
    if (loadOptionSet(key, values)) {
        plugin->setCurrentOptions(values);
    } else {
        saveOptionSet(key, metadata.options);
        plugin->setCurrentOptions(metadata.options);
    }

    if (!plugin->init(error)) {
        factory->destroyPlugin(plugin);
        return nullptr;
    }
    return plugin;
}

void unloadPlugin(BPlugin* plugin)
{
    if (!plugin)
        return;
    BPluginFactory* factory = findFactory(plugin->className());
    if (!factory)
        return;
    saveOptionSet(plugin->optionsKey(), plugin->currentOptions());
    factory->destroyPlugin(plugin);
}

void loadAllPlugins()
{
    const QString folder = pluginFolder();
    if (folder.isEmpty())
        return;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (entry.suffix() != QLatin1String("tvp"))
            continue;
        BPluginMetadata metadata;
        QString error;
        if (!metadata.load(entry.filePath(), error))
            continue;
        BPlugin* plugin = createPlugin(metadata, error);
        if (!plugin)
            continue;
        plugin->appendLog(QCoreApplication::translate("BPluginRegistry", "Plugin loaded"));
        pluginList().append(plugin);
    }
}

bool installPlugin(const QString& sourcePath, QString& error)
{
    const QString folder = pluginFolder();
    if (folder.isEmpty())
        return false;
    QString target;
    do {
        const QString name = QStringLiteral("%1%2%3.%4")
                                 .arg(std::rand() % 1000)
                                 .arg(quint32(QDateTime::currentMSecsSinceEpoch()))
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QStringLiteral("tvp"));
        target = QDir(folder).filePath(name);
    } while (QFileInfo::exists(target));

    if (!QFile::copy(sourcePath, target))
        return false;

    BPluginMetadata metadata;
    BPlugin* plugin = nullptr;
    if (metadata.load(target, error))
        plugin = createPlugin(metadata, error);
    if (!plugin) {
        QFile::remove(target);
        return false;
    }

    QList<BPlugin*>& list = pluginList();
    for (int i = 0; i < list.size(); ++i) {
        BPlugin* old = list.at(i);
        if (old->id() == plugin->id()) {
            QFile::remove(old->path());
            list.removeAt(i);
            unloadPlugin(old);
            break;
        }
    }
    plugin->appendLog(QCoreApplication::translate("BPluginRegistry", "Plugin loaded"));
    list.append(plugin);
    return true;
}

void removePlugin(BPlugin* plugin)
{
    if (!plugin)
        return;
    QList<BPlugin*>& list = pluginList();
    const int index = list.indexOf(plugin);
    if (index < 0)
        return;
    QFile::remove(plugin->path());
    list.removeAt(index);
    unloadPlugin(plugin);
}

void unloadAllPlugins()
{
    const QList<BPlugin*> plugins = pluginList();
    pluginList().clear();
    for (BPlugin* plugin : plugins)
        unloadPlugin(plugin);
}
