#include "blib/app/BDialogHelpers.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>

int execDialog(QWidget* parent, QDialog* dialog)
{
    if (!dialog->parentWidget() && parent)
        dialog->setParent(parent, dialog->windowFlags());

    // Closing a dialog must never end the program, even when the main window
    // is hidden in the tray and the dialog is the only visible window.
    dialog->setAttribute(Qt::WA_QuitOnClose, false);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    while (dialog->isVisible()) {
        QThread::msleep(1);
        QCoreApplication::processEvents();
    }
    return dialog->result();
}

namespace {

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    execDialog(parent, box);
    delete box;
}

bool askYesNo(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
              const QString& yesText, const QString& noText, bool setDefault, bool yesIsDefault)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box->addButton(yesText, QMessageBox::YesRole);
    QPushButton* no = box->addButton(noText, QMessageBox::NoRole);
    if (setDefault)
        box->setDefaultButton(yesIsDefault ? yes : no);
    execDialog(parent, box);
    const bool answer = box->clickedButton() == yes;
    delete box;
    return answer;
}

// Runs a prepared file dialog and returns its selection, or nothing when it
// was cancelled.
QStringList runFileDialog(QWidget* parent, QFileDialog* dialog)
{
    QStringList files;
    if (execDialog(parent, dialog) == QDialog::Accepted)
        files = dialog->selectedFiles();
    delete dialog;
    return files;
}

QString firstOf(const QStringList& files)
{
    return files.isEmpty() ? QString() : files.first();
}

} // namespace

void showError(QWidget* parent, const QString& title, const QString& text)
{
    showMessage(parent, QMessageBox::Critical, title, text);
}

void showInformation(QWidget* parent, const QString& title, const QString& text)
{
    showMessage(parent, QMessageBox::Information, title, text);
}

bool askQuestion(QWidget* parent, const QString& title, const QString& text,
                 const QString& yesText, const QString& noText, bool yesIsDefault)
{
    return askYesNo(parent, QMessageBox::Question, title, text, yesText, noText, true, yesIsDefault);
}

bool askWarning(QWidget* parent, const QString& title, const QString& text,
                const QString& yesText, const QString& noText)
{
    return askYesNo(parent, QMessageBox::Warning, title, text, yesText, noText, false, false);
}

QString openFileNameFilter(const QStringList& extensions)
{
    QString filter;
    for (const QString& extension : extensions) {
        filter += QStringLiteral("*.") + extension.toLower() + QLatin1Char(' ');
        filter += QStringLiteral("*.") + extension.toUpper() + QLatin1Char(' ');
    }
    return filter;
}

QStringList getOpenFileNames(QWidget* parent, const QString& title, const QString& dir,
                             const QStringList& extensions, const QString& otherFilter)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setDirectory(dir);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);

    QStringList filters;
    for (const QString& extension : extensions) {
        for (const QString& name : { extension.toLower(), extension.toUpper() })
            filters.append(QStringLiteral("%1 (*.%1)").arg(name));
    }
    dialog->setNameFilters(filters);
    // The combined filter replaces the per-extension list, so the dialog
    // offers one filter that matches every extension in either case.
    dialog->setNameFilter(openFileNameFilter(extensions));
    if (!otherFilter.isEmpty())
        dialog->setNameFilters({ openFileNameFilter(extensions), otherFilter });

    return runFileDialog(parent, dialog);
}

QString getOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QStringList& extensions, const QString& otherFilter)
{
    return firstOf(getOpenFileNames(parent, title, dir, extensions, otherFilter));
}

QString getOpenFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& extension)
{
    return getOpenFileName(parent, title, dir, QStringList { extension });
}

QString getExistingFileName(QWidget* parent, const QString& title, const QString& dir)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setDirectory(dir);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptDrops(false);
    return firstOf(runFileDialog(parent, dialog));
}

QString getSaveFileName(QWidget* parent, const QString& title, const QString& dir,
                        const QString& suggestedName, const QString& suffix, const QString& nameFilter)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setDirectory(dir);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral(".") + suffix); // Qt drops the leading dot
    if (!nameFilter.isEmpty())
        dialog->setNameFilter(nameFilter);
    if (!suggestedName.isEmpty())
        dialog->selectFile(suggestedName);
    QString path = firstOf(runFileDialog(parent, dialog));
    // The dialog adds the default suffix only when no dot appears anywhere
    // in the path, and some desktops' dialogs not at all: a name typed in a
    // folder such as "~/my.files" would be saved without it.
    if (path.isEmpty() || suffix.isEmpty() || QFileInfo(path).fileName().contains(QLatin1Char('.')))
        return path;
    path += QLatin1Char('.') + suffix;
    const QFileInfo chosen(path);
    if ((chosen.exists() || chosen.isSymLink())
        && !askWarning(parent, QCoreApplication::translate("BDialogHelpers", "Replace File"),
                       QCoreApplication::translate("BDialogHelpers", "The file \"%1\" already exists. Replace it?")
                           .arg(QDir::toNativeSeparators(path)),
                       QCoreApplication::translate("BDialogHelpers", "Replace"),
                       QCoreApplication::translate("BDialogHelpers", "Cancel")))
        return QString();
    return path;
}

void fixDialogHeight(QWidget* dialog)
{
    dialog->setFixedSize(dialog->width(), dialog->sizeHint().height());
}

void centreOnParent(QWidget* dialog)
{
    QWidget* parent = dialog->parentWidget();
    if (!parent)
        return;
    QWidget* window = parent->window();
    const QPoint centre = window->pos() + window->rect().center();
    QPoint position = centre - dialog->rect().center();
    // A dialog wider or taller than a window near the screen's edge would be
    // pushed off the screen; keep it inside the available area instead.
    if (const QScreen* screen = window->screen()) {
        const QRect area = screen->availableGeometry();
        position.setX(qBound(area.left(), position.x(), qMax(area.left(), area.right() + 1 - dialog->width())));
        position.setY(qBound(area.top(), position.y(), qMax(area.top(), area.bottom() + 1 - dialog->height())));
    }
    dialog->move(position);
}

QUrl urlFromAddress(const QString& address)
{
    QString full = address;
    if (!full.startsWith(QLatin1String("http://")) && !full.startsWith(QLatin1String("https://")))
        full.prepend(QLatin1String("http://"));
    return QUrl(full, QUrl::TolerantMode);
}

void openUrl(const QString& address)
{
    QDesktopServices::openUrl(urlFromAddress(address));
}
