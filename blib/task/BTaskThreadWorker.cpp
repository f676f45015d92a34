#include "blib/task/BTaskThreadWorker.h"

#include "blib/task/BTask.h"

#include <QThread>

BTaskThreadWorker::BTaskThreadWorker(BTask* task, BTaskController* controller)
    : QObject(nullptr)
    , m_task(task)
    , m_controller(controller)
    , m_homeThread(QThread::currentThread())
{
}

void BTaskThreadWorker::run()
{
    m_result = m_task->run(m_controller);
    // Give the task back to the thread that started it, so that its owner
    // can use and delete it there once the result is reported.
    if (!m_task->parent() && m_task->thread() == QThread::currentThread())
        m_task->moveToThread(m_homeThread);
    emit finished();
}
