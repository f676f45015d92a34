#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class QApplication;

// The application's main window.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(QApplication* application, QWidget* parent = nullptr);
};

#endif // MAINWINDOW_H
