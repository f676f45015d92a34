#ifndef WORKSPACESHORTCUTS_H
#define WORKSPACESHORTCUTS_H

#include <QKeySequence>

// Key bindings of the workspace that do not depend on the desktop alone.
class WorkspaceShortcuts
{
public:
    // The platform's binding of `key`, or `fallback` where the platform has
    // none (window managers that Qt does not recognise leave some empty).
    static QKeySequence standardOr(QKeySequence::StandardKey key, const QKeySequence& fallback);

private:
    WorkspaceShortcuts() = default;
};

#endif // WORKSPACESHORTCUTS_H
