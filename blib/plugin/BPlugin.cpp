#include "blib/plugin/BPlugin.h"

BPlugin::BPlugin(const BPluginMetadata& metadata, BPluginFactory* factory)
    : m_metadata(metadata)
    , m_factory(factory)
{
}

BPlugin::~BPlugin() = default;

QString BPlugin::optionsKey() const
{
    return QStringLiteral("blib.plugin.%1-%2").arg(m_metadata.id, m_metadata.version);
}

void BPlugin::appendLog(const QString& line)
{
    m_log += line;
    m_log += QLatin1Char('\n');
}
