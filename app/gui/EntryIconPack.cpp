#include "app/gui/EntryIconPack.h"

namespace {

QList<EntryIconPack*>& packList()
{
    static QList<EntryIconPack*> list;
    return list;
}

} // namespace

EntryIconPack::~EntryIconPack()
{
    removePack(this);
}

QList<EntryIconPack*> EntryIconPack::packs()
{
    return packList();
}

void EntryIconPack::addPack(EntryIconPack* pack)
{
    if (pack && !packList().contains(pack))
        packList().append(pack);
}

bool EntryIconPack::removePack(EntryIconPack* pack)
{
    return packList().removeOne(pack);
}
