#include "app/cli/EntryFields.h"

#include "app/database/OtpAuthLink.h"
#include "blib/crypto/BWipe.h"

#include <QDateTime>

using Password = PasswordDatabase::Password;

namespace {

struct Field {
    const char* name;
    bool secret; // masked without --show-secrets
    QString (*value)(const Password&);
};

QString expiryText(const Password& entry)
{
    return entry.isNeverExpire() ? QStringLiteral("never") : entry.getExpireTime().toString(Qt::ISODate);
}

const Field fields[] = {
    { "name", false, [](const Password& e) { return e.getName(); } },
    { "group", false, [](const Password& e) { return e.getParent() ? e.getParent()->getFullName() : QString(); } },
    { "username", false, [](const Password& e) { return e.getUsername(); } },
    { "password", true, [](const Password& e) { return e.getPassword(); } },
    { "email", false, [](const Password& e) { return e.getEmailAddress(); } },
    { "phone", false, [](const Password& e) { return e.getPhoneNumber(); } },
    { "url", false, [](const Password& e) { return e.getUrl(); } },
    { "note", false, [](const Password& e) { return e.getNote(); } },
    { "icon", false, [](const Password& e) { return e.getIconId(); } },
    { "expires", false, expiryText },
    { "attachment", false,
      [](const Password& e) { return e.getAttachment().isValid() ? e.getAttachment().getFileName() : QString(); } },
};

// The fields the program's find bar looks in.
const struct {
    const char* name;
    int flag;
} searchFields[] = {
    { "name", PasswordDatabase::FindName }, { "username", PasswordDatabase::FindUsername },
    { "url", PasswordDatabase::FindUrl },   { "note", PasswordDatabase::FindNote },
    { "password", PasswordDatabase::FindPassword },
};

// Parses an ISO 8601 date ("2027-01-31") or date and time
// ("2027-01-31T12:00:00", local time unless a zone is given).
bool parseExpiry(const QString& text, QDateTime& result)
{
    QDateTime dateTime = QDateTime::fromString(text, Qt::ISODate);
    if (!dateTime.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return false;
        dateTime = date.startOfDay();
    }
    result = dateTime;
    return true;
}

} // namespace

const QStringList& EntryFields::valueOptions()
{
    static const QStringList options { QStringLiteral("username"), QStringLiteral("email"), QStringLiteral("phone"),
                                       QStringLiteral("url"),      QStringLiteral("note"),  QStringLiteral("expires"),
                                       QStringLiteral("totp") };
    return options;
}

bool EntryFields::apply(const QMap<QString, QString>& values, Password& entry, QString& error)
{
    if (values.contains(QStringLiteral("expires"))) {
        const QString value = values.value(QStringLiteral("expires"));
        if (value == QLatin1String("never")) {
            entry.setNeverExpire(true);
        } else {
            QDateTime expiry;
            if (!parseExpiry(value, expiry)) {
                error = tr("\"%1\" is not an ISO date such as 2027-01-31.").arg(value);
                return false;
            }
            entry.setNeverExpire(false);
            entry.setExpireTime(expiry);
        }
    }
    if (values.contains(QStringLiteral("name"))) {
        if (values.value(QStringLiteral("name")).isEmpty()) {
            error = tr("An entry must have a name.");
            return false;
        }
        entry.setName(values.value(QStringLiteral("name")));
    }
    if (values.contains(QStringLiteral("username")))
        entry.setUsername(values.value(QStringLiteral("username")));
    if (values.contains(QStringLiteral("email")))
        entry.setEmailAddress(values.value(QStringLiteral("email")));
    if (values.contains(QStringLiteral("phone")))
        entry.setPhoneNumber(values.value(QStringLiteral("phone")));
    if (values.contains(QStringLiteral("url")))
        entry.setUrl(values.value(QStringLiteral("url")));
    if (values.contains(QStringLiteral("note")))
        entry.setNote(values.value(QStringLiteral("note")));
    if (values.contains(QStringLiteral("totp"))) {
        // A bare secret is named as the program's set-up dialog names it.
        OtpAuthLink link;
        link.setIssuer(entry.getName());
        link.setLabel(entry.getUsername().isEmpty() ? entry.getName()
                                                    : entry.getName() + QLatin1Char(':') + entry.getUsername());
        QString problem;
        if (!link.parseLinkOrSecret(values.value(QStringLiteral("totp")), &problem)) {
            error = tr("The value of --totp is neither an otpauth://totp/ link nor a Base32 secret: %1").arg(problem);
            return false;
        }
        QString text = link.toString();
        entry.setNote(OtpAuthLink::noteWithLink(entry.getNote(), text));
        wipe(text);
    }
    return true;
}

bool EntryFields::isField(const QString& name, bool& secret, QString& error)
{
    QStringList names;
    for (const Field& field : fields) {
        if (name == QLatin1String(field.name)) {
            secret = field.secret;
            return true;
        }
        names.append(QLatin1String(field.name));
    }
    error = tr("Unknown field \"%1\"; the fields are %2.").arg(name, names.join(QLatin1String(", ")));
    return false;
}

QString EntryFields::value(const QString& name, const Password& entry)
{
    for (const Field& field : fields) {
        if (name == QLatin1String(field.name))
            return field.value(entry);
    }
    return QString();
}

int EntryFields::findFlags(const QString& list, QString& error)
{
    int flags = 0;
    for (const QString& name : list.split(QLatin1Char(','))) {
        int flag = 0;
        for (const auto& field : searchFields) {
            if (name.trimmed() == QLatin1String(field.name))
                flag = field.flag;
        }
        if (!flag) {
            error = tr("Unknown search field \"%1\"; the fields are name, username, url, note and password.").arg(name);
            return 0;
        }
        flags |= flag;
    }
    return flags;
}
