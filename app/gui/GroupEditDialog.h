#ifndef GROUPEDITDIALOG_H
#define GROUPEDITDIALOG_H

#include "app/database/PasswordDatabase.h"

#include <QDialog>
#include <QJsonObject>

namespace Ui {
class GroupEditDialog;
}

// Creates (new mode) or edits (edit mode) a group's name and icon on a
// working copy owned by the dialog. The caller loads a group, runs the
// dialog and, after acceptance, reads the name and icon id from group().
class GroupEditDialog : public QDialog
{
    Q_OBJECT

public:
    GroupEditDialog(QWidget* parent, bool newGroup);
    ~GroupEditDialog() override;

    // Copies `group` into the working copy and fills the form.
    void loadGroup(const PasswordDatabase::Group& group);
    // The working copy; after acceptance it holds the entered name and the
    // chosen icon id.
    const PasswordDatabase::Group& group() const { return m_group; }

    // The name and icon the form holds now, and putting them back after
    // loadGroup() of the group the edit was made on.
    QJsonObject editState() const;
    void restoreEditState(const QJsonObject& state);

public slots:
    void nameEditTextChanged(const QString& text);
    void accept() override;

private:
    Ui::GroupEditDialog* ui;
    bool m_newGroup;
    PasswordDatabase::Group m_group;
};

#endif // GROUPEDITDIALOG_H
