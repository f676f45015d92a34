// Hostile vault files: thousands of mutations of a real vault and of its
// decrypted tree go through the reader. Nothing may crash (this test also
// runs under AddressSanitizer), and whatever the reader accepts must be whole:
// it saves and reads back to the same tree.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/task/BTaskController.h"

#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

// Fixed seeds: a failure names its case and can be replayed.
constexpr quint32 Seed = 20261208;
constexpr int FileMutations = 1500;
constexpr int TreeMutations = 4000;

// One random edit of `text`: flip, insert, delete, duplicate a run, or put a
// JSON token where it does not belong.
QByteArray mutate(QByteArray text, QRandomGenerator& random)
{
    static const QByteArray tokens[] = { "{", "}", "[", "]", "\"", ",", ":", "null", "true", "1e308", "-1",
                                         "\"\\u0000\"", "[]", "{}", "2147483648", "0.5", "\\" };
    const int edits = 1 + random.bounded(4);
    for (int e = 0; e < edits && !text.isEmpty(); ++e) {
        const int at = random.bounded(text.size());
        switch (random.bounded(5)) {
        case 0:
            text[at] = char(text.at(at) ^ (1 << random.bounded(8)));
            break;
        case 1:
            text.insert(at, char(random.bounded(256)));
            break;
        case 2:
            text.remove(at, 1 + random.bounded(qMin(16, text.size() - at)));
            break;
        case 3: {
            const int length = 1 + random.bounded(qMin(64, text.size() - at));
            text.insert(at, text.mid(at, length));
            break;
        }
        default:
            text.insert(at, tokens[random.bounded(int(sizeof tokens / sizeof tokens[0]))]);
            break;
        }
    }
    return text;
}

void fill(PasswordDatabase& db)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("pw"), 1, 1, 1);
    QCOMPARE(task.run(&controller), Success);
    db.setName(QStringLiteral("Mutations"));
    Group* outer = new Group;
    outer->setName(QStringLiteral("Outer"));
    db.addItem(outer);
    Group* inner = new Group;
    inner->setName(QStringLiteral("Inner \u00e9"));
    inner->setGuiState(PasswordDatabase::GuiExpanded);
    outer->addItem(inner);
    for (int i = 0; i < 3; ++i) {
        Password* entry = new Password;
        entry->setName(QStringLiteral("Entry %1").arg(i));
        entry->setUsername(QStringLiteral("user"));
        entry->setPassword(QStringLiteral("secret %1").arg(i));
        entry->setNeverExpire(i != 1);
        PasswordDatabase::Password::Attachment file;
        file.setFileName(QStringLiteral("f.bin"));
        file.setData(QStringLiteral("AAEC"));
        file.setDataHash(QStringLiteral("h"));
        if (i == 2)
            entry->setAttachment(file);
        (i ? inner : outer)->addItem(entry);
    }
}

// Saves what was read and unlocks the file again: an accepted tree must
// come back whole.
void checkRoundTrip(PasswordDatabase& db, const QString& path)
{
    BTaskController keys;
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("pw"), 1, 1, 1);
    QCOMPARE(task.run(&keys), Success);
    QString error;
    QVERIFY2(db.save(path, &error), qPrintable(error));
    PasswordDatabase again;
    QVERIFY(again.load(path, nullptr));
    BTaskController controller;
    PasswordDatabaseUnlockTask unlock(again, QStringLiteral("pw"));
    QCOMPARE(unlock.run(&controller), Success);
    QCOMPARE(QJsonDocument(treeToJson(again)).toJson(QJsonDocument::Compact),
             QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Compact));
    QCOMPARE(again.getAllItems().size(), db.getAllItems().size());
}

} // namespace

class TestPasswordDatabaseMutation : public QObject
{
    Q_OBJECT

private slots:
    // Mutated files: load() refuses or takes them, never crashes, and
    // whatever it takes has a complete header.
    void mutatedFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString good = dir.filePath(QStringLiteral("good.lhdb"));
        {
            PasswordDatabase db;
            fill(db);
            QVERIFY(db.save(good));
        }
        QFile file(good);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray original = file.readAll();
        file.close();

        QRandomGenerator random(Seed);
        const QString path = dir.filePath(QStringLiteral("mutated.lhdb"));
        int accepted = 0;
        for (int i = 0; i < FileMutations; ++i) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(mutate(original, random));
            out.close();
            PasswordDatabase db;
            BTaskController controller;
            if (!db.load(path, &controller))
                continue;
            ++accepted;
            QVERIFY2(db.isOpen() && db.getFormatVersion() >= 1 && db.getFormatVersion() <= 4,
                     qPrintable(QStringLiteral("case %1").arg(i)));
            QVERIFY2(db.getKdfRounds() >= 1, qPrintable(QStringLiteral("case %1").arg(i)));
        }
        // Mutations that miss the structure (inside a Base64 text, say) are
        // taken: the run really exercised both outcomes.
        QVERIFY(accepted > 0 && accepted < FileMutations);
    }

    // Mutated trees, as the unlock task would find them after decryption:
    // all or nothing, and an accepted tree saves and reads back unchanged.
    void mutatedTrees()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PasswordDatabase source;
        fill(source);
        const QByteArray tree = serialiseTree(source).toUtf8();

        QRandomGenerator random(Seed + 1);
        int accepted = 0;
        for (int i = 0; i < TreeMutations; ++i) {
            const QByteArray text = mutate(tree, random);
            PasswordDatabase db;
            if (!parseTree(db, QString::fromUtf8(text), CurrentDatabaseFormatVersion)) {
                QVERIFY2(db.getItems().isEmpty(), qPrintable(QStringLiteral("case %1 left a partial tree").arg(i)));
                continue;
            }
            ++accepted;
            if (accepted % 50 == 1) // a sample: each round trip writes a file
                checkRoundTrip(db, dir.filePath(QStringLiteral("accepted.lhdb")));
        }
        QVERIFY(accepted > 0 && accepted < TreeMutations);
    }
};

QTEST_GUILESS_MAIN(TestPasswordDatabaseMutation)
#include "tst_passworddatabasemutation.moc"
