// The database loader plugin kind: starting a loader from its plugin file,
// the loader list, and what an import makes of the script's load_database.
#include "app/database/PasswordDatabase.h"
#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "blib/crypto/BWipe.h"
#include "blib/plugin/BScript.h"

#include <QTemporaryDir>
#include <QtTest>

#include "support/LoaderPluginFixture.h"
#include "support/MemoryScanner.h"

#if defined(__SANITIZE_ADDRESS__)
#define LH_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LH_UNDER_ASAN 1
#endif
#endif

using namespace LoaderPluginFixture;

class tst_DatabaseLoaderPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initRefusesBrokenPlugins_data();
    void initRefusesBrokenPlugins();
    void extensionsAreTakenAsText();
    void loaderListFollowsTheFactory();
    void importResultFollowsTheScript_data();
    void importResultFollowsTheScript();
    void scriptSeesTheFileAsItIs();
    void largeFileHasRoomToBeParsed();
    void scriptClassesArePublished();
    void importLeavesNoCopyOfTheFile();

private:
    QTemporaryDir m_dir;
};

void tst_DatabaseLoaderPlugin::initRefusesBrokenPlugins_data()
{
    QTest::addColumn<QJsonObject>("manifest");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");

    const QByteArray good = "function load_database(data, ext, db) end\n";
    QJsonObject noScript = manifest();
    QJsonObject data = noScript.value("data").toObject();
    data.insert("script", 5);
    noScript.insert("data", data);
    QTest::newRow("script not a string") << noScript << good << "manifest.json data::script is not a string.";
    QTest::newRow("script missing") << manifest() << QByteArray() << "Failed to extract script file load.lua from plugin";

    QJsonObject noList = manifest();
    data = noList.value("data").toObject();
    data.insert("file_extensions", "csv");
    noList.insert("data", data);
    QTest::newRow("extensions not an array") << noList << good << "manifest.json data::file_extensions is not an array.";
    QTest::newRow("no extensions") << manifest({}) << good << "No file extensions specified.";
    // The classes are published after the main chunk has run.
    QTest::newRow("class used by the main chunk")
        << manifest() << QByteArray("local g = Group.new()\n")
        << "Failed to load script file load.lua: [string \"load.lua\"]:1: attempt to index a nil value (global 'Group')";
    QTest::newRow("syntax error") << manifest() << QByteArray("function (\n")
                                  << "Failed to load script file load.lua: [string \"load.lua\"]:1: <name> expected near '('";
}

void tst_DatabaseLoaderPlugin::initRefusesBrokenPlugins()
{
    QFETCH(QJsonObject, manifest);
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    const QString path = writePlugin(m_dir.filePath("broken.tvp"), manifest, script);
    QVERIFY(!path.isEmpty());
    const int loadersBefore = databaseLoaders().size();
    QString error;
    QVERIFY(!createLoader(path, error));
    QCOMPARE(error, message);
    // A loader that failed to start is gone from the list again.
    QCOMPARE(databaseLoaders().size(), loadersBefore);
}

void tst_DatabaseLoaderPlugin::extensionsAreTakenAsText()
{
    QJsonObject object = manifest();
    QJsonObject data = object.value("data").toObject();
    data.insert("file_extensions", QJsonArray { "csv", 7, "CSV" });
    object.insert("data", data);
    QString error;
    LoaderPointer loader = createLoader(writePlugin(m_dir.filePath("ext.tvp"), object, "x = 1\n"), error);
    QVERIFY2(loader, qPrintable(error));
    QCOMPARE(loader->fileExtensions(), QStringList({ "csv", "7", "CSV" }));
}

void tst_DatabaseLoaderPlugin::loaderListFollowsTheFactory()
{
    QString error;
    LoaderPointer first = createLoader(writePlugin(m_dir.filePath("a.tvp"), manifest({ "csv", "txt" }, "a"), "x = 1\n"), error);
    LoaderPointer second = createLoader(writePlugin(m_dir.filePath("b.tvp"), manifest({ "txt", "xml", "CSV" }, "b"), "x = 1\n"), error);
    QVERIFY(first && second);
    QCOMPARE(databaseLoaders(), QList<PasswordDatabaseLoaderPlugin*>({ first.get(), second.get() }));
    // The first loader listing the suffix exactly; without one, the first
    // listing it in another case.
    QCOMPARE(databaseLoaderFor("txt"), first.get());
    QCOMPARE(databaseLoaderFor("xml"), second.get());
    QCOMPARE(databaseLoaderFor("CSV"), second.get());
    QCOMPARE(databaseLoaderFor("TXT"), first.get());
    QCOMPARE(databaseLoaderFor("Xml"), second.get());
    QCOMPARE(databaseLoaderFor("lhdb"), nullptr);
    QCOMPARE(databaseLoaderFor(""), nullptr);
    PasswordDatabaseLoaderPlugin* firstAddress = first.get();
    first.reset();
    QVERIFY(!databaseLoaders().contains(firstAddress));
    QCOMPARE(databaseLoaderFor("txt"), second.get());
}

void tst_DatabaseLoaderPlugin::importResultFollowsTheScript_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("returns true") << QByteArray("function load_database(d, e, db) return true end") << true << "";
    QTest::newRow("returns false") << QByteArray("function load_database(d, e, db) return false end") << true << "";
    QTest::newRow("returns nothing") << QByteArray("function load_database(d, e, db) end") << true << "";
    QTest::newRow("raises") << QByteArray("function load_database(d, e, db) error('not my format') end") << false
                            << "not my format";
    QTest::newRow("no function") << QByteArray("x = 1") << false << "load_database";
    QTest::newRow("runs too long") << QByteArray("function load_database(d, e, db) while true do end end") << false
                                   << "script stopped";
}

void tst_DatabaseLoaderPlugin::importResultFollowsTheScript()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, succeeds);
    QFETCH(QString, errorPart);
    QString error;
    LoaderPointer loader = loaderFor(m_dir.path(), script, error);
    QVERIFY2(loader, qPrintable(error));
    loader->setImportTimeLimit(200);
    PasswordDatabase db;
    QCOMPARE(loader->loadDatabase("abc", "txt", db), succeeds);
    if (!succeeds)
        QVERIFY2(loader->lastError().contains(errorPart), qPrintable(loader->lastError()));
}

void tst_DatabaseLoaderPlugin::scriptSeesTheFileAsItIs()
{
    // Bytes that are not UTF-8, a zero byte and the suffix as written.
    const QByteArray fileData("a\0\xff\xfe z", 6);
    QString error;
    LoaderPointer loader = loaderFor(m_dir.path(),
                                     "function load_database(data, ext, db)\n"
                                     "  local codes = {}\n"
                                     "  for i = 1, #data do codes[i] = tostring(data:byte(i)) end\n"
                                     "  db:setName(ext .. ':' .. table.concat(codes, ','))\n"
                                     "end\n",
                                     error, { "Txt" });
    QVERIFY2(loader, qPrintable(error));
    PasswordDatabase db;
    QVERIFY(loader->loadDatabase(fileData, "Txt", db));
    QCOMPARE(db.getName(), QString("Txt:97,0,255,254,32,122"));
}

void tst_DatabaseLoaderPlugin::largeFileHasRoomToBeParsed()
{
    // The file and one copy of it are more than a script may usually hold.
    const QByteArray big(33 * 1024 * 1024, 'x');
    QString error;
    LoaderPointer loader = loaderFor(m_dir.path(),
                                     "function load_database(data, ext, db)\n"
                                     "  local copy = data .. '!'\n"
                                     "  db:setName(tostring(#copy))\n"
                                     "end\n",
                                     error);
    QVERIFY2(loader, qPrintable(error));
    PasswordDatabase db;
    QVERIFY2(loader->loadDatabase(big, "txt", db), qPrintable(loader->lastError()));
    QCOMPARE(db.getName(), QString::number(big.size() + 1));
}

void tst_DatabaseLoaderPlugin::scriptClassesArePublished()
{
    QString error;
    LoaderPointer loader = loaderFor(m_dir.path(),
                                     "function load_database(data, ext, db)\n"
                                     "  local names = {}\n"
                                     "  for _, n in ipairs({'Hash', 'Cipher', 'Plugin', 'Alert', 'Prompt',\n"
                                     "                      'Attachment', 'Password', 'Group', 'Database'}) do\n"
                                     "    local class = _G[n]\n"
                                     "    if type(class) == 'table' and class.__index == class then names[#names + 1] = n end\n"
                                     "  end\n"
                                     "  names[#names + 1] = tostring(Hash.SHA3_384) .. tostring(Cipher.Twofish)\n"
                                     "  names[#names + 1] = tostring(Prompt.Save) .. tostring(Prompt.Cancel)\n"
                                     "  plugin:logLine('ran')\n"
                                     "  db:setName(table.concat(names, ' '))\n"
                                     "end\n",
                                     error);
    QVERIFY2(loader, qPrintable(error));
    PasswordDatabase db;
    QVERIFY(loader->loadDatabase("", "txt", db));
    QCOMPARE(db.getName(), QString("Hash Cipher Plugin Alert Prompt Attachment Password Group Database 112 12"));
    QVERIFY(loader->log().endsWith("ran\n"));
}

void tst_DatabaseLoaderPlugin::importLeavesNoCopyOfTheFile()
{
#ifdef LH_UNDER_ASAN
    QSKIP("The sanitizer's allocator keeps freed blocks unwiped in its quarantine, so copies cannot be counted.");
#endif
    MemoryScanner scanner;
    QVERIFY(scanner.isUsable());
    const MemoryScanner::Marker marker = MemoryScanner::newTextMarker('F');
    QString error;
    LoaderPointer loader = loaderFor(m_dir.path(),
                                     "function load_database(data, ext, db)\n"
                                     "  local g = Group.new(); g:setName('Imported'); db:addGroup(g)\n"
                                     "  local user, pw = data:match('([^,]*),([^\\n]*)')\n"
                                     "  local p = Password.new(); p:setName('Entry')\n"
                                     "  p:setUsername(user); p:setPassword(pw); g:addItem(p)\n"
                                     "  local rows = {}\n"
                                     "  for line in data:gmatch('[^\\n]+') do rows[#rows + 1] = line:upper():lower() end\n"
                                     "end\n",
                                     error);
    QVERIFY2(loader, qPrintable(error));
    {
        QString secret = MemoryScanner::revealed(marker);
        QByteArray fileData = "alice," + secret.toUtf8() + "\n";
        wipe(secret);
        auto db = std::make_unique<PasswordDatabase>();
        QVERIFY2(loader->loadDatabase(fileData, "txt", *db), qPrintable(loader->lastError()));
        QCOMPARE(db->getItems().value(0)->getItems().size(), 1);
        // The caller wipes its buffer and closes the vault, as the program does.
        wipe(fileData);
        db.reset();
    }
    const QVector<MemoryScanner::Count> found = scanner.scan({ marker });
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).total(), 0);
}

QTEST_GUILESS_MAIN(tst_DatabaseLoaderPlugin)
#include "tst_databaseloaderplugin.moc"
