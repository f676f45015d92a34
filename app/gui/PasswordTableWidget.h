#ifndef PASSWORDTABLEWIDGET_H
#define PASSWORDTABLEWIDGET_H

#include "app/database/PasswordDatabase.h"

#include <QTableWidget>

class QDropEvent;

// The password table of the database view: one row per password of the
// current group. Every cell carries a non-owning pointer to its password
// under Qt::UserRole. Drops are reported through itemDropped(); the table
// never moves rows by itself.
class PasswordTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    explicit PasswordTableWidget(QWidget* parent = nullptr);

    static PasswordDatabase::Password* passwordOf(const QTableWidgetItem* item);
    static void setPassword(QTableWidgetItem* item, PasswordDatabase::Password* password);
    // The column of the user names.
    static constexpr int UsernameColumn = 1;
    // The row whose first cell carries `password`, or -1.
    int findPasswordRow(const PasswordDatabase::Password* password) const;
    // The password of the first selected cell, or null.
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
    // Removing rows during a refill must not move the current cell or the
    // selection.
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
};

#endif // PASSWORDTABLEWIDGET_H
