#ifndef BTASKTHREADWORKER_H
#define BTASKTHREADWORKER_H

#include "blib/task/BTaskResult.h"

#include <QObject>

class BTask;
class BTaskController;

// Lives in a task thread and calls the task's run() there.
class BTaskThreadWorker : public QObject
{
    Q_OBJECT

public:
    BTaskThreadWorker(BTask* task, BTaskController* controller);

    BTaskResult result() const { return m_result; }

signals:
    void finished();

public slots:
    void run();

private:
    BTask* m_task;                  // not owned
    BTaskController* m_controller;  // not owned
    BTaskResult m_result = Failure;
    QThread* m_homeThread;          // where the task is handed back after run()
};

#endif // BTASKTHREADWORKER_H
