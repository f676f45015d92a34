#ifndef BINACTIVITYTIMER_H
#define BINACTIVITYTIMER_H

#include <QObject>
#include <QTimer>

// Reports that the user has not pressed, released or moved the mouse nor
// pressed or released a key for a set number of seconds. The owner installs
// it as an event filter on the application object. inactive() repeats every
// period while the user stays away.
class BInactivityTimer : public QObject
{
    Q_OBJECT

public:
    explicit BInactivityTimer(QObject* parent = nullptr);

    int seconds() const { return m_seconds; }
    bool isActive() const { return m_timer.isActive(); }

    // Restarts the period on input while armed (seconds not 0); an input
    // event after stop() starts the timer again. Never consumes the event.
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void inactive();

public slots:
    void start(int seconds);
    // Stops the timer but keeps the period.
    void stop();
    void timerFired();

private:
    int m_seconds = 0; // 0: not armed
    QTimer m_timer;
};

#endif // BINACTIVITYTIMER_H
