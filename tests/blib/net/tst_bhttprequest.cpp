// The HTTP client and the request tasks against a real server on 127.0.0.1.
#include "blib/net/BHTTPClient.h"
#include "blib/net/BHTTPGetRequestTask.h"
#include "blib/net/BHTTPPostJsonRequestTask.h"
#include "support/FunctionTask.h"
#include "support/LocalHttpServer.h"
#include "support/TaskRun.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QtTest>

#include <zlib.h>

namespace {

// A GET task built and run inside an outer task on its thread, as the
// update check and the feedback upload do it.
struct GetOutcome
{
    QString responseText;
};

FunctionTask* getTask(const QString& url, int timeoutMs, GetOutcome* outcome)
{
    return new FunctionTask([=](BTaskController* controller) {
        BHTTPGetRequestTask request(url, timeoutMs);
        const BTaskResult result = request.run(controller);
        outcome->responseText = request.responseText();
        return result;
    });
}

// `size` zero bytes, gzip-compressed (about a thousandth of the size),
// made without holding them all.
QByteArray gzipOfZeros(qint64 size)
{
    z_stream stream {};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray zeros(1 << 20, '\0');
    QByteArray out;
    QByteArray chunk(1 << 16, '\0');
    for (qint64 left = size; left >= 0; left -= zeros.size()) {
        const bool last = left <= zeros.size();
        stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
        stream.avail_in = uInt(last ? left : zeros.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
            stream.avail_out = uInt(chunk.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(chunk.constData(), chunk.size() - int(stream.avail_out));
        } while (stream.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&stream);
    return out;
}

// A line of /proc/self/status in KiB ("VmHWM" the peak, "VmRSS" now).
qint64 memoryKiB(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

class tst_BHTTPRequest : public QObject
{
    Q_OBJECT

private slots:
    void answerStatus_data();
    void answerStatus();
    void noConnectionHasStatusZero();
    void postSendsJsonBody();
    void serverThatNeverAnswersTimesOut();
    void cancelDuringWait();
    void lateAnswerAfterTimeOutIsNotReported();
    void replyThatIsNotCurrentIsIgnored();
    void oversizedAnswerIsRefused();
    void compressedAnswerNeverInflates();
};

void tst_BHTTPRequest::answerStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<QString>("expectedError");

    QTest::newRow("200") << 200 << int(Success) << QString();
    QTest::newRow("204") << 204 << int(Failure) << QString("Request to server failed (status 204).");
    QTest::newRow("301") << 301 << int(Failure) << QString("Request to server failed (status 301).");
}

void tst_BHTTPRequest::answerStatus()
{
    QFETCH(int, status);
    QFETCH(int, expectedResult);
    QFETCH(QString, expectedError);

    LocalHttpServer server;
    QVERIFY(server.isListening());
    CannedReply reply;
    reply.status = status;
    reply.body = QString::fromUtf8("{\"answer\":\"Grüße\"}").toUtf8();
    // A redirect to a page that would answer 200: it must not be followed.
    reply.location = (server.baseUrl() + "/elsewhere").toUtf8();
    server.setDefaultReply(reply);
    CannedReply elsewhere;
    server.setReply("/elsewhere", elsewhere);

    GetOutcome outcome;
    TaskRun run(getTask(server.baseUrl() + "/v1/thing?x=1", 20000, &outcome));
    QVERIFY(run.wait());

    QCOMPARE(int(run.result()), expectedResult);
    QCOMPARE(run.errorText(), expectedError);
    if (expectedResult == Success)
        QCOMPARE(outcome.responseText, QString::fromUtf8("{\"answer\":\"Grüße\"}"));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(server.requests().at(0).method, QByteArray("GET"));
    QCOMPARE(server.requests().at(0).target, QByteArray("/v1/thing?x=1"));
}

void tst_BHTTPRequest::noConnectionHasStatusZero()
{
    // A port that was just free: nobody listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();

    GetOutcome outcome;
    TaskRun run(getTask(QString("http://127.0.0.1:%1/v1/app-info").arg(port), 20000, &outcome));
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Failure);
    QCOMPARE(run.errorText(), QString("Request to server failed (status 0)."));
}

void tst_BHTTPRequest::postSendsJsonBody()
{
    LocalHttpServer server;
    CannedReply reply;
    reply.body = "ok";
    server.setDefaultReply(reply);

    const QString json = QString::fromUtf8("{\"name\":\"Zoë\",\"n\":[1,2]}");
    QString responseText;
    TaskRun run(new FunctionTask([&](BTaskController* controller) {
        BHTTPPostJsonRequestTask request(server.baseUrl() + "/v1/analytics", json, 20000);
        const BTaskResult result = request.run(controller);
        responseText = request.responseText();
        return result;
    }));
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Success);
    QCOMPARE(responseText, QString("ok"));
    QCOMPARE(server.requests().size(), 1);
    const RecordedRequest& received = server.requests().at(0);
    QCOMPARE(received.method, QByteArray("POST"));
    QCOMPARE(received.target, QByteArray("/v1/analytics"));
    QCOMPARE(received.headers.value("content-type"), QByteArray("application/json"));
    QCOMPARE(received.body, json.toUtf8());
}

void tst_BHTTPRequest::serverThatNeverAnswersTimesOut()
{
    LocalHttpServer server;
    CannedReply silent;
    silent.neverAnswer = true;
    server.setDefaultReply(silent);

    GetOutcome outcome;
    TaskRun run(getTask(server.baseUrl() + "/v1/app-info", 300, &outcome));
    // The bound is generous: only the task's own time-out may end the wait.
    QVERIFY(run.wait(20000));
    QCOMPARE(run.result(), Failure);
    QCOMPARE(run.errorText(), QString("Request timed out."));
    QCOMPARE(server.requests().size(), 1);
}

void tst_BHTTPRequest::cancelDuringWait()
{
    LocalHttpServer server;
    CannedReply silent;
    silent.neverAnswer = true;
    server.setDefaultReply(silent);

    GetOutcome outcome;
    TaskRun run(getTask(server.baseUrl() + "/v1/feedback", 60000, &outcome));
    QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 1, 20000);
    QVERIFY(!run.isDone());
    run.cancel();
    QVERIFY(run.wait(20000));
    QCOMPARE(run.result(), Cancelled);
    QCOMPARE(run.errorText(), QString());
}

void tst_BHTTPRequest::lateAnswerAfterTimeOutIsNotReported()
{
    LocalHttpServer server;
    CannedReply late;
    late.delayMs = 700;
    late.body = "late";
    server.setDefaultReply(late);

    BHTTPClient client;
    QSignalSpy responses(&client, &BHTTPClient::response);
    QSignalSpy timeouts(&client, &BHTTPClient::timeout);
    client.get(QUrl(server.baseUrl() + "/slow"), 200);
    QVERIFY(timeouts.wait(20000));
    QCOMPARE(client.currentReply(), nullptr);

    // Well past the moment the server answers.
    QTest::qWait(1200);
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(responses.count(), 0);
    QCOMPARE(timeouts.count(), 1);
}

void tst_BHTTPRequest::replyThatIsNotCurrentIsIgnored()
{
    LocalHttpServer server;
    CannedReply slow;
    slow.delayMs = 300;
    slow.body = "current";
    server.setReply("/current", slow);
    CannedReply quick;
    quick.body = "stray";
    server.setReply("/stray", quick);

    BHTTPClient client;
    QSignalSpy responses(&client, &BHTTPClient::response);
    client.get(QUrl(server.baseUrl() + "/current"), 20000);
    // Another request on the same manager finishes first.
    QNetworkReply* stray = client.networkAccessManager()->get(QNetworkRequest(QUrl(server.baseUrl() + "/stray")));
    QTRY_VERIFY_WITH_TIMEOUT(stray->isFinished(), 20000);
    QCOMPARE(responses.count(), 0);
    QVERIFY(client.currentReply());

    QVERIFY(responses.wait(20000));
    QCOMPARE(responses.count(), 1);
    QCOMPARE(responses.at(0).at(0).toInt(), 200);
    QCOMPARE(responses.at(0).at(1).toString(), QString("current"));
    delete stray;
}

void tst_BHTTPRequest::oversizedAnswerIsRefused()
{
    LocalHttpServer server;
    CannedReply huge;
    huge.body = QByteArray(BHTTPClient::maxBodyBytes + 4096, 'x');
    server.setDefaultReply(huge);

    GetOutcome outcome;
    TaskRun run(getTask(server.baseUrl() + "/v1/app-info", 20000, &outcome));
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Failure);
    QCOMPARE(run.errorText(), QString("The server's answer is too large."));
    QCOMPARE(outcome.responseText, QString());
}

void tst_BHTTPRequest::compressedAnswerNeverInflates()
{
    // 300 KB on the wire that would inflate to 300 MiB.
    LocalHttpServer server;
    CannedReply bomb;
    bomb.body = gzipOfZeros(300 << 20);
    bomb.contentEncoding = "gzip";
    server.setDefaultReply(bomb);

    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
        QSKIP("the peak memory of the process cannot be reset here");
    clearRefs.close();
    const qint64 before = memoryKiB("VmRSS:");

    GetOutcome outcome;
    TaskRun run(getTask(server.baseUrl() + "/v1/app-info", 20000, &outcome));
    QVERIFY(run.wait());
    QCOMPARE(run.result(), Failure);
    QCOMPARE(outcome.responseText, QString());
    const qint64 grownKiB = memoryKiB("VmHWM:") - before;
    QVERIFY2(grownKiB < 64 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(grownKiB)));
}

QTEST_MAIN(tst_BHTTPRequest)
#include "tst_bhttprequest.moc"
