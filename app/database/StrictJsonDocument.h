#ifndef STRICTJSONDOCUMENT_H
#define STRICTJSONDOCUMENT_H

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QVector>

// A fast reader for the JSON this program writes, over UTF-8 text that stays
// owned by the caller and must outlive the document: the values are a flat
// list of positions in that text, and strings are decoded only when asked for.
//
// It takes only a strict part of JSON and declines everything else, so that
// what it reads, the toolkit's reader reads alike: a top-level object; keys
// without escapes, unique within their object, at most MaxMembers per object;
// strings of valid UTF-8 without raw control characters, with the standard
// escapes and only paired surrogates; integers of at most 15 digits without
// fraction or exponent; true, false and null; nesting at most `maxDepth`
// deep; the four JSON white-space characters. A declined text is not
// necessarily bad: the caller hands it to the toolkit's reader instead.
//
// The views (Value, Object, Array) mirror the QJsonValue, QJsonObject and
// QJsonArray calls the database readers use, so that one reader serves both.
class StrictJsonDocument
{
public:
    static constexpr int MaxMembers = 32;

    class Object;
    class Array;

    class Value
    {
    public:
        Value() = default;
        bool isUndefined() const { return m_index < 0; }
        bool isNull() const { return kind() == Null; }
        bool isBool() const { return kind() == True || kind() == False; }
        bool isDouble() const { return kind() == Number; }
        bool isString() const { return kind() == String; }
        bool isArray() const { return kind() == ArrayKind; }
        bool isObject() const { return kind() == ObjectKind; }
        bool toBool() const { return kind() == True; }
        double toDouble() const;
        int toInt() const;
        // The text of a string value, a null string for any other value.
        QString toString() const;
        // The Latin-1 form of the text, as QString::toLatin1() gives it. For
        // a string of ASCII without escapes (Base64, say) the bytes are not
        // copied: the array then refers to the parsed text and is valid only
        // while that lives.
        QByteArray latin1View() const;
        Object toObject() const;
        Array toArray() const;

    private:
        friend class StrictJsonDocument;
        Value(const StrictJsonDocument* document, int index) : m_document(document), m_index(index) {}
        int kind() const;
        const StrictJsonDocument* m_document = nullptr;
        int m_index = -1;
    };

    class Object
    {
    public:
        Object() = default;
        // The member's value; an undefined value when there is none.
        Value value(QLatin1String key) const;
        bool contains(QLatin1String key) const { return !value(key).isUndefined(); }
        bool isEmpty() const;

    private:
        friend class StrictJsonDocument;
        Object(const StrictJsonDocument* document, int index) : m_document(document), m_index(index) {}
        const StrictJsonDocument* m_document = nullptr;
        int m_index = -1;
    };

    class Array
    {
    public:
        class const_iterator
        {
        public:
            Value operator*() const { return Value(m_document, m_index); }
            const_iterator& operator++();
            bool operator!=(const const_iterator& other) const { return m_index != other.m_index; }

        private:
            friend class Array;
            const_iterator(const StrictJsonDocument* document, int index) : m_document(document), m_index(index) {}
            const StrictJsonDocument* m_document;
            int m_index;
        };
        Array() = default;
        const_iterator begin() const;
        const_iterator end() const;
        int size() const;
        bool isEmpty() const { return size() == 0; }

    private:
        friend class StrictJsonDocument;
        Array(const StrictJsonDocument* document, int index) : m_document(document), m_index(index) {}
        const StrictJsonDocument* m_document = nullptr;
        int m_index = -1;
    };

    // Reads `size` bytes at `text`. False when the text is declined; the
    // document is then empty.
    bool parse(const char* text, int size, int maxDepth);
    // The top-level object of a parsed text.
    Object object() const { return Object(this, m_nodes.isEmpty() ? -1 : 0); }

private:
    enum Kind : quint8 { Null, True, False, Number, String, ArrayKind, ObjectKind };
    enum NodeFlag : quint8 { HasEscapes = 1 };
    // Twelve bytes a value: the list is the reader's largest memory.
    struct Node {
        // String: the bytes between the quotes. Number: its digits.
        // Containers: not used.
        int start;
        // The index just past the node and everything inside it.
        int end;
        quint32 length : 28;
        quint32 kind : 3;
        quint32 flags : 1;
    };
    static Node makeNode(Kind kind, int start, int end)
    {
        Node node;
        node.start = start;
        node.end = end;
        node.length = 0;
        node.kind = kind;
        node.flags = 0;
        return node;
    }
    // Texts from this size on are left to the toolkit.
    static constexpr int MaxTextSize = 1 << 28;

    bool parseValue(int depth);
    bool parseObject(int depth);
    bool parseArray(int depth);
    // After a member's or element's value: past the comma (`closed` false)
    // or the closing `close` (`closed` true); false for anything else.
    bool parseSeparator(char close, bool& closed);
    bool parseString(Node& node);
    bool parseNumber(Node& node);
    bool parseLiteral(const char* literal, int length, Kind kind);
    void skipSpace();
    QString decodeEscaped(const Node& node) const;

    QVector<Node> m_nodes;
    const char* m_text = nullptr;
    int m_size = 0;
    int m_position = 0;
    int m_maxDepth = 0;
};

#endif // STRICTJSONDOCUMENT_H
