#ifndef PASSWORDDATABASEFORMAT_H
#define PASSWORDDATABASEFORMAT_H

#include "app/database/PasswordDatabase.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// The plaintext form of a database's tree: the JSON that the file format and
// locking encrypt. Version 3 is written; versions 1 to 3 are read.

// The newest file format version, written for new vaults, and the version
// written for vaults read as versions 1 to 3.
constexpr int CurrentDatabaseFormatVersion = 4;
constexpr int LegacyDatabaseFormatVersion = 3;

// The "type" text of every file written.
QString databaseTypeText();

// The header fields a version 4 HMAC covers, as they stand in the file.
// Absent numbers (the Argon2 memory and lanes of a PBKDF2 vault) are 0.
struct DatabaseHeaderFields {
    QString type;
    int version = 4;
    QString name;
    QString note;
    QString cipher;
    QByteArray cipherIv;
    QString kdf;
    qint64 kdfRounds = 0;
    qint64 kdfMemoryKib = 0;
    qint64 kdfParallelism = 0;
    QByteArray kdfSalt;
};

// The authenticated data A of a version 4 file: "LHDB4", then for "type",
// "version", "name", "note", "cipher", "cipher_iv", "kdf", "kdf_rounds",
// "kdf_memory_kib", "kdf_parallelism" and "kdf_salt" in this order a 4-byte
// big-endian length and the bytes (UTF-8 of a text, decimal digits of a
// number, the decoded bytes of the IV and salt, nothing for an absent
// member). The HMAC is taken over A followed by the ciphertext.
QByteArray headerAuthenticationData(const DatabaseHeaderFields& fields);

// The tree as one JSON object {"groups": [...]}, group and password objects
// as in the file. For a version 4 vault every item also carries "uuid",
// "created" and "modified", and the root a "deleted" list of the deletions
// of the last PasswordDatabase::DeletionMemoryDays days. Empty (no "groups") when groups are nested deeper than
// PasswordDatabase::MaxGroupDepth.
QJsonObject treeToJson(const PasswordDatabase& db);

// The tree as padded JSON text:
//   {"paddingStart": "<hex>", "groups":[...], "paddingEnd": "<hex>"}
// with two independent random paddings of up to a fifth of the body's length.
// Returns a null string when groups are nested deeper than
// PasswordDatabase::MaxGroupDepth (the reader would refuse the text).
QString serialiseTree(const PasswordDatabase& db);
// The same text as UTF-8, appended to `out` (which is grown once, to its
// final size). False, with `out` unchanged, when serialiseTree() would give
// a null string.
bool appendSerialisedTree(const PasswordDatabase& db, QByteArray& out);

// Builds the groups described by a decrypted plaintext and appends them to
// the database with addItem(). All or nothing: on failure (text not a JSON
// object, no "groups", an entry missing a required member or of the wrong
// type, groups nested too deeply) false is returned and the database is not
// touched.
bool parseTree(PasswordDatabase& db, const QString& text, int formatVersion);

// How deeply a tree text's values may nest for the fast reader: root,
// "groups", then an object and an "items" array per group level, a password
// and its attachment.
constexpr int TreeTextMaxDepth = 2 * PasswordDatabase::MaxGroupDepth + 4;

enum class TreeTextResult {
    Read,
    NotAnObject, // not JSON, or not an object
    TooDeep,     // groups nested more deeply than the reader follows
    Unloadable   // an object, but not a tree this program can build
};

// Reads a decrypted tree text (UTF-8). On success the new, detached groups
// are appended to `groups` and belong to the caller, and `deletions` holds
// the version 4 "deleted" list (empty before version 4); on failure neither
// is changed and nothing is left allocated. Texts as this program writes
// them are read straight from the bytes; anything else goes through the
// toolkit's JSON reader, which has the last word on what reads.
TreeTextResult readTreeText(const QByteArray& text, int formatVersion, QList<PasswordDatabase::Group*>& groups,
                            QList<PasswordDatabase::Deletion>& deletions);

// The same from an already parsed root object: on success the new, detached
// groups are appended to `groups` and belong to the caller; on failure
// `groups` is unchanged and nothing is left allocated.
bool parseTreeGroups(const QJsonObject& root, int formatVersion,
                     QList<PasswordDatabase::Group*>& groups);

// The "deleted" list of a version 4 root object: {"uuid", "deleted"}
// objects, malformed ones skipped. Empty when there is none.
QList<PasswordDatabase::Deletion> parseDeletions(const QJsonObject& root);

// The "created", "modified" and "deleted" times of version 4:
// "yyyy-MM-ddTHH:mm:ssZ" in UTC. parseStampTime() gives an invalid time for
// any other text.
QString formatStampTime(const QDateTime& time);
QDateTime parseStampTime(const QString& text);

// How deeply the group objects under the root's "groups" are nested: 1 when
// there are only top-level groups, 0 when there are none. Counted without
// recursion and only up to `limit` + 1, so that any text is measured in
// bounded time and stack.
int groupNestingDepth(const QJsonObject& root, int limit = PasswordDatabase::MaxGroupDepth);

// Decodes standard Base64 with padding and nothing else: no line breaks, no
// missing or surplus padding, no stray bits. False (bytes untouched) for
// anything else.
bool decodeStrictBase64(const QByteArray& text, QByteArray& bytes);

// The "expire_time" text: the instant in UTC as
// "Tue Mar 5 07:08:09 2024 GMT" (English names whatever the locale; seconds
// precision). Empty for an invalid time.
QString formatExpireTime(const QDateTime& time);
// Reads formatExpireTime() text, English names in any letter case, with or
// without the day name and with an optional "GMT"/"UTC" suffix (and offset);
// without a suffix the time is local. Falls back to the toolkit's text date
// form in the system's language, which older writers used. A time with a
// suffix comes back in UTC (Qt::UTC), one without in local time; an invalid
// QDateTime when the text cannot be read.
QDateTime parseExpireTime(const QString& text);

#endif // PASSWORDDATABASEFORMAT_H
