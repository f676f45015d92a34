// The shipped passphrase generator plugin: the packed file loads, its
// options are honoured, its words come from the EFF list it carries, and the
// words are drawn uniformly and independently.
#include "blib/app/BApplicationIdentity.h"
#include "blib/plugin/BPasswordGeneratorPlugin.h"
#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString shippedPluginPath()
{
    return QDir(qEnvironmentVariable("LH_BINARY_DIR")).filePath(QStringLiteral("plugins/passphrase-generator.tvp"));
}

QString sourceFile(const QString& name)
{
    return QDir(QStringLiteral(LH_SOURCE_DIR)).filePath(QStringLiteral("plugins/passphrase-generator/") + name);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The words of a list as the EFF file holds them: "DICE<tab>WORD" lines.
QSet<QString> listWords(const QByteArray& text)
{
    QSet<QString> words;
    for (const QString& line : QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (!fields.isEmpty())
            words.insert(fields.last());
    }
    return words;
}

// Pearson's statistic of observed counts against equal expected counts.
double chiSquare(const QVector<int>& counts)
{
    qint64 total = 0;
    for (int count : counts)
        total += count;
    const double expected = double(total) / counts.size();
    double sum = 0;
    for (int count : counts)
        sum += (count - expected) * (count - expected) / expected;
    return sum;
}

} // namespace

class tst_PassphraseGenerator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void shippedFileCarriesListAndAttribution();
    void optionsAreHonoured();
    void wordsAreDrawnUniformlyAndIndependently();

private:
    BPasswordGeneratorPlugin* load(const QString& path);

    QTemporaryDir m_dir;
    QList<BPlugin*> m_created;
};

void tst_PassphraseGenerator::initTestCase()
{
    applyApplicationIdentity();
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(shippedPluginPath()), qPrintable(shippedPluginPath() + " is not built"));
    BPasswordGeneratorPlugin::registerPluginFactory();
}

void tst_PassphraseGenerator::init()
{
    QSettings().remove(QStringLiteral("blib.plugin.tessavond.passphrase-1.0"));
}

void tst_PassphraseGenerator::cleanup()
{
    for (BPlugin* plugin : qAsConst(m_created))
        unloadPlugin(plugin);
    m_created.clear();
}

void tst_PassphraseGenerator::cleanupTestCase()
{
    BPasswordGeneratorPlugin::unregisterPluginFactory();
}

BPasswordGeneratorPlugin* tst_PassphraseGenerator::load(const QString& path)
{
    BPluginMetadata metadata;
    QString error;
    BPlugin* plugin = metadata.load(path, error) ? createPlugin(metadata, error) : nullptr;
    if (!plugin) {
        qWarning("%s: %s", qPrintable(path), qPrintable(error));
        return nullptr;
    }
    m_created.append(plugin);
    return dynamic_cast<BPasswordGeneratorPlugin*>(plugin);
}

void tst_PassphraseGenerator::shippedFileCarriesListAndAttribution()
{
    BPasswordGeneratorPlugin* plugin = load(shippedPluginPath());
    QVERIFY(plugin);
    QCOMPARE(plugin->id(), QStringLiteral("tessavond.passphrase"));
    QCOMPARE(plugin->className(), QStringLiteral("tessavond.password_generator"));
    QVERIFY(!plugin->icon().isNull());
    for (const char* needle : { "EFF", "https://www.eff.org/dice", "CC BY 3.0 US" })
        QVERIFY2(plugin->description().contains(QLatin1String(needle)), needle);

    QByteArray readme;
    QVERIFY(BPluginArchive::readEntry(plugin->path(), QStringLiteral("README.txt"), readme));
    for (const char* needle : { "Electronic Frontier Foundation", "https://www.eff.org/dice", "CC BY 3.0 US" })
        QVERIFY2(readme.contains(needle), needle);

    QByteArray list;
    QVERIFY(BPluginArchive::readEntry(plugin->path(), QStringLiteral("eff_large_wordlist.txt"), list));
    QCOMPARE(listWords(list).size(), 7776);

    // The defaults: six lower-case words joined by hyphens (a few EFF words
    // carry a hyphen of their own).
    const QString passphrase = plugin->generatePassword();
    QVERIFY2(QRegularExpression("^[a-z]+(-[a-z]+){5,}$").match(passphrase).hasMatch(), qPrintable(passphrase));
    // The whole list was read, dice numbers and all.
    QVERIFY2(plugin->log().contains("Word list loaded: 7776 words"), qPrintable(plugin->log()));
}

void tst_PassphraseGenerator::optionsAreHonoured()
{
    BPasswordGeneratorPlugin* plugin = load(shippedPluginPath());
    QVERIFY(plugin);
    QByteArray list;
    QVERIFY(BPluginArchive::readEntry(plugin->path(), QStringLiteral("eff_large_wordlist.txt"), list));
    const QSet<QString> words = listWords(list);

    BOption* options = plugin->options();
    QCOMPARE(options->findOption("wordCount")->intValue(), 6);
    options->option("separator")->setString(QStringLiteral(" :: "));

    struct Case {
        int count;
        const char* capitalisation;
        bool digit;
    };
    for (const Case& c : { Case { 3, "none", false }, Case { 20, "first", false }, Case { 7, "all", true },
                           Case { 4, "first", true } }) {
        options->option("wordCount")->setInt(c.count);
        options->option("capitalisation")->setChoice(QString::fromLatin1(c.capitalisation));
        options->option("appendDigit")->setBool(c.digit);
        QCOMPARE(options->findOption("capitalisation")->choiceValue(), QString::fromLatin1(c.capitalisation));
        for (int round = 0; round < 20; ++round) {
            QString passphrase = plugin->generatePassword();
            if (c.digit) {
                QVERIFY2(!passphrase.isEmpty() && passphrase.back().isDigit(), qPrintable(passphrase));
                passphrase.chop(1);
            }
            const QStringList parts = passphrase.split(QStringLiteral(" :: "));
            QCOMPARE(parts.size(), c.count);
            for (const QString& part : parts) {
                const QString word = part.toLower();
                QVERIFY2(words.contains(word), qPrintable(part));
                QString expected = word;
                if (qstrcmp(c.capitalisation, "all") == 0)
                    expected = word.toUpper();
                else if (qstrcmp(c.capitalisation, "first") == 0)
                    expected[0] = word.at(0).toUpper();
                QCOMPARE(part, expected);
            }
        }
    }

    // No separator at all: the words run together.
    options->option("separator")->setString(QString());
    options->option("wordCount")->setInt(3);
    options->option("capitalisation")->setChoice(QStringLiteral("all"));
    options->option("appendDigit")->setBool(false);
    const QString joined = plugin->generatePassword();
    QVERIFY2(QRegularExpression("^[A-Z-]{9,}$").match(joined).hasMatch(), qPrintable(joined));
}

void tst_PassphraseGenerator::wordsAreDrawnUniformlyAndIndependently()
{
    // The shipped script and manifest with a list of 40 words in every line
    // form the script accepts: with dice numbers, bare, padded, with CR LF,
    // and a blank line and a repeated word that must not count twice.
    constexpr int wordCount = 40;
    QStringList words;
    QByteArray list;
    for (int i = 0; i < wordCount; ++i) {
        const QString word = QStringLiteral("zq%1%2").arg(QChar('a' + i / 26)).arg(QChar('a' + i % 26));
        words << word;
        if (i % 3 == 0)
            list += QStringLiteral("1%1%2%3%4\t%5\n").arg(1 + i % 6).arg(1 + i / 6 % 6).arg(6).arg(2).arg(word).toUtf8();
        else if (i % 3 == 1)
            list += word.toUtf8() + "\r\n";
        else
            list += "  6666 " + word.toUtf8() + "  \n\n";
    }
    list += "11111\t" + words.first().toUtf8() + "\n";

    const QByteArray manifest = readFile(sourceFile(QStringLiteral("manifest.json")));
    const QByteArray script = readFile(sourceFile(QStringLiteral("passphrase.lua")));
    QVERIFY(!manifest.isEmpty() && !script.isEmpty());
    PluginArchiveBuilder builder;
    builder.add(QStringLiteral("manifest.json"), manifest);
    builder.add(QStringLiteral("icon.png"), PluginArchiveBuilder::pngIcon());
    builder.add(QStringLiteral("passphrase.lua"), script);
    builder.add(QStringLiteral("eff_large_wordlist.txt"), list);
    const QString path = m_dir.filePath(QStringLiteral("small-list.tvp"));
    QVERIFY(builder.write(path));
    BPasswordGeneratorPlugin* plugin = load(path);
    QVERIFY(plugin);

    BOption* options = plugin->options();
    options->option("wordCount")->setInt(20);
    options->option("separator")->setString(QStringLiteral(" "));

    // 1000 passphrases of 20 words: 20000 draws, 500 expected per word. The
    // second count is of the step from each word to the next (mod 40),
    // 19000 pairs: it is uniform only when neighbouring words are drawn
    // independently.
    QHash<QString, int> index;
    for (int i = 0; i < wordCount; ++i)
        index.insert(words.at(i), i);
    QVector<int> counts(wordCount, 0);
    QVector<int> steps(wordCount, 0);
    for (int round = 0; round < 1000; ++round) {
        const QStringList drawn = plugin->generatePassword().split(QLatin1Char(' '));
        QCOMPARE(drawn.size(), 20);
        int previous = -1;
        for (const QString& word : drawn) {
            QVERIFY2(index.contains(word), qPrintable(word));
            const int current = index.value(word);
            ++counts[current];
            if (previous >= 0)
                ++steps[(current - previous + wordCount) % wordCount];
            previous = current;
        }
    }
    // Every distinct word was read, each once, and nothing else.
    QVERIFY2(plugin->log().contains("Word list loaded: 40 words"), qPrintable(plugin->log()));

    // With 39 degrees of freedom a uniform draw exceeds 100 with a
    // probability below one in a million. A script that never draws one of
    // the words, or favours some (as "random byte mod 40" favours the first
    // 16), lands far above.
    const double words2 = chiSquare(counts);
    const double steps2 = chiSquare(steps);
    QVERIFY2(words2 < 100.0, qPrintable(QStringLiteral("words: chi-square %1").arg(words2)));
    QVERIFY2(steps2 < 100.0, qPrintable(QStringLiteral("steps: chi-square %1").arg(steps2)));
}

QTEST_MAIN(tst_PassphraseGenerator)
#include "tst_passphrasegenerator.moc"
