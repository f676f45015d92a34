#ifndef ENTRYICONPICKERWIDGET_H
#define ENTRYICONPICKERWIDGET_H

#include <QString>
#include <QWidget>

namespace Ui {
class EntryIconPickerWidget;
}

// A drop-down of every entry icon of every registered pack, in pack order.
// Items show only the icon and carry its id as user data. The list is taken
// once, at construction.
class EntryIconPickerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit EntryIconPickerWidget(QWidget* parent = nullptr);
    ~EntryIconPickerWidget() override;

    // The id of the current item; empty when there are no icons.
    QString currentIconId() const;
    // Makes the first item with the id current; an id no item carries
    // leaves the current item as it is.
    void setCurrentIconId(const QString& id);

private:
    Ui::EntryIconPickerWidget* ui;
};

#endif // ENTRYICONPICKERWIDGET_H
