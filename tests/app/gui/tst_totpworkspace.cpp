// One-time codes in the workspace: the TOTP row of the info view, the copy
// through the clipboard handling, and the set-up dialog writing the note's
// link line.
#include "app/database/OtpAuthLink.h"
#include "app/gui/MainWindow.h"
#include "app/gui/TotpSetupDialog.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "support/UiDriver.h"
#include "support/WorkspaceFixture.h"

using Group = PasswordDatabase::Group;
using Password = PasswordDatabase::Password;

namespace {

// The RFC 6238 SHA1 seed in Base32.
const QString seedBase32("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");

// The codes the seed gives over the seconds from `start` to now: the clock
// may turn to the next code while a step runs.
QStringList codesSince(qint64 start)
{
    QStringList codes;
    for (qint64 t = start; t <= QDateTime::currentSecsSinceEpoch(); ++t)
        codes << TotpCode::at("12345678901234567890", t, 30, 6, TotpCode::Sha1);
    return codes;
}

} // namespace

class tst_TotpWorkspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void infoViewShowsTheCodeOrWhyNot();
    void copiedCodeIsClearedAfterTheDelay();
    void setUpDialogReplacesTheLinkLine();

private:
    QAction* action(const QString& text);
    QString infoValue(const QString& label);
    Password* password(const QString& name) { return itemNamed<Password>(m_window->database(), name); }

    MainWindow* m_window = nullptr;
};

void tst_TotpWorkspace::initTestCase()
{
    applyApplicationIdentity();
    qApp->setQuitOnLastWindowClosed(false);
}

void tst_TotpWorkspace::init()
{
    setBoolSetting("app.settings.clearClipboardTimeout", false);
    m_window = new MainWindow(qApp, nullptr);
    m_window->resize(900, 600);
    m_window->show();
    QTRY_VERIFY(m_window->splashDialog());
    m_window->hideSplashDialog();

    PasswordDatabase db;
    QVERIFY(giveKeys(db));
    Group* internet = makeGroup("Internet");
    makePassword(internet, "Bank", "alice")->setNote("PIN 1234\notpauth://totp/Bank?secret=" + seedBase32);
    makePassword(internet, "Mail", "bob")->setNote("otpauth://totp/Mail?secret=" + seedBase32 + "&digits=5");
    makePassword(internet, "Shop", "carol")->setNote("no code here");
    db.addItem(internet);
    m_window->activateDatabase(db);
}

void tst_TotpWorkspace::cleanup()
{
    closeAndDeleteWindow(m_window);
}

QAction* tst_TotpWorkspace::action(const QString& text)
{
    for (QAction* action : m_window->findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    qFatal("no action %s", qPrintable(text));
}

// The value of the info table's row with this label; "missing" without one.
QString tst_TotpWorkspace::infoValue(const QString& label)
{
    auto* info = m_window->findChild<QTableWidget*>("infoTableWidget");
    for (int row = 0; row < info->rowCount(); ++row) {
        if (info->item(row, 0)->text() == label)
            return info->item(row, 1)->text();
    }
    return QStringLiteral("missing");
}

void tst_TotpWorkspace::infoViewShowsTheCodeOrWhyNot()
{
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    m_window->selectPassword(password("Bank"));
    const QString shown = infoValue("TOTP");
    QVERIFY2(codesSince(start).contains(shown.section(' ', 0, 0)), qPrintable(shown));
    QVERIFY2(shown.contains(" s left)"), qPrintable(shown));
    // The secret is masked in the note row like the password.
    QCOMPARE(infoValue("Note"), QString("PIN 1234\notpauth://totp/Bank?secret=********"));
    // The countdown moves on by itself.
    QTRY_VERIFY_WITH_TIMEOUT(infoValue("TOTP") != shown, 5000);

    m_window->selectPassword(password("Mail"));
    QVERIFY2(infoValue("TOTP").contains("is not 6, 7 or 8"), qPrintable(infoValue("TOTP")));
    QVERIFY(!action("Copy TOTP")->isEnabled());
    QVERIFY(!action("Show TOTP QR Code...")->isEnabled());
    QVERIFY(action("Set Up TOTP...")->isEnabled());
    m_window->selectPassword(password("Shop"));
    QCOMPARE(infoValue("TOTP"), QString("missing"));

    m_window->selectPassword(password("Bank"));
    m_window->lockWorkspace();
    QVERIFY(m_window->isLockedView());
    QCOMPARE(m_window->findChild<QTableWidget*>("infoTableWidget")->rowCount(), 0);
    // A refresh due after the lock puts nothing back.
    QTest::qWait(1200);
    QCOMPARE(m_window->findChild<QTableWidget*>("infoTableWidget")->rowCount(), 0);
}

void tst_TotpWorkspace::copiedCodeIsClearedAfterTheDelay()
{
    setBoolSetting("app.settings.clearClipboardTimeout", true);
    setIntSetting("app.settings.clearClipboardTimeoutSeconds", 1);
    QClipboard* clipboard = QApplication::clipboard();
    m_window->selectPassword(password("Bank"));
    QAction* copy = action("Copy TOTP");
    QCOMPARE(copy->shortcut(), QKeySequence("Ctrl+T"));
    QVERIFY(copy->isEnabled());

    const qint64 start = QDateTime::currentSecsSinceEpoch();
    copy->trigger();
    QVERIFY2(codesSince(start).contains(clipboard->text()), qPrintable(clipboard->text()));
    QCOMPARE(clipboard->mimeData()->data("x-kde-passwordManagerHint"), QByteArray("secret"));
    QTRY_COMPARE_WITH_TIMEOUT(clipboard->text(), QString(), 20000);
}

void tst_TotpWorkspace::setUpDialogReplacesTheLinkLine()
{
    m_window->selectPassword(password("Bank"));
    QString prefilled;
    bool okWhenInvalid = true;
    QString codeShown;
    UiDriver driver([&]() {
        auto* dialog = visibleTopLevel<TotpSetupDialog>();
        if (!dialog)
            return false;
        auto* edit = field<QLineEdit>(dialog, "linkEdit");
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        prefilled = edit->text();
        edit->setText("MZXW6YQ1");
        okWhenInvalid = ok->isEnabled();
        edit->setText("gezd gnbv gy3t qojq gezd gnbv gy3t qojq");
        codeShown = field<QLabel>(dialog, "codeLabel")->text();
        ok->click();
        return true;
    });
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    action("Set Up TOTP...")->trigger();
    QVERIFY(driver.isDone());
    QCOMPARE(prefilled, "otpauth://totp/Bank?secret=" + seedBase32);
    QVERIFY(!okWhenInvalid);
    QVERIFY2(codesSince(start).contains(codeShown.section(' ', 0, 0)), qPrintable(codeShown));
    QCOMPARE(password("Bank")->getNote(), "PIN 1234\notpauth://totp/Bank:alice?secret=" + seedBase32
                                              + "&issuer=Bank&algorithm=SHA1&digits=6&period=30");
    QVERIFY(m_window->database().isModified());
}

QTEST_MAIN(tst_TotpWorkspace)
#include "tst_totpworkspace.moc"
