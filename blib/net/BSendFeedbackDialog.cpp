#include "blib/net/BSendFeedbackDialog.h"

#include "ui_SendFeedbackDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/net/BSendFeedbackTask.h"
#include "blib/task/BTaskDialog.h"

#include <QPushButton>

BSendFeedbackDialog::BSendFeedbackDialog(QWidget* parent, int mode)
    : QDialog(parent)
    , ui(new Ui::SendFeedbackDialog)
    , m_mode(mode)
{
    initResources();
    ui->setupUi(this);

    setWindowTitle(m_mode == SuggestionMode ? tr("Send Suggestion") : tr("Report Bug"));
    ui->emailLineEdit->setFocus();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Send"));

    fixDialogHeight(this);
    centreOnParent(this);
}

BSendFeedbackDialog::~BSendFeedbackDialog()
{
    delete ui;
}

BFeedback BSendFeedbackDialog::feedback() const
{
    BFeedback record;
    record.category = m_mode == SuggestionMode ? BFeedback::Suggestion : BFeedback::BugReport;
    record.emailAddress = ui->emailLineEdit->text();
    record.text = ui->commentsTextEdit->toPlainText();
    return record;
}

void BSendFeedbackDialog::accept()
{
    BSendFeedbackTask task(feedback());
    if (BTaskDialog::run(this, &task, false) == Success)
        QDialog::accept();
}
