// Hostile import files: thousands of seeded mutations of the sample CSV and
// KeePass XML exports go through the shipped importer plugins. Nothing may
// crash (this test also runs under AddressSanitizer); every import either
// succeeds with a well-formed tree or fails with a message, and a failure
// leaves the plugin able to import the next file.

#include "app/database/PasswordDatabase.h"
#include "support/ShippedLoaders.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// Fixed seeds: a failure names its case and can be replayed.
constexpr quint32 Seed = 20261208;
constexpr int MutationsPerSample = 500;

QByteArray mutate(QByteArray bytes, QRandomGenerator& random, bool xml)
{
    static const QByteArray csvTokens[] = { ",", "\"", "\"\"", "\r\n", "\n", "\r", ";", "\t", "\xEF\xBB\xBF",
                                            "/", "//", "2038-01-19T03:14:08Z", "-99999999999999", "\xff\xfe",
                                            QByteArray("\0", 1), "\xF0\x9F\x94\x91", "\xC3" };
    static const QByteArray xmlTokens[] = { "<", ">", "&", "&amp;", "&#x110000;", "&#65;", "&#xD800;", "<![CDATA[",
                                            "]]>", "<!--", "-->", "<?", "?>", "</Group>", "<Group>", "<Entry>",
                                            "</Entry>", "<History>", "<Value/>", "'", "\"", "=", "/>",
                                            "<Expires>True</Expires>", "<ExpiryTime>AAAAAAAAAIA=</ExpiryTime>",
                                            "\xff", QByteArray("\0", 1), "\xF0\x9F\x94\x91" };
    const int edits = 1 + random.bounded(4);
    for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
        const int at = random.bounded(bytes.size());
        switch (random.bounded(5)) {
        case 0:
            bytes[at] = char(bytes.at(at) ^ (1 << random.bounded(8)));
            break;
        case 1:
            bytes.insert(at, char(random.bounded(256)));
            break;
        case 2:
            bytes.remove(at, 1 + random.bounded(qMin(24, bytes.size() - at)));
            break;
        case 3: {
            const int length = 1 + random.bounded(qMin(64, bytes.size() - at));
            bytes.insert(random.bounded(bytes.size()), bytes.mid(at, length));
            break;
        }
        case 4:
            if (xml)
                bytes.insert(at, xmlTokens[random.bounded(int(sizeof xmlTokens / sizeof xmlTokens[0]))]);
            else
                bytes.insert(at, csvTokens[random.bounded(int(sizeof csvTokens / sizeof csvTokens[0]))]);
            break;
        }
    }
    return bytes;
}

// Every item of an accepted import hangs in the tree it was listed from.
bool wellFormed(const PasswordDatabase& database, QString& problem)
{
    for (PasswordDatabase::Group* group : database.getItems()) {
        if (group->getParent() != nullptr) {
            problem = QStringLiteral("top-level group with a parent");
            return false;
        }
        for (PasswordDatabase::Item* item : group->getAllItems()) {
            PasswordDatabase::Group* parent = item->getParent();
            if (!parent || !parent->getItems().contains(item)) {
                problem = QStringLiteral("item %1 is not in its parent's list").arg(item->getName());
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestShippedImporterMutation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void mutatedCsv();
    void mutatedXml();

private:
    void run(PasswordDatabaseLoaderPlugin* plugin, const QStringList& samples, const QString& extension, quint32 seed);

    RecordingScriptUserInterface m_ui;
    LoaderPluginFixture::LoaderPointer m_csvLoader;
    LoaderPluginFixture::LoaderPointer m_xmlLoader;
    PasswordDatabaseLoaderPlugin* m_csv = nullptr;
    PasswordDatabaseLoaderPlugin* m_xml = nullptr;
};

void TestShippedImporterMutation::initTestCase()
{
    QString error;
    m_csvLoader = ShippedLoaders::load(QStringLiteral("csv-import"), error);
    QVERIFY2(m_csvLoader, qPrintable(error));
    m_xmlLoader = ShippedLoaders::load(QStringLiteral("keepass-xml-import"), error);
    QVERIFY2(m_xmlLoader, qPrintable(error));
    m_csv = m_csvLoader.get();
    m_xml = m_xmlLoader.get();
}

void TestShippedImporterMutation::run(PasswordDatabaseLoaderPlugin* plugin, const QStringList& samples,
                                      const QString& extension, quint32 seed)
{
    QRandomGenerator random(seed);
    int accepted = 0;
    int refused = 0;
    int longestAlert = 0;
    for (const QString& name : samples) {
        const QByteArray original = ShippedLoaders::sample(name);
        QVERIFY2(!original.isEmpty(), qPrintable(name));
        for (int i = 0; i < MutationsPerSample; ++i) {
            const QByteArray data = mutate(original, random, extension == QLatin1String("xml"));
            const QString context = QStringLiteral("%1 mutation %2").arg(name).arg(i);
            m_ui.clear();
            PasswordDatabase database;
            database.setName(QStringLiteral("Fuzzed"));
            if (plugin->loadDatabase(data, extension, database)) {
                ++accepted;
                QString problem;
                QVERIFY2(wellFormed(database, problem), qPrintable(context + ": " + problem));
                QVERIFY2(m_ui.warnings.size() <= 1 && m_ui.others.isEmpty(), qPrintable(context));
                for (const QString& warning : m_ui.warnings)
                    longestAlert = qMax(longestAlert, warning.size());
            } else {
                ++refused;
                QVERIFY2(!plugin->lastError().isEmpty(), qPrintable(context));
                QVERIFY2(m_ui.warnings.isEmpty() && m_ui.others.isEmpty(), qPrintable(context));
            }
        }
    }
    // Both outcomes occur: the mutations neither all break nor all spare
    // the files.
    QVERIFY(accepted > 0);
    QVERIFY(refused > 0);
    QVERIFY2(longestAlert < 8000, qPrintable(QString::number(longestAlert)));

    // The plugin still works after all that.
    PasswordDatabase database;
    QVERIFY2(plugin->loadDatabase(ShippedLoaders::sample(samples.first()), extension, database),
             qPrintable(plugin->lastError()));
    QVERIFY(!database.getItems().isEmpty());
}

void TestShippedImporterMutation::mutatedCsv()
{
    run(m_csv, { "manager-export.csv", "malformed.csv", "semicolon-expiry.csv" }, "csv", Seed);
}

void TestShippedImporterMutation::mutatedXml()
{
    run(m_xml, { "keepass-export.xml" }, "xml", Seed + 1);
}

QTEST_MAIN(TestShippedImporterMutation)
#include "tst_shippedimportermutation.moc"
