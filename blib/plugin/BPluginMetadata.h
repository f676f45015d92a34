#ifndef BPLUGINMETADATA_H
#define BPLUGINMETADATA_H

#include "blib/password/BOption.h"

#include <QIcon>
#include <QJsonObject>
#include <QString>

// A parsed plugin file: the manifest's members, the decoded icon, the file's
// path and the option definitions.
class BPluginMetadata
{
public:
    // The manifest format version this program reads.
    static constexpr int SupportedFormatVersion = 1;

    QString id;
    QString className;
    QString name;
    QString version;
    QString description;
    QString author;
    QIcon icon;
    QString path;
    QJsonObject data;
    QString settingsKey;
    BOption options;

    // Parses the plugin file at `path`. On the first failure `error` gets a
    // user-readable message and the result is false.
    bool load(const QString& path, QString& error);
};

#endif // BPLUGINMETADATA_H
