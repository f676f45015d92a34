#ifndef ENTRYICONPACKPLUGIN_H
#define ENTRYICONPACKPLUGIN_H

#include "app/gui/EntryIconPack.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginFactory.h"

#include <QCoreApplication>

#include <vector>

// An icon pack supplied by a plugin: the manifest's "data" lists the image
// entries, {"icons": ["NAME.png", "folder/OTHER.png", ...]}, in display
// order. Each image becomes an entry icon with the id "<plugin id>.<base
// name>", the base name being the entry's file name without its folder and
// without everything from its first dot on.
class EntryIconPackPlugin : public EntryIconPack, public BPlugin
{
    Q_DECLARE_TR_FUNCTIONS(EntryIconPackPlugin)

public:
    // Creates icon-pack plugins; each one created is appended to the
    // icon-pack list and leaves it again when destroyed here.
    class PluginFactory : public BPluginFactory
    {
    public:
        static constexpr const char* TypeId = "tessavond.icon_pack";

        QString typeId() const override;
        QString displayName() const override;
        BPlugin* createPlugin(const BPluginMetadata& metadata) override;
        void destroyPlugin(BPlugin* plugin) override;
    };

    // Images wider or taller than this are refused: an entry icon is drawn
    // at 16 to 20 pixels, and a small file can describe a huge image.
    static constexpr int MaximumImageSide = 1024;
    // Larger images are kept scaled down to this size, and a pack holds at
    // most this many icons, so that a hostile pack cannot fill the memory.
    static constexpr int KeptImageSide = 128;
    static constexpr int MaximumIconCount = 1000;

    EntryIconPackPlugin(const BPluginMetadata& metadata, BPluginFactory* factory);
    ~EntryIconPackPlugin() override;

    bool init(QString& error) override;

    QList<EntryIcon> icons() const override;
    const EntryIcon* icon(const QString& id) const override;

    // "<pluginId>.<base name of entryName>".
    static QString iconId(const QString& pluginId, const QString& entryName);

    // The one factory of this kind, registered with the plugin registry
    // (once, however often this is called) and taken out again.
    static PluginFactory* factoryInstance();
    static void registerPluginFactory();
    static void unregisterPluginFactory();

private:
    std::vector<EntryIcon> m_icons; // fixed once init() has run
};

#endif // ENTRYICONPACKPLUGIN_H
