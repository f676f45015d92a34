#ifndef BABOUTDIALOG_H
#define BABOUTDIALOG_H

#include <QDialog>

namespace Ui {
class AboutDialog;
}

// The About box: version, build time, web page and copyright, plus the
// change log and the licence texts on tabs of their own.
class BAboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BAboutDialog(QWidget* parent = nullptr);
    ~BAboutDialog() override;

    // "Mmm dd yyyy hh:mm:ss" (day padded with a blank) of this build.
    static QString buildDateTime();
    // The three licences one after the other, each under its own heading.
    static QString licenceText();

private:
    Ui::AboutDialog* ui;
};

#endif // BABOUTDIALOG_H
