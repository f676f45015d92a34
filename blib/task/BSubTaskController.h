#ifndef BSUBTASKCONTROLLER_H
#define BSUBTASKCONTROLLER_H

#include "blib/task/BTaskController.h"

// Runs a task as one stage of another: progress is mapped into the slice
// [start, start + span] of the parent's range, titles are swallowed, and
// status, error texts and indeterminate switches go to the parent unless the
// stage is muted. Cancellation and sleeping always pass through.
class BSubTaskController : public BTaskController
{
    Q_OBJECT

public:
    BSubTaskController(BTaskController* parent, double start, double span);
    BSubTaskController(BTaskController* parent, bool muted);

public slots:
    bool isCancelled() override;
    void sleep(int ms) override;
    QString& errorMessage() override;
    void cancel() override;
    void clearCancel() override;
    void setProgress(double value) override;
    void setTitle(const QString& title) override;
    void setStatus(const QString& status) override;
    void setErrorMessage(const QString& message) override;
    void setIndeterminateProgress(bool indeterminate) override;

private:
    BTaskController* m_parentController;
    double m_start;
    double m_span;
    bool m_muted;
    QString m_ownErrorMessage; // always empty: error texts live in the parent
};

#endif // BSUBTASKCONTROLLER_H
