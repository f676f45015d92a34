// Saving leaves no plaintext of the tree behind: the secrets of a vault are
// unique markers, and after a save this process's memory holds them only in
// the entries themselves, and not at all once the vault is closed.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "blib/app/BProcessProtection.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "support/MemoryScanner.h"

class tst_SaveMemory : public QObject
{
    Q_OBJECT

private slots:
    void saveLeavesNoCopyOfThePlaintext()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("The sanitizer's allocator keeps freed blocks unwiped in its quarantine, so copies cannot be counted.");
#endif
        MemoryScanner scanner;
        QVERIFY(scanner.isUsable());
        const MemoryScanner::Marker password = MemoryScanner::newTextMarker('P');
        const MemoryScanner::Marker note = MemoryScanner::newTextMarker('N');
        QTemporaryDir dir;
        auto db = std::make_unique<PasswordDatabase>();
        {
            BTaskController controller;
            PasswordDatabaseSetPasswordTask task(*db, QStringLiteral("master"), 1, 1, 1);
            QCOMPARE(task.run(&controller), Success);
        }
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Group"));
        db->addItem(group);
        // Enough entries that the text is built in blocks of its own.
        for (int i = 0; i < 2000; ++i) {
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Entry %1").arg(i));
            entry->setUsername(QStringLiteral("user%1@example.org").arg(i));
            group->addItem(entry);
        }
        {
            QString secret = MemoryScanner::revealed(password);
            static_cast<PasswordDatabase::Password*>(group->getItems().first())->setPassword(secret);
            wipe(secret);
            secret = MemoryScanner::revealed(note);
            static_cast<PasswordDatabase::Password*>(group->getItems().last())->setNote(secret);
            wipe(secret);
        }
        QString error;
        QVERIFY2(db->save(dir.filePath(QStringLiteral("vault.lhdb")), &error), qPrintable(error));

        // The entries hold their texts as UTF-16: a UTF-8 copy is the
        // serialised tree.
        QVector<MemoryScanner::Count> found = scanner.scan({ password, note });
        QCOMPARE(found.at(0).utf8, 0);
        QCOMPARE(found.at(1).utf8, 0);
        db.reset();
        found = scanner.scan({ password, note });
        QCOMPARE(found.at(0).total(), 0);
        QCOMPARE(found.at(1).total(), 0);
    }
};

// Set up the heap as the program does.
int main(int argc, char* argv[])
{
    protectProcessMemory();
    wipeFreedHeapMemory(argv);
    QCoreApplication application(argc, argv);
    tst_SaveMemory test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_savememory.moc"
