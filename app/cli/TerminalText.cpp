#include "app/cli/TerminalText.h"

namespace {

bool isControl(ushort code)
{
    return code < 0x20 || code == 0x7f || (code >= 0x80 && code <= 0x9f);
}

} // namespace

QString TerminalText::line(const QString& text)
{
    return escaped(text, false);
}

QString TerminalText::block(const QString& text)
{
    return escaped(text, true);
}

QString TerminalText::escaped(const QString& text, bool keepLines)
{
    bool clean = true;
    for (const QChar c : text) {
        if (isControl(c.unicode()) && !(keepLines && (c == QLatin1Char('\n') || c == QLatin1Char('\t')))) {
            clean = false;
            break;
        }
    }
    if (clean)
        return text;

    QString result;
    result.reserve(text.size() + 16);
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (!isControl(code) || (keepLines && (code == '\n' || code == '\t'))) {
            result.append(c);
            continue;
        }
        switch (code) {
        case '\n': result.append(QLatin1String("\\n")); break;
        case '\r': result.append(QLatin1String("\\r")); break;
        case '\t': result.append(QLatin1String("\\t")); break;
        default:
            if (code < 0x80)
                result.append(QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0')));
            else
                result.append(QStringLiteral("\\u%1").arg(code, 4, 16, QLatin1Char('0')));
        }
    }
    return result;
}
