#ifndef BBACKGROUNDTASKOWNER_H
#define BBACKGROUNDTASKOWNER_H

#include "blib/task/BTask.h"

#include <QObject>

// Receiver for background tasks whose result nobody needs: deletes each
// task when it has finished. One instance lives for the whole run.
class BBackgroundTaskOwner : public QObject
{
    Q_OBJECT

public:
    explicit BBackgroundTaskOwner(QObject* parent = nullptr);

    // The process-wide instance, created on first use.
    static BBackgroundTaskOwner* instance();

public slots:
    void taskFinished(BTask* task, BTaskResult result);
};

#endif // BBACKGROUNDTASKOWNER_H
