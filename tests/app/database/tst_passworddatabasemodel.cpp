// The in-memory database tree: paths and lookups, search, copies and
// comparisons, attachments, ownership, and the database's flags and defaults.

#include "app/database/PasswordDatabase.h"
#include "blib/app/BSettings.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using Item = PasswordDatabase::Item;
using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;
using Attachment = PasswordDatabase::Password::Attachment;

namespace {

template <typename T>
T* make(const QString& name, int tag = 0)
{
    T* item = new T;
    item->setName(name);
    item->setTag(tag);
    return item;
}

template <typename T>
QStringList names(const QList<T*>& items)
{
    QStringList list;
    for (const T* item : items)
        list << item->getName();
    return list;
}

// Personal{ Finance{ Bank(7) }, Cab(7) }, Work(1){ Desk(1) }
void buildTree(PasswordDatabase& db)
{
    Group* personal = make<Group>(QStringLiteral("Personal"));
    Group* finance = make<Group>(QStringLiteral("Finance"));
    Password* bank = make<Password>(QStringLiteral("Bank"), 7);
    bank->setUsername(QStringLiteral("cabbage"));
    bank->setPassword(QStringLiteral("hunter2"));
    Password* cab = make<Password>(QStringLiteral("xAbx"), 7);
    cab->setNote(QStringLiteral("a SECRET NOTE"));
    cab->setUrl(QStringLiteral("https://example.org"));
    Group* work = make<Group>(QStringLiteral("Work"), 1);
    db.addItem(personal);
    db.addItem(work);
    personal->addItem(finance);
    finance->addItem(bank);
    personal->addItem(cab);
    work->addItem(make<Password>(QStringLiteral("Desk"), 1));
}

} // namespace

class TestPasswordDatabaseModel : public QObject
{
    Q_OBJECT

private slots:
    void namesPathsAndLookups();
    void find_data();
    void find();
    void passwordCopiesAndComparisons();
    void groupCopiesAndComparisons();
    void attachments();
    void groupOwnership();
    void databaseOwnership();
    void databaseFlagsAndDefaults();
};

void TestPasswordDatabaseModel::namesPathsAndLookups()
{
    PasswordDatabase db;
    buildTree(db);
    Group* personal = db.getItems().at(0);
    Group* work = db.getItems().at(1);
    Group* finance = static_cast<Group*>(personal->getItems().at(0));
    Item* bank = finance->getItems().at(0);

    QCOMPARE(bank->getFullName(), QStringLiteral("Personal - Finance - Bank"));
    QCOMPARE(personal->getFullName(), QStringLiteral("Personal"));
    QCOMPARE(bank->getRootParent(), personal);
    QCOMPARE(finance->getRootParent(), personal);
    QCOMPARE(personal->getRootParent(), nullptr);
    QCOMPARE(personal->getOwnerDatabase(), &db);
    QCOMPARE(finance->getOwnerDatabase(), nullptr);
    finance->setName(QStringLiteral("%1")); // joined literally
    QCOMPARE(bank->getFullName(), QStringLiteral("Personal - %1 - Bank"));
    Password loose;
    loose.setName(QStringLiteral("Loose"));
    QCOMPARE(loose.getFullName(), QStringLiteral("Loose"));
    QCOMPARE(loose.getRootParent(), nullptr);

    QCOMPARE(names(db.getAllItems()), QStringList({ "Personal", "%1", "Bank", "xAbx", "Work", "Desk" }));
    QCOMPARE(names(personal->getAllItems()), QStringList({ "%1", "Bank", "xAbx" }));
    // The first top-level group and all its descendants come before the
    // second top-level group; a group never finds itself.
    QCOMPARE(db.getItemByTag(7), bank);
    QCOMPARE(db.getItemByTag(1), work);
    QCOMPARE(work->getItemByTag(1), work->getItems().first());
    QCOMPARE(db.getItemByTag(42), nullptr);
}

void TestPasswordDatabaseModel::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("expected");
    const int nameAndUser = PasswordDatabase::FindName | PasswordDatabase::FindUsername;
    QTest::newRow("any case") << "ab" << nameAndUser << QStringList({ "Bank", "xAbx" });
    QTest::newRow("case-sensitive") << "ab" << (nameAndUser | PasswordDatabase::FindCaseSensitive)
                                    << QStringList({ "Bank" });
    QTest::newRow("note") << "secret note" << int(PasswordDatabase::FindNote) << QStringList({ "xAbx" });
    QTest::newRow("url") << "EXAMPLE" << int(PasswordDatabase::FindUrl) << QStringList({ "xAbx" });
    QTest::newRow("password") << "hunter" << int(PasswordDatabase::FindPassword) << QStringList({ "Bank" });
    QTest::newRow("field not selected") << "hunter" << nameAndUser << QStringList();
    QTest::newRow("several fields, listed once") << "a" << int(PasswordDatabase::FindAllFields)
                                                 << QStringList({ "Bank", "xAbx" });
    QTest::newRow("empty text") << "" << int(PasswordDatabase::FindUrl) << QStringList({ "Bank", "xAbx", "Desk" });
    QTest::newRow("empty text, no field") << "" << int(PasswordDatabase::FindCaseSensitive) << QStringList();
}

void TestPasswordDatabaseModel::find()
{
    QFETCH(QString, text);
    QFETCH(int, flags);
    QFETCH(QStringList, expected);
    PasswordDatabase db;
    buildTree(db);
    QCOMPARE(names(db.find(text, flags)), expected);
    QCOMPARE(db.find(text, flags), db.getItems().at(0)->find(text, flags) + db.getItems().at(1)->find(text, flags));
}

void TestPasswordDatabaseModel::passwordCopiesAndComparisons()
{
    const QDateTime soonest = QDateTime::currentDateTime().addYears(1);
    Password fresh;
    QVERIFY(fresh.isNeverExpire());
    QVERIFY(fresh.getExpireTime() >= soonest);
    QVERIFY(fresh.getExpireTime() <= QDateTime::currentDateTime().addYears(1));
    QCOMPARE(fresh.getType(), int(PasswordDatabase::PasswordType));
    const QDateTime given(QDate(2030, 1, 2), QTime(3, 4), Qt::UTC);
    QCOMPARE(Password(given).getExpireTime(), given);
    QVERIFY(Password(given).isNeverExpire());

    Group group;
    Password* entry = make<Password>(QStringLiteral("mail"), 3);
    entry->setFlags(4);
    entry->setGuiState(2);
    entry->setPassword(QStringLiteral("s3cret"));
    Attachment file;
    file.setFileName(QStringLiteral("key.txt"));
    file.setData(QStringLiteral("aGVsbG8="));
    file.setDataHash(QStringLiteral("h"));
    entry->setAttachment(file);
    group.addItem(entry);

    Password copy(*entry);
    QVERIFY(copy == *entry);
    QCOMPARE(copy.getGuiState(), 2);
    QVERIFY(!copy.hasOwner());
    QCOMPARE(copy.getAttachment().getOwner(), nullptr);
    QCOMPARE(copy.getAttachment().getData(), QStringLiteral("aGVsbG8="));

    // The attachment's data does not count (its hash does), nor the gui state.
    copy.getAttachment().setData(QStringLiteral("other"));
    copy.setGuiState(0);
    QVERIFY(copy == *entry);
    for (auto change : std::initializer_list<std::function<void(Password&)>>{
             [](Password& p) { p.getAttachment().setDataHash(QStringLiteral("x")); },
             [](Password& p) { p.setFlags(0); },
             [](Password& p) { p.setPhoneNumber(QStringLiteral("1")); },
             [](Password& p) { p.setNeverExpire(false); },
             [](Password& p) { p.setExpireTime(p.getExpireTime().addSecs(1)); } }) {
        Password changed(*entry);
        change(changed);
        QVERIFY(changed != *entry);
    }

    // An edited copy written back keeps the entry's tree state and links.
    copy.setFlags(0);
    copy.setPassword(QStringLiteral("n3w"));
    copy.setAttachment(Attachment());
    *entry = copy;
    QCOMPARE(entry->getPassword(), QStringLiteral("n3w"));
    QCOMPARE(entry->getFlags(), 4);
    QCOMPARE(entry->getGuiState(), 2);
    QCOMPARE(entry->getParent(), &group);
    QVERIFY(!entry->getAttachment().isValid());
    QCOMPARE(entry->getAttachment().getOwner(), entry);
}

void TestPasswordDatabaseModel::groupCopiesAndComparisons()
{
    PasswordDatabase db;
    buildTree(db);
    Group* personal = db.getItems().first();
    personal->setFlags(9);
    personal->setGuiState(1);
    personal->setIconId(QStringLiteral("tessavond.key"));

    Group copy(*personal);
    QVERIFY(!copy.hasOwner());
    QCOMPARE(copy.getFlags(), 9);
    QCOMPARE(copy.getGuiState(), 1);
    QCOMPARE(copy.getIconId(), QStringLiteral("tessavond.key"));
    QCOMPARE(names(copy.getAllItems()), QStringList({ "Finance", "Bank", "xAbx" }));
    QVERIFY(copy.getItems().first() != personal->getItems().first());
    QCOMPARE(copy.getAllItems().at(1)->getFullName(), QStringLiteral("Personal - Finance - Bank"));
    // Equal fields, but other child objects.
    QVERIFY(copy != *personal);
    Group empty1, empty2;
    empty2.setGuiState(3);
    QVERIFY(empty1 == empty2);
    empty2.setIconId(QStringLiteral("i"));
    QVERIFY(empty1 != empty2);

    // Assignment replaces children and fields but keeps flags and gui state.
    Group target;
    target.setFlags(2);
    target.addItem(make<Password>(QStringLiteral("old")));
    target = copy;
    QCOMPARE(names(target.getAllItems()), QStringList({ "Finance", "Bank", "xAbx" }));
    QCOMPARE(target.getFlags(), 2);
    QCOMPARE(target.getGuiState(), 0);
    QCOMPARE(target.getIconId(), QStringLiteral("tessavond.key"));
    QCOMPARE(target.getItems().first()->getParent(), &target);

    // A child assigned to its ancestor, and an ancestor to its child.
    target = *static_cast<Group*>(target.getItems().first());
    QCOMPARE(names(target.getAllItems()), QStringList({ "Bank" }));
    Group* inner = make<Group>(QStringLiteral("inner"));
    target.addItem(inner);
    *inner = target;
    QCOMPARE(names(target.getAllItems()), QStringList({ "Bank", "Finance", "Bank", "inner" }));
    db.clear(); // the copies live on
    QCOMPARE(copy.getAllItems().size(), 3);
}

void TestPasswordDatabaseModel::attachments()
{
    Password password;
    Attachment first, second;
    first.setData(QStringLiteral("b25l"));
    second.setFileName(QStringLiteral("two.txt"));
    second.setData(QStringLiteral("dHdv"));
    password.setAttachment(first);
    password.setAttachment(second);
    QCOMPARE(password.getAttachment().getFileName(), QStringLiteral("two.txt"));
    QCOMPARE(password.getAttachment().getData(), QStringLiteral("dHdv"));
    QCOMPARE(password.getAttachment().getOwner(), &password);
    QCOMPARE(second.getOwner(), nullptr);
    password.setAttachment(Attachment());
    QVERIFY(!password.getAttachment().isValid());

    QTemporaryDir dir;
    QByteArray bytes;
    for (int i = 0; i < 1000; ++i)
        bytes.append(char(i * 7));
    bytes.append("\r\n\n\x1a", 4); // no text-mode translation either way
    QFile source(dir.filePath(QStringLiteral("source.bin")));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(bytes);
    source.close();

    Attachment attachment;
    QVERIFY(attachment.loadFromFile(source.fileName()));
    QCOMPARE(attachment.getFileName(), QStringLiteral("source.bin"));
    QCOMPARE(attachment.getData(), QString::fromLatin1(bytes.toBase64()));
    // Keccak-384 over the Base64 text, not over the raw bytes.
    QCOMPARE(attachment.getDataHash(),
             QString::fromLatin1(QCryptographicHash::hash(bytes.toBase64(), QCryptographicHash::Keccak_384).toHex()));
    QVERIFY(!attachment.loadFromFile(dir.filePath(QStringLiteral("missing"))));
    QCOMPARE(attachment.getFileName(), QStringLiteral("source.bin"));

    QFile target(dir.filePath(QStringLiteral("target.bin")));
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write(QByteArray(5000, 'x'));
    target.close();
    QVERIFY(attachment.saveToFile(target.fileName()));
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), bytes);
    QVERIFY(!attachment.saveToFile(dir.path()));
}

void TestPasswordDatabaseModel::groupOwnership()
{
    Group group;
    Password* a = make<Password>(QStringLiteral("a"));
    Password* b = make<Password>(QStringLiteral("b"));
    Password* c = make<Password>(QStringLiteral("c"));
    group.addItem(b);
    group.addItemTop(a);
    group.addItem(c);
    QCOMPARE(names(group.getItems()), QStringList({ "a", "b", "c" }));

    QVERIFY(group.takeItem(b));
    QVERIFY(!b->hasOwner());
    QVERIFY(!group.takeItem(b));
    group.insertItemBefore(c, b);
    QCOMPARE(names(group.getItems()), QStringList({ "a", "b", "c" }));
    QCOMPARE(b->getParent(), &group);

    // An anchor that is not a child: before does nothing, after appends.
    Password stranger;
    Password* d = make<Password>(QStringLiteral("d"));
    group.insertItemBefore(&stranger, d);
    QVERIFY(!d->hasOwner());
    group.insertItemAfter(&stranger, d);
    group.takeItem(b);
    group.insertItemAfter(a, b);
    QCOMPARE(names(group.getItems()), QStringList({ "a", "b", "c", "d" }));

    QVERIFY(!group.deleteItem(&stranger));
    QVERIFY(group.deleteItem(b));
    QCOMPARE(names(group.getItems()), QStringList({ "a", "c", "d" }));

    // Attached items, the group itself and its ancestors are refused: each
    // would end up owned twice or inside itself.
    Group other;
    other.addItem(a);
    other.insertItemAfter(nullptr, c);
    QVERIFY(other.isEmpty());
    Group* below = make<Group>(QStringLiteral("below"));
    other.addItem(below);
    below->addItem(&other);
    other.addItem(&other);
    group.addItem(nullptr);
    QCOMPARE(names(other.getAllItems()), QStringList({ "below" }));
    QCOMPARE(a->getParent(), &group);

    // setParent links without listing; null changes nothing.
    stranger.setParent(nullptr);
    QCOMPARE(stranger.getParent(), nullptr);
    stranger.setParent(&group);
    QCOMPARE(stranger.getParent(), &group);
    QCOMPARE(group.getItems().size(), 3);
    group.clear();
    QVERIFY(group.isEmpty());
}

void TestPasswordDatabaseModel::databaseOwnership()
{
    PasswordDatabase db, other;
    Group* a = make<Group>(QStringLiteral("a"));
    Group* b = make<Group>(QStringLiteral("b"));
    Group* c = make<Group>(QStringLiteral("c"));
    db.addItem(a);
    db.insertGroupAfter(a, c);
    db.insertGroupBefore(c, b);
    db.moveGroupToEnd(a);
    QCOMPARE(names(db.getItems()), QStringList({ "b", "c", "a" }));
    QCOMPARE(b->getOwnerDatabase(), &db);

    Group* nested = make<Group>(QStringLiteral("nested"));
    b->addItem(nested);
    db.moveGroupToEnd(nested);
    Group* d = make<Group>(QStringLiteral("d"));
    db.insertGroupBefore(nested, d);
    QVERIFY(!d->hasOwner());
    db.insertGroupAfter(nested, d);
    QCOMPARE(names(db.getItems()), QStringList({ "b", "c", "a", "d" }));

    // A group owned anywhere is refused, by this database or another, and a
    // top-level group cannot go into a group without being taken out first.
    db.addItem(a);
    other.addItem(a);
    other.addItem(nested);
    db.insertGroupAfter(a, nested);
    c->addItem(a);
    QCOMPARE(db.getItems().size(), 4);
    QVERIFY(other.getItems().isEmpty() && c->isEmpty());

    QVERIFY(db.takeItem(a));
    QVERIFY(!a->hasOwner());
    QVERIFY(!db.takeItem(a));
    QVERIFY(!db.takeItem(nested));
    c->addItem(a);
    QCOMPARE(a->getRootParent(), c);
}

void TestPasswordDatabaseModel::databaseFlagsAndDefaults()
{
    const QString roundsKey = QStringLiteral("app.passwordDatabase.defaultKdfRounds");
    QSettings().remove(roundsKey);
    QCOMPARE(PasswordDatabase().getKdfRounds(), 100000);
    setIntSetting(roundsKey, 1234);
    PasswordDatabase db;
    QCOMPARE(db.getKdfRounds(), 1234);
    QCOMPARE(db.getKdf(), 1);
    QCOMPARE(db.getCipher(), 0);
    QCOMPARE(db.getFormatVersion(), -1);
    QVERIFY(!db.isOpen() && !db.isModified() && !db.isLocked());

    // addItem, takeItem, setName and setNote mark the database; position
    // changes and item edits leave that to the caller.
    Group* g = make<Group>(QStringLiteral("g"));
    db.addItem(g);
    QVERIFY(db.isModified());
    db.clearModified();
    Group* h = make<Group>(QStringLiteral("h"));
    db.insertGroupAfter(g, h);
    db.moveGroupToEnd(g);
    g->setName(QStringLiteral("renamed"));
    g->addItem(make<Password>(QStringLiteral("p")));
    Group stranger;
    QVERIFY(!db.takeItem(&stranger));
    QVERIFY(!db.isModified());
    QVERIFY(db.takeItem(h));
    delete h;
    QVERIFY(db.isModified());
    for (auto mark : { &PasswordDatabase::setName, &PasswordDatabase::setNote }) {
        db.clearModified();
        (db.*mark)(QStringLiteral("x"));
        QVERIFY(db.isModified());
    }

    // Assignment is a deep copy; attaching the copies marks it modified.
    db.clearModified();
    PasswordDatabase copy;
    copy.addItem(make<Group>(QStringLiteral("old")));
    copy = db;
    QVERIFY(copy.isModified());
    QCOMPARE(names(copy.getAllItems()), QStringList({ "renamed", "p" }));
    QVERIFY(copy.getItems().first() != g);
    QCOMPARE(copy.getItems().first()->getOwnerDatabase(), &copy);
    QCOMPARE(copy.getName(), QStringLiteral("x"));

    // clear() reads the configured rounds again and keeps the KDF.
    setIntSetting(roundsKey, 99);
    db.clear();
    QCOMPARE(db.getKdfRounds(), 99);
    QCOMPARE(db.getKdf(), 1);
    QVERIFY(db.getName().isEmpty() && db.getNote().isEmpty() && db.getItems().isEmpty());
    QVERIFY(!db.isModified());
    QCOMPARE(copy.getAllItems().size(), 2);
}

QTEST_GUILESS_MAIN(TestPasswordDatabaseModel)
#include "tst_passworddatabasemodel.moc"
