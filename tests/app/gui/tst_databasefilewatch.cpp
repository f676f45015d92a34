// The open vault's file changed by someone else (a sync tool, another copy
// of the program, the command-line client): the window notices, and a save
// never overwrites those changes without asking. A second copy of the
// program is warned before it opens a vault that is open already.

#include "app/database/PasswordDatabaseUnlockTask.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BFileInUseMarker.h"
#include "blib/app/BSettings.h"
#include "blib/task/BTaskController.h"

#include <QCryptographicHash>
#include <QFileDialog>
#include <QLineEdit>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <utime.h>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

// Types the password into the unlock dialog when it shows.
std::unique_ptr<UiDriver> unlockWhenAsked()
{
    return std::make_unique<UiDriver>([]() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("DatabaseUnlockDialog") && widget->isVisible()) {
                widget->findChild<QLineEdit*>("passwordLineEdit")->setText("secret");
                static_cast<QDialog*>(widget)->accept();
                return true;
            }
        }
        return false;
    });
}

// The top-level group names of the vault file, read as another program would.
QStringList groupsInFile(const QString& path)
{
    PasswordDatabase db;
    BTaskController controller;
    if (!db.load(path, &controller))
        return { "<unloadable>" };
    PasswordDatabaseUnlockTask unlock(db, QStringLiteral("secret"));
    if (unlock.run(&controller) != BTaskResult::Success)
        return { "<locked>" };
    return topLevelNames(db);
}

// Another program adds a top-level group to the vault file.
bool addGroupBehindTheBack(const QString& path, const QString& name)
{
    PasswordDatabase db;
    BTaskController controller;
    PasswordDatabaseUnlockTask unlock(db, QStringLiteral("secret"));
    if (!db.load(path, &controller) || unlock.run(&controller) != BTaskResult::Success)
        return false;
    db.addItem(makeGroup(name));
    return db.save(path);
}

} // namespace

class tst_DatabaseFileWatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void saveAsksBeforeOverwritingOutsideChanges();
    void reloadAndSaveAsKeepTheOutsideChanges();
    void mergeKeepsBothSidesChanges();
    void sameBytesAreNoChange();
    void secondCopyIsWarned();
    void goneFileAsksAndKeepsTheLink();
    void readOnlyVaultOpensReadOnly();

private:
    void openVault();
    // Changes the window's database so that there is something to save.
    void changeInWindow(const QString& deleted = QStringLiteral("First"));

    MainWindow* m_window = nullptr;
    QTemporaryDir m_dir;
    QString m_path;
};

void tst_DatabaseFileWatch::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
    QVERIFY(m_dir.isValid());
    setBoolSetting("app.settings.askBeforeDelete", false);
    setBoolSetting("app.settings.backupDeletedPasswords", false);
}

void tst_DatabaseFileWatch::init()
{
    m_path = m_dir.filePath(QStringLiteral("%1.lhdb").arg(QTest::currentTestFunction()));
    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "First", "alice", "first.example");
    makePassword(internet, "Second", "bob", "second.example");
    db.addItem(internet);
    QVERIFY(db.save(m_path));

    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();
}

void tst_DatabaseFileWatch::cleanup()
{
    BoxAnswerer answerer({ "Discard" });
    m_window->closeDatabase();
    delete m_window;
    m_window = nullptr;
}

// Merge, offered first: the file gets the other program's group and keeps
// the entry deleted here deleted. The copy shares the vault's keys, so no
// password is asked for.
void tst_DatabaseFileWatch::mergeKeepsBothSidesChanges()
{
    openVault();
    QVERIFY(addGroupBehindTheBack(m_path, "FromOutside"));
    changeInWindow();
    {
        auto unlock = unlockWhenAsked();
        BoxAnswerer answerer({ "Merge", "OK" });
        QVERIFY(m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes.size(), 2);
        QVERIFY2(answerer.boxes.at(1).startsWith("Merged|Merged \"" + m_path + "\": 1 added, 0 updated, 0 deleted"),
                 qPrintable(answerer.boxes.at(1)));
        QVERIFY(!unlock->isDone());
    }
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet", "FromOutside" }));
    QVERIFY(!itemNamed<Password>(m_window->database(), "First"));
    QVERIFY(!m_window->isModified());
}

void tst_DatabaseFileWatch::openVault()
{
    auto unlock = unlockWhenAsked();
    m_window->openDatabase(m_path);
    QVERIFY(unlock->isDone());
    QVERIFY(m_window->isDatabaseView());
}

void tst_DatabaseFileWatch::changeInWindow(const QString& deleted)
{
    Password* password = itemNamed<Password>(m_window->database(), deleted);
    QVERIFY(password);
    m_window->selectGroup(password->getParent());
    m_window->selectPassword(password);
    m_window->deleteSelectedPassword();
    QVERIFY(m_window->isModified());
}

void tst_DatabaseFileWatch::saveAsksBeforeOverwritingOutsideChanges()
{
    openVault();
    QVERIFY(addGroupBehindTheBack(m_path, "FromOutside"));
    // Noticed without a save.
    auto* notice = m_window->findChild<QLabel*>("fileChangedLabel");
    QVERIFY(notice && !notice->isVisible());
    QTRY_VERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QString("The file \"saveAsksBeforeOverwritingOutsideChanges.lhdb\" was changed by "
                                     "another program. Saving will ask before overwriting those changes."));
    changeInWindow();

    {
        BoxAnswerer answerer({ "Cancel" });
        QVERIFY(!m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY(answerer.boxes.first().startsWith("File Changed|The file \"" + m_path + "\" has been changed"));
    }
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet", "FromOutside" }));
    QVERIFY(m_window->isModified());

    {
        BoxAnswerer answerer({ "Overwrite" });
        QVERIFY(m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes.size(), 1);
    }
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet" }));
    QVERIFY(!m_window->isModified());
    QVERIFY(!notice->isVisible());

    // What the window wrote itself is no outside change.
    changeInWindow("Second");
    {
        BoxAnswerer answerer({});
        QVERIFY(m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes, QStringList());
    }
}

void tst_DatabaseFileWatch::reloadAndSaveAsKeepTheOutsideChanges()
{
    openVault();
    QVERIFY(addGroupBehindTheBack(m_path, "FromOutside"));
    changeInWindow();

    // Saved under another name: both versions stay, and the window goes on
    // with the new file.
    const QString copy = m_dir.filePath("copy.lhdb");
    {
        BoxAnswerer answerer({ "Save As..." });
        UiDriver chooseFile([&]() {
            auto* dialog = visibleTopLevel<QFileDialog>();
            if (!dialog)
                return false;
            chooseInFileDialog(dialog, copy);
            return true;
        });
        QVERIFY(m_window->saveDatabaseOrSaveAs(false));
        QVERIFY(chooseFile.isDone());
    }
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet", "FromOutside" }));
    QCOMPARE(groupsInFile(copy), QStringList({ "Internet" }));
    QCOMPARE(m_window->database().getFilePath(), copy);

    // Reloaded: the window shows the file as the other program left it.
    QVERIFY(addGroupBehindTheBack(copy, "Synced"));
    changeInWindow("Second");
    {
        BoxAnswerer answerer({ "Reload" });
        auto unlock = unlockWhenAsked();
        QVERIFY(!m_window->saveDatabaseOrSaveAs(false));
        QVERIFY(unlock->isDone());
    }
    QCOMPARE(topLevelNames(m_window->database()), QStringList({ "Internet", "Synced" }));
    QVERIFY(!m_window->isModified());
    QCOMPARE(groupsInFile(copy), QStringList({ "Internet", "Synced" }));
}

void tst_DatabaseFileWatch::sameBytesAreNoChange()
{
    openVault();
    // A sync tool that rewrites the same bytes and touches the file.
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    QVERIFY(QFile::remove(m_path));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    QCOMPARE(::utime(QFile::encodeName(m_path).constData(), nullptr), 0);

    changeInWindow();
    BoxAnswerer answerer({});
    QVERIFY(m_window->saveDatabaseOrSaveAs(false));
    QCOMPARE(answerer.boxes, QStringList());
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet" }));
}

void tst_DatabaseFileWatch::secondCopyIsWarned()
{
    // Another copy of the program has the vault open.
    auto other = std::make_unique<BFileInUseMarker>();
    QVERIFY(other->mark(m_path));
    {
        BoxAnswerer answerer({ "Cancel" });
        m_window->openDatabase(m_path);
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY(answerer.boxes.first().startsWith("Already Open|The file \"" + m_path + "\" is already open"));
    }
    QVERIFY(!m_window->isDatabaseView());
    {
        BoxAnswerer answerer({ "Open Anyway" });
        openVault();
        QCOMPARE(answerer.boxes.size(), 1);
    }
    m_window->closeDatabase();

    // Once the other copy has closed it, the window marks the vault as its
    // own, and a third copy would be warned in turn.
    other.reset();
    {
        BoxAnswerer answerer({});
        openVault();
        QCOMPARE(answerer.boxes, QStringList());
    }
    BFileInUseMarker third;
    QVERIFY(!third.mark(m_path));
    m_window->closeDatabase();
    QVERIFY(third.mark(m_path));

    // Closing removes the mark instead of leaving one file per vault behind.
    const QString marker = QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
                               .filePath("lockharbour-open/"
                                         + QCryptographicHash::hash(BFileInUseMarker::canonicalPath(m_path).toUtf8(),
                                                                    QCryptographicHash::Sha256)
                                               .toHex());
    QVERIFY(QFile::exists(marker));
    third.release();
    QVERIFY(!QFile::exists(marker));
    openVault();
    QVERIFY(QFile::exists(marker));
    m_window->closeDatabase();
    QVERIFY(!QFile::exists(marker));
}

void tst_DatabaseFileWatch::goneFileAsksAndKeepsTheLink()
{
    // Opened through a link; the file behind it is moved away.
    const QString link = m_dir.filePath("link.lhdb");
    QVERIFY(QFile::link(m_path, link));
    auto unlock = unlockWhenAsked();
    m_window->openDatabase(link);
    QVERIFY(unlock->isDone());
    QVERIFY(QFile::rename(m_path, m_path + ".moved"));
    changeInWindow();
    {
        BoxAnswerer answerer({ "Cancel" });
        QVERIFY(!m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes, QStringList({ "File Gone|The file \"" + link + "\" is gone: it was moved, renamed "
                                                                                "or deleted since it was opened here." }));
    }
    QVERIFY(!QFileInfo::exists(m_path));
    QVERIFY(m_window->isModified());
    {
        // Saved here again: through the link, which stays a link.
        BoxAnswerer answerer({ "Save Here" });
        QVERIFY(m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes.size(), 1);
    }
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(groupsInFile(m_path), QStringList({ "Internet" }));
    QVERIFY(!m_window->isModified());
}

void tst_DatabaseFileWatch::readOnlyVaultOpensReadOnly()
{
    QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner));
    const QByteArray before = [this]() {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    openVault();
    QVERIFY(m_window->windowTitle().contains("read-only"));
    changeInWindow();
    {
        // Save offers Save As; declining leaves the file alone.
        BoxAnswerer answerer({ "Cancel" });
        QVERIFY(!m_window->saveDatabaseOrSaveAs(false));
        QCOMPARE(answerer.boxes, QStringList({ "Read-Only File|The file \"" + m_path + "\" is read-only and is left "
                                                                                   "as it is. Save the database under "
                                                                                   "another name?" }));
    }
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(QFileInfo(m_path).permissions() & QFileDevice::WriteOwner, QFileDevice::Permissions());

    // Saved under another name, the vault is writable again.
    const QString copy = m_dir.filePath("writable.lhdb");
    BoxAnswerer answerer({ "Save As..." });
    UiDriver chooseFile([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        chooseInFileDialog(dialog, copy);
        return true;
    });
    QVERIFY(m_window->saveDatabaseOrSaveAs(false));
    QVERIFY(chooseFile.isDone());
    QCOMPARE(groupsInFile(copy), QStringList({ "Internet" }));
    QVERIFY(!m_window->windowTitle().contains("read-only"));
}

QTEST_MAIN(tst_DatabaseFileWatch)
#include "tst_databasefilewatch.moc"
