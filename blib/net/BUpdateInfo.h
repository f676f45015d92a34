#ifndef BUPDATEINFO_H
#define BUPDATEINFO_H

#include <QString>

// What the update check learnt: the latest published version and its
// change log (plain text, one line per line feed).
struct BUpdateInfo
{
    QString latestVersion;
    QString changeLog;
};

#endif // BUPDATEINFO_H
