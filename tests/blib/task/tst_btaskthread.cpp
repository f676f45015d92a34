// Task threads: running a task on its own thread, reports crossing threads,
// the threaded controller's sleep and cancel, and early destruction.
#include "blib/task/BTask.h"
#include "blib/task/BTaskThread.h"
#include "blib/task/BTaskThreadController.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QtTest>

#include "support/FunctionTask.h"

#include <atomic>
#include <functional>

namespace {

// Counts the cancel checks sleep() makes, optionally cancelling at one of them.
class CountingController : public BTaskThreadController
{
public:
    int checks = 0;
    int cancelAtCheck = 0;
    bool isCancelled() override
    {
        ++checks;
        if (checks == cancelAtCheck)
            cancel();
        return BTaskThreadController::isCancelled();
    }
};

} // namespace

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<BTaskResult> results;
    QList<BTask*> tasks;
    QStringList reports;
    bool allInGuiThread = true;
public slots:
    void finished(BTask* task, BTaskResult result)
    {
        allInGuiThread = allInGuiThread && QThread::currentThread() == qApp->thread();
        tasks.append(task);
        results.append(result);
    }
    void progressed(double value)
    {
        allInGuiThread = allInGuiThread && QThread::currentThread() == qApp->thread();
        reports.append(QString::number(value));
    }
    void status(const QString& text)
    {
        allInGuiThread = allInGuiThread && QThread::currentThread() == qApp->thread();
        reports.append(text);
    }
};

class tst_BTaskThread : public QObject
{
    Q_OBJECT

private slots:
    void runsTaskOnItsOwnThreadAndReportsInOrder();
    void isCancelledDeliversEventsOfTaskThread();
    void sleepStepsAndCancelChecks();
    void cancelInterruptsThreadedSleep();
    void destroyingRunningThreadCancelsAndWaits();
};

void tst_BTaskThread::runsTaskOnItsOwnThreadAndReportsInOrder()
{
    QThread* taskThread = nullptr;
    std::atomic<bool> go { false };
    FunctionTask task([&](BTaskController* controller) {
        taskThread = QThread::currentThread();
        while (!go)
            QThread::msleep(1);
        controller->setStatus("first");
        controller->setProgress(0.25);
        controller->setStatus("second");
        controller->setProgress(1.0);
        return Success;
    });
    Receiver receiver;

    BTaskController* controller = startBackgroundTask(&receiver, &task, SLOT(finished(BTask*,BTaskResult)));
    QVERIFY(controller);
    QPointer<BTaskThread> thread = receiver.findChild<BTaskThread*>();
    QVERIFY(thread);
    connect(controller, &BTaskController::progressed, &receiver, &Receiver::progressed);
    connect(controller, &BTaskController::statusChanged, &receiver, &Receiver::status);
    go = true;

    QTRY_COMPARE_WITH_TIMEOUT(receiver.results.size(), 1, 30000);
    QCOMPARE(receiver.results.first(), Success);
    QCOMPARE(receiver.tasks.first(), &task);
    QVERIFY(taskThread != qApp->thread());
    QVERIFY(receiver.allInGuiThread);
    QCOMPARE(receiver.reports, QStringList({ "first", "0.25", "second", "1" }));
    // The task is handed back to the GUI thread, and the thread object goes.
    QCOMPARE(task.thread(), qApp->thread());
    QTRY_VERIFY(thread.isNull());
}

void tst_BTaskThread::isCancelledDeliversEventsOfTaskThread()
{
    // A timer created in the task's thread fires only if isCancelled()
    // processes that thread's events.
    FunctionTask task([](BTaskController* controller) {
        bool fired = false;
        QTimer::singleShot(0, [&fired]() { fired = true; });
        for (int i = 0; i < 500 && !fired; ++i) {
            controller->isCancelled();
            QThread::msleep(10);
        }
        return fired ? Success : Failure;
    });
    Receiver receiver;
    QVERIFY(startBackgroundTask(&receiver, &task, SLOT(finished(BTask*,BTaskResult))));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.results.size(), 1, 30000);
    QCOMPARE(receiver.results.first(), Success);
}

void tst_BTaskThread::sleepStepsAndCancelChecks()
{
    {
        CountingController controller;
        QElapsedTimer clock;
        clock.start();
        controller.sleep(250);
        QCOMPARE(controller.checks, 3); // rounded up to three 100 ms steps
        QVERIFY(clock.elapsed() >= 299);
    }
    {
        CountingController controller;
        controller.sleep(10);
        QCOMPARE(controller.checks, 0); // short sleeps are plain
    }
    {
        CountingController controller;
        controller.cancelAtCheck = 2;
        controller.sleep(1000);
        QCOMPARE(controller.checks, 2); // stops after the step that saw the cancel
    }
    {
        CountingController controller;
        controller.cancel();
        controller.sleep(1000);
        QCOMPARE(controller.checks, 1);
    }
}

void tst_BTaskThread::cancelInterruptsThreadedSleep()
{
    std::atomic<bool> sleeping { false };
    FunctionTask task([&](BTaskController* controller) {
        sleeping = true;
        controller->sleep(60000);
        return controller->isCancelled() ? Cancelled : Success;
    });
    Receiver receiver;
    BTaskController* controller = startBackgroundTask(&receiver, &task, SLOT(finished(BTask*,BTaskResult)));
    QVERIFY(controller);
    QTRY_VERIFY_WITH_TIMEOUT(sleeping.load(), 30000);
    controller->cancel();
    QTRY_COMPARE_WITH_TIMEOUT(receiver.results.size(), 1, 50000);
    QCOMPARE(receiver.results.first(), Cancelled);
}

void tst_BTaskThread::destroyingRunningThreadCancelsAndWaits()
{
    // The task ends only after a GUI-thread timer has fired and cancellation
    // was requested, so the destructor must do both while it waits.
    std::atomic<bool> started { false };
    std::atomic<bool> guiTimerFired { false };
    std::atomic<bool> returned { false };
    QPointer<FunctionTask> task = new FunctionTask([&](BTaskController* controller) {
        started = true;
        while (!(guiTimerFired && controller->isCancelled()))
            controller->sleep(10);
        returned = true;
        return Cancelled;
    });

    QObject owner;
    auto* thread = new BTaskThread(&owner, task);
    QSignalSpy finishedSpy(thread, &BTaskThread::finished);
    QTRY_VERIFY_WITH_TIMEOUT(started.load(), 30000);
    QTimer::singleShot(0, [&]() { guiTimerFired = true; });

    delete thread;
    QVERIFY(returned.load());
    QVERIFY(guiTimerFired.load());
    QCOMPARE(finishedSpy.count(), 0);
    QVERIFY(!task.isNull()); // the task is not the thread's to delete
    delete task;
}

QTEST_MAIN(tst_BTaskThread)
#include "tst_btaskthread.moc"
