#include "blib/task/BTask.h"

namespace {
// Register the types that cross threads in queued signals once per process.
const int registeredTypes = (qRegisterMetaType<BTaskResult>("BTaskResult"),
                             qRegisterMetaType<BTask*>("BTask*"), 0);
}

BTask::BTask(QObject* parent)
    : QObject(parent)
{
    (void)registeredTypes;
}
