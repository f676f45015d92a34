#ifndef BPLUGIN_H
#define BPLUGIN_H

#include "blib/password/BOption.h"
#include "blib/plugin/BPluginMetadata.h"

#include <QString>

class BPluginFactory;

// Base of every plugin object: the plugin file's metadata, the option values
// in use, the log shown in the plugin manager and the factory that made it.
class BPlugin
{
public:
    BPlugin(const BPluginMetadata& metadata, BPluginFactory* factory);
    virtual ~BPlugin();
    BPlugin(const BPlugin&) = delete;
    BPlugin& operator=(const BPlugin&) = delete;

    // Called once after creation; each kind loads its script or images here.
    virtual bool init(QString& error) = 0;

    const BPluginMetadata& metadata() const { return m_metadata; }
    QString id() const { return m_metadata.id; }
    QString className() const { return m_metadata.className; }
    QString name() const { return m_metadata.name; }
    QString version() const { return m_metadata.version; }
    QString description() const { return m_metadata.description; }
    QString author() const { return m_metadata.author; }
    QIcon icon() const { return m_metadata.icon; }
    QString path() const { return m_metadata.path; }
    QJsonObject data() const { return m_metadata.data; }
    QString settingsKey() const { return m_metadata.settingsKey; }
    const BOption& options() const { return m_metadata.options; }

    // The settings key of the option values: "blib.plugin.<id>-<version>".
    QString optionsKey() const;
    BOption& currentOptions() { return m_currentOptions; }
    const BOption& currentOptions() const { return m_currentOptions; }
    void setCurrentOptions(const BOption& options) { m_currentOptions = options; }

    QString log() const { return m_log; }
    // Appends text as it is; appendLog() adds a line break after it.
    void appendLogText(const QString& text) { m_log += text; }
    void appendLog(const QString& line);

    BPluginFactory* factory() const { return m_factory; }

private:
    BPluginMetadata m_metadata;
    BOption m_currentOptions;
    QString m_log;
    BPluginFactory* m_factory;
};

#endif // BPLUGIN_H
