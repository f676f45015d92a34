// Auto-Type's X11 layer against a real X server: typing into another
// program's window, finding and activating that window, and the global
// hotkey. Every case runs twice, on a bare display and under a window
// manager, since both change how focus and activation work.

#include "app/gui/AutoTypeKeyboard.h"
#include "app/gui/AutoTypeWindows.h"
#include "app/gui/GlobalHotkey.h"

#include <QSignalSpy>
#include <QtTest>

#include "support/X11TestDisplay.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

class tst_AutoTypeX11 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void typesEveryCharacterAndRestoresTheMapping();
    void typesPlainTextWhateverModifiersAreInEffect();
    void namesAndActivatesTheTargetWindow();
    void hotkeyFiresAndReportsAConflict();
    void survivesTheDisplayGoingAway();

private:
    X11TestDisplay m_x;
};

void tst_AutoTypeX11::initTestCase_data()
{
    QTest::addColumn<bool>("windowManager");
    QTest::newRow("no window manager") << false;
    QTest::newRow("openbox") << true;
}

void tst_AutoTypeX11::initTestCase()
{
    if (!X11TestDisplay::canStart())
        QSKIP("Xvfb is not installed");
    QVERIFY(m_x.start());
}

void tst_AutoTypeX11::init()
{
    QFETCH_GLOBAL(bool, windowManager);
    if (windowManager && !X11TestDisplay::canStartWindowManager())
        QSKIP("openbox is not installed");
    QVERIFY(m_x.setWindowManager(windowManager));
}

void tst_AutoTypeX11::cleanup()
{
    m_x.closeTargets();
}

void tst_AutoTypeX11::cleanupTestCase()
{
    m_x.stop();
}

void tst_AutoTypeX11::typesEveryCharacterAndRestoresTheMapping()
{
    QString output;
    QVERIFY(m_x.startActiveTarget("Login", &output));
    const QVector<KeySym> mappingBefore = m_x.keyboardMapping();

    // Letters of the layout, Tab and Return, and characters the US layout
    // lacks (Latin-1, a Unicode symbol) that need spare key codes.
    const QString text = QString::fromUtf8("user\tpässwörd ©€\n");
    {
        AutoTypeKeyboard keyboard;
        QVERIFY(keyboard.isOpen());
        // No pause between keys: the target falls behind the typing, which is
        // when giving the spare key codes back too early loses characters.
        keyboard.setKeyDelay(0);
        QString error;
        QVERIFY2(keyboard.typeText(text, &error), qPrintable(error));
    }
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), text, 10000);
    QCOMPARE(m_x.keyboardMapping(), mappingBefore);
}

void tst_AutoTypeX11::typesPlainTextWhateverModifiersAreInEffect()
{
    QString output;
    QVERIFY(m_x.startActiveTarget("Login", &output));
    // The user still holds Ctrl and Alt of the hotkey, and Caps Lock is on.
    m_x.key(XK_Control_L, true);
    m_x.key(XK_Alt_L, true);
    XkbLockModifiers(m_x.display(), XkbUseCoreKbd, LockMask, LockMask);
    XSync(m_x.display(), False);

    AutoTypeKeyboard keyboard;
    keyboard.releaseHeldModifiers();
    QString error;
    QVERIFY2(keyboard.typeText("Plain text 1!", &error), qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(output), QString("Plain text 1!"), 10000);

    XkbStateRec state;
    XkbGetState(m_x.display(), XkbUseCoreKbd, &state);
    XkbLockModifiers(m_x.display(), XkbUseCoreKbd, LockMask, 0);
    XSync(m_x.display(), False);
    QCOMPARE(state.locked_mods & LockMask, unsigned(LockMask));
    QCOMPARE(state.base_mods & (ControlMask | Mod1Mask), 0u);
}

void tst_AutoTypeX11::namesAndActivatesTheTargetWindow()
{
    QString loginOutput;
    QProcess* login = nullptr;
    const quint64 loginWindow = m_x.startActiveTarget(QString::fromUtf8("Bank — Login"), &loginOutput, &login);
    QVERIFY(loginWindow);
    QCOMPARE(AutoTypeWindows::windowProcessId(loginWindow), login->processId());

    QString otherOutput;
    const quint64 otherWindow = m_x.startActiveTarget("Other window", &otherOutput);
    QVERIFY(otherWindow);
    QVERIFY(otherWindow != loginWindow);

    QVERIFY(AutoTypeWindows::activateWindow(loginWindow));
    QCOMPARE(AutoTypeWindows::activeWindow(), loginWindow);
    QCOMPARE(AutoTypeWindows::windowTitle(loginWindow), QString::fromUtf8("Bank — Login"));
    {
        AutoTypeKeyboard keyboard;
        QVERIFY(keyboard.typeText("x"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(X11TestDisplay::readFile(loginOutput), QString("x"), 10000);
    QCOMPARE(X11TestDisplay::readFile(otherOutput), QString());
}

void tst_AutoTypeX11::hotkeyFiresAndReportsAConflict()
{
    GlobalHotkey hotkey;
    QSignalSpy activated(&hotkey, &GlobalHotkey::activated);
    QString error;
    QVERIFY2(hotkey.setShortcut(QKeySequence("Ctrl+Alt+A"), &error), qPrintable(error));

    m_x.pressCombination({ XK_Control_L, XK_Alt_L, XK_a });
    QTRY_COMPARE(activated.count(), 1);

    // Another program holds Ctrl+Alt+B.
    const KeyCode b = XKeysymToKeycode(m_x.display(), XK_b);
    XGrabKey(m_x.display(), b, ControlMask | Mod1Mask, DefaultRootWindow(m_x.display()), False, GrabModeAsync,
             GrabModeAsync);
    XSync(m_x.display(), False);
    QVERIFY(!hotkey.setShortcut(QKeySequence("Ctrl+Alt+B"), &error));
    XUngrabKey(m_x.display(), b, ControlMask | Mod1Mask, DefaultRootWindow(m_x.display()));
    XSync(m_x.display(), False);
    QCOMPARE(error, QString("Another program already uses Ctrl+Alt+B."));
    QCOMPARE(hotkey.shortcut(), QKeySequence("Ctrl+Alt+A"));
}

void tst_AutoTypeX11::survivesTheDisplayGoingAway()
{
    X11TestDisplay other;
    QVERIFY(other.start());
    GlobalHotkey hotkey;
    qputenv("DISPLAY", m_x.name().toLatin1());
    QVERIFY(hotkey.setShortcut(QKeySequence("Ctrl+Alt+A")));

    // Xlib's own handling of a lost connection would end the test here.
    other.stop();
    QString error;
    QTRY_VERIFY(!hotkey.setShortcut(QKeySequence("Ctrl+Alt+B"), &error));
    QCOMPARE(error, QString("A global shortcut needs an X11 display."));
}

QTEST_MAIN(tst_AutoTypeX11)
#include "tst_autotypex11.moc"
