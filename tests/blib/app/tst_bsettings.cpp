#include "blib/app/BApplicationIdentity.h"
#include "blib/app/BSettings.h"

#include <QSettings>
#include <QtTest>

class TestBSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyApplicationIdentity();
        QSettings().clear();
    }

    void absentKeysGiveTheCallersDefault()
    {
        QVERIFY(!containsSetting(QStringLiteral("app.test.absent")));
        QCOMPARE(boolSetting(QStringLiteral("app.test.absent"), true), true);
        QCOMPARE(intSetting(QStringLiteral("app.test.absent"), 42), 42);
        QCOMPARE(stringSetting(QStringLiteral("app.test.absent"), QStringLiteral("x")), QStringLiteral("x"));
        QVERIFY(byteArraySetting(QStringLiteral("app.test.absent")).isEmpty());
        QVERIFY(stringListSetting(QStringLiteral("app.test.absent")).isEmpty());
        // Reading never writes.
        QVERIFY(!containsSetting(QStringLiteral("app.test.absent")));
    }

    void valuesRoundTrip()
    {
        setBoolSetting(QStringLiteral("app.test.bool"), true);
        setIntSetting(QStringLiteral("app.test.int"), -123456);
        setStringSetting(QStringLiteral("app.test.string"), QStringLiteral("Grüße / \"quoted\""));
        const QByteArray bytes("\x00\x01\xff binary", 10);
        setByteArraySetting(QStringLiteral("app.test.bytes"), bytes);

        QCOMPARE(boolSetting(QStringLiteral("app.test.bool"), false), true);
        QCOMPARE(intSetting(QStringLiteral("app.test.int"), 0), -123456);
        QCOMPARE(stringSetting(QStringLiteral("app.test.string"), QString()), QStringLiteral("Grüße / \"quoted\""));
        QCOMPARE(byteArraySetting(QStringLiteral("app.test.bytes")), bytes);
        QVERIFY(containsSetting(QStringLiteral("app.test.int")));
    }

    void valuesSurviveInTheStoreNotInACache()
    {
        setIntSetting(QStringLiteral("app.test.shared"), 7);
        // Another writer of the same store is seen at once.
        {
            QSettings other;
            other.setValue(QStringLiteral("app.test.shared"), 8);
        }
        QCOMPARE(intSetting(QStringLiteral("app.test.shared"), 0), 8);
    }

    void stringListsRoundTripAsArrays()
    {
        const QStringList list { QStringLiteral("/home/a/one.lhdb"), QString(), QStringLiteral("with,comma"),
                                 QStringLiteral("ünïcode") };
        setStringListSetting(QStringLiteral("blib.recentFiles"), list);
        QCOMPARE(stringListSetting(QStringLiteral("blib.recentFiles")), list);

        QSettings settings;
        QCOMPARE(settings.beginReadArray(QStringLiteral("blib.recentFiles")), list.size());
        settings.setArrayIndex(2);
        QCOMPARE(settings.value(QStringLiteral("value")).toString(), QStringLiteral("with,comma"));
        settings.endArray();
    }

    void shorterListReplacesLongerOne()
    {
        setStringListSetting(QStringLiteral("app.test.list"), { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") });
        setStringListSetting(QStringLiteral("app.test.list"), { QStringLiteral("z") });
        QCOMPARE(stringListSetting(QStringLiteral("app.test.list")), QStringList { QStringLiteral("z") });
    }

    void emptyListIsStoredAsArrayOfSizeZero()
    {
        setStringListSetting(QStringLiteral("app.test.empty"), { QStringLiteral("a") });
        setStringListSetting(QStringLiteral("app.test.empty"), {});
        QVERIFY(stringListSetting(QStringLiteral("app.test.empty")).isEmpty());
        QSettings settings;
        QVERIFY(settings.contains(QStringLiteral("app.test.empty/size")));
        QCOMPARE(settings.value(QStringLiteral("app.test.empty/size")).toInt(), 0);
    }

    void wrongTypesConvertLikeVariants()
    {
        setStringSetting(QStringLiteral("app.test.text"), QStringLiteral("not a number"));
        QCOMPARE(intSetting(QStringLiteral("app.test.text"), 5), 0);
        setStringSetting(QStringLiteral("app.test.flag"), QStringLiteral("false"));
        QCOMPARE(boolSetting(QStringLiteral("app.test.flag"), true), false);
    }
};

QTEST_GUILESS_MAIN(TestBSettings)
#include "tst_bsettings.moc"
