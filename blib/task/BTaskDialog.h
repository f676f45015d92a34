#ifndef BTASKDIALOG_H
#define BTASKDIALOG_H

#include "blib/task/BTask.h"
#include "blib/task/BTaskResult.h"

#include <QDialog>

class BTaskController;

namespace Ui {
class TaskDialog;
}

// The standard way to run a task in the foreground: a small window-modal
// dialog with a status line, a progress bar and a Cancel button, while the
// task works on a thread of its own.
class BTaskDialog : public QDialog
{
    Q_OBJECT

public:
    ~BTaskDialog() override;

    // Shows the dialog over `parent`, runs `task` on a task thread and
    // returns its result once it has finished. With `confirmCancel` the
    // Cancel button first asks whether to cancel. A failure's error text is
    // shown in an error box, or, when `errorText` is given, handed back
    // there (empty when the task set none) for the caller's own box.
    static BTaskResult run(QWidget* parent, BTask* task, bool confirmCancel, QString* errorText = nullptr);

public slots:
    void backgroundTaskFinished(BTask* task, BTaskResult result);
    void taskProgressed(double progress);
    void taskIndeterminateProgressChanged(bool indeterminate);
    void taskTitleChanged(const QString& title);
    void taskStatusChanged(const QString& status);
    // Cancel button, Escape and the close box: asks the task to stop. The
    // dialog stays open until the task has returned.
    void reject() override;

private:
    BTaskDialog(QWidget* parent, BTask* task, bool confirmCancel);

    Ui::TaskDialog* ui;
    BTask* m_task;                   // not owned
    bool m_confirmCancel;
    BTaskController* m_controller;   // of the running thread; null once finished
    BTaskResult m_result = Failure;
    QString* m_errorText = nullptr;  // where the error goes instead of a box
};

#endif // BTASKDIALOG_H
