// The option set editor: rows or tabs, hidden options, the "BOption"
// property, edits written into the nodes, and the dialog that edits a copy.
#include "blib/app/BApplicationIdentity.h"
#include "blib/password/BOption.h"
#include "blib/password/BOptionSetDialog.h"
#include "blib/password/BOptionSetWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

class tst_BOptionSetWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rowsEditTheNodesTheyCarry();
    void choiceEditorOpensOnTheChoiceAndSetsValues();
    void groupsBecomeTabs();
    void mixedSetShowsNothing_data();
    void mixedSetShowsNothing();
    void dialogEditsACopy();
};

namespace {

BOption* optionOf(const QWidget* editor)
{
    const QVariant address = editor->property("BOption");
    return address.isValid() ? reinterpret_cast<BOption*>(quintptr(address.value<quint64>())) : nullptr;
}

// The editors of the widget, in any order.
QList<QWidget*> editorsOf(const QWidget& widget)
{
    QList<QWidget*> editors;
    for (QWidget* child : widget.findChildren<QWidget*>()) {
        if (child->property("BOption").isValid())
            editors.append(child);
    }
    return editors;
}

QString labelFor(const QWidget* editor)
{
    auto* layout = qobject_cast<QFormLayout*>(editor->parentWidget()->layout());
    auto* label = layout ? qobject_cast<QLabel*>(layout->labelForField(const_cast<QWidget*>(editor))) : nullptr;
    return label ? label->text() : QString();
}

} // namespace

void tst_BOptionSetWidget::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BOptionSetWidget::rowsEditTheNodesTheyCarry()
{
    BOption root;
    root.addInt("length", "Length", true, 13, 1, 100);
    root.addBool("upper", "Uppercase", true, true);
    root.addBool("secret", "Hidden", false, true);
    root.option("word")->setString("horse");
    root.option("word")->setTitle("Word");
    root.option("word")->setVisibleInGUI(true);
    BOption* ratio = root.option("ratio");
    ratio->setDoubleRange(0.0, 2.0);
    ratio->setDouble(0.5);
    ratio->setTitle("Ratio");
    ratio->setVisibleInGUI(true);

    BOptionSetWidget widget;
    widget.setOptionSet(&root);

    // One editor per visible option, each carrying its own node; the hidden
    // option has none. No tabs for a set without groups.
    const QList<QWidget*> editors = editorsOf(widget);
    QCOMPARE(editors.size(), 4);
    QVERIFY(!widget.findChild<QTabWidget*>());
    for (QWidget* editor : editors)
        QVERIFY(optionOf(editor) != root.option("secret"));

    auto* spin = widget.findChild<QSpinBox*>();
    QCOMPARE(optionOf(spin), root.option("length"));
    QCOMPARE(spin->minimum(), 1);
    QCOMPARE(spin->maximum(), 100);
    QCOMPARE(spin->value(), 13);
    QCOMPARE(labelFor(spin), QStringLiteral("Length:"));

    auto* check = widget.findChild<QCheckBox*>();
    QCOMPARE(optionOf(check), root.option("upper"));
    QCOMPARE(check->text(), QStringLiteral("Uppercase"));
    QVERIFY(check->isChecked());
    QCOMPARE(labelFor(check), QString()); // the box spans the row

    auto* line = widget.findChild<QLineEdit*>();
    QCOMPARE(line->text(), QStringLiteral("horse"));
    auto* doubleSpin = widget.findChild<QDoubleSpinBox*>();
    QCOMPARE(doubleSpin->value(), 0.5);

    // Edits land in the nodes at once.
    spin->setValue(42);
    check->setChecked(false);
    line->setText("battery");
    doubleSpin->setValue(1.25);
    QCOMPARE(root.findOption("length")->intValue(), 42);
    QVERIFY(!root.findOption("upper")->boolValue());
    QCOMPARE(root.findOption("word")->stringValue(), QStringLiteral("battery"));
    QCOMPARE(root.findOption("ratio")->doubleValue(), 1.25);
    QVERIFY(root.findOption("secret")->boolValue());

    // Building again replaces the editors instead of adding to them.
    widget.setOptionSet(&root);
    QCOMPARE(editorsOf(widget).size(), 4);
    QCOMPARE(widget.findChild<QSpinBox*>()->value(), 42);
}

void tst_BOptionSetWidget::choiceEditorOpensOnTheChoiceAndSetsValues()
{
    BOption root;
    BOption* mode = root.option("mode");
    mode->setTitle("Mode");
    mode->setVisibleInGUI(true);
    mode->setChoices({ { "pin", "Digits only" }, { "words", "Words" }, { "mixed", "Everything" } });
    mode->setChoice("words");

    BOptionSetWidget widget;
    widget.setOptionSet(&root);
    auto* combo = widget.findChild<QComboBox*>();
    QVERIFY(combo);
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QStringLiteral("Digits only"));
    QCOMPARE(combo->itemData(0).toString(), QStringLiteral("pin"));
    // The editor shows the current choice, not the first entry.
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(mode->choiceValue(), QStringLiteral("words"));

    // Picking an entry whose title differs from its value changes the choice.
    combo->setCurrentIndex(2);
    QCOMPARE(mode->choiceValue(), QStringLiteral("mixed"));
    QCOMPARE(mode->choiceTitle(), QStringLiteral("Everything"));
    combo->setCurrentIndex(0);
    QCOMPARE(mode->choiceValue(), QStringLiteral("pin"));
}

void tst_BOptionSetWidget::groupsBecomeTabs()
{
    BOption root;
    QVERIFY(root.loadDefinition(QStringLiteral(
        "[{\"name\":\"a\",\"title\":\"First\",\"type\":\"group\",\"visibleInGUI\":true,\"children\":["
        "  {\"name\":\"n\",\"title\":\"N\",\"type\":\"int\",\"visibleInGUI\":true,\"value\":3,\"min\":0,\"max\":9},"
        "  {\"name\":\"h\",\"title\":\"Hidden inside\",\"type\":\"bool\",\"visibleInGUI\":false,\"value\":true},"
        "  {\"name\":\"g\",\"title\":\"Nested\",\"type\":\"group\",\"visibleInGUI\":true,\"children\":["
        "    {\"name\":\"x\",\"title\":\"X\",\"type\":\"bool\",\"visibleInGUI\":true}]}]},"
        " {\"name\":\"b\",\"title\":\"Hidden group\",\"type\":\"group\",\"visibleInGUI\":false,\"children\":[]},"
        " {\"name\":\"c\",\"title\":\"Second\",\"type\":\"group\",\"visibleInGUI\":true,\"children\":["
        "  {\"name\":\"s\",\"title\":\"S\",\"type\":\"string\",\"visibleInGUI\":true,\"value\":\"v\"}]}]")));

    BOptionSetWidget widget;
    widget.setOptionSet(&root);
    auto* tabs = widget.findChild<QTabWidget*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("First"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Second"));

    // Inside a group the visibility flag is not consulted; nested groups
    // are not shown.
    const QList<QWidget*> editors = editorsOf(widget);
    QCOMPARE(editors.size(), 3);
    auto* hiddenInside = widget.findChild<QCheckBox*>();
    QVERIFY(hiddenInside);
    QCOMPARE(optionOf(hiddenInside), root.option("a.h"));
    for (QWidget* editor : editors)
        QVERIFY(optionOf(editor) != root.option("a.g.x"));
    QCOMPARE(widget.findChild<QLineEdit*>()->parentWidget(), tabs->widget(1));
}

void tst_BOptionSetWidget::mixedSetShowsNothing_data()
{
    QTest::addColumn<bool>("groupFirst");
    QTest::newRow("option then group") << false;
    QTest::newRow("group then option") << true;
}

void tst_BOptionSetWidget::mixedSetShowsNothing()
{
    QFETCH(bool, groupFirst);
    BOption root;
    if (groupFirst)
        root.addBool("g.inside", "Inside", true, true);
    root.addInt("n", "N", true, 1, 0, 5);
    if (!groupFirst)
        root.addBool("g.inside", "Inside", true, true);
    root.option("g")->setVisibleInGUI(true);
    root.option("g")->setTitle("G");

    BOptionSetWidget widget;
    widget.setOptionSet(&root);
    QVERIFY(editorsOf(widget).isEmpty());
    QVERIFY(!widget.findChild<QTabWidget*>());

    // Hiding the group leaves a plain set of rows.
    root.option("g")->setVisibleInGUI(false);
    widget.setOptionSet(&root);
    QCOMPARE(editorsOf(widget).size(), 1);
}

void tst_BOptionSetWidget::dialogEditsACopy()
{
    BOption root;
    root.addInt("length", "Length", true, 13, 1, 100);

    {
        BOptionSetDialog dialog(nullptr, "Plugin options");
        QCOMPARE(dialog.objectName(), QStringLiteral("BOptionSetDialog"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Plugin options"));
        dialog.setOptions(root);
        dialog.findChild<QSpinBox*>()->setValue(20);
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(root.findOption("length")->intValue(), 13);
        QCOMPARE(dialog.options().findOption("length")->intValue(), 20);
    }
    {
        BOptionSetDialog dialog(nullptr, "Plugin options");
        dialog.setOptions(root);
        dialog.findChild<QSpinBox*>()->setValue(30);
        dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        root = dialog.options();
    }
    QCOMPARE(root.findOption("length")->intValue(), 30);
}

QTEST_MAIN(tst_BOptionSetWidget)
#include "tst_boptionsetwidget.moc"
