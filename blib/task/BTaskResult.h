#ifndef BTASKRESULT_H
#define BTASKRESULT_H

#include <QMetaType>

// Outcome of a task, passed by value (also across threads in signals).
enum BTaskResult {
    Failure = 0,   // the task failed; the controller's error text may say why
    Cancelled = 1, // the task stopped because cancellation was requested
    Success = 2    // the task completed
};

Q_DECLARE_METATYPE(BTaskResult)

#endif // BTASKRESULT_H
