#include "app/gui/MainWindow.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BResources.h"

#include <QApplication>
#include <QLabel>

MainWindow::MainWindow(QApplication*, QWidget* parent)
    : QMainWindow(parent)
{
    setWindowIcon(resourceIcon(227));
    setWindowTitle(tr("Lockharbour Password Manager"));
    auto* label = new QLabel(QString::fromUtf8(BAppInfo::productName), this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(726, 487);
}
