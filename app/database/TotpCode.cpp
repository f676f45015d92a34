#include "app/database/TotpCode.h"

#include "blib/crypto/BWipe.h"

#include <QMessageAuthenticationCode>

namespace {

QCryptographicHash::Algorithm hashOf(TotpCode::Algorithm algorithm)
{
    switch (algorithm) {
    case TotpCode::Sha256:
        return QCryptographicHash::Sha256;
    case TotpCode::Sha512:
        return QCryptographicHash::Sha512;
    case TotpCode::Sha1:
        break;
    }
    return QCryptographicHash::Sha1;
}

// Time steps since the epoch; times before it count as step 0.
quint64 timeStep(qint64 unixTime, int period)
{
    if (period < 1 || unixTime < 0)
        return 0;
    return quint64(unixTime) / quint64(period);
}

} // namespace

QString TotpCode::hotp(const QByteArray& key, quint64 counter, int digits, Algorithm algorithm)
{
    digits = qBound(1, digits, 9);
    QByteArray message(8, '\0');
    for (int i = 7; i >= 0; --i) {
        message[i] = char(counter & 0xff);
        counter >>= 8;
    }
    QByteArray mac = QMessageAuthenticationCode::hash(message, key, hashOf(algorithm));
    wipe(message);
    const auto byte = [&mac](int index) { return quint32(quint8(mac.at(index))); };
    const int offset = int(byte(mac.size() - 1) & 0x0f);
    const quint32 binary = ((byte(offset) & 0x7f) << 24) | (byte(offset + 1) << 16) | (byte(offset + 2) << 8)
        | byte(offset + 3);
    wipe(mac);
    quint32 modulus = 1;
    for (int i = 0; i < digits; ++i)
        modulus *= 10;
    return QStringLiteral("%1").arg(binary % modulus, digits, 10, QLatin1Char('0'));
}

QString TotpCode::at(const QByteArray& key, qint64 unixTime, int period, int digits, Algorithm algorithm)
{
    return hotp(key, timeStep(unixTime, period), digits, algorithm);
}

int TotpCode::secondsLeft(qint64 unixTime, int period)
{
    if (period < 1)
        return 0;
    if (unixTime < 0)
        return period;
    return period - int(unixTime % period);
}

QString TotpCode::algorithmName(Algorithm algorithm)
{
    switch (algorithm) {
    case Sha256:
        return QStringLiteral("SHA256");
    case Sha512:
        return QStringLiteral("SHA512");
    case Sha1:
        break;
    }
    return QStringLiteral("SHA1");
}

bool TotpCode::algorithmFromName(const QString& name, Algorithm& algorithm)
{
    const QString plain = name.trimmed().toUpper().remove(QLatin1Char('-'));
    for (Algorithm candidate : { Sha1, Sha256, Sha512 }) {
        if (plain == algorithmName(candidate)) {
            algorithm = candidate;
            return true;
        }
    }
    return false;
}
