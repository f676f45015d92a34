#ifndef PASSWORDDATABASELOADERPLUGIN_H
#define PASSWORDDATABASELOADERPLUGIN_H

#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

#include <memory>

class BScript;
class PasswordDatabase;
class ScriptObjectRegistry;

// A plugin that imports a foreign password file: its Lua script defines
// load_database(data, extension, database) and fills the database through
// the script classes (Hash, Cipher, Plugin, Alert, Prompt, Attachment,
// Password, Group, Database). The manifest's "data" names the script
// ("script") and the file extensions it reads ("file_extensions").
class PasswordDatabaseLoaderPlugin : public BPlugin
{
    Q_DECLARE_TR_FUNCTIONS(PasswordDatabaseLoaderPlugin)

public:
    class Factory : public BPluginFactory
    {
        Q_DECLARE_TR_FUNCTIONS(Factory)

    public:
        static QString staticTypeId();
        // The one factory of the kind.
        static Factory* instance();
        // Registers the factory unless a factory of its type is registered
        // already; true when this call registered it.
        static bool install();
        static void uninstall();

        QString typeId() const override;
        QString displayName() const override;
        // Builds a loader and appends it to databaseLoaders().
        BPlugin* createPlugin(const BPluginMetadata& metadata) override;
        // Drops the loader from databaseLoaders() and deletes it.
        void destroyPlugin(BPlugin* plugin) override;
    };

    // Files larger than this (64 MiB) are not imported.
    static constexpr qint64 MaxImportFileSize = 64 * 1024 * 1024;
    // How long load_database may run: parsing a large file in Lua takes
    // longer than the script host's default allows.
    static constexpr int ImportTimeLimitMs = 60000;
    // The memory load_database may use besides the script's usual limit,
    // per byte of the file: the file itself and what is parsed from it.
    static constexpr int ImportMemoryPerFileByte = 4;

    PasswordDatabaseLoaderPlugin(const BPluginMetadata& metadata, BPluginFactory* factory);
    ~PasswordDatabaseLoaderPlugin() override;

    bool init(QString& error) override;

    // The extensions (without dot) of the files the plugin reads, in
    // manifest order.
    QStringList fileExtensions() const { return m_extensions; }

    // Lets the script fill `database` (new and empty, with name, password
    // and cipher already set) from the whole file content. False when the
    // script is not loaded, has no load_database function or raises an
    // error; lastError() then says why.
    bool loadDatabase(const QByteArray& fileData, const QString& extension, PasswordDatabase& database);
    QString lastError() const { return m_lastError; }
    // The time load_database may run (ImportTimeLimitMs unless set).
    void setImportTimeLimit(int milliseconds) { m_importTimeLimitMs = milliseconds; }

    BScript& script() { return *m_script; }

private:
    // Destroyed after the script: the script's collector hands objects back
    // to the registry while its state closes.
    std::unique_ptr<ScriptObjectRegistry> m_objects;
    std::unique_ptr<BScript> m_script;
    QStringList m_extensions;
    QString m_lastError;
    int m_importTimeLimitMs = ImportTimeLimitMs;
};

// Every loader the factory has created and not yet destroyed, in creation
// order.
QList<PasswordDatabaseLoaderPlugin*> databaseLoaders();
// The first loader that lists `suffix` among its extensions (exact
// comparison); null when none does.
PasswordDatabaseLoaderPlugin* databaseLoaderFor(const QString& suffix);

#endif // PASSWORDDATABASELOADERPLUGIN_H
