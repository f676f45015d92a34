#include "blib/plugin/BPluginMetadata.h"

#include "blib/plugin/BPluginArchive.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPixmap>
#include <cmath>
#include <limits>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BPluginMetadata", text);
}

qint64 maximumEntryMiB()
{
    return BPluginArchive::MaximumEntrySize / (1024 * 1024);
}

} // namespace

bool BPluginMetadata::load(const QString& filePath, QString& error)
{
    path = filePath;
    settingsKey = QStringLiteral("blib.plugin.%1").arg(QFileInfo(filePath).baseName());

    BPluginArchive archive;
    if (!archive.open(filePath)) {
        error = tr("Plugin file is not valid.");
        return false;
    }
    QByteArray manifestText;
    switch (archive.read(QStringLiteral("manifest.json"), manifestText)) {
    case BPluginArchive::Result::Ok:
        break;
    case BPluginArchive::Result::Missing:
        error = tr("Plugin does not contain manifest.json.");
        return false;
    case BPluginArchive::Result::Unreadable:
        error = tr("manifest.json in the plugin is damaged or larger than %1 MiB.").arg(maximumEntryMiB());
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(manifestText, &parseError);
    if (!document.isObject()) {
        error = tr("Failed to parse JSON file manifest.json: %1 (char %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset);
        return false;
    }
    const QJsonObject manifest = document.object();

    const QJsonValue formatVersion = manifest.value(QStringLiteral("format_version"));
    if (!formatVersion.isDouble()) {
        error = tr("manifest.json 'format_version' is not a number.");
        return false;
    }
    // 2.5 or 1e10 would read as some other integer; only a whole number
    // the application can hold is a version.
    const double number = formatVersion.toDouble();
    if (!(number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max())
        || std::floor(number) != number) {
        error = tr("manifest.json 'format_version' is not a whole number.");
        return false;
    }
    const int version = int(number);
    if (version > SupportedFormatVersion) {
        error = tr("Specified plugin version (%1) is too new for the application (%2)")
                    .arg(version)
                    .arg(SupportedFormatVersion);
        return false;
    }

    static const char* const stringKeys[] = { "id", "class", "name", "version", "author", "description", "icon" };
    QString strings[7];
    for (int i = 0; i < 7; ++i) {
        const QJsonValue value = manifest.value(QLatin1String(stringKeys[i]));
        if (!value.isString()) {
            error = tr("manifest.json '%1' is not a string.").arg(QLatin1String(stringKeys[i]));
            return false;
        }
        strings[i] = value.toString();
    }
    id = strings[0];
    className = strings[1];
    name = strings[2];
    this->version = strings[3];
    author = strings[4];
    description = strings[5];
    const QString iconName = strings[6];

    QByteArray iconData;
    switch (archive.read(iconName, iconData)) {
    case BPluginArchive::Result::Ok:
        break;
    case BPluginArchive::Result::Missing:
        error = tr("Icon file '%1' missing from plugin.").arg(iconName);
        return false;
    case BPluginArchive::Result::Unreadable:
        error = tr("Icon file '%1' in the plugin is damaged or larger than %2 MiB.").arg(iconName).arg(maximumEntryMiB());
        return false;
    }
    QImage image;
    if (!image.loadFromData(iconData) || image.isNull()) {
        error = tr("Failed to load icon file '%1' as an image.").arg(iconName);
        return false;
    }
    // Pixmaps need a GUI application; a command-line client reads the
    // plugin without showing its icon.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        icon = QIcon(QPixmap::fromImage(image));

    const QJsonValue dataValue = manifest.value(QStringLiteral("data"));
    if (!dataValue.isObject()) {
        error = tr("manifest.json 'data' is not an object.");
        return false;
    }
    data = dataValue.toObject();

    const QJsonValue optionsValue = manifest.value(QStringLiteral("options"));
    if (!optionsValue.isArray()) {
        error = tr("manifest.json 'options' is not an array.");
        return false;
    }
    options = BOption();
    const QString definitions = QString::fromUtf8(QJsonDocument(optionsValue.toArray()).toJson(QJsonDocument::Compact));
    if (!options.loadDefinition(definitions)) {
        error = tr("manifest.json 'options' data is corrupted.");
        return false;
    }
    return true;
}
