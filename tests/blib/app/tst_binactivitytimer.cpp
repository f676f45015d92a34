// The inactivity timer, filtering the application's input events.
#include "blib/app/BInactivityTimer.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QWidget>
#include <QtTest>

class tst_BInactivityTimer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firesRepeatedlyWhileUserStaysAway();
    void inputRestartsPeriod();
    void unarmedTimerIgnoresInput();
    void inputAfterStopStartsItAgain();
    void doubleClickDoesNotCount();

private:
    BInactivityTimer* m_timer = nullptr;
    QWidget* m_widget = nullptr;
};

void tst_BInactivityTimer::init()
{
    m_timer = new BInactivityTimer();
    qApp->installEventFilter(m_timer);
    m_widget = new QWidget();
    m_widget->show();
}

void tst_BInactivityTimer::cleanup()
{
    qApp->removeEventFilter(m_timer);
    delete m_timer;
    delete m_widget;
}

void tst_BInactivityTimer::firesRepeatedlyWhileUserStaysAway()
{
    QSignalSpy inactive(m_timer, &BInactivityTimer::inactive);
    m_timer->start(1);
    QVERIFY(inactive.wait(10000));
    QVERIFY(inactive.wait(10000)); // not stopped by firing
    QVERIFY(m_timer->isActive());
}

void tst_BInactivityTimer::inputRestartsPeriod()
{
    QSignalSpy inactive(m_timer, &BInactivityTimer::inactive);
    QElapsedTimer clock;
    m_timer->start(1);
    QTest::qWait(500);
    QTest::keyClick(m_widget, Qt::Key_A);
    clock.start();
    QVERIFY(inactive.wait(10000));
    // A fresh one-second period began with the key (coarse timers may fire
    // up to 5 % early).
    QVERIFY(clock.elapsed() >= 900);
}

void tst_BInactivityTimer::unarmedTimerIgnoresInput()
{
    QSignalSpy inactive(m_timer, &BInactivityTimer::inactive);
    QTest::keyClick(m_widget, Qt::Key_A);
    QTest::mouseMove(m_widget, QPoint(5, 5));
    QVERIFY(!m_timer->isActive());
    QVERIFY(!inactive.wait(1500));
}

void tst_BInactivityTimer::inputAfterStopStartsItAgain()
{
    QSignalSpy inactive(m_timer, &BInactivityTimer::inactive);
    m_timer->start(1);
    m_timer->stop();
    QCOMPARE(m_timer->seconds(), 1);
    QVERIFY(!inactive.wait(1500));

    QTest::keyPress(m_widget, Qt::Key_B);
    QVERIFY(m_timer->isActive());
    QVERIFY(inactive.wait(10000));
}

void tst_BInactivityTimer::doubleClickDoesNotCount()
{
    QSignalSpy inactive(m_timer, &BInactivityTimer::inactive);
    m_timer->start(1);
    m_timer->stop();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(m_widget, &doubleClick);
    QVERIFY(!m_timer->isActive());

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_widget, &press);
    QVERIFY(m_timer->isActive());
}

QTEST_MAIN(tst_BInactivityTimer)
#include "tst_binactivitytimer.moc"
