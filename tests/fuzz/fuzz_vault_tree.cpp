// The encrypted tree of a vault: a valid file (right keys, right HMAC) whose
// decrypted payload is the fuzz input after its first byte. The first byte
// picks the format version and the cipher. The file goes through load(), the
// HMAC check and decryption as an unlock does them, and the payload through
// parseTree(). The keys are derived once, with one key-derivation round for
// the cipher key, so that each input costs no key derivation.
//
// A tree that reads must save: serialiseTree() gives text that reads back
// into the same number of items. The unlock's reader agrees with the
// toolkit's on every text, and the tree's writer with the toolkit's writer.

#include "FuzzSupport.h"

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/TreeJsonWriter.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/task/BTaskController.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString Password = QStringLiteral("fuzz");

struct Keys {
    QByteArray cipherSalt = QByteArray(16, '\x11');
    QByteArray hmacSalt = QByteArray(16, '\x22');
    QByteArray iv = QByteArray(16, '\x33');
    QByteArray cipherKey;
    QByteArray hmacKey;
};

QByteArray derive(const QByteArray& salt, int rounds, int length)
{
    BTaskController controller;
    BKDFTask task(BKdfId::PBKDF2, Password, salt, rounds, length);
    FUZZ_CHECK(task.run(&controller) == Success);
    return task.result();
}

const Keys& keys()
{
    static const Keys k = [] {
        Keys made;
        made.cipherKey = derive(made.cipherSalt, 1, 32);
        made.hmacKey = derive(made.hmacSalt, 10000, 128);
        return made;
    }();
    return k;
}

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Environment::instance();
    keys();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const Keys& k = keys();
    const int version = data[0] % 3 + 1;
    const int cipher = (data[0] & 0x80) ? BCipherId::Twofish_256 : BCipherId::AES_256;
    const QByteArray plaintext = fuzz::bytes(data + 1, size - 1);

    QByteArray ciphertext, mac;
    symmetricCtrProcess(cipher, k.cipherKey, k.iv, plaintext, ciphertext);
    FUZZ_CHECK(ciphertext.size() == plaintext.size());
    hmac(BHashId::SHA3_384, ciphertext, k.hmacKey, mac);

    const QJsonObject file{ { "cipher", cipherName(cipher) },
                            { "cipher_key_salt", base64(k.cipherSalt) },
                            { version == 1 ? "ctr_iv" : "cipher_iv", base64(k.iv) },
                            { "database", base64(ciphertext) },
                            { "hmac", base64(mac) },
                            { "hmac_key_salt", base64(k.hmacSalt) },
                            { "kdf", "PBKDF2" },
                            { "kdf_rounds", 1 },
                            { "name", "fuzz" },
                            { "note", "" },
                            { "type", "label" },
                            { "version", version } };
    const QString path = fuzz::Environment::instance().writeFile(
        QStringLiteral("tree.lhdb"), QJsonDocument(file).toJson());

    // The header of a well-formed file always loads, whatever it encrypts.
    PasswordDatabase db;
    BTaskController controller;
    FUZZ_CHECK(db.load(path, &controller));
    FUZZ_CHECK(db.getFormatVersion() == version);
    FUZZ_CHECK(db.getCipher() == cipher);

    // What the unlock does once the keys are derived.
    QByteArray checkMac;
    hmac(BHashId::SHA3_384, db.getEncryptedData(), k.hmacKey, checkMac);
    FUZZ_CHECK(checkMac == db.getHmac());
    QByteArray decrypted;
    symmetricCtrProcess(db.getCipher(), k.cipherKey, db.getCipherIv(), db.getEncryptedData(), decrypted);
    FUZZ_CHECK(decrypted == plaintext);

    const QJsonDocument document = QJsonDocument::fromJson(decrypted);
    QList<PasswordDatabase::Group*> groups;
    const bool parsed = document.isObject() && parseTreeGroups(document.object(), version, groups);
    if (parsed) {
        for (PasswordDatabase::Group* group : qAsConst(groups))
            db.addItem(group);
    } else {
        FUZZ_CHECK(groups.isEmpty());
    }
    // The depth the unlock names in its message is one the reader refuses.
    if (document.isObject() && groupNestingDepth(document.object()) > PasswordDatabase::MaxGroupDepth)
        FUZZ_CHECK(!parsed);

    // The unlock's own reader (strict where it can be, the toolkit's
    // otherwise) takes the same texts and builds the same tree.
    {
        QList<PasswordDatabase::Group*> read;
        QList<PasswordDatabase::Deletion> deletions;
        const bool readOk = readTreeText(decrypted, version, read, deletions) == TreeTextResult::Read;
        FUZZ_CHECK(readOk == parsed);
        FUZZ_CHECK(readOk || read.isEmpty());
        if (readOk) {
            PasswordDatabase same;
            same.setFileFormatVersion(LegacyDatabaseFormatVersion);
            for (PasswordDatabase::Group* group : qAsConst(read))
                same.addItem(group);
            FUZZ_CHECK(QJsonDocument(treeToJson(same)).toJson() == QJsonDocument(treeToJson(db)).toJson());
        }
    }
    // The tree's writer gives the toolkit's bytes for whatever was read.
    FUZZ_CHECK(TreeJsonWriter::compactTree(db) == QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Compact));

    // Touch the whole tree the way the workspace does.
    const QList<PasswordDatabase::Item*> items = db.getAllItems();
    for (const PasswordDatabase::Item* item : items)
        FUZZ_CHECK(item->getFullName().endsWith(item->getName()));
    db.find(QStringLiteral("a"), PasswordDatabase::FindAllFields);
    db.getItemByTag(PasswordDatabase::BackupGroupTag);

    // Whatever was read can be written and read back.
    const QString written = serialiseTree(db);
    FUZZ_CHECK(!written.isNull());
    PasswordDatabase reread;
    FUZZ_CHECK(parseTree(reread, written, CurrentDatabaseFormatVersion));
    FUZZ_CHECK(reread.getAllItems().size() == items.size());
    return 0;
}
