#ifndef UIDRIVER_H
#define UIDRIVER_H

// Drives windows that run in execDialog()'s local loop: a repeating timer on
// the GUI thread calls a step function until it reports that it is done.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

class UiDriver : public QObject
{
public:
    // `step` runs every `intervalMs` until it returns true. A step that never
    // succeeds gives up after `maxSteps` tries and rejects every open dialog,
    // so that a broken test fails instead of hanging in a dialog's loop.
    explicit UiDriver(std::function<bool()> step, int intervalMs = 10, int maxSteps = 3000)
        : m_step(std::move(step))
        , m_stepsLeft(maxSteps)
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            if (m_step()) {
                m_done = true;
                m_timer.stop();
            } else if (--m_stepsLeft <= 0) {
                m_timer.stop();
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                        dialog->reject();
                }
            }
        });
        m_timer.start(intervalMs);
    }

    // True once the step has succeeded; false while waiting or after giving up.
    bool isDone() const { return m_done; }

private:
    std::function<bool()> m_step;
    int m_stepsLeft;
    bool m_done = false;
    QTimer m_timer;
};

// Runs `steps` one after the other, each until it returns true.
class Steps
{
public:
    explicit Steps(std::vector<std::function<bool()>> steps)
        : m_steps(std::move(steps))
        , m_driver([this]() {
            if (m_next < m_steps.size() && m_steps[m_next]())
                ++m_next;
            return m_next == m_steps.size();
        })
    {
    }
    bool isDone() const { return m_driver.isDone(); }

private:
    std::vector<std::function<bool()>> m_steps;
    size_t m_next = 0;
    UiDriver m_driver;
};

// The first visible top-level widget of type T, or null.
template <class T>
T* visibleTopLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* typed = qobject_cast<T*>(widget); typed && typed->isVisible())
            return typed;
    }
    return nullptr;
}

// True while a top-level widget of type T exists, shown or not. A dialog
// that its caller deletes once its loop has ended still exists while that
// loop finishes, so this tells when the caller has gone on.
template <class T>
bool topLevelExists()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<T*>(widget))
            return true;
    }
    return false;
}

// The message box button with the given text, or null.
inline QAbstractButton* messageBoxButton(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// Chooses `path` in an open file dialog and accepts it. The path is typed
// into the dialog's file name field: selectFile() leaves that field alone
// while it has the keyboard focus, which it gains whenever the window
// manager activates the dialog first, and the dialog would then accept
// whatever the field held before.
inline void chooseInFileDialog(QFileDialog* dialog, const QString& path)
{
    dialog->selectFile(path);
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->setText(path);
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
}

// The child widget of the given type and object name; a missing one ends
// the test, as the form it belongs to has changed.
template <class T>
T* field(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(name);
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

// A step that waits for a message box, records its title and text as
// "title: text" and answers with the button of the given text (a box
// without that button is rejected).
inline std::function<bool()> answerBox(QStringList& seen, const QString& button)
{
    return [&seen, button]() {
        auto* box = visibleTopLevel<QMessageBox>();
        if (!box)
            return false;
        seen << box->windowTitle() + ": " + box->text();
        if (QAbstractButton* answer = messageBoxButton(box, button))
            QTimer::singleShot(0, answer, &QAbstractButton::click);
        else
            QTimer::singleShot(0, box, &QDialog::reject); // not the box expected
        return true;
    };
}

#endif // UIDRIVER_H
