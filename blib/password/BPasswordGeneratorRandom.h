#ifndef BPASSWORDGENERATORRANDOM_H
#define BPASSWORDGENERATORRANDOM_H

#include "blib/password/BOption.h"
#include "blib/password/BPasswordGenerator.h"

#include <QCoreApplication>

// The built-in generator: each character is drawn independently and
// uniformly from the character classes that are switched on, with the
// operating system's secure random source.
//
// Options: "length" (int, 13, 1 to 100) and the flags
// "useLowercaseLetters", "useUppercaseLetters", "useNumbers", "useMinus",
// "useUnderscore" and "useSpecialCharacters" (all on). The settings key
// "app.passwordGenerator.random", when present, holds a replacement
// definition of these options; an option it lacks keeps its default.
class BPasswordGeneratorRandom : public BPasswordGenerator
{
    Q_DECLARE_TR_FUNCTIONS(BPasswordGeneratorRandom)

public:
    BPasswordGeneratorRandom();

    QString generatePassword() override;
    BOption* options() override { return &m_options; }

    // The characters the options allow, in this order: a-z, A-Z,
    // "1234567890", "-", "_" and "!@#$%^&*()+=[]{};:,./<>?".
    static QString characterSet(const BOption& options);
    // Maps a random value in [0, 2^31) to an index below `setSize` without
    // bias: values at or above the largest multiple of `setSize` are
    // rejected (false) and the caller draws again.
    static bool characterIndex(int value, int setSize, int& index);

    // The one built-in random generator of the process, created at the
    // first call and kept for the whole run.
    static BPasswordGeneratorRandom* instance();

private:
    BOption m_options;
};

#endif // BPASSWORDGENERATORRANDOM_H
