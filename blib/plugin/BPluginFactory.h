#ifndef BPLUGINFACTORY_H
#define BPLUGINFACTORY_H

#include <QString>

class BPlugin;
class BPluginMetadata;

// Creates and destroys the plugins of one kind, named by the manifest's
// "class". Each kind has one factory, registered at start-up.
class BPluginFactory
{
public:
    virtual ~BPluginFactory() = default;
    virtual QString typeId() const = 0;
    virtual QString displayName() const = 0;
    virtual BPlugin* createPlugin(const BPluginMetadata& metadata) = 0;
    virtual void destroyPlugin(BPlugin* plugin) = 0;
};

#endif // BPLUGINFACTORY_H
