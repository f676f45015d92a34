#include "app/gui/WorkspaceShortcuts.h"

#include <QList>

QKeySequence WorkspaceShortcuts::standardOr(QKeySequence::StandardKey key, const QKeySequence& fallback)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    return bindings.isEmpty() ? fallback : bindings.first();
}
