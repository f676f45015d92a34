#ifndef PASSWORDTABLEWIDGET_H
#define PASSWORDTABLEWIDGET_H

#include "app/database/PasswordDatabase.h"

#include <QString>
#include <QTableWidget>
#include <QVector>

class QDropEvent;

// The password table of the database view: one row per password of the
// current group, or per search result with its group in a fifth column.
// Every cell carries a non-owning pointer to its password under
// Qt::UserRole. Drops are reported through itemDropped(); the table never
// moves rows by itself.
//
// The table keeps what each row shows, taken when it was filled, and makes
// the cells of a row only once the row is painted (the first screenful at
// once), so that filling tens of thousands of rows costs little more than
// listing them. item() is null for a row not made yet; the row's password
// is passwordAt().
class PasswordTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    explicit PasswordTableWidget(QWidget* parent = nullptr);

    // What a row shows, copied from its password when the table is filled.
    struct Row {
        PasswordDatabase::Password* password = nullptr;
        QString name;
        QString username;
        QString emailAddress;
        QString url;
        QString iconId;
        // The full name of the password's group, for search results.
        QString groupName;
        // The first audit warning, shown as the name's tool tip in orange.
        QString warning;
    };
    // The row of `password` with the texts it shows now.
    static Row rowFor(PasswordDatabase::Password* password, const QString& groupName = QString(),
                      const QString& warning = QString());

    // Replaces every row. User names and email addresses are shown as one
    // "*" per character when `hideUsernames`; `groupColumn` adds the Group
    // column of search results. The selection and current cell are cleared.
    void setRows(const QVector<Row>& rows, bool hideUsernames, bool groupColumn);

    static PasswordDatabase::Password* passwordOf(const QTableWidgetItem* item);
    static void setPassword(QTableWidgetItem* item, PasswordDatabase::Password* password);
    // The column of the user names, and of the group of a search result.
    static constexpr int UsernameColumn = 1;
    static constexpr int GroupColumn = 4;
    // The password of `row`, made or not, or null.
    PasswordDatabase::Password* passwordAt(int row) const;
    // The row of `password`, or -1.
    int findPasswordRow(const PasswordDatabase::Password* password) const;
    // The password of the selected row, or null.
    PasswordDatabase::Password* selectedPassword() const;
    // The height of a row of one line of text beside its icon, as the item
    // delegate measures row 0.
    int oneLineRowHeight() const;

signals:
    void itemDropped(QDropEvent* event);
    // A double click on a user name cell, which copies rather than opens.
    void usernameDoubleClicked();

protected:
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The current row is made at once, for what acts on its cells.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Removing rows during a refill must not move the current cell or the
    // selection; the kept rows follow every removal.
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    // Makes the cells of the rows `first` to `last` that have none yet.
    void makeCells(int first, int last);

    QVector<Row> m_rows;
    bool m_hideUsernames = true;
};

#endif // PASSWORDTABLEWIDGET_H
