#ifndef PASSWORDEDITDIALOG_H
#define PASSWORDEDITDIALOG_H

#include "app/database/PasswordDatabase.h"

#include <QDateTime>
#include <QDialog>
#include <QJsonObject>
#include <QString>

namespace Ui {
class PasswordEditDialog;
}

// Creates (new mode) or edits (edit mode) one password entry on a working
// copy owned by the dialog. The caller loads a password, runs the dialog
// and, after acceptance, reads the result from password(). Nothing the
// caller owns is touched; Cancel simply discards the working copy.
//
// An OK that changes nothing leaves the working copy equal to the loaded
// password (PasswordDatabase::Password::operator==), so the caller can tell
// a real edit from a dialog that was merely confirmed.
class PasswordEditDialog : public QDialog
{
    Q_OBJECT

public:
    PasswordEditDialog(QWidget* parent, bool newPassword);
    // Empties the password and user-name fields and wipes what they held.
    ~PasswordEditDialog() override;

    // Copies every field of `password` into the working copy and the form.
    void loadPassword(const PasswordDatabase::Password& password);
    // The working copy; after acceptance it holds what was entered.
    const PasswordDatabase::Password& password() const { return m_password; }

    // What the form holds now, unfinished: every field, the chosen icon and
    // the working copy's attachment. Holds secrets; the caller encrypts it.
    QJsonObject editState() const;
    // Puts an editState() back into the form, after loadPassword() of the
    // password the edit was made on.
    void restoreEditState(const QJsonObject& state);

public slots:
    void openURLButtonPressed();
    void nameEditChanged(const QString& text);
    void passwordEditChanged(const QString& text);
    void showPasswordButtonChanged(bool checked);
    void generatePasswordButtonPressed();
    void expireTimePDLPressed();
    void expireToday();
    void expire1Week();
    void expire2Weeks();
    void expire3Weeks();
    void expire1Month();
    void expire3Months();
    void expire6Months();
    void expire1Year();
    void neverExpireCheckboxChanged(bool checked);
    void attachmentImportButtonPressed();
    void attachmentExportButtonPressed();
    void attachmentClearButtonPressed();
    void accept() override;

protected:
    // The local date and time the expiry presets count from.
    virtual QDateTime currentDateTime() const;

private:
    // Sets the working copy's expiry time and shows it.
    void setExpireTime(const QDateTime& time);
    // Shows the working copy's expiry time without changing it.
    void showExpireTime();
    // Fills the attachment row from the working copy's attachment.
    void refreshAttachment();

    Ui::PasswordEditDialog* ui;
    bool m_newPassword;
    PasswordDatabase::Password m_password;
    // The icon the picker showed once an edited password was loaded. While
    // it still shows it, OK keeps the password's own icon id: the picker
    // cannot show an icon whose pack is not installed.
    QString m_shownIconId;
};

#endif // PASSWORDEDITDIALOG_H
