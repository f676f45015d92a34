#include "blib/password/BOption.h"

#include "blib/app/BSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>

namespace {

const char* const typeNames[] = { "none", "group", "string", "int", "double", "bool", "choice" };

// A JSON string literal: quotes, backslashes and control characters
// escaped, everything else written as it is.
QString jsonString(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString jsonBool(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The shortest text that reads back as the same double; false for values
// JSON cannot hold.
bool jsonDouble(double value, QString& out)
{
    if (!std::isfinite(value))
        return false;
    out = QString::number(value, 'g', QLocale::FloatingPointShortest);
    return true;
}

QString member(const char* name, const QString& value)
{
    return QLatin1Char('"') + QLatin1String(name) + QLatin1String("\":") + value;
}

QString choicePair(const QString& value, const QString& title)
{
    return QLatin1Char('{') + member("value", jsonString(value)) + QLatin1Char(',')
        + member("title", jsonString(title)) + QLatin1Char('}');
}

} // namespace

BOption::BOption(const BOption& other)
{
    copyFrom(other);
}

BOption& BOption::operator=(const BOption& other)
{
    if (this != &other) {
        // Copy first: `other` may live inside this node's own subtree.
        BOption copy(other);
        clearChildren();
        copyFrom(copy);
    }
    return *this;
}

BOption::~BOption()
{
    clearChildren();
}

void BOption::copyFrom(const BOption& other)
{
    m_type = other.m_type;
    m_name = other.m_name;
    m_title = other.m_title;
    for (const BOption* child : other.m_children)
        m_children.append(new BOption(*child));
    m_stringValue = other.m_stringValue;
    m_intValue = other.m_intValue;
    m_intMinimum = other.m_intMinimum;
    m_intMaximum = other.m_intMaximum;
    m_doubleValue = other.m_doubleValue;
    m_doubleMinimum = other.m_doubleMinimum;
    m_doubleMaximum = other.m_doubleMaximum;
    m_boolValue = other.m_boolValue;
    m_choiceValue = other.m_choiceValue;
    m_choiceTitle = other.m_choiceTitle;
    m_choices = other.m_choices;
    m_visibleInGUI = other.m_visibleInGUI;
}

void BOption::clearChildren()
{
    qDeleteAll(m_children);
    m_children.clear();
}

BOption* BOption::option(const QString& path)
{
    BOption* node = this;
    const QStringList parts = path.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        BOption* next = nullptr;
        for (BOption* child : qAsConst(node->m_children)) {
            if (child->m_name == part) {
                next = child;
                break;
            }
        }
        if (!next) {
            next = new BOption;
            next->m_name = part;
            next->m_type = Group;
            node->m_children.append(next);
        }
        node = next;
    }
    return node;
}

const BOption* BOption::findOption(const QString& path) const
{
    const BOption* node = this;
    const QStringList parts = path.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const BOption* next = nullptr;
        for (const BOption* child : node->m_children) {
            if (child->m_name == part) {
                next = child;
                break;
            }
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

BOption* BOption::addBool(const QString& path, const QString& title, bool visibleInGUI, bool value)
{
    BOption* node = option(path);
    node->m_title = title;
    node->m_visibleInGUI = visibleInGUI;
    node->m_boolValue = value;
    node->m_type = Bool;
    return node;
}

BOption* BOption::addInt(const QString& path, const QString& title, bool visibleInGUI, int value, int minimum,
                         int maximum)
{
    BOption* node = option(path);
    node->m_title = title;
    node->m_visibleInGUI = visibleInGUI;
    node->m_intValue = value;
    node->m_intMinimum = minimum;
    node->m_intMaximum = maximum;
    node->m_type = Int;
    return node;
}

void BOption::setBool(bool value)
{
    m_boolValue = value;
    m_type = Bool;
}

void BOption::setInt(int value)
{
    m_intValue = value;
    m_type = Int;
}

void BOption::setDouble(double value)
{
    m_doubleValue = value;
    m_type = Double;
}

void BOption::setString(const QString& value)
{
    m_stringValue = value;
    m_type = String;
}

void BOption::setChoice(const QString& value)
{
    for (const ChoicePair& pair : qAsConst(m_choices)) {
        if (pair.first == value) {
            m_choiceValue = pair.first;
            m_choiceTitle = pair.second;
            m_type = Choice;
            return;
        }
    }
}

void BOption::setIntRange(int minimum, int maximum)
{
    m_intMinimum = minimum;
    m_intMaximum = maximum;
}

void BOption::setDoubleRange(double minimum, double maximum)
{
    m_doubleMinimum = minimum;
    m_doubleMaximum = maximum;
}

void BOption::setChoices(const QList<ChoicePair>& choices)
{
    m_choices = choices;
}

QString BOption::typeName(Type type)
{
    const int index = int(type);
    if (index < 0 || index > int(Choice))
        return QString();
    return QLatin1String(typeNames[index]);
}

// ---------------------------------------------------------------- reading

bool BOption::readElement(const QJsonObject& object, BOption& node)
{
    if (!object.contains(QLatin1String("name")))
        return false;
    node.m_name = object.value(QLatin1String("name")).toString();
    if (object.contains(QLatin1String("title")))
        node.m_title = object.value(QLatin1String("title")).toString();
    if (!object.contains(QLatin1String("type")))
        return false;
    if (!object.contains(QLatin1String("visibleInGUI")))
        return false;
    node.m_visibleInGUI = object.value(QLatin1String("visibleInGUI")).toBool(false);

    // A type's own members are optional: a missing one ends the reading of
    // that type's members and the option keeps what was read so far.
    const QString type = object.value(QLatin1String("type")).toString();
    if (type == QLatin1String("group")) {
        node.m_type = Group;
        if (object.contains(QLatin1String("children"))) {
            const QJsonArray children = object.value(QLatin1String("children")).toArray();
            for (const QJsonValue& value : children) {
                auto* child = new BOption;
                node.m_children.append(child);
                const QJsonObject childObject = value.toObject();
                if (!childObject.isEmpty() && !readElement(childObject, *child))
                    break;
            }
        }
    } else if (type == QLatin1String("string")) {
        node.m_type = String;
        if (object.contains(QLatin1String("value")))
            node.m_stringValue = object.value(QLatin1String("value")).toString();
    } else if (type == QLatin1String("int")) {
        node.m_type = Int;
        int* const fields[] = { &node.m_intValue, &node.m_intMinimum, &node.m_intMaximum };
        const char* const keys[] = { "value", "min", "max" };
        for (int i = 0; i < 3; ++i) {
            if (!object.contains(QLatin1String(keys[i])))
                break;
            *fields[i] = object.value(QLatin1String(keys[i])).toInt();
        }
    } else if (type == QLatin1String("double")) {
        node.m_type = Double;
        double* const fields[] = { &node.m_doubleValue, &node.m_doubleMinimum, &node.m_doubleMaximum };
        const char* const keys[] = { "value", "min", "max" };
        for (int i = 0; i < 3; ++i) {
            if (!object.contains(QLatin1String(keys[i])))
                break;
            *fields[i] = object.value(QLatin1String(keys[i])).toDouble();
        }
    } else if (type == QLatin1String("bool")) {
        node.m_type = Bool;
        if (object.contains(QLatin1String("value")))
            node.m_boolValue = object.value(QLatin1String("value")).toBool();
    } else if (type == QLatin1String("choice")) {
        node.m_type = Choice;
        if (object.contains(QLatin1String("choices"))) {
            const QJsonArray choices = object.value(QLatin1String("choices")).toArray();
            for (const QJsonValue& value : choices) {
                const QJsonObject pair = value.toObject();
                node.m_choices.append(ChoicePair(pair.value(QLatin1String("value")).toString(),
                                                 pair.value(QLatin1String("title")).toString()));
            }
        }
        if (object.contains(QLatin1String("choice"))) {
            const QJsonObject choice = object.value(QLatin1String("choice")).toObject();
            node.m_choiceValue = choice.value(QLatin1String("value")).toString();
            node.m_choiceTitle = choice.value(QLatin1String("title")).toString();
        }
    } else {
        return false;
    }
    return true;
}

bool BOption::loadDefinition(const QString& text)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (document.isNull() || !document.isArray())
        return false;
    const QJsonArray elements = document.array();
    for (const QJsonValue& value : elements) {
        auto* child = new BOption;
        m_children.append(child);
        if (!readElement(value.toObject(), *child))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- writing

bool BOption::writeElement(const BOption& node, QString& out)
{
    QStringList members;
    members << member("name", jsonString(node.m_name));
    if (!node.m_title.isEmpty())
        members << member("title", jsonString(node.m_title));
    const QString type = typeName(node.m_type);
    if (type.isEmpty() || node.m_type == None)
        return false;
    members << member("type", jsonString(type));
    members << member("visibleInGUI", jsonBool(node.m_visibleInGUI));

    switch (node.m_type) {
    case Group: {
        QStringList children;
        for (const BOption* child : node.m_children) {
            if (child->m_type == None)
                continue;
            QString written;
            if (!writeElement(*child, written))
                return false;
            children << written;
        }
        members << member("children", QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']'));
        break;
    }
    case String:
        members << member("value", jsonString(node.m_stringValue));
        break;
    case Int:
        members << member("value", QString::number(node.m_intValue));
        members << member("min", QString::number(node.m_intMinimum));
        members << member("max", QString::number(node.m_intMaximum));
        break;
    case Double: {
        QString value, minimum, maximum;
        if (!jsonDouble(node.m_doubleValue, value) || !jsonDouble(node.m_doubleMinimum, minimum)
            || !jsonDouble(node.m_doubleMaximum, maximum))
            return false;
        members << member("value", value) << member("min", minimum) << member("max", maximum);
        break;
    }
    case Bool:
        members << member("value", jsonBool(node.m_boolValue));
        break;
    case Choice: {
        members << member("choice", choicePair(node.m_choiceValue, node.m_choiceTitle));
        QStringList pairs;
        for (const ChoicePair& pair : node.m_choices)
            pairs << choicePair(pair.first, pair.second);
        members << member("choices", QLatin1Char('[') + pairs.join(QLatin1Char(',')) + QLatin1Char(']'));
        break;
    }
    case None:
        break;
    }
    out = QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
    return true;
}

bool BOption::saveValues(QString& text) const
{
    QStringList elements;
    for (const BOption* child : m_children) {
        if (child->m_type == None)
            continue;
        QString written;
        if (!writeElement(*child, written))
            return false;
        elements << written;
    }
    text = QLatin1Char('[') + elements.join(QLatin1Char(',')) + QLatin1Char(']');
    return true;
}

// ---------------------------------------------------------------- settings

bool saveOptionSet(const QString& key, const BOption& set)
{
    QString text;
    if (!set.saveValues(text))
        return false;
    setStringSetting(key, text);
    return true;
}

bool loadOptionSet(const QString& key, BOption& set)
{
    QString empty;
    BOption().saveValues(empty);
    return set.loadValues(stringSetting(key, empty));
}
