#ifndef BPASSWORDGENERATORPLUGIN_H
#define BPASSWORDGENERATORPLUGIN_H

#include "blib/password/BPasswordGenerator.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"
#include "blib/plugin/BScript.h"

#include <QCoreApplication>

// A password generator supplied by a plugin: a Lua script that defines the
// global function generatePassword(), which takes no arguments and returns
// the password as a string. Before each call the plugin's current option
// values are published as the global table "options".
//
// The manifest's "data" names the script entry: {"script": "NAME.lua"}.
// The generator's tab caption is the plugin's name, and its options are the
// plugin's current option values, so the generator dialog and the plugin
// manager edit the same values.
class BPasswordGeneratorPlugin : public BPasswordGenerator, public BPlugin
{
    Q_DECLARE_TR_FUNCTIONS(BPasswordGeneratorPlugin)

public:
    // Creates generator plugins; each one created is appended to the
    // generator list and leaves it again when destroyed here.
    class PluginFactory : public BPluginFactory
    {
    public:
        static constexpr const char* TypeId = "tessavond.password_generator";

        QString typeId() const override;
        QString displayName() const override;
        BPlugin* createPlugin(const BPluginMetadata& metadata) override;
        void destroyPlugin(BPlugin* plugin) override;
    };

    BPasswordGeneratorPlugin(const BPluginMetadata& metadata, BPluginFactory* factory);
    ~BPasswordGeneratorPlugin() override;

    bool init(QString& error) override;

    // The script's password; the empty string when the script is not loaded
    // or the call fails, in which case the reason goes to the plugin's log.
    QString generatePassword() override;
    BOption* options() override { return &currentOptions(); }

    // Both bases carry the same name: the plugin's display name.
    QString name() const { return BPlugin::name(); }

    BScript& script() { return m_script; }

    // The one factory of this kind; registered with the plugin registry at
    // start-up (once, however often this is called) and taken out at shutdown.
    static PluginFactory* factoryInstance();
    static void registerPluginFactory();
    static void unregisterPluginFactory();

private:
    BScript m_script;
};

#endif // BPASSWORDGENERATORPLUGIN_H
