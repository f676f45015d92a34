// Password ratings from zxcvbn's estimate of real passwords: the bit
// boundaries of the five ratings, the warnings and which match gives them,
// and the strength widget.
#include "blib/app/BApplicationIdentity.h"
#include "blib/password/BPassword.h"
#include "blib/password/BPasswordStrengthWidget.h"

#include <QLabel>
#include <QProgressBar>
#include <QtTest>

#include <zxcvbn.h>

class tst_BPasswordStrength : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ratingsAtTheBitBoundaries_data();
    void ratingsAtTheBitBoundaries();
    void warnings_data();
    void warnings();
    void emptyPassword();
    void ratingNames();
    void widgetShowsEachRating_data();
    void widgetShowsEachRating();
    void keystrokesAreRatedOnceForTheLatestText();
};

namespace {

double zxcvbnBits(const QString& password)
{
    return ZxcvbnMatch(password.toUtf8().constData(), nullptr, nullptr);
}

} // namespace

void tst_BPasswordStrength::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BPasswordStrength::ratingsAtTheBitBoundaries_data()
{
    // Pairs of real passwords whose estimate lies just below and just above
    // 15, 25, 40 and 60 bits.
    QTest::addColumn<QString>("password");
    QTest::addColumn<double>("boundary");
    QTest::addColumn<bool>("above");
    QTest::addColumn<int>("rating");

    QTest::newRow("just below 15") << "footballhorsepassword" << 15.0 << false << 0;
    QTest::newRow("just above 15") << "hellohello1990" << 15.0 << true << 1;
    QTest::newRow("just below 25") << "qwertystaple1990" << 25.0 << false << 1;
    QTest::newRow("just above 25") << "horse1990_" << 25.0 << true << 2;
    QTest::newRow("just below 40") << "wuZQ74058" << 40.0 << false << 2;
    QTest::newRow("just above 40") << "qoimoblyu" << 40.0 << true << 3;
    QTest::newRow("just below 60") << "dJCT0a0fg3c0L" << 60.0 << false << 3;
    QTest::newRow("just above 60") << "UxfoI0ArKCE9Z" << 60.0 << true << 4;
}

void tst_BPasswordStrength::ratingsAtTheBitBoundaries()
{
    QFETCH(QString, password);
    QFETCH(double, boundary);
    QFETCH(bool, above);
    QFETCH(int, rating);

    // The password sits where the row says, within a tenth of a bit.
    const double bits = zxcvbnBits(password);
    QVERIFY2(above ? (bits >= boundary && bits < boundary + 0.1) : (bits < boundary && bits > boundary - 0.1),
             qPrintable(QString::number(bits, 'f', 6)));

    double entropy = -1.0;
    int result = -1;
    double fraction = -1.0;
    QString feedback;
    ratePassword(password, entropy, result, fraction, feedback);
    QCOMPARE(entropy, bits);
    QCOMPARE(result, rating);
    QCOMPARE(fraction, qMin(1.0, bits / 60.0));
    // Strong and excellent passwords get no warning, even where zxcvbn
    // found a dictionary word ("mob" in "qoimoblyu").
    if (rating >= 3)
        QVERIFY(feedback.isEmpty());
    else
        QVERIFY(!feedback.isEmpty());
}

void tst_BPasswordStrength::warnings_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("feedback");

    // The first qualifying match wins: the word before the keyboard run.
    QTest::newRow("word before keyboard run") << "dog;lkjhg" << "Contains common sequence. (dog)";
    // A two-letter word does not qualify, so the run that follows speaks.
    QTest::newRow("two-letter word, then run") << "ok7ujm8ik," << "Characters adjacent on keyboard. (7ujm)";
    // A repeated word counts as the word.
    QTest::newRow("repeated word") << "hellohello1990" << "Contains common sequence. (hellohello)";
    QTest::newRow("leetspeak") << "p4ssw0rd" << "Contains leetspeak. (p4ssw0rd)";
    // Leet matches of four and three characters and a two-letter word: no
    // match qualifies.
    QTest::newRow("short leet") << "Tr0ub4dor" << QString();
    QTest::newRow("repeat") << "zzzzzz" << "Contains repeating pattern. (zzzzzz)";
    QTest::newRow("sequence") << "abcdef" << "Contains simple sequence. (abcdef)";
    QTest::newRow("date") << "1/2/99" << "Possibly contains a date. (1/2/99)";
    QTest::newRow("date after brute force") << "wuZQ74058" << "Possibly contains a date. (74058)";
    // zxcvbn counts bytes of UTF-8; the named part is still the right one.
    QTest::newRow("after a two-byte letter") << QString::fromUtf8("zoëqwerty") << "Contains common sequence. (qwerty)";
    QTest::newRow("after emoji") << QString::fromUtf8("😀😀😀qwerty") << "Contains common sequence. (qwerty)";
    QTest::newRow("single characters") << "xq" << QString();
}

void tst_BPasswordStrength::warnings()
{
    QFETCH(QString, password);
    QFETCH(QString, feedback);

    double entropy = 0.0;
    int rating = 0;
    double fraction = 0.0;
    QString result = QStringLiteral("not cleared");
    ratePassword(password, entropy, rating, fraction, result);
    QVERIFY(rating <= 2);
    QCOMPARE(result, feedback);
}

void tst_BPasswordStrength::emptyPassword()
{
    double entropy = -1.0;
    int rating = -1;
    double fraction = -1.0;
    QString feedback;
    ratePassword(QString(), entropy, rating, fraction, feedback);
    QCOMPARE(entropy, 0.0);
    QCOMPARE(rating, 0);
    QCOMPARE(fraction, 0.0);
    QCOMPARE(feedback, QStringLiteral("Password empty."));
}

void tst_BPasswordStrength::ratingNames()
{
    QCOMPARE(ratingName(0), QStringLiteral("Very weak"));
    QCOMPARE(ratingName(1), QStringLiteral("Weak"));
    QCOMPARE(ratingName(2), QStringLiteral("OK"));
    QCOMPARE(ratingName(3), QStringLiteral("Strong"));
    QCOMPARE(ratingName(4), QStringLiteral("Excellent"));
    QCOMPARE(ratingName(5), QStringLiteral("Very weak"));
    QCOMPARE(ratingName(-1), QStringLiteral("Very weak"));
}

void tst_BPasswordStrength::widgetShowsEachRating_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("bits");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("warning");

    QTest::newRow("empty") << QString() << 0 << "0 bits of entropy" << "Password empty." << true;
    QTest::newRow("very weak") << "footballhorsepassword" << 24 << "14 bits of entropy"
                               << "Contains common sequence. (football)" << true;
    QTest::newRow("weak, no warning") << "vbqx" << 31 << "18 bits of entropy" << "Weak password." << false;
    QTest::newRow("OK, no warning") << "Tr0ub4dor" << 53 << "31 bits of entropy" << "OK password." << false;
    QTest::newRow("strong") << "qoimoblyu" << 66 << "40 bits of entropy" << "Strong password." << false;
    QTest::newRow("excellent: full bar") << "Kx9#mqT4vL2@pR" << 100 << "83 bits of entropy" << "Excellent password."
                                         << false;
}

void tst_BPasswordStrength::widgetShowsEachRating()
{
    QFETCH(QString, password);
    QFETCH(int, bar);
    QFETCH(QString, bits);
    QFETCH(QString, label);
    QFETCH(bool, warning);

    BPasswordStrengthWidget widget;
    QCOMPARE(widget.objectName(), QStringLiteral("PasswordStrengthWidget"));
    widget.setPassword("UxfoI0ArKCE9Z");
    widget.setPassword(password);
    auto* progress = widget.findChild<QProgressBar*>("progressBar");
    auto* text = widget.findChild<QLabel*>("label");
    QCOMPARE(progress->value(), bar);
    QCOMPARE(progress->text(), bits);
    QCOMPARE(progress->toolTip(), bits);
    QCOMPARE(text->text(), label);
    QCOMPARE(text->styleSheet(),
             warning ? QStringLiteral("QLabel { color: #ee5500; }") : QStringLiteral("QLabel { color: #000; }"));
}

void tst_BPasswordStrength::keystrokesAreRatedOnceForTheLatestText()
{
    BPasswordStrengthWidget widget;
    auto* text = widget.findChild<QLabel*>("label");
    // A new widget shows the empty password.
    QCOMPARE(text->text(), QStringLiteral("Password empty."));

    // Typing "abcdef" one key at a time: nothing is rated until the events
    // are handled, then only the full text.
    const QString typed = QStringLiteral("abcdef");
    for (int i = 1; i <= typed.size(); ++i)
        widget.setPasswordSoon(typed.left(i));
    QCOMPARE(text->text(), QStringLiteral("Password empty."));
    QTRY_COMPARE(text->text(), QStringLiteral("Contains simple sequence. (abcdef)"));

    // A rating asked for at once wins over one still pending.
    widget.setPasswordSoon("zzzzzz");
    widget.setPassword("UxfoI0ArKCE9Z");
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(text->text(), QStringLiteral("Excellent password."));
}

QTEST_MAIN(tst_BPasswordStrength)
#include "tst_bpasswordstrength.moc"
