#include "app/plugin/EntryIconPackPlugin.h"

#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BPluginRegistry.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QPixmap>

namespace {

// Decodes an icon image, refusing anything larger than `maximumSide` in
// either direction before the pixels are allocated. Formats that cannot
// tell their size up front are refused as well.
bool decodeIcon(const QByteArray& bytes, int maximumSide, QImage& out)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maximumSide || size.height() > maximumSide)
        return false;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return false;
    if (image.width() > maximumSide || image.height() > maximumSide)
        return false;
    out = image;
    return true;
}

} // namespace

// ---------------------------------------------------------------- factory

QString EntryIconPackPlugin::PluginFactory::typeId() const
{
    return QString::fromLatin1(TypeId);
}

QString EntryIconPackPlugin::PluginFactory::displayName() const
{
    return QCoreApplication::translate("PluginFactory", "Icon Pack");
}

BPlugin* EntryIconPackPlugin::PluginFactory::createPlugin(const BPluginMetadata& metadata)
{
    auto* plugin = new EntryIconPackPlugin(metadata, this);
    EntryIconPack::addPack(plugin);
    return plugin;
}

void EntryIconPackPlugin::PluginFactory::destroyPlugin(BPlugin* plugin)
{
    auto* pack = dynamic_cast<EntryIconPackPlugin*>(plugin);
    if (!pack || pack->factory() != this)
        return;
    EntryIconPack::removePack(pack);
    delete pack;
}

EntryIconPackPlugin::PluginFactory* EntryIconPackPlugin::factoryInstance()
{
    static PluginFactory factory;
    return &factory;
}

void EntryIconPackPlugin::registerPluginFactory()
{
    PluginFactory* factory = factoryInstance();
    if (!pluginFactories().contains(factory))
        registerFactory(factory);
}

void EntryIconPackPlugin::unregisterPluginFactory()
{
    if (pluginFactories().contains(factoryInstance()))
        unregisterFactory(factoryInstance()->typeId());
}

// ---------------------------------------------------------------- pack

EntryIconPackPlugin::EntryIconPackPlugin(const BPluginMetadata& metadata, BPluginFactory* factory)
    : BPlugin(metadata, factory)
{
}

EntryIconPackPlugin::~EntryIconPackPlugin() = default;

QString EntryIconPackPlugin::iconId(const QString& pluginId, const QString& entryName)
{
    QString name = entryName.mid(entryName.lastIndexOf(QLatin1Char('/')) + 1);
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return QStringLiteral("%1.%2").arg(pluginId, name);
}

bool EntryIconPackPlugin::init(QString& error)
{
    const QJsonValue list = data().value(QStringLiteral("icons"));
    if (!list.isArray()) {
        error = tr("manifest.json 'data.icons' is not an array of icon file names.");
        return false;
    }
    const QJsonArray entries = list.toArray();
    if (entries.size() > MaximumIconCount) {
        error = tr("The plugin lists more than %1 icons.").arg(MaximumIconCount);
        return false;
    }
    BPluginArchive archive;
    // An empty list needs nothing from the file.
    if (!entries.isEmpty())
        archive.open(path());

    std::vector<EntryIcon> icons;
    icons.reserve(size_t(entries.size()));
    for (const QJsonValue& element : entries) {
        if (!element.isString()) {
            error = tr("manifest.json 'data.icons' an element is not a string.");
            return false;
        }
        const QString entry = element.toString();
        QByteArray bytes;
        if (!archive.isOpen() || archive.read(entry, bytes) != BPluginArchive::Result::Ok) {
            error = tr("Icon file %1 couldn't be extracted from the plugin.").arg(entry);
            return false;
        }
        QImage image;
        if (!decodeIcon(bytes, MaximumImageSide, image)) {
            error = tr("Icon file %1 couldn't be loaded as an image file.").arg(entry);
            return false;
        }
        if (image.width() > KeptImageSide || image.height() > KeptImageSide)
            image = image.scaled(KeptImageSide, KeptImageSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        icons.emplace_back(QPixmap::fromImage(image), iconId(id(), entry));
    }
    m_icons = std::move(icons);
    return true;
}

QList<EntryIcon> EntryIconPackPlugin::icons() const
{
    QList<EntryIcon> list;
    list.reserve(int(m_icons.size()));
    for (const EntryIcon& icon : m_icons)
        list.append(icon);
    return list;
}

const EntryIcon* EntryIconPackPlugin::icon(const QString& id) const
{
    for (const EntryIcon& icon : m_icons) {
        if (icon.id == id)
            return &icon;
    }
    return nullptr;
}
