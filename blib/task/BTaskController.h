#ifndef BTASKCONTROLLER_H
#define BTASKCONTROLLER_H

#include <QObject>
#include <QString>
#include <atomic>

// What a running task reports to and asks of its caller: progress, title,
// status, an indeterminate switch and an error text, plus the cancel request
// and a sleep that a threaded controller can keep responsive.
class BTaskController : public QObject
{
    Q_OBJECT

public:
    explicit BTaskController(QObject* parent = nullptr);

    double progress() const { return m_progress; }
    bool isIndeterminate() const { return m_indeterminate; }
    QString title() const { return m_title; }
    QString status() const { return m_status; }

public slots:
    virtual bool isCancelled();
    virtual void sleep(int ms);
    virtual QString& errorMessage();
    virtual void cancel();
    virtual void clearCancel();
    virtual void setProgress(double value);
    virtual void setTitle(const QString& title);
    virtual void setStatus(const QString& status);
    virtual void setErrorMessage(const QString& message);
    virtual void setIndeterminateProgress(bool indeterminate);

signals:
    void progressed(double progress);
    void indeterminateProgressChanged(bool indeterminate);
    void titleChanged(const QString& title);
    void statusChanged(const QString& status);

protected:
    // Written by the user interface thread, read by the task's thread.
    std::atomic<bool> m_cancelRequested { false };

private:
    double m_progress = 0.0;
    bool m_indeterminate = false;
    QString m_title;
    QString m_status;
    QString m_errorMessage;
};

#endif // BTASKCONTROLLER_H
