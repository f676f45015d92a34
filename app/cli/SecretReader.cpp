#include "app/cli/SecretReader.h"

#include "app/cli/PasswordPrompt.h"
#include "blib/crypto/BWipe.h"

#include <QFile>
#include <QIODevice>
#include <QTextCodec>
#include <unistd.h>

namespace {

// Decodes UTF-8 that is valid throughout: no stray, overlong or truncated
// sequence, no encoded surrogate. A leading byte-order mark is kept as a
// character.
bool decodeUtf8(const QByteArray& bytes, QString& text)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QString decoded = QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars != 0 || state.remainingChars != 0) {
        wipe(decoded);
        return false;
    }
    text = decoded;
    return true;
}

} // namespace

SecretReader::SecretReader(QIODevice* input, QIODevice* error, PasswordPrompt* prompt)
    : m_input(input)
    , m_error(error)
    , m_prompt(prompt)
{
}

bool SecretReader::inputIsTerminal() const
{
    const auto* file = qobject_cast<const QFile*>(m_input);
    return file && file->handle() >= 0 && isatty(file->handle());
}

bool SecretReader::read(bool fromInput, const QString& label, QString& secret)
{
    QByteArray line;
    if (fromInput) {
        if (!m_input || m_input->atEnd()) {
            fail(tr("Standard input ended before the password."));
            return false;
        }
        line = m_input->readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
    } else {
        bool ok = false;
        if (m_prompt)
            line = m_prompt->ask(label, ok);
        if (!ok) {
            wipe(line);
            fail(tr("No terminal to read the password from; use --password-stdin."));
            return false;
        }
    }
    // Bytes that are not UTF-8 would all read as the same replacement
    // character, so that different passwords became one.
    const bool valid = decodeUtf8(line, secret);
    wipe(line);
    if (!valid) {
        fail(tr("The password is not valid UTF-8 text. Type it in a UTF-8 terminal or give it as "
                "UTF-8."));
        return false;
    }
    return true;
}

bool SecretReader::readNew(bool fromInput, const QString& label, const QString& repeatLabel,
                           const QString& emptyMessage, QString& secret)
{
    if (!read(fromInput, label, secret))
        return false;
    if (secret.isEmpty()) {
        fail(emptyMessage);
        return false;
    }
    if (!fromInput) {
        QString repeated;
        if (!read(false, repeatLabel, repeated)) {
            wipe(secret);
            return false;
        }
        const bool same = repeated == secret;
        wipe(repeated);
        if (!same) {
            wipe(secret);
            fail(tr("The passwords do not match."));
            return false;
        }
    }
    return true;
}

void SecretReader::fail(const QString& message)
{
    m_error->write(message.toUtf8() + '\n');
}
