#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BLanguage.h"
#include "blib/app/BSettings.h"

#include <QSettings>
#include <QtTest>

// The language state is process-wide, so the cases run in this order.
class TestBLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyApplicationIdentity();
        QSettings().clear();
    }

    void languageTable()
    {
        QCOMPARE(languageName(100), QStringLiteral("English"));
        QCOMPARE(languageName(5), QStringLiteral("??"));
        QCOMPARE(languageName(0), QStringLiteral("??"));
        QCOMPARE(languageCode(), QStringLiteral("en_au"));
    }

    void freshProfileStartsInEnglishWithoutWriting()
    {
        QCOMPARE(currentLanguage(), 0);
        QVERIFY(installStartupLanguage());
        QCOMPARE(currentLanguage(), 100);
        QVERIFY(!containsSetting(QStringLiteral("blib.language.current")));
    }

    void unknownLanguageFails()
    {
        QVERIFY(!setLanguage(5));
        // English needs no translator and can always be installed again.
        QVERIFY(setLanguage(100));
        QCOMPARE(currentLanguage(), 100);
        QCOMPARE(languageCode(), QStringLiteral("en_au"));
    }

    void storedUnknownLanguageFallsBackToEnglish()
    {
        setIntSetting(QStringLiteral("blib.language.current"), 5);
        QVERIFY(!setLanguage(5));
        QVERIFY(installStartupLanguage());
        QCOMPARE(currentLanguage(), 100);
        QCOMPARE(intSetting(QStringLiteral("blib.language.current"), 0), 100);
    }

    void storedGarbageFallsBackToEnglish()
    {
        setStringSetting(QStringLiteral("blib.language.current"), QStringLiteral("klingon"));
        QVERIFY(installStartupLanguage());
        QCOMPARE(currentLanguage(), 100);
        QCOMPARE(intSetting(QStringLiteral("blib.language.current"), 0), 100);
    }
};

QTEST_GUILESS_MAIN(TestBLanguage)
#include "tst_blanguage.moc"
