// Format version 4: one expensive derivation guards both keys, the header is
// authenticated, Argon2id is available, and hostile settings are refused
// before anything is derived. Versions 1 to 3 keep their own layout.

#include "app/database/DatabaseKdfParameters.h"
#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/task/BTaskController.h"
#include "support/HandBuiltVault.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString KatPassword = QStringLiteral("pw \u00fc");

QByteArray katSalt()
{
    QByteArray salt;
    for (int i = 0; i < 32; ++i)
        salt.append(char(i));
    return salt;
}

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeJson(const QString& path, const QJsonObject& object)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QJsonDocument(object).toJson());
}

BTaskResult unlock(PasswordDatabase& db, const QString& password, QString* error = nullptr,
                   BTaskController* given = nullptr)
{
    BTaskController own;
    BTaskController* controller = given ? given : &own;
    PasswordDatabaseUnlockTask task(db, password);
    const BTaskResult result = task.run(controller);
    if (error)
        *error = controller->errorMessage();
    return result;
}

const QString Incorrect = QStringLiteral("Failed to unlock password database. Incorrect password.");

} // namespace

class TestDatabaseFormatFour : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A version 4 vault with one entry, saved at `file`.
    void makeVault(const QString& file, int cipher, const DatabaseKdfParameters& kdf)
    {
        PasswordDatabase db;
        BTaskController controller;
        PasswordDatabaseSetPasswordTask task(db, QStringLiteral("secret"), cipher, kdf);
        QCOMPARE(task.run(&controller), Success);
        db.setName(QStringLiteral("Vault"));
        db.setNote(QStringLiteral("n\u00f6te"));
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Web"));
        auto* entry = new PasswordDatabase::Password;
        entry->setName(QStringLiteral("Shop"));
        entry->setPassword(QStringLiteral("hunter2"));
        group->addItem(entry);
        db.addItem(group);
        QVERIFY(db.save(file));
    }

    // A new vault with one header member changed afterwards, as read back.
    void loadTampered(PasswordDatabase& db, const DatabaseKdfParameters& kdf, const QString& member,
                      const QJsonValue& value)
    {
        const QString file = path(QStringLiteral("tampered.lhdb"));
        makeVault(file, 1, kdf);
        QJsonObject json = readJson(file);
        json[member] = value;
        writeJson(file, json);
        QVERIFY(db.load(file, nullptr));
    }

private slots:
    void knownAnswers()
    {
        BTaskController controller;
        QByteArray master, cipherKey, hmacKey;
        QCOMPARE(deriveMasterKey(&controller, KatPassword, katSalt(), DatabaseKdfParameters::pbkdf2(1000), master),
                 Success);
        QCOMPARE(master.toHex(), QByteArray("3b96bccf16ee18fa18cc415839200b5932926f6940cf30c8e6d656ac443bc316"
                                            "d493f60bda8340d546edb060a1e8c4d3"));
        expandDatabaseKeys(master, cipherKey, hmacKey);
        QCOMPARE(cipherKey.toHex(), QByteArray("a2c6d3af73a829990c1388355c67bd6e5edb05d988f25bef8978a1255e476ecb"));
        QCOMPARE(hmacKey.toHex(), QByteArray("2ede3cf03226fe817b48b4d0aa475b07d9d3869878aee1b4dc2a7a63b3f638f4"
                                             "9202a88f4bf38285d5bf0b515ee6f854"));

        DatabaseHeaderFields fields;
        fields.type = databaseTypeText();
        fields.name = QStringLiteral("Kat");
        fields.note = QStringLiteral("n\u00f6te");
        fields.cipher = QStringLiteral("AES-256");
        for (int i = 0x64; i <= 0x73; ++i)
            fields.cipherIv.append(char(i));
        fields.kdf = QStringLiteral("PBKDF2");
        fields.kdfRounds = 1000;
        fields.kdfSalt = katSalt();
        const QByteArray message = headerAuthenticationData(fields)
            + QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QCOMPARE(keccakHmac(message, hmacKey).toHex(),
                 QByteArray("13fd232ef5b1d962b9f03381d53c461566d715eea495aae52b842cb23187861a"
                            "1510f95a36aa677169b88c2a8fb026c2"));

        QCOMPARE(deriveMasterKey(&controller, KatPassword, katSalt(), DatabaseKdfParameters::argon2(2, 1024, 2),
                                 master),
                 Success);
        QCOMPARE(master.toHex(), QByteArray("6f1f6f49eb3b036575a6bf2bf52341d63dc121ac055fc976b4b3d9f534154e92"
                                            "df057baf2554ec915451915e696c193d"));
        expandDatabaseKeys(master, cipherKey, hmacKey);
        QCOMPARE(cipherKey.toHex(), QByteArray("a5a75c8b8bfe8795891dc3502ee3eae1ae852e77c54636d30f598dde1a97d164"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("cipher");
        QTest::addColumn<bool>("argon2");
        QTest::newRow("AES-256, PBKDF2") << 1 << false;
        QTest::newRow("Twofish-256, PBKDF2") << 2 << false;
        QTest::newRow("AES-256, Argon2") << 1 << true;
        QTest::newRow("Twofish-256, Argon2") << 2 << true;
    }

    void roundTrip()
    {
        QFETCH(int, cipher);
        QFETCH(bool, argon2);
        const DatabaseKdfParameters kdf = argon2 ? DatabaseKdfParameters::argon2(1, 256, 2)
                                                 : DatabaseKdfParameters::pbkdf2(3);
        const QString file = path(QStringLiteral("round-%1-%2.lhdb").arg(cipher).arg(argon2));
        makeVault(file, cipher, kdf);

        const QJsonObject json = readJson(file);
        QCOMPARE(json["version"].toInt(), 4);
        QCOMPARE(json["kdf"].toString(), argon2 ? QStringLiteral("Argon2") : QStringLiteral("PBKDF2"));
        QCOMPARE(json.contains("kdf_memory_kib"), argon2);
        QCOMPARE(json.contains("kdf_parallelism"), argon2);
        QVERIFY(!json.contains("cipher_key_salt") && !json.contains("hmac_key_salt"));
        QCOMPARE(QByteArray::fromBase64(json["kdf_salt"].toString().toLatin1()).size(), 32);

        PasswordDatabase loaded;
        QVERIFY(loaded.load(file, nullptr));
        QString error;
        QCOMPARE(unlock(loaded, QStringLiteral("wrong"), &error), Failure);
        QCOMPARE(error, Incorrect);
        QCOMPARE(unlock(loaded, QStringLiteral("secret")), Success);
        QCOMPARE(loaded.getCipher(), cipher);
        QCOMPARE(loaded.getKdfParameters().memoryKib, kdf.isArgon2() ? 256 : 0);
        QCOMPARE(loaded.getNote(), QStringLiteral("n\u00f6te"));
        QCOMPARE(loaded.getItems().size(), 1);
        const auto* entry = static_cast<PasswordDatabase::Password*>(loaded.getItems().first()->getItems().first());
        QCOMPARE(entry->getPassword(), QStringLiteral("hunter2"));

        // Locking keeps the authenticated layout, and saving keeps version 4.
        QVERIFY(loaded.lock());
        QCOMPARE(unlock(loaded, QStringLiteral("secret")), Success);
        QVERIFY(loaded.save(file));
        QCOMPARE(readJson(file)["version"].toInt(), 4);
    }

    void changedHeaderIsRefused_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("name") << "name" << QJsonValue("Other");
        QTest::newRow("note") << "note" << QJsonValue("");
        QTest::newRow("type") << "type" << QJsonValue("Something else");
        QTest::newRow("kdf_rounds") << "kdf_rounds" << QJsonValue(2);
        QTest::newRow("cipher_iv") << "cipher_iv"
                                   << QJsonValue(QString::fromLatin1(QByteArray(16, 'x').toBase64()));
        QTest::newRow("kdf_salt") << "kdf_salt" << QJsonValue(QString::fromLatin1(QByteArray(32, 'y').toBase64()));
        QTest::newRow("cipher") << "cipher" << QJsonValue("Twofish-256");
    }

    void changedHeaderIsRefused()
    {
        QFETCH(QString, member);
        QFETCH(QJsonValue, value);
        PasswordDatabase db;
        loadTampered(db, DatabaseKdfParameters::pbkdf2(3), member, value);
        QString error;
        QCOMPARE(unlock(db, QStringLiteral("secret"), &error), Failure);
        QCOMPARE(error, Incorrect);
        QVERIFY(db.getItems().isEmpty() && !db.hasKeys());
    }

    // The HMAC key comes only from the whole derivation: neither fewer
    // rounds nor the fixed-round key of the earlier layout checks a guess.
    void noCheaperPasswordCheck()
    {
        const QString file = path(QStringLiteral("cost.lhdb"));
        makeVault(file, 1, DatabaseKdfParameters::pbkdf2(2000));
        const QJsonObject json = readJson(file);
        const QByteArray salt = QByteArray::fromBase64(json["kdf_salt"].toString().toLatin1());
        const QByteArray mac = QByteArray::fromBase64(json["hmac"].toString().toLatin1());
        PasswordDatabase header;
        QVERIFY(header.load(file, nullptr));

        auto macWith = [&](const QByteArray& master) {
            QByteArray cipherKey, hmacKey;
            expandDatabaseKeys(master, cipherKey, hmacKey);
            DatabaseHeaderFields fields;
            fields.type = json["type"].toString();
            fields.name = json["name"].toString();
            fields.note = json["note"].toString();
            fields.cipher = json["cipher"].toString();
            fields.cipherIv = QByteArray::fromBase64(json["cipher_iv"].toString().toLatin1());
            fields.kdf = json["kdf"].toString();
            fields.kdfRounds = json["kdf_rounds"].toInt();
            fields.kdfSalt = salt;
            return keccakHmac(headerAuthenticationData(fields) + header.getEncryptedData(), hmacKey);
        };
        QCOMPARE(macWith(pbkdf2(QStringLiteral("secret"), salt, 2000, 48)), mac);
        QVERIFY(macWith(pbkdf2(QStringLiteral("secret"), salt, 1999, 48)) != mac);
        QVERIFY(macWith(pbkdf2(QStringLiteral("secret"), salt, 10000, 48)) != mac);
        const QByteArray legacyKey = pbkdf2(QStringLiteral("secret"), salt.left(16), 10000, 128);
        QVERIFY(keccakHmac(header.getEncryptedData(), legacyKey) != mac);
    }

    void legacyVaultKeepsItsVersion()
    {
        const QString file = path(QStringLiteral("v3.lhdb"));
        writeJson(file, buildFile(2, QByteArrayLiteral("{\"groups\":[]}"), QStringLiteral("pw")));
        PasswordDatabase db;
        QVERIFY(db.load(file, nullptr));
        QVERIFY(db.isLegacyFormat());
        QCOMPARE(unlock(db, QStringLiteral("pw")), Success);
        QVERIFY(db.save(file));
        QJsonObject json = readJson(file);
        QCOMPARE(json["version"].toInt(), 3);
        QVERIFY(json.contains("cipher_key_salt") && json.contains("hmac_key_salt"));

        // The upgrade re-keys it as version 4 with one salt.
        BTaskController controller;
        PasswordDatabaseSetPasswordTask upgrade(db, QStringLiteral("new"), db.getCipher(),
                                                DatabaseKdfParameters::argon2(1, 64, 1), 4);
        QCOMPARE(upgrade.run(&controller), Success);
        QVERIFY(db.save(file));
        json = readJson(file);
        QCOMPARE(json["version"].toInt(), 4);
        QVERIFY(!json.contains("cipher_key_salt"));
        PasswordDatabase again;
        QVERIFY(again.load(file, nullptr));
        QCOMPARE(unlock(again, QStringLiteral("new")), Success);
    }

    // Settings that would take all memory or hours are named and refused
    // before any derivation; a long PBKDF2 stops at a cancel request.
    void hostileSettingsAreRefusedFirst_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("bound");
        QTest::newRow("memory over 4 GiB") << "kdf_memory_kib" << 8.0 * 1024 * 1024 << "MiB of memory";
        QTest::newRow("65 lanes") << "kdf_parallelism" << 65.0 << "between 1 and 64 lanes";
        QTest::newRow("hours of passes") << "kdf_rounds" << 2000000.0 << "about a minute";
    }

    void hostileSettingsAreRefusedFirst()
    {
        QFETCH(QString, member);
        QFETCH(double, value);
        QFETCH(QString, bound);
        PasswordDatabase db;
        loadTampered(db, DatabaseKdfParameters::argon2(1, 64, 1), member, value);
        QString error;
        QCOMPARE(unlock(db, QStringLiteral("secret"), &error), Failure);
        QVERIFY2(error.contains(bound), qPrintable(error));
    }

    void pbkdf2StopsWhenCancelled()
    {
        PasswordDatabase db;
        loadTampered(db, DatabaseKdfParameters::pbkdf2(3), QStringLiteral("kdf_rounds"), 2147483647.0);
        BTaskController controller;
        controller.cancel();
        QCOMPARE(unlock(db, QStringLiteral("secret"), nullptr, &controller), Cancelled);
        QVERIFY(!db.hasKeys());
    }
};

QTEST_GUILESS_MAIN(TestDatabaseFormatFour)
#include "tst_databaseformatfour.moc"
