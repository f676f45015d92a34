// The tree's JSON is written and read without the toolkit's object tree; the
// toolkit's own writer and reader are the reference it must match exactly.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/StrictJsonDocument.h"
#include "app/database/TreeJsonWriter.h"
#include "blib/app/BFileAccess.h"
#include "blib/task/BTaskController.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <ctime>

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

QByteArray toolkitCompact(const PasswordDatabase& db)
{
    return QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Compact);
}

// Every field, every kind of character the escaping tells apart, and the
// numbers and times at their edges. Lone surrogate halves are written as
// escapes the strict reader leaves to the toolkit.
void fillRichTree(PasswordDatabase& db, bool loneHalves = true)
{
    QString controls;
    for (ushort c = 0; c < 0x20; ++c)
        controls += QChar(c);
    const QString awkward = controls + QStringLiteral("\"\\/\x7f %1 ") + QString::fromUtf8("é€中😀\xef\xbf\xbf");
    const QString halves = loneHalves ? QString(QChar(0xD800)) + QChar(0xD800) + QChar(0xD83D) + QChar(0xDE00)
            + QChar(0xDC00) + QLatin1Char('x') + QChar(0xDBFF)
                                      : QString(QChar(0xD83D)) + QChar(0xDE00);

    auto* top = new Group;
    top->setName(awkward);
    top->setNote(halves);
    top->setIconId(QStringLiteral("tessavond.backup"));
    top->setTag(INT_MIN);
    top->setFlags(INT_MAX);
    top->setGuiState(3);
    db.addItem(top);
    auto* sub = new Group; // empty texts, no items
    sub->setCreated(QDateTime(QDate(999, 12, 31), QTime(23, 59, 59), Qt::UTC));
    sub->setModifiedTime(QDateTime());
    top->addItem(sub);

    auto* full = new Password;
    full->setName(QStringLiteral("Bank"));
    full->setNote(QStringLiteral("line one\r\nline two\ttab"));
    full->setUsername(awkward);
    full->setPassword(halves);
    full->setEmailAddress(QString::fromUtf8("ünïcode@example.org"));
    full->setPhoneNumber(QStringLiteral("+61 2 5550 1234"));
    full->setUrl(QStringLiteral("https://example.org/a?b=c&d=\"e\""));
    full->setIconId(QStringLiteral("tessavond.web"));
    full->setTag(-1);
    full->setFlags(1000000);
    full->setGuiState(-2147483647);
    full->setNeverExpire(false);
    full->setExpireTime(QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6, 789), Qt::LocalTime));
    Password::Attachment file;
    file.setFileName(QStringLiteral("key \"file\".bin"));
    file.setData(QStringLiteral("AAEC/w=="));
    file.setDataHash(QStringLiteral("ab12"));
    full->setAttachment(file);
    top->addItem(full);

    auto* bare = new Password(QDateTime()); // no expiry time, no attachment
    bare->setAttachment(Password::Attachment()); // an empty one is not written
    sub->addItem(bare);
    auto* emptyData = new Password(QDateTime(QDate(12, 1, 1), QTime(0, 0), Qt::UTC));
    Password::Attachment noData;
    noData.setFileName(QStringLiteral("gone.txt"));
    emptyData->setAttachment(noData);
    top->addItem(emptyData);

    auto* second = new Group;
    second->setName(QStringLiteral("Second"));
    db.addItem(second);

    const QDateTime now = PasswordDatabase::Item::stampNow();
    db.setDeletions({ { QStringLiteral("0123456789abcdef0123456789abcdef"), now.addDays(-2) },
                      { QStringLiteral("fedcba9876543210fedcba9876543210"),
                        now.addDays(-PasswordDatabase::DeletionMemoryDays - 2) },
                      { QString::fromUtf8("odd \"uuid\" é"), now } });
}

// The compact form of a tree read back, for comparing two reads.
QByteArray readBack(const QList<Group*>& groups, const QList<PasswordDatabase::Deletion>& deletions, int version)
{
    PasswordDatabase db;
    db.setFileFormatVersion(version >= 4 ? CurrentDatabaseFormatVersion : LegacyDatabaseFormatVersion);
    {
        const PasswordDatabase::Item::StampFreeze freeze;
        for (Group* group : groups)
            db.addItem(group);
    }
    db.setDeletions(deletions);
    return toolkitCompact(db);
}

// What the unlock made of a tree text before it had a reader of its own.
TreeTextResult toolkitRead(const QByteArray& text, int version, QList<Group*>& groups)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        return error.error == QJsonParseError::DeepNesting ? TreeTextResult::TooDeep : TreeTextResult::NotAnObject;
    if (!parseTreeGroups(document.object(), version, groups))
        return groupNestingDepth(document.object()) > PasswordDatabase::MaxGroupDepth ? TreeTextResult::TooDeep
                                                                                      : TreeTextResult::Unloadable;
    return TreeTextResult::Read;
}

QByteArray nestedGroups(int depth)
{
    const QByteArray group = "{\"name\":\"\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,\"icon\":\"\",\"type\":1,\"items\":[";
    QByteArray text = "{\"groups\":[";
    for (int i = 0; i < depth; ++i)
        text += group;
    for (int i = 0; i < depth; ++i)
        text += "]}";
    return text + "]}";
}

} // namespace

class tst_TreeJson : public QObject
{
    Q_OBJECT

private slots:
    void stampInALocalClockGapIsKept()
    {
        // 02:30 on that day does not exist on Berlin's clocks; as a UTC stamp
        // it is an ordinary time, which reading in local time lost.
        const bool hadZone = qEnvironmentVariableIsSet("TZ");
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const QDateTime stamp = parseStampTime(QStringLiteral("2026-03-29T02:30:00Z"));
        if (hadZone)
            qputenv("TZ", zone);
        else
            qunsetenv("TZ");
        tzset();
        QCOMPARE(stamp, QDateTime(QDate(2026, 3, 29), QTime(2, 30), Qt::UTC));
    }

    void writerGivesTheToolkitsCompactBytes_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("version 4") << CurrentDatabaseFormatVersion;
        QTest::newRow("versions 1 to 3") << LegacyDatabaseFormatVersion;
    }

    void writerGivesTheToolkitsCompactBytes()
    {
        QFETCH(int, version);
        PasswordDatabase db;
        db.setFileFormatVersion(version);
        fillRichTree(db);
        const QByteArray expected = toolkitCompact(db);
        QCOMPARE(TreeJsonWriter::compactTree(db), expected);
        // Written by a vault read from a version 1 file, too.
        if (version == LegacyDatabaseFormatVersion) {
            PasswordDatabase old;
            QVERIFY(parseTree(old, QString::fromUtf8(expected), 1));
            QCOMPARE(TreeJsonWriter::compactTree(old), toolkitCompact(old));
        }

        // The padded text holds that body between its two paddings.
        QByteArray padded("header");
        QVERIFY(appendSerialisedTree(db, padded));
        const QByteArray body = expected.mid(1, expected.size() - 2);
        const int bodyAt = padded.indexOf(body);
        QVERIFY(bodyAt > 0);
        const QByteArray before = padded.left(bodyAt), after = padded.mid(bodyAt + body.size());
        QVERIFY(before.startsWith("header{\"paddingStart\": \"") && before.endsWith("\", "));
        QVERIFY(after.startsWith(", \"paddingEnd\": \"") && after.endsWith("\"}"));
        const int bodyUnits = QString::fromUtf8(body).size();
        for (const QByteArray& padding : { before.mid(24, before.size() - 27), after.mid(17, after.size() - 19) }) {
            QVERIFY(padding.size() % 2 == 0 && padding.size() / 2 < qMax(1, bodyUnits / 5));
            QCOMPARE(QByteArray::fromHex(padding).toHex(), padding);
        }

        PasswordDatabase empty;
        empty.setFileFormatVersion(version);
        QCOMPARE(TreeJsonWriter::compactTree(empty), toolkitCompact(empty));
    }

    void writerRefusesWhatTheReaderWouldNotFollow()
    {
        PasswordDatabase db;
        Group* parent = new Group;
        db.addItem(parent);
        for (int i = 1; i < PasswordDatabase::MaxGroupDepth + 1; ++i) {
            Group* child = new Group;
            parent->addItem(child);
            parent = child;
        }
        QByteArray out("kept");
        QVERIFY(!appendSerialisedTree(db, out));
        QCOMPARE(out, QByteArray("kept"));
        QVERIFY(TreeJsonWriter::compactTree(db).isNull());
    }

    // The texts the strict reader takes must read as the toolkit reads them;
    // those where the two could differ it must leave to the toolkit.
    void strictReaderDeclinesWhatCouldReadDifferently_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("duplicate key") << QByteArray("{\"a\":\"x\",\"a\":\"y\"}");
        QTest::newRow("escaped key") << QByteArray("{\"\\u0061\":1}");
        QTest::newRow("lone high half") << QByteArray("{\"a\":\"\\ud800\"}");
        QTest::newRow("lone low half") << QByteArray("{\"a\":\"\\udc00x\"}");
        QTest::newRow("raw control") << QByteArray("{\"a\":\"\x01\"}");
        QTest::newRow("unknown escape") << QByteArray("{\"a\":\"\\\'\"}");
        QTest::newRow("fraction") << QByteArray("{\"a\":1.0}");
        QTest::newRow("exponent") << QByteArray("{\"a\":1e2}");
        QTest::newRow("long integer") << QByteArray("{\"a\":1234567890123456}");
        QTest::newRow("leading zero") << QByteArray("{\"a\":01}");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf{}");
        QTest::newRow("trailing text") << QByteArray("{} x");
        QTest::newRow("trailing comma") << QByteArray("{\"a\":[1,]}");
        QTest::newRow("top-level array") << QByteArray("[]");
        QTest::newRow("bad UTF-8") << QByteArray("{\"a\":\"\xc0\x80\"}");
        QTest::newRow("encoded half") << QByteArray("{\"a\":\"\xed\xa0\x80\"}");
        QTest::newRow("unclosed") << QByteArray("{\"a\":\"x\"");
        QByteArray many = "{";
        for (int i = 0; i <= StrictJsonDocument::MaxMembers; ++i)
            many += (i ? ",\"k" : "\"k") + QByteArray::number(i) + "\":0";
        QTest::newRow("too many members") << many + "}";
        QTest::newRow("too deep") << QByteArray("{\"a\":[[[[{}]]]]}");
    }

    void strictReaderDeclinesWhatCouldReadDifferently()
    {
        QFETCH(QByteArray, text);
        StrictJsonDocument document;
        QVERIFY(!document.parse(text.constData(), text.size(), 4));
        QVERIFY(document.object().value(QLatin1String("a")).isUndefined());
    }

    void readerBuildsWhatTheToolkitsReaderBuilt_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("version");
        QTest::addColumn<bool>("strict"); // read without the toolkit

        for (int version : { CurrentDatabaseFormatVersion, LegacyDatabaseFormatVersion }) {
            PasswordDatabase db;
            db.setFileFormatVersion(version);
            fillRichTree(db, false);
            QByteArray written;
            QVERIFY(appendSerialisedTree(db, written));
            const QByteArray name = "written, version " + QByteArray::number(version);
            QTest::newRow(name.constData()) << written << version << true;
            QTest::newRow((name + " read as version 1").constData()) << written << 1 << true;
            QTest::newRow((name + " read as version 2").constData()) << written << 2 << true;
            const QByteArray indented = QJsonDocument::fromJson(written).toJson(QJsonDocument::Indented);
            QTest::newRow((name + ", indented").constData()) << indented << version << true;
        }
        {
            PasswordDatabase db;
            fillRichTree(db);
            QByteArray written;
            QVERIFY(appendSerialisedTree(db, written));
            QTest::newRow("written, lone surrogate halves") << written << 4 << false;
        }
        const QByteArray entry = "{\"type\":2,\"name\":\"e\",\"note\":\"\",\"tag\":0,\"flags\":1,\"gui_state\":2,\"icon\":\"\","
                                 "\"username\":\"u\",\"email_address\":\"\",\"phone_number\":\"\",\"password\":\"p\",\"url\":\"\","
                                 "\"never_expire\":true,\"expire_time\":\"Mon Jan 1 00:00:00 2024 GMT\"";
        const QByteArray group = "{\"groups\":[{\"type\":1,\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,"
                                 "\"icon\":\"\",\"items\":[";
        QTest::newRow("escapes, strict") << group + "{\"type\":2,\"name\":\"\\u00e9\\ud83d\\ude00\\/\\n\\\"\\\\\",\"note\":\"\","
                                             "\"tag\":-0,\"flags\":1,\"gui_state\":2,\"icon\":\"\",\"username\":\"u\","
                                             "\"email_address\":\"\",\"phone_number\":\"\",\"password\":\"p\",\"url\":\"\","
                                             "\"never_expire\":false,\"expire_time\":\"x\",\"attachment\":{\"data\":\"QQ==\"},"
                                             "\"padding\":[null,true,{\"deep\":[]}]}]}]}"
                                         << 3 << true;
        QTest::newRow("unknown type skipped") << group + "{\"type\":3}," + entry + "}]}]}" << 3 << true;
        QTest::newRow("whole number as fraction") << group + entry.left(entry.indexOf("\"tag\":0")) + "\"tag\":2.0"
                + entry.mid(entry.indexOf("\"tag\":0") + 7) + "}]}]}" << 3 << false;
        QTest::newRow("number as text") << group + entry.left(entry.indexOf("\"tag\":0")) + "\"tag\":\"0\""
                + entry.mid(entry.indexOf("\"tag\":0") + 7) + "}]}]}" << 3 << true;
        QTest::newRow("missing member") << group + entry.left(entry.indexOf(",\"url\"")) + "}]}]}" << 3 << true;
        QTest::newRow("no gui state in version 3") << QByteArray("{\"groups\":[{\"type\":1,\"name\":\"g\",\"note\":\"\","
                                                                 "\"tag\":0,\"flags\":0,\"icon\":\"\",\"items\":[]}]}")
                                                   << 3 << true;
        QTest::newRow("no groups") << QByteArray("{\"paddingStart\":\"00\"}") << 3 << true;
        QTest::newRow("not JSON") << QByteArray("\x93\x11garbage") << 3 << false;
        QTest::newRow("duplicate member") << group + entry + ",\"name\":\"second\"}]}]}" << 3 << false;
        QTest::newRow("groups too deep") << nestedGroups(PasswordDatabase::MaxGroupDepth + 1) << 3 << true;
        QTest::newRow("groups deepest") << nestedGroups(PasswordDatabase::MaxGroupDepth) << 3 << true;
        QTest::newRow("beyond the toolkit's nesting") << nestedGroups(600) << 3 << false;
        const QByteArray yesterday = formatStampTime(PasswordDatabase::Item::stampNow().addDays(-1)).toLatin1();
        QTest::newRow("deletions") << "{\"deleted\":[{\"uuid\":\"0123456789abcdef0123456789abcdef\",\"deleted\":\""
                + yesterday + "\"},{\"uuid\":\"bad\",\"deleted\":\"" + yesterday + "\"},7],\"groups\":[]}"
                                   << 4 << true;
    }

    void readerBuildsWhatTheToolkitsReaderBuilt()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, version);
        QFETCH(bool, strict);

        StrictJsonDocument document;
        QCOMPARE(document.parse(text.constData(), text.size(), TreeTextMaxDepth), strict);

        QList<Group*> groups, expectedGroups;
        QList<PasswordDatabase::Deletion> deletions;
        const TreeTextResult result = readTreeText(text, version, groups, deletions);
        const TreeTextResult expected = toolkitRead(text, version, expectedGroups);
        QCOMPARE(int(result), int(expected));
        if (result != TreeTextResult::Read) {
            QVERIFY(groups.isEmpty() && deletions.isEmpty());
            return;
        }
        const QList<PasswordDatabase::Deletion> expectedDeletions =
            version >= 4 ? parseDeletions(QJsonDocument::fromJson(text).object()) : QList<PasswordDatabase::Deletion>();
        QCOMPARE(deletions.size(), expectedDeletions.size());
        QCOMPARE(readBack(groups, deletions, version), readBack(expectedGroups, expectedDeletions, version));
    }

    // An envelope the strict reader takes and the same one it leaves to the
    // toolkit load alike; so do their refusals.
    void envelopeLoadsAlikeEitherWay()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("vault.lhdb"));
        PasswordDatabase db;
        {
            BTaskController controller;
            PasswordDatabaseSetPasswordTask task(db, QStringLiteral("pw"), 1, 1, 1);
            QCOMPARE(task.run(&controller), Success);
        }
        db.setName(QString::fromUtf8("Name \"é\" \\ 😀"));
        db.setNote(QStringLiteral("a\nb"));
        fillRichTree(db);
        QVERIFY(db.save(path));
        QByteArray bytes;
        QString error;
        QVERIFY(readRegularFile(path, PasswordDatabase::MaxFileSize, bytes, error));
        QByteArray declined = bytes;
        declined.replace("\"note\":", "\"\\u006eote\":"); // same member, but an escaped key

        StrictJsonDocument document;
        QVERIFY(document.parse(bytes.constData(), bytes.size(), 8));
        QVERIFY(!document.parse(declined.constData(), declined.size(), 8));

        PasswordDatabase strict, toolkit;
        BTaskController controller;
        QVERIFY(strict.loadBytes(path, bytes, &controller));
        QVERIFY(toolkit.loadBytes(path, declined, &controller));
        QCOMPARE(strict.getName(), db.getName());
        QCOMPARE(toolkit.getName(), db.getName());
        QCOMPARE(strict.getNote(), toolkit.getNote());
        QCOMPARE(strict.getEncryptedData(), toolkit.getEncryptedData());
        QCOMPARE(strict.getHmac(), toolkit.getHmac());
        QCOMPARE(strict.getCipherIv(), toolkit.getCipherIv());
        QCOMPARE(strict.getFormatVersion(), toolkit.getFormatVersion());

        for (const QByteArray& change : { QByteArray("\"version\": 4"), QByteArray("\"hmac\"") }) {
            QByteArray broken = bytes;
            broken.replace(change, change.startsWith("\"version") ? "\"version\": 5" : "\"hmaq\"");
            PasswordDatabase refused;
            BTaskController refusal;
            QVERIFY(!refused.loadBytes(path, broken, &refusal));
            QCOMPARE(refusal.errorMessage().isEmpty(), change.startsWith("\"hmac"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_TreeJson)
#include "tst_treejson.moc"
