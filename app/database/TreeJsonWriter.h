#ifndef TREEJSONWRITER_H
#define TREEJSONWRITER_H

#include "app/database/PasswordDatabase.h"

#include <QByteArray>

// Writes a database's tree as JSON text straight from the model, without
// the toolkit's object tree in between. The text is exactly the compact
// form the toolkit gives for treeToJson(): members in ascending key order,
// the toolkit's escapes (\" \\ \b \f \n \r \t, \u00xx for other control
// characters and \uxxxx for a lone surrogate, everything else as UTF-8),
// integers in decimal.
//
// The size is measured in a first pass, so that the text is written once
// into storage of its final size: no growing buffer leaves a copy of it in
// freed memory.
class TreeJsonWriter
{
public:
    // {"deleted":[...],"groups":[...]} ("deleted" only for a version 4 vault
    // with deletions of the last PasswordDatabase::DeletionMemoryDays days).
    // Null when groups are nested deeper than PasswordDatabase::MaxGroupDepth.
    static QByteArray compactTree(const PasswordDatabase& db);

    // Appends the padded plaintext
    //   {"paddingStart": "<hex>", <body>, "paddingEnd": "<hex>"}
    // where the body is compactTree() without its outer braces and each
    // padding is randomBytes(randomInt() % (L / 5)) in lower-case hex, L
    // the body's length in UTF-16 units. `out` is grown once. False, with
    // `out` unchanged, when groups are nested too deeply.
    static bool appendPaddedTree(const PasswordDatabase& db, QByteArray& out);
};

#endif // TREEJSONWRITER_H
