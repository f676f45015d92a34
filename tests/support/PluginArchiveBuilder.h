#ifndef PLUGINARCHIVEBUILDER_H
#define PLUGINARCHIVEBUILDER_H

// Builds plugin files for tests: a ZIP archive with a manifest, an icon and
// any other entries, written with libzip.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <zip.h>

class PluginArchiveBuilder
{
public:
    // A manifest every check accepts, for a plugin of class `className`.
    static QJsonObject manifest(const QString& id = QStringLiteral("test.plugin"),
                                const QString& className = QStringLiteral("test.kind"),
                                const QString& version = QStringLiteral("1.0"))
    {
        QJsonObject object;
        object.insert(QStringLiteral("format_version"), 1);
        object.insert(QStringLiteral("id"), id);
        object.insert(QStringLiteral("class"), className);
        object.insert(QStringLiteral("name"), QStringLiteral("Test Plugin"));
        object.insert(QStringLiteral("version"), version);
        object.insert(QStringLiteral("author"), QStringLiteral("Tests"));
        object.insert(QStringLiteral("description"), QStringLiteral("A plugin built by a test."));
        object.insert(QStringLiteral("icon"), QStringLiteral("icon.png"));
        object.insert(QStringLiteral("data"), QJsonObject());
        object.insert(QStringLiteral("options"), QJsonArray());
        return object;
    }

    static QByteArray pngIcon()
    {
        QImage image(8, 8, QImage::Format_ARGB32);
        image.fill(0xff3366cc);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    // An archive with `manifest` and the PNG icon "icon.png".
    static PluginArchiveBuilder standard(const QJsonObject& manifestObject = manifest())
    {
        PluginArchiveBuilder builder;
        builder.add(QStringLiteral("manifest.json"), QJsonDocument(manifestObject).toJson());
        builder.add(QStringLiteral("icon.png"), pngIcon());
        return builder;
    }

    void add(const QString& name, const QByteArray& data, bool deflate = true)
    {
        m_entries.append({ name, { data, deflate } });
    }

    QByteArray bytes() const
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* sink = zip_source_buffer_create(nullptr, 0, 0, &error);
        zip_t* archive = sink ? zip_open_from_source(sink, ZIP_TRUNCATE, &error) : nullptr;
        zip_error_fini(&error);
        if (!archive) {
            if (sink)
                zip_source_free(sink);
            return QByteArray();
        }
        zip_source_keep(sink);
        for (const auto& entry : m_entries) {
            zip_source_t* source = zip_source_buffer(archive, entry.second.first.constData(),
                                                     zip_uint64_t(entry.second.first.size()), 0);
            const zip_int64_t index =
                zip_file_add(archive, entry.first.toUtf8().constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
            if (index < 0) {
                zip_source_free(source);
                continue;
            }
            zip_set_file_compression(archive, zip_uint64_t(index),
                                     entry.second.second ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        }
        QByteArray result;
        if (zip_close(archive) != 0) {
            zip_discard(archive);
        } else if (zip_source_open(sink) == 0) {
            char chunk[4096];
            zip_int64_t got;
            while ((got = zip_source_read(sink, chunk, sizeof chunk)) > 0)
                result.append(chunk, int(got));
            zip_source_close(sink);
        }
        zip_source_free(sink);
        return result;
    }

    bool write(const QString& path) const
    {
        const QByteArray data = bytes();
        QFile file(path);
        return !data.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate)
               && file.write(data) == data.size();
    }

private:
    QList<QPair<QString, QPair<QByteArray, bool>>> m_entries;
};

#endif // PLUGINARCHIVEBUILDER_H
