#include "app/database/PasswordDatabaseMerge.h"

#include "app/database/PasswordBackup.h"

#include <QCoreApplication>

namespace {

QString mergeText(const char* text)
{
    return QCoreApplication::translate("PasswordDatabaseMerge", text);
}

QHash<QString, QDateTime> deletionTimes(const PasswordDatabase& db)
{
    QHash<QString, QDateTime> times;
    for (const PasswordDatabase::Deletion& deletion : db.getDeletions()) {
        if (!times.contains(deletion.uuid) || times.value(deletion.uuid) < deletion.deleted)
            times.insert(deletion.uuid, deletion.deleted);
    }
    return times;
}

} // namespace

PasswordDatabaseMerge::PasswordDatabaseMerge(PasswordDatabase& destination, const PasswordDatabase& source)
    : m_destination(destination)
    , m_source(source)
    , m_destinationDeleted(deletionTimes(destination))
    , m_sourceDeleted(deletionTimes(source))
{
}

PasswordDatabaseMerge::Summary PasswordDatabaseMerge::merge(PasswordDatabase& destination,
                                                            const PasswordDatabase& source)
{
    PasswordDatabaseMerge merge(destination, source);
    const Item::StampFreeze freeze;
    merge.matchItems();
    merge.applySource();
    merge.applyDeletions();
    merge.joinDeletionLists();
    if (!merge.m_summary.isEmpty())
        destination.setModified();
    return merge.m_summary;
}

QString PasswordDatabaseMerge::pathKey(const Item& item)
{
    const QString parent = item.getParent() ? item.getParent()->getFullName() : QString();
    return QString::number(item.getType()) + QLatin1Char('\n') + parent + QLatin1Char('\n') + item.getName();
}

void PasswordDatabaseMerge::matchItems()
{
    const QList<Item*> destinationItems = m_destination.getAllItems();
    const QList<Item*> sourceItems = m_source.getAllItems();
    QHash<QString, Item*> byUuid;
    for (Item* item : destinationItems) {
        if (!byUuid.contains(item->getUuid()))
            byUuid.insert(item->getUuid(), item);
    }
    QSet<QString> sourceUuids;
    for (const Item* item : sourceItems)
        sourceUuids.insert(item->getUuid());

    QList<const Item*> unmatched;
    for (const Item* item : sourceItems) {
        Item* counterpart = byUuid.value(item->getUuid());
        if (counterpart && counterpart->getType() == item->getType()
            && !m_matchedDestination.contains(counterpart)) {
            m_counterpart.insert(item, counterpart);
            m_matchedDestination.insert(counterpart);
        } else {
            unmatched.append(item);
        }
    }

    // Vaults given their ids apart: the one item of the same kind, name and
    // parent path on each side, among those without a partner by id.
    QHash<QString, QList<Item*>> destinationByPath;
    for (Item* item : destinationItems) {
        if (!m_matchedDestination.contains(item) && !sourceUuids.contains(item->getUuid()))
            destinationByPath[pathKey(*item)].append(item);
    }
    QHash<QString, int> sourcePathCount;
    for (const Item* item : qAsConst(unmatched))
        ++sourcePathCount[pathKey(*item)];
    for (const Item* item : qAsConst(unmatched)) {
        const QString key = pathKey(*item);
        const QList<Item*> candidates = destinationByPath.value(key);
        if (candidates.size() == 1 && sourcePathCount.value(key) == 1) {
            m_counterpart.insert(item, candidates.first());
            m_matchedDestination.insert(candidates.first());
        }
    }
}

bool PasswordDatabaseMerge::sameGroupFields(const Group& a, const Group& b)
{
    return a.getName() == b.getName() && a.getNote() == b.getNote() && a.getIconId() == b.getIconId()
        && a.getTag() == b.getTag() && a.getFlags() == b.getFlags();
}

void PasswordDatabaseMerge::place(Item* item, Group* parent)
{
    if (item->isGroup() && !parent) {
        m_destination.addItem(static_cast<Group*>(item));
        return;
    }
    if (parent)
        parent->addItem(item);
}

PasswordDatabaseMerge::Group* PasswordDatabaseMerge::destinationGroupFor(const Group* sourceGroup)
{
    if (!sourceGroup)
        return nullptr;
    if (Item* counterpart = m_counterpart.value(sourceGroup))
        return static_cast<Group*>(counterpart);
    // There is one backup group: the source's joins the destination's, which
    // the merge itself may just have made for a conflict copy.
    if (sourceGroup->getTag() == PasswordDatabase::BackupGroupTag) {
        Item* backup = m_destination.getItemByTag(PasswordDatabase::BackupGroupTag);
        if (backup && backup->isGroup() && !m_matchedDestination.contains(backup)) {
            m_counterpart.insert(sourceGroup, backup);
            m_matchedDestination.insert(backup);
            return static_cast<Group*>(backup);
        }
    }
    // A group the destination deleted, still holding an item that is kept:
    // it comes back rather than leaving the item without a place.
    Group* parent = destinationGroupFor(sourceGroup->getParent());
    Group* group = new Group;
    group->setName(sourceGroup->getName());
    group->setNote(sourceGroup->getNote());
    group->setIconId(sourceGroup->getIconId());
    group->setTag(sourceGroup->getTag());
    group->setFlags(sourceGroup->getFlags());
    group->setUuid(sourceGroup->getUuid());
    group->setCreated(sourceGroup->getCreated());
    group->setModifiedTime(sourceGroup->getModifiedTime());
    place(group, parent);
    m_counterpart.insert(sourceGroup, group);
    ++m_summary.added;
    m_summary.details.append(mergeText("Added: %1").arg(group->getFullName()));
    return group;
}

void PasswordDatabaseMerge::applySource()
{
    for (const Item* item : m_source.getAllItems()) {
        Item* counterpart = m_counterpart.value(item);
        if (!counterpart) {
            const auto deleted = m_destinationDeleted.constFind(item->getUuid());
            if (deleted != m_destinationDeleted.constEnd() && deleted.value() >= item->getModifiedTime())
                continue;
            if (item->isGroup()) {
                destinationGroupFor(static_cast<const Group*>(item));
            } else {
                Group* parent = destinationGroupFor(item->getParent());
                Password* copy = new Password(*static_cast<const Password*>(item));
                place(copy, parent);
                m_counterpart.insert(item, copy);
                ++m_summary.added;
                m_summary.details.append(mergeText("Added: %1").arg(copy->getFullName()));
            }
            continue;
        }

        const bool sourceWins = item->getModifiedTime() > counterpart->getModifiedTime();
        bool changed = false;
        if (item->isPassword()) {
            const Password& theirs = *static_cast<const Password*>(item);
            Password& ours = *static_cast<Password*>(counterpart);
            if (theirs != ours) {
                // The losing version stays in the backup group, as after an
                // edit; a copy already there is not made twice.
                if (backupPassword(m_destination, sourceWins ? ours : theirs)) {
                    ++m_summary.conflicts;
                    m_summary.details.append(mergeText("Kept as a conflict copy: %1").arg(ours.getFullName()));
                }
                if (sourceWins) {
                    ours = theirs;
                    ours.setFlags(theirs.getFlags());
                    changed = true;
                }
            }
        } else if (sourceWins) {
            const Group& theirs = *static_cast<const Group*>(item);
            Group& ours = *static_cast<Group*>(counterpart);
            if (!sameGroupFields(theirs, ours)) {
                ours.setName(theirs.getName());
                ours.setNote(theirs.getNote());
                ours.setIconId(theirs.getIconId());
                ours.setTag(theirs.getTag());
                ours.setFlags(theirs.getFlags());
                changed = true;
            }
        }
        if (!sourceWins)
            continue;

        // The newer side's place wins too.
        Group* parent = item->getParent() ? destinationGroupFor(item->getParent()) : nullptr;
        const bool moved = counterpart->getParent() != parent;
        bool insideItself = false;
        for (const Group* at = parent; at; at = at->getParent())
            insideItself = insideItself || at == counterpart;
        if (moved && !insideItself && (parent || counterpart->isGroup())) {
            if (Group* old = counterpart->getParent())
                old->takeItem(counterpart);
            else
                m_destination.takeItem(static_cast<Group*>(counterpart));
            place(counterpart, parent);
            changed = true;
        }
        changed = changed || counterpart->getUuid() != item->getUuid();
        counterpart->setUuid(item->getUuid());
        counterpart->setModifiedTime(item->getModifiedTime());
        if (changed) {
            ++m_summary.updated;
            m_summary.details.append(mergeText("Updated: %1").arg(counterpart->getFullName()));
        }
    }
}

void PasswordDatabaseMerge::applyDeletions()
{
    // Children before their groups, so that a group emptied here can go.
    QList<Item*> items = m_destination.getAllItems();
    for (int i = items.size() - 1; i >= 0; --i) {
        Item* item = items.at(i);
        if (m_matchedDestination.contains(item))
            continue;
        const auto deleted = m_sourceDeleted.constFind(item->getUuid());
        if (deleted == m_sourceDeleted.constEnd() || deleted.value() < item->getModifiedTime())
            continue;
        if (item->isGroup() && !static_cast<Group*>(item)->isEmpty())
            continue;
        m_summary.details.append(mergeText("Deleted: %1").arg(item->getFullName()));
        ++m_summary.deleted;
        if (Group* parent = item->getParent()) {
            parent->takeItem(item);
        } else {
            m_destination.takeItem(static_cast<Group*>(item));
        }
        delete item;
    }
}

void PasswordDatabaseMerge::joinDeletionLists()
{
    QHash<QString, QDateTime> joined = m_destinationDeleted;
    for (auto it = m_sourceDeleted.constBegin(); it != m_sourceDeleted.constEnd(); ++it) {
        if (!joined.contains(it.key()) || joined.value(it.key()) < it.value())
            joined.insert(it.key(), it.value());
    }
    // An item still in the tree was kept over its deletion.
    for (const Item* item : m_destination.getAllItems())
        joined.remove(item->getUuid());

    QList<PasswordDatabase::Deletion> list;
    for (const PasswordDatabase::Deletion& deletion : m_destination.getDeletions()) {
        if (joined.contains(deletion.uuid)) {
            list.append({ deletion.uuid, joined.take(deletion.uuid) });
        }
    }
    for (const PasswordDatabase::Deletion& deletion : m_source.getDeletions()) {
        if (joined.contains(deletion.uuid))
            list.append({ deletion.uuid, joined.take(deletion.uuid) });
    }
    const bool changed = list.size() != m_destination.getDeletions().size();
    m_destination.setDeletions(list);
    if (changed)
        m_destination.setModified();
}
