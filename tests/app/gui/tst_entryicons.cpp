// Entry icons: the built-in pack, look-ups by id and by name across several
// packs, and the icon picker.
#include "app/gui/EntryIcon.h"
#include "app/gui/EntryIconPack.h"
#include "app/gui/EntryIconPackBuiltIn.h"
#include "app/gui/EntryIconPickerWidget.h"

#include <QComboBox>
#include <QtTest>

namespace {

// A pack standing in for an icon-pack plugin: plain coloured squares.
class ColourPack : public EntryIconPack
{
public:
    explicit ColourPack(const QStringList& ids)
    {
        for (const QString& id : ids) {
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::magenta);
            m_icons.append(EntryIcon(pixmap, id));
        }
    }

    QList<EntryIcon> icons() const override { return m_icons; }
    const EntryIcon* icon(const QString& id) const override
    {
        for (const EntryIcon& icon : m_icons) {
            if (icon.id == id)
                return &icon;
        }
        return nullptr;
    }

private:
    QList<EntryIcon> m_icons;
};

QStringList idsOf(const QList<EntryIcon>& icons)
{
    QStringList ids;
    for (const EntryIcon& icon : icons)
        ids << icon.id;
    return ids;
}

} // namespace

class tst_EntryIcons : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void builtInPackContents();
    void lookupById();
    void guessingByName();
    void guessingByName_data();
    void earlierPackWins();
    void pickerListsEveryPackInOrder();

private:
    EntryIconPackBuiltIn* m_builtIn = nullptr;
};

void tst_EntryIcons::init()
{
    m_builtIn = new EntryIconPackBuiltIn;
    EntryIconPack::addPack(m_builtIn);
}

void tst_EntryIcons::cleanup()
{
    // A pack leaves the list when it is destroyed; so do the test packs.
    delete m_builtIn;
    QVERIFY(EntryIconPack::packs().isEmpty());
}

void tst_EntryIcons::builtInPackContents()
{
    const QList<EntryIcon> icons = m_builtIn->icons();
    QCOMPARE(icons.size(), 89);
    QCOMPARE(icons.first().id, QString("tessavond.web"));
    QCOMPARE(icons.last().id, QString("tessavond.cirrus"));
    // Every image is compiled in and square; ids are unique.
    QSet<QString> seen;
    for (const EntryIcon& icon : icons) {
        QVERIFY2(!icon.pixmap.isNull(), qPrintable(icon.id));
        QVERIFY2(!icon.icon.isNull(), qPrintable(icon.id));
        QCOMPARE(icon.pixmap.width(), icon.pixmap.height());
        QVERIFY2(!seen.contains(icon.id), qPrintable(icon.id));
        seen.insert(icon.id);
    }
}

void tst_EntryIcons::lookupById()
{
    QCOMPARE(findEntryIcon("tessavond.visa-electron").id, QString("tessavond.visa-electron"));
    QCOMPARE(defaultWebIcon().id, QString("tessavond.web"));
    QCOMPARE(defaultKeyIcon().id, QString("tessavond.key"));
    QVERIFY(!defaultKeyIcon().pixmap.isNull());
    // Ids are compared exactly.
    for (const char* id : { "TESSAVOND.KEY", "key", "tessavond.key ", "" }) {
        const EntryIcon icon = findEntryIcon(id);
        QVERIFY2(icon.isNull(), id);
        QVERIFY(icon.pixmap.isNull());
        QVERIFY(icon.icon.isNull());
    }
}

void tst_EntryIcons::guessingByName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    QTest::newRow("second word never reached") << "Amazon Prime" << "tessavond.amazon";
    QTest::newRow("capital four letters") << "MAIL" << "tessavond.mail";
    QTest::newRow("only short words") << "My ATM PIN" << "";
    QTest::newRow("first long part without match") << "Work Skype" << "tessavond.skype";
    QTest::newRow("comma") << "abc,paypal" << "tessavond.paypal";
    QTest::newRow("dot") << "www.github.com" << "tessavond.github";
    QTest::newRow("underscore") << "old_dropbox" << "tessavond.dropbox";
    QTest::newRow("hyphen") << "the-slack-team" << "tessavond.slack";
    QTest::newRow("plus") << "x+trello" << "tessavond.trello";
    QTest::newRow("bar") << "a|youtube" << "tessavond.youtube";
    QTest::newRow("id inside a part") << "myamazonaccount" << "";
    QTest::newRow("part inside the prefix") << "Tessa" << "tessavond.web";
    QTest::newRow("earlier icon in order") << "Google" << "tessavond.googleplus";
}

void tst_EntryIcons::guessingByName()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(guessEntryIcon(text).id, id);
}

void tst_EntryIcons::earlierPackWins()
{
    ColourPack plugin({ "tessavond.key", "acme.prime", "acme.moneybox" });
    EntryIconPack::addPack(&plugin);
    EntryIconPack::addPack(&plugin); // listed once only

    QCOMPARE(EntryIconPack::packs(), QList<EntryIconPack*>({ m_builtIn, &plugin }));
    // The built-in record, not the plugin's square.
    QCOMPARE(findEntryIcon("tessavond.key").pixmap.cacheKey(), m_builtIn->icon("tessavond.key")->pixmap.cacheKey());
    QCOMPARE(findEntryIcon("acme.prime").pixmap.cacheKey(), plugin.icon("acme.prime")->pixmap.cacheKey());

    QCOMPARE(guessEntryIcon("Amazon Prime").id, QString("tessavond.amazon"));
    QCOMPARE(guessEntryIcon("Prime Video").id, QString("acme.prime"));
    // Both packs have an id containing "money": the built-in one comes first.
    QCOMPARE(guessEntryIcon("Money").id, QString("tessavond.money"));
    QCOMPARE(guessEntryIcon("Moneybox").id, QString("acme.moneybox"));
    QCOMPARE(guessEntryIcon("acme").id, QString("acme.prime"));

    const QStringList all = idsOf(allEntryIcons());
    QCOMPARE(all.size(), 92);
    QCOMPARE(all.mid(89), QStringList({ "tessavond.key", "acme.prime", "acme.moneybox" }));
    QCOMPARE(all.first(), QString("tessavond.web"));
}

void tst_EntryIcons::pickerListsEveryPackInOrder()
{
    ColourPack plugin({ "acme.one", "acme.two" });
    EntryIconPack::addPack(&plugin);
    EntryIconPickerWidget picker;
    auto* combo = picker.findChild<QComboBox*>("comboBox");
    QVERIFY(combo);
    QVERIFY(!combo->isEditable());
    QCOMPARE(combo->iconSize(), QSize(20, 20));
    QCOMPARE(combo->count(), 91);
    const QList<EntryIcon> all = allEntryIcons();
    for (int i = 0; i < combo->count(); ++i)
        QCOMPARE(combo->itemData(i, Qt::UserRole).toString(), all.at(i).id);

    QCOMPARE(picker.currentIconId(), QString("tessavond.web"));
    picker.setCurrentIconId("acme.two");
    QCOMPARE(picker.currentIconId(), QString("acme.two"));
    QCOMPARE(combo->currentIndex(), 90);
    for (const char* unknown : { "acme.three", "", "ACME.ONE" }) {
        picker.setCurrentIconId(unknown);
        QCOMPARE(picker.currentIconId(), QString("acme.two"));
    }

    // The list is taken once: a pack added later does not appear.
    ColourPack late({ "late.one" });
    EntryIconPack::addPack(&late);
    QCOMPARE(combo->count(), 91);
}

QTEST_MAIN(tst_EntryIcons)
#include "tst_entryicons.moc"
