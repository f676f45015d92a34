#ifndef CLIPBOARDGUARD_H
#define CLIPBOARDGUARD_H

#include <QByteArray>
#include <QObject>

class QTimer;

// Puts secrets on the system clipboard, marked for clipboard managers to
// leave out of their histories, and clears the clipboard once after the
// configured delay if it still holds what was copied here. Only a salted
// hash of the copied text is kept, never the text.
class ClipboardGuard : public QObject
{
    Q_OBJECT

public:
    explicit ClipboardGuard(QObject* parent = nullptr);

    void copy(const QString& text);
    // Clears the clipboard when it still holds the text last copied here;
    // anything copied since is left alone.
    void clearIfUnchanged();

signals:
    // The delay after a copy ran out.
    void timedOut();

private:
    QByteArray saltedHash(const QString& text) const;

    QTimer* m_timer;
    QByteArray m_salt;
    QByteArray m_hash;
};

#endif // CLIPBOARDGUARD_H
