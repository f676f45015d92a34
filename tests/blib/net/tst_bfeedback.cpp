// Feedback: the request URL as the server receives it, and the dialog.
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"
#include "blib/net/BSendFeedbackDialog.h"
#include "blib/net/BSendFeedbackTask.h"
#include "support/LocalHttpServer.h"
#include "support/TaskRun.h"
#include "support/UiDriver.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class tst_BFeedback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void bodyArrivesPercentEncoded_data();
    void bodyArrivesPercentEncoded();
    void dialogSendsAndCloses_data();
    void dialogSendsAndCloses();
    void dialogStaysOpenAfterFailure();
};

void tst_BFeedback::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BFeedback::bodyArrivesPercentEncoded_data()
{
    QTest::addColumn<int>("category");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QByteArray>("query");

    QTest::newRow("empty bug report") << int(BFeedback::BugReport) << "" << ""
        << QByteArray("app_key=lockharbour&app_version=1.3&category=bug&text=&email_address=");
    QTest::newRow("reserved characters") << int(BFeedback::Suggestion)
        << "a b&c=d?e/f#g+h%i~j_k.l-m\n" << "x+y@example.org"
        << QByteArray("app_key=lockharbour&app_version=1.3&category=suggestion"
                      "&text=a%20b%26c%3Dd%3Fe%2Ff%23g%2Bh%25i~j_k.l-m%0A&email_address=x%2By%40example.org");
    QTest::newRow("unicode") << int(BFeedback::BugReport) << QString::fromUtf8("Zoë € 日本 😀") << QString::fromUtf8("zoë@exämple.org")
        << QByteArray("app_key=lockharbour&app_version=1.3&category=bug"
                      "&text=Zo%C3%AB%20%E2%82%AC%20%E6%97%A5%E6%9C%AC%20%F0%9F%98%80"
                      "&email_address=zo%C3%AB%40ex%C3%A4mple.org");
}

void tst_BFeedback::bodyArrivesPercentEncoded()
{
    QFETCH(int, category);
    QFETCH(QString, text);
    QFETCH(QString, email);
    QFETCH(QByteArray, query);

    LocalHttpServer server;
    server.setDefaultReply(CannedReply());
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    BFeedback feedback;
    feedback.category = category;
    feedback.text = text;
    feedback.emailAddress = email;
    BSendFeedbackTask task(feedback);
    TaskRun run(&task);
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Success);

    QCOMPARE(server.requests().size(), 1);
    const RecordedRequest& request = server.requests().at(0);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/v1/feedback"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, query);
}

void tst_BFeedback::dialogSendsAndCloses_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("category");

    QTest::newRow("bug") << int(BSendFeedbackDialog::BugReportMode) << "Report Bug" << QByteArray("category=bug");
    QTest::newRow("suggestion") << int(BSendFeedbackDialog::SuggestionMode) << "Send Suggestion"
                                << QByteArray("category=suggestion");
}

void tst_BFeedback::dialogSendsAndCloses()
{
    QFETCH(int, mode);
    QFETCH(QString, title);
    QFETCH(QByteArray, category);

    LocalHttpServer server;
    server.setDefaultReply(CannedReply());
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    BSendFeedbackDialog dialog(nullptr, mode);
    QCOMPARE(dialog.windowTitle(), title);
    auto* buttons = dialog.findChild<QDialogButtonBox*>("buttonBox");
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->text(), QString("Send"));
    auto* comments = dialog.findChild<QPlainTextEdit*>("commentsTextEdit");
    QVERIFY(comments->tabChangesFocus());

    dialog.findChild<QLineEdit*>("emailLineEdit")->setText("me@example.org");
    comments->setPlainText("It works");
    dialog.show();
    buttons->button(QDialogButtonBox::Ok)->click();

    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(server.requests().size(), 1);
    const QByteArray body = server.requests().at(0).body;
    QVERIFY(body.contains(category));
    QVERIFY(body.contains("&text=It%20works&email_address=me%40example.org"));
    QVERIFY(!server.requests().at(0).target.contains("works"));
}

void tst_BFeedback::dialogStaysOpenAfterFailure()
{
    LocalHttpServer server;
    CannedReply broken;
    broken.status = 500;
    server.setDefaultReply(broken);
    setStringSetting("blib.service.baseUrl", server.baseUrl());

    BSendFeedbackDialog dialog(nullptr, BSendFeedbackDialog::BugReportMode);
    dialog.findChild<QPlainTextEdit*>("commentsTextEdit")->setPlainText("Crash on save");
    dialog.show();

    QString errorText;
    UiDriver driver([&]() {
        auto* box = visibleTopLevel<QMessageBox>();
        if (!box)
            return false;
        errorText = box->text();
        box->accept();
        return true;
    });
    dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();

    QVERIFY(driver.isDone());
    QCOMPARE(errorText, QString("Request to server failed (status 500)."));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QPlainTextEdit*>("commentsTextEdit")->toPlainText(), QString("Crash on save"));
    QCOMPARE(server.requests().size(), 1);
    dialog.reject();
}

QTEST_MAIN(tst_BFeedback)
#include "tst_bfeedback.moc"
