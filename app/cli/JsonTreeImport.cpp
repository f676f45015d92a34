#include "app/cli/JsonTreeImport.h"

#include "app/database/PasswordDatabaseFormat.h"
#include "blib/app/BFileAccess.h"
#include "blib/crypto/BWipe.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

namespace {

const QStringList groupMembers { "flags", "gui_state", "icon", "items", "name", "note", "tag", "type" };
const QStringList passwordMembers { "email_address", "expire_time", "flags",        "gui_state", "icon",
                                    "name",          "never_expire", "note",         "password",  "phone_number",
                                    "tag",           "type",         "url",          "username" };
const QStringList attachmentMembers { "data", "data_hash", "file_name" };
// The identity and times of a version 4 tree, kept by the import.
const QStringList stampMembers { "created", "modified", "uuid" };

// What the tree reader leaves to its callers: members it does not know,
// members it would default, item types it would skip, expiry times it
// cannot read. The types of the known members are the reader's to check.
bool checkObject(const QJsonObject& object, const QStringList& required, const QStringList& optional,
                 const QString& where, QString& error)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!required.contains(it.key()) && !optional.contains(it.key())) {
            error = JsonTreeImport::tr("%1 has the unknown member \"%2\".").arg(where, it.key());
            return false;
        }
    }
    for (const QString& key : required) {
        if (!object.contains(key)) {
            error = JsonTreeImport::tr("%1 lacks the member \"%2\".").arg(where, key);
            return false;
        }
    }
    return true;
}

bool checkItem(const QJsonValue& value, int depth, const QString& where, QString& error)
{
    if (!value.isObject()) {
        error = JsonTreeImport::tr("%1 is not an object.").arg(where);
        return false;
    }
    const QJsonObject object = value.toObject();
    const QJsonValue type = object.value(QLatin1String("type"));
    if (type == QJsonValue(int(PasswordDatabase::GroupType))) {
        if (depth > PasswordDatabase::MaxGroupDepth) {
            error = JsonTreeImport::tr("%1: groups are nested more than %2 deep.")
                        .arg(where, QString::number(PasswordDatabase::MaxGroupDepth));
            return false;
        }
        if (!checkObject(object, groupMembers, stampMembers, where, error))
            return false;
        const QJsonValue items = object.value(QLatin1String("items"));
        if (!items.isArray()) {
            error = JsonTreeImport::tr("%1: \"items\" is not a list.").arg(where);
            return false;
        }
        const QJsonArray array = items.toArray();
        for (int i = 0; i < array.size(); ++i) {
            if (!checkItem(array.at(i), depth + 1, QStringLiteral("%1.items[%2]").arg(where).arg(i), error))
                return false;
        }
        return true;
    }
    if (type == QJsonValue(int(PasswordDatabase::PasswordType)) && depth > 1) {
        if (!checkObject(object, passwordMembers, stampMembers + QStringList { QStringLiteral("attachment") },
                         where, error))
            return false;
        const QJsonValue expiry = object.value(QLatin1String("expire_time"));
        if (expiry.isString() && !expiry.toString().isEmpty() && !parseExpireTime(expiry.toString()).isValid()) {
            error = JsonTreeImport::tr("%1: the expiry time \"%2\" cannot be read.").arg(where, expiry.toString());
            return false;
        }
        const QJsonValue attachment = object.value(QLatin1String("attachment"));
        if (attachment.isObject()
            && !checkObject(attachment.toObject(), attachmentMembers, {}, where + QLatin1String(".attachment"), error))
            return false;
        return true;
    }
    error = depth > 1 ? JsonTreeImport::tr("%1 is neither a group (type 1) nor an entry (type 2).").arg(where)
                      : JsonTreeImport::tr("%1 is not a group (type 1).").arg(where);
    return false;
}

// Attachments whose data is damaged or does not match its hash would be
// carried into the new vault as if they were the file.
bool checkAttachments(const QList<Group*>& groups, QString& error)
{
    for (const Group* group : groups) {
        for (const Item* item : group->getAllItems()) {
            if (!item->isPassword())
                continue;
            const Password::Attachment& attachment = static_cast<const Password*>(item)->getAttachment();
            if (!attachment.isValid())
                continue;
            QByteArray bytes;
            QString reason;
            const bool ok = attachment.decode(bytes, reason);
            wipe(bytes);
            if (!ok) {
                error = JsonTreeImport::tr("The attachment of \"%1\": %2").arg(item->getFullName(), reason);
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool JsonTreeImport::readFile(const QString& path, QList<Group*>& groups, QString& error,
                              QList<PasswordDatabase::Deletion>* deletions)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        error = tr("The file \"%1\" does not exist.").arg(path);
        return false;
    }
    if (!info.isFile()) {
        error = tr("\"%1\" is not a regular file.").arg(path);
        return false;
    }
    if (info.size() > MaxFileSize) {
        error = tr("The file \"%1\" is too large: %2 bytes, where at most %3 are read.")
                    .arg(path, QString::number(info.size()), QString::number(MaxFileSize));
        return false;
    }
    // A buffer of the file's own size, not of the bound: reading up to the
    // bound in one call would take 256 MiB for a file of three bytes. A file
    // that grew since it was measured is still refused.
    QByteArray bytes;
    if (!readRegularFile(path, MaxFileSize, bytes, error))
        return false;
    QJsonParseError parseError {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    wipe(bytes);
    if (parseError.error != QJsonParseError::NoError) {
        error = tr("The file \"%1\" is not valid JSON: %2 at byte %3.")
                    .arg(path, parseError.errorString(), QString::number(parseError.offset));
        return false;
    }
    if (!document.isObject()) {
        error = tr("The file \"%1\" does not hold an object with \"groups\".").arg(path);
        return false;
    }
    const QJsonObject root = document.object();
    if (!checkObject(root, { QStringLiteral("groups") }, { QStringLiteral("deleted") }, tr("The file"), error))
        return false;
    if (!root.value(QLatin1String("groups")).isArray()) {
        error = tr("\"groups\" is not a list.");
        return false;
    }
    const QJsonArray array = root.value(QLatin1String("groups")).toArray();
    for (int i = 0; i < array.size(); ++i) {
        if (!checkItem(array.at(i), 1, QStringLiteral("groups[%1]").arg(i), error))
            return false;
    }

    QList<Group*> built;
    if (!parseTreeGroups(root, CurrentDatabaseFormatVersion, built)) {
        error = tr("The file \"%1\" holds a member of the wrong type.").arg(path);
        return false;
    }
    if (!checkAttachments(built, error)) {
        qDeleteAll(built);
        return false;
    }
    groups += built;
    if (deletions)
        *deletions = parseDeletions(root);
    return true;
}
