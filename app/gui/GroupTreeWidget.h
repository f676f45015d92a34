#ifndef GROUPTREEWIDGET_H
#define GROUPTREEWIDGET_H

#include "app/database/PasswordDatabase.h"

#include <QTreeWidget>

class QDropEvent;

// The group tree of the database view. Every item carries a non-owning
// pointer to its group under Qt::UserRole of column 0. The tree never moves
// items by itself: a drop is reported through itemDropped() and the window
// changes the model and rebuilds the tree.
class GroupTreeWidget : public QTreeWidget
{
    Q_OBJECT

public:
    explicit GroupTreeWidget(QWidget* parent = nullptr);

    static PasswordDatabase::Group* groupOf(const QTreeWidgetItem* item);
    static void setGroup(QTreeWidgetItem* item, PasswordDatabase::Group* group);
    // The item showing `group`, or null.
    QTreeWidgetItem* findGroupItem(const PasswordDatabase::Group* group) const;
    // The group of the first selected item, or null.
    PasswordDatabase::Group* selectedGroup() const;

signals:
    void itemDropped(QDropEvent* event);

protected:
    void dropEvent(QDropEvent* event) override;
};

#endif // GROUPTREEWIDGET_H
