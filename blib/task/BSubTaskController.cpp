#include "blib/task/BSubTaskController.h"

BSubTaskController::BSubTaskController(BTaskController* parent, double start, double span)
    : BTaskController(parent ? parent->parent() : nullptr)
    , m_parentController(parent)
    , m_start(start)
    , m_span(span)
    , m_muted(false)
{
}

BSubTaskController::BSubTaskController(BTaskController* parent, bool muted)
    : BTaskController(parent ? parent->parent() : nullptr)
    , m_parentController(parent)
    , m_start(0.0)
    , m_span(1.0)
    , m_muted(muted)
{
}

bool BSubTaskController::isCancelled()
{
    return m_parentController->isCancelled();
}

void BSubTaskController::sleep(int ms)
{
    m_parentController->sleep(ms);
}

QString& BSubTaskController::errorMessage()
{
    return m_ownErrorMessage;
}

void BSubTaskController::cancel()
{
    m_parentController->cancel();
}

void BSubTaskController::clearCancel()
{
    m_parentController->clearCancel();
}

void BSubTaskController::setProgress(double value)
{
    if (!m_muted)
        m_parentController->setProgress(m_start + value * m_span);
}

void BSubTaskController::setTitle(const QString&)
{
    // A stage never changes the title of the whole task.
}

void BSubTaskController::setStatus(const QString& status)
{
    if (!m_muted)
        m_parentController->setStatus(status);
}

void BSubTaskController::setErrorMessage(const QString& message)
{
    if (!m_muted)
        m_parentController->setErrorMessage(message);
}

void BSubTaskController::setIndeterminateProgress(bool indeterminate)
{
    if (!m_muted)
        m_parentController->setIndeterminateProgress(indeterminate);
}
