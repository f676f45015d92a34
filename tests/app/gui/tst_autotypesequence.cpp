// What Auto-Type types for an entry, and which entries belong to a window.

#include "app/database/OtpAuthLink.h"
#include "app/gui/AutoTypeMatcher.h"
#include "app/gui/AutoTypeSequence.h"

#include "support/WorkspaceFixture.h"

#include <QtTest>

namespace {

// The steps as one readable text: keys as <TAB>, <ENTER>, <SPACE>, delays
// as <DELAY N>.
QString render(const AutoTypeSequence& sequence)
{
    QString out;
    for (const AutoTypeSequence::Step& step : sequence.steps()) {
        switch (step.kind) {
        case AutoTypeSequence::Step::Text:
            out += step.text;
            break;
        case AutoTypeSequence::Step::Key:
            out += step.key == AutoTypeKeyboard::Tab     ? QStringLiteral("<TAB>")
                   : step.key == AutoTypeKeyboard::Enter ? QStringLiteral("<ENTER>")
                                                         : QStringLiteral("<SPACE>");
            break;
        case AutoTypeSequence::Step::Delay:
            out += QStringLiteral("<DELAY %1>").arg(step.milliseconds);
            break;
        }
    }
    return out;
}

} // namespace

class TestAutoTypeSequence : public QObject
{
    Q_OBJECT

private slots:
    void placeholdersAreFilledIn();
    void sequenceComesFromTheNote();
    void untypableSequencesAreRefused_data();
    void untypableSequencesAreRefused();
    void windowsFindTheirEntries();
};

void TestAutoTypeSequence::placeholdersAreFilledIn()
{
    PasswordDatabase::Password password;
    password.setUsername(QStringLiteral("user"));
    password.setPassword(QStringLiteral("pässwörd ©€"));
    password.setUrl(QStringLiteral("https://example.org/"));
    password.setEmailAddress(QStringLiteral("u@example.org"));
    password.setPhoneNumber(QStringLiteral("+61 2"));
    // RFC 6238's SHA-1 secret: 94287082 at 59 s, 8 digits.
    password.setNote(QStringLiteral("otpauth://totp/x?secret=GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ&digits=8"));

    AutoTypeSequence sequence;
    QString error;
    QVERIFY2(sequence.build(QStringLiteral("{USERNAME}{tab}{Password}{ENTER}{URL}{SPACE}{EMAIL} {PHONE}"
                                           "{DELAY 250}{TOTP}{{}x{}}"),
                            password, 59, &error),
             qPrintable(error));
    QCOMPARE(render(sequence), QStringLiteral("user<TAB>pässwörd ©€<ENTER>https://example.org/<SPACE>"
                                              "u@example.org +61 2<DELAY 250>94287082{x}"));

    QVERIFY(sequence.build(AutoTypeSequence::defaultSequence(), password, 59, &error));
    QCOMPARE(render(sequence), QStringLiteral("user<TAB>pässwörd ©€<ENTER>"));
}

void TestAutoTypeSequence::sequenceComesFromTheNote()
{
    PasswordDatabase::Password password;
    password.setNote(QStringLiteral("first line\nauto-type-window: *Login*\n  Auto-Type: {PASSWORD}{ENTER}  \n"
                                    "auto-type: {USERNAME}"));
    QCOMPARE(AutoTypeSequence::sequenceOf(password), QStringLiteral("{PASSWORD}{ENTER}"));
    password.setNote(QStringLiteral("auto-type:   \nnothing"));
    QCOMPARE(AutoTypeSequence::sequenceOf(password), AutoTypeSequence::defaultSequence());
}

void TestAutoTypeSequence::untypableSequencesAreRefused_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << "{USERNAME}{TAB}{PASSWROD}" << "{PASSWROD}";
    QTest::newRow("unclosed") << "{USERNAME" << "without its";
    QTest::newRow("nested") << "{USER{NAME}}" << "without its";
    QTest::newRow("lone close") << "a}b" << "without its";
    QTest::newRow("delay without number") << "{DELAY}" << "{DELAY N}";
    QTest::newRow("delay too long") << "{DELAY 10001}" << "{DELAY N}";
    QTest::newRow("negative delay") << "{DELAY -5}" << "{DELAY N}";
    QTest::newRow("totp without link") << "{TOTP}" << "otpauth";
}

void TestAutoTypeSequence::untypableSequencesAreRefused()
{
    QFETCH(QString, sequence);
    QFETCH(QString, message);
    PasswordDatabase::Password password;
    password.setUsername(QStringLiteral("user"));
    password.setPassword(QStringLiteral("secret"));
    AutoTypeSequence built;
    QVERIFY(built.build(QStringLiteral("{USERNAME}"), password, 0));
    QString error;
    QVERIFY(!built.build(sequence, password, 0, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    // Nothing of a refused sequence is typed, not even its first part.
    QVERIFY(built.steps().isEmpty());
}

void TestAutoTypeSequence::windowsFindTheirEntries()
{
    PasswordDatabase db;
    PasswordDatabase::Group* web = makeGroup(QStringLiteral("Web"));
    db.addItem(web);
    PasswordDatabase::Group* sub = makeGroup(QStringLiteral("Sub"));
    web->addItem(sub);
    makePassword(web, QStringLiteral("Forum"), QStringLiteral("me"));
    makePassword(sub, QStringLiteral("Bank"), QString(), QStringLiteral("https://www.MyBank.example/login"));
    makePassword(web, QStringLiteral("Shop"), QString(), QStringLiteral("shop.example"));
    PasswordDatabase::Password* mail = makePassword(web, QStringLiteral("Webmail login"));
    mail->setNote(QStringLiteral("auto-type-window: Inbox ? * - Mailer"));
    makePassword(web, QString(), QString(), QString());
    PasswordDatabase::Group* backup = makeGroup(QStringLiteral("Backup"));
    backup->setTag(1);
    db.addItem(backup);
    makePassword(backup, QStringLiteral("Forum"));

    auto names = [&db](const QString& title) {
        return childNames(
            [&]() {
                QList<PasswordDatabase::Item*> items;
                for (PasswordDatabase::Password* password : AutoTypeMatcher::matchingPasswords(db, title))
                    items.append(password);
                return items;
            }());
    };
    // By name, ignoring case; the backup group's copy never matches.
    QCOMPARE(names(QStringLiteral("The FORUM - Browser")), QStringList{ "Forum" });
    // By the URL's host without "www.", with or without a scheme.
    QCOMPARE(names(QStringLiteral("Log in | mybank.example")), QStringList{ "Bank" });
    QCOMPARE(names(QStringLiteral("shop.example: cart")), QStringList{ "Shop" });
    // By a pattern over the whole title.
    QCOMPARE(names(QStringLiteral("Inbox 3 (12) - Mailer")), QStringList{ "Webmail login" });
    QCOMPARE(names(QStringLiteral("Inbox 33 - Mailer")), QStringList());
    QCOMPARE(names(QStringLiteral("My Inbox 3 - Mailer")), QStringList());
    // Several, in tree order; none; an empty title matches nothing.
    QCOMPARE(names(QStringLiteral("Forum of the shop.example")), (QStringList{ "Forum", "Shop" }));
    QCOMPARE(names(QStringLiteral("Terminal")), QStringList());
    QCOMPARE(names(QString()), QStringList());
    QCOMPARE(AutoTypeMatcher::allPasswords(db).size(), 5);

    QCOMPARE(AutoTypeMatcher::urlHost(QStringLiteral("WWW.Example.COM:8443/path")), QStringLiteral("example.com"));
    QCOMPARE(AutoTypeMatcher::urlHost(QStringLiteral("not a url")), QString());
}

QTEST_MAIN(TestAutoTypeSequence)
#include "tst_autotypesequence.moc"
