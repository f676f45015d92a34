// The database file: a JSON envelope with a readable header and the
// encrypted tree, written by save(), read by load(); and lock(), which keeps
// the encrypted tree in memory instead.

#include "app/database/PasswordDatabase.h"

#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/StrictJsonDocument.h"
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
#include <QPair>
#include <QVector>
#include <QJsonObject>
#include <QMessageAuthenticationCode>

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

namespace {

const int HmacLength = 48; // Keccak-384

// The envelope is one flat object; a little room for members another
// writer nests.
constexpr int EnvelopeMaxDepth = 8;

QString fileError(const char* text)
{
    return QCoreApplication::translate("PasswordDatabase", text);
}

// How deeply the groups of `db` are nested (a top-level group is level 1),
// counted no further than one level beyond `limit`.
int groupDepth(const PasswordDatabase& db, int limit)
{
    QVector<QPair<const PasswordDatabase::Group*, int>> pending;
    for (const PasswordDatabase::Group* group : db.getItems())
        pending.append({ group, 1 });
    int deepest = 0;
    while (!pending.isEmpty()) {
        const auto level = pending.takeLast();
        deepest = qMax(deepest, level.second);
        if (deepest > limit)
            break;
        for (const PasswordDatabase::Item* child : level.first->getItems()) {
            if (child->isGroup())
                pending.append({ static_cast<const PasswordDatabase::Group*>(child), level.second + 1 });
        }
    }
    return deepest;
}

QString tooLarge(qint64 size)
{
    // What load() would refuse is never written in place of a file it reads.
    return fileError("The database is too large to be saved: its file would take %1 MiB, "
                     "where at most %2 MiB can be read back.")
        .arg((size + 1048575) / 1048576)
        .arg(PasswordDatabase::MaxFileSize / 1048576);
}

// Standard Base64 with padding of `bytes`, written to `out`, which has room
// for (size + 2) / 3 * 4 characters.
void encodeBase64(const QByteArray& bytes, char* out)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    const int size = bytes.size();
    int i = 0;
    for (; i + 2 < size; i += 3) {
        const quint32 n = quint32(in[i]) << 16 | quint32(in[i + 1]) << 8 | in[i + 2];
        *out++ = alphabet[n >> 18];
        *out++ = alphabet[(n >> 12) & 63];
        *out++ = alphabet[(n >> 6) & 63];
        *out++ = alphabet[n & 63];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const quint32 n = quint32(in[i]) << 16 | (two ? quint32(in[i + 1]) << 8 : 0);
        *out++ = alphabet[n >> 18];
        *out++ = alphabet[(n >> 12) & 63];
        *out++ = two ? alphabet[(n >> 6) & 63] : '=';
        *out++ = '=';
    }
}

bool isAscii(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    unsigned char any = 0;
    for (int i = 0; i < bytes.size(); ++i)
        any |= static_cast<unsigned char>(data[i]);
    return any < 0x80;
}

QString base64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

QByteArray latin1Of(const QJsonValue& value)
{
    return value.toString().toLatin1();
}

QByteArray latin1Of(const StrictJsonDocument::Value& value)
{
    return value.latin1View();
}

template <class Value>
bool decodeBase64(const Value& value, QByteArray& bytes)
{
    return value.isString() && decodeStrictBase64(latin1Of(value), bytes);
}

struct Header {
    QString type;
    QString name;
    QString note;
    int cipher = 0;
    int kdf = 0;
    int kdfRounds = 0;
    int kdfMemoryKib = 0;
    int kdfParallelism = 0;
    int version = 0;
    QByteArray cipherKeySalt;
    QByteArray cipherIv;
    QByteArray hmacKeySalt;
    QByteArray kdfSalt;
    QByteArray hmac;
    QByteArray encryptedData;
};

enum class HeaderResult { Ok, Invalid, NewerVersion };

// A whole JSON number in [minimum, INT_MAX].
template <class Value>
bool readWholeNumber(const Value& value, int minimum, int& number)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!(d >= minimum && d <= std::numeric_limits<int>::max()) || std::floor(d) != d)
        return false;
    number = static_cast<int>(d);
    return true;
}

// Salts longer than this are no salt the program wrote.
constexpr int MaxKdfSaltLength = 1024;

// Written once for the toolkit's QJsonObject and StrictJsonDocument::Object.
template <class Object>
HeaderResult readHeader(const Object& root, Header& header)
{
    const auto versionValue = root.value(QLatin1String("version"));
    if (versionValue.isUndefined())
        return HeaderResult::Invalid;
    const double version = versionValue.isDouble() ? versionValue.toDouble() : 0.0;
    if (version > CurrentDatabaseFormatVersion)
        return HeaderResult::NewerVersion;
    if (version < 1 || std::floor(version) != version)
        return HeaderResult::Invalid;
    header.version = static_cast<int>(version);
    const bool format4 = header.version >= 4;

    using Value = decltype(versionValue);
    auto member = [&root](const char* key, std::remove_const_t<Value>& value) {
        value = root.value(QLatin1String(key));
        return !value.isUndefined();
    };

    std::remove_const_t<Value> value;
    // The label is ignored before version 4; from version 4 on the HMAC
    // covers it, so it is kept as read.
    if (format4) {
        if (!member("type", value) || !value.isString())
            return HeaderResult::Invalid;
        header.type = value.toString();
    }
    if (!member("name", value) || !value.isString())
        return HeaderResult::Invalid;
    header.name = value.toString();
    if (!member("note", value) || !value.isString())
        return HeaderResult::Invalid;
    header.note = value.toString();
    if (!member("cipher", value) || !value.isString())
        return HeaderResult::Invalid;
    header.cipher = cipherId(value.toString());
    if (!format4 && (!member("cipher_key_salt", value) || !decodeBase64(value, header.cipherKeySalt)))
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
    if (!member("kdf_rounds", value) || !readWholeNumber(value, 1, header.kdfRounds))
        return HeaderResult::Invalid;
    if (!member("database", value) || !decodeBase64(value, header.encryptedData))
        return HeaderResult::Invalid;
    if (!member("hmac", value) || !decodeBase64(value, header.hmac))
        return HeaderResult::Invalid;
    if (!format4)
        return member("hmac_key_salt", value) && decodeBase64(value, header.hmacKeySalt)
            ? HeaderResult::Ok
            : HeaderResult::Invalid;

    // Version 4: one salt, and the Argon2 memory and lanes exactly when the
    // function is Argon2, so that what the HMAC covers has one reading.
    if (!member("kdf_salt", value) || !decodeBase64(value, header.kdfSalt)
        || header.kdfSalt.size() < DatabaseMinKdfSaltLength || header.kdfSalt.size() > MaxKdfSaltLength)
        return HeaderResult::Invalid;
    const bool hasMemory = member("kdf_memory_kib", value);
    if (hasMemory && !readWholeNumber(value, 1, header.kdfMemoryKib))
        return HeaderResult::Invalid;
    const bool hasParallelism = member("kdf_parallelism", value);
    if (hasParallelism && !readWholeNumber(value, 1, header.kdfParallelism))
        return HeaderResult::Invalid;
    const bool argon2 = header.kdf == BKdfId::Argon2;
    if (header.kdf != 0 && (hasMemory != argon2 || hasParallelism != argon2))
        return HeaderResult::Invalid;
    if (header.hmac.size() != HmacLength)
        return HeaderResult::Invalid;
    return HeaderResult::Ok;
}

} // namespace

bool PasswordDatabase::hasKeys() const
{
    const int keySize = cipherKeySize(m_cipher);
    return keySize > 0 && m_cipherKey.size() == keySize && !m_hmacKey.isEmpty();
}

QByteArray PasswordDatabase::authenticatedHeader(const QString& typeText, const QByteArray& iv) const
{
    if (isLegacyFormat())
        return QByteArray();
    DatabaseHeaderFields fields;
    fields.type = typeText;
    fields.version = m_fileFormatVersion;
    fields.name = m_name;
    fields.note = m_note;
    fields.cipher = cipherName(m_cipher);
    fields.cipherIv = iv;
    fields.kdf = kdfName(m_kdf);
    fields.kdfRounds = m_kdfRounds;
    if (m_kdf == BKdfId::Argon2) {
        fields.kdfMemoryKib = m_kdfMemoryKib;
        fields.kdfParallelism = m_kdfParallelism;
    }
    fields.kdfSalt = m_kdfSalt;
    return headerAuthenticationData(fields);
}

QByteArray PasswordDatabase::payloadMac(const QString& typeText, const QByteArray& iv,
                                        const QByteArray& ciphertext, const QByteArray& hmacKey) const
{
    QByteArray mac;
    if (isLegacyFormat()) {
        hmac(BHashId::SHA3_384, ciphertext, hmacKey, mac);
        return mac;
    }
    // Fed in two parts: the ciphertext is not copied behind the header.
    QMessageAuthenticationCode code(hashAlgorithm(BHashId::SHA3_384), hmacKey);
    code.addData(authenticatedHeader(typeText, iv));
    code.addData(ciphertext);
    return code.result();
}

bool PasswordDatabase::encryptTree(const QString& typeText, QByteArray& iv, QByteArray& ciphertext,
                                   QByteArray& mac) const
{
    if (!hasKeys())
        return false;
    // One buffer holds what the HMAC covers: the header fields (from
    // version 4 on), then the tree's text, which is serialised straight in
    // as UTF-8 and encrypted where it lies. The plaintext is thus never
    // held twice, and no copy of it outlives this function.
    iv = randomBytes(cipherBlockSize(m_cipher));
    QByteArray sealed = authenticatedHeader(typeText, iv);
    const int offset = sealed.size();
    if (!appendSerialisedTree(*this, sealed))
        return false;
    if (!symmetricCtrProcessInPlace(m_cipher, m_cipherKey, iv, sealed.data() + offset, sealed.size() - offset)) {
        wipe(sealed);
        return false;
    }
    hmac(BHashId::SHA3_384, sealed, m_hmacKey, mac);
    // Moved down in place: the ciphertext keeps the buffer.
    sealed.remove(0, offset);
    ciphertext = sealed;
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
    const QString typeText = databaseTypeText();
    // The reader follows groups only so deep; a file it would refuse is
    // never written.
    if (groupDepth(*this, MaxGroupDepth) > MaxGroupDepth)
        return fail(fileError("The database cannot be saved: its groups are nested more than %1 levels deep.")
                        .arg(MaxGroupDepth));
    QByteArray iv, ciphertext, mac;
    if (!encryptTree(typeText, iv, ciphertext, mac))
        return fail(fileError("The database could not be encrypted."));

    QJsonObject root;
    root.insert(QLatin1String("cipher"), cipherName(m_cipher));
    root.insert(QLatin1String("cipher_iv"), base64(iv));
    // The encrypted tree is spliced into the text below: as a JSON string
    // member it would be held again as UTF-16, twice its size.
    root.insert(QLatin1String("database"), QString());
    root.insert(QLatin1String("hmac"), base64(mac));
    root.insert(QLatin1String("kdf"), kdfName(m_kdf));
    root.insert(QLatin1String("kdf_rounds"), m_kdfRounds);
    root.insert(QLatin1String("name"), m_name);
    root.insert(QLatin1String("note"), m_note);
    root.insert(QLatin1String("type"), typeText);
    if (isLegacyFormat()) {
        root.insert(QLatin1String("cipher_key_salt"), base64(m_cipherKeySalt));
        root.insert(QLatin1String("hmac_key_salt"), base64(m_hmacKeySalt));
        root.insert(QLatin1String("version"), LegacyDatabaseFormatVersion);
    } else {
        root.insert(QLatin1String("kdf_salt"), base64(m_kdfSalt));
        if (m_kdf == BKdfId::Argon2) {
            root.insert(QLatin1String("kdf_memory_kib"), m_kdfMemoryKib);
            root.insert(QLatin1String("kdf_parallelism"), m_kdfParallelism);
        }
        root.insert(QLatin1String("version"), m_fileFormatVersion);
    }
    QByteArray text;
    {
        // Texts are escaped in the indented form, so this line is the member.
        const QByteArray envelope = QJsonDocument(root).toJson(QJsonDocument::Indented);
        static const QByteArray member = QByteArrayLiteral("\n    \"database\": \"\"");
        const int at = envelope.indexOf(member);
        if (at < 0)
            return fail(fileError("The database could not be encrypted."));
        const int split = at + member.size() - 1;
        const qint64 encodedSize = (qint64(ciphertext.size()) + 2) / 3 * 4;
        if (envelope.size() + encodedSize > MaxFileSize)
            return fail(tooLarge(envelope.size() + encodedSize));
        // The Base64 text is written once, into the file's bytes.
        text.resize(envelope.size() + int(encodedSize));
        char* out = text.data();
        std::memcpy(out, envelope.constData(), size_t(split));
        encodeBase64(ciphertext, out + split);
        ciphertext = QByteArray();
        std::memcpy(out + split + encodedSize, envelope.constData() + split, size_t(envelope.size() - split));
    }
    // Another program writing the same file is waited for; this process's
    // own lock (a read-change-save in progress) is shared.
    BFileLock lock;
    if (!lock.lock(path, FileLockWaitMs, reason) || !writeFileAtomically(path, text, mode, reason))
        return fail(reason);

    const QString savedPath = path; // path may share storage with m_filePath
    wipe(m_filePath);
    m_filePath = savedPath;
    m_typeText = typeText;
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
    return document.isObject() && type.isString() && type.toString() == databaseTypeText();
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
    return loadBytes(loadedPath, text, controller);
}

bool PasswordDatabase::loadBytes(const QString& path, QByteArray text, BTaskController* controller)
{
    const QString loadedPath = path;
    auto fail = [controller](const QString& text) {
        if (controller && !text.isEmpty())
            controller->setErrorMessage(text);
        return false;
    };
    if (text.isEmpty())
        return fail(fileError("The file \"%1\" is empty: it holds no password database.").arg(loadedPath));

    Header header;
    HeaderResult read = HeaderResult::Invalid;
    {
        // An envelope as this program writes it is read straight from the
        // bytes, its long Base64 member decoded where it lies.
        StrictJsonDocument strict;
        if (strict.parse(text.constData(), text.size(), EnvelopeMaxDepth)) {
            read = readHeader(strict.object(), header);
            if (read != HeaderResult::Ok)
                header = Header();
        }
    }
    if (read != HeaderResult::Ok) {
        // Anything else the toolkit's reader decides, as it always did.
        // The file is UTF-8 text: bytes that are not valid UTF-8 (in a note
        // written by another tool, say) read as replacement characters
        // rather than making the whole file unreadable.
        QJsonDocument document;
        try {
            // Plain ASCII, the usual case, needs no such repair (nor its copies).
            document = QJsonDocument::fromJson(isAscii(text) ? text : QString::fromUtf8(text).toUtf8());
        } catch (const std::bad_alloc&) {
            return fail(fileError("There is not enough memory to read the file \"%1\".").arg(loadedPath));
        }
        text.clear();
        if (!document.isObject())
            return false;
        read = readHeader(document.object(), header);
    }
    text.clear();
    switch (read) {
    case HeaderResult::Ok:
        break;
    case HeaderResult::NewerVersion:
        return fail(fileError("File is from a newer version of the program and can not be loaded."));
    case HeaderResult::Invalid:
        return false;
    }

    // Only a complete header replaces what the database held.
    clear();
    m_typeText = header.type;
    m_name = header.name;
    m_note = header.note;
    m_cipher = header.cipher;
    m_cipherKeySalt = header.cipherKeySalt;
    m_kdfSalt = header.kdfSalt;
    m_kdfMemoryKib = header.kdfMemoryKib;
    m_kdfParallelism = header.kdfParallelism;
    m_fileFormatVersion = qMax(header.version, LegacyDatabaseFormatVersion);
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

bool PasswordDatabase::lock(const QByteArray& pendingEdit)
{
    if (m_locked)
        return false;
    QByteArray iv, ciphertext, mac;
    if (!encryptTree(m_typeText, iv, ciphertext, mac))
        return false;
    if (!pendingEdit.isEmpty()) {
        // Authenticated with its IV, so that neither can be swapped for
        // another lock's.
        QByteArray editIv = randomBytes(cipherBlockSize(m_cipher));
        QByteArray editCiphertext;
        symmetricCtrProcess(m_cipher, m_cipherKey, editIv, pendingEdit, editCiphertext);
        QByteArray editMac;
        hmac(BHashId::SHA3_384, editIv + editCiphertext, m_hmacKey, editMac);
        if (editCiphertext.size() != pendingEdit.size() || editMac.size() != HmacLength)
            return false;
        m_pendingEditIv = editIv;
        m_pendingEdit = editCiphertext;
        m_pendingEditHmac = editMac;
    }

    m_modifiedAtLock = m_modified;
    m_cipherIv = iv;
    wipe(m_encryptedData);
    m_encryptedData = ciphertext;
    m_hmac = mac;
    // The tree was just written in the layout of the vault's own version.
    m_formatVersion = m_fileFormatVersion;
    deleteGroups();
    wipeKey(m_cipherKey);
    wipeKey(m_hmacKey);
    m_locked = true;
    return true;
}

QByteArray PasswordDatabase::takePendingEdit()
{
    QByteArray plaintext;
    if (m_pendingEdit.isEmpty() || m_locked || !hasKeys())
        return plaintext;
    QByteArray mac;
    hmac(BHashId::SHA3_384, m_pendingEditIv + m_pendingEdit, m_hmacKey, mac);
    if (mac.size() == HmacLength && mac == m_pendingEditHmac)
        symmetricCtrProcess(m_cipher, m_cipherKey, m_pendingEditIv, m_pendingEdit, plaintext);
    wipe(m_pendingEditIv);
    wipe(m_pendingEdit);
    wipe(m_pendingEditHmac);
    return plaintext;
}
