// Icon-pack plugins: reading their images, the ids they give them, their
// place in the icon-pack list after the built-in pack, and what the icon
// look-ups, the picker and the workspace show while they are loaded and
// after they are gone.
#include "app/gui/EntryIcon.h"
#include "app/gui/EntryIconPack.h"
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/EntryIconPickerWidget.h"
#include "app/gui/GroupTreeWidget.h"
#include "app/gui/MainWindow.h"
#include "app/gui/PasswordTableWidget.h"
#include "app/plugin/EntryIconPackPlugin.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"
#include "support/WorkspaceFixture.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray png(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QStringList idsOf(const QList<EntryIcon>& icons)
{
    QStringList ids;
    for (const EntryIcon& icon : icons)
        ids << icon.id;
    return ids;
}

} // namespace

class tst_EntryIconPackPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void initFailures();
    void iconIdsAndImages();
    void unloadKeepsOtherPacksInOrder();
    void builtInPackWinsSharedIds();
    void workspaceShowsPluginIconsUntilUnloaded();

private:
    // Writes an icon-pack plugin listing `icons` (JSON value of data.icons)
    // with the archive entries `entries`.
    QString write(const QString& id, const QJsonValue& icons, const QList<QPair<QString, QByteArray>>& entries);
    // Creates the plugin at `path` through the registry.
    EntryIconPackPlugin* create(const QString& path, QString& error);

    QTemporaryDir m_dir;
    EntryIconPackBuiltIn* m_builtIn = nullptr;
    QList<BPlugin*> m_created;
    int m_count = 0;
};

void tst_EntryIconPackPlugin::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
    QVERIFY(m_dir.isValid());
    m_builtIn = new EntryIconPackBuiltIn;
    EntryIconPack::addPack(m_builtIn);
    EntryIconPackPlugin::registerPluginFactory();
}

void tst_EntryIconPackPlugin::cleanup()
{
    for (BPlugin* plugin : qAsConst(m_created))
        unloadPlugin(plugin);
    m_created.clear();
    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn }));
}

void tst_EntryIconPackPlugin::cleanupTestCase()
{
    EntryIconPackPlugin::unregisterPluginFactory();
    delete m_builtIn;
}

QString tst_EntryIconPackPlugin::write(const QString& id, const QJsonValue& icons,
                                       const QList<QPair<QString, QByteArray>>& entries)
{
    QJsonObject manifest = PluginArchiveBuilder::manifest(id, QStringLiteral("tessavond.icon_pack"));
    QJsonObject data;
    if (!icons.isUndefined())
        data.insert(QStringLiteral("icons"), icons);
    manifest.insert(QStringLiteral("data"), data);
    PluginArchiveBuilder builder = PluginArchiveBuilder::standard(manifest);
    for (const auto& entry : entries)
        builder.add(entry.first, entry.second);
    const QString path = m_dir.filePath(QStringLiteral("pack%1.tvp").arg(++m_count));
    return builder.write(path) ? path : QString();
}

EntryIconPackPlugin* tst_EntryIconPackPlugin::create(const QString& path, QString& error)
{
    BPluginMetadata metadata;
    if (!metadata.load(path, error))
        return nullptr;
    BPlugin* plugin = createPlugin(metadata, error);
    if (plugin)
        m_created.append(plugin);
    return dynamic_cast<EntryIconPackPlugin*>(plugin);
}

void tst_EntryIconPackPlugin::initFailures()
{
    const QByteArray good = png(16, 16, 0xff00aa00);
    struct Case {
        QJsonValue icons;
        QList<QPair<QString, QByteArray>> entries;
        QString message;
    };
    const QList<Case> cases {
        { QJsonValue(QJsonValue::Undefined), {}, "manifest.json 'data.icons' is not an array of icon file names." },
        { QJsonValue("a.png"), { { "a.png", good } }, "manifest.json 'data.icons' is not an array of icon file names." },
        { QJsonArray { "a.png", 3 }, { { "a.png", good } }, "manifest.json 'data.icons' an element is not a string." },
        { QJsonArray { "a.png", "b.png" }, { { "a.png", good } }, "Icon file b.png couldn't be extracted from the plugin." },
        { QJsonArray { "notes.png" }, { { "notes.png", "not an image at all" } },
          "Icon file notes.png couldn't be loaded as an image file." },
        // Decoding this would take gigabytes; it is refused by its size.
        { QJsonArray { "huge.png" }, { { "huge.png", png(1025, 1, 0xff000000) } },
          "Icon file huge.png couldn't be loaded as an image file." },
        { QJsonArray { "tall.png" }, { { "tall.png", png(1, 2000, 0xff000000) } },
          "Icon file tall.png couldn't be loaded as an image file." },
    };
    for (const Case& c : cases) {
        const QString path = write(QStringLiteral("acme.bad"), c.icons, c.entries);
        QVERIFY(!path.isEmpty());
        QString error;
        QVERIFY(!create(path, error));
        QCOMPARE(error, c.message);
        // The half-built pack went with its plugin.
        QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn }));
    }

    // An empty list gives a listed pack without icons.
    QString error;
    EntryIconPackPlugin* empty = create(write(QStringLiteral("acme.empty"), QJsonArray(), {}), error);
    QVERIFY2(empty, qPrintable(error));
    QVERIFY(empty->icons().isEmpty());
    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn, empty }));
}

void tst_EntryIconPackPlugin::iconIdsAndImages()
{
    QString error;
    EntryIconPackPlugin* pack = create(
        write(QStringLiteral("acme.pets"), QJsonArray { "img/dir/zebra.b.png", "Cat.PNG", "wide.png", "edge.png" },
              { { "img/dir/zebra.b.png", png(20, 20, 0xff112233) },
                { "cat.png", png(16, 16, 0xff445566) },
                { "wide.png", png(600, 300, 0xff778899) },
                { "edge.png", png(1024, 1024, 0xff000000) } }),
        error);
    QVERIFY2(pack, qPrintable(error));

    // The base name runs up to the first dot of the file name; the folder
    // goes. Entries are matched ignoring case, ids keep the listed spelling.
    QCOMPARE(idsOf(pack->icons()),
             QStringList({ "acme.pets.zebra", "acme.pets.Cat", "acme.pets.wide", "acme.pets.edge" }));
    const EntryIcon* zebra = pack->icon("acme.pets.zebra");
    QVERIFY(zebra);
    QCOMPARE(zebra->pixmap.size(), QSize(20, 20));
    QCOMPARE(zebra->pixmap.toImage().pixel(5, 5), QRgb(0xff112233));
    QVERIFY(!zebra->icon.isNull());
    QVERIFY(!pack->icon("acme.pets.zebra.b"));
    QVERIFY(!pack->icon("acme.pets.cat"));

    // Large images are kept small, in their proportions.
    QCOMPARE(pack->icon("acme.pets.wide")->pixmap.size(), QSize(128, 64));
    QCOMPARE(pack->icon("acme.pets.edge")->pixmap.size(), QSize(128, 128));

    // The plugin's icons come after the built-in ones everywhere.
    QCOMPARE(findEntryIcon("acme.pets.zebra").pixmap.cacheKey(), zebra->pixmap.cacheKey());
    const QStringList all = idsOf(allEntryIcons());
    QCOMPARE(all.size(), 89 + 4);
    QCOMPARE(all.mid(89), idsOf(pack->icons()));
    QCOMPARE(guessEntryIcon("Zebra crossing").id, QStringLiteral("acme.pets.zebra"));
    EntryIconPickerWidget picker;
    auto* combo = picker.findChild<QComboBox*>("comboBox");
    QCOMPARE(combo->count(), 93);
    QCOMPARE(combo->itemData(89).toString(), QStringLiteral("acme.pets.zebra"));
    picker.setCurrentIconId("acme.pets.Cat");
    QCOMPARE(picker.currentIconId(), QStringLiteral("acme.pets.Cat"));
}

void tst_EntryIconPackPlugin::unloadKeepsOtherPacksInOrder()
{
    QList<EntryIconPackPlugin*> packs;
    for (const char* id : { "one", "two", "three" }) {
        QString error;
        packs << create(write(QString::fromLatin1(id), QJsonArray { "mark.png" }, { { "mark.png", png(8, 8, 0xffff0000) } }),
                        error);
        QVERIFY2(packs.last(), qPrintable(error));
    }
    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn, packs[0], packs[1], packs[2] }));

    m_created.removeOne(packs[1]);
    unloadPlugin(packs[1]);
    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn, packs[0], packs[2] }));
    QVERIFY(findEntryIcon("two.mark").isNull());
    QVERIFY(!findEntryIcon("one.mark").isNull());
    QCOMPARE(idsOf(allEntryIcons()).mid(89), QStringList({ "one.mark", "three.mark" }));

    m_created.removeOne(packs[0]);
    unloadPlugin(packs[0]);
    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn, packs[2] }));
    QCOMPARE(idsOf(allEntryIcons()).mid(89), QStringList({ "three.mark" }));
}

void tst_EntryIconPackPlugin::builtInPackWinsSharedIds()
{
    // A plugin whose id is the built-in prefix offers "tessavond.key" again.
    QString error;
    EntryIconPackPlugin* pack = create(write(QStringLiteral("tessavond"), QJsonArray { "key.png", "lock.png" },
                                             { { "key.png", png(16, 16, 0xffff00ff) },
                                               { "lock.png", png(16, 16, 0xffff00ff) } }),
                                       error);
    QVERIFY2(pack, qPrintable(error));
    const EntryIcon* builtInKey = m_builtIn->icon("tessavond.key");
    QVERIFY(builtInKey && pack->icon("tessavond.key"));

    QCOMPARE(findEntryIcon("tessavond.key").pixmap.cacheKey(), builtInKey->pixmap.cacheKey());

    // The picker lists the id once, with the built-in image; the plugin's
    // other icon is there as usual.
    EntryIconPickerWidget picker;
    auto* combo = picker.findChild<QComboBox*>("comboBox");
    QCOMPARE(combo->count(), 90);
    int keys = 0;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemData(i).toString() == QLatin1String("tessavond.key")) {
            ++keys;
            QCOMPARE(combo->itemIcon(i).cacheKey(), builtInKey->icon.cacheKey());
        }
    }
    QCOMPARE(keys, 1);
    QCOMPARE(combo->itemData(89).toString(), QStringLiteral("tessavond.lock"));
}

void tst_EntryIconPackPlugin::workspaceShowsPluginIconsUntilUnloaded()
{
    // A pack installed in the plugin folder is loaded at start-up, after the
    // built-in pack.
    const QString folder = pluginFolder();
    QVERIFY(!folder.isEmpty());
    const QString file = QDir(folder).filePath(QStringLiteral("zoo.tvp"));
    QFile::remove(file);
    QVERIFY(QFile::copy(write(QStringLiteral("zoo"), QJsonArray { "lion.png" }, { { "lion.png", png(16, 16, 0xffffaa00) } }),
                        file));

    auto* window = new MainWindow(qApp, nullptr);
    window->show();
    QTRY_VERIFY(window->splashDialog());
    window->hideSplashDialog();
    QVERIFY(pluginFactories().contains(EntryIconPackPlugin::factoryInstance()));
    QCOMPARE(loadedPlugins().size(), 1);
    auto* pack = dynamic_cast<EntryIconPackPlugin*>(loadedPlugins().at(0));
    QVERIFY(pack);
    QCOMPARE(EntryIconPack::packs().size(), 3); // this test's built-in pack, the window's, the plugin's
    QCOMPARE(EntryIconPack::packs().last(), pack);

    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    PasswordDatabase::Group* group = makeGroup("Animals");
    group->setIconId("zoo.lion");
    makePassword(group, "Keeper")->setIconId("zoo.lion");
    db.addItem(group);
    window->activateDatabase(db);

    auto* tree = window->findChild<GroupTreeWidget*>("groupTreeWidget");
    auto* table = window->findChild<PasswordTableWidget*>("passwordTableWidget");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QCOMPARE(table->rowCount(), 1);
    const qint64 lion = pack->icon("zoo.lion")->icon.cacheKey();
    QCOMPARE(tree->topLevelItem(0)->icon(0).cacheKey(), lion);
    QCOMPARE(table->item(0, 0)->icon().cacheKey(), lion);

    // Once the plugin is gone, the items keep their ids and show no icon.
    removePlugin(pack);
    QVERIFY(!QFile::exists(file));
    window->refreshEntryIcons();
    QVERIFY(tree->topLevelItem(0)->icon(0).isNull());
    QVERIFY(table->item(0, 0)->icon().isNull());
    QCOMPARE(itemNamed<PasswordDatabase::Group>(window->database(), "Animals")->getIconId(), QStringLiteral("zoo.lion"));

    {
        BoxAnswerer answerer(QStringList { "Discard" });
        window->closeDatabase();
    }
    delete window;
}

QTEST_MAIN(tst_EntryIconPackPlugin)
#include "tst_entryiconpackplugin.moc"
