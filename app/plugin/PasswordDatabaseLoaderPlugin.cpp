#include "app/plugin/PasswordDatabaseLoaderPlugin.h"

#include "app/database/PasswordDatabase.h"
#include "app/plugin/DatabaseScriptApi.h"
#include "app/plugin/ScriptObjectRegistry.h"
#include "app/plugin/ScriptServiceApi.h"
#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BPluginRegistry.h"
#include "blib/plugin/BScript.h"
#include "blib/plugin/BScriptPluginClass.h"

#include <lua5.3/lua.hpp>

#include <QJsonArray>
#include <QJsonValue>

namespace {

QList<PasswordDatabaseLoaderPlugin*>& loaderList()
{
    static QList<PasswordDatabaseLoaderPlugin*> list;
    return list;
}

} // namespace

QList<PasswordDatabaseLoaderPlugin*> databaseLoaders()
{
    return loaderList();
}

PasswordDatabaseLoaderPlugin* databaseLoaderFor(const QString& suffix)
{
    for (PasswordDatabaseLoaderPlugin* loader : loaderList()) {
        if (loader->fileExtensions().contains(suffix))
            return loader;
    }
    // The open dialog offers every extension in upper case as well, so a
    // file named "EXPORT.CSV" finds the loader of "csv".
    for (PasswordDatabaseLoaderPlugin* loader : loaderList()) {
        if (loader->fileExtensions().contains(suffix, Qt::CaseInsensitive))
            return loader;
    }
    return nullptr;
}

// ------------------------------------------------------------------ Factory

QString PasswordDatabaseLoaderPlugin::Factory::staticTypeId()
{
    return QStringLiteral("tessavond.lockharbour.database_loader");
}

PasswordDatabaseLoaderPlugin::Factory* PasswordDatabaseLoaderPlugin::Factory::instance()
{
    static Factory factory;
    return &factory;
}

bool PasswordDatabaseLoaderPlugin::Factory::install()
{
    for (BPluginFactory* factory : pluginFactories()) {
        if (factory->typeId() == staticTypeId())
            return false;
    }
    registerFactory(instance());
    return true;
}

void PasswordDatabaseLoaderPlugin::Factory::uninstall()
{
    unregisterFactory(staticTypeId());
}

QString PasswordDatabaseLoaderPlugin::Factory::typeId() const
{
    return staticTypeId();
}

QString PasswordDatabaseLoaderPlugin::Factory::displayName() const
{
    return tr("Database Loader");
}

BPlugin* PasswordDatabaseLoaderPlugin::Factory::createPlugin(const BPluginMetadata& metadata)
{
    auto* loader = new PasswordDatabaseLoaderPlugin(metadata, this);
    loaderList().append(loader);
    return loader;
}

void PasswordDatabaseLoaderPlugin::Factory::destroyPlugin(BPlugin* plugin)
{
    auto* loader = static_cast<PasswordDatabaseLoaderPlugin*>(plugin);
    loaderList().removeAll(loader);
    delete loader;
}

// ------------------------------------------------------------------ loader

PasswordDatabaseLoaderPlugin::PasswordDatabaseLoaderPlugin(const BPluginMetadata& metadata, BPluginFactory* factory)
    : BPlugin(metadata, factory)
    , m_objects(std::make_unique<ScriptObjectRegistry>())
    , m_script(std::make_unique<BScript>())
{
}

PasswordDatabaseLoaderPlugin::~PasswordDatabaseLoaderPlugin()
{
    // Closing the state runs the collector over every userdata left.
    m_script.reset();
    m_objects.reset();
}

bool PasswordDatabaseLoaderPlugin::init(QString& error)
{
    const QJsonValue scriptValue = data().value(QStringLiteral("script"));
    if (!scriptValue.isString()) {
        error = tr("manifest.json data::script is not a string.");
        return false;
    }
    const QString scriptName = scriptValue.toString();
    QByteArray scriptText;
    if (!BPluginArchive::readEntry(path(), scriptName, scriptText)) {
        error = tr("Failed to extract script file %1 from plugin").arg(scriptName);
        return false;
    }
    m_script->setLogPlugin(this);
    if (!m_script->load(QString::fromUtf8(scriptText), scriptName)) {
        error = tr("Failed to load script file %1: %2").arg(scriptName, m_script->lastError());
        return false;
    }

    const QJsonValue extensions = data().value(QStringLiteral("file_extensions"));
    if (!extensions.isArray()) {
        error = tr("manifest.json data::file_extensions is not an array.");
        return false;
    }
    m_extensions.clear();
    for (const QJsonValue& extension : extensions.toArray())
        m_extensions.append(extension.toVariant().toString());
    if (m_extensions.isEmpty()) {
        error = tr("No file extensions specified.");
        return false;
    }

    ScriptServiceApi::installHashAndCipher(*m_script);
    installPluginClass(*m_script, this);
    ScriptServiceApi::installAlertAndPrompt(*m_script);
    DatabaseScriptApi::install(*m_script, m_objects.get());
    return true;
}

bool PasswordDatabaseLoaderPlugin::loadDatabase(const QByteArray& fileData, const QString& extension,
                                                PasswordDatabase& database)
{
    if (!m_script->isLoaded()) {
        m_lastError = tr("The plugin's script is not loaded.");
        return false;
    }
    // A prompt of the running import may process events; a second import
    // cannot start inside it.
    if (m_objects->database()) {
        m_lastError = tr("The plugin is already importing a file.");
        return false;
    }
    lua_State* L = m_script->state();
    const int type = lua_getglobal(L, "load_database");
    lua_pop(L, 1);
    if (type != LUA_TFUNCTION) {
        m_lastError = tr("The plugin's script has no function load_database.");
        return false;
    }

    m_script->setGlobalOptions(QStringLiteral("options"), currentOptions());
    m_objects->beginImport(&database);
    m_script->setTimeLimit(m_importTimeLimitMs);
    m_script->setMemoryLimit(BScript::DefaultMemoryLimit
                             + std::size_t(ImportMemoryPerFileByte) * std::size_t(fileData.size()));
    const QVariant result = m_script->call(QStringLiteral("load_database"), fileData, extension,
                                           BScript::objectArgument(QStringLiteral("Database"), &database));
    m_script->setMemoryLimit(BScript::DefaultMemoryLimit);
    m_script->setTimeLimit(BScript::DefaultTimeLimitMs);
    // The database and its tree leave the script's reach: userdata values
    // the script kept refer to nothing any more.
    m_objects->endImport();
    const bool loaded = result.toBool();
    m_lastError = loaded ? QString() : m_script->lastError();
    return loaded;
}
