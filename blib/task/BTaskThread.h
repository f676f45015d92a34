#ifndef BTASKTHREAD_H
#define BTASKTHREAD_H

#include "blib/task/BTask.h"
#include "blib/task/BTaskResult.h"

#include <QObject>

class QThread;
class BTaskController;
class BTaskThreadController;
class BTaskThreadWorker;

// Runs one task on a thread of its own. Created with new; the thread starts
// at once. When the task returns, finished() is emitted in the creating
// thread and the object deletes itself (deleteLater). Destroying it while the
// task still runs requests cancellation and waits for the task, processing
// the creating thread's events meanwhile. The task itself is not owned.
class BTaskThread : public QObject
{
    Q_OBJECT

public:
    BTaskThread(QObject* parent, BTask* task);
    ~BTaskThread() override;

    BTaskThreadController* controller() const { return m_controller; }
    BTask* task() const { return m_task; }

signals:
    void finished(BTask* task, BTaskResult result);

private slots:
    void threadFinished();

private:
    QThread* m_thread;
    BTask* m_task;
    BTaskThreadController* m_controller;
    BTaskThreadWorker* m_worker;
};

// Runs `task` in the background on a BTaskThread whose QObject parent is
// `receiver`, and connects the thread's finished(BTask*,BTaskResult) to
// `finishedSlot` on the receiver (a SLOT() signature). Returns the thread's
// controller for progress signals and cancel(), or null when the connection
// could not be made (the task still runs, but nobody learns its result).
BTaskController* startBackgroundTask(QObject* receiver, BTask* task, const char* finishedSlot);

#endif // BTASKTHREAD_H
