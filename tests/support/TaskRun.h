#ifndef TASKRUN_H
#define TASKRUN_H

// Runs a task on a task thread, as the program does, and lets the test wait
// for its result while the test's thread keeps processing events (which a
// LocalHttpServer in that thread needs).

#include "blib/task/BTaskController.h"
#include "blib/task/BTaskThread.h"
#include "blib/task/BTaskThreadController.h"

#include <QPointer>
#include <QtTest>

class TaskRun
{
public:
    explicit TaskRun(BTask* task)
        : m_thread(new BTaskThread(nullptr, task))
        , m_controller(m_thread->controller())
    {
        QObject::connect(m_thread.data(), &BTaskThread::finished, [this](BTask*, BTaskResult result) {
            m_result = result;
            m_error = m_controller->errorMessage();
            m_done = true;
        });
    }

    ~TaskRun()
    {
        if (!m_done && m_thread)
            delete m_thread; // cancels and waits for the task
    }

    // Waits at most `ms` for the task to return; false if it did not.
    bool wait(int ms = 30000) { return QTest::qWaitFor([this]() { return m_done; }, ms); }
    void cancel()
    {
        if (!m_done)
            m_controller->cancel();
    }

    bool isDone() const { return m_done; }
    BTaskResult result() const { return m_result; }
    QString errorText() const { return m_error; }

private:
    QPointer<BTaskThread> m_thread;
    BTaskController* m_controller;
    bool m_done = false;
    BTaskResult m_result = Failure;
    QString m_error;
};

#endif // TASKRUN_H
