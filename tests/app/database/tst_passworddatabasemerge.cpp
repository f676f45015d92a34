// Item ids and times in the version 4 tree, and merging two copies of a
// vault changed apart.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseMerge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

namespace {

const QDateTime T1(QDate(2020, 1, 1), QTime(10, 0), Qt::UTC);
const QDateTime T2(QDate(2020, 2, 1), QTime(10, 0), Qt::UTC);
const QDateTime T3(QDate(2020, 3, 1), QTime(10, 0), Qt::UTC);

QString uuid(char digit)
{
    return QString(32, QLatin1Char(digit));
}

template <typename T>
T* stamped(T* item, const QString& name, const QString& id, const QDateTime& modified)
{
    item->setName(name);
    item->setUuid(id);
    item->setCreated(T1);
    item->setModifiedTime(modified);
    return item;
}

Group* topGroup(PasswordDatabase& db, const QString& name, const QString& id)
{
    Group* group = stamped(new Group, name, id, T1);
    db.addItem(group);
    group->setModifiedTime(T1);
    return group;
}

Password* entry(Group* parent, const QString& name, const QString& id, const QDateTime& modified,
                const QString& secret = QStringLiteral("s"))
{
    Password* password = stamped(new Password, name, id, modified);
    password->setPassword(secret);
    parent->addItem(password);
    password->setModifiedTime(modified);
    return password;
}

Item* byName(const PasswordDatabase& db, const QString& fullName)
{
    for (Item* item : db.getAllItems()) {
        if (item->getFullName() == fullName)
            return item;
    }
    return nullptr;
}

QByteArray treeText(const PasswordDatabase& db)
{
    return QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Compact);
}

} // namespace

class TestPasswordDatabaseMerge : public QObject
{
    Q_OBJECT

private slots:
    void treeCarriesIdsTimesAndDeletions()
    {
        PasswordDatabase db;
        Group* group = topGroup(db, QStringLiteral("G"), uuid('a'));
        entry(group, QStringLiteral("P"), uuid('b'), T2);
        Password* gone = entry(group, QStringLiteral("Gone"), uuid('c'), T2);
        group->deleteItem(gone);
        const QJsonObject root = treeToJson(db);
        const QJsonObject groupJson = root.value(QLatin1String("groups")).toArray().at(0).toObject();
        QCOMPARE(groupJson.value(QLatin1String("uuid")).toString(), uuid('a'));
        const QJsonObject passwordJson = groupJson.value(QLatin1String("items")).toArray().at(0).toObject();
        QCOMPARE(passwordJson.value(QLatin1String("modified")).toString(), QStringLiteral("2020-02-01T10:00:00Z"));
        QCOMPARE(passwordJson.value(QLatin1String("created")).toString(), QStringLiteral("2020-01-01T10:00:00Z"));
        const QJsonArray deleted = root.value(QLatin1String("deleted")).toArray();
        QCOMPARE(deleted.size(), 1);
        QCOMPARE(deleted.at(0).toObject().value(QLatin1String("uuid")).toString(), uuid('c'));

        PasswordDatabase read;
        QVERIFY(parseTree(read, QString::fromUtf8(treeText(db)), 4));
        QCOMPARE(treeText(read), treeText(db));
    }

    void legacyTreeHasNoNewMembers()
    {
        PasswordDatabase db;
        db.setFileFormatVersion(3);
        Group* group = topGroup(db, QStringLiteral("G"), uuid('a'));
        group->deleteItem(entry(group, QStringLiteral("P"), uuid('b'), T2));
        const QByteArray text = treeText(db);
        QVERIFY(!text.contains("uuid"));
        QVERIFY(!text.contains("modified"));
        QVERIFY(!text.contains("deleted"));
    }

    void payloadWithoutIdsIsRead()
    {
        PasswordDatabase db;
        QVERIFY(parseTree(db, QStringLiteral(R"({"groups":[{"type":1,"name":"G","note":"","tag":0,)"
                                             R"("flags":0,"gui_state":0,"icon":"","items":[]}]})"),
                          4));
        QCOMPARE(db.getItems().size(), 1);
        QVERIFY(Item::isValidUuid(db.getItems().at(0)->getUuid()));
        QVERIFY(db.getItems().at(0)->getModifiedTime().isValid());
    }

    void modifiedMovesWithFieldsAndParent()
    {
        PasswordDatabase db;
        Group* a = topGroup(db, QStringLiteral("A"), uuid('a'));
        Group* b = topGroup(db, QStringLiteral("B"), uuid('b'));
        Password* password = entry(a, QStringLiteral("P"), uuid('c'), T1);
        password->setGuiState(1);
        QCOMPARE(password->getModifiedTime(), T1);
        password->setUsername(QStringLiteral("new"));
        QVERIFY(password->getModifiedTime() > T2);
        password->setModifiedTime(T1);
        a->takeItem(password);
        b->addItem(password);
        QVERIFY(password->getModifiedTime() > T2);
        QCOMPARE(password->getUuid(), uuid('c'));
    }

    void newerVersionWinsAndLoserIsKept()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("G"), uuid('a')), QStringLiteral("Mine"), uuid('b'), T2,
              QStringLiteral("old"));
        entry(topGroup(source, QStringLiteral("G"), uuid('a')), QStringLiteral("Theirs"), uuid('b'), T3,
              QStringLiteral("new"));
        const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(summary.updated, 1);
        QCOMPARE(summary.conflicts, 1);
        auto* winner = static_cast<Password*>(byName(destination, QStringLiteral("G - Theirs")));
        QVERIFY(winner);
        QCOMPARE(winner->getPassword(), QStringLiteral("new"));
        auto* kept = static_cast<Password*>(byName(destination, QStringLiteral("Backup - Mine")));
        QVERIFY(kept);
        QCOMPARE(kept->getPassword(), QStringLiteral("old"));
        QVERIFY(kept->getUuid() != uuid('b'));
    }

    // The conflict copy and the source's own backup group end in one group.
    void backupGroupsJoin()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('b'), T2,
              QStringLiteral("old"));
        entry(topGroup(source, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('b'), T3,
              QStringLiteral("new"));
        Group* theirBackup = topGroup(source, QStringLiteral("Backup"), uuid('e'));
        theirBackup->setTag(PasswordDatabase::BackupGroupTag);
        entry(theirBackup, QStringLiteral("Q"), uuid('f'), T2);
        PasswordDatabaseMerge::merge(destination, source);
        int backups = 0;
        for (const Group* group : destination.getItems())
            backups += group->getTag() == PasswordDatabase::BackupGroupTag ? 1 : 0;
        QCOMPARE(backups, 1);
        QVERIFY(byName(destination, QStringLiteral("Backup - P")));
        QVERIFY(byName(destination, QStringLiteral("Backup - Q")));
    }

    void olderSourceChangesNothingButKeepsItsVersion()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("G"), uuid('a')), QStringLiteral("Mine"), uuid('b'), T3);
        entry(topGroup(source, QStringLiteral("G"), uuid('a')), QStringLiteral("Theirs"), uuid('b'), T2);
        const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(summary.updated, 0);
        QVERIFY(byName(destination, QStringLiteral("G - Mine")));
        QVERIFY(byName(destination, QStringLiteral("Backup - Theirs")));
    }

    void matchedByPathWhenIdsDiffer()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('b'), T2,
              QStringLiteral("old"));
        entry(topGroup(source, QStringLiteral("G"), uuid('c')), QStringLiteral("P"), uuid('d'), T3,
              QStringLiteral("new"));
        PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(destination.getItems().size(), 2); // G and Backup
        auto* merged = static_cast<Password*>(byName(destination, QStringLiteral("G - P")));
        QCOMPARE(merged->getPassword(), QStringLiteral("new"));
        QCOMPARE(merged->getUuid(), uuid('d'));
    }

    void ambiguousPathIsLeftUnmatched()
    {
        PasswordDatabase destination, source;
        Group* group = topGroup(destination, QStringLiteral("G"), uuid('a'));
        entry(group, QStringLiteral("P"), uuid('b'), T2);
        entry(group, QStringLiteral("P"), uuid('c'), T2);
        entry(topGroup(source, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('d'), T3);
        const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(summary.added, 1);
        QCOMPARE(group->getItems().size(), 3);
    }

    void deletionIsToldFromNeverSeen_data()
    {
        QTest::addColumn<QDateTime>("deleted");
        QTest::addColumn<bool>("added");
        QTest::newRow("deleted after last change") << T3 << false;
        QTest::newRow("changed after deletion") << T1 << true;
        QTest::newRow("never seen") << QDateTime() << true;
    }

    void deletionIsToldFromNeverSeen()
    {
        QFETCH(QDateTime, deleted);
        QFETCH(bool, added);
        PasswordDatabase destination, source;
        topGroup(destination, QStringLiteral("G"), uuid('a'));
        if (deleted.isValid())
            destination.setDeletions({ { uuid('b'), deleted } });
        entry(topGroup(source, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('b'), T2);
        PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(byName(destination, QStringLiteral("G - P")) != nullptr, added);
    }

    void sourceDeletionRemovesUnchangedItem()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("G"), uuid('a')), QStringLiteral("P"), uuid('b'), T2);
        topGroup(source, QStringLiteral("G"), uuid('a'));
        source.setDeletions({ { uuid('b'), T3 } });
        const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(destination, source);
        QCOMPARE(summary.deleted, 1);
        QVERIFY(!byName(destination, QStringLiteral("G - P")));
        QCOMPARE(destination.getDeletions().size(), 1);
    }

    void newerPlaceWins()
    {
        PasswordDatabase destination, source;
        entry(topGroup(destination, QStringLiteral("A"), uuid('a')), QStringLiteral("P"), uuid('c'), T2);
        topGroup(destination, QStringLiteral("B"), uuid('b'));
        topGroup(source, QStringLiteral("A"), uuid('a'));
        entry(topGroup(source, QStringLiteral("B"), uuid('b')), QStringLiteral("P"), uuid('c'), T3);
        PasswordDatabaseMerge::merge(destination, source);
        QVERIFY(!byName(destination, QStringLiteral("A - P")));
        QVERIFY(byName(destination, QStringLiteral("B - P")));
    }

    void groupEmptiedOnOneSideFilledOnTheOther()
    {
        // The destination deleted G with P; the source added Q to G since.
        PasswordDatabase destination, source;
        destination.setDeletions({ { uuid('a'), T2 }, { uuid('b'), T2 } });
        Group* group = topGroup(source, QStringLiteral("G"), uuid('a'));
        entry(group, QStringLiteral("P"), uuid('b'), T1);
        entry(group, QStringLiteral("Q"), uuid('c'), T3);
        PasswordDatabaseMerge::merge(destination, source);
        QVERIFY(byName(destination, QStringLiteral("G - Q")));
        QVERIFY(!byName(destination, QStringLiteral("G - P")));

        // The other way round: the source deleted the group the
        // destination filled.
        PasswordDatabase filled, emptied;
        entry(topGroup(filled, QStringLiteral("G"), uuid('a')), QStringLiteral("Q"), uuid('c'), T3);
        emptied.setDeletions({ { uuid('a'), T2 } });
        PasswordDatabaseMerge::merge(filled, emptied);
        QVERIFY(byName(filled, QStringLiteral("G - Q")));
    }

    void mergingTwiceChangesNothing()
    {
        PasswordDatabase destination, source;
        Group* mine = topGroup(destination, QStringLiteral("G"), uuid('a'));
        entry(mine, QStringLiteral("P"), uuid('b'), T2, QStringLiteral("old"));
        entry(mine, QStringLiteral("Gone"), uuid('e'), T1);
        Group* theirs = topGroup(source, QStringLiteral("G"), uuid('a'));
        entry(theirs, QStringLiteral("P"), uuid('b'), T3, QStringLiteral("new"));
        entry(theirs, QStringLiteral("New"), uuid('d'), T2);
        source.setDeletions({ { uuid('e'), T2 } });
        QVERIFY(!PasswordDatabaseMerge::merge(destination, source).isEmpty());
        const QByteArray once = treeText(destination);
        destination.clearModified();
        QVERIFY(PasswordDatabaseMerge::merge(destination, source).isEmpty());
        QCOMPARE(treeText(destination), once);
        QVERIFY(!destination.isModified());
    }
};

QTEST_GUILESS_MAIN(TestPasswordDatabaseMerge)
#include "tst_passworddatabasemerge.moc"
