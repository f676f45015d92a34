#include "blib/task/BBackgroundTaskOwner.h"

#include <QCoreApplication>

BBackgroundTaskOwner::BBackgroundTaskOwner(QObject* parent)
    : QObject(parent)
{
}

BBackgroundTaskOwner* BBackgroundTaskOwner::instance()
{
    static BBackgroundTaskOwner* owner = new BBackgroundTaskOwner(QCoreApplication::instance());
    return owner;
}

void BBackgroundTaskOwner::taskFinished(BTask* task, BTaskResult)
{
    delete task;
}
