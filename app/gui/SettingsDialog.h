#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

#include <QDialog>

namespace Ui {
class SettingsDialog;
}

// Edits the workspace's application settings. The controls are filled from
// the settings store on construction; the first of OK, Cancel or closing
// the window writes every control back, so there is no discarding.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget* parent);
    ~SettingsDialog() override;

public slots:
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Writes every control to its setting, once per dialog.
    void storeSettings();

    Ui::SettingsDialog* ui;
    bool m_stored = false;
};

#endif // SETTINGSDIALOG_H
