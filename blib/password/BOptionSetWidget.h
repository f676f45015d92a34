#ifndef BOPTIONSETWIDGET_H
#define BOPTIONSETWIDGET_H

#include <QWidget>

class BOption;
class QFormLayout;

namespace Ui {
class BOptionSetWidget;
}

// Edits an option set: one row per visible top-level option, or one tab per
// visible top-level group with a row for each of the group's options. A set
// whose visible top-level options mix groups and other options shows
// nothing. Edits are written straight into the nodes; the set is not owned
// and must outlive the widget. Every editor carries the dynamic property
// "BOption" with the address of its node.
class BOptionSetWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BOptionSetWidget(QWidget* parent = nullptr);
    ~BOptionSetWidget() override;

    // Remembers `root` and builds its editors, replacing any earlier ones.
    void setOptionSet(BOption* root);
    BOption* optionSet() const { return m_root; }

signals:
    // An editor has written a new value into its option.
    void optionChanged();

private slots:
    void intSpinBoxValueChanged(int value);
    void doubleSpinBoxValueChanged(double value);
    void checkboxToggled(bool checked);
    void comboBoxCurrentTextChanged(const QString& text);
    void lineEditTextChanged(const QString& text);

private:
    // Adds the editor row of `option` to `layout`; nothing for a group or
    // an option without a type.
    void addRow(QFormLayout* layout, BOption* option);
    // The node whose address the sending editor carries, or null.
    BOption* senderOption() const;

    Ui::BOptionSetWidget* ui;
    BOption* m_root = nullptr;
    QWidget* m_content = nullptr;
};

#endif // BOPTIONSETWIDGET_H
