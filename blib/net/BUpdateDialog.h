#ifndef BUPDATEDIALOG_H
#define BUPDATEDIALOG_H

#include "blib/net/BUpdateInfo.h"

#include <QDialog>

namespace Ui {
class UpdateDialog;
}

// Tells the user that a newer version exists, shows its change log and
// offers the download page. "Visit Download Page" opens the page and leaves
// the dialog open; "Later" and the close box close it.
class BUpdateDialog : public QDialog
{
    Q_OBJECT

public:
    BUpdateDialog(QWidget* parent, const BUpdateInfo& info);
    ~BUpdateDialog() override;

    // The change log as it is shown: plain text with each line end (CR LF,
    // LF or a lone CR) turned into one line feed.
    static QString normalisedChangeLog(const QString& changeLog);

public slots:
    void accept() override;

private:
    Ui::UpdateDialog* ui;
    BUpdateInfo m_info;
};

#endif // BUPDATEDIALOG_H
