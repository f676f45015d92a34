#ifndef BPLUGINREGISTRY_H
#define BPLUGINREGISTRY_H

#include <QList>
#include <QString>

class BPlugin;
class BPluginFactory;
class BPluginMetadata;

// The process-wide factory list and loaded-plugin list (non-owning; each
// plugin is destroyed by its factory), and the plugin folder.

void registerFactory(BPluginFactory* factory);
// Removes the first factory with this type id.
void unregisterFactory(const QString& typeId);
QList<BPluginFactory*> pluginFactories();
QList<BPlugin*> loadedPlugins();

// "plugins" under the user's writable application-data folder, created when
// missing; empty when it cannot be created.
QString pluginFolder();

// The folder a plugin file was last installed from; the user's download
// folder until then.
QString pluginBrowseFolder();
void setPluginBrowseFolder(const QString& folder);

// Creates the plugin described by `metadata` through the factory of its
// class and gives it its option values; null when there is no such factory
// (error unchanged) or the plugin fails to start (error set).
BPlugin* createPlugin(const BPluginMetadata& metadata, QString& error);
// Saves the plugin's option values and destroys it through its factory.
void unloadPlugin(BPlugin* plugin);
// Loads every "*.tvp" file directly in the plugin folder; failures are
// dropped.
void loadAllPlugins();
// Copies the file into the plugin folder under a fresh name and loads it,
// replacing a loaded plugin with the same id. A failed install leaves no
// copy behind.
bool installPlugin(const QString& sourcePath, QString& error);
// Deletes the plugin's file, unloads it and drops it from the list.
void removePlugin(BPlugin* plugin);
// Unloads every loaded plugin; their files stay.
void unloadAllPlugins();

#endif // BPLUGINREGISTRY_H
