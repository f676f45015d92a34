#include "blib/task/BTaskDialog.h"

#include "ui_TaskDialog.h"

#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/task/BTaskController.h"
#include "blib/task/BTaskThread.h"

BTaskDialog::BTaskDialog(QWidget* parent, BTask* task, bool confirmCancel)
    : QDialog(parent)
    , ui(new Ui::TaskDialog)
    , m_task(task)
    , m_confirmCancel(confirmCancel)
    , m_controller(nullptr)
{
    initResources();
    ui->setupUi(this);
}

BTaskDialog::~BTaskDialog()
{
    delete ui;
}

BTaskResult BTaskDialog::run(QWidget* parent, BTask* task, bool confirmCancel, QString* errorText)
{
    if (errorText)
        errorText->clear();
    auto* dialog = new BTaskDialog(parent, task, confirmCancel);
    dialog->m_errorText = errorText;
    fixDialogHeight(dialog);
    centreOnParent(dialog);

    BTaskController* controller =
        startBackgroundTask(dialog, task, SLOT(backgroundTaskFinished(BTask*,BTaskResult)));
    if (!controller) {
        // Without its finished signal the dialog could never close; deleting
        // it waits for the task thread, which it owns.
        delete dialog;
        return Failure;
    }
    dialog->m_controller = controller;
    connect(controller, &BTaskController::progressed, dialog, &BTaskDialog::taskProgressed);
    connect(controller, &BTaskController::indeterminateProgressChanged,
            dialog, &BTaskDialog::taskIndeterminateProgressChanged);
    connect(controller, &BTaskController::titleChanged, dialog, &BTaskDialog::taskTitleChanged);
    connect(controller, &BTaskController::statusChanged, dialog, &BTaskDialog::taskStatusChanged);

    execDialog(parent, dialog);
    const BTaskResult result = dialog->m_result;
    delete dialog;
    return result;
}

void BTaskDialog::backgroundTaskFinished(BTask*, BTaskResult result)
{
    m_result = result;
    const QString errorText = m_controller ? m_controller->errorMessage() : QString();
    m_controller = nullptr;
    if (result == Failure && m_errorText)
        *m_errorText = errorText;
    else if (result == Failure && !errorText.isEmpty())
        showError(this, tr("Error"), errorText);
    close();
}

void BTaskDialog::taskProgressed(double progress)
{
    ui->progressBar->setValue(static_cast<int>(progress * 100.0));
}

void BTaskDialog::taskIndeterminateProgressChanged(bool indeterminate)
{
    ui->progressBar->setMaximum(indeterminate ? 0 : 100);
}

void BTaskDialog::taskTitleChanged(const QString& title)
{
    setWindowTitle(title);
}

void BTaskDialog::taskStatusChanged(const QString& status)
{
    ui->statusLabel->setText(status);
}

void BTaskDialog::reject()
{
    if (!m_controller) {
        QDialog::reject();
        return;
    }
    if (m_confirmCancel
        && !askQuestion(this, tr("Cancel"), tr("Are you sure you want to cancel?"),
                        tr("Cancel Task"), tr("Don't Cancel"), false))
        return;
    // The task may have finished while the question was open.
    if (m_controller)
        m_controller->cancel();
}
