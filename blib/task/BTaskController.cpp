#include "blib/task/BTaskController.h"

#include <QThread>

BTaskController::BTaskController(QObject* parent)
    : QObject(parent)
{
}

bool BTaskController::isCancelled()
{
    return m_cancelRequested.load();
}

void BTaskController::sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QString& BTaskController::errorMessage()
{
    return m_errorMessage;
}

void BTaskController::cancel()
{
    m_cancelRequested.store(true);
}

void BTaskController::clearCancel()
{
    m_cancelRequested.store(false);
}

void BTaskController::setProgress(double value)
{
    if (!(value >= 0.0)) // also maps NaN to 0
        value = 0.0;
    else if (value > 1.0)
        value = 1.0;
    m_progress = value;
    emit progressed(value);
}

void BTaskController::setTitle(const QString& title)
{
    m_title = title;
    emit titleChanged(title);
}

void BTaskController::setStatus(const QString& status)
{
    m_status = status;
    emit statusChanged(status);
}

void BTaskController::setErrorMessage(const QString& message)
{
    m_errorMessage = message;
}

void BTaskController::setIndeterminateProgress(bool indeterminate)
{
    m_indeterminate = indeterminate;
    emit indeterminateProgressChanged(indeterminate);
}
