// The importer plugins that ship with the program, run as built: the packed
// plugin files from the build folder go through the real loader into a real
// database, with the sample exports under tests/data/import.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/task/BTaskController.h"
#include "support/ShippedLoaders.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray sample(const QString& name)
{
    const QByteArray data = ShippedLoaders::sample(name);
    if (data.isEmpty())
        qFatal("missing sample %s", qPrintable(name));
    return data;
}

// The entry or group with this full name ("Group - Sub - Name").
PasswordDatabase::Item* itemAt(const PasswordDatabase& database, const QString& fullName)
{
    PasswordDatabase::Item* found = nullptr;
    for (PasswordDatabase::Item* item : database.getAllItems()) {
        if (item->getFullName() == fullName) {
            if (found)
                qFatal("two items named %s", qPrintable(fullName));
            found = item;
        }
    }
    return found;
}

PasswordDatabase::Password* entryAt(const PasswordDatabase& database, const QString& fullName)
{
    PasswordDatabase::Item* item = itemAt(database, fullName);
    return item && item->getType() == 2 ? static_cast<PasswordDatabase::Password*>(item) : nullptr;
}

// Full names of every item, groups marked with a trailing "/".
QStringList outline(const PasswordDatabase& database)
{
    QStringList names;
    for (PasswordDatabase::Item* item : database.getAllItems())
        names.append(item->getFullName() + (item->getType() == 1 ? QStringLiteral("/") : QString()));
    return names;
}

QString utcSeconds(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return QString::number(QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC).toSecsSinceEpoch());
}

// User name, password, URL, note and expiry ("never" or seconds since the
// epoch) of the entry with this full name; "missing" when there is none.
QStringList fieldsOf(const PasswordDatabase& database, const QString& fullName)
{
    const PasswordDatabase::Password* entry = entryAt(database, fullName);
    if (!entry)
        return { QStringLiteral("missing") };
    return { entry->getUsername(), entry->getPassword(), entry->getUrl(), entry->getNote(),
             entry->isNeverExpire() ? QStringLiteral("never") : QString::number(entry->getExpireTime().toSecsSinceEpoch()) };
}

// `text` (UTF-8) as UTF-16 with a byte-order mark, in either byte order.
QByteArray utf16(const QByteArray& text, bool bigEndian)
{
    const QString decoded = QString::fromUtf8(text);
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : decoded) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}

} // namespace

class TestShippedImporters : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void csvManagerExport();
    void csvLineEndsAndByteOrderMark_data();
    void csvLineEndsAndByteOrderMark();
    void csvSeparatorContactAndExpiry();
    void csvMalformedRowsAreReportedByLine();
    void csvProblemListIsBounded();
    void csvLegacyEncoding();
    void csvHeaderOnlyWarns();
    void csvRefused_data();
    void csvRefused();
    void csvOneTimeCodeColumns();

    void keepassExport_data();
    void keepassExport();
    void keepassRecycleBinByName();
    void keepassInvalidBytesAreNamed();
    void keepassMalformed_data();
    void keepassMalformed();
    void keepassNestingBounded();
    void keepassOneTimeCodes();

    void oversizedFilesFailCleanly();
    void commandLineImport();

private:
    bool import(PasswordDatabaseLoaderPlugin* plugin, const QByteArray& data, PasswordDatabase& database,
                const QString& extension);

    RecordingScriptUserInterface m_ui;
    LoaderPluginFixture::LoaderPointer m_csvLoader;
    LoaderPluginFixture::LoaderPointer m_xmlLoader;
    PasswordDatabaseLoaderPlugin* m_csv = nullptr;
    PasswordDatabaseLoaderPlugin* m_xml = nullptr;
};

bool TestShippedImporters::import(PasswordDatabaseLoaderPlugin* plugin, const QByteArray& data,
                                  PasswordDatabase& database, const QString& extension)
{
    database.setName(QStringLiteral("Imported database"));
    return plugin->loadDatabase(data, extension, database);
}

void TestShippedImporters::initTestCase()
{
    QString error;
    m_csvLoader = ShippedLoaders::load(QStringLiteral("csv-import"), error);
    QVERIFY2(m_csvLoader, qPrintable(error));
    m_xmlLoader = ShippedLoaders::load(QStringLiteral("keepass-xml-import"), error);
    QVERIFY2(m_xmlLoader, qPrintable(error));
    m_csv = m_csvLoader.get();
    m_xml = m_xmlLoader.get();
    QCOMPARE(m_csv->fileExtensions(), QStringList { QStringLiteral("csv") });
    QCOMPARE(m_xml->fileExtensions(), QStringList { QStringLiteral("xml") });
    QCOMPARE(databaseLoaderFor(QStringLiteral("csv")), m_csv);
    QCOMPARE(databaseLoaderFor(QStringLiteral("xml")), m_xml);
}

void TestShippedImporters::init()
{
    m_ui.clear();
}

// Quoting, line breaks in quotes, nested groups, unicode and the columns
// without a field of their own.
void TestShippedImporters::csvManagerExport()
{
    PasswordDatabase db;
    QVERIFY2(import(m_csv, sample("manager-export.csv"), db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(outline(db), QStringList({ "Social/", "Social - Chat/", "Social - Chat - Chat, the \"best\" one",
                                        "Social - Forum", "Finance/", "Finance - Banks/", "Finance - Banks - Retail/",
                                        "Finance - Banks - Retail - Bänk Ünïcode 🏦", "Imported/",
                                        "Imported - Loose note" }));

    QCOMPARE(fieldsOf(db, "Social - Chat - Chat, the \"best\" one"),
             QStringList({ "alice@example.com", "pa,ss\"word", "https://chat.example/login",
                           "First line\nsecond line, with a comma\n\nfavorite: 1", "never" }));
    QCOMPARE(fieldsOf(db, "Finance - Banks - Retail - Bänk Ünïcode 🏦"),
             QStringList({ "bob", "Pässwörd🔑✓", "https://bank.example", "fields: PIN: 1234\notpauth://totp/bank",
                           "never" }));
    // Bookkeeping columns at their plain values add nothing.
    QCOMPARE(fieldsOf(db, "Social - Forum"), QStringList({ "carol", "hunter2", "https://forum.example", "", "never" }));
    QCOMPARE(fieldsOf(db, "Imported - Loose note"), QStringList({ "", "", "", "just a note\n\ntype: note", "never" }));
    QVERIFY(m_ui.warnings.isEmpty());
}

void TestShippedImporters::csvLineEndsAndByteOrderMark_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray lf = sample("browser-export.csv");
    QVERIFY(lf.endsWith('\n') && !lf.contains('\r'));
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QByteArray cr = lf;
    cr.replace('\n', '\r');
    QTest::newRow("LF") << lf;
    QTest::newRow("CRLF") << crlf;
    QTest::newRow("CR") << cr;
    QTest::newRow("CRLF, byte-order mark") << QByteArray("\xEF\xBB\xBF") + crlf;
    QTest::newRow("LF, no final break") << lf.left(lf.size() - 1);
    QTest::newRow("CRLF, no final break") << crlf.left(crlf.size() - 2);
    QByteArray blank = lf;
    blank.replace("\nexample", "\n\n \nexample");
    QTest::newRow("blank lines around rows") << QByteArray("\n\n") + blank + "\n\n";
    QTest::newRow("UTF-16 LE, byte-order mark") << utf16(crlf, false);
    QTest::newRow("UTF-16 BE, byte-order mark") << utf16(lf, true);
}

// Every way of ending lines reads the same entries; a line break inside a
// quoted field is kept as one LF.
void TestShippedImporters::csvLineEndsAndByteOrderMark()
{
    QFETCH(QByteArray, data);
    PasswordDatabase db;
    QVERIFY2(import(m_csv, data, db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(outline(db), QStringList({ "Imported/", "Imported - example.com", "Imported - https://nameless.example/" }));
    QCOMPARE(fieldsOf(db, "Imported - example.com"),
             QStringList({ "user1", "secret1", "https://example.com/", "", "never" }));
    QCOMPARE(fieldsOf(db, "Imported - https://nameless.example/"),
             QStringList({ "user2", "two\nlines", "https://nameless.example/", "a \"quoted\" note", "never" }));
    QVERIFY(m_ui.warnings.isEmpty());
}

// A semicolon-separated file with header names in other spellings, e-mail
// and phone columns and expiry dates.
void TestShippedImporters::csvSeparatorContactAndExpiry()
{
    PasswordDatabase db;
    QVERIFY2(import(m_csv, sample("semicolon-expiry.csv"), db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(fieldsOf(db, "Imported - Semicolon"),
             QStringList({ "erin", "pw", "https://semi.example", "", utcSeconds(2031, 3, 4, 5, 6, 7) }));
    const PasswordDatabase::Password* semi = entryAt(db, "Imported - Semicolon");
    QCOMPARE(semi->getEmailAddress(), QStringLiteral("erin@example.com"));
    QCOMPARE(semi->getPhoneNumber(), QStringLiteral("+61 2 5550 1234"));
    QCOMPARE(fieldsOf(db, "Imported - Late"), QStringList({ "x", "y", "", "", utcSeconds(2099, 1, 1) }));
    QCOMPARE(fieldsOf(db, "Imported - Never"), QStringList({ "x", "y", "", "", "never" }));
    QCOMPARE(fieldsOf(db, "Imported - Bad date"), QStringList({ "x", "y", "", "Expires: next week", "never" }));
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY2(m_ui.warnings.first().contains("Line 5: expiry"), qPrintable(m_ui.warnings.first()));
}

// Broken rows are named by line in one warning; a row with an unterminated
// quote is skipped and the rows after it are read, a row with too many
// fields is kept with the extra values in its note.
void TestShippedImporters::csvMalformedRowsAreReportedByLine()
{
    PasswordDatabase db;
    QVERIFY2(import(m_csv, sample("malformed.csv"), db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(outline(db), QStringList({ "Imported/", "Imported - Two-line name", "Imported - Good one",
                                        "Imported - Broken \"quote\" ok", "Imported - Next", "Imported - Straytail",
                                        "Imported - Row ten", "Imported - Tall 6'2\"", "Imported - Last" }));
    QCOMPARE(fieldsOf(db, "Imported - Next"),
             QStringList({ "d", "pd", "https://d.example", "Extra value: EXTRA\nExtra value: MORE", "never" }));
    QCOMPARE(fieldsOf(db, "Imported - Row ten"), QStringList({ "h", "ph", "https://h.example", "", "never" }));

    // Lines count from the top of the file, quoted line breaks included.
    QCOMPARE(m_ui.warnings.size(), 1);
    const QString warning = m_ui.warnings.first();
    QVERIFY2(warning.contains("Entries imported: 8."), qPrintable(warning));
    for (const QString& expected : { QStringLiteral("Line 6: unterminated"), QStringLiteral("Line 7: the row has 6 fields"),
                                     QStringLiteral("Line 8: text after a closing quote"),
                                     QStringLiteral("Line 9: unterminated"), QStringLiteral("Line 11: the row has 5 fields") })
        QVERIFY2(warning.contains(expected), qPrintable(expected + " missing from: " + warning));
    for (const char* unexpected : { "Line 2:", "Line 3:", "Line 4:", "Line 5:", "Line 10:", "Line 12:" })
        QVERIFY2(!warning.contains(QLatin1String(unexpected)), qPrintable(QLatin1String(unexpected) + " in: " + warning));
}

// Thousands of bad rows give one warning of bounded length, and the good
// rows among them are all imported.
void TestShippedImporters::csvProblemListIsBounded()
{
    QByteArray data("name,password\n");
    for (int i = 0; i < 2000; ++i)
        data += QByteArray("good ") + QByteArray::number(i) + ",pw," + QByteArray(300, 'x') + "\n";
    PasswordDatabase db;
    QVERIFY2(import(m_csv, data, db, "csv"), qPrintable(m_csv->lastError()));
    const PasswordDatabase::Group* group = static_cast<PasswordDatabase::Group*>(itemAt(db, "Imported"));
    QVERIFY(group);
    QCOMPARE(group->getItems().size(), 2000);
    QCOMPARE(m_ui.warnings.size(), 1);
    const QString warning = m_ui.warnings.first();
    QVERIFY2(warning.size() < 8000, qPrintable(QString::number(warning.size())));
    QVERIFY(warning.contains("Line 2: the row has 3 fields"));
    QVERIFY(warning.contains("more"));
    QVERIFY(!warning.contains("Line 2001"));
}

// A file that is not UTF-8 is read as Windows-1252, and the warning says so;
// a UTF-8 file with the same characters is read as it is.
void TestShippedImporters::csvLegacyEncoding()
{
    PasswordDatabase legacy;
    QVERIFY2(import(m_csv, "name,password\nCaf\xE9 \x80,\x93quoted\x94\n", legacy, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(fieldsOf(legacy, QStringLiteral("Imported - Caf\u00E9 \u20AC")),
             QStringList({ "", QStringLiteral("\u201Cquoted\u201D"), "", "", "never" }));
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY2(m_ui.warnings.first().contains("Windows-1252"), qPrintable(m_ui.warnings.first()));

    m_ui.clear();
    PasswordDatabase utf8;
    QVERIFY2(import(m_csv, "name,password\nCaf\xC3\xA9 \xE2\x82\xAC,x\n", utf8, "csv"), qPrintable(m_csv->lastError()));
    QVERIFY(entryAt(utf8, QStringLiteral("Imported - Caf\u00E9 \u20AC")));
    QVERIFY(m_ui.warnings.isEmpty());
}

// A header row without entries makes an empty vault, but not silently.
void TestShippedImporters::csvHeaderOnlyWarns()
{
    PasswordDatabase db;
    QVERIFY2(import(m_csv, "name,username,password\r\n", db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY2(m_ui.warnings.first().contains("No entries were found"), qPrintable(m_ui.warnings.first()));
}

void TestShippedImporters::csvRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "empty";
    QTest::newRow("only blank lines") << QByteArray("\r\n  \n\n") << "empty";
    QTest::newRow("no header") << QByteArray("Gmail,alice,secret\nBank,bob,hunter2\n") << "not a header row";
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << "not a header row";
    QTest::newRow("header with unterminated quote") << QByteArray("name,\"password\nx,y\n") << "Line 1:";
    QTest::newRow("header after blank lines") << QByteArray("\n\nname,\"url\n") << "Line 3:";
}

// Files the importer cannot read fail with a message and leave nothing.
void TestShippedImporters::csvRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    PasswordDatabase db;
    QVERIFY(!import(m_csv, data, db, "csv"));
    QVERIFY2(m_csv->lastError().contains(message), qPrintable(m_csv->lastError()));
    QVERIFY(db.getItems().isEmpty());
}

// The three column names, a link kept as it is, a bare secret made into a
// link; a value that is neither stays a note line and is reported.
void TestShippedImporters::csvOneTimeCodeColumns()
{
    const QByteArray link = "otpauth://totp/Shop:dan?secret=JBSWY3DPEHPK3PXP&issuer=Shop";
    const QByteArray data = "name,login_username,notes,login_totp\n"
                            "Shop,dan,own note," + link + "\n"
                            "Bad,,,not base32!\n"
                            "Empty,,,\n";
    PasswordDatabase db;
    QVERIFY2(import(m_csv, data, db, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(entryAt(db, "Imported - Shop")->getNote(), "own note\n\n" + QString(link));
    QCOMPARE(entryAt(db, "Imported - Bad")->getNote(), QString("login_totp: not base32!"));
    QCOMPARE(entryAt(db, "Imported - Empty")->getNote(), QString());
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY2(m_ui.warnings.first().contains("Line 3: one-time code not understood"), qPrintable(m_ui.warnings.first()));

    for (const char* column : { "totp", "TOTP" }) {
        PasswordDatabase bare;
        QVERIFY(import(m_csv, QByteArray("name,username,") + column + "\nMy Bank,alice,jbsw y3dp ehpk 3pxp==\n", bare,
                       "csv"));
        QCOMPARE(entryAt(bare, "Imported - My Bank")->getNote(),
                 QString("otpauth://totp/My%20Bank:alice?secret=JBSWY3DPEHPK3PXP&issuer=My%20Bank&algorithm=SHA1"
                         "&digits=6&period=30"));
    }
}

void TestShippedImporters::keepassExport_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray lf = sample("keepass-export.xml");
    QVERIFY(!lf.contains('\r'));
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");
    QTest::newRow("LF") << lf;
    QTest::newRow("CRLF") << crlf;
    QTest::newRow("UTF-16 LE, byte-order mark") << utf16(crlf, false);
    QTest::newRow("UTF-16 BE, byte-order mark") << utf16(lf, true);
}

// Nested groups, entities, CDATA, expiry in both forms, extra strings in
// the note; history and recycle bin left out. Line ends in values read as
// LF whatever the file uses.
void TestShippedImporters::keepassExport()
{
    QFETCH(QByteArray, data);
    PasswordDatabase db;
    QVERIFY2(import(m_xml, data, db, "xml"), qPrintable(m_xml->lastError()));
    QCOMPARE(outline(db), QStringList({ "Household/", "Household - Wi-Fi & router", "Internet/", "Internet - Forum",
                                        "Internet - Mail <private>/", "Internet - Mail <private> - Mail <b>&amp;</b> more" }));
    QCOMPARE(db.getName(), QStringLiteral("Imported database"));
    QCOMPARE(db.getNote(), QStringLiteral("Everything we share"));
    const PasswordDatabase::Item* internet = itemAt(db, "Internet");
    QVERIFY(internet);
    QCOMPARE(internet->getNote(), QStringLiteral("Web accounts"));

    QCOMPARE(fieldsOf(db, "Household - Wi-Fi & router"),
             QStringList({ "", "<ä>A🔑\"'", "", "", utcSeconds(2030, 6, 15, 12, 30) }));
    QCOMPARE(fieldsOf(db, "Internet - Forum"),
             QStringList({ "carol", "new-password", "https://forum.example/?a=1&b=2",
                           "First line\nSecond line\n\nSecurity question: Blue\nTags: social;old", "never" }));
    // The expiry here is the Base64 seconds count of newer files.
    QCOMPARE(fieldsOf(db, "Internet - Mail <private> - Mail <b>&amp;</b> more"),
             QStringList({ "dävë 😀", "p<w>d&2", "", "Attached file (not imported): scan.pdf", utcSeconds(2030, 6, 15, 12, 30) }));

    QVERIFY(m_ui.warnings.isEmpty());
}

// Bytes that are not UTF-8 are replaced, and the warning names their lines.
void TestShippedImporters::keepassInvalidBytesAreNamed()
{
    const QByteArray data = "<KeePassFile><Root><Group><Name>Root</Name>\n"
                            "<Entry><String><Key>Title</Key><Value>Caf\xE9</Value></String>\n"
                            "<String><Key>UserName</Key><Value>ok \xC3\xA9</Value></String>\n"
                            "<String><Key>Password</Key><Value>\xED\xA0\x80x\xC3</Value></String></Entry>\n"
                            "</Group></Root></KeePassFile>\n";
    PasswordDatabase db;
    QVERIFY2(import(m_xml, data, db, "xml"), qPrintable(m_xml->lastError()));
    QCOMPARE(fieldsOf(db, QStringLiteral("Root - Caf\uFFFD")).mid(0, 2),
             QStringList({ QStringLiteral("ok \u00E9"), QStringLiteral("\uFFFDx\uFFFD") }));
    QCOMPARE(m_ui.warnings.size(), 1);
    const QString warning = m_ui.warnings.first();
    QVERIFY2(warning.contains("Line 2: bytes that are not valid text were replaced") && warning.contains("Line 4:")
                 && !warning.contains("Line 3:"),
             qPrintable(warning));
}

// Without a recycle bin named in the file, a root subgroup called "Recycle
// Bin" is left out, but not one deeper down.
void TestShippedImporters::keepassRecycleBinByName()
{
    const QByteArray data = "<KeePassFile><Root><Group><Name>Root</Name>"
                            "<Group><Name>Recycle Bin</Name><Entry><String><Key>Title</Key><Value>Gone</Value></String></Entry></Group>"
                            "<Group><Name>Keep</Name><Group><Name>Recycle Bin</Name>"
                            "<Entry><String><Key>Title</Key><Value>Kept</Value></String>"
                            "<Times><Expires>True</Expires><ExpiryTime>garbage</ExpiryTime></Times></Entry>"
                            "</Group></Group></Group></Root></KeePassFile>";
    PasswordDatabase db;
    QVERIFY2(import(m_xml, data, db, "xml"), qPrintable(m_xml->lastError()));
    QCOMPARE(outline(db), QStringList({ "Keep/", "Keep - Recycle Bin/", "Keep - Recycle Bin - Kept" }));
    QCOMPARE(fieldsOf(db, "Keep - Recycle Bin - Kept"), QStringList({ "", "", "", "Expires: garbage", "never" }));
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY(m_ui.warnings.first().contains("\"garbage\""));
}

void TestShippedImporters::keepassMalformed_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    const QByteArray head = "<?xml version=\"1.0\"?>\n<KeePassFile>\n<Root>\n<Group>\n<Name>R</Name>\n";
    const QByteArray tail = "</Group>\n</Root>\n</KeePassFile>\n";
    QTest::newRow("mismatched end tag") << head + "<Entry></Group>\n" + tail << "line 6: end tag </Group> where </Entry>";
    QTest::newRow("unknown entity") << head + "<Notes>&nbsp;</Notes>\n" + tail << "line 6: unknown entity";
    QTest::newRow("bare ampersand") << head + "\n<Notes>a & b</Notes>\n" + tail << "line 7:";
    QTest::newRow("bad character reference") << head + "<Notes>&#xD800;</Notes>\n" + tail << "line 6: invalid character";
    QTest::newRow("unclosed element") << head + "<Entry>\n" << "line 7: the file ends before </Entry>";
    QTest::newRow("unterminated comment") << head + "<!-- forever\n" << "line 6: unterminated comment";
    QTest::newRow("unterminated CDATA") << head + "<Notes><![CDATA[x</Notes>\n" + tail << "line 6: unterminated CDATA";
    QTest::newRow("unquoted attribute") << head + "<Value Protected=True>x</Value>\n" + tail << "line 6: attribute Protected";
    QTest::newRow("duplicate attribute") << head + "<Value a='1' a=\"2\"/>\n" + tail << "line 6: attribute a appears twice";
    QTest::newRow("text after the document") << head + tail + "trailing" << "line 9: text outside";
    QTest::newRow("second document element") << head + tail + "<KeePassFile/>" << "line 9: a second document element";
    QTest::newRow("document type") << QByteArray("<!DOCTYPE x [<!ENTITY a \"b\">]>\n<KeePassFile/>") << "line 1: document type";
    QTest::newRow("not KeePass") << QByteArray("<html><body/></html>") << "not a KeePass XML export";
    QTest::newRow("empty") << QByteArray() << "no document element";
    QTest::newRow("stray less-than") << head + "<Notes>1 < 2</Notes>\n" + tail << "line 6:";
    QTest::newRow("encrypted value") << head + "<Entry><String><Key>Password</Key><Value Protected=\"True\">c2VjcmV0</Value>"
                                                "</String></Entry>\n" + tail
                                     << "encrypted values";
}

// Malformed XML fails with the line of the fault and imports nothing.
void TestShippedImporters::keepassMalformed()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    PasswordDatabase db;
    QVERIFY(!import(m_xml, data, db, "xml"));
    QVERIFY2(m_xml->lastError().contains(message), qPrintable(m_xml->lastError()));
    QVERIFY(db.getItems().isEmpty());
}

// Deep nesting within the bound is imported whole; beyond it the import
// fails cleanly.
void TestShippedImporters::keepassNestingBounded()
{
    const auto nested = [](int depth) {
        QByteArray data = "<KeePassFile><Root>";
        for (int i = 0; i < depth; ++i)
            data += "<Group><Name>G" + QByteArray::number(i) + "</Name>";
        data += "<Entry><String><Key>Title</Key><Value>Deep</Value></String></Entry>";
        for (int i = 0; i < depth; ++i)
            data += "</Group>";
        return data + "</Root></KeePassFile>";
    };
    PasswordDatabase db;
    QVERIFY2(import(m_xml, nested(100), db, "xml"), qPrintable(m_xml->lastError()));
    const PasswordDatabase::Password* deep = nullptr;
    for (PasswordDatabase::Item* item : db.getAllItems())
        if (item->getType() == 2)
            deep = static_cast<PasswordDatabase::Password*>(item);
    QVERIFY(deep);
    QCOMPARE(deep->getName(), QStringLiteral("Deep"));
    QVERIFY(deep->getFullName().startsWith("G1 - G2 - "));
    QCOMPARE(deep->getFullName().count(" - "), 99);

    PasswordDatabase refused;
    QVERIFY(!import(m_xml, nested(5000), refused, "xml"));
    QVERIFY2(m_xml->lastError().contains("elements are nested more than 128 deep"), qPrintable(m_xml->lastError()));
    QVERIFY(refused.getItems().isEmpty());
}

// A file beyond what the importers take fails with a message, and the
// plugin goes on working afterwards.
// An "otp" link, and KeePass's own TimeOtp-* settings, become the note's
// link line; TimeOtp-* strings that a link made unneeded stay note lines.
void TestShippedImporters::keepassOneTimeCodes()
{
    const auto entry = [](const QByteArray& title, const QList<QPair<QByteArray, QByteArray>>& strings) {
        QByteArray xml = "<Entry><String><Key>Title</Key><Value>" + title + "</Value></String>";
        for (const auto& string : strings)
            xml += "<String><Key>" + string.first + "</Key><Value>" + string.second + "</Value></String>";
        return xml + "</Entry>";
    };
    const QByteArray xml = "<KeePassFile><Root><Group><Name>Root</Name><Group><Name>Web</Name>"
        + entry("Linked", { { "otp", "otpauth://totp/Linked?secret=JBSWY3DPEHPK3PXP&amp;digits=8" },
                            { "TimeOtp-Length", "7" } })
        + entry("Settings", { { "TimeOtp-Secret-Base32", "jbsw y3dp" }, { "TimeOtp-Length", "8" },
                              { "TimeOtp-Period", "60" }, { "TimeOtp-Algorithm", "HMAC-SHA-256" } })
        + entry("Defaults", { { "TimeOtp-Secret-Base32", "JBSWY3DP" } })
        + entry("Broken", { { "TimeOtp-Secret-Base32", "JBSW0" } })
        + "</Group></Group></Root></KeePassFile>";
    PasswordDatabase db;
    QVERIFY2(import(m_xml, xml, db, "xml"), qPrintable(m_xml->lastError()));
    QCOMPARE(entryAt(db, "Web - Linked")->getNote(),
             QString("TimeOtp-Length: 7\notpauth://totp/Linked?secret=JBSWY3DPEHPK3PXP&digits=8"));
    QCOMPARE(entryAt(db, "Web - Settings")->getNote(),
             QString("otpauth://totp/Settings?secret=JBSWY3DP&issuer=Settings&algorithm=SHA256&digits=8&period=60"));
    QCOMPARE(entryAt(db, "Web - Defaults")->getNote(),
             QString("otpauth://totp/Defaults?secret=JBSWY3DP&issuer=Defaults&algorithm=SHA1&digits=6&period=30"));
    QCOMPARE(entryAt(db, "Web - Broken")->getNote(), QString("TimeOtp-Secret-Base32: JBSW0"));
    QCOMPARE(m_ui.warnings.size(), 1);
    QVERIFY2(m_ui.warnings.first().contains("\"Broken\": one-time code not understood"), qPrintable(m_ui.warnings.first()));
}

void TestShippedImporters::oversizedFilesFailCleanly()
{
    QByteArray data("name,password\n");
    const QByteArray row("some entry,some password\n");
    data.reserve(17 * 1024 * 1024 + row.size());
    while (data.size() < 17 * 1024 * 1024)
        data += row;
    PasswordDatabase db;
    QVERIFY(!import(m_csv, data, db, "csv"));
    QVERIFY2(m_csv->lastError().contains("too large"), qPrintable(m_csv->lastError()));
    QVERIFY(db.getItems().isEmpty());

    QByteArray xml = "<KeePassFile><Root>" + QByteArray(17 * 1024 * 1024, ' ') + "</Root></KeePassFile>";
    QVERIFY(!import(m_xml, xml, db, "xml"));
    QVERIFY2(m_xml->lastError().contains("too large"), qPrintable(m_xml->lastError()));

    PasswordDatabase after;
    QVERIFY2(import(m_csv, sample("browser-export.csv"), after, "csv"), qPrintable(m_csv->lastError()));
    QCOMPARE(after.getAllItems().size(), 3);
}

// The command-line client imports a CSV file into a new vault that opens
// with the given password and holds the entries.
void TestShippedImporters::commandLineImport()
{
    const QString program = qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli";
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString source = dir.filePath("export.csv");
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(sample("manager-export.csv"));
    }
    const QString vault = dir.filePath("imported.lhdb");
    QProcess process;
    process.start(program, { "import", source, vault, "--plugin", ShippedLoaders::path("csv-import"), "--name", "From CSV",
                             "--rounds", "3", "--password-stdin" });
    process.write("master\n");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(120000));
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             qPrintable(QString::fromUtf8(process.readAllStandardError())));

    PasswordDatabase db;
    QVERIFY(db.load(vault, nullptr));
    BTaskController controller;
    PasswordDatabaseUnlockTask task(db, QStringLiteral("master"));
    QCOMPARE(task.run(&controller), Success);
    QCOMPARE(db.getName(), QStringLiteral("From CSV"));
    QCOMPARE(fieldsOf(db, "Finance - Banks - Retail - Bänk Ünïcode 🏦").value(1), QStringLiteral("Pässwörd🔑✓"));
    QCOMPARE(fieldsOf(db, "Social - Chat - Chat, the \"best\" one").value(1), QStringLiteral("pa,ss\"word"));
    QCOMPARE(db.getAllItems().size(), 10);
}

QTEST_MAIN(TestShippedImporters)
#include "tst_shippedimporters.moc"
