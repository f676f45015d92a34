#ifndef BSETTINGS_H
#define BSETTINGS_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// Typed accessors over the user's settings store. Each call opens a fresh
// QSettings, reads or writes one key and closes it again; nothing is cached,
// and the default of a key is passed at every call site.

bool containsSetting(const QString& key);

bool boolSetting(const QString& key, bool defaultValue);
int intSetting(const QString& key, int defaultValue);
QString stringSetting(const QString& key, const QString& defaultValue);
QByteArray byteArraySetting(const QString& key);
// A settings array named by the key, one entry per element under "value".
QStringList stringListSetting(const QString& key);

void setBoolSetting(const QString& key, bool value);
void setIntSetting(const QString& key, int value);
void setStringSetting(const QString& key, const QString& value);
void setByteArraySetting(const QString& key, const QByteArray& value);
void setStringListSetting(const QString& key, const QStringList& list);

#endif // BSETTINGS_H
