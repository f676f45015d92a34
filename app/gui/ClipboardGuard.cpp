#include "app/gui/ClipboardGuard.h"

#include "app/gui/SettingsDialog.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BWipe.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QRandomGenerator>
#include <QTimer>

#include <limits>

ClipboardGuard::ClipboardGuard(QObject* parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    // One clearing per copy: a repeating timer would go on wiping whatever
    // the user copies later from other programs.
    m_timer->setObjectName(QStringLiteral("clipboardTimer"));
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &ClipboardGuard::timedOut);
}

void ClipboardGuard::copy(const QString& text)
{
    auto* data = new QMimeData();
    data->setText(text);
    // Keeps the copy out of clipboard managers' histories.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QApplication::clipboard()->setMimeData(data);

    if (!SettingsDialog::clearClipboardEnabled()) {
        m_timer->stop();
        m_salt.clear();
        m_hash.clear();
        return;
    }
    m_salt.resize(16);
    for (char& byte : m_salt)
        byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
    m_hash = saltedHash(text);
    const qint64 milliseconds = qint64(SettingsDialog::clearClipboardSeconds()) * 1000;
    m_timer->start(int(qBound<qint64>(1000, milliseconds, std::numeric_limits<int>::max())));
}

void ClipboardGuard::clearIfUnchanged()
{
    m_timer->stop();
    if (m_hash.isEmpty())
        return;
    QClipboard* clipboard = QApplication::clipboard();
    QString current = clipboard->text();
    const bool unchanged = saltedHash(current) == m_hash;
    wipe(current);
    m_hash.clear();
    m_salt.clear();
    // What the user copied since, here or elsewhere, is left alone.
    if (!unchanged)
        return;
    clipboard->clear();
    clipboard->setText(QString(16384, QLatin1Char('X')));
    clipboard->clear();
}

QByteArray ClipboardGuard::saltedHash(const QString& text) const
{
    QByteArray data = m_salt + text.toUtf8();
    QByteArray digest;
    hash(BHashId::SHA_256, data, digest);
    wipe(data);
    return digest;
}
