// The random generator: character sets, uniform draws, the settings
// override, and the process-wide generator list.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/password/BPasswordGeneratorRandom.h"

#include <QSet>
#include <QSettings>
#include <QtTest>

class tst_BPasswordGenerator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void defaultOptions();
    void characterSets();
    void everyCharacterOfTheSetOccurs();
    void valuesInTheBiasedTailAreRejected();
    void settingsOverride();
    void overrideLengthBounded();
    void overrideLackingOptionsKeepsDefaults();
    void generatorListKeepsRegistrationOrder();
};

namespace {

const QString allCharacters = QStringLiteral(
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-_!@#$%^&*()+=[]{};:,./<>?");

const char* const flagNames[] = { "useLowercaseLetters", "useUppercaseLetters", "useNumbers",
                                  "useMinus",            "useUnderscore",       "useSpecialCharacters" };

void setOnly(BOption& options, const QStringList& on)
{
    for (const char* name : flagNames)
        options.option(QLatin1String(name))->setBool(on.contains(QLatin1String(name)));
}

class NamedGenerator : public BPasswordGenerator
{
public:
    explicit NamedGenerator(const QString& name)
        : BPasswordGenerator(name)
    {
    }
    QString generatePassword() override { return name(); }
    BOption* options() override { return &m_options; }

private:
    BOption m_options;
};

} // namespace

void tst_BPasswordGenerator::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BPasswordGenerator::init()
{
    QSettings().remove("app.passwordGenerator.random");
}

void tst_BPasswordGenerator::defaultOptions()
{
    BPasswordGeneratorRandom generator;
    QCOMPARE(generator.name(), QStringLiteral("Random"));
    const QList<BOption*>& options = generator.options()->children();
    QCOMPARE(options.size(), 7);
    QCOMPARE(options.at(0)->name(), QStringLiteral("length"));
    QCOMPARE(options.at(0)->type(), BOption::Int);
    QCOMPARE(options.at(0)->intValue(), 13);
    QCOMPARE(options.at(0)->intMinimum(), 1);
    QCOMPARE(options.at(0)->intMaximum(), 100);
    QCOMPARE(options.at(0)->title(), QStringLiteral("Length"));
    const QStringList titles { "Lowercase letters", "Uppercase letters", "Numbers",
                               "Minus (-)",         "Underscore (_)",    "Special characters" };
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(options.at(i + 1)->name(), QLatin1String(flagNames[i]));
        QCOMPARE(options.at(i + 1)->type(), BOption::Bool);
        QVERIFY(options.at(i + 1)->boolValue());
        QCOMPARE(options.at(i + 1)->title(), titles.at(i));
    }
    for (const BOption* option : options)
        QVERIFY(option->visibleInGUI());

    // 13 characters over the 88-character set.
    QCOMPARE(BPasswordGeneratorRandom::characterSet(*generator.options()), allCharacters);
    const QString password = generator.generatePassword();
    QCOMPARE(password.size(), 13);
    for (const QChar c : password)
        QVERIFY(allCharacters.contains(c));
}

void tst_BPasswordGenerator::characterSets()
{
    BPasswordGeneratorRandom generator;
    BOption& options = *generator.options();

    setOnly(options, { "useNumbers" });
    QCOMPARE(BPasswordGeneratorRandom::characterSet(options), QStringLiteral("1234567890"));
    for (int i = 0; i < 20; ++i) {
        const QString password = generator.generatePassword();
        QCOMPARE(password.size(), 13);
        for (const QChar c : password)
            QVERIFY2(c.isDigit(), qPrintable(password));
    }

    setOnly(options, { "useMinus", "useUnderscore" });
    QCOMPARE(BPasswordGeneratorRandom::characterSet(options), QStringLiteral("-_"));
    setOnly(options, { "useUppercaseLetters", "useSpecialCharacters" });
    QCOMPARE(BPasswordGeneratorRandom::characterSet(options),
             QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ!@#$%^&*()+=[]{};:,./<>?"));

    setOnly(options, {});
    QVERIFY(BPasswordGeneratorRandom::characterSet(options).isEmpty());
    QVERIFY(generator.generatePassword().isEmpty());

    setOnly(options, { "useLowercaseLetters" });
    options.option("length")->setInt(100);
    QCOMPARE(generator.generatePassword().size(), 100);
    options.option("length")->setInt(0);
    QVERIFY(generator.generatePassword().isEmpty());
    options.option("length")->setInt(-5);
    QVERIFY(generator.generatePassword().isEmpty());
}

void tst_BPasswordGenerator::everyCharacterOfTheSetOccurs()
{
    // 26,000 draws over 88 characters: each is expected about 295 times,
    // so one that never occurs is a fault, not bad luck.
    BPasswordGeneratorRandom generator;
    QHash<QChar, int> counts;
    for (int i = 0; i < 2000; ++i) {
        for (const QChar c : generator.generatePassword())
            ++counts[c];
    }
    QCOMPARE(counts.size(), allCharacters.size());
    for (const QChar c : allCharacters)
        QVERIFY2(counts.value(c) > 150, qPrintable(QStringLiteral("%1 occurred %2 times").arg(c).arg(counts.value(c))));
}

void tst_BPasswordGenerator::valuesInTheBiasedTailAreRejected()
{
    int index = -1;
    // 2^31 = 24,403,223 * 88 + 24: the 24 highest values would make the
    // first 24 characters of the set more likely, so they are drawn again.
    QVERIFY(BPasswordGeneratorRandom::characterIndex(2147483623, 88, index));
    QCOMPARE(index, 87);
    for (qint64 value = 2147483624; value <= 2147483647; ++value)
        QVERIFY(!BPasswordGeneratorRandom::characterIndex(int(value), 88, index));
    QVERIFY(BPasswordGeneratorRandom::characterIndex(0, 88, index));
    QCOMPARE(index, 0);
    QVERIFY(BPasswordGeneratorRandom::characterIndex(1000, 88, index));
    QCOMPARE(index, 1000 % 88);

    // A set size that divides 2^31 rejects nothing.
    QVERIFY(BPasswordGeneratorRandom::characterIndex(2147483647, 64, index));
    QCOMPARE(index, 63);
    // 2^31 = 214,748,364 * 10 + 8.
    QVERIFY(BPasswordGeneratorRandom::characterIndex(2147483639, 10, index));
    QCOMPARE(index, 9);
    QVERIFY(!BPasswordGeneratorRandom::characterIndex(2147483640, 10, index));
    QVERIFY(!BPasswordGeneratorRandom::characterIndex(-1, 10, index));
}

void tst_BPasswordGenerator::settingsOverride()
{
    setStringSetting("app.passwordGenerator.random",
                     "[{\"name\":\"length\",\"title\":\"L\",\"type\":\"int\",\"visibleInGUI\":true,\"value\":20,"
                     "\"min\":4,\"max\":64},"
                     "{\"name\":\"useLowercaseLetters\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":false},"
                     "{\"name\":\"useUppercaseLetters\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":false},"
                     "{\"name\":\"useNumbers\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":true},"
                     "{\"name\":\"useMinus\",\"type\":\"bool\",\"visibleInGUI\":false,\"value\":false},"
                     "{\"name\":\"useUnderscore\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":false},"
                     "{\"name\":\"useSpecialCharacters\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":false}]");
    BPasswordGeneratorRandom generator;
    const BOption& options = *generator.options();
    QCOMPARE(options.children().size(), 7);
    QCOMPARE(options.findOption("length")->intMaximum(), 64);
    // The stored titles give way to the program's own.
    QCOMPARE(options.findOption("length")->title(), QStringLiteral("Length"));
    QCOMPARE(options.findOption("useMinus")->title(), QStringLiteral("Minus (-)"));
    QVERIFY(!options.findOption("useMinus")->visibleInGUI());
    const QString password = generator.generatePassword();
    QCOMPARE(password.size(), 20);
    for (const QChar c : password)
        QVERIFY(c.isDigit());
    // The program never writes the key.
    QVERIFY(stringSetting("app.passwordGenerator.random", QString()).contains("\"max\":64"));
}

void tst_BPasswordGenerator::overrideLengthBounded()
{
    // A hand-edited length far beyond what the program generates.
    setStringSetting("app.passwordGenerator.random",
                     "[{\"name\":\"length\",\"type\":\"int\",\"visibleInGUI\":true,\"value\":2000000000,"
                     "\"min\":-5,\"max\":2100000000}]");
    BPasswordGeneratorRandom generator;
    const BOption* length = generator.options()->findOption("length");
    QCOMPARE(length->intMinimum(), 1);
    QCOMPARE(length->intMaximum(), 100);
    QCOMPARE(generator.generatePassword().size(), 100);
}

void tst_BPasswordGenerator::overrideLackingOptionsKeepsDefaults()
{
    // A definition without "length", with a flag of the wrong type, and one
    // that stops parsing after its first element: every option still exists
    // with its own type, so generation works and the editor shows rows.
    setStringSetting("app.passwordGenerator.random",
                     "[{\"name\":\"useNumbers\",\"type\":\"bool\",\"visibleInGUI\":true,\"value\":false},"
                     "{\"name\":\"useMinus\",\"type\":\"string\",\"visibleInGUI\":true,\"value\":\"yes\"},"
                     "{\"name\":\"broken\",\"type\":\"colour\",\"visibleInGUI\":true}]");
    BPasswordGeneratorRandom generator;
    const BOption& options = *generator.options();
    QCOMPARE(options.findOption("length")->type(), BOption::Int);
    QCOMPARE(options.findOption("length")->intValue(), 13);
    QCOMPARE(options.findOption("length")->intMaximum(), 100);
    QCOMPARE(options.findOption("length")->title(), QStringLiteral("Length"));
    QCOMPARE(options.findOption("useMinus")->type(), BOption::Bool);
    QVERIFY(options.findOption("useMinus")->boolValue());
    QVERIFY(!options.findOption("useNumbers")->boolValue());
    for (const BOption* option : options.children())
        QVERIFY2(option->type() != BOption::Group, qPrintable(option->name()));
    const QString password = generator.generatePassword();
    QCOMPARE(password.size(), 13);
    for (const QChar c : password)
        QVERIFY(!c.isDigit());

    // Text that is no option set at all leaves the defaults.
    setStringSetting("app.passwordGenerator.random", "not json");
    BPasswordGeneratorRandom plain;
    QCOMPARE(BPasswordGeneratorRandom::characterSet(*plain.options()), allCharacters);
}

void tst_BPasswordGenerator::generatorListKeepsRegistrationOrder()
{
    const QList<BPasswordGenerator*> before = passwordGenerators();
    NamedGenerator first("first");
    NamedGenerator second("second");
    registerPasswordGenerator(&first);
    registerPasswordGenerator(&second);
    registerPasswordGenerator(&first);
    QCOMPARE(passwordGenerators(), before + QList<BPasswordGenerator*>({ &first, &second, &first }));

    // Removing takes out the first entry only; the list handed out is a copy.
    QList<BPasswordGenerator*> copy = passwordGenerators();
    unregisterPasswordGenerator(&first);
    QCOMPARE(passwordGenerators(), before + QList<BPasswordGenerator*>({ &second, &first }));
    QCOMPARE(copy.size(), before.size() + 3);
    unregisterPasswordGenerator(&first);
    unregisterPasswordGenerator(&second);
    QCOMPARE(passwordGenerators(), before);
}

QTEST_MAIN(tst_BPasswordGenerator)
#include "tst_bpasswordgenerator.moc"
