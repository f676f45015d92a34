#include "blib/password/BPasswordGeneratorRandom.h"

#include "blib/app/BSettings.h"
#include "blib/crypto/BRandom.h"

namespace {

const char* const overrideKey = "app.passwordGenerator.random";

const char* const lowercase = "abcdefghijklmnopqrstuvwxyz";
const char* const uppercase = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const char* const numbers = "1234567890";
const char* const specials = "!@#$%^&*()+=[]{};:,./<>?";

struct Flag {
    const char* name;
    const char* title;
};

const Flag flags[] = {
    { "useLowercaseLetters", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Lowercase letters") },
    { "useUppercaseLetters", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Uppercase letters") },
    { "useNumbers", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Numbers") },
    { "useMinus", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Minus (-)") },
    { "useUnderscore", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Underscore (_)") },
    { "useSpecialCharacters", QT_TRANSLATE_NOOP("BPasswordGeneratorRandom", "Special characters") },
};

constexpr int defaultLength = 13;
constexpr int minimumLength = 1;
constexpr int maximumLength = 100;

bool flagOn(const BOption& options, const char* name)
{
    const BOption* flag = options.findOption(QLatin1String(name));
    return flag && flag->boolValue();
}

// The first top-level option named `name`, or null.
BOption* topLevel(BOption& options, const QString& name)
{
    for (BOption* child : options.children()) {
        if (child->name() == name)
            return child;
    }
    return nullptr;
}

} // namespace

BPasswordGeneratorRandom::BPasswordGeneratorRandom()
    : BPasswordGenerator(tr("Random"))
{
    const QString key = QLatin1String(overrideKey);
    if (containsSetting(key))
        loadOptionSet(key, m_options); // a definition that does not parse is not reported

    // Each of the seven options exists with its own type, whether or not a
    // replacement definition mentioned it: one that is missing or of
    // another type gets its default, so that generation and the editor
    // always find a length and six flags.
    BOption* length = topLevel(m_options, QStringLiteral("length"));
    if (!length || length->type() != BOption::Int) {
        m_options.addInt(QStringLiteral("length"), QString(), true, defaultLength, minimumLength, maximumLength);
    } else {
        // A hand-edited definition may ask for any length; generation, the
        // editor and the command line all stay within the program's bounds.
        const int minimum = qBound(minimumLength, length->intMinimum(), maximumLength);
        const int maximum = qBound(minimum, length->intMaximum(), maximumLength);
        length->setIntRange(minimum, maximum);
        length->setInt(qBound(minimum, length->intValue(), maximum));
    }
    for (const Flag& flag : flags) {
        BOption* option = topLevel(m_options, QLatin1String(flag.name));
        if (!option || option->type() != BOption::Bool)
            m_options.addBool(QLatin1String(flag.name), QString(), true, true);
    }

    m_options.option(QStringLiteral("length"))->setTitle(tr("Length"));
    for (const Flag& flag : flags)
        m_options.option(QLatin1String(flag.name))->setTitle(tr(flag.title));
}

QString BPasswordGeneratorRandom::characterSet(const BOption& options)
{
    QString set;
    if (flagOn(options, "useLowercaseLetters"))
        set += QLatin1String(lowercase);
    if (flagOn(options, "useUppercaseLetters"))
        set += QLatin1String(uppercase);
    if (flagOn(options, "useNumbers"))
        set += QLatin1String(numbers);
    if (flagOn(options, "useMinus"))
        set += QLatin1Char('-');
    if (flagOn(options, "useUnderscore"))
        set += QLatin1Char('_');
    if (flagOn(options, "useSpecialCharacters"))
        set += QLatin1String(specials);
    return set;
}

bool BPasswordGeneratorRandom::characterIndex(int value, int setSize, int& index)
{
    if (value < 0 || setSize <= 0)
        return false;
    // The values 0 .. 2^31-1 are equally likely; keep only those below the
    // largest multiple of the set size, so every index is equally likely.
    constexpr qint64 range = qint64(1) << 31;
    const qint64 limit = range - range % setSize;
    if (value >= limit)
        return false;
    index = value % setSize;
    return true;
}

QString BPasswordGeneratorRandom::generatePassword()
{
    const BOption* lengthOption = m_options.findOption(QStringLiteral("length"));
    const int length = lengthOption ? lengthOption->intValue() : 0;
    const QString set = characterSet(m_options);
    if (set.isEmpty() || length <= 0)
        return QString();

    QString password;
    password.reserve(length);
    for (int i = 0; i < length; ++i) {
        int index = 0;
        while (!characterIndex(randomInt(), set.size(), index)) {
        }
        password += set.at(index);
    }
    return password;
}

BPasswordGeneratorRandom* BPasswordGeneratorRandom::instance()
{
    static BPasswordGeneratorRandom* generator = new BPasswordGeneratorRandom;
    return generator;
}
