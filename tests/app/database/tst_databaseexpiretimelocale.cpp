// Expiry times are written in English whatever the user's language, and the
// reader accepts both that and the toolkit's localised text date form.

#include "app/database/PasswordDatabaseFormat.h"

#include <QtTest>

namespace {

// The system locale is read once, on first use: switch it before the test
// application exists.
const bool germanSystemLocale = [] {
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LANG", "de_DE.UTF-8");
    return true;
}();

const QDateTime Instant(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);

} // namespace

class TestDatabaseExpireTimeLocale : public QObject
{
    Q_OBJECT

private slots:
    void writesEnglishAndReadsBoth()
    {
        QVERIFY(germanSystemLocale);
        const QString localised = Instant.toString(Qt::TextDate);
        if (localised.startsWith(QLatin1String("Tue")))
            QSKIP("the toolkit does not localise its text date form here");

        QCOMPARE(formatExpireTime(Instant), QStringLiteral("Tue Mar 5 07:08:09 2024 GMT"));
        QCOMPARE(parseExpireTime(formatExpireTime(Instant)), Instant);
        // What a writer that used the localised form left in a file.
        QCOMPARE(parseExpireTime(localised), Instant);
        QCOMPARE(parseExpireTime(QStringLiteral("tue mar 5 07:08:09 2024 GMT")), Instant);
    }
};

QTEST_GUILESS_MAIN(TestDatabaseExpireTimeLocale)
#include "tst_databaseexpiretimelocale.moc"
