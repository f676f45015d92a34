#include "app/database/PasswordDatabaseFormat.h"

#include "app/database/StrictJsonDocument.h"
#include "app/database/TreeJsonWriter.h"
#include "blib/app/BAppInfo.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QJsonDocument>
#include <QJsonValue>
#include <QPair>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <cstring>
#include <limits>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

namespace {

// ---------------------------------------------------------------------------
// Writing

// "uuid", "created" and "modified" of a version 4 item.
void stampsToJson(const Item& item, QJsonObject& object)
{
    object.insert(QLatin1String("uuid"), item.getUuid());
    object.insert(QLatin1String("created"), formatStampTime(item.getCreated()));
    object.insert(QLatin1String("modified"), formatStampTime(item.getModifiedTime()));
}

QJsonObject passwordToJson(const Password& password, bool stamps)
{
    QJsonObject object;
    if (stamps)
        stampsToJson(password, object);
    const Password::Attachment& attachment = password.getAttachment();
    if (attachment.isValid()) {
        QJsonObject file;
        file.insert(QLatin1String("data"), attachment.getData());
        file.insert(QLatin1String("data_hash"), attachment.getDataHash());
        file.insert(QLatin1String("file_name"), attachment.getFileName());
        object.insert(QLatin1String("attachment"), file);
    }
    object.insert(QLatin1String("email_address"), password.getEmailAddress());
    object.insert(QLatin1String("expire_time"), formatExpireTime(password.getExpireTime()));
    object.insert(QLatin1String("flags"), password.getFlags());
    object.insert(QLatin1String("gui_state"), password.getGuiState());
    object.insert(QLatin1String("icon"), password.getIconId());
    object.insert(QLatin1String("name"), password.getName());
    object.insert(QLatin1String("never_expire"), password.isNeverExpire());
    object.insert(QLatin1String("note"), password.getNote());
    object.insert(QLatin1String("password"), password.getPassword());
    object.insert(QLatin1String("phone_number"), password.getPhoneNumber());
    object.insert(QLatin1String("tag"), password.getTag());
    object.insert(QLatin1String("type"), int(PasswordDatabase::PasswordType));
    object.insert(QLatin1String("url"), password.getUrl());
    object.insert(QLatin1String("username"), password.getUsername());
    return object;
}

// depth: 1 for a top-level group.
bool groupToJson(const Group& group, int depth, bool stamps, QJsonObject& object)
{
    if (depth > PasswordDatabase::MaxGroupDepth)
        return false;
    QJsonArray items;
    for (const Item* child : group.getItems()) {
        if (child->isGroup()) {
            QJsonObject childObject;
            if (!groupToJson(*static_cast<const Group*>(child), depth + 1, stamps, childObject))
                return false;
            items.append(childObject);
        } else {
            items.append(passwordToJson(*static_cast<const Password*>(child), stamps));
        }
    }
    if (stamps)
        stampsToJson(group, object);
    object.insert(QLatin1String("flags"), group.getFlags());
    object.insert(QLatin1String("gui_state"), group.getGuiState());
    object.insert(QLatin1String("icon"), group.getIconId());
    object.insert(QLatin1String("items"), items);
    object.insert(QLatin1String("name"), group.getName());
    object.insert(QLatin1String("note"), group.getNote());
    object.insert(QLatin1String("tag"), group.getTag());
    object.insert(QLatin1String("type"), int(PasswordDatabase::GroupType));
    return true;
}

// ---------------------------------------------------------------------------
// Reading
//
// Each reader is written once for both object types: the toolkit's
// QJsonObject and StrictJsonDocument::Object, which offer the same calls.

template <class Object>
bool readString(const Object& object, QLatin1String key, QString& value)
{
    const auto member = object.value(key);
    if (!member.isString())
        return false;
    value = member.toString();
    return true;
}

// A JSON number that is a whole value in the range of int.
template <class Value>
bool jsonToInt(const Value& json, int& value)
{
    if (!json.isDouble())
        return false;
    const double number = json.toDouble();
    if (!(number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max())
        || std::floor(number) != number)
        return false;
    value = static_cast<int>(number);
    return true;
}

template <class Object>
bool readInt(const Object& object, QLatin1String key, int& value)
{
    return jsonToInt(object.value(key), value);
}

template <class Object>
bool readBool(const Object& object, QLatin1String key, bool& value)
{
    const auto member = object.value(key);
    if (!member.isBool())
        return false;
    value = member.toBool();
    return true;
}

// The optional "uuid", "created" and "modified" of a version 4 item; a
// member that is missing or malformed keeps the item's own value.
template <class Object>
void readStamps(const Object& object, Item& item)
{
    const QString uuid = object.value(QLatin1String("uuid")).toString();
    if (Item::isValidUuid(uuid))
        item.setUuid(uuid);
    const QDateTime created = parseStampTime(object.value(QLatin1String("created")).toString());
    if (created.isValid())
        item.setCreated(created);
    const QDateTime modified = parseStampTime(object.value(QLatin1String("modified")).toString());
    if (modified.isValid())
        item.setModifiedTime(modified);
}

// name, note, tag, flags and (from version 3) gui_state. Before version 3
// "flags" held what is now the gui state.
template <class Object>
bool readCommon(const Object& object, int version, Item& item)
{
    QString name, note;
    int tag = 0, flags = 0, guiState = 0;
    if (!readString(object, QLatin1String("name"), name)
        || !readString(object, QLatin1String("note"), note)
        || !readInt(object, QLatin1String("tag"), tag)
        || !readInt(object, QLatin1String("flags"), flags))
        return false;
    if (version >= 3) {
        if (!readInt(object, QLatin1String("gui_state"), guiState))
            return false;
    } else {
        guiState = flags;
        flags = 0;
    }
    item.setName(name);
    item.setNote(note);
    item.setTag(tag);
    item.setFlags(flags);
    item.setGuiState(guiState);
    if (version >= 4)
        readStamps(object, item);
    return true;
}

// "file_name", "data" and "data_hash", each empty when missing. An
// attachment that is not an object, or a member that is not text, fails the
// read rather than losing the file.
template <class Value>
bool readAttachment(const Value& value, Password::Attachment& attachment)
{
    if (!value.isObject())
        return false;
    const auto file = value.toObject();
    QString texts[3];
    const char* const keys[3] = { "file_name", "data", "data_hash" };
    for (int i = 0; i < 3; ++i) {
        const auto member = file.value(QLatin1String(keys[i]));
        if (member.isUndefined())
            continue;
        if (!member.isString()) {
            wipe(texts[0]);
            wipe(texts[1]);
            return false;
        }
        texts[i] = member.toString();
    }
    attachment.setFileName(texts[0]);
    attachment.setData(texts[1]);
    attachment.setDataHash(texts[2]);
    wipe(texts[0]);
    wipe(texts[1]);
    return true;
}

template <class Object>
bool readPassword(const Object& object, int version, Password& password)
{
    if (!readCommon(object, version, password))
        return false;
    QString icon, username, emailAddress, phoneNumber, secret, url, expireTime;
    bool neverExpire = true;
    bool ok = readString(object, QLatin1String("icon"), icon)
        && readString(object, QLatin1String("username"), username);
    if (ok && version >= 2) {
        ok = readString(object, QLatin1String("email_address"), emailAddress)
            && readString(object, QLatin1String("phone_number"), phoneNumber);
    }
    ok = ok && readString(object, QLatin1String("password"), secret)
        && readString(object, QLatin1String("url"), url)
        && readBool(object, QLatin1String("never_expire"), neverExpire)
        && readString(object, QLatin1String("expire_time"), expireTime);
    if (ok) {
        password.setIconId(icon);
        password.setUsername(username);
        password.setEmailAddress(emailAddress);
        password.setPhoneNumber(phoneNumber);
        password.setPassword(secret);
        password.setUrl(url);
        password.setNeverExpire(neverExpire);
        password.setExpireTime(parseExpireTime(expireTime));

        const auto file = object.value(QLatin1String("attachment"));
        if (!file.isUndefined()) {
            Password::Attachment attachment;
            ok = readAttachment(file, attachment);
            if (ok)
                password.setAttachment(attachment);
        }
    }
    if (!ok) {
        // Texts handed to the password are wiped by it; these were not.
        wipe(username);
        wipe(emailAddress);
        wipe(phoneNumber);
        wipe(secret);
        wipe(url);
    }
    return ok;
}

// depth: 1 for a top-level group. On failure the group may hold some
// children; the caller destroys it with them.
template <class Object>
bool readGroup(const Object& object, int version, int depth, Group& group)
{
    if (depth > PasswordDatabase::MaxGroupDepth)
        return false;
    QString icon;
    if (!readCommon(object, version, group) || !readString(object, QLatin1String("icon"), icon))
        return false;
    group.setIconId(icon);

    // Everything in "items" is read or the whole tree is refused: what was
    // dropped here would be gone from the file at the next save.
    const auto itemsValue = object.value(QLatin1String("items"));
    if (!itemsValue.isArray())
        return false;
    const auto items = itemsValue.toArray();
    for (const auto value : items) {
        if (!value.isObject())
            return false;
        const auto child = value.toObject();
        int type = 0;
        if (!readInt(child, QLatin1String("type"), type))
            return false;
        if (type == PasswordDatabase::GroupType) {
            Group* subgroup = new Group;
            if (!readGroup(child, version, depth + 1, *subgroup)) {
                delete subgroup;
                return false;
            }
            group.addItem(subgroup);
        } else if (type == PasswordDatabase::PasswordType) {
            Password* password = new Password(QDateTime()); // the time is read below
            if (!readPassword(child, version, *password)) {
                delete password;
                return false;
            }
            group.addItem(password);
        }
        // An item of a type this program does not know is skipped.
    }
    return true;
}

template <class Object>
bool readTreeGroups(const Object& root, int formatVersion, QList<Group*>& groups)
{
    const Item::StampFreeze freeze;
    const auto array = root.value(QLatin1String("groups"));
    if (!array.isArray())
        return false;
    QList<Group*> built;
    for (const auto value : array.toArray()) {
        if (!value.isObject()) {
            qDeleteAll(built);
            return false;
        }
        Group* group = new Group;
        if (!readGroup(value.toObject(), formatVersion, 1, *group)) {
            delete group;
            qDeleteAll(built);
            return false;
        }
        built.append(group);
    }
    groups += built;
    return true;
}

template <class Object>
QList<PasswordDatabase::Deletion> readDeletions(const Object& root)
{
    QList<PasswordDatabase::Deletion> deletions;
    const auto array = root.value(QLatin1String("deleted")).toArray();
    for (const auto value : array) {
        const auto object = value.toObject();
        const QString uuid = object.value(QLatin1String("uuid")).toString();
        const QDateTime deleted = parseStampTime(object.value(QLatin1String("deleted")).toString());
        if (Item::isValidUuid(uuid) && deleted.isValid())
            deletions.append({ uuid, deleted });
    }
    return deletions;
}

// ---------------------------------------------------------------------------
// Expiry times

const char* const DayNames[7] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
const char* const MonthNames[12] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

// 1-12 for an English month name or abbreviation ("Mar", "march", "Mar."),
// 0 otherwise.
int englishMonth(QString token)
{
    if (token.endsWith(QLatin1Char('.')))
        token.chop(1);
    if (token.size() < 3)
        return 0;
    for (const QChar c : qAsConst(token)) {
        if (c.unicode() > 127 || !c.isLetter())
            return 0;
    }
    const QString prefix = token.left(3);
    for (int i = 0; i < 12; ++i) {
        if (prefix.compare(QLatin1String(MonthNames[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

bool parseNumber(const QString& text, int& value)
{
    if (text.isEmpty())
        return false;
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

// "hh:mm", "hh:mm:ss" or "hh:mm:ss.zzz".
QTime parseClock(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return QTime();
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!parseNumber(parts[0], hour) || !parseNumber(parts[1], minute))
        return QTime();
    if (parts.size() == 3) {
        const QStringList secondParts = parts[2].split(QLatin1Char('.'));
        if (secondParts.size() > 2 || !parseNumber(secondParts[0], second))
            return QTime();
        if (secondParts.size() == 2) {
            const QString fraction = secondParts[1].left(3).leftJustified(3, QLatin1Char('0'));
            if (!parseNumber(fraction, millisecond) || millisecond < 0)
                return QTime();
        }
    }
    if (hour < 0 || minute < 0 || second < 0)
        return QTime();
    return QTime(hour, minute, second, millisecond);
}

// "GMT", "UTC", optionally followed by an offset "+hhmm" or "+hh:mm".
bool parseZone(const QString& text, int& offsetSeconds)
{
    if (!text.startsWith(QLatin1String("GMT"), Qt::CaseInsensitive)
        && !text.startsWith(QLatin1String("UTC"), Qt::CaseInsensitive))
        return false;
    QString offset = text.mid(3);
    offsetSeconds = 0;
    if (offset.isEmpty())
        return true;
    const QChar sign = offset.at(0);
    if (sign != QLatin1Char('+') && sign != QLatin1Char('-'))
        return false;
    offset.remove(0, 1);
    offset.remove(QLatin1Char(':'));
    int hours = 0, minutes = 0;
    if (offset.size() != 4 || !parseNumber(offset.left(2), hours)
        || !parseNumber(offset.mid(2), minutes) || hours < 0 || hours > 23 || minutes < 0
        || minutes > 59)
        return false;
    offsetSeconds = (hours * 60 + minutes) * 60 * (sign == QLatin1Char('-') ? -1 : 1);
    return true;
}

QDateTime parseEnglishTextDate(const QString& text)
{
    const QStringList tokens = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // [day name] month day time year [zone]
    int index = 0;
    int month = 0;
    if (tokens.size() >= 4 && (month = englishMonth(tokens[0])) != 0) {
        index = 1;
    } else if (tokens.size() >= 5 && (month = englishMonth(tokens[1])) != 0) {
        index = 2;
    } else {
        return QDateTime();
    }
    const int remaining = tokens.size() - index;
    if (remaining != 3 && remaining != 4)
        return QDateTime();
    int day = 0, year = 0;
    if (!parseNumber(tokens[index], day) || !parseNumber(tokens[index + 2], year) || year < 1 || year > 9999)
        return QDateTime();
    const QDate date(year, month, day);
    const QTime time = parseClock(tokens[index + 1]);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    if (remaining == 3)
        return QDateTime(date, time, Qt::LocalTime);
    int offsetSeconds = 0;
    if (!parseZone(tokens[index + 3], offsetSeconds))
        return QDateTime();
    if (offsetSeconds == 0)
        return QDateTime(date, time, Qt::UTC);
    return QDateTime(date, time, Qt::OffsetFromUTC, offsetSeconds);
}

} // namespace

// ---------------------------------------------------------------------------

QString formatExpireTime(const QDateTime& time)
{
    if (!time.isValid())
        return QString();
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    return QLatin1String(DayNames[date.dayOfWeek() - 1]) + QLatin1Char(' ')
        + QLatin1String(MonthNames[date.month() - 1]) + QLatin1Char(' ')
        + QString::number(date.day()) + QLatin1Char(' ') + twoDigits(clock.hour())
        + QLatin1Char(':') + twoDigits(clock.minute()) + QLatin1Char(':')
        + twoDigits(clock.second()) + QLatin1Char(' ') + QString::number(date.year())
        + QLatin1String(" GMT");
}

QDateTime parseExpireTime(const QString& text)
{
    // Years are written with four digits. Far larger ones would overflow the
    // millisecond count behind QDateTime and come back as a different date.
    const auto plausible = [](const QDateTime& time) {
        return time.isValid() && time.date().year() >= 1 && time.date().year() <= 9999;
    };
    QDateTime time = parseEnglishTextDate(text);
    if (plausible(time))
        return time;
    // Other languages' names go to Qt's own reader, but never a number it
    // could overflow on.
    static const QRegularExpression longNumber(QStringLiteral("\\d{5,}"));
    if (text.contains(longNumber))
        return QDateTime();
    time = QDateTime::fromString(text.trimmed(), Qt::TextDate);
    return plausible(time) ? time : QDateTime();
}

int groupNestingDepth(const QJsonObject& root, int limit)
{
    // Each entry: the array of a group's items and the depth of that group.
    QVector<QPair<QJsonArray, int>> pending;
    pending.append({ root.value(QLatin1String("groups")).toArray(), 0 });
    int deepest = 0;
    while (!pending.isEmpty()) {
        const QPair<QJsonArray, int> level = pending.takeLast();
        for (const QJsonValue& value : level.first) {
            const QJsonObject object = value.toObject();
            // Top-level entries count as groups whatever their type says.
            if (level.second > 0 && object.value(QLatin1String("type")).toInt() != PasswordDatabase::GroupType)
                continue;
            const int depth = level.second + 1;
            deepest = qMax(deepest, depth);
            if (deepest > limit)
                return deepest;
            pending.append({ object.value(QLatin1String("items")).toArray(), depth });
        }
    }
    return deepest;
}

bool decodeStrictBase64(const QByteArray& text, QByteArray& bytes)
{
    const int size = text.size();
    if (size % 4 != 0)
        return false;
    // Padding only at the end; every other character is of the alphabet
    // (else the decoder aborts), so each whole group of four reads back as
    // written and only the last group can hold stray bits.
    const int padding = size >= 2 && text.at(size - 2) == '=' ? 2 : size >= 1 && text.at(size - 1) == '=' ? 1 : 0;
    if (std::memchr(text.constData(), '=', size_t(size - padding)))
        return false;
    QByteArray::FromBase64Result result = QByteArray::fromBase64Encoding(
        text, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    const int lastGroup = size > 0 ? 3 - padding : 0;
    if (!result || result.decoded.size() != size / 4 * 3 - padding
        || result.decoded.right(lastGroup).toBase64() != text.right(size > 0 ? 4 : 0)) {
        wipe(result.decoded);
        return false;
    }
    bytes = result.decoded;
    return true;
}

QJsonObject treeToJson(const PasswordDatabase& db)
{
    const bool stamps = !db.isLegacyFormat();
    QJsonArray groups;
    for (const Group* group : db.getItems()) {
        QJsonObject object;
        if (!groupToJson(*group, 1, stamps, object))
            return QJsonObject();
        groups.append(object);
    }
    QJsonObject root;
    root.insert(QLatin1String("groups"), groups);
    if (stamps) {
        const QDateTime oldest = Item::stampNow().addDays(-PasswordDatabase::DeletionMemoryDays);
        QJsonArray deleted;
        for (const PasswordDatabase::Deletion& deletion : db.getDeletions()) {
            if (deletion.deleted < oldest)
                continue;
            QJsonObject object;
            object.insert(QLatin1String("uuid"), deletion.uuid);
            object.insert(QLatin1String("deleted"), formatStampTime(deletion.deleted));
            deleted.append(object);
        }
        if (!deleted.isEmpty())
            root.insert(QLatin1String("deleted"), deleted);
    }
    return root;
}

QString formatStampTime(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")) : QString();
}

QDateTime parseStampTime(const QString& text)
{
    if (text.size() != 20 || !text.endsWith(QLatin1Char('Z')))
        return QDateTime();
    // The form as written, read as UTC digits: the toolkit's parser below
    // works in local time, costs a time-zone look-up per call and refuses
    // a stamp that falls into a local daylight-saving gap.
    const QChar* c = text.constData();
    const auto digits = [c](int at, int count, int& value) {
        value = 0;
        for (int i = at; i < at + count; ++i) {
            if (c[i] < QLatin1Char('0') || c[i] > QLatin1Char('9'))
                return false;
            value = value * 10 + (c[i].unicode() - '0');
        }
        return true;
    };
    int year, month, day, hour, minute, second;
    if (digits(0, 4, year) && c[4] == QLatin1Char('-') && digits(5, 2, month) && c[7] == QLatin1Char('-')
        && digits(8, 2, day) && c[10] == QLatin1Char('T') && digits(11, 2, hour) && c[13] == QLatin1Char(':')
        && digits(14, 2, minute) && c[16] == QLatin1Char(':') && digits(17, 2, second) && year >= 1) {
        const QDate date(year, month, day);
        const QTime clock(hour, minute, second);
        if (date.isValid() && clock.isValid())
            return QDateTime(date, clock, Qt::UTC);
    }
    QDateTime time = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    if (!time.isValid())
        return QDateTime();
    time.setTimeSpec(Qt::UTC);
    return time;
}

QList<PasswordDatabase::Deletion> parseDeletions(const QJsonObject& root)
{
    return readDeletions(root);
}

bool appendSerialisedTree(const PasswordDatabase& db, QByteArray& out)
{
    return TreeJsonWriter::appendPaddedTree(db, out);
}

QString serialiseTree(const PasswordDatabase& db)
{
    QByteArray bytes;
    if (!appendSerialisedTree(db, bytes))
        return QString();
    QString text = QString::fromUtf8(bytes);
    wipe(bytes);
    return text;
}

bool parseTreeGroups(const QJsonObject& root, int formatVersion, QList<Group*>& groups)
{
    return readTreeGroups(root, formatVersion, groups);
}

TreeTextResult readTreeText(const QByteArray& text, int formatVersion, QList<Group*>& groups,
                            QList<PasswordDatabase::Deletion>& deletions)
{
    {
        // What this program writes is read without the toolkit's object
        // tree, straight from the text.
        StrictJsonDocument document;
        if (document.parse(text.constData(), text.size(), TreeTextMaxDepth)) {
            QList<Group*> built;
            if (readTreeGroups(document.object(), formatVersion, built)) {
                groups += built;
                deletions = formatVersion >= 4 ? readDeletions(document.object())
                                               : QList<PasswordDatabase::Deletion>();
                return TreeTextResult::Read;
            }
        }
    }
    // Whatever it declines or cannot build, the toolkit's reader decides,
    // so that any other text reads, or fails, as it always did.
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (!document.isObject())
        return parseError.error == QJsonParseError::DeepNesting ? TreeTextResult::TooDeep
                                                                : TreeTextResult::NotAnObject;
    if (!parseTreeGroups(document.object(), formatVersion, groups))
        return groupNestingDepth(document.object()) > PasswordDatabase::MaxGroupDepth
            ? TreeTextResult::TooDeep
            : TreeTextResult::Unloadable;
    deletions = formatVersion >= 4 ? parseDeletions(document.object()) : QList<PasswordDatabase::Deletion>();
    return TreeTextResult::Read;
}

bool parseTree(PasswordDatabase& db, const QString& text, int formatVersion)
{
    QByteArray bytes = text.toUtf8();
    QList<Group*> groups;
    QList<PasswordDatabase::Deletion> deletions;
    const TreeTextResult result = readTreeText(bytes, formatVersion, groups, deletions);
    wipe(bytes);
    if (result != TreeTextResult::Read)
        return false;
    const Item::StampFreeze freeze;
    for (Group* group : qAsConst(groups))
        db.addItem(group);
    if (formatVersion >= 4)
        db.setDeletions(deletions);
    return true;
}

QString databaseTypeText()
{
    return QString::fromUtf8(BAppInfo::productName) + QLatin1String(" Password Database");
}

QByteArray headerAuthenticationData(const DatabaseHeaderFields& fields)
{
    QByteArray data("LHDB4");
    auto append = [&data](const QByteArray& bytes) {
        const quint32 n = quint32(bytes.size());
        data.append(char((n >> 24) & 0xff));
        data.append(char((n >> 16) & 0xff));
        data.append(char((n >> 8) & 0xff));
        data.append(char(n & 0xff));
        data.append(bytes);
    };
    auto number = [](qint64 value, bool present) {
        return present ? QByteArray::number(value) : QByteArray();
    };
    append(fields.type.toUtf8());
    append(QByteArray::number(fields.version));
    append(fields.name.toUtf8());
    append(fields.note.toUtf8());
    append(fields.cipher.toUtf8());
    append(fields.cipherIv);
    append(fields.kdf.toUtf8());
    append(QByteArray::number(fields.kdfRounds));
    append(number(fields.kdfMemoryKib, fields.kdfMemoryKib > 0));
    append(number(fields.kdfParallelism, fields.kdfParallelism > 0));
    append(fields.kdfSalt);
    return data;
}
