#include "app/gui/AutoTypeMatcher.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// Titles and patterns longer than this are cut: window titles come from
// other programs.
constexpr int MaxTextLength = 4096;

bool wildcardMatches(const QString& pattern, const QString& text)
{
    const QString expression = QRegularExpression::wildcardToRegularExpression(pattern);
    const QRegularExpression regex(expression, QRegularExpression::CaseInsensitiveOption);
    return regex.isValid() && regex.match(text).hasMatch();
}

bool isInBackupGroup(const PasswordDatabase::Item& item)
{
    for (const PasswordDatabase::Group* group = item.getParent(); group; group = group->getParent()) {
        if (group->getTag() == 1)
            return true;
    }
    return false;
}

template <class ItemList>
void collectPasswords(const ItemList& items, const QString* windowTitle,
                      QList<PasswordDatabase::Password*>& found)
{
    for (PasswordDatabase::Item* item : items) {
        if (!item)
            continue;
        if (item->isGroup()) {
            auto* group = static_cast<PasswordDatabase::Group*>(item);
            if (group->getTag() != 1)
                collectPasswords(group->getItems(), windowTitle, found);
            continue;
        }
        if (!item->isPassword())
            continue;
        auto* password = static_cast<PasswordDatabase::Password*>(item);
        if (!windowTitle || AutoTypeMatcher::matches(*password, *windowTitle))
            found.append(password);
    }
}

} // namespace

QStringList AutoTypeMatcher::windowPatterns(const QString& note)
{
    static const QString prefix = QStringLiteral("auto-type-window:");
    QStringList patterns;
    for (const QStringRef& line : note.splitRef(QLatin1Char('\n'))) {
        const QStringRef trimmed = line.trimmed();
        if (!trimmed.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString pattern = trimmed.mid(prefix.size()).trimmed().left(MaxTextLength).toString();
        if (!pattern.isEmpty())
            patterns.append(pattern);
    }
    return patterns;
}

QString AutoTypeMatcher::urlHost(const QString& url)
{
    const QString trimmed = url.trimmed();
    if (trimmed.isEmpty())
        return QString();
    QUrl parsed(trimmed, QUrl::TolerantMode);
    if (parsed.host().isEmpty())
        parsed = QUrl(QStringLiteral("https://") + trimmed, QUrl::TolerantMode);
    QString host = parsed.host().toLower();
    if (host.startsWith(QLatin1String("www.")))
        host = host.mid(4);
    return host;
}

bool AutoTypeMatcher::matches(const PasswordDatabase::Password& password, const QString& windowTitle)
{
    if (isInBackupGroup(password))
        return false;
    const QString title = windowTitle.left(MaxTextLength);
    if (title.trimmed().isEmpty())
        return false;
    const QString name = password.getName().trimmed();
    if (!name.isEmpty() && title.contains(name, Qt::CaseInsensitive))
        return true;
    const QString host = urlHost(password.getUrl());
    if (!host.isEmpty() && title.contains(host, Qt::CaseInsensitive))
        return true;
    for (const QString& pattern : windowPatterns(password.getNote())) {
        if (wildcardMatches(pattern, title))
            return true;
    }
    return false;
}

QList<PasswordDatabase::Password*> AutoTypeMatcher::matchingPasswords(const PasswordDatabase& database,
                                                                      const QString& windowTitle)
{
    QList<PasswordDatabase::Password*> found;
    if (windowTitle.trimmed().isEmpty())
        return found;
    collectPasswords(database.getItems(), &windowTitle, found);
    return found;
}

QList<PasswordDatabase::Password*> AutoTypeMatcher::allPasswords(const PasswordDatabase& database)
{
    QList<PasswordDatabase::Password*> found;
    collectPasswords(database.getItems(), nullptr, found);
    return found;
}
