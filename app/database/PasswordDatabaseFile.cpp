// The database file: a JSON envelope with a readable header and the
// encrypted tree, written by save(), read by load(); and lock(), which keeps
// the encrypted tree in memory instead.

#include "app/database/PasswordDatabase.h"

#include "app/database/PasswordDatabaseFormat.h"
#include "blib/app/BAppInfo.h"
#include "blib/app/BFileAccess.h"
#include "blib/app/BFileLock.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>
#include <new>

namespace {

const int HmacLength = 48; // Keccak-384

QString fileError(const char* text)
{
    return QCoreApplication::translate("PasswordDatabase", text);
}

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

bool decodeBase64(const QJsonValue& value, QByteArray& bytes)
{
    return value.isString() && decodeStrictBase64(value.toString().toLatin1(), bytes);
}

struct Header {
    QString name;
    QString note;
    int cipher = 0;
    int kdf = 0;
    int kdfRounds = 0;
    int version = 0;
    QByteArray cipherKeySalt;
    QByteArray cipherIv;
    QByteArray hmacKeySalt;
    QByteArray hmac;
    QByteArray encryptedData;
};

enum class HeaderResult { Ok, Invalid, NewerVersion };

HeaderResult readHeader(const QJsonObject& root, Header& header)
{
    const auto versionIt = root.constFind(QLatin1String("version"));
    if (versionIt == root.constEnd())
        return HeaderResult::Invalid;
    const double version = versionIt.value().isDouble() ? versionIt.value().toDouble() : 0.0;
    if (version > CurrentDatabaseFormatVersion)
        return HeaderResult::NewerVersion;
    if (version < 1 || std::floor(version) != version)
        return HeaderResult::Invalid;
    header.version = static_cast<int>(version);

    auto member = [&root](const char* key, QJsonValue& value) {
        const auto it = root.constFind(QLatin1String(key));
        if (it == root.constEnd())
            return false;
        value = it.value();
        return true;
    };

    QJsonValue value;
    if (!member("name", value) || !value.isString())
        return HeaderResult::Invalid;
    header.name = value.toString();
    if (!member("note", value) || !value.isString())
        return HeaderResult::Invalid;
    header.note = value.toString();
    if (!member("cipher", value) || !value.isString())
        return HeaderResult::Invalid;
    header.cipher = cipherId(value.toString());
    if (!member("cipher_key_salt", value) || !decodeBase64(value, header.cipherKeySalt))
        return HeaderResult::Invalid;
    if (!member(header.version == 1 ? "ctr_iv" : "cipher_iv", value)
        || !decodeBase64(value, header.cipherIv))
        return HeaderResult::Invalid;
    // An unknown cipher is not refused here: the header loads and the unlock
    // fails later.
    const int blockSize = cipherBlockSize(header.cipher);
    if (blockSize > 0 && header.cipherIv.size() != blockSize)
        return HeaderResult::Invalid;
    if (!member("kdf", value) || !value.isString())
        return HeaderResult::Invalid;
    header.kdf = kdfId(value.toString());
    if (!member("kdf_rounds", value) || !value.isDouble())
        return HeaderResult::Invalid;
    const double rounds = value.toDouble();
    if (!(rounds >= 1 && rounds <= std::numeric_limits<int>::max()) || std::floor(rounds) != rounds)
        return HeaderResult::Invalid;
    header.kdfRounds = static_cast<int>(rounds);
    if (!member("database", value) || !decodeBase64(value, header.encryptedData))
        return HeaderResult::Invalid;
    if (!member("hmac", value) || !decodeBase64(value, header.hmac))
        return HeaderResult::Invalid;
    if (!member("hmac_key_salt", value) || !decodeBase64(value, header.hmacKeySalt))
        return HeaderResult::Invalid;
    return HeaderResult::Ok;
}

// The envelope's "type", which tells a database file of this program.
QString databaseFileType()
{
    return QString::fromUtf8(BAppInfo::productName) + QLatin1String(" Password Database");
}

} // namespace

bool PasswordDatabase::hasKeys() const
{
    const int keySize = cipherKeySize(m_cipher);
    return keySize > 0 && m_cipherKey.size() == keySize && !m_hmacKey.isEmpty();
}

bool PasswordDatabase::encryptTree(QByteArray& iv, QByteArray& ciphertext, QByteArray& mac) const
{
    if (!hasKeys())
        return false;
    QString plaintext = serialiseTree(*this);
    if (plaintext.isNull())
        return false;
    QByteArray bytes = plaintext.toUtf8();
    wipe(plaintext);
    const int length = bytes.size();

    iv = randomBytes(cipherBlockSize(m_cipher));
    ciphertext.clear();
    symmetricCtrProcess(m_cipher, m_cipherKey, iv, bytes, ciphertext);
    wipe(bytes);
    if (ciphertext.size() != length)
        return false;
    mac.clear();
    hmac(BHashId::SHA3_384, ciphertext, m_hmacKey, mac);
    return mac.size() == HmacLength;
}

bool PasswordDatabase::save(const QString& path, QString* error, BFileWriteMode mode)
{
    QString reason;
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_locked)
        return fail(fileError("The database is locked."));
    QByteArray iv, ciphertext, mac;
    if (!encryptTree(iv, ciphertext, mac))
        return fail(fileError("The database could not be encrypted."));

    QJsonObject root;
    root.insert(QLatin1String("cipher"), cipherName(m_cipher));
    root.insert(QLatin1String("cipher_iv"), base64(iv));
    root.insert(QLatin1String("cipher_key_salt"), base64(m_cipherKeySalt));
    root.insert(QLatin1String("database"), base64(ciphertext));
    root.insert(QLatin1String("hmac"), base64(mac));
    root.insert(QLatin1String("hmac_key_salt"), base64(m_hmacKeySalt));
    root.insert(QLatin1String("kdf"), kdfName(m_kdf));
    root.insert(QLatin1String("kdf_rounds"), m_kdfRounds);
    root.insert(QLatin1String("name"), m_name);
    root.insert(QLatin1String("note"), m_note);
    root.insert(QLatin1String("type"), databaseFileType());
    root.insert(QLatin1String("version"), CurrentDatabaseFormatVersion);
    const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);
    // What load() would refuse is never written in place of a file it reads.
    if (text.size() > MaxFileSize) {
        return fail(fileError("The database is too large to be saved: its file would take %1 MiB, "
                              "where at most %2 MiB can be read back.")
                        .arg((text.size() + 1048575) / 1048576)
                        .arg(MaxFileSize / 1048576));
    }

    // Another program writing the same file is waited for; this process's
    // own lock (a read-change-save in progress) is shared.
    BFileLock lock;
    if (!lock.lock(path, FileLockWaitMs, reason) || !writeFileAtomically(path, text, mode, reason))
        return fail(reason);

    const QString savedPath = path; // path may share storage with m_filePath
    wipe(m_filePath);
    m_filePath = savedPath;
    m_modified = false;
    return true;
}

bool PasswordDatabase::isDatabaseFile(const QString& path)
{
    QByteArray text;
    QString reason;
    if (!readRegularFile(path, MaxFileSize, text, reason))
        return false;
    // Cheap refusals first: the envelope is a JSON object.
    int start = 0;
    while (start < text.size() && QByteArray(" \t\r\n").contains(text.at(start)))
        ++start;
    if (start == text.size() || text.at(start) != '{')
        return false;
    QJsonDocument document;
    try {
        document = QJsonDocument::fromJson(text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const QJsonValue type = document.object().value(QLatin1String("type"));
    return document.isObject() && type.isString() && type.toString() == databaseFileType();
}

bool PasswordDatabase::load(const QString& path, BTaskController* controller)
{
    const QString loadedPath = path; // survives the clear() below whatever path refers to
    auto fail = [controller](const QString& text) {
        if (controller && !text.isEmpty())
            controller->setErrorMessage(text);
        return false;
    };
    QByteArray text;
    QString reason;
    if (!readRegularFile(loadedPath, MaxFileSize, text, reason))
        return fail(reason);
    if (text.isEmpty())
        return fail(fileError("The file \"%1\" is empty: it holds no password database.").arg(loadedPath));

    // The file is UTF-8 text: bytes that are not valid UTF-8 (in a note
    // written by another tool, say) read as replacement characters rather
    // than making the whole file unreadable.
    QJsonDocument document;
    try {
        document = QJsonDocument::fromJson(QString::fromUtf8(text).toUtf8());
    } catch (const std::bad_alloc&) {
        return fail(fileError("There is not enough memory to read the file \"%1\".").arg(loadedPath));
    }
    text.clear();
    if (!document.isObject())
        return false;
    Header header;
    switch (readHeader(document.object(), header)) {
    case HeaderResult::Ok:
        break;
    case HeaderResult::NewerVersion:
        return fail(fileError("File is from a newer version of the program and can not be loaded."));
    case HeaderResult::Invalid:
        return false;
    }

    // Only a complete header replaces what the database held.
    clear();
    m_name = header.name;
    m_note = header.note;
    m_cipher = header.cipher;
    m_cipherKeySalt = header.cipherKeySalt;
    m_cipherIv = header.cipherIv;
    m_kdf = header.kdf;
    m_kdfRounds = header.kdfRounds;
    m_encryptedData = header.encryptedData;
    m_formatVersion = header.version;
    m_hmac = header.hmac;
    m_hmacKeySalt = header.hmacKeySalt;
    m_filePath = loadedPath;
    m_modified = true;
    m_modifiedAtLock = false;
    m_open = true;
    return true;
}

bool PasswordDatabase::lock()
{
    if (m_locked)
        return false;
    QByteArray iv, ciphertext, mac;
    if (!encryptTree(iv, ciphertext, mac))
        return false;

    m_modifiedAtLock = m_modified;
    m_cipherIv = iv;
    wipe(m_encryptedData);
    m_encryptedData = ciphertext;
    m_hmac = mac;
    m_formatVersion = CurrentDatabaseFormatVersion;
    deleteGroups();
    wipeKey(m_cipherKey);
    wipeKey(m_hmacKey);
    m_locked = true;
    return true;
}
