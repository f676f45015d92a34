#ifndef ENTRYICONPACK_H
#define ENTRYICONPACK_H

#include "app/gui/EntryIcon.h"

#include <QList>
#include <QString>

// A set of entry icons. The process keeps one ordered list of packs (not
// owned): the built-in pack first, then the packs of icon-pack plugins in
// the order they were created. GUI thread only.
class EntryIconPack
{
public:
    EntryIconPack() = default;
    EntryIconPack(const EntryIconPack&) = delete;
    EntryIconPack& operator=(const EntryIconPack&) = delete;
    // A pack leaves the list when it is destroyed.
    virtual ~EntryIconPack();

    // The pack's icons in its own order.
    virtual QList<EntryIcon> icons() const = 0;
    // The pack's record whose id equals `id` exactly, or null. The pointer
    // stays valid as long as the pack lives.
    virtual const EntryIcon* icon(const QString& id) const = 0;

    // The registered packs, in order.
    static QList<EntryIconPack*> packs();
    // Appends a pack to the list; a null pack or one already listed is
    // ignored.
    static void addPack(EntryIconPack* pack);
    // Takes a pack out of the list; false when it was not listed.
    static bool removePack(EntryIconPack* pack);
};

#endif // ENTRYICONPACK_H
