#ifndef BTASKTHREADCONTROLLER_H
#define BTASKTHREADCONTROLLER_H

#include "blib/task/BTaskController.h"

// Controller of a task that runs on a thread of its own. Its signals are
// emitted in the task's thread and reach receivers in the user interface
// thread as queued calls. Asking whether the task was cancelled processes the
// task thread's pending events, which is what delivers the signals of objects
// the task created there (network replies, time-out timers).
class BTaskThreadController : public BTaskController
{
    Q_OBJECT

public:
    explicit BTaskThreadController(QObject* parent = nullptr);

public slots:
    bool isCancelled() override;
    // Below 100 ms a plain sleep; otherwise 100 ms steps with a cancel check
    // after each, so the sleep is rounded up to a multiple of 100 ms and ends
    // after the current step once a cancel request arrives.
    void sleep(int ms) override;
};

#endif // BTASKTHREADCONTROLLER_H
