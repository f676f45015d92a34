#ifndef BWIPE_H
#define BWIPE_H

#include <QByteArray>
#include <QString>

// Overwrites the text's (or array's) own storage with zeros, detaching it
// first so that another holder of a shared copy keeps its data. The object
// keeps its length; only the contents are zeroed.
void zeroFill(QString& text);
void zeroFill(QByteArray& bytes);

// zeroFill(), then empty the object: what a secret goes through before its
// storage is released.
void wipe(QString& text);
void wipe(QByteArray& bytes);

#endif // BWIPE_H
