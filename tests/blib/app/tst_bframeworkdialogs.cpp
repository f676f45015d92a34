// The welcome widget, splash, About and calendar dialogs.
#include "blib/app/BAboutDialog.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BCalendarDialog.h"
#include "blib/app/BDialogHelpers.h"
#include "blib/app/BResources.h"
#include "blib/app/BSettings.h"
#include "blib/app/BSplashDialog.h"
#include "blib/app/BWelcomeWidget.h"
#include "blib/net/BAnalytics.h"
#include "support/UiDriver.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

namespace {

QStringList hrefsOf(const QString& html)
{
    QStringList hrefs;
    QRegularExpressionMatchIterator it = QRegularExpression("href=\"([^\"]*)\"").globalMatch(html);
    while (it.hasNext())
        hrefs.append(it.next().captured(1));
    return hrefs;
}

} // namespace

class tst_BFrameworkDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void welcomeWidgetRecentFilesRoundTrip();
    void welcomeWidgetAsksOnceAboutStatistics();
    void splashDialogLookAndMousePress();
    void aboutDialogTexts();
    void calendarChoosingDateEndsDialog();
};

void tst_BFrameworkDialogs::initTestCase()
{
    applyApplicationIdentity();
}

void tst_BFrameworkDialogs::welcomeWidgetAsksOnceAboutStatistics()
{
    QSettings().remove("blib.analytics.enabled");
    {
        BWelcomeWidget welcome;
        auto* question = welcome.findChild<QLabel*>("analyticsQuestionLabel");
        QVERIFY(question && !question->isHidden());
        QVERIFY(!analyticsEnabled());
        emit question->linkActivated("yes");
        QVERIFY(question->isHidden());
        QVERIFY(analyticsEnabled());
    }
    // Answered: not asked again.
    BWelcomeWidget again;
    QVERIFY(!again.findChild<QLabel*>("analyticsQuestionLabel"));
    setAnalyticsEnabled(false);
}

void tst_BFrameworkDialogs::welcomeWidgetRecentFilesRoundTrip()
{
    const QStringList paths { "/tmp/a<b>&c.lhdb", QString::fromUtf8("/home/zoë/Übersicht %1.lhdb"),
                              "C:\\Vaults\\\"quoted\".lhdb" };
    setStringListSetting("blib.recentFiles", paths);

    BWelcomeWidget welcome;
    auto* label = welcome.findChild<QLabel*>("recentFilesLabel");
    QVERIFY(!welcome.findChild<QWidget*>("recentFilesWidget")->isHidden());

    // The shown text is the path as written.
    QTextDocument shown;
    shown.setHtml(label->text());
    QCOMPARE(shown.toPlainText().split('\n', Qt::SkipEmptyParts), paths);

    // Activating each link gives back the exact path.
    QSignalSpy clicked(&welcome, &BWelcomeWidget::recentFileClicked);
    QSignalSpy cleared(&welcome, &BWelcomeWidget::clearRecentFilesClicked);
    const QStringList hrefs = hrefsOf(label->text());
    QCOMPARE(hrefs.size(), paths.size());
    for (const QString& href : hrefs)
        emit label->linkActivated(href);
    QCOMPARE(clicked.count(), paths.size());
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(clicked.at(i).at(0).toString(), paths.at(i));
    QCOMPARE(cleared.count(), 0);

    // The "(clear)" link asks to clear the list and opens nothing.
    auto* clearLabel = welcome.findChild<QLabel*>("clearRecentFilesLabel");
    const QStringList clearHrefs = hrefsOf(clearLabel->text());
    QCOMPARE(clearHrefs, QStringList { "clearRecentFiles" });
    emit clearLabel->linkActivated(clearHrefs.first());
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(clicked.count(), paths.size());
}

void tst_BFrameworkDialogs::splashDialogLookAndMousePress()
{
    QWidget window;
    BSplashDialog splash(&window);
    QCOMPARE(int(splash.windowFlags()), 2063);
    QCOMPARE(splash.minimumSize(), splash.maximumSize());
    QCOMPARE(splash.size(), splash.sizeHint());

    QVERIFY(splash.findChild<QFrame*>("splashDialogFrame"));
    QCOMPARE(splash.findChild<QLabel*>("appnameLabel")->text(), QString("Lockharbour Password Manager v1.3"));

    QSignalSpy accepted(&splash, &QDialog::accepted);
    splash.show();
    QTest::mouseClick(&splash, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!splash.isVisible());
}

void tst_BFrameworkDialogs::aboutDialogTexts()
{
    QWidget window;
    window.setGeometry(window.screen()->availableGeometry());
    BAboutDialog about(&window);

    QCOMPARE(about.windowTitle(), QString("About Lockharbour"));
    QCOMPARE(about.findChild<QLabel*>("titleLabel")->text(), QString("Lockharbour Password Manager"));
    QCOMPARE(about.findChild<QLabel*>("versionLabel")->text(), QString("1.3"));
    QVERIFY(about.findChild<QLabel*>("versionLabel")->textInteractionFlags() & Qt::TextSelectableByKeyboard);
    // "Mmm dd yyyy hh:mm:ss", the day padded with a blank.
    QVERIFY(QRegularExpression("^[A-Z][a-z]{2} [ 1-3]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d$")
                .match(about.findChild<QLabel*>("builtAtLabel")->text())
                .hasMatch());

    auto* tabs = about.findChild<QTabWidget*>("tabWidget");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QString("About"));
    QCOMPARE(tabs->tabText(1), QString("Change Log"));
    QCOMPARE(tabs->tabText(2), QString("Licence"));
    QCOMPARE(tabs->currentIndex(), 0);

    // The licence tab shows each document under its heading and a line of
    // 32 hyphens, as plain text.
    const QString licence = about.findChild<QTextBrowser*>("licenceTextBrowser")->toPlainText();
    const QString line(32, '-');
    const QStringList expectedParts {
        "Lockharbour Password Manager Licence\n" + line + "\n" + resourceText(151),
        "zxcvbn Licence\n" + line + "\n" + resourceText(152),
        "Qt Toolkit Licence\n" + line + "\n" + resourceText(153),
    };
    QCOMPARE(licence, expectedParts.join("\n\n"));
    QCOMPARE(about.findChild<QTextBrowser*>("changeLogTextBrowser")->toPlainText(), resourceText(150));

    // Fixed to its preferred height and centred on the window.
    QCOMPARE(about.minimumHeight(), about.maximumHeight());
    QCOMPARE(about.pos() + about.rect().center(), window.pos() + window.rect().center());
}

void tst_BFrameworkDialogs::calendarChoosingDateEndsDialog()
{
    QWidget window;
    window.show();
    BCalendarDialog dialog(&window);
    QCOMPARE(dialog.date(), QDate::currentDate());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.setDate(QDate(2031, 5, 17)); // selecting it from code is not a choice
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(dialog.findChild<QCalendarWidget*>("calendarWidget")->monthShown(), 5);
    UiDriver driver([&]() {
        if (!dialog.isVisible())
            return false;
        // Moving the selection with the arrow keys is a choice.
        auto* view = dialog.findChild<QCalendarWidget*>("calendarWidget")->findChild<QAbstractItemView*>();
        QTest::keyClick(view, Qt::Key_Right);
        return true;
    });
    QCOMPARE(execDialog(&window, &dialog), int(QDialog::Accepted));
    QCOMPARE(dialog.date(), QDate(2031, 5, 18));
}

QTEST_MAIN(tst_BFrameworkDialogs)
#include "tst_bframeworkdialogs.moc"
