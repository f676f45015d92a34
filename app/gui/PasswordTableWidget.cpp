#include "app/gui/PasswordTableWidget.h"

#include "app/gui/EntryIcon.h"

#include <QDropEvent>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace {

// Rows made as soon as the table is filled, before anything is painted: a
// screenful of any sensible window, so that the first paint makes nothing.
constexpr int EagerRows = 128;

QString masked(const QString& text, bool hide)
{
    return hide ? QString(text.size(), QLatin1Char('*')) : text;
}

} // namespace

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

PasswordTableWidget::Row PasswordTableWidget::rowFor(PasswordDatabase::Password* password, const QString& groupName,
                                                     const QString& warning)
{
    Row row;
    row.password = password;
    row.name = password->getName();
    row.username = password->getUsername();
    row.emailAddress = password->getEmailAddress();
    row.url = password->getUrl();
    row.iconId = password->getIconId();
    row.groupName = groupName;
    row.warning = warning;
    return row;
}

void PasswordTableWidget::setRows(const QVector<Row>& rows, bool hideUsernames, bool groupColumn)
{
    // The kept rows go first, so that the removals below find none to drop.
    m_rows.clear();
    clearContents();
    setColumnCount(groupColumn ? GroupColumn + 1 : GroupColumn);
    if (groupColumn) {
        setHorizontalHeaderItem(GroupColumn, new QTableWidgetItem(tr("Group")));
        // Name and Group share the free width; otherwise the new column
        // takes it all from the name.
        horizontalHeader()->setSectionResizeMode(GroupColumn, QHeaderView::Stretch);
    }
    setRowCount(rows.size());
    m_rows = rows;
    m_hideUsernames = hideUsernames;
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    makeCells(0, qMax(EagerRows, viewport()->height() / rowHeight + 1) - 1);
    // Every row is one line of text beside a small icon, so one row gives
    // the height of all; measuring each row would take seconds for a large
    // group.
    verticalHeader()->setDefaultSectionSize(oneLineRowHeight());
}

void PasswordTableWidget::makeCells(int first, int last)
{
    first = qMax(0, first);
    last = qMin(last, m_rows.size() - 1);
    if (first > last)
        return;
    const QColor textColour = palette().color(QPalette::WindowText);
    const QColor warningColour(238, 85, 0);
    const bool groupColumn = columnCount() > GroupColumn;
    QHash<QString, QIcon> icons;
    // Each new cell would otherwise report itself changed to the view, which
    // costs more than making it; the cells are made just before they are
    // painted, or before the table is shown again.
    const QSignalBlocker blocker(model());
    for (int row = first; row <= last; ++row) {
        if (item(row, 0))
            continue;
        const Row& shown = m_rows.at(row);
        auto iconIt = icons.find(shown.iconId);
        if (iconIt == icons.end())
            iconIt = icons.insert(shown.iconId, findEntryIcon(shown.iconId).icon);
        auto* name = new QTableWidgetItem(*iconIt, shown.name);
        if (!shown.warning.isEmpty()) {
            name->setToolTip(shown.warning);
            name->setForeground(warningColour);
        } else {
            name->setForeground(textColour);
        }
        QTableWidgetItem* cells[] = {
            name,
            new QTableWidgetItem(masked(shown.username, m_hideUsernames)),
            new QTableWidgetItem(masked(shown.emailAddress, m_hideUsernames)),
            new QTableWidgetItem(shown.url),
            groupColumn ? new QTableWidgetItem(shown.groupName) : nullptr,
        };
        for (int column = 0; column < 5 && cells[column]; ++column) {
            setPassword(cells[column], shown.password);
            setItem(row, column, cells[column]);
        }
    }
}

void PasswordTableWidget::paintEvent(QPaintEvent* event)
{
    if (!m_rows.isEmpty()) {
        const int first = rowAt(0);
        if (first >= 0) {
            const int last = rowAt(viewport()->height() - 1);
            makeCells(first, last < 0 ? m_rows.size() - 1 : last);
        }
    }
    QTableWidget::paintEvent(event);
}

void PasswordTableWidget::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (current.isValid())
        makeCells(current.row(), current.row());
    QTableWidget::currentChanged(current, previous);
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

PasswordDatabase::Password* PasswordTableWidget::passwordAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).password : nullptr;
}

int PasswordTableWidget::findPasswordRow(const PasswordDatabase::Password* password) const
{
    if (!password)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).password == password)
            return row;
    }
    return -1;
}

PasswordDatabase::Password* PasswordTableWidget::selectedPassword() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? nullptr : passwordAt(rows.first().row());
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

void PasswordTableWidget::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    if (parent.isValid() || start < 0 || start >= m_rows.size())
        return;
    m_rows.remove(start, qMin(end, m_rows.size() - 1) - start + 1);
}
