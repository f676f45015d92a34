#ifndef BOPTION_H
#define BOPTION_H

#include <QList>
#include <QPair>
#include <QString>

class QJsonObject;

// One node of an option set: a small tree of named, typed, titled settings.
// A set is a root node of type None whose children are the top-level
// options. Every node carries the fields of every type; only those of its
// own type mean anything. Copying a node copies its whole subtree.
//
// The definition form is a JSON array with one object per option, members
// in the order "name", "title" (left out when empty), "type",
// "visibleInGUI" and then those of the type:
//   group  "children" (an array of the same form)
//   string "value"
//   int    "value", "min", "max" (integers)
//   double "value", "min", "max" (numbers)
//   bool   "value"
//   choice "choice" {"value", "title"}, "choices" [{"value", "title"}, ...]
class BOption
{
public:
    enum Type { None = 0, Group = 1, String = 2, Int = 3, Double = 4, Bool = 5, Choice = 6 };
    // A selectable entry of a choice option: (value, title).
    using ChoicePair = QPair<QString, QString>;

    BOption() = default;
    BOption(const BOption& other);
    BOption& operator=(const BOption& other);
    ~BOption();

    // Finds or creates the node at `path` below this one. The path is split
    // at "."; empty parts are skipped. At each level the first child with
    // the part's name is taken, or a new child of type Group is appended.
    // An empty path gives this node.
    BOption* option(const QString& path);
    // As option(), but never creates anything: null when a part is missing.
    const BOption* findOption(const QString& path) const;

    BOption* addBool(const QString& path, const QString& title, bool visibleInGUI, bool value);
    BOption* addInt(const QString& path, const QString& title, bool visibleInGUI, int value, int minimum,
                    int maximum);

    void setTitle(const QString& title) { m_title = title; }
    void setVisibleInGUI(bool visible) { m_visibleInGUI = visible; }
    void setBool(bool value);
    void setInt(int value);
    void setDouble(double value);
    void setString(const QString& value);
    // Makes the first pair whose value equals `value` the current choice and
    // the node a choice option; a value that is not among the choices
    // changes nothing.
    void setChoice(const QString& value);
    void setIntRange(int minimum, int maximum);
    void setDoubleRange(double minimum, double maximum);
    void setChoices(const QList<ChoicePair>& choices);

    Type type() const { return m_type; }
    QString name() const { return m_name; }
    QString title() const { return m_title; }
    const QList<BOption*>& children() const { return m_children; }
    QString stringValue() const { return m_stringValue; }
    int intValue() const { return m_intValue; }
    int intMinimum() const { return m_intMinimum; }
    int intMaximum() const { return m_intMaximum; }
    double doubleValue() const { return m_doubleValue; }
    double doubleMinimum() const { return m_doubleMinimum; }
    double doubleMaximum() const { return m_doubleMaximum; }
    bool boolValue() const { return m_boolValue; }
    QString choiceValue() const { return m_choiceValue; }
    QString choiceTitle() const { return m_choiceTitle; }
    const QList<ChoicePair>& choices() const { return m_choices; }
    bool visibleInGUI() const { return m_visibleInGUI; }

    // Reads the definition form and appends its options to the children.
    // False when the text is not a JSON array or an element cannot be read;
    // the elements read so far, including the failing one, stay.
    bool loadDefinition(const QString& text);
    // Writes the children (those of type None left out) with their current
    // values in the definition form, as compact JSON. False when a value
    // cannot be written (a number that is not finite).
    bool saveValues(QString& text) const;
    // Reads text written by saveValues() back into the children.
    bool loadValues(const QString& text) { return loadDefinition(text); }

    static QString typeName(Type type);

private:
    void copyFrom(const BOption& other);
    void clearChildren();

    Type m_type = None;
    QString m_name;
    QString m_title;
    QList<BOption*> m_children;
    QString m_stringValue;
    int m_intValue = 0;
    int m_intMinimum = 0;
    int m_intMaximum = 0;
    double m_doubleValue = 0.0;
    double m_doubleMinimum = 0.0;
    double m_doubleMaximum = 0.0;
    bool m_boolValue = false;
    QString m_choiceValue;
    QString m_choiceTitle;
    QList<ChoicePair> m_choices;
    bool m_visibleInGUI = false;

    static bool readElement(const QJsonObject& object, BOption& node);
    static bool writeElement(const BOption& node, QString& out);
};

// Stores the option set as text in the settings store, under `key`. A set
// that cannot be written leaves the stored text as it was and gives false.
bool saveOptionSet(const QString& key, const BOption& set);
// Reads the text under `key` (an absent key reads as an empty set) into
// `set`; the result of the read.
bool loadOptionSet(const QString& key, BOption& set);

#endif // BOPTION_H
