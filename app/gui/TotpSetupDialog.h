#ifndef TOTPSETUPDIALOG_H
#define TOTPSETUPDIALOG_H

#include "app/database/OtpAuthLink.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;

// Sets up the one-time codes of an entry: takes a pasted otpauth link, or a
// bare Base32 secret with digits, period and algorithm, checks it and shows
// the code it gives. After acceptance link() is the line for the note.
class TotpSetupDialog : public QDialog
{
    Q_OBJECT

public:
    // `entryName` and `username` name the codes in links made from a bare
    // secret, as authenticator apps show them.
    TotpSetupDialog(QWidget* parent, const QString& entryName, const QString& username);
    ~TotpSetupDialog() override;

    // Fills the form from the entry's present link line (or nothing).
    void setText(const QString& linkOrSecret);
    // The link to write into the note; empty unless the input is valid.
    QString link() const;

public slots:
    void accept() override;

private:
    // Reads the form again and shows the code or the problem.
    void refresh();

    QString m_entryName;
    QString m_username;
    OtpAuthLink m_link;
    bool m_valid = false;
    QLineEdit* m_linkEdit;
    QComboBox* m_algorithmComboBox;
    QSpinBox* m_digitsSpinBox;
    QSpinBox* m_periodSpinBox;
    QLabel* m_codeLabel;
    QDialogButtonBox* m_buttonBox;
    QTimer* m_timer;
};

#endif // TOTPSETUPDIALOG_H
