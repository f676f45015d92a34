// Hostile plugin files: thousands of seeded mutations of a valid plugin
// archive and of its manifest go through the metadata reader. Nothing may
// crash (this test also runs under AddressSanitizer), a refusal always comes
// with a message, and whatever is accepted carries every manifest string.

#include "blib/plugin/BPluginMetadata.h"
#include "support/PluginArchiveBuilder.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Fixed seeds: a failure names its case and can be replayed.
constexpr quint32 Seed = 20261208;
constexpr int ArchiveMutations = 600;
constexpr int ManifestMutations = 600;

QByteArray mutate(QByteArray bytes, QRandomGenerator& random, bool json)
{
    static const QByteArray tokens[] = { "{", "}", "[", "]", "\"", ",", ":", "null", "true", "1e308", "-1",
                                         "\"\\u0000\"", "[]", "{}", "2147483648", "\\", "\xff\xff\xff\xff",
                                         "PK\x03\x04", "PK\x01\x02", "PK\x05\x06" };
    const int edits = 1 + random.bounded(4);
    for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
        const int at = random.bounded(bytes.size());
        switch (random.bounded(json ? 5 : 6)) {
        case 0:
            bytes[at] = char(bytes.at(at) ^ (1 << random.bounded(8)));
            break;
        case 1:
            bytes.insert(at, char(random.bounded(256)));
            break;
        case 2:
            bytes.remove(at, 1 + random.bounded(qMin(16, bytes.size() - at)));
            break;
        case 3: {
            const int length = 1 + random.bounded(qMin(32, bytes.size() - at));
            bytes.insert(at, bytes.mid(at, length));
            break;
        }
        case 4: {
            const QByteArray& token = tokens[random.bounded(int(sizeof tokens / sizeof tokens[0]))];
            bytes.insert(at, token);
            break;
        }
        case 5:
            // A random 32-bit field: sizes and offsets of the archive's records.
            if (at + 4 <= bytes.size()) {
                const quint32 value = random.generate();
                memcpy(bytes.data() + at, &value, 4);
            }
            break;
        }
    }
    return bytes;
}

} // namespace

class TestBPluginMetadataMutation : public QObject
{
    Q_OBJECT

private slots:
    void mutatedArchives();
    void mutatedManifests();

private:
    void check(const QByteArray& archive, const QString& context);

    QTemporaryDir m_dir;
    int m_accepted = 0;
};

void TestBPluginMetadataMutation::check(const QByteArray& archive, const QString& context)
{
    const QString path = m_dir.filePath(QStringLiteral("fuzz.tvp"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(archive), qint64(archive.size()));
    file.close();

    BPluginMetadata metadata;
    QString error;
    if (metadata.load(path, error)) {
        ++m_accepted;
        QVERIFY2(!metadata.icon.isNull(), qPrintable(context));
    } else {
        QVERIFY2(!error.isEmpty(), qPrintable(context));
    }
}

void TestBPluginMetadataMutation::mutatedArchives()
{
    QJsonObject manifest = PluginArchiveBuilder::manifest();
    manifest.insert(QStringLiteral("options"),
                    QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("flag") },
                                               { QStringLiteral("type"), QStringLiteral("bool") },
                                               { QStringLiteral("visibleInGUI"), true },
                                               { QStringLiteral("value"), true } } });
    PluginArchiveBuilder stored;
    stored.add(QStringLiteral("manifest.json"), QJsonDocument(manifest).toJson(), false);
    stored.add(QStringLiteral("icon.png"), PluginArchiveBuilder::pngIcon(), false);
    const QByteArray originals[] = { PluginArchiveBuilder::standard(manifest).bytes(), stored.bytes() };

    m_accepted = 0;
    QRandomGenerator random(Seed);
    for (int i = 0; i < ArchiveMutations; ++i) {
        const QByteArray& original = originals[i % 2];
        check(mutate(original, random, false), QStringLiteral("archive mutation %1").arg(i));
        if (QTest::currentTestFailed())
            return;
    }
    // Some mutations touch bytes the reader does not look at.
    QVERIFY(m_accepted > 0);
}

void TestBPluginMetadataMutation::mutatedManifests()
{
    QJsonObject object = PluginArchiveBuilder::manifest();
    object.insert(QStringLiteral("data"), QJsonObject { { QStringLiteral("script"), QStringLiteral("main.lua") } });
    object.insert(QStringLiteral("options"),
                  QJsonArray { QJsonObject { { QStringLiteral("name"), QStringLiteral("mode") },
                                             { QStringLiteral("type"), QStringLiteral("choice") },
                                             { QStringLiteral("visibleInGUI"), true },
                                             { QStringLiteral("choice"), QJsonObject { { QStringLiteral("value"), QStringLiteral("a") },
                                                                                       { QStringLiteral("title"), QStringLiteral("A") } } },
                                             { QStringLiteral("choices"), QJsonArray { QJsonObject { { QStringLiteral("value"), QStringLiteral("a") },
                                                                                                     { QStringLiteral("title"), QStringLiteral("A") } } } } },
                               QJsonObject { { QStringLiteral("name"), QStringLiteral("size") },
                                             { QStringLiteral("type"), QStringLiteral("double") },
                                             { QStringLiteral("visibleInGUI"), false },
                                             { QStringLiteral("value"), 1.5 },
                                             { QStringLiteral("min"), 0 },
                                             { QStringLiteral("max"), 3 } } });
    const QByteArray manifest = QJsonDocument(object).toJson();

    m_accepted = 0;
    const QByteArray icon = PluginArchiveBuilder::pngIcon();
    QRandomGenerator random(Seed + 1);
    for (int i = 0; i < ManifestMutations; ++i) {
        PluginArchiveBuilder builder;
        builder.add(QStringLiteral("manifest.json"), mutate(manifest, random, true));
        builder.add(QStringLiteral("icon.png"), icon);
        check(builder.bytes(), QStringLiteral("manifest mutation %1").arg(i));
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY(m_accepted > 0);
}

QTEST_MAIN(TestBPluginMetadataMutation)
#include "tst_bpluginmetadatamutation.moc"
