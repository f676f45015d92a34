// New Database from Import in the main window: the open dialog offers the
// loaders' extensions, the new-database editor is driven as a user would,
// the imported database opens unsaved, and failures are shown.
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include "support/LoaderPluginFixture.h"
#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using namespace LoaderPluginFixture;

namespace {

QDialog* visibleDialogOf(const char* className)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits(className) && widget->isVisible())
            return static_cast<QDialog*>(widget);
    }
    return nullptr;
}

const QByteArray Script = "function load_database(data, ext, db)\n"
                          "  if data == 'bad' then error('unreadable list') end\n"
                          "  local g = Group.new(); g:setName('From ' .. ext); db:addGroup(g)\n"
                          "  local p = Password.new(); p:setName(data); g:addItem(p)\n"
                          "end\n";

} // namespace

class tst_MainWindowImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openOffersLoaderExtensions();
    void importOpensTheFilledDatabase();
    void failuresAreShown_data();
    void failuresAreShown();

private:
    QAction* action(const QString& text)
    {
        for (QAction* action : m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    QString writeFile(const QString& name, const QByteArray& data)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() ? file.fileName() : QString();
    }

    QTemporaryDir m_dir;
    LoaderPointer m_loader;
    MainWindow* m_window = nullptr;
};

void tst_MainWindowImport::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
    QString error;
    m_loader = loaderFor(m_dir.path(), Script, error, { "csv", "kdbx" });
    QVERIFY2(m_loader, qPrintable(error));
}

void tst_MainWindowImport::init()
{
    m_window = new MainWindow(qApp);
    m_window->resize(800, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_MainWindowImport::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void tst_MainWindowImport::openOffersLoaderExtensions()
{
    QString filter;
    UiDriver chooser([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        filter = dialog->nameFilters().join(';');
        dialog->reject();
        return true;
    });
    action("&Open Database...")->trigger();
    QVERIFY(chooser.isDone());
    // Every file too, for a vault saved without its extension.
    QCOMPARE(filter, QString("*.lhdb *.LHDB *.csv *.CSV *.kdbx *.KDBX;All files (*)"));
    // What the filter offers in upper case finds its loader too.
    QVERIFY(databaseLoaderFor("csv"));
    QCOMPARE(databaseLoaderFor("CSV"), databaseLoaderFor("csv"));
    QVERIFY(!databaseLoaderFor("txt"));
}

void tst_MainWindowImport::importOpensTheFilledDatabase()
{
    const QByteArray foreign = "entry-one";
    const QString source = writeFile("list.csv", foreign);
    QString title;
    UiDriver editor([&]() {
        QDialog* dialog = visibleDialogOf("DatabaseEditDialog");
        if (!dialog)
            return false;
        title = dialog->windowTitle();
        dialog->findChild<QLineEdit*>("nameEdit")->setText("Imported Vault");
        dialog->findChild<QLineEdit*>("passwordEdit")->setText("import pass");
        dialog->findChild<QLineEdit*>("repeatPasswordEdit")->setText("import pass");
        dialog->findChild<QSpinBox*>("kdfRoundsSpinBox")->setValue(1);
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    // As the file manager or the open dialog hands it over.
    m_window->openOrImportDatabase(source);
    QVERIFY(editor.isDone());
    QCOMPARE(title, QString("New Database from Import"));
    QTRY_VERIFY(m_window->isDatabaseView());
    const PasswordDatabase& db = m_window->database();
    QCOMPARE(db.getName(), QString("Imported Vault"));
    QCOMPARE(topLevelNames(db), QStringList({ "From csv" }));
    QCOMPARE(childNames(db.getItems().at(0)->getItems()), QStringList({ "entry-one" }));
    QCOMPARE(m_window->windowFilePath(), source);
    // Nothing is on disk yet: closing would ask, and saving asks for a name
    // instead of writing over the foreign file.
    QVERIFY(db.isModified());
    QVERIFY(db.getFilePath().isEmpty());
    bool asked = false;
    UiDriver saveAs([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        asked = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->reject();
        return true;
    });
    action("&Save Database")->trigger();
    QVERIFY(saveAs.isDone());
    QVERIFY(asked);
    QFile file(source);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), foreign);
}

void tst_MainWindowImport::failuresAreShown_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("editorOpens");
    QTest::addColumn<QString>("message");
    QTest::newRow("script error") << "bad.kdbx" << true << "unreadable list";
    QTest::newRow("no loader") << "list.txt" << false << "No installed plugin reads files ending in \".txt\".";
}

void tst_MainWindowImport::failuresAreShown()
{
    QFETCH(QString, fileName);
    QFETCH(bool, editorOpens);
    QFETCH(QString, message);
    const QString source = writeFile(fileName, "bad");
    bool editorSeen = false;
    UiDriver editor([&]() {
        QDialog* dialog = visibleDialogOf("DatabaseEditDialog");
        if (!dialog)
            return false;
        editorSeen = true;
        dialog->findChild<QLineEdit*>("nameEdit")->setText("Doomed");
        dialog->findChild<QLineEdit*>("passwordEdit")->setText("pw");
        dialog->findChild<QLineEdit*>("repeatPasswordEdit")->setText("pw");
        dialog->findChild<QSpinBox*>("kdfRoundsSpinBox")->setValue(1);
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    BoxAnswerer boxes({ "OK" });
    m_window->importDatabase(source);
    QCOMPARE(editorSeen, editorOpens);
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY2(boxes.boxes.first().startsWith("Import Failed|"), qPrintable(boxes.boxes.first()));
    QVERIFY2(boxes.boxes.first().contains(message), qPrintable(boxes.boxes.first()));
    QVERIFY(m_window->isNoDatabaseView());
}

QTEST_MAIN(tst_MainWindowImport)
#include "tst_mainwindowimport.moc"
