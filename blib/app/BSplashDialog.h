#ifndef BSPLASHDIALOG_H
#define BSPLASHDIALOG_H

#include <QDialog>

namespace Ui {
class SplashDialog;
}

// Frameless splash window with the product's name, version, web page and
// copyright notice. A mouse press on it accepts it; the main window decides
// when it goes away otherwise.
class BSplashDialog : public QDialog
{
    Q_OBJECT

public:
    explicit BSplashDialog(QWidget* parent = nullptr);
    ~BSplashDialog() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    Ui::SplashDialog* ui;
};

#endif // BSPLASHDIALOG_H
