#ifndef BDIALOGHELPERS_H
#define BDIALOGHELPERS_H

#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

// Free helpers used by every window and dialog of the program. They keep no
// state and run on the GUI thread only.

// Runs `dialog` window-modally: open() it, then sleep 1 ms and process
// pending events until it is hidden. Returns the dialog's result code.
// A dialog without a parent widget is given `parent`. No nested exec() loop
// is used anywhere in the program; every dialog runs through this routine.
int execDialog(QWidget* parent, QDialog* dialog);

// Message boxes, each built with the given parent, title and text, run with
// execDialog() and destroyed again.
void showError(QWidget* parent, const QString& title, const QString& text);
void showInformation(QWidget* parent, const QString& title, const QString& text);
// Question icon, a `yesText` button in the yes role and a `noText` button in
// the no role; the default button follows `yesIsDefault`. True when the yes
// button was pressed.
bool askQuestion(QWidget* parent, const QString& title, const QString& text,
                 const QString& yesText, const QString& noText, bool yesIsDefault);
// As askQuestion() with the warning icon and no explicit default button.
bool askWarning(QWidget* parent, const QString& title, const QString& text,
                const QString& yesText, const QString& noText);

// File dialogs. A cancelled dialog or an empty selection gives an empty
// list or string.
// `otherFilter`, when given (such as "All files (*)"), is offered after
// the combined filter of the extensions.
QStringList getOpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                             const QStringList& extensions, const QString& otherFilter = QString());
QString getOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QStringList& extensions, const QString& otherFilter = QString());
QString getOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& extension);
QString getExistingFileName(QWidget* parent, const QString& title, const QString& dir);
// `suffix` is the default suffix without its dot, added to a chosen file
// name that has none (asking before that name replaces an existing file);
// `suggestedName`, when not empty, is preselected; `nameFilter`, when not
// empty, is the one filter offered.
QString getSaveFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& suggestedName, const QString& suffix,
                        const QString& nameFilter = QString());

// The one name filter of getOpenFileNames(): for every extension, in order,
// "*.ext " in lower case and then "*.EXT " in upper case.
QString openFileNameFilter(const QStringList& extensions);

// Fixes the dialog's size to its current width and its size-hint height.
void fixDialogHeight(QWidget* dialog);
// Moves the dialog so that its centre lies on the centre of its parent's
// top-level window, as far as it stays on the window's screen. A dialog
// without a parent stays where it is.
void centreOnParent(QWidget* dialog);

// The URL openUrl() hands to the desktop: "http://" is put in front of an
// address that starts neither with "http://" nor with "https://" (the test
// is case-sensitive), and the result is parsed tolerantly.
QUrl urlFromAddress(const QString& address);
// Opens an address in the desktop's default handler; failures are silent.
void openUrl(const QString& address);

#endif // BDIALOGHELPERS_H
