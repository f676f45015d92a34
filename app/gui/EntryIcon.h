#ifndef ENTRYICON_H
#define ENTRYICON_H

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

// One entry icon of an icon pack: the image as a pixmap and as an icon, and
// the id that groups and passwords store. A plain value, copied freely; the
// default-constructed record (null pixmap and icon, empty id) stands for
// "no icon".
class EntryIcon
{
public:
    EntryIcon() = default;
    EntryIcon(const QPixmap& pixmap, const QString& id);

    bool isNull() const { return id.isEmpty(); }

    QPixmap pixmap;
    QIcon icon;
    QString id;
};

// Look-ups over every registered icon pack (EntryIconPack::packs()), in
// registration order. GUI thread only.

// The record of the first pack that knows `id`; the empty record when no
// pack does.
EntryIcon findEntryIcon(const QString& id);

// An icon matching the words of a name: the name is split at commas, dots,
// underscores, hyphens, plus signs, vertical bars and blanks; for each part
// longer than three characters, in order, the first icon (of all packs, in
// order) whose id contains the part or is contained in it, ignoring case.
// The empty record when no part matches.
EntryIcon guessEntryIcon(const QString& text);

// The default group icon ("tessavond.web") and password icon
// ("tessavond.key"), looked up like findEntryIcon().
EntryIcon defaultWebIcon();
EntryIcon defaultKeyIcon();

// Every icon of every pack: the packs in order, each pack's icons in its own
// order.
QList<EntryIcon> allEntryIcons();

#endif // ENTRYICON_H
