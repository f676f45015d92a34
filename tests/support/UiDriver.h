#ifndef UIDRIVER_H
#define UIDRIVER_H

// Drives windows that run in execDialog()'s local loop: a repeating timer on
// the GUI thread calls a step function until it reports that it is done.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <functional>

class UiDriver : public QObject
{
public:
    // `step` runs every `intervalMs` until it returns true.
    explicit UiDriver(std::function<bool()> step, int intervalMs = 10)
        : m_step(std::move(step))
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            if (m_step())
                m_timer.stop();
        });
        m_timer.start(intervalMs);
    }

    bool isDone() const { return !m_timer.isActive(); }

private:
    std::function<bool()> m_step;
    QTimer m_timer;
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

// The message box button with the given text, or null.
inline QAbstractButton* messageBoxButton(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

#endif // UIDRIVER_H
