#ifndef OTPAUTHLINK_H
#define OTPAUTHLINK_H

#include "app/database/TotpCode.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// A time-based one-time code secret in the Key URI form that authenticator
// apps read: "otpauth://totp/LABEL?secret=BASE32&issuer=...&algorithm=SHA1
// &digits=6&period=30" (SHA1, 6 digits and 30 seconds when left out).
// Entries keep it as a line of their note; the first line that begins with
// "otpauth://totp/" is the entry's link.
//
// The secret is wiped when the object goes.
class OtpAuthLink
{
    Q_DECLARE_TR_FUNCTIONS(OtpAuthLink)

public:
    // Longest link read, and the largest secret, in bytes.
    static constexpr int MaxLinkLength = 4096;
    static constexpr int MaxSecretBytes = 256;
    static constexpr int MinDigits = 6;
    static constexpr int MaxDigits = 8;
    static constexpr int MaxPeriod = 86400;
    static constexpr int DefaultDigits = 6;
    static constexpr int DefaultPeriod = 30;

    enum NoteLink { NoLink, InvalidLink, ValidLink };

    OtpAuthLink() = default;
    OtpAuthLink(const OtpAuthLink& other) = default;
    OtpAuthLink& operator=(const OtpAuthLink& other);
    ~OtpAuthLink();

    // Reads an otpauth://totp/ link. False, with `error` saying why, for
    // anything else; the object is then left as it was.
    bool parse(const QString& text, QString* error = nullptr);
    // Takes a bare Base32 secret (any letter case, spaces and padding
    // allowed) with the other settings as they are.
    bool setSecretText(const QString& base32, QString* error = nullptr);
    // A link when `text` begins with "otpauth:", otherwise a bare secret.
    bool parseLinkOrSecret(const QString& text, QString* error = nullptr);
    // The entry's link: the first link line of `note`. NoLink when there is
    // none; InvalidLink with `error` set when that line cannot be read.
    NoteLink parseNote(const QString& note, QString* error = nullptr);

    bool isValid() const { return !m_secret.isEmpty(); }
    const QByteArray& secret() const { return m_secret; }
    TotpCode::Algorithm algorithm() const { return m_algorithm; }
    int digits() const { return m_digits; }
    int period() const { return m_period; }
    QString label() const { return m_label; }
    QString issuer() const { return m_issuer; }
    // Digits 6 to 8 and periods 1 to MaxPeriod; others are ignored.
    void setAlgorithm(TotpCode::Algorithm algorithm) { m_algorithm = algorithm; }
    void setDigits(int digits);
    void setPeriod(int period);
    void setLabel(const QString& label) { m_label = label; }
    void setIssuer(const QString& issuer) { m_issuer = issuer; }

    // The link with every setting written out; empty when there is no secret.
    QString toString() const;
    // The code at `unixTime`, and the seconds it has left.
    QString code(qint64 unixTime) const;
    int secondsLeft(qint64 unixTime) const;

    // The first link line of `note`, trimmed; empty when there is none.
    static QString linkLine(const QString& note);
    // `note` with its first link line replaced by `link`, or with `link`
    // added as a last line when it has none.
    static QString noteWithLink(const QString& note, const QString& link);
    // `note` with the secret of every otpauth link line replaced by stars.
    static QString maskedNote(const QString& note);

    // Base32 (RFC 4648) without padding, upper case.
    static QString encodeBase32(const QByteArray& bytes);
    // Reads Base32 ignoring letter case, white space and "=" padding. False
    // for any other character.
    static bool decodeBase32(const QString& text, QByteArray& bytes);

private:
    QByteArray m_secret;
    TotpCode::Algorithm m_algorithm = TotpCode::Sha1;
    int m_digits = DefaultDigits;
    int m_period = DefaultPeriod;
    QString m_label;
    QString m_issuer;
};

#endif // OTPAUTHLINK_H
