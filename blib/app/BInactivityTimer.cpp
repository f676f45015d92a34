#include "blib/app/BInactivityTimer.h"

#include <QEvent>

#include <climits>

namespace {
// The settings allow periods whose milliseconds exceed an int; such a period
// is clamped to the longest interval a QTimer takes (about 24 days).
int periodMs(int seconds)
{
    return static_cast<int>(qBound<qint64>(0, qint64(seconds) * 1000, INT_MAX));
}
} // namespace

BInactivityTimer::BInactivityTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &BInactivityTimer::timerFired);
}

void BInactivityTimer::start(int seconds)
{
    m_seconds = seconds;
    m_timer.start(periodMs(seconds));
}

void BInactivityTimer::stop()
{
    m_timer.stop();
}

void BInactivityTimer::timerFired()
{
    emit inactive();
}

bool BInactivityTimer::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (m_seconds != 0)
            m_timer.start(periodMs(m_seconds));
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
