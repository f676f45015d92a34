#ifndef LOADERPLUGINFIXTURE_H
#define LOADERPLUGINFIXTURE_H

// Database loader plugins for tests: a plugin file made from a Lua script
// and a manifest, written to a folder, and the loader created from it.

#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "blib/plugin/BPluginMetadata.h"

#include "support/PluginArchiveBuilder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <memory>

namespace LoaderPluginFixture {

// A manifest of the loader kind naming the script "load.lua" and the
// given extensions.
inline QJsonObject manifest(const QStringList& extensions = { QStringLiteral("txt") },
                            const QString& id = QStringLiteral("test.loader"))
{
    QJsonObject object = PluginArchiveBuilder::manifest(id, PasswordDatabaseLoaderPlugin::Factory::staticTypeId());
    QJsonObject data;
    data.insert(QStringLiteral("script"), QStringLiteral("load.lua"));
    data.insert(QStringLiteral("file_extensions"), QJsonArray::fromStringList(extensions));
    object.insert(QStringLiteral("data"), data);
    return object;
}

// Writes a plugin file holding `manifestObject` and, when given, the script
// as "load.lua". The file's path, or empty when it cannot be written.
inline QString writePlugin(const QString& path, const QJsonObject& manifestObject, const QByteArray& script)
{
    PluginArchiveBuilder builder = PluginArchiveBuilder::standard(manifestObject);
    if (!script.isNull())
        builder.add(QStringLiteral("load.lua"), script);
    return builder.write(path) ? path : QString();
}

struct LoaderDeleter {
    void operator()(PasswordDatabaseLoaderPlugin* loader) const
    {
        if (loader)
            PasswordDatabaseLoaderPlugin::Factory::instance()->destroyPlugin(loader);
    }
};
using LoaderPointer = std::unique_ptr<PasswordDatabaseLoaderPlugin, LoaderDeleter>;

// The loader made by the factory from the plugin file at `path`, after its
// init(); null with `error` set when either step fails.
inline LoaderPointer createLoader(const QString& path, QString& error)
{
    BPluginMetadata metadata;
    if (!metadata.load(path, error))
        return nullptr;
    LoaderPointer loader(
        static_cast<PasswordDatabaseLoaderPlugin*>(PasswordDatabaseLoaderPlugin::Factory::instance()->createPlugin(metadata)));
    if (!loader->init(error))
        return nullptr;
    return loader;
}

// A loader running `script`, its plugin file written into `folder`.
inline LoaderPointer loaderFor(const QString& folder, const QByteArray& script, QString& error,
                               const QStringList& extensions = { QStringLiteral("txt") })
{
    const QString path = writePlugin(QDir(folder).filePath(QStringLiteral("loader.tvp")), manifest(extensions), script);
    if (path.isEmpty()) {
        error = QStringLiteral("cannot write the plugin file");
        return nullptr;
    }
    return createLoader(path, error);
}

} // namespace LoaderPluginFixture

#endif // LOADERPLUGINFIXTURE_H
