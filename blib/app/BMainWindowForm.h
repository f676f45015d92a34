#ifndef BMAINWINDOWFORM_H
#define BMAINWINDOWFORM_H

class BWelcomeWidget;
class QMainWindow;
class QMenuBar;
class QStatusBar;
class QToolBar;

// The application's main-window form as the framework window sees it: the
// designer form is built onto the window during deferred set-up, and the
// framework uses its menu bar, tool bar, status bar and welcome widget.
class BMainWindowForm
{
public:
    virtual ~BMainWindowForm() = default;

    virtual void setupForm(QMainWindow* window) = 0;
    virtual void retranslateForm(QMainWindow* window) = 0;

    virtual QMenuBar* formMenuBar() const = 0;
    virtual QToolBar* formToolBar() const = 0;
    virtual QStatusBar* formStatusBar() const = 0;
    virtual BWelcomeWidget* formWelcomeWidget() const = 0;
};

// Adapts a designer form class with the object names menuBar, mainToolBar,
// statusBar and welcomeWidget. The application keeps a typed pointer to it
// to reach the rest of its form.
template <class Form>
class BMainWindowFormOf : public BMainWindowForm, public Form
{
public:
    void setupForm(QMainWindow* window) override { Form::setupUi(window); }
    void retranslateForm(QMainWindow* window) override { Form::retranslateUi(window); }

    QMenuBar* formMenuBar() const override { return Form::menuBar; }
    QToolBar* formToolBar() const override { return Form::mainToolBar; }
    QStatusBar* formStatusBar() const override { return Form::statusBar; }
    BWelcomeWidget* formWelcomeWidget() const override { return Form::welcomeWidget; }
};

#endif // BMAINWINDOWFORM_H
