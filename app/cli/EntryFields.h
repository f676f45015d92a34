#ifndef ENTRYFIELDS_H
#define ENTRYFIELDS_H

#include "app/database/PasswordDatabase.h"

#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>

// The entry fields as the command-line client names them: the field options
// of add and edit, the fields of show --field and of search --fields.
class EntryFields
{
    Q_DECLARE_TR_FUNCTIONS(EntryFields)

public:
    // The options add and edit take for fields (each with a value).
    static const QStringList& valueOptions();
    // Sets the fields named in `values` (option -> value, "name" included).
    // False, with `error` set and the entry possibly half changed, for an
    // expiry that is neither an ISO date nor "never", or an empty name.
    static bool apply(const QMap<QString, QString>& values, PasswordDatabase::Password& entry, QString& error);

    // Whether show --field knows `name`, and whether the field is printed
    // only with --show-secrets. False with `error` listing the fields.
    static bool isField(const QString& name, bool& secret, QString& error);
    // The value of a field isField() accepted.
    static QString value(const QString& name, const PasswordDatabase::Password& entry);

    // search --fields "name,url" as find flags; 0 with `error` set for a
    // field search cannot look in.
    static int findFlags(const QString& list, QString& error);
};

#endif // ENTRYFIELDS_H
