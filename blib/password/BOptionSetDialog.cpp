#include "blib/password/BOptionSetDialog.h"

#include "ui_BOptionSetDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"

BOptionSetDialog::BOptionSetDialog(QWidget* parent, const QString& title)
    : QDialog(parent)
    , ui(new Ui::BOptionSetDialog)
{
    initResources();
    ui->setupUi(this);
    setWindowTitle(title);
    resize(sizeHint());
    centreOnParent(this);
}

BOptionSetDialog::~BOptionSetDialog()
{
    // The widget points into m_options, which goes before the children do.
    ui->optionSetWidget->setOptionSet(nullptr);
    delete ui;
}

void BOptionSetDialog::setOptions(const BOption& root)
{
    ui->optionSetWidget->setOptionSet(nullptr);
    m_options = root;
    ui->optionSetWidget->setOptionSet(&m_options);
    resize(sizeHint());
    centreOnParent(this);
}
