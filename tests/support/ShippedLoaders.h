#ifndef SHIPPEDLOADERS_H
#define SHIPPEDLOADERS_H

// The database loader plugins the build packs from plugins/, loaded from
// the build folder through the plugin registry as the program loads them,
// and a script user interface that records what the scripts show.

#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "app/plugin/ScriptUserInterface.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"

#include <QFile>
#include <QString>
#include <QStringList>

class ShippedLoaders
{
public:
    ShippedLoaders() { registerFactory(PasswordDatabaseLoaderPlugin::Factory::instance()); }
    ~ShippedLoaders()
    {
        for (BPlugin* plugin : m_plugins)
            unloadPlugin(plugin);
        unregisterFactory(PasswordDatabaseLoaderPlugin::Factory::staticTypeId());
    }
    ShippedLoaders(const ShippedLoaders&) = delete;
    ShippedLoaders& operator=(const ShippedLoaders&) = delete;

    // build/plugins/<name>.tvp
    static QString path(const QString& name)
    {
        return qEnvironmentVariable("LH_BINARY_DIR") + QStringLiteral("/plugins/") + name + QStringLiteral(".tvp");
    }

    // A sample file under tests/data/import; empty when it is missing.
    static QByteArray sample(const QString& name)
    {
        QFile file(QStringLiteral(LH_SOURCE_DIR "/tests/data/import/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The loader in build/plugins/<name>.tvp; null with `error` set when it
    // does not load.
    PasswordDatabaseLoaderPlugin* load(const QString& name, QString& error)
    {
        BPluginMetadata metadata;
        if (!metadata.load(path(name), error))
            return nullptr;
        BPlugin* plugin = createPlugin(metadata, error);
        if (!plugin) {
            if (error.isEmpty())
                error = QStringLiteral("no plugin created");
            return nullptr;
        }
        m_plugins.append(plugin);
        return static_cast<PasswordDatabaseLoaderPlugin*>(plugin);
    }

private:
    QList<BPlugin*> m_plugins;
};

// Records the scripts' alerts; refuses every question.
class RecordingScriptUserInterface : public ScriptUserInterface
{
public:
    QStringList warnings;
    QStringList others;

    RecordingScriptUserInterface() { setCurrent(this); }
    ~RecordingScriptUserInterface() override { setCurrent(nullptr); }

    void clear()
    {
        warnings.clear();
        others.clear();
    }

    void info(const QString& title, const QString& text) override { others.append(title + ": " + text); }
    void warning(const QString& title, const QString& text) override { warnings.append(title + ": " + text); }
    void error(const QString& title, const QString& text) override { others.append(title + ": " + text); }
    bool yesNo(const QString&, const QString&, const QString&, const QString&) override { return false; }
    bool yesNoWarning(const QString&, const QString&, const QString&, const QString&) override { return false; }
    SaveDiscardCancelAnswer saveDiscardCancel(const QString&, const QString&) override { return Cancel; }
    bool text(const QString&, const QString&, QString&) override { return false; }
    bool password(QString&) override { return false; }
};

#endif // SHIPPEDLOADERS_H
