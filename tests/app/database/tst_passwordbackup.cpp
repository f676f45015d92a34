#include "app/database/PasswordBackup.h"

#include <QtTest>

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

class TestPasswordBackup : public QObject
{
    Q_OBJECT

private slots:
    void backupGroupIsMadeOnceAndKeepsEachStateOnce()
    {
        PasswordDatabase db;
        Group* mail = new Group;
        mail->setName(QStringLiteral("Mail"));
        db.addItem(mail);
        Password* entry = new Password;
        entry->setName(QStringLiteral("Inbox"));
        entry->setPassword(QStringLiteral("first"));
        mail->addItem(entry);
        db.clearModified();

        Group* created = nullptr;
        QVERIFY(backupPassword(db, *entry, &created));
        QVERIFY(created);
        QVERIFY(db.isModified());
        QCOMPARE(db.getItems().size(), 2);
        QCOMPARE(db.getItems().last(), created);
        QCOMPARE(created->getName(), QStringLiteral("Backup"));
        QCOMPARE(created->getTag(), PasswordDatabase::BackupGroupTag);
        QCOMPARE(created->getIconId(), QStringLiteral("tessavond.backup"));

        // The same state again adds nothing; a changed one is kept too.
        QVERIFY(!backupPassword(db, *entry, &created));
        QVERIFY(!created);
        entry->setPassword(QStringLiteral("second"));
        QVERIFY(backupPassword(db, *entry, &created));
        QVERIFY(!created);
        const QList<PasswordDatabase::Item*> copies = db.getItems().last()->getItems();
        QCOMPARE(copies.size(), 2);
        QCOMPARE(static_cast<Password*>(copies.at(0))->getPassword(), QStringLiteral("first"));
        QCOMPARE(static_cast<Password*>(copies.at(1))->getPassword(), QStringLiteral("second"));
        QVERIFY(copies.at(1) != entry);
        QCOMPARE(mail->getItems().size(), 1);

        QVERIFY(isInBackupGroup(*copies.at(0)));
        QVERIFY(isInBackupGroup(*db.getItems().last()));
        QVERIFY(!isInBackupGroup(*entry));
        QVERIFY(!isInBackupGroup(*mail));
    }

    // A password that happens to carry the backup tag is not taken for the
    // group, and does not make each backup start a new group.
    void onlyAGroupServesAsTheBackupGroup()
    {
        PasswordDatabase db;
        Group* group = new Group;
        db.addItem(group);
        Password* tagged = new Password;
        tagged->setTag(PasswordDatabase::BackupGroupTag);
        group->addItem(tagged);
        Password other;
        other.setName(QStringLiteral("a"));
        QVERIFY(backupPassword(db, other));
        other.setName(QStringLiteral("b"));
        QVERIFY(backupPassword(db, other));
        QCOMPARE(db.getItems().size(), 2);
        QCOMPARE(db.getItems().last()->getItems().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPasswordBackup)
#include "tst_passwordbackup.moc"
