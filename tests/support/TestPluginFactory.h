#ifndef TESTPLUGINFACTORY_H
#define TESTPLUGINFACTORY_H

// A plugin kind for tests, "test.kind": its plugins do nothing but refuse to
// start when their data says "fail", and the factory counts the live ones.

#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"

#include <QJsonObject>

class TestPlugin : public BPlugin
{
public:
    using BPlugin::BPlugin;
    bool init(QString& error) override
    {
        if (data().value(QStringLiteral("fail")).toBool()) {
            error = QStringLiteral("init refused");
            return false;
        }
        return true;
    }
};

class TestPluginFactory : public BPluginFactory
{
public:
    QString typeId() const override { return QStringLiteral("test.kind"); }
    QString displayName() const override { return QStringLiteral("Test Kind"); }
    BPlugin* createPlugin(const BPluginMetadata& metadata) override
    {
        ++live;
        return new TestPlugin(metadata, this);
    }
    void destroyPlugin(BPlugin* plugin) override
    {
        --live;
        delete plugin;
    }
    int live = 0;
};

#endif // TESTPLUGINFACTORY_H
