// A window for the Auto-Type tests to type into: one text field with the
// focus, whose whole text is written to the file named on the command line
// at every change. Usage: autotype_target OUTPUT-FILE WINDOW-TITLE
// It always runs on the X display ($DISPLAY), whatever QT_QPA_PLATFORM says.

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSaveFile>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3)
        return 2;
    const QString output = arguments.at(1);

    QPlainTextEdit edit;
    edit.setWindowTitle(arguments.at(2));
    edit.resize(480, 240);
    auto save = [&]() {
        QSaveFile file(output);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(edit.toPlainText().toUtf8());
            file.commit();
        }
    };
    QObject::connect(&edit, &QPlainTextEdit::textChanged, save);
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    save();
    return app.exec();
}
