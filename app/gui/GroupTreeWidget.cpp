#include "app/gui/GroupTreeWidget.h"

#include <QDropEvent>
#include <QHeaderView>

GroupTreeWidget::GroupTreeWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setDragDropOverwriteMode(false);
}

PasswordDatabase::Group* GroupTreeWidget::groupOf(const QTreeWidgetItem* item)
{
    return item ? static_cast<PasswordDatabase::Group*>(item->data(0, Qt::UserRole).value<void*>()) : nullptr;
}

void GroupTreeWidget::setGroup(QTreeWidgetItem* item, PasswordDatabase::Group* group)
{
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void*>(group)));
}

QTreeWidgetItem* GroupTreeWidget::findGroupItem(const PasswordDatabase::Group* group) const
{
    if (!group)
        return nullptr;
    for (QTreeWidgetItemIterator it(const_cast<GroupTreeWidget*>(this)); *it; ++it) {
        if (groupOf(*it) == group)
            return *it;
    }
    return nullptr;
}

PasswordDatabase::Group* GroupTreeWidget::selectedGroup() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : groupOf(items.first());
}

void GroupTreeWidget::dropEvent(QDropEvent* event)
{
    emit itemDropped(event);
    event->ignore();
    event->setDropAction(Qt::IgnoreAction);
}
