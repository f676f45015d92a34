#ifndef GUISCRIPTUSERINTERFACE_H
#define GUISCRIPTUSERINTERFACE_H

#include "app/plugin/ScriptUserInterface.h"

#include <QCoreApplication>

class QWidget;

// Loader scripts' alerts and prompts in the program: window-modal message
// boxes and input dialogs. Alerts sit over the active window, prompts over
// the active modal widget (or the active window when there is none).
class GuiScriptUserInterface : public ScriptUserInterface
{
    Q_DECLARE_TR_FUNCTIONS(BPrompt)

public:
    void info(const QString& title, const QString& text) override;
    void warning(const QString& title, const QString& text) override;
    void error(const QString& title, const QString& text) override;
    bool yesNo(const QString& title, const QString& text, const QString& yesText, const QString& noText) override;
    bool yesNoWarning(const QString& title, const QString& text, const QString& yesText,
                      const QString& noText) override;
    SaveDiscardCancelAnswer saveDiscardCancel(const QString& title, const QString& text) override;
    bool text(const QString& title, const QString& label, QString& answer) override;
    bool password(QString& answer) override;

private:
    static QWidget* alertParent();
    static QWidget* promptParent();
};

#endif // GUISCRIPTUSERINTERFACE_H
