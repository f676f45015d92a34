#include "app/gui/EntryIconPackBuiltIn.h"

#include "blib/app/BResources.h"

#include <QFileInfo>
#include <QPixmap>

namespace {

const char* const iconNameList[] = {
    // general
    "web", "camera", "chat", "archive", "backup", "clock", "cmd", "spanner", "print", "monitor", "money",
    "mail", "key", "house", "gear", "floppydisk", "disc",
    // services and brands
    "airbnb", "amazon", "android", "apple", "behance", "blackberry", "blogger", "buffer", "codepen",
    "computer", "dailymotion", "dribbble", "dropbox", "ebay", "envato", "evernote", "facebook", "feedly",
    "flickr", "foursquare", "github", "googleplus", "google", "hanghout", "instagram", "invision",
    "lastfm", "linkedin", "medium", "messenger", "mobilephone", "paypal", "periscope", "photoshop",
    "pinterest", "producthunt", "reddit", "rss", "scoopit", "shopify", "sketchapp", "skype", "slack",
    "snapchat", "soundcloud", "spotify", "tinder", "trello", "tumblr", "twitter", "viadeo", "viber",
    "video", "vimeo", "vine", "whatsapp", "windowsphone", "wordpress", "yelp", "youtube",
    // payment cards
    "amex", "jcb", "dinners-club", "direct-debit", "discover", "solo", "maestro", "mastercard", "switch",
    "visa-electron", "visa", "cirrus",
};

} // namespace

EntryIconPackBuiltIn::EntryIconPackBuiltIn()
{
    initResources();
    const QStringList names = iconNames();
    m_icons.reserve(size_t(names.size()));
    for (const QString& name : names) {
        const QString path = QStringLiteral(":/image/entryicon/%1.png").arg(name);
        const QString id = QStringLiteral("tessavond.%1").arg(QFileInfo(path).baseName());
        m_icons.emplace_back(QPixmap(path), id);
    }
}

EntryIconPackBuiltIn::~EntryIconPackBuiltIn() = default;

QList<EntryIcon> EntryIconPackBuiltIn::icons() const
{
    QList<EntryIcon> list;
    list.reserve(int(m_icons.size()));
    for (const EntryIcon& icon : m_icons)
        list.append(icon);
    return list;
}

const EntryIcon* EntryIconPackBuiltIn::icon(const QString& id) const
{
    for (const EntryIcon& icon : m_icons) {
        if (icon.id == id)
            return &icon;
    }
    return nullptr;
}

QStringList EntryIconPackBuiltIn::iconNames()
{
    QStringList names;
    for (const char* name : iconNameList)
        names.append(QString::fromLatin1(name));
    return names;
}
