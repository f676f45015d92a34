#include "blib/task/BTaskThreadController.h"

#include <QCoreApplication>
#include <QThread>

namespace {
constexpr int sleepStepMs = 100;
}

BTaskThreadController::BTaskThreadController(QObject* parent)
    : BTaskController(parent)
{
}

bool BTaskThreadController::isCancelled()
{
    QCoreApplication::processEvents();
    return m_cancelRequested.load();
}

void BTaskThreadController::sleep(int ms)
{
    if (ms < sleepStepMs) {
        if (ms > 0)
            QThread::msleep(static_cast<unsigned long>(ms));
        return;
    }
    for (int slept = 0; slept < ms; slept += sleepStepMs) {
        QThread::msleep(sleepStepMs);
        if (isCancelled())
            return;
    }
}
