#ifndef DATABASEREPORTDIALOG_H
#define DATABASEREPORTDIALOG_H

#include "app/database/DatabaseReport.h"

#include <QByteArray>
#include <QDialog>
#include <QHash>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class StrengthChartWidget;

// "Database Report": the health of the open vault at a glance. A score,
// the counts of each kind of finding, a chart of the strength ratings and
// a sortable list of every finding; double-clicking a finding asks the
// workspace to select its entry. Breach counts come from a downloaded list
// or, when the user allowed it, from the online range check. The dialog is
// modeless: the workspace calls refresh() after each change, and while the
// vault is locked or closed it shows nothing.
class DatabaseReportDialog : public QDialog
{
    Q_OBJECT

public:
    DatabaseReportDialog(QWidget* parent, const PasswordDatabase* database);
    ~DatabaseReportDialog() override;

    const DatabaseReport& report() const { return m_report; }
    QTreeWidget* findingsTree() const { return m_findingsTree; }

    // Looks every password up in the list at `path`; false (after showing
    // the reason) when the list was refused or could not be read.
    bool checkAgainstList(const QString& path);
    // Looks every password up online through the range interface at the
    // address of the settings; false (the reason shown in the dialog) when
    // the check failed. The report stays usable either way.
    bool checkOnline();

    // The entry a findings row stands for.
    static const PasswordDatabase::Password* passwordOf(const QTreeWidgetItem* item);

public slots:
    // Builds the report again from the vault as it is now.
    void refresh();

signals:
    void passwordChosen(const PasswordDatabase::Password* password);

private:
    void chooseList();
    // A salted digest standing for a password in the breach results, so
    // that no copy of it (or of its SHA-1) is kept.
    QByteArray fingerprint(const QString& password) const;
    // The distinct passwords of the report's entries.
    QStringList distinctPasswords() const;
    void showStatus(const QString& text);

    const PasswordDatabase* m_database;
    DatabaseReport m_report;
    QByteArray m_salt;
    QHash<QByteArray, qint64> m_breaches; // fingerprint -> count
    bool m_breachesChecked = false;

    QLabel* m_scoreLabel;
    QLabel* m_countLabels[DatabaseReport::KindCount];
    StrengthChartWidget* m_chart;
    QTreeWidget* m_findingsTree;
    QCheckBox* m_onlineCheckBox;
    QPushButton* m_onlineButton;
    QLabel* m_statusLabel;
};

#endif // DATABASEREPORTDIALOG_H
