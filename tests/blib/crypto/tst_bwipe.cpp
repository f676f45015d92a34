#include "blib/crypto/BWipe.h"

#include <QtTest>

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

} // namespace

class TestBWipe : public QObject
{
    Q_OBJECT

private slots:
    void wipesByteArrays() { checkWiping(QByteArray("secret key bytes")); }
    void wipesStrings() { checkWiping(QStringLiteral("master password")); }
};

QTEST_GUILESS_MAIN(TestBWipe)
#include "tst_bwipe.moc"
