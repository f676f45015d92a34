// The database file, the set-password and unlock tasks and locking: files
// are taken apart and built here from the format's rules (keys from the KDF
// task, Keccak-384 HMAC from the toolkit) rather than from the code under test.

#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "support/HandBuiltVault.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/task/BTaskController.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <sys/resource.h>

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

const QString Incorrect = QStringLiteral("Failed to unlock password database. Incorrect password.");
const QString Corrupt = QStringLiteral("Failed to unlock password database. Data is corrupt.");
const QString Unloadable = QStringLiteral("Failed to unlock password database. Data unloadable.");
const QString Newer = QStringLiteral("File is from a newer version of the program and can not be loaded.");
// 2030-01-02 03:04:05 UTC was a Wednesday.
const QDateTime Instant(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
const QString InstantText = QStringLiteral("Wed Jan 2 03:04:05 2030 GMT");

QByteArray b64(const QJsonValue& value)
{
    return QByteArray::fromBase64(value.toString().toLatin1());
}

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), qint64(text.size()));
}

void writeJson(const QString& path, const QJsonObject& object)
{
    writeText(path, QJsonDocument(object).toJson());
}

// The vaults of these tests keep the version 3 layout (two salted keys, an
// HMAC over the ciphertext), which every earlier build reads.
BTaskResult setPassword(PasswordDatabase& db, const QString& password, int cipher = 1,
                        int rounds = 2)
{
    BTaskController controller;
    if (!db.isOpen())
        db.setFileFormatVersion(3);
    PasswordDatabaseSetPasswordTask task(db, password, cipher, 1, rounds);
    return task.run(&controller);
}

BTaskResult unlock(PasswordDatabase& db, const QString& password, QString* error = nullptr)
{
    BTaskController controller;
    PasswordDatabaseUnlockTask task(db, password);
    const BTaskResult result = task.run(&controller);
    if (error)
        *error = controller.errorMessage();
    return result;
}

// The plaintext of a saved file, decrypted with keys derived from scratch.
QByteArray decryptFile(const QJsonObject& file, const QString& password)
{
    const QByteArray cipherKey = pbkdf2(password, b64(file["cipher_key_salt"]),
                                        file["kdf_rounds"].toInt(), 32);
    const QByteArray hmacKey = pbkdf2(password, b64(file["hmac_key_salt"]), 10000, 128);
    const QByteArray ciphertext = b64(file["database"]);
    if (keccakHmac(ciphertext, hmacKey) != b64(file["hmac"]))
        return QByteArray();
    QByteArray plaintext;
    symmetricCtrProcess(file["cipher"].toString() == QLatin1String("Twofish-256") ? 2 : 1,
                        cipherKey, b64(file["cipher_iv"]), ciphertext, plaintext);
    return plaintext;
}

QJsonObject item(int type, const QString& name, int flags)
{
    QJsonObject o{ { "type", type }, { "name", name }, { "note", "" }, { "tag", 0 },
                   { "flags", flags }, { "icon", "tessavond.key" } };
    if (type == 1) {
        o["items"] = QJsonArray();
    } else {
        const QJsonObject fields{ { "username", "user" }, { "password", "pw" }, { "url", "" },
                                  { "never_expire", false }, { "expire_time", InstantText },
                                  { "email_address", "a@b.c" }, { "phone_number", "123" } };
        for (auto it = fields.begin(); it != fields.end(); ++it)
            o.insert(it.key(), it.value());
    }
    return o;
}

QByteArray treeText(const QJsonArray& groups)
{
    return QJsonDocument(QJsonObject{ { "groups", groups } }).toJson(QJsonDocument::Compact);
}

// A database with a password, one group and one entry of every field.
void fillDatabase(PasswordDatabase& db, const QString& password, int cipher = 1)
{
    QCOMPARE(setPassword(db, password, cipher), Success);
    db.setName(QStringLiteral("Home %1"));
    db.setNote(QStringLiteral("clear-text note"));
    Group* group = new Group;
    group->setName(QStringLiteral("Web %2"));
    group->setIconId(QStringLiteral("tessavond.web"));
    group->setGuiState(PasswordDatabase::GuiExpanded | PasswordDatabase::GuiCurrent);
    group->setFlags(4);
    db.addItem(group);
    Password* entry = new Password;
    entry->setName(QStringLiteral("Mail \u00e9\u4e2d"));
    entry->setUsername(QStringLiteral("me"));
    entry->setPassword(QStringLiteral("p\"w\\%1"));
    entry->setEmailAddress(QStringLiteral("me@example.org"));
    entry->setPhoneNumber(QStringLiteral("555"));
    entry->setUrl(QStringLiteral("https://example.org"));
    entry->setNote(QStringLiteral("line %3\nline 2"));
    entry->setTag(9);
    entry->setFlags(2);
    entry->setGuiState(1);
    entry->setNeverExpire(false);
    entry->setExpireTime(Instant);
    PasswordDatabase::Password::Attachment file;
    file.setFileName(QStringLiteral("a.bin"));
    file.setData(QStringLiteral("AAEC"));
    file.setDataHash(QStringLiteral("h"));
    entry->setAttachment(file);
    group->addItem(entry);
    group->addItem(new Password); // no attachment
}

} // namespace

class TestPasswordDatabaseFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void saveWritesTheDocumentedFile();
    void paddingOfAnEmptyTree();
    void roundTripKeepsEveryField();
    void olderVersions_data();
    void olderVersions();
    void malformedHeaders_data();
    void malformedHeaders();
    void invalidUtf8InTheHeaderReadsAsReplacement();
    void unlockFailures();
    void failedTreeLeavesNoPartialTree();
    void malformedTrees_data();
    void malformedTrees();
    void nestingDepthIsCapped();
    void tooDeepTreeIsNamedOnUnlock();
    void lockUnlockCycles();
    void lockAndSaveNeedKeys();
    void expireTimeAcrossTimeZones();
    void expireTimeTexts_data();
    void expireTimeTexts();
    void twofishFile();
    void failedSaveKeepsTheOldFile();
    void setPasswordKeepsSaltsAndSplitsProgress();
    void keyDerivationWipesOnFailure();

private:
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }
    QTemporaryDir m_dir;
};

void TestPasswordDatabaseFile::saveWritesTheDocumentedFile()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    QVERIFY(db.save(path("a.lhdb")));
    QCOMPARE(db.getFilePath(), path("a.lhdb"));
    QVERIFY(!db.isModified());

    QFile raw(path("a.lhdb"));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    QVERIFY(text.startsWith("{\n    \"cipher\": \"AES-256\",\n"));
    QVERIFY(text.endsWith("\n}\n"));
    QStringList keys;
    auto lines = QRegularExpression(QStringLiteral("^    \"([a-z_]+)\": "),
                                    QRegularExpression::MultilineOption)
                     .globalMatch(QString::fromUtf8(text));
    while (lines.hasNext())
        keys << lines.next().captured(1);
    QCOMPARE(keys, QStringList({ "cipher", "cipher_iv", "cipher_key_salt", "database", "hmac",
                                 "hmac_key_salt", "kdf", "kdf_rounds", "name", "note", "type",
                                 "version" }));

    const QJsonObject file = QJsonDocument::fromJson(text).object();
    QCOMPARE(file["version"].toInt(), 3);
    QCOMPARE(file["type"].toString(), QStringLiteral("Lockharbour Password Manager Password Database"));
    QCOMPARE(file["kdf"].toString(), QStringLiteral("PBKDF2"));
    QCOMPARE(file["kdf_rounds"].toInt(), 2);
    QCOMPARE(file["name"].toString(), QStringLiteral("Home %1"));
    QCOMPARE(file["note"].toString(), QStringLiteral("clear-text note"));
    QCOMPARE(b64(file["cipher_iv"]).size(), 16);
    QCOMPARE(b64(file["cipher_key_salt"]).size(), 16);
    QCOMPARE(b64(file["hmac_key_salt"]).size(), 16);
    QCOMPARE(b64(file["hmac"]).size(), 48);

    const QString plaintext = QString::fromUtf8(decryptFile(file, QStringLiteral("pw")));
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral(
        "^\\{\"paddingStart\": \"([0-9a-f]*)\", (\"groups\":.*), \"paddingEnd\": \"([0-9a-f]*)\"\\}$"))
        .match(plaintext);
    QVERIFY2(m.hasMatch(), qPrintable(plaintext.left(200)));
    const QString body = m.captured(2);
    QVERIFY(m.captured(1).size() % 2 == 0 && m.captured(1).size() / 2 < body.size() / 5);
    QVERIFY(m.captured(3).size() % 2 == 0 && m.captured(3).size() / 2 < body.size() / 5);
    // The body is the compact, key-sorted form.
    const QByteArray wrapped = '{' + body.toUtf8() + '}';
    const QJsonObject tree = QJsonDocument::fromJson(wrapped).object();
    QCOMPARE(QJsonDocument(tree).toJson(QJsonDocument::Compact), wrapped);

    const QJsonObject group = tree["groups"].toArray().at(0).toObject();
    QCOMPARE(QStringList(group.keys()), QStringList({ "flags", "gui_state", "icon", "items", "name",
                                                      "note", "tag", "type" }));
    QCOMPARE(group["gui_state"].toInt(), 3);
    QCOMPARE(group["flags"].toInt(), 4);
    const QJsonObject entry = group["items"].toArray().at(0).toObject();
    QCOMPARE(QStringList(entry.keys()),
             QStringList({ "attachment", "email_address", "expire_time", "flags", "gui_state",
                           "icon", "name", "never_expire", "note", "password", "phone_number",
                           "tag", "type", "url", "username" }));
    QCOMPARE(entry["expire_time"].toString(), InstantText);
    QCOMPARE(entry["password"].toString(), QStringLiteral("p\"w\\%1"));
    QCOMPARE(entry["attachment"].toObject(),
             QJsonObject({ { "data", "AAEC" }, { "data_hash", "h" }, { "file_name", "a.bin" } }));
    QVERIFY(!group["items"].toArray().at(1).toObject().contains(QLatin1String("attachment")));

    // A second save has a fresh IV (so new payload and HMAC), the same salts.
    QVERIFY(db.save(path("a2.lhdb")));
    const QJsonObject again = readJson(path("a2.lhdb"));
    for (const char* key : { "cipher_iv", "database", "hmac" })
        QVERIFY2(file[key] != again[key], key);
    for (const char* key : { "cipher_key_salt", "hmac_key_salt" })
        QVERIFY2(file[key] == again[key], key);
}

void TestPasswordDatabaseFile::paddingOfAnEmptyTree()
{
    PasswordDatabase db;
    QSet<int> lengths;
    for (int i = 0; i < 64; ++i) {
        const QString text = serialiseTree(db);
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral(
            "^\\{\"paddingStart\": \"([0-9a-f]*)\", \"groups\":\\[\\], \"paddingEnd\": \"([0-9a-f]*)\"\\}$"))
            .match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));
        lengths << m.captured(1).size() << m.captured(2).size();
    }
    // L = 11, so each padding has 0 or 1 random byte.
    QCOMPARE(lengths, QSet<int>({ 0, 2 }));
}

void TestPasswordDatabaseFile::roundTripKeepsEveryField()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    QVERIFY(db.save(path("b.lhdb")));

    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("b.lhdb"), nullptr));
    QVERIFY(loaded.isOpen() && loaded.isModified() && !loaded.isLocked());
    QVERIFY(loaded.getItems().isEmpty());
    QCOMPARE(loaded.getName(), QStringLiteral("Home %1"));
    QCOMPARE(loaded.getFormatVersion(), 3);
    QCOMPARE(loaded.getKdfRounds(), 2);
    QCOMPARE(unlock(loaded, QStringLiteral("pw")), Success);
    QVERIFY(!loaded.isModified());

    const Group* original = db.getItems().first();
    const Group* group = loaded.getItems().first();
    QCOMPARE(group->getGuiState(), original->getGuiState());
    QCOMPARE(group->getFlags(), original->getFlags());
    QCOMPARE(group->getIconId(), original->getIconId());
    QCOMPARE(group->getItems().size(), 2);
    const Password* entry = static_cast<const Password*>(group->getItems().first());
    QVERIFY(*entry == *static_cast<const Password*>(original->getItems().first()));
    QCOMPARE(entry->getGuiState(), 1);
    // Texts that look like placeholders are stored literally.
    QCOMPARE(entry->getFullName(), QStringLiteral("Web %2 - Mail \u00e9\u4e2d"));
    QCOMPARE(entry->getPassword(), QStringLiteral("p\"w\\%1"));
    QCOMPARE(entry->getNote(), QStringLiteral("line %3\nline 2"));
    QCOMPARE(entry->getAttachment().getData(), QStringLiteral("AAEC"));
    QCOMPARE(entry->getAttachment().getOwner(), entry);
    QVERIFY(!static_cast<const Password*>(group->getItems().last())->getAttachment().isValid());
}

void TestPasswordDatabaseFile::olderVersions_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << 1;
    QTest::newRow("version 2") << 2;
}

void TestPasswordDatabaseFile::olderVersions()
{
    QFETCH(int, version);
    // "flags" held the gui state; an item of an unknown type is skipped.
    QJsonObject group = item(1, QStringLiteral("g"), 1);
    group["items"] = QJsonArray{ item(2, QStringLiteral("p"), 3), item(3, QStringLiteral("?"), 0) };
    writeJson(path("old.lhdb"), buildFile(version, treeText({ group }), QStringLiteral("pw")));

    PasswordDatabase db;
    QVERIFY(db.load(path("old.lhdb"), nullptr));
    QCOMPARE(db.getFormatVersion(), version);
    QCOMPARE(unlock(db, QStringLiteral("pw")), Success);
    QCOMPARE(db.getAllItems().size(), 2);
    const Password* entry = static_cast<const Password*>(db.getAllItems().last());
    QCOMPARE(db.getItems().first()->getGuiState(), 1);
    QCOMPARE(db.getItems().first()->getFlags(), 0);
    QCOMPARE(entry->getGuiState(), 3);
    QCOMPARE(entry->getFlags(), 0);
    QCOMPARE(entry->getExpireTime(), Instant);
    QCOMPARE(entry->getEmailAddress(), version == 1 ? QString() : QStringLiteral("a@b.c"));
    QCOMPARE(entry->getPhoneNumber(), version == 1 ? QString() : QStringLiteral("123"));

    // Locked and unlocked again, the tree is kept in today's format.
    QVERIFY(db.lock());
    QCOMPARE(unlock(db, QStringLiteral("pw")), Success);
    QCOMPARE(static_cast<const Password*>(db.getAllItems().last())->getEmailAddress(),
             version == 1 ? QString() : QStringLiteral("a@b.c"));
    QCOMPARE(db.getAllItems().last()->getGuiState(), 3);
}

void TestPasswordDatabaseFile::malformedHeaders_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QJsonValue>("value"); // Undefined: remove the member
    QTest::addColumn<QString>("error");
    QTest::newRow("version 5") << "version" << QJsonValue(5) << Newer;
    QTest::newRow("version huge") << "version" << QJsonValue(1e300) << Newer;
    for (const char* key : { "version", "name", "note", "cipher", "cipher_key_salt", "cipher_iv",
                             "kdf", "kdf_rounds", "database", "hmac", "hmac_key_salt" }) {
        QTest::addRow("no %s", key) << key << QJsonValue(QJsonValue::Undefined) << QString();
        QTest::addRow("%s of wrong type", key) << key << QJsonValue(QJsonArray{ 1 }) << QString();
    }
    const QList<QPair<const char*, QJsonValue>> rows = {
        { "version", 0 }, { "version", -3 }, { "version", 2.5 }, { "version", "3" },
        { "name", 5 },
        { "cipher_iv", "AAAAAAAAAAAAAAAAAAAA" },                              // 15 bytes
        { "cipher_iv", QString::fromLatin1(QByteArray(17, 'x').toBase64()) },
        { "ctr_iv", "AAAAAAAAAAAAAAAAAAAAAA==" },  // the version 1 name in version 2
        { "database", "AB*D" }, { "hmac", "QUI" }, { "database", "QUJD\nQUJD" },
        { "hmac_key_salt", "QQ==QQ==" }, { "cipher_key_salt", "__-_" },
        { "database", "QUJDRB==" }, { "database", "QUJ=RA==" }, { "database", "QUJDRA=A" }, // stray bits, inner padding
        { "kdf_rounds", 0 }, { "kdf_rounds", -100 }, { "kdf_rounds", 1e12 },
        { "kdf_rounds", 2.5 }, { "kdf_rounds", "100" } };
    for (const auto& row : rows) {
        const QByteArray value = QJsonDocument(QJsonArray{ row.second }).toJson(QJsonDocument::Compact);
        QTest::addRow("%s %s", row.first, value.constData()) << row.first << row.second << QString();
    }
}

void TestPasswordDatabaseFile::malformedHeaders()
{
    QFETCH(QString, member);
    QFETCH(QJsonValue, value);
    QFETCH(QString, error);
    QJsonObject file = buildFile(2, treeText({}), QStringLiteral("pw"));
    if (member == QLatin1String("ctr_iv"))
        file.remove(QLatin1String("cipher_iv"));
    if (value.isUndefined())
        file.remove(member);
    else
        file[member] = value;
    writeJson(path("bad.lhdb"), file);

    // A failed load keeps what the database held.
    PasswordDatabase db;
    db.setName(QStringLiteral("previous"));
    BTaskController controller;
    QVERIFY(!db.load(path("bad.lhdb"), &controller));
    QCOMPARE(controller.errorMessage(), error);
    QCOMPARE(db.getName(), QStringLiteral("previous"));
    QVERIFY(!db.isOpen());
}

void TestPasswordDatabaseFile::invalidUtf8InTheHeaderReadsAsReplacement()
{
    QByteArray text = QJsonDocument(buildFile(2, treeText({}), QStringLiteral("pw"))).toJson();
    const QByteArray note = "\"note\": \"";
    const int at = text.indexOf(note);
    QVERIFY(at >= 0);
    text.insert(at + note.size(), "caf\xff\xfe ");
    writeText(path("latin.lhdb"), text);

    PasswordDatabase db;
    BTaskController controller;
    QVERIFY(db.load(path("latin.lhdb"), &controller));
    QVERIFY(db.getNote().startsWith(QStringLiteral("caf")));
    QVERIFY(db.getNote().contains(QChar::ReplacementCharacter));
}

void TestPasswordDatabaseFile::unlockFailures()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    QVERIFY(db.save(path("u.lhdb")));
    const QJsonObject good = readJson(path("u.lhdb"));
    QString error;

    // Texts that are no database at all.
    for (const QByteArray& text : { QByteArray(), QByteArray("not json"), QByteArray("[1,2]"),
                                    QByteArray("{\"version\": 3") }) {
        writeText(path("x.lhdb"), text);
        QVERIFY(!db.load(path("x.lhdb"), nullptr));
    }
    QVERIFY(!db.load(path("missing.lhdb"), nullptr));
    QCOMPARE(db.getName(), QStringLiteral("Home %1"));

    // Wrong password, and the right one on a damaged payload.
    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("u.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("wrong"), &error), Failure);
    QCOMPARE(error, Incorrect);
    QVERIFY(loaded.getItems().isEmpty());
    // Keys from the wrong password are not kept, so nothing can be saved
    // over the file under that password.
    QVERIFY(!loaded.hasKeys());
    QVERIFY(!loaded.save(path("u.lhdb")));
    QCOMPARE(readJson(path("u.lhdb")), good);
    QByteArray ciphertext = b64(good["database"]);
    ciphertext[ciphertext.size() / 2] = char(ciphertext[ciphertext.size() / 2] ^ 0x01);
    QJsonObject flipped = good;
    flipped["database"] = QString::fromLatin1(ciphertext.toBase64());
    writeJson(path("x.lhdb"), flipped);
    QVERIFY(loaded.load(path("x.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("pw"), &error), Failure);
    QCOMPARE(error, Incorrect);

    // The HMAC holds but the wrong cipher decrypts to noise.
    QJsonObject relabelled = good;
    relabelled["cipher"] = QStringLiteral("Twofish-256");
    writeJson(path("x.lhdb"), relabelled);
    QVERIFY(loaded.load(path("x.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("pw"), &error), Failure);
    QCOMPARE(error, Corrupt);

    // An unknown cipher loads its header but cannot be unlocked; neither
    // can an unknown key-derivation function. Each says so instead of
    // blaming the password.
    relabelled["cipher"] = QStringLiteral("Serpent-256");
    writeJson(path("x.lhdb"), relabelled);
    QVERIFY(loaded.load(path("x.lhdb"), nullptr));
    QCOMPARE(loaded.getCipher(), 0);
    QCOMPARE(unlock(loaded, QStringLiteral("pw"), &error), Failure);
    QCOMPARE(error, QStringLiteral("Failed to unlock password database. It uses a cipher this program does not know."));
    relabelled = good;
    relabelled["kdf"] = QStringLiteral("Argon2");
    writeJson(path("x.lhdb"), relabelled);
    QVERIFY(loaded.load(path("x.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("wrong"), &error), Failure);
    QCOMPARE(error, QStringLiteral("Failed to unlock password database. It uses a key derivation function this "
                                   "program does not know."));
}

void TestPasswordDatabaseFile::failedTreeLeavesNoPartialTree()
{
    QJsonObject broken = item(1, QStringLiteral("second"), 0);
    broken.remove(QLatin1String("icon"));
    writeJson(path("t.lhdb"),
              buildFile(2, treeText({ item(1, QStringLiteral("first"), 0), broken }),
                        QStringLiteral("pw")));
    PasswordDatabase db;
    QVERIFY(db.load(path("t.lhdb"), nullptr));
    QString error;
    QCOMPARE(unlock(db, QStringLiteral("pw"), &error), Failure);
    QCOMPARE(error, Unloadable);
    QVERIFY(db.getItems().isEmpty());
    QVERIFY(db.isModified());
}

namespace {

// One group holding one entry; the entry as written by version 3.
QByteArray entryTree(const QByteArray& entry)
{
    return "{\"groups\":[{\"type\":1,\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,"
           "\"gui_state\":0,\"icon\":\"\",\"items\":[" + entry + "]}]}";
}

QByteArray goodEntry()
{
    QJsonObject entry = item(2, QStringLiteral("p"), 0);
    entry["gui_state"] = 0;
    return QJsonDocument(entry).toJson(QJsonDocument::Compact);
}

} // namespace

void TestPasswordDatabaseFile::malformedTrees_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray ok = goodEntry();
    auto broken = [&ok](const char* from, const char* to) {
        return entryTree(QByteArray(ok).replace(from, to));
    };
    QTest::newRow("not json") << QByteArray("{\"groups\":[");
    QTest::newRow("no groups") << QByteArray("{\"paddingStart\": \"\"}");
    QTest::newRow("group not an object") << QByteArray("{\"groups\":[7]}");
    QTest::newRow("group without items") << QByteArray(entryTree("")).replace(",\"items\":[]", "");
    QTest::newRow("version 3 without gui_state") << broken(",\"gui_state\":0", "");
    QTest::newRow("tag as text") << broken("\"tag\":0", "\"tag\":\"0\"");
    QTest::newRow("tag too big") << broken("\"tag\":0", "\"tag\":1e20");
    QTest::newRow("flags fraction") << broken("\"flags\":0", "\"flags\":0.5");
    QTest::newRow("never_expire as text") << broken("\"never_expire\":false", "\"never_expire\":\"no\"");
    QTest::newRow("password missing") << broken("\"password\":\"pw\",", "");
    QTest::newRow("expire_time missing") << broken("\"expire_time\"", "\"expiry\"");
    // Whatever cannot be read whole is refused: a tree read in part would
    // lose the rest at the next save.
    QTest::newRow("groups not an array") << QByteArray("{\"groups\":{}}");
    QTest::newRow("groups as text") << QByteArray("{\"groups\":\"[]\"}");
    QTest::newRow("items not an array") << QByteArray(entryTree("")).replace("\"items\":[]", "\"items\":{}");
    QTest::newRow("item not an object") << entryTree("7");
    QTest::newRow("type missing") << broken("\"type\":2,", "");
    QTest::newRow("type as text") << broken("\"type\":2", "\"type\":\"2\"");
    QTest::newRow("type fraction") << broken("\"type\":2", "\"type\":2.5");
    QTest::newRow("attachment not an object") << broken("{", "{\"attachment\":7,");
    QTest::newRow("attachment data not text") << broken("{", "{\"attachment\":{\"data\":5},");
}

void TestPasswordDatabaseFile::malformedTrees()
{
    QFETCH(QByteArray, text);
    PasswordDatabase db;
    db.addItem(new Group);
    db.clearModified();
    QVERIFY(!parseTree(db, QString::fromUtf8(text), 3));
    QCOMPARE(db.getItems().size(), 1);
    QVERIFY(!db.isModified());
    // The unbroken entry loads: each row fails for its own fault.
    QVERIFY(parseTree(db, QString::fromUtf8(entryTree(goodEntry())), 3));
    QCOMPARE(db.getAllItems().size(), 3);
}

void TestPasswordDatabaseFile::nestingDepthIsCapped()
{
    auto nested = [](int depth) {
        QByteArray text = "{\"groups\":[";
        for (int i = 0; i < depth; ++i)
            text += "{\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,\"icon\":\"\",\"type\":1,\"items\":[";
        text += QByteArray("]}").repeated(depth) + "]}";
        return QString::fromLatin1(text);
    };
    PasswordDatabase db;
    QVERIFY(parseTree(db, nested(PasswordDatabase::MaxGroupDepth), 3));
    QCOMPARE(db.getAllItems().size(), PasswordDatabase::MaxGroupDepth);
    QVERIFY(!parseTree(db, nested(PasswordDatabase::MaxGroupDepth + 1), 3));
    QVERIFY(!parseTree(db, nested(5000), 3));
    QCOMPARE(db.getAllItems().size(), PasswordDatabase::MaxGroupDepth);

    // A tree too deep to be read back is neither written nor locked away.
    QCOMPARE(setPassword(db, QStringLiteral("pw")), Success);
    QVERIFY(!serialiseTree(db).isNull());
    Group* deepest = static_cast<Group*>(db.getAllItems().last());
    deepest->addItem(new Group);
    QVERIFY(serialiseTree(db).isNull());
    QVERIFY(!db.save(path("deep.lhdb")));
    QVERIFY(!QFile::exists(path("deep.lhdb")));
    QVERIFY(!db.lock());
    QCOMPARE(db.getAllItems().size(), PasswordDatabase::MaxGroupDepth + 1);
}

void TestPasswordDatabaseFile::tooDeepTreeIsNamedOnUnlock()
{
    // A chain of `depth` groups; beside each inner group sits an item of
    // another type, whose own "items" do not count.
    auto nested = [](int depth) {
        QByteArray text = "{\"groups\":[";
        for (int i = 0; i < depth; ++i) {
            text += "{\"name\":\"g\",\"note\":\"\",\"tag\":0,\"flags\":0,\"gui_state\":0,\"icon\":\"\",\"type\":1,\"items\":[";
            if (i + 1 < depth)
                text += "{\"type\":7,\"items\":[{\"type\":1,\"items\":[{\"type\":1,\"items\":[]}]}]},";
        }
        text += QByteArray("]}").repeated(depth) + "]}";
        return text;
    };
    const QJsonObject fits = QJsonDocument::fromJson(nested(PasswordDatabase::MaxGroupDepth)).object();
    QCOMPARE(groupNestingDepth(fits), PasswordDatabase::MaxGroupDepth);
    QCOMPARE(groupNestingDepth(fits, 10), 11);
    QCOMPARE(groupNestingDepth(QJsonObject{ { "groups", QJsonArray() } }), 0);

    const QString tooDeep = QStringLiteral("Failed to unlock password database. Its groups are nested "
                                           "more than %1 levels deep.").arg(PasswordDatabase::MaxGroupDepth);
    // Just too deep for the reader, and deeper than the JSON parser follows.
    for (int depth : { PasswordDatabase::MaxGroupDepth + 1, 2000 }) {
        writeJson(path("nested.lhdb"), buildFile(3, nested(depth), QStringLiteral("pw")));
        PasswordDatabase db;
        QVERIFY(db.load(path("nested.lhdb"), nullptr));
        QString error;
        QCOMPARE(unlock(db, QStringLiteral("pw"), &error), Failure);
        QCOMPARE(error, tooDeep);
        QVERIFY(db.getItems().isEmpty());
    }
    // The deepest tree that is read unlocks.
    writeJson(path("nested.lhdb"), buildFile(3, nested(PasswordDatabase::MaxGroupDepth), QStringLiteral("pw")));
    PasswordDatabase db;
    QVERIFY(db.load(path("nested.lhdb"), nullptr));
    QCOMPARE(unlock(db, QStringLiteral("pw")), Success);
    QCOMPARE(db.getAllItems().size(), PasswordDatabase::MaxGroupDepth);
    // Any other fault of a tree keeps its own message.
    writeJson(path("bad.lhdb"), buildFile(3, "{\"groups\":[{\"type\":1}]}", QStringLiteral("pw")));
    QVERIFY(db.load(path("bad.lhdb"), nullptr));
    QString error;
    QCOMPARE(unlock(db, QStringLiteral("pw"), &error), Failure);
    QCOMPARE(error, Unloadable);
}

void TestPasswordDatabaseFile::lockUnlockCycles()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    const QJsonObject before = treeToJson(db);
    QByteArray previousIv;
    for (bool modified : { true, false }) {
        if (modified)
            db.setModified();
        else
            db.clearModified();
        QVERIFY(db.lock());
        QVERIFY(db.isLocked());
        QVERIFY(db.getItems().isEmpty());
        QVERIFY(!db.hasKeys());
        QVERIFY(db.getCipherIv() != previousIv);
        previousIv = db.getCipherIv();
        QCOMPARE(db.isModified(), modified);
        QVERIFY(!db.lock());
        QCOMPARE(db.getCipherIv(), previousIv);

        QString error;
        QCOMPARE(unlock(db, QStringLiteral("nope"), &error), Failure);
        QCOMPARE(error, Incorrect);
        QVERIFY(db.isLocked());
        QVERIFY(db.getItems().isEmpty());
        QCOMPARE(unlock(db, QStringLiteral("pw")), Success);
        QVERIFY(!db.isLocked());
        QCOMPARE(db.isModified(), modified);
        QCOMPARE(treeToJson(db), before);
        QCOMPARE(db.getName(), QStringLiteral("Home %1"));
    }
}

void TestPasswordDatabaseFile::lockAndSaveNeedKeys()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    QVERIFY(db.save(path("k.lhdb")));
    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("k.lhdb"), nullptr));
    // Header only: no tree, no keys. Encrypting now would replace the real
    // payload with an empty one.
    const QByteArray payload = loaded.getEncryptedData();
    QVERIFY(!loaded.lock());
    QVERIFY(!loaded.save(path("k.lhdb")));
    QCOMPARE(loaded.getEncryptedData(), payload);
    QVERIFY(db.lock());
    QVERIFY(!db.save(path("k2.lhdb")));
    QVERIFY(!QFile::exists(path("k2.lhdb")));
    QVERIFY(PasswordDatabase().lock() == false);
}

void TestPasswordDatabaseFile::expireTimeAcrossTimeZones()
{
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "JST-9");
    tzset();
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    Password* entry = static_cast<Password*>(db.getAllItems().at(1));
    entry->setExpireTime(QDateTime(QDate(2030, 1, 2), QTime(12, 4, 5), Qt::LocalTime));
    QVERIFY(db.save(path("tz.lhdb")));

    qputenv("TZ", "EST+5");
    tzset();
    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("tz.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("pw")), Success);
    const QDateTime back = static_cast<Password*>(loaded.getAllItems().at(1))->getExpireTime();
    QCOMPARE(back.toUTC(), Instant);
    QCOMPARE(back.toLocalTime().time(), QTime(22, 4, 5));
    QCOMPARE(formatExpireTime(back), InstantText);
    QCOMPARE(formatExpireTime(Instant.toOffsetFromUtc(3600)), InstantText);
    QVERIFY(formatExpireTime(QDateTime()).isEmpty());

    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

void TestPasswordDatabaseFile::expireTimeTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime invalid;
    QTest::newRow("as written") << InstantText << Instant;
    QTest::newRow("any case, extra spaces") << "  wed JAN  2 03:04:05 2030 gmt " << Instant;
    QTest::newRow("no day name") << "Jan 2 03:04:05 2030 UTC" << Instant;
    QTest::newRow("offset") << "Wed Jan 2 04:04:05 2030 GMT+0100" << Instant;
    QTest::newRow("full month, milliseconds") << "Wed January 2 03:04:05.000 2030 GMT" << Instant;
    QTest::newRow("local time") << "Wed Jan 2 03:04:05 2030"
                                << QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::LocalTime);
    QTest::newRow("unknown month") << "Wed Foo 2 03:04:05 2030 GMT" << invalid;
    QTest::newRow("bad day") << "Wed Feb 30 03:04:05 2030 GMT" << invalid;
    QTest::newRow("empty") << "" << invalid;
    QTest::newRow("last four-digit year") << "Fri Dec 31 23:59:59 9999 GMT"
                                          << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    QTest::newRow("five-digit year") << "Sat Jan 1 00:00:00 10000 GMT" << invalid;
    QTest::newRow("year beyond the millisecond range") << "Wed Jan 2 03:04:05 2147483647 GMT" << invalid;
}

void TestPasswordDatabaseFile::expireTimeTexts()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime parsed = parseExpireTime(text);
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(parsed, expected);
}

void TestPasswordDatabaseFile::twofishFile()
{
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"), 2);
    QVERIFY(db.save(path("tf.lhdb")));
    const QJsonObject file = readJson(path("tf.lhdb"));
    QCOMPARE(file["cipher"].toString(), QStringLiteral("Twofish-256"));
    QVERIFY(decryptFile(file, QStringLiteral("pw")).startsWith("{\"paddingStart\": \""));

    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("tf.lhdb"), nullptr));
    QCOMPARE(loaded.getCipher(), 2);
    QCOMPARE(unlock(loaded, QStringLiteral("pw")), Success);
    QCOMPARE(treeToJson(loaded), treeToJson(db));
}

void TestPasswordDatabaseFile::failedSaveKeepsTheOldFile()
{
    QTemporaryDir dir; // a folder of its own, to see that no temporary file is left
    QVERIFY(dir.isValid());
    auto path = [&dir](const char* name) { return dir.filePath(QLatin1String(name)); };
    PasswordDatabase db;
    fillDatabase(db, QStringLiteral("pw"));
    QVERIFY(db.save(path("safe.lhdb")));
    const QByteArray oldFile = [&path] {
        QFile f(path("safe.lhdb"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    // Grow the tree, then let the disk refuse everything past 1 KiB.
    Password* big = new Password;
    big->setNote(QString(20000, QLatin1Char('x')));
    db.getItems().first()->addItem(big);
    db.setModified();
    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = db.save(path("safe.lhdb"));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!saved);
    QVERIFY(db.isModified());

    // A target that is a folder, or in a folder that does not exist.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.lhdb")));
    QVERIFY(!db.save(path("folder.lhdb")));
    QVERIFY(!db.save(path("no/such/folder.lhdb")));
    QCOMPARE(db.getFilePath(), path("safe.lhdb"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({ "safe.lhdb" }));

    QFile f(path("safe.lhdb"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), oldFile);
    PasswordDatabase loaded;
    QVERIFY(loaded.load(path("safe.lhdb"), nullptr));
    QCOMPARE(unlock(loaded, QStringLiteral("pw")), Success);
    QCOMPARE(loaded.getAllItems().size(), 3);
}

void TestPasswordDatabaseFile::setPasswordKeepsSaltsAndSplitsProgress()
{
    PasswordDatabase db;
    db.setFileFormatVersion(3);
    BTaskController controller;
    QList<double> progress;
    connect(&controller, &BTaskController::progressed, [&](double p) { progress << p; });
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("first"), 1, 1, 5);
    QCOMPARE(task.run(&controller), Success);
    QVERIFY(db.isOpen() && db.isModified() && db.hasKeys());
    QCOMPARE(db.getKdfRounds(), 5);
    QCOMPARE(controller.title(), QStringLiteral("Setting Password"));
    QVERIFY(controller.status().startsWith(QStringLiteral("Key derivation round ")));
    // The cipher key reports from 0.0 to 0.8, the HMAC key from 0.8 to 1.0.
    QVERIFY(!progress.isEmpty() && progress.first() == 0.0);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progress.contains(0.8) && progress.last() <= 1.0);

    const QByteArray cipherSalt = db.getCipherKeySalt(), hmacSalt = db.getHmacKeySalt();
    QCOMPARE(cipherSalt.size(), 16);
    QCOMPARE(hmacSalt.size(), 16);
    QVERIFY(cipherSalt != hmacSalt);
    db.clearModified();
    QCOMPARE(setPassword(db, QStringLiteral("second"), 2, 3), Success);
    QCOMPARE(db.getCipherKeySalt(), cipherSalt);
    QCOMPARE(db.getHmacKeySalt(), hmacSalt);
    QCOMPARE(db.getCipher(), 2);
    QVERIFY(db.isModified());
    QVERIFY(db.save(path("s.lhdb")));
    QVERIFY(decryptFile(readJson(path("s.lhdb")), QStringLiteral("first")).isEmpty());
    QVERIFY(!decryptFile(readJson(path("s.lhdb")), QStringLiteral("second")).isEmpty());

    // Re-keying a locked database would orphan its stored tree.
    QVERIFY(db.lock());
    QCOMPARE(setPassword(db, QStringLiteral("third")), Failure);
    QCOMPARE(unlock(db, QStringLiteral("second")), Success);

    // A failed re-key stores the new settings and leaves no key behind, not
    // even the HMAC key of the old password.
    QCOMPARE(setPassword(db, QStringLiteral("fourth"), 1, 0), Failure);
    QCOMPARE(db.getKdfRounds(), 0);
    QVERIFY(db.getCipherKey().isEmpty());
    QVERIFY(db.getHmacKey().isEmpty());
    QVERIFY(!db.lock());
    // Argon2 needs the version 4 layout: a version 3 vault refuses it,
    // saying so, and changes nothing.
    PasswordDatabaseSetPasswordTask argon(db, QStringLiteral("fifth"), 1, 2, 5);
    QCOMPARE(argon.run(&controller), Failure);
    QVERIFY(controller.errorMessage().contains(QStringLiteral("upgrade")));
    QCOMPARE(db.getKdf(), 1);
    QCOMPARE(db.getFileFormatVersion(), 3);
    // clear() keeps the key-derivation function but resets the rounds.
    db.clear();
    QCOMPARE(db.getKdf(), 1);
    QCOMPARE(db.getKdfRounds(), 100000);
}

void TestPasswordDatabaseFile::keyDerivationWipesOnFailure()
{
    PasswordDatabase db;
    BTaskController controller;
    QByteArray key, salt;
    QCOMPARE(deriveDatabaseKey(db, &controller, QStringLiteral("pw"), key, salt, 2, 32), Success);
    QCOMPARE(salt.size(), 16);
    QCOMPARE(key, pbkdf2(QStringLiteral("pw"), salt, 2, 32));
    const QByteArray firstSalt = salt, firstKey = key;
    QCOMPARE(deriveDatabaseKey(db, &controller, QStringLiteral("pw"), key, salt, 2, 32), Success);
    QCOMPARE(salt, firstSalt);
    QCOMPARE(key, firstKey);
    // A failed derivation leaves no old key behind.
    QCOMPARE(deriveDatabaseKey(db, &controller, QStringLiteral("pw"), key, salt, 0, 32), Failure);
    QVERIFY(key.isEmpty());
    QVERIFY(controller.errorMessage().isEmpty());
}

QTEST_GUILESS_MAIN(TestPasswordDatabaseFile)
#include "tst_passworddatabasefile.moc"
