// Reading plugin files: every refusal of a damaged archive or manifest with
// its message, the fields of an accepted file, and the archive limits.

#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BPluginMetadata.h"
#include "support/PluginArchiveBuilder.h"

#include <QTemporaryDir>
#include <QtTest>

class TestBPluginMetadata : public QObject
{
    Q_OBJECT

private slots:
    void acceptedFile();
    void manifestRefused_data();
    void manifestRefused();
    void archiveRefused();
    void archiveLimits();
    void packedByTool();

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    QString nextPath() { return m_dir.filePath(QStringLiteral("plugin%1.tvp").arg(++m_files)); }
};

void TestBPluginMetadata::acceptedFile()
{
    QJsonObject manifest = PluginArchiveBuilder::manifest(QStringLiteral("maker.words"), QStringLiteral("kind.a"),
                                                          QStringLiteral("2.1"));
    manifest.insert(QStringLiteral("icon"), QStringLiteral("Images/Icon.png"));
    manifest.insert(QStringLiteral("data"), QJsonObject { { QStringLiteral("script"), QStringLiteral("main.lua") } });
    manifest.insert(QStringLiteral("options"),
                    QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("count") },
                                               { QStringLiteral("type"), QStringLiteral("int") },
                                               { QStringLiteral("visibleInGUI"), true },
                                               { QStringLiteral("value"), 4 },
                                               { QStringLiteral("min"), 1 },
                                               { QStringLiteral("max"), 9 } } });
    // Entry names are matched ignoring letter case.
    PluginArchiveBuilder builder;
    builder.add(QStringLiteral("MANIFEST.JSON"), QJsonDocument(manifest).toJson(), false);
    builder.add(QStringLiteral("images/icon.PNG"), PluginArchiveBuilder::pngIcon());
    const QString path = m_dir.filePath(QStringLiteral("words-plugin.tvp"));
    QVERIFY(builder.write(path));

    BPluginMetadata metadata;
    QString error;
    QVERIFY2(metadata.load(path, error), qPrintable(error));
    QCOMPARE(metadata.id, QStringLiteral("maker.words"));
    QCOMPARE(metadata.className, QStringLiteral("kind.a"));
    QCOMPARE(metadata.version, QStringLiteral("2.1"));
    QCOMPARE(metadata.name, QStringLiteral("Test Plugin"));
    QCOMPARE(metadata.author, QStringLiteral("Tests"));
    QCOMPARE(metadata.description, QStringLiteral("A plugin built by a test."));
    QCOMPARE(metadata.path, path);
    QCOMPARE(metadata.settingsKey, QStringLiteral("blib.plugin.words-plugin"));
    QCOMPARE(metadata.data.value(QStringLiteral("script")).toString(), QStringLiteral("main.lua"));
    QVERIFY(!metadata.icon.isNull());
    QCOMPARE(metadata.icon.availableSizes().value(0), QSize(8, 8));
    const BOption* count = metadata.options.findOption(QStringLiteral("count"));
    QVERIFY(count);
    QCOMPARE(count->intValue(), 4);
    QCOMPARE(count->intMaximum(), 9);
}

void TestBPluginMetadata::manifestRefused_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<bool>("withIcon");
    QTest::addColumn<QString>("message");

    const QJsonObject good = PluginArchiveBuilder::manifest();
    auto with = [&](const QString& key, const QJsonValue& value) {
        QJsonObject object = good;
        if (value.isUndefined())
            object.remove(key);
        else
            object.insert(key, value);
        return QJsonDocument(object).toJson();
    };

    // The message carries the parser's own text and offset.
    for (const QByteArray& text : { QByteArray("{\"id\": "), QByteArray("[1]"), QByteArray("\xef\xbb\xbf{}x") }) {
        QJsonParseError parseError;
        QJsonDocument::fromJson(text, &parseError);
        QTest::addRow("not an object: %s", text.constData())
            << text << true
            << QStringLiteral("Failed to parse JSON file manifest.json: %1 (char %2)")
                   .arg(parseError.errorString())
                   .arg(parseError.offset);
    }
    QTest::newRow("format missing") << with(QStringLiteral("format_version"), QJsonValue::Undefined) << true
                                    << QStringLiteral("manifest.json 'format_version' is not a number.");
    QTest::newRow("format text") << with(QStringLiteral("format_version"), QStringLiteral("1")) << true
                                 << QStringLiteral("manifest.json 'format_version' is not a number.");
    for (const char* number : { "2.5", "0.5", "1e10", "-3000000000" }) {
        QByteArray text = QJsonDocument(good).toJson();
        text.replace(QByteArray("\"format_version\": 1"), QByteArray("\"format_version\": ") + number);
        QTest::addRow("format %s", number) << text << true
                                           << QStringLiteral("manifest.json 'format_version' is not a whole number.");
    }
    QTest::newRow("format 2") << with(QStringLiteral("format_version"), 2) << true
                              << QStringLiteral("Specified plugin version (2) is too new for the application (1)");
    for (const char* key : { "id", "class", "name", "version", "author", "description", "icon" }) {
        QTest::addRow("%s missing", key) << with(QLatin1String(key), QJsonValue::Undefined) << true
                                         << QStringLiteral("manifest.json '%1' is not a string.").arg(QLatin1String(key));
    }
    QTest::newRow("version number") << with(QStringLiteral("version"), 1.5) << true
                                    << QStringLiteral("manifest.json 'version' is not a string.");
    // The strings are checked in order before anything else of theirs.
    QJsonObject twoWrong = good;
    twoWrong.insert(QStringLiteral("icon"), 3);
    twoWrong.insert(QStringLiteral("class"), QJsonArray());
    QTest::newRow("first wrong string") << QJsonDocument(twoWrong).toJson() << true
                                        << QStringLiteral("manifest.json 'class' is not a string.");
    QTest::newRow("icon missing") << QJsonDocument(good).toJson() << false
                                  << QStringLiteral("Icon file 'icon.png' missing from plugin.");
    QTest::newRow("icon not image") << with(QStringLiteral("icon"), QStringLiteral("manifest.json")) << true
                                    << QStringLiteral("Failed to load icon file 'manifest.json' as an image.");
    QTest::newRow("data array") << with(QStringLiteral("data"), QJsonArray()) << true
                                << QStringLiteral("manifest.json 'data' is not an object.");
    QTest::newRow("data missing") << with(QStringLiteral("data"), QJsonValue::Undefined) << true
                                  << QStringLiteral("manifest.json 'data' is not an object.");
    QTest::newRow("options object") << with(QStringLiteral("options"), QJsonObject()) << true
                                    << QStringLiteral("manifest.json 'options' is not an array.");
    QTest::newRow("options corrupt") << with(QStringLiteral("options"), QJsonArray { 5 }) << true
                                     << QStringLiteral("manifest.json 'options' data is corrupted.");
    QTest::newRow("option unknown type")
        << with(QStringLiteral("options"),
                QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("x") },
                                           { QStringLiteral("type"), QStringLiteral("colour") } } })
        << true << QStringLiteral("manifest.json 'options' data is corrupted.");
}

void TestBPluginMetadata::manifestRefused()
{
    QFETCH(QByteArray, manifest);
    QFETCH(bool, withIcon);
    QFETCH(QString, message);

    PluginArchiveBuilder builder;
    builder.add(QStringLiteral("manifest.json"), manifest);
    if (withIcon)
        builder.add(QStringLiteral("icon.png"), PluginArchiveBuilder::pngIcon());
    const QString path = nextPath();
    QVERIFY(builder.write(path));

    BPluginMetadata metadata;
    QString error;
    QVERIFY(!metadata.load(path, error));
    QCOMPARE(error, message);
}

void TestBPluginMetadata::archiveRefused()
{
    const QByteArray good = PluginArchiveBuilder::standard().bytes();
    QVERIFY(good.size() > 100);

    auto loadBytes = [&](const QByteArray& bytes) {
        const QString path = nextPath();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QStringLiteral("write failed");
        file.close();
        BPluginMetadata metadata;
        QString error;
        return metadata.load(path, error) ? QStringLiteral("loaded") : error;
    };

    QCOMPARE(loadBytes(good), QStringLiteral("loaded"));
    QCOMPARE(loadBytes("this is a text file, not an archive"), QStringLiteral("Plugin file is not valid."));
    QCOMPARE(loadBytes(good.left(good.size() / 2)), QStringLiteral("Plugin file is not valid."));
    QCOMPARE(loadBytes(good.left(good.size() - 10)), QStringLiteral("Plugin file is not valid."));
    const QString empty = loadBytes(QByteArray());
    QVERIFY2(empty == QStringLiteral("Plugin file is not valid.")
                 || empty == QStringLiteral("Plugin does not contain manifest.json."),
             qPrintable(empty));

    BPluginMetadata metadata;
    QString error;
    QVERIFY(!metadata.load(m_dir.filePath(QStringLiteral("absent.tvp")), error));
    QCOMPARE(error, QStringLiteral("Plugin file is not valid."));

    PluginArchiveBuilder noManifest;
    noManifest.add(QStringLiteral("icon.png"), PluginArchiveBuilder::pngIcon());
    noManifest.add(QStringLiteral("sub/manifest.json"), QJsonDocument(PluginArchiveBuilder::manifest()).toJson());
    QCOMPARE(loadBytes(noManifest.bytes()), QStringLiteral("Plugin does not contain manifest.json."));
}

void TestBPluginMetadata::archiveLimits()
{
    // A deflated entry far larger than it is in the archive is refused
    // without being read into memory whole.
    PluginArchiveBuilder bomb = PluginArchiveBuilder::standard();
    bomb.add(QStringLiteral("huge.txt"), QByteArray(int(BPluginArchive::MaximumEntrySize) + 1, 'a'));
    bomb.add(QStringLiteral("fits.txt"), QByteArray(int(BPluginArchive::MaximumEntrySize), 'b'));
    const QString path = nextPath();
    QVERIFY(bomb.write(path));
    QVERIFY(QFileInfo(path).size() < 1024 * 1024);

    BPluginArchive archive;
    QVERIFY(archive.open(path));
    QByteArray data;
    QCOMPARE(archive.read(QStringLiteral("huge.txt"), data), BPluginArchive::Result::Unreadable);
    QVERIFY(data.isEmpty());
    QCOMPARE(archive.read(QStringLiteral("FITS.txt"), data), BPluginArchive::Result::Ok);
    QCOMPARE(data.size(), int(BPluginArchive::MaximumEntrySize));
    QCOMPARE(archive.read(QStringLiteral("nothing.txt"), data), BPluginArchive::Result::Missing);

    // Reading entries leaves nothing behind in the archive's folder.
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    QVERIFY(BPluginArchive::readEntry(path, QStringLiteral("icon.png"), data));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);

    // Damaged data inside an entry fails its checksum.
    PluginArchiveBuilder stored;
    stored.add(QStringLiteral("manifest.json"), QJsonDocument(PluginArchiveBuilder::manifest()).toJson());
    stored.add(QStringLiteral("icon.png"), PluginArchiveBuilder::pngIcon(), false);
    QByteArray bytes = stored.bytes();
    const int at = bytes.indexOf("IHDR");
    QVERIFY(at > 0);
    bytes[at + 6] = char(bytes.at(at + 6) ^ 0x40);
    const QString damaged = nextPath();
    QFile file(damaged);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QVERIFY(archive.open(damaged));
    QCOMPARE(archive.read(QStringLiteral("icon.png"), data), BPluginArchive::Result::Unreadable);

    // The plugin reader names the entry it could not read and the bound,
    // rather than calling it missing.
    BPluginMetadata metadata;
    QString error;
    QVERIFY(!metadata.load(damaged, error));
    QCOMPARE(error, QStringLiteral("Icon file 'icon.png' in the plugin is damaged or larger than 16 MiB."));
    QJsonObject large = PluginArchiveBuilder::manifest();
    large.insert(QStringLiteral("description"),
                 QString(int(BPluginArchive::MaximumEntrySize), QLatin1Char('d')));
    const QString largePath = nextPath();
    QVERIFY(PluginArchiveBuilder::standard(large).write(largePath));
    QVERIFY(!metadata.load(largePath, error));
    QCOMPARE(error, QStringLiteral("manifest.json in the plugin is damaged or larger than 16 MiB."));
}

// The packing tool's archives load; a folder whose icon is missing is refused
// before anything is written.
void TestBPluginMetadata::packedByTool()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("scripts")));
    QJsonObject manifest = PluginArchiveBuilder::manifest(QStringLiteral("maker.packed"));
    manifest.insert(QStringLiteral("icon"), QStringLiteral("scripts/icon.png"));
    auto put = [&](const QString& name, const QByteArray& data) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    };
    QVERIFY(put(QStringLiteral("manifest.json"), QJsonDocument(manifest).toJson()));
    QVERIFY(put(QStringLiteral("scripts/main.lua"), "return 1"));

    const QString tool = QStringLiteral(LH_SOURCE_DIR "/tools/pack-plugin.py");
    const QString output = nextPath();
    QProcess refused;
    refused.start(QStringLiteral("python3"), { tool, folder.path(), output });
    QVERIFY(refused.waitForFinished(60000));
    QVERIFY(refused.exitCode() != 0);
    QVERIFY(!QFile::exists(output));

    QVERIFY(put(QStringLiteral("scripts/icon.png"), PluginArchiveBuilder::pngIcon()));
    QProcess packed;
    packed.start(QStringLiteral("python3"), { tool, folder.path(), output });
    QVERIFY(packed.waitForFinished(60000));
    QCOMPARE(packed.exitCode(), 0);

    BPluginMetadata metadata;
    QString error;
    QVERIFY2(metadata.load(output, error), qPrintable(error));
    QCOMPARE(metadata.id, QStringLiteral("maker.packed"));
    QByteArray script;
    QVERIFY(BPluginArchive::readEntry(output, QStringLiteral("scripts/main.lua"), script));
    QCOMPARE(script, QByteArray("return 1"));
}

QTEST_MAIN(TestBPluginMetadata)
#include "tst_bpluginmetadata.moc"
