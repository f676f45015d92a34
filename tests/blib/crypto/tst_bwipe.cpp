#include "blib/crypto/BWipe.h"

#include <QtTest>

#include <unistd.h>

namespace {

QByteArray zeros(const QByteArray& like)
{
    return QByteArray(like.size(), '\0');
}
QString zeros(const QString& like)
{
    return QString(like.size(), QChar(0));
}

// zeroFill and wipe on one text type: own storage is overwritten in place,
// a copy shared with another holder is left alone.
template <typename Text>
void checkWiping(const Text& secret)
{
    Text own = secret;
    own.detach();
    const auto* storage = own.constData();
    zeroFill(own);
    QCOMPARE(own.constData(), storage);
    QCOMPARE(own, zeros(secret));

    Text shared = secret;
    const Text otherHolder = shared;
    zeroFill(shared);
    QCOMPARE(shared, zeros(secret));
    QCOMPARE(otherHolder, secret);
    QVERIFY(otherHolder.constData() != shared.constData());

    wipe(own);
    QVERIFY(own.isEmpty());
    Text empty;
    wipe(empty);
    QVERIFY(empty.isEmpty());
}

// The memory this process has locked, in kB, from /proc/self/status.
int lockedKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmLck:"))
            return line.mid(6).trimmed().split(' ').value(0).toInt();
    }
    return -1;
}

} // namespace

class TestBWipe : public QObject
{
    Q_OBJECT

private slots:
    void wipesByteArrays() { checkWiping(QByteArray("secret key bytes")); }
    void wipesStrings() { checkWiping(QStringLiteral("master password")); }

    // A locked key keeps its page locked until it is wiped; wiping a copy
    // shared with it leaves the page (and the key) alone. Two keys on one
    // page keep it locked until both are wiped.
    void keysLockedUntilWiped()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("The address sanitizer's runtime turns mlock into a no-op.");
#endif
        const int before = lockedKilobytes();
        QVERIFY(before >= 0);
        QByteArray key(32, 'k');
        QVERIFY(lockKeyInMemory(key));
        const int locked = lockedKilobytes();
        QVERIFY2(locked > before, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(locked)));

        QByteArray copy = key;
        wipeKey(copy);
        QVERIFY(copy.isEmpty());
        QCOMPARE(key, QByteArray(32, 'k'));
        QCOMPARE(lockedKilobytes(), locked);

        QByteArray neighbour(32, 'n');
        const quintptr page = quintptr(::sysconf(_SC_PAGESIZE));
        const bool samePage = quintptr(key.constData()) / page == quintptr(neighbour.constData()) / page
                              && (quintptr(key.constData()) + 31) / page == quintptr(key.constData()) / page
                              && (quintptr(neighbour.constData()) + 31) / page == quintptr(neighbour.constData()) / page;
        QVERIFY(lockKeyInMemory(neighbour));
        wipeKey(key);
        QVERIFY(key.isEmpty());
        if (samePage)
            QCOMPARE(lockedKilobytes(), locked);
        wipeKey(neighbour);
        QCOMPARE(lockedKilobytes(), before);
    }
};

QTEST_GUILESS_MAIN(TestBWipe)
#include "tst_bwipe.moc"
