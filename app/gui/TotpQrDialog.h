#ifndef TOTPQRDIALOG_H
#define TOTPQRDIALOG_H

#include <QDialog>
#include <QImage>

// Shows an entry's otpauth link as a QR code for an authenticator app to
// scan, with a warning that the picture reveals the secret.
class TotpQrDialog : public QDialog
{
    Q_OBJECT

public:
    // `caption` names the codes under the picture (never the secret).
    TotpQrDialog(QWidget* parent, const QString& link, const QString& caption);

    // The QR code of `text` (byte mode, error correction M), black modules
    // `moduleSize` pixels wide on white with the four-module quiet zone;
    // a null image when the text does not fit.
    static QImage qrImage(const QString& text, int moduleSize);
};

#endif // TOTPQRDIALOG_H
