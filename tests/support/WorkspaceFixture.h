#ifndef WORKSPACEFIXTURE_H
#define WORKSPACEFIXTURE_H

// Helpers for driving the main window's workspace: databases with keys made
// in one key-derivation round, look-ups of items by name, and an answerer
// for the message boxes a flow opens.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "blib/task/BTaskController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Gives `db` keys for the password "secret" (AES-256, one PBKDF2 round), so
// that it can be saved and locked.
inline bool giveKeys(PasswordDatabase& db, const QString& name = QStringLiteral("Vault"))
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("secret"), 1, 1, 1);
    db.setName(name);
    return task.run(&controller) == Success;
}

inline PasswordDatabase::Group* makeGroup(const QString& name)
{
    auto* group = new PasswordDatabase::Group();
    group->setName(name);
    group->setIconId(QStringLiteral("tessavond.web"));
    return group;
}

inline PasswordDatabase::Password* makePassword(PasswordDatabase::Group* group, const QString& name,
                                                const QString& username = QString(),
                                                const QString& url = QString())
{
    auto* password = new PasswordDatabase::Password();
    password->setName(name);
    password->setUsername(username);
    password->setUrl(url);
    password->setPassword(name + QStringLiteral("-pw"));
    password->setIconId(QStringLiteral("tessavond.key"));
    group->addItem(password);
    return password;
}

// The first item of the database (in tree order) with the name and type.
template <class T>
T* itemNamed(const PasswordDatabase& db, const QString& name)
{
    for (PasswordDatabase::Item* item : db.getAllItems()) {
        if (item->getName() == name && item->getType() == T().getType())
            return static_cast<T*>(item);
    }
    return nullptr;
}

inline QStringList childNames(const QList<PasswordDatabase::Item*>& items)
{
    QStringList names;
    for (const PasswordDatabase::Item* item : items)
        names << item->getName();
    return names;
}

inline QStringList topLevelNames(const PasswordDatabase& db)
{
    QStringList names;
    for (const PasswordDatabase::Group* group : db.getItems())
        names << group->getName();
    return names;
}

// Answers message boxes as they open: each answer is the text of the button
// to press (without its "&"). Every box is recorded as "title|text"; a box
// beyond the answers is rejected and recorded with a leading "extra:".
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(QStringList answers)
        : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, [this]() {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible())
                    continue;
                const QString seen = box->windowTitle() + QLatin1Char('|') + box->text();
                if (m_answers.isEmpty()) {
                    boxes << QStringLiteral("extra:") + seen;
                    box->reject();
                    continue;
                }
                const QString answer = m_answers.takeFirst();
                boxes << seen;
                QAbstractButton* pressed = nullptr;
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text().remove(QLatin1Char('&')) == answer)
                        pressed = button;
                }
                if (pressed)
                    pressed->click();
                else {
                    boxes << QStringLiteral("missing button:") + answer;
                    box->reject();
                }
            }
        });
        m_timer.start(10);
    }

    QStringList boxes;

private:
    QStringList m_answers;
    QTimer m_timer;
};

// Closes the window's database, discarding whatever a test left unsaved
// (while locked, the kept edit and then the changes), and destroys the window.
template <typename Window>
void closeAndDeleteWindow(Window*& window)
{
    BoxAnswerer answerer(window->database().isLocked() ? QStringList { "Discard Changes", "Discard Changes" }
                                                       : QStringList { "Discard" });
    window->closeDatabase();
    delete window;
    window = nullptr;
}

#endif // WORKSPACEFIXTURE_H
