#ifndef BTASK_H
#define BTASK_H

#include "blib/task/BTaskResult.h"

#include <QObject>

class BTaskController;

// A long operation. run() does the whole job synchronously and reports
// through the controller it is given; it never talks to the user interface.
// The task object belongs to whoever created it.
class BTask : public QObject
{
    Q_OBJECT

public:
    explicit BTask(QObject* parent = nullptr);

    virtual BTaskResult run(BTaskController* controller) = 0;
};

Q_DECLARE_METATYPE(BTask*)

#endif // BTASK_H
