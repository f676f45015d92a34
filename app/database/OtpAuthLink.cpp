#include "app/database/OtpAuthLink.h"

#include "blib/crypto/BWipe.h"

#include <QStringList>
#include <QUrl>

namespace {

const QLatin1String totpPrefix("otpauth://totp/");
const QLatin1String anyPrefix("otpauth://");
const char base32Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

// Percent-decodes a part of a link; "+" in a query value stands for a space.
QString decodedPart(const QString& part, bool plusIsSpace)
{
    QByteArray bytes = part.toUtf8();
    if (plusIsSpace)
        bytes.replace('+', ' ');
    QByteArray decoded = QByteArray::fromPercentEncoding(bytes);
    const QString text = QString::fromUtf8(decoded);
    wipe(bytes);
    wipe(decoded);
    return text;
}

QString encodedPart(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral(":@")));
}

// The bounds of the first line of `note` whose trimmed text begins with
// `prefix`: [start, end), the line break left out.
bool findLine(const QString& note, QLatin1String prefix, int from, int& start, int& end)
{
    int lineStart = from;
    while (lineStart <= note.size()) {
        int lineEnd = note.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = note.size();
        if (note.midRef(lineStart, lineEnd - lineStart).trimmed().startsWith(prefix, Qt::CaseInsensitive)) {
            start = lineStart;
            end = lineEnd;
            return true;
        }
        lineStart = lineEnd + 1;
    }
    return false;
}

} // namespace

OtpAuthLink& OtpAuthLink::operator=(const OtpAuthLink& other)
{
    if (this != &other) {
        wipe(m_secret);
        m_secret = other.m_secret;
        m_algorithm = other.m_algorithm;
        m_digits = other.m_digits;
        m_period = other.m_period;
        m_label = other.m_label;
        m_issuer = other.m_issuer;
    }
    return *this;
}

OtpAuthLink::~OtpAuthLink()
{
    wipe(m_secret);
}

void OtpAuthLink::setDigits(int digits)
{
    if (digits >= MinDigits && digits <= MaxDigits)
        m_digits = digits;
}

void OtpAuthLink::setPeriod(int period)
{
    if (period >= 1 && period <= MaxPeriod)
        m_period = period;
}

bool OtpAuthLink::setSecretText(const QString& base32, QString* error)
{
    QByteArray bytes;
    QString problem;
    if (!decodeBase32(base32, bytes))
        problem = tr("The secret is not Base32 text (the letters A to Z and the digits 2 to 7).");
    else if (bytes.isEmpty())
        problem = tr("There is no secret.");
    else if (bytes.size() > MaxSecretBytes)
        problem = tr("The secret is longer than %1 bytes.").arg(MaxSecretBytes);
    if (!problem.isEmpty()) {
        wipe(bytes);
        if (error)
            *error = problem;
        return false;
    }
    wipe(m_secret);
    m_secret = bytes;
    return true;
}

bool OtpAuthLink::parse(const QString& text, QString* error)
{
    const auto failWith = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (text.size() > MaxLinkLength)
        return failWith(tr("The link is longer than %1 characters.").arg(MaxLinkLength));
    QString link = text.trimmed();
    if (!link.startsWith(totpPrefix, Qt::CaseInsensitive)) {
        wipe(link);
        return failWith(tr("The link does not begin with otpauth://totp/."));
    }

    OtpAuthLink result;
    const int query = link.indexOf(QLatin1Char('?'), totpPrefix.size());
    result.m_label = decodedPart(link.mid(totpPrefix.size(), query < 0 ? -1 : query - totpPrefix.size()), false);
    QStringList pairs = query < 0 ? QStringList() : link.mid(query + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts);
    wipe(link);
    bool seenSecret = false;
    bool seenAlgorithm = false;
    bool seenDigits = false;
    bool seenPeriod = false;
    QString problem;
    for (QString& pair : pairs) {
        const int equals = pair.indexOf(QLatin1Char('='));
        const QString key = pair.left(equals).toLower();
        QString value = equals < 0 ? QString() : decodedPart(pair.mid(equals + 1), true);
        // The first of a repeated setting counts, as with the link lines.
        if (key == QLatin1String("secret") && !seenSecret) {
            seenSecret = true;
            QString secretError;
            if (!result.setSecretText(value, &secretError))
                problem = value.trimmed().isEmpty() ? tr("The link has no secret.") : secretError;
        } else if (key == QLatin1String("issuer") && result.m_issuer.isEmpty()) {
            result.m_issuer = value;
        } else if (key == QLatin1String("algorithm") && !seenAlgorithm) {
            seenAlgorithm = true;
            if (!TotpCode::algorithmFromName(value, result.m_algorithm))
                problem = tr("The algorithm \"%1\" is not SHA1, SHA256 or SHA512.").arg(value.left(32));
        } else if (key == QLatin1String("digits") && !seenDigits) {
            seenDigits = true;
            bool ok = false;
            const int digits = value.trimmed().toInt(&ok);
            if (!ok || digits < MinDigits || digits > MaxDigits)
                problem = tr("The number of digits \"%1\" is not 6, 7 or 8.").arg(value.left(32));
            else
                result.m_digits = digits;
        } else if (key == QLatin1String("period") && !seenPeriod) {
            seenPeriod = true;
            bool ok = false;
            const int period = value.trimmed().toInt(&ok);
            if (!ok || period < 1 || period > MaxPeriod)
                problem = tr("The period \"%1\" is not a whole number of seconds from 1 to %2.")
                              .arg(value.left(32))
                              .arg(MaxPeriod);
            else
                result.m_period = period;
        }
        wipe(value);
        wipe(pair);
        if (!problem.isEmpty())
            break;
    }
    for (QString& pair : pairs)
        wipe(pair);
    if (problem.isEmpty() && !result.isValid())
        problem = tr("The link has no secret.");
    if (!problem.isEmpty())
        return failWith(problem);
    *this = result;
    return true;
}

bool OtpAuthLink::parseLinkOrSecret(const QString& text, QString* error)
{
    if (text.trimmed().startsWith(QLatin1String("otpauth:"), Qt::CaseInsensitive))
        return parse(text, error);
    return setSecretText(text, error);
}

OtpAuthLink::NoteLink OtpAuthLink::parseNote(const QString& note, QString* error)
{
    QString line = linkLine(note);
    if (line.isEmpty())
        return NoLink;
    const bool ok = parse(line, error);
    wipe(line);
    return ok ? ValidLink : InvalidLink;
}

QString OtpAuthLink::toString() const
{
    if (!isValid())
        return QString();
    QString secretText = encodeBase32(m_secret);
    const QString label = encodedPart(m_label);
    const QString issuer = encodedPart(m_issuer);
    QString link;
    // One allocation, so that no stray copy of the secret is left behind.
    link.reserve(totpPrefix.size() + label.size() + secretText.size() + issuer.size() + 80);
    link += totpPrefix;
    link += label;
    link += QLatin1String("?secret=");
    link += secretText;
    wipe(secretText);
    if (!issuer.isEmpty()) {
        link += QLatin1String("&issuer=");
        link += issuer;
    }
    link += QLatin1String("&algorithm=");
    link += TotpCode::algorithmName(m_algorithm);
    link += QLatin1String("&digits=");
    link += QString::number(m_digits);
    link += QLatin1String("&period=");
    link += QString::number(m_period);
    return link;
}

QString OtpAuthLink::code(qint64 unixTime) const
{
    return TotpCode::at(m_secret, unixTime, m_period, m_digits, m_algorithm);
}

int OtpAuthLink::secondsLeft(qint64 unixTime) const
{
    return TotpCode::secondsLeft(unixTime, m_period);
}

QString OtpAuthLink::linkLine(const QString& note)
{
    int start = 0;
    int end = 0;
    if (!findLine(note, totpPrefix, 0, start, end))
        return QString();
    return note.mid(start, end - start).trimmed();
}

QString OtpAuthLink::noteWithLink(const QString& note, const QString& link)
{
    int start = 0;
    int end = 0;
    if (findLine(note, totpPrefix, 0, start, end)) {
        QString result = note;
        result.replace(start, end - start, link);
        return result;
    }
    if (note.isEmpty())
        return link;
    return note + (note.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n")) + link;
}

QString OtpAuthLink::maskedNote(const QString& note)
{
    QString result = note;
    int from = 0;
    int start = 0;
    int end = 0;
    while (findLine(result, anyPrefix, from, start, end)) {
        const int query = result.indexOf(QLatin1Char('?'), start);
        int at = query >= 0 && query < end ? query : end;
        while (at < end) {
            const int valueStart = at + 1;
            int valueEnd = result.indexOf(QLatin1Char('&'), valueStart);
            if (valueEnd < 0 || valueEnd > end)
                valueEnd = end;
            if (result.midRef(valueStart, valueEnd - valueStart).startsWith(QLatin1String("secret="), Qt::CaseInsensitive)) {
                const int secretStart = valueStart + 7;
                const QString stars(8, QLatin1Char('*'));
                result.replace(secretStart, valueEnd - secretStart, stars);
                end += stars.size() - (valueEnd - secretStart);
                valueEnd = secretStart + stars.size();
            }
            at = valueEnd;
        }
        from = end + 1;
    }
    return result;
}

QString OtpAuthLink::encodeBase32(const QByteArray& bytes)
{
    QString text;
    text.reserve((bytes.size() * 8 + 4) / 5);
    quint32 buffer = 0;
    int bits = 0;
    for (char byte : bytes) {
        buffer = (buffer << 8) | quint8(byte);
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text += QLatin1Char(base32Alphabet[(buffer >> bits) & 0x1f]);
        }
        buffer &= (1u << bits) - 1;
    }
    if (bits > 0)
        text += QLatin1Char(base32Alphabet[(buffer << (5 - bits)) & 0x1f]);
    buffer = 0;
    return text;
}

bool OtpAuthLink::decodeBase32(const QString& text, QByteArray& bytes)
{
    QByteArray out;
    out.reserve(text.size() * 5 / 8 + 1);
    quint32 buffer = 0;
    int bits = 0;
    bool padding = false;
    bool ok = true;
    for (QChar c : text) {
        if (c.isSpace())
            continue;
        if (c == QLatin1Char('=')) {
            padding = true;
            continue;
        }
        const ushort u = c.unicode();
        int value = -1;
        if (u >= 'a' && u <= 'z')
            value = u - 'a';
        else if (u >= 'A' && u <= 'Z')
            value = u - 'A';
        else if (u >= '2' && u <= '7')
            value = u - '2' + 26;
        // Nothing may follow the padding.
        if (value < 0 || padding) {
            ok = false;
            break;
        }
        buffer = (buffer << 5) | quint32(value);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            out.append(char((buffer >> bits) & 0xff));
        }
        buffer &= (1u << bits) - 1;
    }
    buffer = 0;
    if (!ok) {
        wipe(out);
        return false;
    }
    wipe(bytes);
    bytes = out;
    return true;
}
