#include "blib/task/BTaskThread.h"

#include "blib/task/BTaskThreadController.h"
#include "blib/task/BTaskThreadWorker.h"

#include <QCoreApplication>
#include <QThread>

BTaskThread::BTaskThread(QObject* parent, BTask* task)
    : QObject(parent)
    , m_thread(new QThread())
    , m_task(task)
    , m_controller(new BTaskThreadController(nullptr))
    , m_worker(new BTaskThreadWorker(task, m_controller))
{
    // A task with a QObject parent cannot change threads; it then keeps its
    // affinity and only its run() executes on the task thread.
    if (!m_task->parent())
        m_task->moveToThread(m_thread);
    m_worker->moveToThread(m_thread);

    connect(m_worker, &BTaskThreadWorker::finished, m_thread, &QThread::quit);
    connect(m_thread, &QThread::started, m_worker, &BTaskThreadWorker::run);
    connect(m_thread, &QThread::finished, this, &BTaskThread::threadFinished);

    // Start once control returns to the event loop, so that whoever created
    // this object has connected to the controller's reports before the task
    // can make its first one.
    QThread* thread = m_thread;
    QMetaObject::invokeMethod(
        thread, [thread]() { thread->start(QThread::InheritPriority); }, Qt::QueuedConnection);
}

BTaskThread::~BTaskThread()
{
    // Nobody hears of a task whose thread object is destroyed early.
    disconnect(m_thread, nullptr, this, nullptr);
    m_controller->cancel();
    while (m_thread->isRunning()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    delete m_worker;
    delete m_controller;
    delete m_thread;
}

void BTaskThread::threadFinished()
{
    deleteLater();
    emit finished(m_task, m_worker->result());
}

BTaskController* startBackgroundTask(QObject* receiver, BTask* task, const char* finishedSlot)
{
    auto* thread = new BTaskThread(receiver, task);
    if (!QObject::connect(thread, SIGNAL(finished(BTask*,BTaskResult)), receiver, finishedSlot))
        return nullptr;
    return thread->controller();
}
