#include "blib/password/BOptionSetWidget.h"

#include "ui_BOptionSetWidget.h"

#include "blib/password/BOption.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QVariant>

namespace {

const char* const optionProperty = "BOption";

void tagEditor(QWidget* editor, BOption* option)
{
    editor->setProperty(optionProperty, QVariant::fromValue<quint64>(quint64(reinterpret_cast<quintptr>(option))));
}

} // namespace

BOptionSetWidget::BOptionSetWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::BOptionSetWidget)
{
    ui->setupUi(this);
}

BOptionSetWidget::~BOptionSetWidget()
{
    delete ui;
}

void BOptionSetWidget::setOptionSet(BOption* root)
{
    delete m_content;
    m_content = nullptr;
    m_root = root;
    if (!root)
        return;

    QWidget* page = nullptr;
    QFormLayout* pageLayout = nullptr;
    QTabWidget* tabs = nullptr;
    for (BOption* child : root->children()) {
        if (!child->visibleInGUI())
            continue;
        if (child->type() == BOption::Group) {
            if (page) {
                // Rows and tabs cannot be shown together.
                delete page;
                return;
            }
            if (!tabs)
                tabs = new QTabWidget;
            auto* tab = new QWidget;
            auto* tabLayout = new QFormLayout(tab);
            for (BOption* option : child->children()) {
                if (option->type() != BOption::Group)
                    addRow(tabLayout, option);
            }
            tabs->addTab(tab, child->title().isEmpty() ? child->name() : child->title());
        } else {
            if (tabs) {
                delete tabs;
                return;
            }
            if (!page) {
                page = new QWidget;
                pageLayout = new QFormLayout(page);
            }
            addRow(pageLayout, child);
        }
    }

    m_content = tabs ? static_cast<QWidget*>(tabs) : page;
    if (m_content)
        ui->mainWidget->layout()->addWidget(m_content);
}

void BOptionSetWidget::addRow(QFormLayout* layout, BOption* option)
{
    const QString label = tr("%1:").arg(option->title());
    switch (option->type()) {
    case BOption::String: {
        auto* edit = new QLineEdit(option->stringValue());
        tagEditor(edit, option);
        connect(edit, &QLineEdit::textChanged, this, &BOptionSetWidget::lineEditTextChanged);
        layout->addRow(label, edit);
        break;
    }
    case BOption::Int: {
        auto* spin = new QSpinBox;
        spin->setMinimum(option->intMinimum());
        spin->setMaximum(option->intMaximum());
        spin->setValue(option->intValue());
        tagEditor(spin, option);
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), this, &BOptionSetWidget::intSpinBoxValueChanged);
        layout->addRow(label, spin);
        break;
    }
    case BOption::Double: {
        auto* spin = new QDoubleSpinBox;
        spin->setMinimum(option->doubleMinimum());
        spin->setMaximum(option->doubleMaximum());
        spin->setValue(option->doubleValue());
        tagEditor(spin, option);
        connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                &BOptionSetWidget::doubleSpinBoxValueChanged);
        layout->addRow(label, spin);
        break;
    }
    case BOption::Bool: {
        auto* check = new QCheckBox(option->title());
        check->setChecked(option->boolValue());
        tagEditor(check, option);
        connect(check, &QCheckBox::toggled, this, &BOptionSetWidget::checkboxToggled);
        layout->addRow(check);
        break;
    }
    case BOption::Choice: {
        auto* combo = new QComboBox;
        int current = -1;
        for (const BOption::ChoicePair& pair : option->choices()) {
            if (current < 0 && pair.first == option->choiceValue())
                current = combo->count();
            combo->addItem(pair.second, pair.first);
        }
        // Open on the option's current choice.
        if (current >= 0)
            combo->setCurrentIndex(current);
        tagEditor(combo, option);
        connect(combo, &QComboBox::currentTextChanged, this, &BOptionSetWidget::comboBoxCurrentTextChanged);
        layout->addRow(label, combo);
        break;
    }
    case BOption::None:
    case BOption::Group:
        break;
    }
}

BOption* BOptionSetWidget::senderOption() const
{
    const QObject* editor = sender();
    if (!editor)
        return nullptr;
    const QVariant address = editor->property(optionProperty);
    if (!address.isValid())
        return nullptr;
    return reinterpret_cast<BOption*>(quintptr(address.value<quint64>()));
}

void BOptionSetWidget::intSpinBoxValueChanged(int value)
{
    if (BOption* option = senderOption()) {
        option->setInt(value);
        emit optionChanged();
    }
}

void BOptionSetWidget::doubleSpinBoxValueChanged(double value)
{
    if (BOption* option = senderOption()) {
        option->setDouble(value);
        emit optionChanged();
    }
}

void BOptionSetWidget::checkboxToggled(bool checked)
{
    if (BOption* option = senderOption()) {
        option->setBool(checked);
        emit optionChanged();
    }
}

void BOptionSetWidget::comboBoxCurrentTextChanged(const QString&)
{
    // The text is the pair's title; the choice is matched by the pair's
    // value, which the item carries as its data.
    auto* combo = qobject_cast<QComboBox*>(sender());
    BOption* option = senderOption();
    if (combo && option) {
        option->setChoice(combo->currentData().toString());
        emit optionChanged();
    }
}

void BOptionSetWidget::lineEditTextChanged(const QString& text)
{
    if (BOption* option = senderOption()) {
        option->setString(text);
        emit optionChanged();
    }
}
