// Dialog helpers: the modal-run routine, message boxes, file dialogs, the
// layout helpers and the URL rules of openUrl.
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BSplashDialog.h"
#include "support/UiDriver.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void handle(const QUrl& url) { urls.append(url); }
};

class tst_BDialogHelpers : public QObject
{
    Q_OBJECT

private slots:
    void execDialogReturnsCodeOfDialogClosedFromSlot();
    void askQuestionDefaultButton_data();
    void askQuestionDefaultButton();
    void openFileFilterNamesEveryExtensionInBothCases();
    void getOpenFileNamesOffersOneCombinedFilter();
    void centreOnParentUsesTopLevelWindow();
    void urlFromAddressPrefixRules_data();
    void urlFromAddressPrefixRules();
    void openUrlHandsUrlToDesktop();
    void closingDialogsNeverEndsTheProgram();
};

void tst_BDialogHelpers::execDialogReturnsCodeOfDialogClosedFromSlot()
{
    QWidget parent;
    parent.show();
    QDialog dialog(&parent);
    bool visibleWhileWaiting = false;
    Qt::WindowModality modality = Qt::NonModal;
    QTimer::singleShot(50, &dialog, [&]() {
        visibleWhileWaiting = dialog.isVisible();
        modality = dialog.windowModality();
        dialog.done(3);
    });

    QCOMPARE(execDialog(&parent, &dialog), 3);
    QVERIFY(visibleWhileWaiting);
    QCOMPARE(modality, Qt::WindowModal);
    QVERIFY(!dialog.isVisible());
}

void tst_BDialogHelpers::askQuestionDefaultButton_data()
{
    QTest::addColumn<bool>("yesIsDefault");
    QTest::newRow("no is default") << false;
    QTest::newRow("yes is default") << true;
}

void tst_BDialogHelpers::askQuestionDefaultButton()
{
    QFETCH(bool, yesIsDefault);
    QWidget parent;
    parent.show();

    QString title, text, defaultText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    UiDriver driver([&]() {
        QMessageBox* box = visibleTopLevel<QMessageBox>();
        if (!box)
            return false;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
        return true;
    });

    const bool answer = askQuestion(&parent, "Question", "Go on?", "Go", "Stay", yesIsDefault);
    QVERIFY(driver.isDone());
    QCOMPARE(answer, yesIsDefault); // Enter answers with the default button
    QCOMPARE(title, QString("Question"));
    QCOMPARE(text, QString("Go on?"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(defaultText, QString(yesIsDefault ? "Go" : "Stay"));
}

void tst_BDialogHelpers::openFileFilterNamesEveryExtensionInBothCases()
{
    QCOMPARE(openFileNameFilter({ "lhdb", "Csv" }), QString("*.lhdb *.LHDB *.csv *.CSV "));
    QCOMPARE(openFileNameFilter({}), QString());
}

void tst_BDialogHelpers::getOpenFileNamesOffersOneCombinedFilter()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("vault.lhdb");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QWidget parent;
    parent.show();
    QStringList filters;
    QString title, shownDir;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptSave;
    UiDriver driver([&]() {
        auto* dialog = visibleTopLevel<QFileDialog>();
        if (!dialog)
            return false;
        filters = dialog->nameFilters();
        title = dialog->windowTitle();
        shownDir = dialog->directory().absolutePath();
        mode = dialog->fileMode();
        acceptMode = dialog->acceptMode();
        chooseInFileDialog(dialog, path);
        return true;
    });

    const QStringList files = getOpenFileNames(&parent, "Select File", dir.path(), { "lhdb", "csv" });
    // One filter only (QFileDialog drops the trailing blank).
    QCOMPARE(filters, QStringList { "*.lhdb *.LHDB *.csv *.CSV" });
    QCOMPARE(title, QString("Select File"));
    QCOMPARE(shownDir, QDir(dir.path()).absolutePath());
    QCOMPARE(mode, QFileDialog::ExistingFiles);
    QCOMPARE(acceptMode, QFileDialog::AcceptOpen);
    QCOMPARE(files, QStringList { path });
}

void tst_BDialogHelpers::centreOnParentUsesTopLevelWindow()
{
    QWidget window;
    window.setGeometry(100, 80, 600, 400);
    auto* inner = new QWidget(&window);
    inner->setGeometry(10, 10, 50, 50);
    QDialog dialog(inner);
    dialog.resize(200, 100);

    centreOnParent(&dialog);
    QCOMPARE(dialog.pos() + dialog.rect().center(), window.pos() + window.rect().center());

    // Near the screen's edge a larger dialog stays on the screen.
    const QRect area = window.screen()->availableGeometry();
    window.setGeometry(area.left(), area.top(), 300, 200);
    dialog.resize(area.width() / 2 + 300, 100);
    centreOnParent(&dialog);
    QCOMPARE(dialog.pos(), QPoint(area.left(), area.top() + 50));

    QDialog orphan;
    orphan.move(7, 9);
    centreOnParent(&orphan);
    QCOMPARE(orphan.pos(), QPoint(7, 9));
}

void tst_BDialogHelpers::urlFromAddressPrefixRules_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("url");
    QTest::newRow("no scheme") << "example.com/login" << "http://example.com/login";
    QTest::newRow("http") << "http://example.com" << "http://example.com";
    QTest::newRow("https") << "https://example.com/a?b=c" << "https://example.com/a?b=c";
    // The scheme test is case-sensitive, so a capitalised scheme is prefixed.
    QTest::newRow("capital scheme") << "HTTPS://example.com" << "http://HTTPS://example.com";
    QTest::newRow("other scheme") << "ftp://example.com" << "http://ftp://example.com";
}

void tst_BDialogHelpers::urlFromAddressPrefixRules()
{
    QFETCH(QString, address);
    QFETCH(QString, url);
    QCOMPARE(urlFromAddress(address), QUrl(url, QUrl::TolerantMode));
    QCOMPARE(urlFromAddress(address).scheme(), url.section("://", 0, 0));
}

void tst_BDialogHelpers::openUrlHandsUrlToDesktop()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("http", &recorder, "handle");
    QDesktopServices::setUrlHandler("https", &recorder, "handle");
    openUrl("example.com/a b");
    openUrl("https://example.com/x");
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");

    QCOMPARE(recorder.urls.size(), 2);
    QCOMPARE(recorder.urls.at(0).scheme(), QString("http"));
    QCOMPARE(recorder.urls.at(0).host(), QString("example.com"));
    QCOMPARE(recorder.urls.at(0).path(), QString("/a b"));
    QCOMPARE(recorder.urls.at(1), QUrl("https://example.com/x"));
}

// With the main window hidden in the tray, a message box or the splash may be
// the only visible window; closing it must leave the event loop running.
void tst_BDialogHelpers::closingDialogsNeverEndsTheProgram()
{
    const bool quitOnLastWindow = qApp->quitOnLastWindowClosed();
    qApp->setQuitOnLastWindowClosed(true);
    QWidget trayHidden;

    bool answered = false;
    QTimer::singleShot(0, [&]() {
        UiDriver driver([]() {
            QMessageBox* box = visibleTopLevel<QMessageBox>();
            if (box)
                box->accept();
            return box != nullptr;
        });
        showInformation(&trayHidden, "Title", "Text");
        answered = driver.isDone();

        auto* splash = new BSplashDialog(&trayHidden);
        splash->show();
        QTimer::singleShot(20, splash, [splash]() {
            splash->close();
            splash->deleteLater();
        });
        QTimer::singleShot(200, []() { qApp->exit(42); });
    });
    const int code = qApp->exec();
    qApp->setQuitOnLastWindowClosed(quitOnLastWindow);
    QVERIFY(answered);
    QCOMPARE(code, 42);
}

QTEST_MAIN(tst_BDialogHelpers)
#include "tst_bdialoghelpers.moc"
