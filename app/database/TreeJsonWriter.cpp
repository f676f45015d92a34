#include "app/database/TreeJsonWriter.h"

#include "app/database/PasswordDatabaseFormat.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"

#include <QDate>
#include <QTime>

#include <cstring>
#include <limits>

using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Password = PasswordDatabase::Password;

namespace {

const char HexDigits[] = "0123456789abcdef";
const char* const DayNames[7] = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
const char* const MonthNames[12] = { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

// Decimal digits of `value` at `out`; returns the count (at most 11).
int formatInt(qint64 value, char* out)
{
    char digits[24];
    int count = 0;
    const bool negative = value < 0;
    quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    int length = 0;
    if (negative)
        out[length++] = '-';
    while (count)
        out[length++] = digits[--count];
    return length;
}

void twoDigits(int value, char* out)
{
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

// formatExpireTime() as ASCII at `out` (room for 64); returns the length.
int formatExpireTimeText(const QDateTime& time, char* out)
{
    if (!time.isValid())
        return 0;
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    int n = 0;
    std::memcpy(out + n, DayNames[date.dayOfWeek() - 1], 3);
    n += 3;
    out[n++] = ' ';
    std::memcpy(out + n, MonthNames[date.month() - 1], 3);
    n += 3;
    out[n++] = ' ';
    n += formatInt(date.day(), out + n);
    out[n++] = ' ';
    twoDigits(clock.hour(), out + n);
    out[n + 2] = ':';
    twoDigits(clock.minute(), out + n + 3);
    out[n + 5] = ':';
    twoDigits(clock.second(), out + n + 6);
    n += 8;
    out[n++] = ' ';
    n += formatInt(date.year(), out + n);
    std::memcpy(out + n, " GMT", 4);
    return n + 4;
}

// Counts what would be written: bytes, and UTF-16 units of the text.
struct SizeSink {
    qint64 bytes = 0;
    qint64 units = 0;
    void ascii(const char*, int length)
    {
        bytes += length;
        units += length;
    }
    void byte(char)
    {
        ++bytes;
        ++units;
    }
    // A UTF-8 sequence of `length` bytes standing for `codeUnits` units.
    void utf8(const char*, int length, int codeUnits)
    {
        bytes += length;
        units += codeUnits;
    }
};

// Writes into storage measured by a SizeSink.
struct WriteSink {
    char* out;
    void ascii(const char* text, int length)
    {
        std::memcpy(out, text, size_t(length));
        out += length;
    }
    void byte(char c) { *out++ = c; }
    void utf8(const char* text, int length, int)
    {
        std::memcpy(out, text, size_t(length));
        out += length;
    }
};

template <class Sink>
class Writer
{
public:
    Writer(Sink& sink, bool stamps, const QDateTime& oldestDeletion)
        : m_sink(sink)
        , m_stamps(stamps)
        , m_oldestDeletion(oldestDeletion)
    {
    }

    // The members of the root object, without its braces.
    bool rootMembers(const PasswordDatabase& db)
    {
        if (m_stamps) {
            bool any = false;
            for (const PasswordDatabase::Deletion& deletion : db.getDeletions()) {
                if (deletion.deleted < m_oldestDeletion)
                    continue;
                if (any)
                    literal(",{");
                else
                    literal("\"deleted\":[{");
                any = true;
                key("deleted");
                stamp(deletion.deleted);
                literal(",");
                key("uuid");
                string(deletion.uuid);
                literal("}");
            }
            if (any)
                literal("],");
        }
        literal("\"groups\":[");
        bool first = true;
        for (const Group* group : db.getItems()) {
            if (!first)
                literal(",");
            first = false;
            if (!writeGroup(*group, 1))
                return false;
        }
        literal("]");
        return true;
    }

private:
    template <int N>
    void literal(const char (&text)[N])
    {
        m_sink.ascii(text, N - 1);
    }

    template <int N>
    void key(const char (&name)[N])
    {
        m_sink.byte('"');
        m_sink.ascii(name, N - 1);
        m_sink.ascii("\":", 2);
    }

    void number(int value)
    {
        char digits[24];
        m_sink.ascii(digits, formatInt(value, digits));
    }

    void escapeUnit(ushort unit)
    {
        const char escape[6] = { '\\', 'u', HexDigits[unit >> 12], HexDigits[(unit >> 8) & 15],
                                 HexDigits[(unit >> 4) & 15], HexDigits[unit & 15] };
        m_sink.ascii(escape, 6);
    }

    void string(const QString& text)
    {
        m_sink.byte('"');
        const ushort* p = reinterpret_cast<const ushort*>(text.constData());
        const ushort* const end = p + text.size();
        while (p < end) {
            const ushort u = *p++;
            if (u < 0x80) {
                if (u >= 0x20 && u != '"' && u != '\\') {
                    m_sink.byte(char(u));
                    continue;
                }
                char escape[2] = { '\\', 0 };
                switch (u) {
                case '"': escape[1] = '"'; break;
                case '\\': escape[1] = '\\'; break;
                case 0x08: escape[1] = 'b'; break;
                case 0x0C: escape[1] = 'f'; break;
                case 0x0A: escape[1] = 'n'; break;
                case 0x0D: escape[1] = 'r'; break;
                case 0x09: escape[1] = 't'; break;
                default: break;
                }
                if (escape[1])
                    m_sink.ascii(escape, 2);
                else
                    escapeUnit(u);
            } else if (u < 0x800) {
                const char bytes[2] = { char(0xC0 | (u >> 6)), char(0x80 | (u & 0x3F)) };
                m_sink.utf8(bytes, 2, 1);
            } else if (QChar::isSurrogate(u)) {
                if (QChar::isHighSurrogate(u) && p < end && QChar::isLowSurrogate(*p)) {
                    const uint code = QChar::surrogateToUcs4(u, *p++);
                    const char bytes[4] = { char(0xF0 | (code >> 18)), char(0x80 | ((code >> 12) & 0x3F)),
                                            char(0x80 | ((code >> 6) & 0x3F)), char(0x80 | (code & 0x3F)) };
                    m_sink.utf8(bytes, 4, 2);
                } else {
                    escapeUnit(u); // a lone half has no UTF-8 form
                }
            } else {
                const char bytes[3] = { char(0xE0 | (u >> 12)), char(0x80 | ((u >> 6) & 0x3F)),
                                        char(0x80 | (u & 0x3F)) };
                m_sink.utf8(bytes, 3, 1);
            }
        }
        m_sink.byte('"');
    }

    void stamp(const QDateTime& time)
    {
        const QDateTime utc = time.isValid() ? time.toUTC() : QDateTime();
        const QDate date = utc.date();
        if (!utc.isValid() || date.year() < 1000 || date.year() > 9999) {
            string(formatStampTime(time)); // the toolkit's own form for the rare rest
            return;
        }
        const QTime clock = utc.time();
        char text[22];
        text[0] = '"';
        formatInt(date.year(), text + 1);
        text[5] = '-';
        twoDigits(date.month(), text + 6);
        text[8] = '-';
        twoDigits(date.day(), text + 9);
        text[11] = 'T';
        twoDigits(clock.hour(), text + 12);
        text[14] = ':';
        twoDigits(clock.minute(), text + 15);
        text[17] = ':';
        twoDigits(clock.second(), text + 18);
        text[20] = 'Z';
        text[21] = '"';
        m_sink.ascii(text, 22);
    }

    void stamps(const Item& item, bool created)
    {
        if (created) {
            key("created");
            stamp(item.getCreated());
        } else {
            key("modified");
            stamp(item.getModifiedTime());
        }
        m_sink.byte(',');
    }

    void writePassword(const Password& password)
    {
        m_sink.byte('{');
        const Password::Attachment& attachment = password.getAttachment();
        if (attachment.isValid()) {
            key("attachment");
            m_sink.byte('{');
            key("data");
            string(attachment.getData());
            m_sink.byte(',');
            key("data_hash");
            string(attachment.getDataHash());
            m_sink.byte(',');
            key("file_name");
            string(attachment.getFileName());
            literal("},");
        }
        if (m_stamps)
            stamps(password, true);
        key("email_address");
        string(password.getEmailAddress());
        m_sink.byte(',');
        key("expire_time");
        char expire[64];
        m_sink.byte('"');
        m_sink.ascii(expire, formatExpireTimeText(password.getExpireTime(), expire));
        literal("\",");
        key("flags");
        number(password.getFlags());
        m_sink.byte(',');
        key("gui_state");
        number(password.getGuiState());
        m_sink.byte(',');
        key("icon");
        string(password.getIconId());
        m_sink.byte(',');
        if (m_stamps)
            stamps(password, false);
        key("name");
        string(password.getName());
        m_sink.byte(',');
        key("never_expire");
        if (password.isNeverExpire())
            literal("true,");
        else
            literal("false,");
        key("note");
        string(password.getNote());
        m_sink.byte(',');
        key("password");
        string(password.getPassword());
        m_sink.byte(',');
        key("phone_number");
        string(password.getPhoneNumber());
        m_sink.byte(',');
        key("tag");
        number(password.getTag());
        m_sink.byte(',');
        key("type");
        number(PasswordDatabase::PasswordType);
        m_sink.byte(',');
        key("url");
        string(password.getUrl());
        m_sink.byte(',');
        key("username");
        string(password.getUsername());
        if (m_stamps) {
            m_sink.byte(',');
            key("uuid");
            string(password.getUuid());
        }
        m_sink.byte('}');
    }

    // depth: 1 for a top-level group.
    bool writeGroup(const Group& group, int depth)
    {
        if (depth > PasswordDatabase::MaxGroupDepth)
            return false;
        m_sink.byte('{');
        if (m_stamps)
            stamps(group, true);
        key("flags");
        number(group.getFlags());
        m_sink.byte(',');
        key("gui_state");
        number(group.getGuiState());
        m_sink.byte(',');
        key("icon");
        string(group.getIconId());
        m_sink.byte(',');
        key("items");
        m_sink.byte('[');
        bool first = true;
        for (const Item* child : group.getItems()) {
            if (!first)
                m_sink.byte(',');
            first = false;
            if (child->isGroup()) {
                if (!writeGroup(*static_cast<const Group*>(child), depth + 1))
                    return false;
            } else {
                writePassword(*static_cast<const Password*>(child));
            }
        }
        literal("],");
        if (m_stamps)
            stamps(group, false);
        key("name");
        string(group.getName());
        m_sink.byte(',');
        key("note");
        string(group.getNote());
        m_sink.byte(',');
        key("tag");
        number(group.getTag());
        m_sink.byte(',');
        key("type");
        number(PasswordDatabase::GroupType);
        if (m_stamps) {
            m_sink.byte(',');
            key("uuid");
            string(group.getUuid());
        }
        m_sink.byte('}');
        return true;
    }

    Sink& m_sink;
    const bool m_stamps;
    const QDateTime m_oldestDeletion;
};

QDateTime oldestKeptDeletion()
{
    return Item::stampNow().addDays(-PasswordDatabase::DeletionMemoryDays);
}

// The root's members written into `out` from `at`, which has room for
// exactly `size` bytes. False (the room left as it was) when the text does
// not come out at that size, which would mean the tree changed in between.
bool writeRootMembers(const PasswordDatabase& db, const QDateTime& oldest, char* at, qint64 size)
{
    WriteSink sink{ at };
    Writer<WriteSink> writer(sink, !db.isLegacyFormat(), oldest);
    return writer.rootMembers(db) && sink.out == at + size;
}

QByteArray randomPadding(qint64 bodyLength)
{
    const int range = int(qMin<qint64>(bodyLength / 5, std::numeric_limits<int>::max()));
    const int count = range > 0 ? randomInt() % range : 0;
    return randomBytes(count).toHex();
}

} // namespace

QByteArray TreeJsonWriter::compactTree(const PasswordDatabase& db)
{
    const QDateTime oldest = oldestKeptDeletion();
    SizeSink size;
    Writer<SizeSink> measure(size, !db.isLegacyFormat(), oldest);
    if (!measure.rootMembers(db) || size.bytes + 2 > std::numeric_limits<int>::max())
        return QByteArray();
    QByteArray text(int(size.bytes) + 2, Qt::Uninitialized);
    text[0] = '{';
    text[text.size() - 1] = '}';
    if (!writeRootMembers(db, oldest, text.data() + 1, size.bytes)) {
        wipe(text);
        return QByteArray();
    }
    return text;
}

bool TreeJsonWriter::appendPaddedTree(const PasswordDatabase& db, QByteArray& out)
{
    const QDateTime oldest = oldestKeptDeletion();
    SizeSink size;
    Writer<SizeSink> measure(size, !db.isLegacyFormat(), oldest);
    if (!measure.rootMembers(db))
        return false;
    const QByteArray paddingStart = randomPadding(size.units);
    const QByteArray paddingEnd = randomPadding(size.units);

    static const char start[] = "{\"paddingStart\": \"";
    static const char middle[] = "\", ";
    static const char afterBody[] = ", \"paddingEnd\": \"";
    static const char end[] = "\"}";
    const qint64 total = qint64(out.size()) + qint64(sizeof start + sizeof middle + sizeof afterBody + sizeof end) - 4
        + paddingStart.size() + size.bytes + paddingEnd.size();
    if (total > std::numeric_limits<int>::max())
        return false;
    const int oldSize = out.size();
    out.reserve(int(total));
    out.append(start, int(sizeof start) - 1);
    out.append(paddingStart);
    out.append(middle, int(sizeof middle) - 1);
    const int bodyAt = out.size();
    out.resize(bodyAt + int(size.bytes)); // within the reserved room: no move
    if (!writeRootMembers(db, oldest, out.data() + bodyAt, size.bytes)) {
        std::memset(out.data() + oldSize, 0, size_t(out.size() - oldSize));
        out.resize(oldSize);
        return false;
    }
    out.append(afterBody, int(sizeof afterBody) - 1);
    out.append(paddingEnd);
    out.append(end, int(sizeof end) - 1);
    return true;
}
