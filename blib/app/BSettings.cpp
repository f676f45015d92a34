#include "blib/app/BSettings.h"

#include <QSettings>

bool containsSetting(const QString& key)
{
    QSettings settings;
    return settings.contains(key);
}

bool boolSetting(const QString& key, bool defaultValue)
{
    QSettings settings;
    return settings.value(key, defaultValue).toBool();
}

int intSetting(const QString& key, int defaultValue)
{
    QSettings settings;
    return settings.value(key, defaultValue).toInt();
}

QString stringSetting(const QString& key, const QString& defaultValue)
{
    QSettings settings;
    return settings.value(key, defaultValue).toString();
}

QByteArray byteArraySetting(const QString& key)
{
    QSettings settings;
    return settings.value(key).toByteArray();
}

QStringList stringListSetting(const QString& key)
{
    QSettings settings;
    QStringList list;
    const int size = settings.beginReadArray(key);
    list.reserve(size);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        list.append(settings.value(QStringLiteral("value")).toString());
    }
    settings.endArray();
    return list;
}

void setBoolSetting(const QString& key, bool value)
{
    QSettings settings;
    settings.setValue(key, value);
}

void setIntSetting(const QString& key, int value)
{
    QSettings settings;
    settings.setValue(key, value);
}

void setStringSetting(const QString& key, const QString& value)
{
    QSettings settings;
    settings.setValue(key, value);
}

void setByteArraySetting(const QString& key, const QByteArray& value)
{
    QSettings settings;
    settings.setValue(key, value);
}

void setStringListSetting(const QString& key, const QStringList& list)
{
    QSettings settings;
    // Drop the old elements first so that a shorter list leaves no stale tail.
    settings.remove(key);
    settings.beginWriteArray(key, list.size());
    for (int i = 0; i < list.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("value"), list.at(i));
    }
    settings.endArray();
}
