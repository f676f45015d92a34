#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

#include <QDialog>

class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace Ui {
class SettingsDialog;
}

// Edits the workspace's application settings. The controls are filled from
// the settings store on construction; only OK writes them back, so Cancel
// and closing the window keep the settings as they were.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget* parent);
    ~SettingsDialog() override;

    // The settings of the inactivity lock and the clipboard clearing as the
    // workspace uses them: a period is at least one second, whatever the
    // store holds (zero would lock at once after every unlock, or empty the
    // clipboard before anything could be pasted).
    static int lockTimeoutSeconds();
    static bool clearClipboardEnabled();
    static int clearClipboardSeconds();

public slots:
    void accept() override;

private:
    // Writes every control to its setting.
    void storeSettings();
    void createAutoTypeTab();
    // False, after saying why, when another program holds the Auto-Type
    // shortcut chosen.
    bool checkAutoTypeShortcut();

    Ui::SettingsDialog* ui;
    // The breach checks of the database report.
    QCheckBox* m_checkBreachesOnlineCheckBox;
    QLineEdit* m_breachServiceUrlLineEdit;
    // Locking with the desktop.
    QCheckBox* m_lockOnScreenLockCheckBox;
    QCheckBox* m_lockBeforeSleepCheckBox;
    // Auto-Type.
    QKeySequenceEdit* m_autoTypeShortcutEdit = nullptr;
    QSpinBox* m_autoTypeKeyDelaySpinBox = nullptr;
};

#endif // SETTINGSDIALOG_H
