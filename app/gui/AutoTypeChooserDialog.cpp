#include "app/gui/AutoTypeChooserDialog.h"

#include "app/gui/EntryIcon.h"
#include "blib/app/BAppInfo.h"
#include "blib/app/BSettings.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { NameColumn, UsernameColumn, GroupColumn };
// The list's own row numbers point into m_passwords.
constexpr int IndexRole = Qt::UserRole + 1;
}

AutoTypeChooserDialog::AutoTypeChooserDialog(const QList<PasswordDatabase::Password*>& passwords,
                                             const QString& windowTitle, QWidget* parent)
    : QDialog(parent)
    , m_passwords(passwords)
    , m_filterLineEdit(new QLineEdit(this))
    , m_entryTreeWidget(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("AutoTypeChooserDialog"));
    setWindowTitle(QStringLiteral("%1 %2").arg(QString::fromLatin1(BAppInfo::applicationName), tr("Auto-Type")));

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("autoTypeTargetLabel"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    const QString shownTitle = windowTitle.left(200);
    label->setText(shownTitle.isEmpty() ? tr("Choose the entry to type:")
                                        : tr("Choose the entry to type into \"%1\":").arg(shownTitle));
    layout->addWidget(label);

    m_filterLineEdit->setObjectName(QStringLiteral("filterLineEdit"));
    m_filterLineEdit->setPlaceholderText(tr("Filter"));
    m_filterLineEdit->setClearButtonEnabled(true);
    m_filterLineEdit->installEventFilter(this);
    layout->addWidget(m_filterLineEdit);

    m_entryTreeWidget->setObjectName(QStringLiteral("entryTreeWidget"));
    m_entryTreeWidget->setRootIsDecorated(false);
    m_entryTreeWidget->setUniformRowHeights(true);
    m_entryTreeWidget->setAllColumnsShowFocus(true);
    m_entryTreeWidget->setHeaderLabels({ tr("Name"), tr("User Name"), tr("Group") });
    m_entryTreeWidget->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_entryTreeWidget->header()->setStretchLastSection(false);
    const bool hideUsernames = boolSetting(QStringLiteral("app.mainWindow.hideUsernames"), true);
    for (int i = 0; i < m_passwords.size(); ++i) {
        const PasswordDatabase::Password* password = m_passwords.at(i);
        auto* item = new QTreeWidgetItem(m_entryTreeWidget);
        item->setText(NameColumn, password->getName());
        EntryIcon icon = findEntryIcon(password->getIconId());
        if (icon.isNull())
            icon = defaultKeyIcon();
        item->setIcon(NameColumn, icon.icon);
        item->setText(UsernameColumn, hideUsernames ? QStringLiteral("********") : password->getUsername());
        item->setText(GroupColumn, password->getParent() ? password->getParent()->getFullName() : QString());
        item->setData(NameColumn, IndexRole, i);
    }
    m_entryTreeWidget->resizeColumnToContents(UsernameColumn);
    m_entryTreeWidget->resizeColumnToContents(GroupColumn);
    layout->addWidget(m_entryTreeWidget, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Type"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("typeButton"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_entryTreeWidget, &QTreeWidget::itemActivated, this, &QDialog::accept);
    connect(m_filterLineEdit, &QLineEdit::textChanged, this, &AutoTypeChooserDialog::applyFilter);
    connect(m_entryTreeWidget, &QTreeWidget::currentItemChanged, this,
            [buttons](QTreeWidgetItem* current) { buttons->button(QDialogButtonBox::Ok)->setEnabled(current); });

    applyFilter(QString());
    resize(560, 380);
    m_filterLineEdit->setFocus();
}

void AutoTypeChooserDialog::applyFilter(const QString& text)
{
    const QString filter = text.trimmed();
    QTreeWidgetItem* firstShown = nullptr;
    for (int row = 0; row < m_entryTreeWidget->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_entryTreeWidget->topLevelItem(row);
        const PasswordDatabase::Password* password = m_passwords.at(item->data(NameColumn, IndexRole).toInt());
        const bool shown = filter.isEmpty() || password->getName().contains(filter, Qt::CaseInsensitive)
            || password->getUsername().contains(filter, Qt::CaseInsensitive)
            || password->getUrl().contains(filter, Qt::CaseInsensitive)
            || item->text(GroupColumn).contains(filter, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && !firstShown)
            firstShown = item;
    }
    QTreeWidgetItem* current = m_entryTreeWidget->currentItem();
    if (!current || current->isHidden())
        m_entryTreeWidget->setCurrentItem(firstShown);
    if (!firstShown)
        m_entryTreeWidget->setCurrentItem(nullptr);
}

PasswordDatabase::Password* AutoTypeChooserDialog::selectedPassword() const
{
    QTreeWidgetItem* item = m_entryTreeWidget->currentItem();
    if (!item || item->isHidden())
        return nullptr;
    return m_passwords.value(item->data(NameColumn, IndexRole).toInt(), nullptr);
}

bool AutoTypeChooserDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Up, Down, Page Up and Page Down in the filter move through the list.
    if (watched == m_filterLineEdit && event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        switch (keyEvent->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            QCoreApplication::sendEvent(m_entryTreeWidget, event);
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
