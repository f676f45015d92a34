#ifndef BPASSWORDGENERATORDIALOG_H
#define BPASSWORDGENERATORDIALOG_H

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class BPasswordGenerator;

namespace Ui {
class PasswordGeneratorDialog;
}

// One tab per registered generator with the generator's options, the
// generated password and its strength. After the dialog was accepted the
// caller takes password(): the last generated password, never text typed
// into the field. Option edits act on the generators' own option sets at
// once, and every edit generates a new password; Cancel does not undo them.
class BPasswordGeneratorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BPasswordGeneratorDialog(QWidget* parent = nullptr);
    ~BPasswordGeneratorDialog() override;

    QString password() const { return m_password; }

    // The generator of the current tab, or null when there is none.
    Q_INVOKABLE BPasswordGenerator* getCurrentPasswordGenerator();

private slots:
    void currentTabChanged(int index);
    void showPasswordButtonChecked(bool checked);
    void regeneratePasswordButtonPressed();
    void passwordTextChanged(const QString& text);

private:
    void regenerate();

    Ui::PasswordGeneratorDialog* ui;
    QList<QPair<QWidget*, BPasswordGenerator*>> m_tabs;
    QString m_password;
};

#endif // BPASSWORDGENERATORDIALOG_H
