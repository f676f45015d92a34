#include "blib/app/BResources.h"

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QtTest>

class TestBResources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setIconTheme(QStringLiteral("light")); }

    void applicationIconsComeFromTheCommonFolder()
    {
        for (const QString& theme : { QStringLiteral("light"), QStringLiteral("dark") }) {
            setIconTheme(theme);
            QCOMPARE(resourcePath(227), QStringLiteral(":/image/icon/icon64.png"));
            QCOMPARE(resourcePath(223), QStringLiteral(":/image/icon/icon16.png"));
            QCOMPARE(resourcePath(231), QStringLiteral(":/image/icon/icon1024.png"));
        }
    }

    void themedIconsFollowTheTheme()
    {
        QCOMPARE(resourcePath(200), QStringLiteral(":/image/icon/light/icon_091.png"));
        QCOMPARE(resourcePath(252), QStringLiteral(":/image/icon/light/icon_182.png"));
        setIconTheme(QStringLiteral("dark"));
        QCOMPARE(resourcePath(200), QStringLiteral(":/image/icon/dark/icon_091.png"));
        // A theme folder that does not exist finds nothing for themed files.
        setIconTheme(QStringLiteral("sepia"));
        QCOMPARE(resourcePath(200), QString());
        QCOMPARE(resourcePath(227), QStringLiteral(":/image/icon/icon64.png"));
    }

    void unknownIdsAreEmpty()
    {
        QCOMPARE(resourcePath(217), QString());
        QCOMPARE(resourcePath(232), QString());
        QCOMPARE(resourcePath(99), QString());
        QCOMPARE(resourcePath(100), QString());
        QCOMPARE(resourcePath(199), QString());
        QCOMPARE(resourcePath(253), QString());
        QVERIFY(resourceIcon(217).isNull());
        QCOMPARE(resourceText(99), QString());
    }

    void everyIconOfTheTableExistsInBothThemes()
    {
        for (const QString& theme : { QStringLiteral("light"), QStringLiteral("dark") }) {
            setIconTheme(theme);
            for (int id = 200; id <= 252; ++id) {
                if (id == 217 || id == 232)
                    continue;
                const QString path = resourcePath(id);
                QVERIFY2(!path.isEmpty(), qPrintable(QStringLiteral("%1 in %2").arg(id).arg(theme)));
                if (id < 223 || id > 231)
                    QVERIFY2(path.contains(QStringLiteral("/%1/").arg(theme)), qPrintable(path));
                QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
                QVERIFY(!resourceIcon(id).isNull());
            }
        }
    }

    void applicationIconHasItsNineSizes()
    {
        const int sizes[] = { 16, 24, 32, 48, 64, 128, 256, 512, 1024 };
        for (int i = 0; i < 9; ++i) {
            const QPixmap pixmap(resourcePath(223 + i));
            QCOMPARE(pixmap.width(), sizes[i]);
            QCOMPARE(pixmap.height(), sizes[i]);
        }
    }

    void documents()
    {
        QCOMPARE(resourcePath(150), QStringLiteral(":/doc/en_au/changelog.txt"));
        QCOMPARE(resourcePath(151), QStringLiteral(":/doc/en_au/eula.txt"));
        QCOMPARE(resourcePath(152), QStringLiteral(":/doc/en_au/zxcvbn_licence.txt"));
        QCOMPARE(resourcePath(153), QStringLiteral(":/doc/en_au/qt_licence.txt"));
        for (int id = 150; id <= 153; ++id) {
            const QString text = resourceText(id);
            QVERIFY2(text.size() > 100, qPrintable(resourcePath(id)));
            QVERIFY(!text.contains(QChar::ReplacementCharacter));
        }
    }

    void entryIconsArePresent()
    {
        const QStringList names { QStringLiteral("web"), QStringLiteral("key"), QStringLiteral("mail"),
                                  QStringLiteral("backup"), QStringLiteral("amazon"), QStringLiteral("dinners-club"),
                                  QStringLiteral("visa-electron"), QStringLiteral("cirrus") };
        initResources();
        for (const QString& name : names)
            QVERIFY2(!QPixmap(QStringLiteral(":/image/entryicon/%1.png").arg(name)).isNull(), qPrintable(name));
    }
};

QTEST_MAIN(TestBResources)
#include "tst_bresources.moc"
