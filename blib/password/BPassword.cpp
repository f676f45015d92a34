#include "blib/password/BPassword.h"

#include "blib/crypto/BWipe.h"

#include <QCoreApplication>

#include <zxcvbn.h>

namespace {

QString translated(const char* text)
{
    return QCoreApplication::translate("BPassword", text);
}

// The warning for a match of the given zxcvbn type and length in
// characters; empty when the match does not deserve one.
QString matchWarning(int type, int length)
{
    // A repeated part carries the type of what was repeated plus a flag.
    if (type >= MULTIPLE_MATCH)
        type -= MULTIPLE_MATCH;
    switch (type) {
    case DICTIONARY_MATCH:
        return length >= 3 ? translated(QT_TRANSLATE_NOOP("BPassword", "Contains common sequence.")) : QString();
    case DICT_LEET_MATCH:
        return length >= 5 ? translated(QT_TRANSLATE_NOOP("BPassword", "Contains leetspeak.")) : QString();
    case REPEATS_MATCH:
        return length >= 3 ? translated(QT_TRANSLATE_NOOP("BPassword", "Contains repeating pattern.")) : QString();
    case SEQUENCE_MATCH:
        return length >= 3 ? translated(QT_TRANSLATE_NOOP("BPassword", "Contains simple sequence.")) : QString();
    case SPATIAL_MATCH:
        return length >= 3 ? translated(QT_TRANSLATE_NOOP("BPassword", "Characters adjacent on keyboard."))
                           : QString();
    case DATE_MATCH:
        return translated(QT_TRANSLATE_NOOP("BPassword", "Possibly contains a date."));
    default:
        return QString();
    }
}

} // namespace

void ratePassword(const QString& password, double& entropy, int& rating, double& fraction, QString& feedback)
{
    feedback.clear();
    if (password.isEmpty()) {
        entropy = 0.0;
        rating = 0;
        fraction = 0.0;
        feedback = translated(QT_TRANSLATE_NOOP("BPassword", "Password empty."));
        return;
    }

    QByteArray utf8 = password.toUtf8();
    ZxcMatch_t* matches = nullptr;
    entropy = ZxcvbnMatch(utf8.constData(), nullptr, &matches);
    fraction = entropy / 60.0;
    if (fraction > 1.0)
        fraction = 1.0;

    if (entropy >= 60.0)
        rating = 4;
    else if (entropy >= 40.0)
        rating = 3;
    else if (entropy >= 25.0)
        rating = 2;
    else if (entropy >= 15.0)
        rating = 1;
    else
        rating = 0;

    if (rating <= 2) {
        // zxcvbn measures its matches in bytes of the UTF-8 text; the
        // matched characters are cut from those bytes, so that a password
        // with non-ASCII characters names the right part of itself.
        for (const ZxcMatch_t* match = matches; match; match = match->Next) {
            if (match->Begin < 0 || match->Length <= 0 || match->Begin + match->Length > utf8.size())
                continue;
            QString text = QString::fromUtf8(utf8.constData() + match->Begin, match->Length);
            int characters = 0;
            for (int i = 0; i < text.size(); ++i) {
                if (!text.at(i).isLowSurrogate())
                    ++characters;
            }
            const QString warning = matchWarning(int(match->Type), characters);
            if (!warning.isEmpty()) {
                feedback = QStringLiteral("%1 (%2)").arg(warning, text);
                wipe(text);
                break;
            }
            wipe(text);
        }
    }

    ZxcvbnFreeInfo(matches);
    wipe(utf8);
}

QString ratingName(int rating)
{
    switch (rating) {
    case 1:
        return translated(QT_TRANSLATE_NOOP("BPassword", "Weak"));
    case 2:
        return translated(QT_TRANSLATE_NOOP("BPassword", "OK"));
    case 3:
        return translated(QT_TRANSLATE_NOOP("BPassword", "Strong"));
    case 4:
        return translated(QT_TRANSLATE_NOOP("BPassword", "Excellent"));
    default:
        return translated(QT_TRANSLATE_NOOP("BPassword", "Very weak"));
    }
}
