#include "blib/plugin/BPasswordGeneratorPlugin.h"

#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BPluginRegistry.h"
#include "blib/plugin/BScriptPluginClass.h"

#include <QJsonValue>

// ---------------------------------------------------------------- factory

QString BPasswordGeneratorPlugin::PluginFactory::typeId() const
{
    return QString::fromLatin1(TypeId);
}

QString BPasswordGeneratorPlugin::PluginFactory::displayName() const
{
    return QCoreApplication::translate("PluginFactory", "Password Generator");
}

BPlugin* BPasswordGeneratorPlugin::PluginFactory::createPlugin(const BPluginMetadata& metadata)
{
    auto* plugin = new BPasswordGeneratorPlugin(metadata, this);
    registerPasswordGenerator(plugin);
    return plugin;
}

void BPasswordGeneratorPlugin::PluginFactory::destroyPlugin(BPlugin* plugin)
{
    // Only plugins made here are destroyed here: anything else is not ours
    // to delete.
    auto* generator = dynamic_cast<BPasswordGeneratorPlugin*>(plugin);
    if (!generator || generator->factory() != this)
        return;
    unregisterPasswordGenerator(generator);
    delete generator;
}

BPasswordGeneratorPlugin::PluginFactory* BPasswordGeneratorPlugin::factoryInstance()
{
    static PluginFactory factory;
    return &factory;
}

void BPasswordGeneratorPlugin::registerPluginFactory()
{
    PluginFactory* factory = factoryInstance();
    if (!pluginFactories().contains(factory))
        registerFactory(factory);
}

void BPasswordGeneratorPlugin::unregisterPluginFactory()
{
    const QList<BPluginFactory*> factories = pluginFactories();
    if (factories.contains(factoryInstance()))
        unregisterFactory(factoryInstance()->typeId());
}

// ---------------------------------------------------------------- plugin

BPasswordGeneratorPlugin::BPasswordGeneratorPlugin(const BPluginMetadata& metadata, BPluginFactory* factory)
    : BPasswordGenerator(metadata.name)
    , BPlugin(metadata, factory)
{
}

BPasswordGeneratorPlugin::~BPasswordGeneratorPlugin() = default;

bool BPasswordGeneratorPlugin::init(QString& error)
{
    const QJsonValue scriptValue = data().value(QStringLiteral("script"));
    if (!scriptValue.isString()) {
        error = tr("manifest.json 'script' is not a string.");
        return false;
    }
    const QString entry = scriptValue.toString();
    QByteArray bytes;
    if (!BPluginArchive::readEntry(path(), entry, bytes)) {
        error = tr("Failed to load script file '%1' from plugin.").arg(entry);
        return false;
    }
    // A script that runs too long or too big while loading says so in the
    // log as well.
    m_script.setLogPlugin(this);
    if (!m_script.load(QString::fromUtf8(bytes), entry)) {
        error = tr("Failed to load plugin script file %1").arg(entry);
        return false;
    }
    installPluginClass(m_script, this);
    return true;
}

QString BPasswordGeneratorPlugin::generatePassword()
{
    if (!m_script.isLoaded())
        return QString();
    m_script.setGlobalOptions(QStringLiteral("options"), currentOptions());
    const int logSize = log().size();
    const QVariant result = m_script.call(QStringLiteral("generatePassword"));

    switch (int(result.type())) {
    case QVariant::String:
        return result.toString();
    case QVariant::LongLong:
    case QVariant::Double:
        return result.toString();
    case QVariant::Invalid: {
        // An aborted call (time or memory) has logged its message already.
        const QString line = m_script.lastError();
        if (log().size() == logSize || !log().endsWith(line + QLatin1Char('\n')))
            appendLog(line);
        return QString();
    }
    default:
        // Several values, a table, a boolean: nothing that is a password.
        appendLog(tr("generatePassword did not return a string."));
        return QString();
    }
}
