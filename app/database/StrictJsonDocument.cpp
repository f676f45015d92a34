#include "app/database/StrictJsonDocument.h"

#include <cstring>

namespace {

constexpr int MaxDigits = 15; // every such integer is exact as a double

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four hex digits at `text` (room for them checked by the caller), or -1.
int hex4(const char* text)
{
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return -1;
        value = value << 4 | digit;
    }
    return value;
}

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence of two to four bytes at `p`
// (no overlong forms, no surrogates, nothing above U+10FFFF), or 0.
int utf8SequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned char c = p[0];
    const long room = end - p;
    if (c >= 0xC2 && c <= 0xDF)
        return room >= 2 && isContinuation(p[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (room < 3 || !isContinuation(p[1]) || !isContinuation(p[2]))
            return 0;
        if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] > 0x9F))
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (room < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3]))
            return 0;
        if ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

} // namespace

bool StrictJsonDocument::parse(const char* text, int size, int maxDepth)
{
    m_nodes.clear();
    m_text = text;
    m_size = size;
    m_position = 0;
    m_maxDepth = maxDepth;
    if (!text || size <= 0 || size >= MaxTextSize)
        return false;
    // About one value for every sixteen bytes of the texts this program
    // writes.
    m_nodes.reserve(size / 16 + 1);
    skipSpace();
    bool ok = m_position < m_size && m_text[m_position] == '{' && parseValue(0);
    if (ok) {
        skipSpace();
        ok = m_position == m_size;
    }
    if (!ok) {
        m_nodes.clear();
        m_nodes.squeeze();
    }
    return ok;
}

void StrictJsonDocument::skipSpace()
{
    while (m_position < m_size) {
        const char c = m_text[m_position];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            return;
        ++m_position;
    }
}

bool StrictJsonDocument::parseValue(int depth)
{
    if (m_position >= m_size)
        return false;
    switch (m_text[m_position]) {
    case '{':
        return parseObject(depth + 1);
    case '[':
        return parseArray(depth + 1);
    case '"': {
        Node node = makeNode(String, 0, 0);
        if (!parseString(node))
            return false;
        node.end = m_nodes.size() + 1;
        m_nodes.append(node);
        return true;
    }
    case 't':
        return parseLiteral("true", 4, True);
    case 'f':
        return parseLiteral("false", 5, False);
    case 'n':
        return parseLiteral("null", 4, Null);
    default: {
        Node node = makeNode(Number, 0, 0);
        if (!parseNumber(node))
            return false;
        node.end = m_nodes.size() + 1;
        m_nodes.append(node);
        return true;
    }
    }
}

bool StrictJsonDocument::parseLiteral(const char* literal, int length, Kind kind)
{
    if (m_size - m_position < length || std::memcmp(m_text + m_position, literal, size_t(length)) != 0)
        return false;
    m_position += length;
    m_nodes.append(makeNode(kind, 0, m_nodes.size() + 1));
    return true;
}

bool StrictJsonDocument::parseNumber(Node& node)
{
    const int start = m_position;
    if (m_position < m_size && m_text[m_position] == '-')
        ++m_position;
    const int digitsStart = m_position;
    while (m_position < m_size && m_text[m_position] >= '0' && m_text[m_position] <= '9')
        ++m_position;
    const int digits = m_position - digitsStart;
    if (digits == 0 || digits > MaxDigits || (digits > 1 && m_text[digitsStart] == '0'))
        return false;
    if (m_position < m_size) {
        const char next = m_text[m_position];
        if (next == '.' || next == 'e' || next == 'E')
            return false;
    }
    node.start = start;
    node.length = quint32(m_position - start);
    return true;
}

bool StrictJsonDocument::parseString(Node& node)
{
    ++m_position; // the opening quote
    node.start = m_position;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_text) + m_position;
    const unsigned char* const end = reinterpret_cast<const unsigned char*>(m_text) + m_size;
    while (p < end) {
        const unsigned char c = *p;
        if (c == '"') {
            node.length = quint32(int(p - reinterpret_cast<const unsigned char*>(m_text)) - node.start);
            m_position = node.start + int(node.length) + 1;
            return true;
        }
        if (c < 0x20)
            return false;
        if (c < 0x80) {
            if (c != '\\') {
                ++p;
                continue;
            }
            node.flags |= HasEscapes;
            if (end - p < 2)
                return false;
            switch (p[1]) {
            case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
                p += 2;
                continue;
            case 'u':
                break;
            default:
                return false;
            }
            if (end - p < 6)
                return false;
            const int unit = hex4(reinterpret_cast<const char*>(p) + 2);
            if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF))
                return false;
            p += 6;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                // Only a pair: a lone half reads differently elsewhere.
                if (end - p < 6 || p[0] != '\\' || p[1] != 'u')
                    return false;
                const int low = hex4(reinterpret_cast<const char*>(p) + 2);
                if (low < 0xDC00 || low > 0xDFFF)
                    return false;
                p += 6;
            }
            continue;
        }
        const int length = utf8SequenceLength(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return false;
}

bool StrictJsonDocument::parseObject(int depth)
{
    if (depth > m_maxDepth)
        return false;
    const int index = m_nodes.size();
    m_nodes.append(makeNode(ObjectKind, m_position, 0));
    ++m_position; // {
    int keys[MaxMembers];
    int count = 0;
    skipSpace();
    if (m_position < m_size && m_text[m_position] == '}') {
        ++m_position;
        m_nodes[index].end = m_nodes.size();
        return true;
    }
    for (;;) {
        if (m_position >= m_size || m_text[m_position] != '"' || count == MaxMembers)
            return false;
        Node key = makeNode(String, 0, 0);
        if (!parseString(key) || (key.flags & HasEscapes))
            return false;
        for (int i = 0; i < count; ++i) {
            const Node& other = m_nodes.at(keys[i]);
            if (other.length == key.length
                && std::memcmp(m_text + other.start, m_text + key.start, size_t(key.length)) == 0)
                return false;
        }
        keys[count++] = m_nodes.size();
        key.end = m_nodes.size() + 1;
        m_nodes.append(key);
        skipSpace();
        if (m_position >= m_size || m_text[m_position] != ':')
            return false;
        ++m_position;
        skipSpace();
        bool closed = false;
        if (!parseValue(depth) || !parseSeparator('}', closed))
            return false;
        if (closed)
            break;
    }
    m_nodes[index].end = m_nodes.size();
    return true;
}

bool StrictJsonDocument::parseArray(int depth)
{
    if (depth > m_maxDepth)
        return false;
    const int index = m_nodes.size();
    m_nodes.append(makeNode(ArrayKind, m_position, 0));
    ++m_position; // [
    skipSpace();
    if (m_position < m_size && m_text[m_position] == ']') {
        ++m_position;
        m_nodes[index].end = m_nodes.size();
        return true;
    }
    for (;;) {
        bool closed = false;
        if (!parseValue(depth) || !parseSeparator(']', closed))
            return false;
        if (closed)
            break;
    }
    m_nodes[index].end = m_nodes.size();
    return true;
}

bool StrictJsonDocument::parseSeparator(char close, bool& closed)
{
    skipSpace();
    if (m_position >= m_size)
        return false;
    const char c = m_text[m_position++];
    closed = c == close;
    if (!closed && c != ',')
        return false;
    if (!closed)
        skipSpace();
    return true;
}

QString StrictJsonDocument::decodeEscaped(const Node& node) const
{
    // Never more UTF-16 units than bytes: the text is written once, into
    // storage of its final capacity.
    QString text(node.length, Qt::Uninitialized);
    QChar* out = text.data();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_text) + node.start;
    const unsigned char* const end = p + node.length;
    while (p < end) {
        const unsigned char c = *p;
        if (c == '\\') {
            const char e = char(p[1]);
            p += 2;
            switch (e) {
            case 'b': *out++ = QChar(0x08); break;
            case 'f': *out++ = QChar(0x0C); break;
            case 'n': *out++ = QChar(0x0A); break;
            case 'r': *out++ = QChar(0x0D); break;
            case 't': *out++ = QChar(0x09); break;
            case 'u':
                *out++ = QChar(ushort(hex4(reinterpret_cast<const char*>(p))));
                p += 4;
                break;
            default: *out++ = QChar(uchar(e)); break; // " \ /
            }
        } else if (c < 0x80) {
            *out++ = QChar(c);
            ++p;
        } else {
            // Checked well-formed by parseString().
            uint code;
            int length;
            if (c < 0xE0) {
                code = c & 0x1F;
                length = 2;
            } else if (c < 0xF0) {
                code = c & 0x0F;
                length = 3;
            } else {
                code = c & 0x07;
                length = 4;
            }
            for (int i = 1; i < length; ++i)
                code = code << 6 | (p[i] & 0x3F);
            p += length;
            if (code >= 0x10000) {
                *out++ = QChar(QChar::highSurrogate(code));
                *out++ = QChar(QChar::lowSurrogate(code));
            } else {
                *out++ = QChar(ushort(code));
            }
        }
    }
    text.resize(int(out - text.constData()));
    return text;
}

int StrictJsonDocument::Value::kind() const
{
    return m_index < 0 ? -1 : m_document->m_nodes.at(m_index).kind;
}

double StrictJsonDocument::Value::toDouble() const
{
    if (kind() != Number)
        return 0.0;
    const Node& node = m_document->m_nodes.at(m_index);
    const char* p = m_document->m_text + node.start;
    const bool negative = *p == '-';
    qint64 value = 0;
    for (int i = negative ? 1 : 0; i < node.length; ++i)
        value = value * 10 + (p[i] - '0');
    return double(negative ? -value : value);
}

int StrictJsonDocument::Value::toInt() const
{
    const double value = toDouble();
    return value >= -2147483648.0 && value <= 2147483647.0 ? int(value) : 0;
}

QString StrictJsonDocument::Value::toString() const
{
    if (kind() != String)
        return QString();
    const Node& node = m_document->m_nodes.at(m_index);
    if (node.flags & HasEscapes)
        return m_document->decodeEscaped(node);
    return QString::fromUtf8(m_document->m_text + node.start, node.length);
}

QByteArray StrictJsonDocument::Value::latin1View() const
{
    if (kind() != String)
        return QByteArray();
    const Node& node = m_document->m_nodes.at(m_index);
    const char* text = m_document->m_text + node.start;
    bool ascii = !(node.flags & HasEscapes);
    for (int i = 0; ascii && i < node.length; ++i)
        ascii = static_cast<unsigned char>(text[i]) < 0x80;
    return ascii ? QByteArray::fromRawData(text, node.length) : toString().toLatin1();
}

StrictJsonDocument::Object StrictJsonDocument::Value::toObject() const
{
    return kind() == ObjectKind ? Object(m_document, m_index) : Object();
}

StrictJsonDocument::Array StrictJsonDocument::Value::toArray() const
{
    return kind() == ArrayKind ? Array(m_document, m_index) : Array();
}

StrictJsonDocument::Value StrictJsonDocument::Object::value(QLatin1String key) const
{
    if (m_index < 0)
        return Value();
    const QVector<Node>& nodes = m_document->m_nodes;
    const int end = nodes.at(m_index).end;
    for (int i = m_index + 1; i < end; i = nodes.at(i + 1).end) {
        const Node& name = nodes.at(i);
        if (name.length == key.size()
            && std::memcmp(m_document->m_text + name.start, key.data(), size_t(name.length)) == 0)
            return Value(m_document, i + 1);
    }
    return Value();
}

bool StrictJsonDocument::Object::isEmpty() const
{
    return m_index < 0 || m_document->m_nodes.at(m_index).end == m_index + 1;
}

StrictJsonDocument::Array::const_iterator& StrictJsonDocument::Array::const_iterator::operator++()
{
    m_index = m_document->m_nodes.at(m_index).end;
    return *this;
}

StrictJsonDocument::Array::const_iterator StrictJsonDocument::Array::begin() const
{
    return m_index < 0 ? const_iterator(nullptr, -1) : const_iterator(m_document, m_index + 1);
}

StrictJsonDocument::Array::const_iterator StrictJsonDocument::Array::end() const
{
    return m_index < 0 ? const_iterator(nullptr, -1) : const_iterator(m_document, m_document->m_nodes.at(m_index).end);
}

int StrictJsonDocument::Array::size() const
{
    int count = 0;
    for (auto it = begin(); it != end(); ++it)
        ++count;
    return count;
}
