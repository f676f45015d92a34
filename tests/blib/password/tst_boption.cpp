// Option sets: the definition form both ways, paths, choices, copies and the
// settings store.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/password/BOption.h"

#include <QtTest>
#include <limits>

class tst_BOption : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void definitionIsReadIntoEveryField();
    void savedTextIsCompactOrderedAndReadsBack();
    void failingDefinitions_data();
    void failingDefinitions();
    void pathsCreateGroupsAndSkipEmptyParts();
    void setChoiceMatchesValuesOnly();
    void copiesAreIndependent();
    void numbersJsonCannotHoldAreNotWritten();
    void optionSetsInTheSettingsStore();
};

namespace {

// Every type, a title left empty, a group with a nested group and an empty
// child object, choices whose titles differ from their values.
const char* const fullDefinition = R"([
  {"name": "length", "title": "Length", "type": "int", "visibleInGUI": true, "value": 13, "min": 1, "max": 100},
  {"name": "ratio", "type": "double", "visibleInGUI": false, "value": 0.25, "min": -1.5, "max": 2},
  {"name": "word", "title": "Word \"quoted\"\n", "type": "string", "visibleInGUI": true, "value": "zoë\\x"},
  {"name": "upper", "title": "Upper", "type": "bool", "visibleInGUI": true, "value": true},
  {"name": "mode", "title": "Mode", "type": "choice", "visibleInGUI": true,
   "choices": [{"value": "a", "title": "Alpha"}, {"value": "b", "title": "Beta"}],
   "choice": {"value": "b", "title": "Beta"}},
  {"name": "extra", "title": "Extra", "type": "group", "visibleInGUI": true, "children": [
     {"name": "count", "type": "int", "visibleInGUI": true, "value": 2, "min": 0, "max": 9},
     {},
     {"name": "inner", "type": "group", "visibleInGUI": false, "children": [
        {"name": "flag", "type": "bool", "visibleInGUI": true, "value": false}]}]}
])";

// What saveValues() writes for fullDefinition: compact, members in order,
// no "title" where it is empty, the empty child left out.
const char* const fullSaved =
    R"([{"name":"length","title":"Length","type":"int","visibleInGUI":true,"value":13,"min":1,"max":100},)"
    R"({"name":"ratio","type":"double","visibleInGUI":false,"value":0.25,"min":-1.5,"max":2},)"
    R"({"name":"word","title":"Word \"quoted\"\n","type":"string","visibleInGUI":true,"value":"zoë\\x"},)"
    R"({"name":"upper","title":"Upper","type":"bool","visibleInGUI":true,"value":true},)"
    R"({"name":"mode","title":"Mode","type":"choice","visibleInGUI":true,"choice":{"value":"b","title":"Beta"},)"
    R"("choices":[{"value":"a","title":"Alpha"},{"value":"b","title":"Beta"}]},)"
    R"({"name":"extra","title":"Extra","type":"group","visibleInGUI":true,"children":[)"
    R"({"name":"count","type":"int","visibleInGUI":true,"value":2,"min":0,"max":9},)"
    R"({"name":"inner","type":"group","visibleInGUI":false,"children":[)"
    R"({"name":"flag","type":"bool","visibleInGUI":true,"value":false}]}]}])";

// Every field of two trees, recursively.
void compareTrees(const BOption& a, const BOption& b)
{
    QCOMPARE(a.type(), b.type());
    QCOMPARE(a.name(), b.name());
    QCOMPARE(a.title(), b.title());
    QCOMPARE(a.visibleInGUI(), b.visibleInGUI());
    QCOMPARE(a.stringValue(), b.stringValue());
    QCOMPARE(a.intValue(), b.intValue());
    QCOMPARE(a.intMinimum(), b.intMinimum());
    QCOMPARE(a.intMaximum(), b.intMaximum());
    QCOMPARE(a.doubleValue(), b.doubleValue());
    QCOMPARE(a.doubleMinimum(), b.doubleMinimum());
    QCOMPARE(a.doubleMaximum(), b.doubleMaximum());
    QCOMPARE(a.boolValue(), b.boolValue());
    QCOMPARE(a.choiceValue(), b.choiceValue());
    QCOMPARE(a.choiceTitle(), b.choiceTitle());
    QCOMPARE(a.choices(), b.choices());
    QCOMPARE(a.children().size(), b.children().size());
    for (int i = 0; i < a.children().size(); ++i) {
        compareTrees(*a.children().at(i), *b.children().at(i));
        if (QTest::currentTestFailed())
            return;
    }
}

} // namespace


void tst_BOption::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BOption::definitionIsReadIntoEveryField()
{
    BOption root;
    QVERIFY(root.loadDefinition(QString::fromUtf8(fullDefinition)));
    QCOMPARE(root.type(), BOption::None);
    QCOMPARE(root.children().size(), 6);

    const BOption* length = root.children().at(0);
    QCOMPARE(length->type(), BOption::Int);
    QCOMPARE(length->title(), QStringLiteral("Length"));
    QCOMPARE(length->intValue(), 13);
    QCOMPARE(length->intMinimum(), 1);
    QCOMPARE(length->intMaximum(), 100);

    const BOption* ratio = root.findOption("ratio");
    QCOMPARE(ratio->type(), BOption::Double);
    QVERIFY(ratio->title().isEmpty());
    QVERIFY(!ratio->visibleInGUI());
    QCOMPARE(ratio->doubleValue(), 0.25);
    QCOMPARE(ratio->doubleMinimum(), -1.5);
    QCOMPARE(ratio->doubleMaximum(), 2.0);

    QCOMPARE(root.findOption("word")->stringValue(), QString::fromUtf8("zoë\\x"));
    QCOMPARE(root.findOption("word")->title(), QStringLiteral("Word \"quoted\"\n"));
    QVERIFY(root.findOption("upper")->boolValue());

    const BOption* mode = root.findOption("mode");
    QCOMPARE(mode->type(), BOption::Choice);
    QCOMPARE(mode->choices(), (QList<BOption::ChoicePair> { { "a", "Alpha" }, { "b", "Beta" } }));
    QCOMPARE(mode->choiceValue(), QStringLiteral("b"));
    QCOMPARE(mode->choiceTitle(), QStringLiteral("Beta"));

    // The group keeps its empty child as a node without a type.
    const BOption* extra = root.findOption("extra");
    QCOMPARE(extra->type(), BOption::Group);
    QCOMPARE(extra->children().size(), 3);
    QCOMPARE(extra->children().at(1)->type(), BOption::None);
    QCOMPARE(root.findOption("extra.count")->intMaximum(), 9);
    QCOMPARE(root.findOption("extra.inner.flag")->type(), BOption::Bool);
}

void tst_BOption::savedTextIsCompactOrderedAndReadsBack()
{
    BOption root;
    QVERIFY(root.loadDefinition(QString::fromUtf8(fullDefinition)));
    QString saved;
    QVERIFY(root.saveValues(saved));
    QCOMPARE(saved, QString::fromUtf8(fullSaved));

    // Reading the saved text gives every option back in the same order;
    // the typeless child of the group is the only thing not written.
    BOption again;
    QVERIFY(again.loadValues(saved));
    QCOMPARE(again.children().size(), root.children().size());
    for (int i = 0; i < 5; ++i)
        compareTrees(*root.children().at(i), *again.children().at(i));
    const BOption* group = root.findOption("extra");
    const BOption* groupAgain = again.findOption("extra");
    QCOMPARE(groupAgain->title(), group->title());
    QCOMPARE(groupAgain->visibleInGUI(), group->visibleInGUI());
    QCOMPARE(groupAgain->children().size(), 2);
    compareTrees(*group->children().at(0), *groupAgain->children().at(0));
    compareTrees(*group->children().at(2), *groupAgain->children().at(1));
    QString savedAgain;
    QVERIFY(again.saveValues(savedAgain));
    QCOMPARE(savedAgain, saved);

    // An empty set is an empty array.
    QString empty;
    QVERIFY(BOption().saveValues(empty));
    QCOMPARE(empty, QStringLiteral("[]"));
}

void tst_BOption::failingDefinitions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("children");

    QTest::newRow("empty array") << "[]" << true << 0;
    QTest::newRow("object") << "{}" << false << 0;
    QTest::newRow("syntax error") << R"([{"name": "a",)" << false << 0;
    QTest::newRow("not JSON") << "length=13" << false << 0;
    QTest::newRow("no visibleInGUI") << R"([{"name": "a", "title": "A", "type": "bool", "value": true}])" << false << 1;
    QTest::newRow("no name") << R"([{"type": "bool", "visibleInGUI": true}])" << false << 1;
    QTest::newRow("no type") << R"([{"name": "a", "visibleInGUI": true}])" << false << 1;
    QTest::newRow("element not an object") << R"([{"name": "a", "type": "bool", "visibleInGUI": true}, 7])" << false
                                           << 2;
    // The unknown type stops the load; the third element is never read.
    QTest::newRow("unknown type") << R"([{"name": "a", "type": "bool", "visibleInGUI": true},
                                          {"name": "b", "type": "integer", "visibleInGUI": true},
                                          {"name": "c", "type": "bool", "visibleInGUI": true}])"
                                  << false << 2;
    // Missing members of a type keep what was read so far.
    QTest::newRow("int without max") << R"([{"name": "a", "type": "int", "visibleInGUI": true, "value": 4, "min": 2}])"
                                     << true << 1;
}

void tst_BOption::failingDefinitions()
{
    QFETCH(QString, text);
    QFETCH(bool, result);
    QFETCH(int, children);

    BOption root;
    QCOMPARE(root.loadDefinition(text), result);
    QCOMPARE(root.children().size(), children);
    if (QByteArray(QTest::currentDataTag()) == "int without max") {
        QCOMPARE(root.children().at(0)->intValue(), 4);
        QCOMPARE(root.children().at(0)->intMinimum(), 2);
        QCOMPARE(root.children().at(0)->intMaximum(), 0);
    }
    if (QByteArray(QTest::currentDataTag()) == "no visibleInGUI")
        QCOMPARE(root.children().at(0)->name(), QStringLiteral("a"));
}

void tst_BOption::pathsCreateGroupsAndSkipEmptyParts()
{
    BOption root;
    QCOMPARE(root.option(QString()), &root);
    BOption* leaf = root.option("outer..inner.");
    QCOMPARE(root.children().size(), 1);
    BOption* outer = root.children().at(0);
    QCOMPARE(outer->name(), QStringLiteral("outer"));
    QCOMPARE(outer->type(), BOption::Group);
    QCOMPARE(outer->children().size(), 1);
    QCOMPARE(outer->children().at(0), leaf);
    QCOMPARE(leaf->name(), QStringLiteral("inner"));

    // Found again, not created twice; a setter gives the leaf its type.
    QCOMPARE(root.option(".outer.inner"), leaf);
    leaf->setInt(5);
    QCOMPARE(leaf->type(), BOption::Int);
    QCOMPARE(root.findOption("outer.inner")->intValue(), 5);
    QVERIFY(!root.findOption("outer.missing"));
    QCOMPARE(outer->children().size(), 1);

    BOption* flag = root.addBool("outer.flag", "Flag", true, true);
    QCOMPARE(flag->type(), BOption::Bool);
    QCOMPARE(outer->children().size(), 2);
    BOption* number = root.addInt("number", "Number", false, 7, 1, 9);
    QCOMPARE(number->intMaximum(), 9);
    QVERIFY(!number->visibleInGUI());
}

void tst_BOption::setChoiceMatchesValuesOnly()
{
    BOption option;
    option.setChoices({ { "x", "Ex" }, { "y", "Why" }, { "y", "Second y" } });
    option.setChoice("Why"); // a title, not a value
    QCOMPARE(option.type(), BOption::None);
    QVERIFY(option.choiceValue().isEmpty());
    option.setChoice("y");
    QCOMPARE(option.type(), BOption::Choice);
    QCOMPARE(option.choiceValue(), QStringLiteral("y"));
    QCOMPARE(option.choiceTitle(), QStringLiteral("Why"));
    option.setChoice("z");
    QCOMPARE(option.choiceValue(), QStringLiteral("y"));
    QCOMPARE(option.choiceTitle(), QStringLiteral("Why"));
}

void tst_BOption::copiesAreIndependent()
{
    BOption root;
    QVERIFY(root.loadDefinition(QString::fromUtf8(fullDefinition)));
    BOption copy(root);
    copy.option("extra.count")->setInt(8);
    copy.option("added")->setString("new");
    QCOMPARE(root.findOption("extra.count")->intValue(), 2);
    QVERIFY(!root.findOption("added"));

    // Assigning a subtree of the node to the node itself.
    BOption tree(root);
    tree = *tree.option("extra");
    QCOMPARE(tree.name(), QStringLiteral("extra"));
    QCOMPARE(tree.findOption("inner.flag")->type(), BOption::Bool);
}

void tst_BOption::numbersJsonCannotHoldAreNotWritten()
{
    BOption root;
    root.option("ratio")->setDouble(std::numeric_limits<double>::infinity());
    QString text = QStringLiteral("unchanged");
    QVERIFY(!root.saveValues(text));

    setStringSetting("test.optionSet.bad", "[]");
    QVERIFY(!saveOptionSet("test.optionSet.bad", root));
    QCOMPARE(stringSetting("test.optionSet.bad", QString()), QStringLiteral("[]"));
}

void tst_BOption::optionSetsInTheSettingsStore()
{
    BOption root;
    QVERIFY(root.loadDefinition(QString::fromUtf8(fullDefinition)));
    root.option("mode")->setChoice("a");
    QVERIFY(saveOptionSet("test.optionSet", root));
    QString written;
    QVERIFY(root.saveValues(written));
    QCOMPARE(stringSetting("test.optionSet", QString()), written);

    BOption loaded;
    QVERIFY(loadOptionSet("test.optionSet", loaded));
    QCOMPARE(loaded.findOption("mode")->choiceTitle(), QStringLiteral("Alpha"));
    QCOMPARE(loaded.findOption("extra.inner.flag")->type(), BOption::Bool);

    // An absent key reads as an empty set; text that is not a set fails.
    BOption absent;
    QVERIFY(loadOptionSet("test.optionSet.absent", absent));
    QVERIFY(absent.children().isEmpty());
    setStringSetting("test.optionSet.broken", "{\"name\":1}");
    BOption broken;
    QVERIFY(!loadOptionSet("test.optionSet.broken", broken));
}

QTEST_MAIN(tst_BOption)
#include "tst_boption.moc"
