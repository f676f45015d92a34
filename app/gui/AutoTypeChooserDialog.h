#ifndef AUTOTYPECHOOSERDIALOG_H
#define AUTOTYPECHOOSERDIALOG_H

#include "app/database/PasswordDatabase.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QTreeWidget;

// Asks which entry Auto-Type should type into a window: a list of entries
// with their user names and groups, filtered as the user types (name, user
// name, URL and group); Enter or a double click types the current one.
class AutoTypeChooserDialog : public QDialog
{
    Q_OBJECT

public:
    // `passwords` must outlive the dialog; `windowTitle` names the target.
    AutoTypeChooserDialog(const QList<PasswordDatabase::Password*>& passwords, const QString& windowTitle,
                          QWidget* parent = nullptr);

    // The entry chosen, or null.
    PasswordDatabase::Password* selectedPassword() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyFilter(const QString& text);

    QList<PasswordDatabase::Password*> m_passwords;
    QLineEdit* m_filterLineEdit;
    QTreeWidget* m_entryTreeWidget;
};

#endif // AUTOTYPECHOOSERDIALOG_H
