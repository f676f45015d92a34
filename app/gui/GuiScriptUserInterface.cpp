#include "app/gui/GuiScriptUserInterface.h"

#include "blib/app/BDialogHelpers.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

QWidget* GuiScriptUserInterface::alertParent()
{
    return QApplication::activeWindow();
}

QWidget* GuiScriptUserInterface::promptParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

void GuiScriptUserInterface::info(const QString& title, const QString& text)
{
    showInformation(alertParent(), title, text);
}

void GuiScriptUserInterface::warning(const QString& title, const QString& text)
{
    QWidget* parent = alertParent();
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    execDialog(parent, box);
    delete box;
}

void GuiScriptUserInterface::error(const QString& title, const QString& text)
{
    showError(alertParent(), title, text);
}

bool GuiScriptUserInterface::yesNo(const QString& title, const QString& text, const QString& yesText,
                                   const QString& noText)
{
    return askQuestion(promptParent(), title, text, yesText, noText, false);
}

bool GuiScriptUserInterface::yesNoWarning(const QString& title, const QString& text, const QString& yesText,
                                          const QString& noText)
{
    return askWarning(promptParent(), title, text, yesText, noText);
}

ScriptUserInterface::SaveDiscardCancelAnswer GuiScriptUserInterface::saveDiscardCancel(const QString& title,
                                                                                      const QString& text)
{
    QWidget* parent = promptParent();
    auto* box = new QMessageBox(QMessageBox::Question, title, text,
                                QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    execDialog(parent, box);
    const QMessageBox::StandardButton button = box->standardButton(box->clickedButton());
    delete box;
    if (button == QMessageBox::Save)
        return Save;
    if (button == QMessageBox::Discard)
        return Discard;
    return Cancel;
}

bool GuiScriptUserInterface::text(const QString& title, const QString& label, QString& answer)
{
    QWidget* parent = promptParent();
    QPointer<QInputDialog> dialog = new QInputDialog(parent);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setInputMode(QInputDialog::TextInput);
    const bool accepted = execDialog(parent, dialog) == QDialog::Accepted;
    if (!dialog)
        return false;
    if (accepted)
        answer = dialog->textValue();
    delete dialog;
    return accepted;
}

bool GuiScriptUserInterface::password(QString& answer)
{
    QWidget* parent = promptParent();
    QPointer<QInputDialog> dialog = new QInputDialog(parent);
    dialog->setWindowTitle(tr("Enter Password"));
    dialog->setLabelText(tr("Enter password:"));
    dialog->setInputMode(QInputDialog::TextInput);
    dialog->setTextEchoMode(QLineEdit::Password);
    dialog->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
    const bool accepted = execDialog(parent, dialog) == QDialog::Accepted;
    if (!dialog)
        return false;
    if (accepted)
        answer = dialog->textValue();
    // The dialog's copy is dropped with the dialog; the caller wipes its own.
    dialog->setTextValue(QString());
    delete dialog;
    return accepted;
}
