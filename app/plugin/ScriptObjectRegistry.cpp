#include "app/plugin/ScriptObjectRegistry.h"

#include <algorithm>

using Attachment = PasswordDatabase::Password::Attachment;
using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

namespace {

// Groups from `group` up to its outermost ancestor: 1 for a group without a
// parent, 0 for the top level itself.
int depthOf(const Group* group)
{
    int depth = 0;
    for (const Group* g = group; g; g = g->getParent())
        ++depth;
    return depth;
}

// Levels of groups in the subtree: 0 for a password, 1 for a group without
// subgroups.
int heightOf(const Item* item)
{
    if (!item->isGroup())
        return 0;
    int tallest = 0;
    for (const Item* child : static_cast<const Group*>(item)->getItems())
        tallest = std::max(tallest, heightOf(child));
    return tallest + 1;
}

} // namespace

ScriptObjectRegistry::~ScriptObjectRegistry()
{
    endImport();
    // Whatever the collector did not hand back: free roots only, their
    // subtrees go with them.
    QList<Item*> roots;
    QList<Attachment*> attachments;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        void* address = const_cast<void*>(it.key());
        if (it->kind == AttachmentObject) {
            if (!it->owner)
                attachments.append(static_cast<Attachment*>(address));
        } else {
            Item* item = it->kind == GroupObject ? static_cast<Item*>(static_cast<Group*>(address))
                                                 : static_cast<Item*>(static_cast<Password*>(address));
            if (!item->hasOwner())
                roots.append(item);
        }
    }
    m_entries.clear();
    qDeleteAll(roots);
    qDeleteAll(attachments);
}

quint64 ScriptObjectRegistry::add(const void* address, Kind kind, Password* owner)
{
    const quint64 serial = m_nextSerial++;
    m_entries.insert(address, Entry { kind, serial, owner });
    if (kind != AttachmentObject)
        ++m_itemCount;
    if (kind == PasswordObject) {
        Password* password = static_cast<Password*>(const_cast<void*>(address));
        add(&password->getAttachment(), AttachmentObject, password);
    }
    return serial;
}

void ScriptObjectRegistry::addTree(Item* item)
{
    if (item->isGroup()) {
        add(static_cast<Group*>(item), GroupObject);
        for (Item* child : static_cast<Group*>(item)->getItems())
            addTree(child);
    } else {
        add(static_cast<Password*>(item), PasswordObject);
    }
}

void ScriptObjectRegistry::remove(Item* item)
{
    const void* address = item->isGroup() ? static_cast<const void*>(static_cast<Group*>(item))
                                          : static_cast<const void*>(static_cast<Password*>(item));
    if (m_entries.remove(address) > 0)
        --m_itemCount;
    if (item->isPassword())
        m_entries.remove(&static_cast<Password*>(item)->getAttachment());
}

void ScriptObjectRegistry::forget(Item* item)
{
    if (!item)
        return;
    remove(item);
    if (item->isGroup()) {
        for (Item* child : static_cast<Group*>(item)->getAllItems())
            remove(child);
    }
}

void ScriptObjectRegistry::beginImport(PasswordDatabase* database)
{
    endImport();
    m_database = database;
    m_savedBytes = 0;
    if (database) {
        for (Group* group : database->getItems())
            addTree(group);
    }
}

void ScriptObjectRegistry::endImport()
{
    if (!m_database)
        return;
    for (Group* group : m_database->getItems())
        forget(group);
    m_database = nullptr;
}

quint64 ScriptObjectRegistry::serial(const void* address, Kind kind) const
{
    const auto it = m_entries.constFind(address);
    if (it == m_entries.cend() || it->kind != kind)
        return 0;
    return it->serial;
}

Group* ScriptObjectRegistry::createGroup(quint64& serial)
{
    auto* group = new Group();
    serial = add(group, GroupObject);
    return group;
}

Password* ScriptObjectRegistry::createPassword(quint64& serial)
{
    auto* password = new Password();
    serial = add(password, PasswordObject);
    return password;
}

Attachment* ScriptObjectRegistry::createAttachment(quint64& serial)
{
    auto* attachment = new Attachment();
    serial = add(attachment, AttachmentObject);
    return attachment;
}

bool ScriptObjectRegistry::isFreeAttachment(const Attachment* attachment) const
{
    const auto it = m_entries.constFind(attachment);
    return it != m_entries.cend() && it->kind == AttachmentObject && !it->owner;
}

Password* ScriptObjectRegistry::attachmentOwner(const Attachment* attachment) const
{
    const auto it = m_entries.constFind(attachment);
    return it != m_entries.cend() && it->kind == AttachmentObject ? it->owner : nullptr;
}

void ScriptObjectRegistry::collect(const void* address, Kind kind, quint64 serial)
{
    if (serial == 0 || this->serial(address, kind) != serial)
        return;
    void* object = const_cast<void*>(address);
    switch (kind) {
    case GroupObject:
    case PasswordObject: {
        Item* item = kind == GroupObject ? static_cast<Item*>(static_cast<Group*>(object))
                                         : static_cast<Item*>(static_cast<Password*>(object));
        // An attached item belongs to its container; the database being
        // filled is never a free object.
        if (item->hasOwner())
            return;
        forget(item);
        delete item;
        break;
    }
    case AttachmentObject:
        if (!isFreeAttachment(static_cast<Attachment*>(object)))
            return;
        m_entries.remove(address);
        delete static_cast<Attachment*>(object);
        break;
    }
}

bool ScriptObjectRegistry::fitsDepth(const Group* group, const Item* item)
{
    return depthOf(group) + heightOf(item) <= PasswordDatabase::MaxGroupDepth;
}

bool ScriptObjectRegistry::chargeSaved(qint64 bytes)
{
    if (bytes > m_savedBudget - m_savedBytes)
        return false;
    m_savedBytes += bytes;
    return true;
}

qint64 ScriptObjectRegistry::projectedFileSize(qint64 treeJsonBytes)
{
    // Up to a fifth of the length in random bytes twice, as hexadecimal, and
    // the padding members' own text.
    const qint64 padded = treeJsonBytes + 4 * (treeJsonBytes / 5) + 64;
    return (padded + 2) / 3 * 4 + HeaderReserveBytes;
}

qint64 ScriptObjectRegistry::jsonTextBytes(const QString& text)
{
    qint64 bytes = 0;
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (code < 0x20 || code == 0x7f)
            bytes += 6; // \u00XX
        else if (code == '"' || code == '\\')
            bytes += 2;
        else if (code < 0x80)
            bytes += 1;
        else if (code < 0x800)
            bytes += 2;
        else
            bytes += 3; // a surrogate pair's two halves count 6 for its 4
    }
    return bytes;
}
