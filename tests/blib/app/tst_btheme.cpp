#include "blib/app/BTheme.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>
#include <QtTest>

class TestBTheme : public QObject
{
    Q_OBJECT

private slots:
    void darkThemeSetsPaletteStyleAndSheet()
    {
        setTheme(QStringLiteral("dark"));
        const QPalette palette = QApplication::palette();
        QCOMPARE(palette.color(QPalette::Active, QPalette::Window), QColor(53, 53, 53));
        QCOMPARE(palette.color(QPalette::Inactive, QPalette::Base), QColor(25, 25, 25));
        QCOMPARE(palette.color(QPalette::Active, QPalette::Link), QColor(42, 130, 218));
        QCOMPARE(palette.color(QPalette::Active, QPalette::HighlightedText), QColor(Qt::black));
        QCOMPARE(palette.color(QPalette::Disabled, QPalette::Text), QColor(Qt::darkGray));
        QCOMPARE(palette.color(QPalette::Disabled, QPalette::ButtonText), QColor(Qt::darkGray));
        QCOMPARE(palette.color(QPalette::Active, QPalette::Text), QColor(Qt::white));
        QVERIFY(qApp->styleSheet().startsWith(QStringLiteral("QToolTip {")));
        // The style sheet wraps the application style; look beneath it.
        const QString sheet = qApp->styleSheet();
        qApp->setStyleSheet(QString());
        QCOMPARE(QByteArray(QApplication::style()->metaObject()->className()), QByteArray("QFusionStyle"));
        qApp->setStyleSheet(sheet);
    }

    void namesCompareCaseSensitively()
    {
        setTheme(QStringLiteral("dark"));
        const QColor before = QApplication::palette().color(QPalette::Window);
        setTheme(QStringLiteral("Dark"));
        setTheme(QStringLiteral("LIGHT"));
        setTheme(QStringLiteral("solarised"));
        QCOMPARE(QApplication::palette().color(QPalette::Window), before);
        QVERIFY(!qApp->styleSheet().isEmpty());
    }

    void lightThemeRestoresTheDefaultPalette()
    {
        setTheme(QStringLiteral("dark"));
        setTheme(QStringLiteral("light"));
        const QColor window = QApplication::palette().color(QPalette::Window);
        QVERIFY(window != QColor(53, 53, 53));
        QCOMPARE(window, QApplication::style()->standardPalette().color(QPalette::Window));
        QVERIFY(QApplication::palette().color(QPalette::Text) != QColor(Qt::white));
        QVERIFY(qApp->styleSheet().isEmpty());
    }
};

QTEST_MAIN(TestBTheme)
#include "tst_btheme.moc"
