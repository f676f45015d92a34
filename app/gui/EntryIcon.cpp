#include "app/gui/EntryIcon.h"

#include "app/gui/EntryIconPack.h"

#include <QRegularExpression>

namespace {

const char* const webIconId = "tessavond.web";
const char* const keyIconId = "tessavond.key";

// Parts of a name this short (or shorter) are too common to pick an icon.
constexpr int minimumGuessLength = 4;

} // namespace

EntryIcon::EntryIcon(const QPixmap& pixmap, const QString& id)
    : pixmap(pixmap)
    , icon(pixmap.isNull() ? QIcon() : QIcon(pixmap))
    , id(id)
{
}

EntryIcon findEntryIcon(const QString& id)
{
    for (const EntryIconPack* pack : EntryIconPack::packs()) {
        if (const EntryIcon* icon = pack->icon(id))
            return *icon;
    }
    return EntryIcon();
}

EntryIcon guessEntryIcon(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral(",|\\.|\\_|\\-|\\+|\\|| "));
    const QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    QList<EntryIcon> icons;
    for (const QString& part : parts) {
        if (part.size() < minimumGuessLength)
            continue;
        if (icons.isEmpty())
            icons = allEntryIcons();
        for (const EntryIcon& icon : qAsConst(icons)) {
            // Every part contains the empty text: a record without an id
            // is no match for anything.
            if (icon.id.isEmpty())
                continue;
            if (icon.id.contains(part, Qt::CaseInsensitive) || part.contains(icon.id, Qt::CaseInsensitive))
                return icon;
        }
    }
    return EntryIcon();
}

EntryIcon defaultWebIcon()
{
    return findEntryIcon(QString::fromLatin1(webIconId));
}

EntryIcon defaultKeyIcon()
{
    return findEntryIcon(QString::fromLatin1(keyIconId));
}

QList<EntryIcon> allEntryIcons()
{
    QList<EntryIcon> icons;
    for (const EntryIconPack* pack : EntryIconPack::packs())
        icons += pack->icons();
    return icons;
}
