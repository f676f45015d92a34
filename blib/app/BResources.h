#ifndef BRESOURCES_H
#define BRESOURCES_H

#include <QIcon>
#include <QString>

// Numbered compiled-in resources: ids 200-252 are themed icons, 150-153
// the documents (change log, EULA, zxcvbn and Qt licences).

// Resource path of `id`, or the empty string for an unknown id.
QString resourcePath(int id);
// Icon at resourcePath(id); an empty path gives an empty icon.
QIcon resourceIcon(int id);
// UTF-8 text of the resource at resourcePath(id), empty if it cannot be read.
QString resourceText(int id);

// The icon theme ("light" or "dark") whose folder themed icons come from.
void setIconTheme(const QString& theme);
QString iconTheme();

// Makes the compiled-in resources available; called by every function above,
// and safe to call from anywhere, any number of times.
void initResources();

#endif // BRESOURCES_H
