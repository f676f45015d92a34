#include "app/database/PasswordDatabase.h"

#include "app/database/DatabaseKdfParameters.h"
#include "app/database/PasswordDatabaseFormat.h"

#include "blib/app/BSettings.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

const char* const DefaultKdfRoundsKey = "app.passwordDatabase.defaultKdfRounds";
const int DefaultKdfRounds = 100000;

int configuredKdfRounds()
{
    return intSetting(QString::fromLatin1(DefaultKdfRoundsKey), DefaultKdfRounds);
}

// Replaces a text that may hold a secret, wiping the old content first. The
// new value is taken first, so a value sharing storage with the field (or the
// field itself) survives.
void replaceSecret(QString& field, const QString& value)
{
    QString copy = value;
    wipe(field);
    field = copy;
}

thread_local int stampFreezeDepth = 0;

} // namespace

// ---------------------------------------------------------------------------
// Item

PasswordDatabase::Item::StampFreeze::StampFreeze()
{
    ++stampFreezeDepth;
}

PasswordDatabase::Item::StampFreeze::~StampFreeze()
{
    --stampFreezeDepth;
}

QDateTime PasswordDatabase::Item::stampNow()
{
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

QString PasswordDatabase::Item::newUuid()
{
    return QString::fromLatin1(randomBytes(16).toHex());
}

bool PasswordDatabase::Item::isValidUuid(const QString& text)
{
    if (text.size() != 32)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

void PasswordDatabase::Item::renewUuid()
{
    m_uuid = newUuid();
}

void PasswordDatabase::Item::touch()
{
    if (stampFreezeDepth == 0)
        m_modifiedTime = stampNow();
}

PasswordDatabase::Item::Item(int type)
    : m_type(type)
    , m_uuid(newUuid())
    , m_created(stampNow())
    , m_modifiedTime(m_created)
{
}

PasswordDatabase::Item::Item(const Item& other)
    : m_type(other.m_type)
    , m_tag(other.m_tag)
    , m_flags(other.m_flags)
    , m_guiState(other.m_guiState)
    , m_name(other.m_name)
    , m_note(other.m_note)
    , m_uuid(other.m_uuid)
    , m_created(other.m_created)
    , m_modifiedTime(other.m_modifiedTime)
{
}

PasswordDatabase::Item& PasswordDatabase::Item::operator=(const Item& other)
{
    if (this != &other) {
        if (m_tag != other.m_tag || m_name != other.m_name || m_note != other.m_note)
            touch();
        m_type = other.m_type;
        m_tag = other.m_tag;
        replaceSecret(m_name, other.m_name);
        replaceSecret(m_note, other.m_note);
    }
    return *this;
}

PasswordDatabase::Item::~Item()
{
    wipe(m_name);
    wipe(m_note);
}

void PasswordDatabase::Item::setName(const QString& name)
{
    if (m_name != name)
        touch();
    replaceSecret(m_name, name);
}

void PasswordDatabase::Item::setNote(const QString& note)
{
    if (m_note != note)
        touch();
    replaceSecret(m_note, note);
}

QString PasswordDatabase::Item::getFullName() const
{
    QString fullName = m_name;
    for (const Group* ancestor = m_parent; ancestor; ancestor = ancestor->m_parent)
        fullName = ancestor->m_name + QStringLiteral(" - ") + fullName;
    return fullName;
}

void PasswordDatabase::Item::setParent(Group* group)
{
    if (group)
        attachTo(group);
}

PasswordDatabase::Group* PasswordDatabase::Item::getRootParent() const
{
    Group* root = m_parent;
    while (root && root->m_parent)
        root = root->m_parent;
    return root;
}

bool PasswordDatabase::Item::sameItemFields(const Item& other) const
{
    return m_type == other.m_type && m_name == other.m_name && m_tag == other.m_tag
        && m_flags == other.m_flags && m_note == other.m_note;
}

void PasswordDatabase::Item::attachTo(Group* group)
{
    touch();
    m_parent = group;
    m_ownerGroup = group;
    m_ownerDatabase = nullptr;
}

void PasswordDatabase::Item::attachTo(PasswordDatabase* database)
{
    touch();
    m_parent = nullptr;
    m_ownerGroup = nullptr;
    m_ownerDatabase = database;
}

void PasswordDatabase::Item::detach()
{
    m_parent = nullptr;
    m_ownerGroup = nullptr;
    m_ownerDatabase = nullptr;
}

// ---------------------------------------------------------------------------
// Group

PasswordDatabase::Group::Group()
    : Item(GroupType)
{
}

PasswordDatabase::Group::Group(const Group& other)
    : Item(other)
    , m_iconId(other.m_iconId)
    , m_items(copyChildren(other))
{
    const StampFreeze freeze;
    for (Item* child : qAsConst(m_items))
        child->attachTo(this);
}

PasswordDatabase::Group& PasswordDatabase::Group::operator=(const Group& other)
{
    if (this == &other)
        return *this;
    // Everything is read from `other` before the children are destroyed:
    // `other` may live inside this group's subtree.
    QList<Item*> copies = copyChildren(other);
    QString iconId = other.m_iconId;
    QString name = other.m_name;
    QString note = other.m_note;
    const int type = other.m_type;
    const int tag = other.m_tag;

    if (tag != m_tag || name != m_name || note != m_note || iconId != m_iconId)
        touch();
    clear();
    m_type = type;
    m_tag = tag;
    replaceSecret(m_name, name);
    replaceSecret(m_note, note);
    m_items = copies;
    {
        const StampFreeze freeze;
        for (Item* child : qAsConst(m_items))
            child->attachTo(this);
    }
    replaceSecret(m_iconId, iconId);
    return *this;
}

PasswordDatabase::Group::~Group()
{
    clear();
    wipe(m_iconId);
}

QList<PasswordDatabase::Item*> PasswordDatabase::Group::copyChildren(const Group& source)
{
    QList<Item*> copies;
    copies.reserve(source.m_items.size());
    for (const Item* child : source.m_items) {
        if (child->isGroup())
            copies.append(new Group(*static_cast<const Group*>(child)));
        else
            copies.append(new Password(*static_cast<const Password*>(child)));
    }
    return copies;
}

void PasswordDatabase::Group::setIconId(const QString& iconId)
{
    if (m_iconId != iconId)
        touch();
    replaceSecret(m_iconId, iconId);
}

bool PasswordDatabase::Group::canAdopt(const Item* item) const
{
    if (!item || item->hasOwner())
        return false;
    // A group may not become its own descendant.
    for (const Group* group = this; group; group = group->m_parent) {
        if (group == item)
            return false;
    }
    return true;
}

void PasswordDatabase::Group::insertAt(int index, Item* item)
{
    m_items.insert(index, item);
    item->attachTo(this);
}

void PasswordDatabase::Group::addItem(Item* item)
{
    if (canAdopt(item))
        insertAt(m_items.size(), item);
}

void PasswordDatabase::Group::addItemTop(Item* item)
{
    if (canAdopt(item))
        insertAt(0, item);
}

bool PasswordDatabase::Group::takeItem(Item* item)
{
    const int index = m_items.indexOf(item);
    if (index < 0)
        return false;
    m_items.removeAt(index);
    item->detach();
    return true;
}

bool PasswordDatabase::Group::deleteItem(Item* item)
{
    const int index = m_items.indexOf(item);
    if (index < 0)
        return false;
    for (const Group* at = this; at; at = at->m_parent) {
        if (at->m_ownerDatabase) {
            at->m_ownerDatabase->recordDeletion(*item);
            break;
        }
    }
    m_items.removeAt(index);
    delete item;
    return true;
}

void PasswordDatabase::Group::clear()
{
    // Detach the list first so that nothing reachable from here points at a
    // child while it is being destroyed.
    const QList<Item*> children = m_items;
    m_items.clear();
    qDeleteAll(children);
}

void PasswordDatabase::Group::appendAllItems(QList<Item*>& list) const
{
    for (Item* child : m_items) {
        list.append(child);
        if (child->isGroup())
            static_cast<const Group*>(child)->appendAllItems(list);
    }
}

QList<PasswordDatabase::Item*> PasswordDatabase::Group::getAllItems() const
{
    QList<Item*> list;
    appendAllItems(list);
    return list;
}

PasswordDatabase::Item* PasswordDatabase::Group::findByTag(int tag) const
{
    for (Item* child : m_items) {
        if (child->m_tag == tag)
            return child;
        if (child->isGroup()) {
            if (Item* found = static_cast<const Group*>(child)->findByTag(tag))
                return found;
        }
    }
    return nullptr;
}

PasswordDatabase::Item* PasswordDatabase::Group::getItemByTag(int tag) const
{
    return findByTag(tag);
}

void PasswordDatabase::Group::appendMatches(const QString& text, int findFlags,
                                            QList<Password*>& list) const
{
    const Qt::CaseSensitivity cs = (findFlags & FindCaseSensitive) ? Qt::CaseSensitive
                                                                   : Qt::CaseInsensitive;
    const bool anyField = (findFlags & FindAllFields) != 0;
    for (Item* child : m_items) {
        if (child->isGroup()) {
            static_cast<const Group*>(child)->appendMatches(text, findFlags, list);
            continue;
        }
        Password* password = static_cast<Password*>(child);
        bool match;
        if (text.isEmpty()) {
            match = anyField;
        } else {
            match = ((findFlags & FindName) && password->m_name.contains(text, cs))
                || ((findFlags & FindNote) && password->m_note.contains(text, cs))
                || ((findFlags & FindUrl) && password->getUrl().contains(text, cs))
                || ((findFlags & FindUsername) && password->getUsername().contains(text, cs))
                || ((findFlags & FindPassword) && password->getPassword().contains(text, cs));
        }
        if (match)
            list.append(password);
    }
}

QList<PasswordDatabase::Password*> PasswordDatabase::Group::find(const QString& text,
                                                                 int findFlags) const
{
    QList<Password*> list;
    appendMatches(text, findFlags, list);
    return list;
}

void PasswordDatabase::Group::insertItemBefore(Item* anchor, Item* item)
{
    const int index = m_items.indexOf(anchor);
    if (index >= 0 && canAdopt(item))
        insertAt(index, item);
}

void PasswordDatabase::Group::insertItemAfter(Item* anchor, Item* item)
{
    if (!canAdopt(item))
        return;
    const int index = m_items.indexOf(anchor);
    insertAt(index >= 0 ? index + 1 : m_items.size(), item);
}

bool PasswordDatabase::Group::operator==(const Group& other) const
{
    return sameItemFields(other) && m_iconId == other.m_iconId && m_items == other.m_items;
}

// ---------------------------------------------------------------------------
// Password::Attachment

PasswordDatabase::Password::Attachment::Attachment() = default;

PasswordDatabase::Password::Attachment::Attachment(const Attachment& other)
    : m_fileName(other.m_fileName)
    , m_data(other.m_data)
    , m_dataHash(other.m_dataHash)
{
}

PasswordDatabase::Password::Attachment&
PasswordDatabase::Password::Attachment::operator=(const Attachment& other)
{
    if (this != &other) {
        replaceSecret(m_fileName, other.m_fileName);
        replaceSecret(m_data, other.m_data);
        m_dataHash = other.m_dataHash;
    }
    return *this;
}

PasswordDatabase::Password::Attachment::~Attachment()
{
    wipe(m_fileName);
    wipe(m_data);
}

void PasswordDatabase::Password::Attachment::setFileName(const QString& fileName)
{
    replaceSecret(m_fileName, fileName);
}

void PasswordDatabase::Password::Attachment::setData(const QString& data)
{
    replaceSecret(m_data, data);
}

bool PasswordDatabase::Password::Attachment::loadFromFile(const QString& path, QString* error)
{
    QByteArray bytes;
    QString reason;
    if (!readRegularFile(path, MaxSize, bytes, reason)) {
        if (error)
            *error = reason;
        return false;
    }
    QByteArray base64 = bytes.toBase64();
    wipe(bytes);
    QString data = QString::fromLatin1(base64);
    wipe(base64);
    QString dataHash;
    hashHex(BHashId::SHA3_384, data, dataHash);

    setData(data);
    wipe(data);
    m_dataHash = dataHash;
    setFileName(QFileInfo(path).fileName());
    return true;
}

bool PasswordDatabase::Password::Attachment::decode(QByteArray& bytes, QString& error) const
{
    QString hash;
    hashHex(BHashId::SHA3_384, m_data, hash);
    if (hash.compare(m_dataHash, Qt::CaseInsensitive) != 0) {
        error = QCoreApplication::translate("PasswordDatabase",
                                            "The attached file is damaged: its data does not match "
                                            "its recorded hash.");
        return false;
    }
    QByteArray base64 = m_data.toLatin1();
    const bool valid = decodeStrictBase64(base64, bytes);
    wipe(base64);
    if (!valid) {
        error = QCoreApplication::translate("PasswordDatabase",
                                            "The attached file is damaged: its data is not valid "
                                            "Base64.");
        return false;
    }
    return true;
}

bool PasswordDatabase::Password::Attachment::saveToFile(const QString& path, QString* error) const
{
    QByteArray bytes;
    QString reason;
    // The decoded file is as secret as the entry: a new file is readable by
    // its owner only. A FIFO or /dev/stdout gets the bytes as a stream.
    const bool ok = decode(bytes, reason) && writeFileOrDevice(path, bytes, reason);
    wipe(bytes);
    if (!ok && error)
        *error = reason;
    return ok;
}

// ---------------------------------------------------------------------------
// Password

PasswordDatabase::Password::Password()
    : Item(PasswordType)
    , m_expireTime(QDateTime::currentDateTime().addYears(1))
{
}

PasswordDatabase::Password::Password(const QDateTime& expireTime)
    : Item(PasswordType)
    , m_expireTime(expireTime)
{
}

PasswordDatabase::Password::Password(const Password& other)
    : Item(other)
    , m_iconId(other.m_iconId)
    , m_username(other.m_username)
    , m_emailAddress(other.m_emailAddress)
    , m_phoneNumber(other.m_phoneNumber)
    , m_url(other.m_url)
    , m_password(other.m_password)
    , m_attachment(other.m_attachment)
    , m_neverExpire(other.m_neverExpire)
    , m_expireTime(other.m_expireTime)
{
}

PasswordDatabase::Password& PasswordDatabase::Password::operator=(const Password& other)
{
    if (this != &other) {
        if (!(*this == other))
            touch();
        const StampFreeze freeze;
        Item::operator=(other);
        replaceSecret(m_iconId, other.m_iconId);
        replaceSecret(m_username, other.m_username);
        replaceSecret(m_emailAddress, other.m_emailAddress);
        replaceSecret(m_phoneNumber, other.m_phoneNumber);
        replaceSecret(m_url, other.m_url);
        replaceSecret(m_password, other.m_password);
        m_attachment = other.m_attachment;
        m_neverExpire = other.m_neverExpire;
        m_expireTime = other.m_expireTime;
    }
    return *this;
}

PasswordDatabase::Password::~Password()
{
    wipe(m_iconId);
    wipe(m_username);
    wipe(m_emailAddress);
    wipe(m_phoneNumber);
    wipe(m_url);
    wipe(m_password);
    m_neverExpire = false;
    m_expireTime = QDateTime::currentDateTimeUtc();
    // m_attachment wipes itself when it is destroyed next.
}

void PasswordDatabase::Password::setIconId(const QString& iconId)
{
    if (m_iconId != iconId)
        touch();
    replaceSecret(m_iconId, iconId);
}

void PasswordDatabase::Password::setUsername(const QString& username)
{
    if (m_username != username)
        touch();
    replaceSecret(m_username, username);
}

void PasswordDatabase::Password::setEmailAddress(const QString& emailAddress)
{
    if (m_emailAddress != emailAddress)
        touch();
    replaceSecret(m_emailAddress, emailAddress);
}

void PasswordDatabase::Password::setPhoneNumber(const QString& phoneNumber)
{
    if (m_phoneNumber != phoneNumber)
        touch();
    replaceSecret(m_phoneNumber, phoneNumber);
}

void PasswordDatabase::Password::setUrl(const QString& url)
{
    if (m_url != url)
        touch();
    replaceSecret(m_url, url);
}

void PasswordDatabase::Password::setPassword(const QString& password)
{
    if (m_password != password)
        touch();
    replaceSecret(m_password, password);
}

void PasswordDatabase::Password::setAttachment(const Attachment& attachment)
{
    if (m_attachment.getFileName() != attachment.getFileName()
        || m_attachment.getDataHash() != attachment.getDataHash()
        || m_attachment.getData() != attachment.getData())
        touch();
    m_attachment = attachment;
    m_attachment.setOwner(this);
}

bool PasswordDatabase::Password::operator==(const Password& other) const
{
    return sameItemFields(other) && m_iconId == other.m_iconId
        && m_username == other.m_username && m_emailAddress == other.m_emailAddress
        && m_phoneNumber == other.m_phoneNumber && m_url == other.m_url
        && m_password == other.m_password
        && m_attachment.getFileName() == other.m_attachment.getFileName()
        && m_attachment.getDataHash() == other.m_attachment.getDataHash()
        && m_neverExpire == other.m_neverExpire && m_expireTime == other.m_expireTime;
}

// ---------------------------------------------------------------------------
// PasswordDatabase

PasswordDatabase::PasswordDatabase()
    : m_kdfRounds(configuredKdfRounds())
{
}

PasswordDatabase& PasswordDatabase::operator=(const PasswordDatabase& other)
{
    if (this == &other)
        return *this;
    clear();
    m_open = other.m_open;
    m_modified = other.m_modified;
    m_locked = other.m_locked;
    m_filePath = other.m_filePath;
    m_name = other.m_name;
    m_note = other.m_note;
    m_kdf = other.m_kdf;
    m_cipher = other.m_cipher;
    m_kdfRounds = other.m_kdfRounds;
    m_kdfMemoryKib = other.m_kdfMemoryKib;
    m_kdfParallelism = other.m_kdfParallelism;
    m_kdfSalt = other.m_kdfSalt;
    m_fileFormatVersion = other.m_fileFormatVersion;
    m_typeText = other.m_typeText;
    m_cipherKey = other.m_cipherKey;
    m_cipherKeySalt = other.m_cipherKeySalt;
    m_hmacKey = other.m_hmacKey;
    m_hmacKeySalt = other.m_hmacKeySalt;
    m_cipherIv = other.m_cipherIv;
    m_hmac = other.m_hmac;
    {
        const Item::StampFreeze freeze;
        for (const Group* group : other.m_groups)
            addItem(new Group(*group));
    }
    m_deletions = other.m_deletions;
    m_encryptedData = other.m_encryptedData;
    m_formatVersion = other.m_formatVersion;
    m_pendingEditIv = other.m_pendingEditIv;
    m_pendingEdit = other.m_pendingEdit;
    m_pendingEditHmac = other.m_pendingEditHmac;
    return *this;
}

PasswordDatabase::~PasswordDatabase()
{
    deleteGroups();
    wipeSecrets();
}

void PasswordDatabase::deleteGroups()
{
    const QList<Group*> groups = m_groups;
    m_groups.clear();
    qDeleteAll(groups);
}

void PasswordDatabase::wipeSecrets()
{
    wipe(m_filePath);
    wipe(m_name);
    wipe(m_note);
    wipeKey(m_cipherKey);
    wipe(m_cipherKeySalt);
    wipeKey(m_hmacKey);
    wipe(m_hmacKeySalt);
    wipe(m_kdfSalt);
    wipe(m_cipherIv);
    wipe(m_hmac);
    wipe(m_encryptedData);
    wipe(m_pendingEditIv);
    wipe(m_pendingEdit);
    wipe(m_pendingEditHmac);
}

void PasswordDatabase::recordDeletion(const Item& item)
{
    const QDateTime now = Item::stampNow();
    QList<const Item*> items { &item };
    if (item.isGroup()) {
        for (const Item* child : static_cast<const Group&>(item).getAllItems())
            items.append(child);
    }
    for (const Item* each : qAsConst(items)) {
        for (int i = m_deletions.size() - 1; i >= 0; --i) {
            if (m_deletions.at(i).uuid == each->getUuid())
                m_deletions.removeAt(i);
        }
        m_deletions.append({ each->getUuid(), now });
    }
}

void PasswordDatabase::clear()
{
    deleteGroups();
    m_deletions.clear();
    m_open = false;
    m_modified = false;
    m_locked = false;
    wipeSecrets();
    m_cipher = 0;
    m_kdfRounds = configuredKdfRounds();
    m_kdfMemoryKib = 0;
    m_kdfParallelism = 0;
    m_typeText.clear();
    m_fileFormatVersion = CurrentDatabaseFormatVersion;
    m_formatVersion = -1;
}

DatabaseKdfParameters PasswordDatabase::getKdfParameters() const
{
    return DatabaseKdfParameters(m_kdf, m_kdfRounds, m_kdfMemoryKib, m_kdfParallelism);
}

void PasswordDatabase::setFileFormatVersion(int version)
{
    if (version == LegacyDatabaseFormatVersion || version == CurrentDatabaseFormatVersion)
        m_fileFormatVersion = version;
}

QList<PasswordDatabase::Item*> PasswordDatabase::getAllItems() const
{
    QList<Item*> list;
    for (Group* group : m_groups) {
        list.append(group);
        group->appendAllItems(list);
    }
    return list;
}

PasswordDatabase::Item* PasswordDatabase::getItemByTag(int tag) const
{
    for (Group* group : m_groups) {
        if (group->m_tag == tag)
            return group;
        if (Item* found = group->findByTag(tag))
            return found;
    }
    return nullptr;
}

QList<PasswordDatabase::Password*> PasswordDatabase::find(const QString& text,
                                                          int findFlags) const
{
    QList<Password*> list;
    for (const Group* group : m_groups)
        group->appendMatches(text, findFlags, list);
    return list;
}

void PasswordDatabase::addItem(Group* group)
{
    if (!group || group->hasOwner())
        return;
    m_groups.append(group);
    group->attachTo(this);
    m_modified = true;
}

bool PasswordDatabase::takeItem(Group* group)
{
    const int index = m_groups.indexOf(group);
    if (index < 0)
        return false;
    m_groups.removeAt(index);
    group->detach();
    m_modified = true;
    return true;
}

void PasswordDatabase::insertGroupBefore(Group* anchor, Group* group)
{
    const int index = m_groups.indexOf(anchor);
    if (index < 0 || !group || group->hasOwner())
        return;
    m_groups.insert(index, group);
    group->attachTo(this);
}

void PasswordDatabase::insertGroupAfter(Group* anchor, Group* group)
{
    if (!group || group->hasOwner())
        return;
    const int index = m_groups.indexOf(anchor);
    m_groups.insert(index >= 0 ? index + 1 : m_groups.size(), group);
    group->attachTo(this);
}

void PasswordDatabase::moveGroupToEnd(Group* group)
{
    const int index = m_groups.indexOf(group);
    if (index >= 0)
        m_groups.move(index, m_groups.size() - 1);
}

void PasswordDatabase::setName(const QString& name)
{
    replaceSecret(m_name, name);
    m_modified = true;
}

void PasswordDatabase::setNote(const QString& note)
{
    replaceSecret(m_note, note);
    m_modified = true;
}
