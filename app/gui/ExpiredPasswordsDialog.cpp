#include "app/gui/ExpiredPasswordsDialog.h"

#include "ui_ExpiredPasswordsDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>

ExpiredPasswordsDialog::ExpiredPasswordsDialog(QWidget* parent, const QList<PasswordDatabase::Password*>& passwords)
    : QDialog(parent)
    , ui(new Ui::ExpiredPasswordsDialog)
    , m_passwords(passwords)
{
    initResources();
    ui->setupUi(this);
    QTableWidget* table = ui->passwordTableWidget;
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setRowCount(m_passwords.size());
    const QLocale locale;
    for (int row = 0; row < m_passwords.size(); ++row) {
        const PasswordDatabase::Password* password = m_passwords.at(row);
        auto* name = new QTableWidgetItem(password->getFullName());
        name->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(m_passwords.at(row))));
        table->setItem(row, 0, name);
        table->setItem(row, 1, new QTableWidgetItem(password->getUsername()));
        // The stored time as it is, in its own time zone.
        table->setItem(row, 2, new QTableWidgetItem(locale.toString(password->getExpireTime().date(),
                                                                    QStringLiteral("d MMM yyyy"))));
        auto* cell = new QWidget();
        auto* layout = new QHBoxLayout(cell);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setAlignment(Qt::AlignCenter);
        layout->addWidget(new QCheckBox(cell));
        table->setCellWidget(row, 3, cell);
    }
    table->resizeColumnToContents(1);
    table->resizeColumnToContents(2);
    resize(526, 312);
    fixDialogHeight(this);
    centreOnParent(this);
}

ExpiredPasswordsDialog::~ExpiredPasswordsDialog()
{
    delete ui;
}

QList<PasswordDatabase::Password*> ExpiredPasswordsDialog::passwordsToDelete() const
{
    QList<PasswordDatabase::Password*> ticked;
    for (int row = 0; row < m_passwords.size(); ++row) {
        QWidget* cell = ui->passwordTableWidget->cellWidget(row, 3);
        auto* box = cell ? cell->findChild<QCheckBox*>() : nullptr;
        if (box && box->isChecked())
            ticked << m_passwords.at(row);
    }
    return ticked;
}
