// The update check against a real server on 127.0.0.1, and the update dialog.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/net/BCheckForUpdatesTask.h"
#include "blib/net/BUpdateDialog.h"
#include "support/LocalHttpServer.h"
#include "support/TaskRun.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest>

namespace {

class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

class tst_BUpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void answerRules_data();
    void answerRules();
    void changeLogShownAsPlainText_data();
    void changeLogShownAsPlainText();
    void dialogTextsAndDownloadPage();
};

void tst_BUpdateCheck::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BUpdateCheck::answerRules_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<bool>("expectedUpdate");
    QTest::addColumn<QString>("expectedVersion");

    const auto answer = [](const QByteArray& version) {
        return "{\"version\":" + version + ",\"beta\":false,\"change_log\":\"Fixes.\"}";
    };
    QTest::newRow("same version") << answer("\"1.3\"") << int(Success) << false << "1.3";
    QTest::newRow("older") << answer("\"1.2\"") << int(Success) << false << "1.2";
    QTest::newRow("1.10 is 1.1") << answer("\"1.10\"") << int(Success) << false << "1.10";
    QTest::newRow("newer") << answer("\"1.4\"") << int(Success) << true << "1.4";
    // Versions the check cannot compare are not read as "up to date".
    QTest::newRow("number") << answer("1.4") << int(Failure) << false << "";
    QTest::newRow("array") << answer("[\"9.9\"]") << int(Failure) << false << "";
    QTest::newRow("infinity") << answer("\"inf\"") << int(Failure) << false << "";
    QTest::newRow("exponent") << answer("\"1e9\"") << int(Failure) << false << "";
    QTest::newRow("ten thousand nines") << answer("\"" + QByteArray(10000, '9') + "\"") << int(Failure) << false << "";
    QTest::newRow("no beta") << QByteArray("{\"version\":\"1.4\",\"change_log\":\"x\"}") << int(Failure) << false << "";
    QTest::newRow("no change log") << QByteArray("{\"version\":\"1.4\",\"beta\":true}") << int(Failure) << false << "";
    QTest::newRow("no version") << QByteArray("{\"beta\":true,\"change_log\":\"x\"}") << int(Failure) << false << "";
    QTest::newRow("top-level array") << QByteArray("[\"1.4\"]") << int(Failure) << false << "";
    QTest::newRow("not JSON") << QByteArray("<html>1.4</html>") << int(Failure) << false << "";
}

void tst_BUpdateCheck::answerRules()
{
    QFETCH(QByteArray, body);
    QFETCH(int, expectedResult);
    QFETCH(bool, expectedUpdate);
    QFETCH(QString, expectedVersion);

    LocalHttpServer server;
    CannedReply reply;
    reply.body = body;
    server.setDefaultReply(reply);
    setStringSetting("blib.service.baseUrl", server.baseUrl() + "/");

    BCheckForUpdatesTask task;
    TaskRun run(&task);
    QVERIFY(run.wait());

    QCOMPARE(int(run.result()), expectedResult);
    QCOMPARE(run.errorText(), expectedResult == Success ? QString()
                                                        : QString("The update server's answer was not understood."));
    QCOMPARE(task.updateAvailable(), expectedUpdate);
    if (expectedResult == Success)
        QCOMPARE(task.updateInfo().latestVersion, expectedVersion);

    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().at(0).method, QByteArray("GET"));
    QCOMPARE(server.requests().at(0).target, QByteArray("/v1/app-info?app_key=lockharbour"));
}

void tst_BUpdateCheck::changeLogShownAsPlainText_data()
{
    QTest::addColumn<QString>("changeLog");
    QTest::addColumn<QString>("shown");

    QTest::newRow("windows line ends") << "First\r\nSecond\r\n\r\nFourth" << "First\nSecond\n\nFourth";
    QTest::newRow("unix line ends") << "First\nSecond" << "First\nSecond";
    QTest::newRow("old mac line ends") << "First\rSecond" << "First\nSecond";
    QTest::newRow("html tags show as text")
        << "<b>Bold</b> & <a href=\"https://evil.example\">link</a><br><img src=x>"
        << "<b>Bold</b> & <a href=\"https://evil.example\">link</a><br><img src=x>";
}

void tst_BUpdateCheck::changeLogShownAsPlainText()
{
    QFETCH(QString, changeLog);
    QFETCH(QString, shown);

    BUpdateDialog dialog(nullptr, { "1.4", changeLog });
    auto* browser = dialog.findChild<QTextBrowser*>("changeLogTextBrowser");
    QVERIFY(browser);
    QCOMPARE(browser->toPlainText(), shown);
    QCOMPARE(browser->document()->blockCount(), shown.count('\n') + 1);
}

void tst_BUpdateCheck::dialogTextsAndDownloadPage()
{
    UrlSink sink;
    QDesktopServices::setUrlHandler("https", &sink, "open");

    BUpdateDialog dialog(nullptr, { "<i>1.4</i>", "Fixes." });
    QCOMPARE(dialog.windowTitle(), QString("Update Available"));
    auto* version = dialog.findChild<QLabel*>("versionLabel");
    QCOMPARE(version->text(), QString("Your version is 1.3 and the latest version is <i>1.4</i>."));
    QCOMPARE(version->textFormat(), Qt::PlainText);

    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    QPushButton* visit = buttons->button(QDialogButtonBox::Yes);
    QPushButton* later = buttons->button(QDialogButtonBox::No);

    dialog.show();
    visit->click();
    QCOMPARE(sink.urls.size(), 1);
    QCOMPARE(sink.urls.at(0).host(), QString("tessavond.example"));
    QVERIFY(dialog.isVisible()); // the page opens, the dialog stays
    later->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QDesktopServices::unsetUrlHandler("https");
}

QTEST_MAIN(tst_BUpdateCheck)
#include "tst_bupdatecheck.moc"
