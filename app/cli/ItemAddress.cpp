#include "app/cli/ItemAddress.h"

#include <QStringList>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;

namespace {

bool hasKind(const Item* item, int kind)
{
    return kind == ItemAddress::AnyKind || item->getType() == kind;
}

} // namespace

ItemAddress::ItemAddress(const PasswordDatabase& db)
    : m_items(db.getAllItems())
    , m_topLevel(db.getItems())
{
    m_numbers.reserve(m_items.size());
    for (int i = 0; i < m_items.size(); ++i)
        m_numbers.insert(m_items.at(i), i);
}

bool ItemAddress::splitPath(const QString& text, QStringList& parts, bool& groupOnly)
{
    if (!text.startsWith(QLatin1Char('/')) || text.size() < 2)
        return false;
    QStringList result;
    QString part;
    groupOnly = false;
    for (int i = 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= text.size())
                return false;
            const QChar next = text.at(++i);
            if (next != QLatin1Char('\\') && next != QLatin1Char('/'))
                return false;
            part += next;
        } else if (c == QLatin1Char('/')) {
            if (part.isEmpty())
                return false;
            result.append(part);
            part.clear();
            if (i + 1 == text.size())
                groupOnly = true;
        } else {
            part += c;
        }
    }
    if (!part.isEmpty())
        result.append(part);
    parts = result;
    return true;
}

QString ItemAddress::escapePart(const QString& name)
{
    QString escaped;
    escaped.reserve(name.size());
    for (const QChar c : name) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}

QString ItemAddress::path(const Item* item)
{
    QStringList parts;
    for (const Item* level = item; level; level = level->getParent())
        parts.prepend(escapePart(level->getName()));
    QString text = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    if (item->isGroup())
        text += QLatin1Char('/');
    return text;
}

QString ItemAddress::number(const Item* item) const
{
    return QLatin1Char('@') + QString::number(m_numbers.value(item, -1) + 1);
}

QList<Item*> ItemAddress::resolve(const QString& address, int kind) const
{
    QList<Item*> found;
    if (address.startsWith(QLatin1Char('@'))) {
        bool ok = false;
        const int index = address.midRef(1).toInt(&ok) - 1;
        if (ok && address.at(1).isDigit() && index >= 0 && index < m_items.size()
            && hasKind(m_items.at(index), kind))
            found.append(m_items.at(index));
    } else {
        QStringList parts;
        bool groupOnly = false;
        if (splitPath(address, parts, groupOnly))
            found = byPath(parts, groupOnly, kind);
    }
    if (found.isEmpty())
        found = byFullName(address, kind);
    return found;
}

QList<Item*> ItemAddress::byFullName(const QString& fullName, int kind) const
{
    QList<Item*> found;
    // Only names that end the same way can match: cheap before the full name.
    for (Item* item : m_items) {
        if (hasKind(item, kind) && fullName.endsWith(item->getName()) && item->getFullName() == fullName)
            found.append(item);
    }
    return found;
}

QList<Item*> ItemAddress::byPath(const QStringList& parts, bool groupOnly, int kind) const
{
    // Siblings may share a name: every branch that fits is followed.
    QList<Item*> level;
    for (Group* group : m_topLevel) {
        if (group->getName() == parts.first())
            level.append(group);
    }
    for (int i = 1; i < parts.size() && !level.isEmpty(); ++i) {
        QList<Item*> next;
        for (Item* item : qAsConst(level)) {
            if (!item->isGroup())
                continue;
            for (Item* child : static_cast<Group*>(item)->getItems()) {
                if (child->getName() == parts.at(i))
                    next.append(child);
            }
        }
        level = next;
    }
    QList<Item*> found;
    for (Item* item : qAsConst(level)) {
        if (hasKind(item, kind) && (!groupOnly || item->isGroup()))
            found.append(item);
    }
    return found;
}

int ItemAddress::fullNameCount(const QString& fullName, int kind) const
{
    QHash<QString, int>& counts = m_fullNameCounts[kind];
    if (counts.isEmpty()) {
        for (const Item* item : m_items) {
            if (hasKind(item, kind))
                ++counts[item->getFullName()];
        }
    }
    return counts.value(fullName);
}

QString ItemAddress::shortestAddress(const Item* item) const
{
    const QString fullName = item->getFullName();
    // A full name that reads as a path or number is tried as one first.
    const bool plain = !fullName.startsWith(QLatin1Char('/')) && !fullName.startsWith(QLatin1Char('@'));
    if (plain ? fullNameCount(fullName, item->getType()) == 1
              : resolve(fullName, item->getType()) == QList<Item*> { const_cast<Item*>(item) })
        return fullName;
    const QString itemPath = path(item);
    if (resolve(itemPath, item->getType()).size() == 1)
        return itemPath;
    return number(item);
}
