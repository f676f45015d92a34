#ifndef BSENDFEEDBACKDIALOG_H
#define BSENDFEEDBACKDIALOG_H

#include "blib/net/BFeedback.h"

#include <QDialog>

namespace Ui {
class SendFeedbackDialog;
}

// Asks for an optional e-mail address and a comment and sends them as a
// bug report (mode 0) or a suggestion (mode 1). "Send" runs the upload
// under the task dialog; the dialog closes only when it succeeded, so after
// an error the user can try again without typing everything anew.
class BSendFeedbackDialog : public QDialog
{
    Q_OBJECT

public:
    enum Mode {
        BugReportMode = 0,
        SuggestionMode = 1,
    };

    BSendFeedbackDialog(QWidget* parent, int mode);
    ~BSendFeedbackDialog() override;

    // The record "Send" would upload now.
    BFeedback feedback() const;

public slots:
    void accept() override;

private:
    Ui::SendFeedbackDialog* ui;
    int m_mode;
};

#endif // BSENDFEEDBACKDIALOG_H
