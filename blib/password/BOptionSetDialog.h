#ifndef BOPTIONSETDIALOG_H
#define BOPTIONSETDIALOG_H

#include "blib/password/BOption.h"

#include <QDialog>

namespace Ui {
class BOptionSetDialog;
}

// Edits a copy of an option set. The caller copies options() back after the
// dialog was accepted, so a cancelled dialog leaves the caller's set as it
// was.
class BOptionSetDialog : public QDialog
{
    Q_OBJECT

public:
    BOptionSetDialog(QWidget* parent, const QString& title);
    ~BOptionSetDialog() override;

    // Copies `root` into the dialog and shows the copy's editors.
    void setOptions(const BOption& root);
    const BOption& options() const { return m_options; }

private:
    Ui::BOptionSetDialog* ui;
    BOption m_options;
};

#endif // BOPTIONSETDIALOG_H
