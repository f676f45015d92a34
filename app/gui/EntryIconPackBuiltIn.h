#ifndef ENTRYICONPACKBUILTIN_H
#define ENTRYICONPACKBUILTIN_H

#include "app/gui/EntryIconPack.h"

#include <vector>

// The program's own 89 entry icons, loaded from the compiled-in resources
// ":/image/entryicon/NAME.png", each with the id "tessavond.NAME". A missing
// image gives a record with a null pixmap whose id is still offered.
class EntryIconPackBuiltIn : public EntryIconPack
{
public:
    EntryIconPackBuiltIn();
    ~EntryIconPackBuiltIn() override;

    QList<EntryIcon> icons() const override;
    const EntryIcon* icon(const QString& id) const override;

    // The image names in the pack's order.
    static QStringList iconNames();

private:
    std::vector<EntryIcon> m_icons; // fixed after construction
};

#endif // ENTRYICONPACKBUILTIN_H
