#include "app/gui/PasswordTableWidget.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QMouseEvent>

PasswordTableWidget::PasswordTableWidget(QWidget* parent)
    : QTableWidget(parent)
{
    setColumnCount(4);
    setHorizontalHeaderLabels({ tr("Name"), tr("User"), tr("Email"), tr("URL") });
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    // Rows are one line high (see oneLineRowHeight()); long values are
    // elided rather than wrapped and cut off.
    setWordWrap(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
    setDragDropOverwriteMode(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(20);
    // Tab leaves the table for the next view instead of walking its cells.
    setTabKeyNavigation(false);
}

void PasswordTableWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->pos());
    if (event->button() == Qt::LeftButton && index.isValid() && index.column() == UsernameColumn) {
        event->accept();
        emit usernameDoubleClicked();
        return;
    }
    QTableWidget::mouseDoubleClickEvent(event);
}

PasswordDatabase::Password* PasswordTableWidget::passwordOf(const QTableWidgetItem* item)
{
    return item ? static_cast<PasswordDatabase::Password*>(item->data(Qt::UserRole).value<void*>()) : nullptr;
}

void PasswordTableWidget::setPassword(QTableWidgetItem* item, PasswordDatabase::Password* password)
{
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(password)));
}

int PasswordTableWidget::findPasswordRow(const PasswordDatabase::Password* password) const
{
    if (!password)
        return -1;
    for (int row = 0; row < rowCount(); ++row) {
        if (passwordOf(item(row, 0)) == password)
            return row;
    }
    return -1;
}

PasswordDatabase::Password* PasswordTableWidget::selectedPassword() const
{
    const QList<QTableWidgetItem*> items = selectedItems();
    return items.isEmpty() ? nullptr : passwordOf(items.first());
}

int PasswordTableWidget::oneLineRowHeight() const
{
    if (rowCount() == 0)
        return verticalHeader()->defaultSectionSize();
    int height = 0;
    for (int column = 0; column < columnCount(); ++column)
        height = qMax(height, itemDelegate()->sizeHint(viewOptions(), model()->index(0, column)).height());
    return height;
}

void PasswordTableWidget::dropEvent(QDropEvent* event)
{
    emit itemDropped(event);
    event->ignore();
    viewport()->update();
}

void PasswordTableWidget::rowsAboutToBeRemoved(const QModelIndex&, int, int)
{
}
