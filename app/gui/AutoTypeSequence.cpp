#include "app/gui/AutoTypeSequence.h"

#include "app/database/OtpAuthLink.h"
#include "blib/crypto/BWipe.h"

#include <QStringList>

AutoTypeSequence::~AutoTypeSequence()
{
    clear();
}

QString AutoTypeSequence::defaultSequence()
{
    return QStringLiteral("{USERNAME}{TAB}{PASSWORD}{ENTER}");
}

QString AutoTypeSequence::sequenceOf(const PasswordDatabase::Password& password)
{
    static const QString prefix = QStringLiteral("auto-type:");
    const QString note = password.getNote();
    for (const QStringRef& line : note.splitRef(QLatin1Char('\n'))) {
        const QStringRef trimmed = line.trimmed();
        if (trimmed.startsWith(prefix, Qt::CaseInsensitive)) {
            const QString sequence = trimmed.mid(prefix.size()).trimmed().toString();
            if (!sequence.isEmpty())
                return sequence.left(MaxSequenceLength);
        }
    }
    return defaultSequence();
}

void AutoTypeSequence::clear()
{
    for (Step& step : m_steps)
        wipe(step.text);
    m_steps.clear();
}

void AutoTypeSequence::appendText(const QString& text)
{
    if (text.isEmpty())
        return;
    if (!m_steps.isEmpty() && m_steps.last().kind == Step::Text) {
        // Growing the text in place could leave the old buffer behind
        // unwiped: build the joined text at its full size and wipe the old.
        QString joined;
        joined.reserve(m_steps.last().text.size() + text.size());
        joined += m_steps.last().text;
        joined += text;
        wipe(m_steps.last().text);
        m_steps.last().text = std::move(joined);
        return;
    }
    Step step;
    step.kind = Step::Text;
    step.text = text;
    m_steps.append(step);
}

bool AutoTypeSequence::build(const QString& sequence, const PasswordDatabase::Password& password, qint64 unixTime,
                             QString* error)
{
    clear();
    auto fail = [this, error](const QString& why) {
        clear();
        if (error)
            *error = why;
        return false;
    };
    if (sequence.size() > MaxSequenceLength)
        return fail(tr("The Auto-Type sequence is longer than %1 characters.").arg(MaxSequenceLength));

    QString literal;
    auto flushLiteral = [this, &literal]() {
        appendText(literal);
        literal.clear();
    };
    const int size = sequence.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = sequence.at(i);
        if (c == QLatin1Char('}'))
            return fail(tr("The Auto-Type sequence has a \"}\" without its \"{\"; type a brace as {}}."));
        if (c != QLatin1Char('{')) {
            literal += c;
            continue;
        }
        // {{} and {}} are the braces themselves.
        if (i + 2 < size && sequence.at(i + 2) == QLatin1Char('}')
            && (sequence.at(i + 1) == QLatin1Char('{') || sequence.at(i + 1) == QLatin1Char('}'))) {
            literal += sequence.at(i + 1);
            i += 2;
            continue;
        }
        const int close = sequence.indexOf(QLatin1Char('}'), i + 1);
        const int nextOpen = sequence.indexOf(QLatin1Char('{'), i + 1);
        if (close < 0 || (nextOpen >= 0 && nextOpen < close))
            return fail(tr("The Auto-Type sequence has a \"{\" without its \"}\"; type a brace as {{}."));
        const QString name = sequence.mid(i + 1, close - i - 1).trimmed();
        const QString upper = name.toUpper();
        i = close;

        if (upper == QLatin1String("TAB") || upper == QLatin1String("ENTER") || upper == QLatin1String("SPACE")) {
            flushLiteral();
            Step step;
            step.kind = Step::Key;
            step.key = upper == QLatin1String("TAB")     ? AutoTypeKeyboard::Tab
                       : upper == QLatin1String("ENTER") ? AutoTypeKeyboard::Enter
                                                         : AutoTypeKeyboard::Space;
            m_steps.append(step);
            continue;
        }
        if (upper.startsWith(QLatin1String("DELAY"))) {
            const QString argument = upper.mid(5).trimmed();
            bool ok = false;
            const int milliseconds = argument.toInt(&ok);
            if (upper.size() > 5 && upper.at(5).isSpace() && ok && milliseconds >= 0
                && milliseconds <= MaxDelayMilliseconds) {
                flushLiteral();
                Step step;
                step.kind = Step::Delay;
                step.milliseconds = milliseconds;
                m_steps.append(step);
                continue;
            }
            if (upper.size() == 5 || upper.at(5).isSpace())
                return fail(tr("{DELAY N} needs a number of milliseconds from 0 to %1.").arg(MaxDelayMilliseconds));
        }

        QString value;
        if (upper == QLatin1String("USERNAME"))
            value = password.getUsername();
        else if (upper == QLatin1String("PASSWORD"))
            value = password.getPassword();
        else if (upper == QLatin1String("URL"))
            value = password.getUrl();
        else if (upper == QLatin1String("EMAIL"))
            value = password.getEmailAddress();
        else if (upper == QLatin1String("PHONE"))
            value = password.getPhoneNumber();
        else if (upper == QLatin1String("TOTP")) {
            OtpAuthLink link;
            if (link.parseNote(password.getNote()) != OtpAuthLink::ValidLink)
                return fail(tr("{TOTP} needs a valid otpauth link in the entry's note."));
            value = link.code(unixTime);
        } else
            return fail(tr("The Auto-Type sequence has an unknown placeholder {%1}.").arg(name.left(40)));
        flushLiteral();
        appendText(value);
        wipe(value);
    }
    flushLiteral();
    return true;
}
