#ifndef TOTPCODE_H
#define TOTPCODE_H

#include <QByteArray>
#include <QString>

// Time-based one-time codes (RFC 6238): the HOTP value (RFC 4226, HMAC
// over the big-endian counter and dynamic truncation) of the number of
// whole time steps since the epoch.
class TotpCode
{
public:
    enum Algorithm { Sha1, Sha256, Sha512 };

    // The HOTP value of `counter` under `key`, `digits` long with leading
    // zeros (1 to 9 digits).
    static QString hotp(const QByteArray& key, quint64 counter, int digits, Algorithm algorithm);
    // The code at `unixTime` (seconds since the epoch) for time steps of
    // `period` seconds counted from the epoch.
    static QString at(const QByteArray& key, qint64 unixTime, int period, int digits, Algorithm algorithm);
    // Seconds until the code of `unixTime` gives way to the next one: 1 to
    // `period`.
    static int secondsLeft(qint64 unixTime, int period);

    // "SHA1", "SHA256", "SHA512".
    static QString algorithmName(Algorithm algorithm);
    // Reads a name as the otpauth links write it, ignoring letter case and
    // dashes ("sha-256"). False for any other algorithm.
    static bool algorithmFromName(const QString& name, Algorithm& algorithm);
};

#endif // TOTPCODE_H
