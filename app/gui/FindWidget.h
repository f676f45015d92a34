#ifndef FINDWIDGET_H
#define FINDWIDGET_H

#include "app/database/PasswordDatabase.h"

#include <QList>
#include <QWidget>

namespace Ui {
class FindWidget;
}

// The find bar below the password table: searches the open database's
// passwords in the ticked fields and steps through the matches with Next
// and Previous, wrapping at both ends. It selects nothing itself; each step
// emits selectPassword for the main window to show.
class FindWidget : public QWidget
{
    Q_OBJECT

public:
    explicit FindWidget(QWidget* parent = nullptr);
    ~FindWidget() override;

    // The database searched (not owned); set before each show().
    void setDatabase(const PasswordDatabase* database);
    // The find flags of the ticked boxes.
    int findFlags() const;
    // Whether the backup group's copies are searched too.
    bool includesBackupGroup() const;
    int matchCount() const { return m_results.size(); }
    // The matches of the last search, in tree order.
    const QList<PasswordDatabase::Password*>& results() const { return m_results; }
    // The text searched for.
    QString text() const;

signals:
    void selectPassword(const PasswordDatabase::Password* password);
    // The text, a tick or the visibility changed: emitted after the new
    // search and before its first step selects a match.
    void searchChanged();
    // Down was pressed in the text field.
    void downPressed();

public slots:
    void show();
    void checkboxToggled(bool value);
    void findTextChanged(QString text);
    void findNext();
    void findPrevious();
    // Searches again without stepping, keeping the position in the list as
    // far as it still exists; for when the database has changed.
    void refresh();

protected:
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Replaces the result list by a fresh search and starts at its head.
    void search();
    // Next without the check for deleted entries, right after a search.
    void step();
    // Searches again when a listed password is no longer in the database,
    // so that no step hands out a deleted one.
    void dropStaleResults();

    Ui::FindWidget* ui;
    const PasswordDatabase* m_database = nullptr;
    QList<PasswordDatabase::Password*> m_results;
    int m_index = 0;
    bool m_backwards = false;
};

#endif // FINDWIDGET_H
