// The script classes a loader fills a database with: the tree operations as
// a script sees them, the life of the objects it creates and keeps, the
// bounds on what it builds, and the Hash, Cipher, Alert and Prompt services.
// Runs under AddressSanitizer too: stale and twice-collected objects must
// never reach freed memory.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/plugin/DatabaseScriptApi.h"
#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "app/plugin/ScriptObjectRegistry.h"
#include "app/plugin/ScriptUserInterface.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BSymmetricCipher.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QTemporaryDir>
#include <QtTest>

#include "support/LoaderPluginFixture.h"
#include "support/WorkspaceFixture.h"

using namespace LoaderPluginFixture;

namespace {

// Scripts below call out(text) to report: each report becomes a top-level
// group named after it, in order.
const QByteArray Preamble = "local function out(v)\n"
                            "  local g = Group.new(); g:setName(tostring(v)); DB:addGroup(g)\n"
                            "end\n";

QByteArray withPreamble(const QByteArray& body)
{
    return "function load_database(data, ext, db)\n  DB = db\n" + body + "\nend\n";
}

// Answers scripts' questions as set up, recording what was asked.
class RecordingInterface : public ScriptUserInterface
{
public:
    QStringList calls;
    bool yes = true;
    SaveDiscardCancelAnswer saveAnswer = Discard;
    QString typed = QStringLiteral("typed text");
    QString secret = QStringLiteral("s3cret");

    void info(const QString& title, const QString& text) override { calls << "info:" + title + ":" + text; }
    void warning(const QString& title, const QString& text) override { calls << "warning:" + title + ":" + text; }
    void error(const QString& title, const QString& text) override { calls << "error:" + title + ":" + text; }
    bool yesNo(const QString& title, const QString& text, const QString& yesText, const QString& noText) override
    {
        calls << QStringList { "yesNo", title, text, yesText, noText }.join(':');
        return yes;
    }
    bool yesNoWarning(const QString& title, const QString&, const QString&, const QString&) override
    {
        calls << "yesNoWarning:" + title;
        return !yes;
    }
    SaveDiscardCancelAnswer saveDiscardCancel(const QString& title, const QString&) override
    {
        calls << "saveDiscardCancel:" + title;
        return saveAnswer;
    }
    bool text(const QString& title, const QString& label, QString& answer) override
    {
        calls << "text:" + title + ":" + label;
        answer = typed;
        return true;
    }
    bool password(QString& answer) override
    {
        calls << "password";
        answer = secret;
        return true;
    }
};

} // namespace

class tst_ScriptObjectApi : public QObject
{
    Q_OBJECT

private slots:
    void treeAsTheScriptSeesIt();
    void attachingAnAttachedItemDoesNothing();
    void childPositions();
    void collectionDestroysOnlyFreeObjects();
    void objectReachedTwiceIsDestroyedOnce();
    void objectsKeptFromAnEarlierImportAreRefused();
    void collectorRunningInsideAMethod();
    void nestingStaysWithinTheFileFormat();
    void passwordFieldsAndAttachment();
    void clearKeepsTheDatabaseUsable();
    void importStopsBeforeItCouldNotBeSaved();
    void projectedSizeBoundsTheSavedFile();
    void hashAndCipher();
    void serviceClassesRaiseOnWrongTypes_data();
    void serviceClassesRaiseOnWrongTypes();
    void alertsAndPromptsReachTheUser();
    void promptsWithoutUserAreRefused();

private:
    // A loader running `body` (inside load_database, after the preamble).
    LoaderPointer loader(const QByteArray& body)
    {
        QString error;
        LoaderPointer made = loaderFor(m_dir.path(), withPreamble(Preamble + body), error);
        if (!made)
            qWarning("%s", qPrintable(error));
        return made;
    }

    static int liveObjects(PasswordDatabaseLoaderPlugin& loader)
    {
        return DatabaseScriptApi::objects(loader.script())->itemCount();
    }

    QTemporaryDir m_dir;
};

void tst_ScriptObjectApi::treeAsTheScriptSeesIt()
{
    LoaderPointer l = loader("local a = Group.new(); a:setName('A'); db:addGroup(a)\n"
                             "local b = Group.new(); b:setName('B'); a:addItem(b)\n"
                             "local p = Password.new(); p:setName('item'); b:addItem(p)\n"
                             "local empty = Group.new(); empty:setName('Empty'); db:addGroup(empty)\n"
                             "local items = empty:getItems()\n"
                             "local all = db:getAllItems()\n"
                             "local names = {}\n"
                             "for i = 0, all.n - 1 do names[#names + 1] = all[i]:getName() end\n"
                             "db:setNote(table.concat({ p:getFullName(), items.n, tostring(items[0]),\n"
                             "  tostring(a:getRootParent()), p:getRootParent():getName(), p:getParent():getName(),\n"
                             "  table.concat(names, ','), db:getGroups().n, p:getType(), a:getType(),\n"
                             "  tostring(empty:isEmpty()), tostring(a:isEmpty()) }, '|'))\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(db.getNote(), QString("A - B - item|0|nil|nil|A|B|A,B,item,Empty|2|2|1|true|false"));
}

void tst_ScriptObjectApi::attachingAnAttachedItemDoesNothing()
{
    LoaderPointer l = loader("local function G(n) local g = Group.new(); g:setName(n); return g end\n"
                             "local a = G('A'); db:addGroup(a)\n"
                             "local b = G('B'); a:addItem(b)\n"
                             "db:addGroup(a)\n"
                             "db:addGroup(b)\n"
                             "local c = G('C'); db:insertGroupAfter(b, c)\n"
                             "local d = G('D'); db:insertGroupBefore(b, d); keepD = d\n"
                             "local e = G('E'); db:insertGroupBefore(a, e)\n"
                             "local f = G('F'); db:insertGroupAfter(a, f)\n"
                             "b:addItem(c); b:addItemTop(f); a:addItem(b)\n"
                             "local x = G('X'); local y = G('Y'); x:addItem(y); y:addItem(x); x:addItem(x)\n"
                             "b:addItem(x); b:setParent(a); x:setParent(a)\n"
                             "db:takeGroup(f); b:addItem(f)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    // C went to the end since its anchor is not top-level; D was not placed.
    QCOMPARE(topLevelNames(db), QStringList({ "E", "A", "C" }));
    auto* a = itemNamed<PasswordDatabase::Group>(db, "A");
    auto* b = itemNamed<PasswordDatabase::Group>(db, "B");
    QCOMPARE(childNames(a->getItems()), QStringList({ "B" }));
    QCOMPARE(childNames(b->getItems()), QStringList({ "X", "F" }));
    QCOMPARE(childNames(itemNamed<PasswordDatabase::Group>(db, "X")->getItems()), QStringList({ "Y" }));
    // Nothing is left registered but D, free in a global.
    QCOMPARE(liveObjects(*l), 1);
}

void tst_ScriptObjectApi::childPositions()
{
    LoaderPointer l = loader("local top = Group.new(); top:setName('top'); db:addGroup(top)\n"
                             "local inner = Group.new(); inner:setName('inner'); top:addItem(inner)\n"
                             "local function P(n) local p = Password.new(); p:setName(n); return p end\n"
                             "local one, two = P('one'), P('two')\n"
                             "top:addItem(one); top:addItemTop(two)\n"
                             "top:insertItemBefore(one, P('beforeOne'))\n"
                             "top:insertItemAfter(two, P('afterTwo'))\n"
                             "local lost = P('lost'); inner:addItem(lost)\n"
                             "top:insertItemBefore(lost, P('never'))\n"
                             "top:insertItemAfter(lost, P('appended'))\n"
                             "out(top:getPrevItem(one):getName()); out(top:getNextItem(two):getName())\n"
                             "out(tostring(top:getPrevItem(two))); out(tostring(top:isFirstItem(two)))\n"
                             "out(tostring(top:isFirstItem(one))); out(tostring(top:getNextItem(lost)))\n"
                             "out(top:getItemByTag(0):getName())\n"
                             "top:deleteItem(lost); inner:takeItem(one)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    auto* top = itemNamed<PasswordDatabase::Group>(db, "top");
    QCOMPARE(childNames(top->getItems()), QStringList({ "two", "afterTwo", "inner", "beforeOne", "one", "appended" }));
    QCOMPARE(childNames(itemNamed<PasswordDatabase::Group>(db, "inner")->getItems()), QStringList({ "lost" }));
    QCOMPARE(topLevelNames(db).mid(1), QStringList({ "beforeOne", "afterTwo", "nil", "true", "false", "nil", "two" }));
}

void tst_ScriptObjectApi::collectionDestroysOnlyFreeObjects()
{
    LoaderPointer l = loader("if ext == 'first' then\n"
                             "  local kept = Group.new(); kept:setName('Kept'); db:addGroup(kept)\n"
                             "  kept:addItem(Password.new())\n"
                             "  local function litter() for i = 1, 5 do local g = Group.new(); g:addItem(Password.new()) end end\n"
                             "  litter()\n"
                             "  held = Password.new()\n"
                             "  kept = nil\n"
                             "  collectgarbage(); collectgarbage()\n"
                             "  out(kept == nil and db:getGroups()[0]:getName())\n"
                             "else\n"
                             "  held = nil; collectgarbage(); collectgarbage()\n"
                             "end\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "first", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db), QStringList({ "Kept", "Kept" }));
    QCOMPARE(itemNamed<PasswordDatabase::Group>(db, "Kept")->getItems().size(), 1);
    // Only the password the script holds in a global is left.
    QCOMPARE(liveObjects(*l), 1);
    PasswordDatabase second;
    QVERIFY2(l->loadDatabase("", "second", second), qPrintable(l->lastError()));
    QCOMPARE(liveObjects(*l), 0);
}

void tst_ScriptObjectApi::objectReachedTwiceIsDestroyedOnce()
{
    LoaderPointer l = loader("local g = Group.new()\n"
                             "local p = Password.new(); p:setName('twice'); g:addItem(p)\n"
                             "local second = g:getItems()[0]\n"
                             "g:takeItem(second)\n"
                             "local pw = Password.new(); local a1, a2 = pw:getAttachment(), pw:getAttachment()\n"
                             "local att = Attachment.new(); att:__gc(); att:__gc()\n"
                             "p:__gc(); second:setName('gone'); out(second:getName())\n"
                             "local taken = Group.new(); db:addGroup(taken); taken:__gc(); taken:setName('still')\n"
                             "a1:__gc(); a2:setFileName('f'); out(pw:getAttachment():getFileName())\n"
                             "p, second, g, pw, a1, a2, att = nil\n"
                             "collectgarbage(); collectgarbage()\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    // A destroyed object answers with empty results; an attached one is
    // never destroyed by a collector call, nor an attachment inside a password.
    QCOMPARE(topLevelNames(db), QStringList({ "", "still", "f" }));
    QCOMPARE(liveObjects(*l), 0);
}

void tst_ScriptObjectApi::objectsKeptFromAnEarlierImportAreRefused()
{
    LoaderPointer l = loader("if ext == 'first' then\n"
                             "  keptDb = db\n"
                             "  keptGroup = Group.new(); keptGroup:setName('G1'); db:addGroup(keptGroup)\n"
                             "  keptPassword = Password.new(); keptGroup:addItem(keptPassword)\n"
                             "  keptAttachment = keptPassword:getAttachment()\n"
                             "  keptItems = db:getAllItems()\n"
                             "  freeGroup = Group.new(); freeGroup:setName('free')\n"
                             "else\n"
                             "  local r = { keptGroup:getName(), keptDb:getName(), tostring(keptGroup:getParent()),\n"
                             "    keptPassword:getFullName(), keptAttachment:getFileName(), keptGroup:getItems().n,\n"
                             "    keptDb:getAllItems().n, tostring(keptGroup:isEmpty()) }\n"
                             "  keptGroup:setName('changed'); keptPassword:setPassword('x'); keptAttachment:setData('QUJD')\n"
                             "  keptDb:addGroup(Group.new()); keptDb:clear(); keptDb:setName('stale')\n"
                             "  keptGroup:addItem(Password.new()); keptItems[0]:deleteItem(keptItems[1]); keptGroup:clear()\n"
                             "  db:addGroup(keptGroup); db:insertGroupAfter(keptGroup, Group.new())\n"
                             "  db:addGroup(freeGroup)\n"
                             "  db:setNote(table.concat(r, '|'))\n"
                             "end\n");
    QVERIFY(l);
    auto* first = new PasswordDatabase();
    first->setName("first");
    QVERIFY2(l->loadDatabase("", "first", *first), qPrintable(l->lastError()));
    QCOMPARE(first->getAllItems().size(), 2);
    // The second database is made before the first is destroyed, so that it
    // cannot take its place in memory.
    PasswordDatabase second;
    second.setName("second");
    delete first;
    QVERIFY2(l->loadDatabase("", "second", second), qPrintable(l->lastError()));
    QCOMPARE(second.getNote(), QString("||nil|||0|0|true"));
    QCOMPARE(second.getName(), QString("second"));
    // The free group made in the first import was still the script's to use.
    QCOMPARE(topLevelNames(second), QStringList({ "free" }));
}

void tst_ScriptObjectApi::collectorRunningInsideAMethod()
{
    // With the collector running on every allocation, the finalizer of a
    // dropped root may destroy its tree while a method is building a table
    // of that tree's items for a child the script still holds.
    LoaderPointer l = loader("collectgarbage('setpause', 0); collectgarbage('setstepmul', 1000)\n"
                             "local seen = 0\n"
                             "for round = 1, 40 do\n"
                             "  local root = Group.new(); local child = Group.new(); root:addItem(child)\n"
                             "  for i = 1, 40 do child:addItem(Password.new()) end\n"
                             "  root = nil\n"
                             "  local all = child:getAllItems()\n"
                             "  for i = 0, all.n - 1 do all[i]:setName('x'); seen = seen + #all[i]:getName() end\n"
                             "end\n"
                             "collectgarbage('setpause', 200); collectgarbage('setstepmul', 200)\n"
                             "collectgarbage(); collectgarbage()\n"
                             "out(seen <= 40 * 40)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db), QStringList({ "true" }));
    QCOMPARE(liveObjects(*l), 0);
}

void tst_ScriptObjectApi::nestingStaysWithinTheFileFormat()
{
    // A chain of `data` groups from the top, or built free from the bottom
    // and then placed under a chain of ten.
    LoaderPointer l = loader("local n = tonumber(data)\n"
                             "local function chain(count)\n"
                             "  local first = Group.new(); local g = first\n"
                             "  for i = 2, count do local c = Group.new(); g:addItem(c); g = c end\n"
                             "  g:addItem(Password.new())\n"
                             "  return first, g\n"
                             "end\n"
                             "if ext == 'top' then\n"
                             "  local top = Group.new(); db:addGroup(top); local g = top\n"
                             "  for i = 2, n do local c = Group.new(); g:addItem(c); g = c end\n"
                             "else\n"
                             "  local upper, lowest = chain(10); db:addGroup(upper)\n"
                             "  local lower = chain(n - 10); lowest:addItem(lower)\n"
                             "end\n");
    QVERIFY(l);
    const int limit = PasswordDatabase::MaxGroupDepth;
    for (const char* mode : { "top", "bottom" }) {
        PasswordDatabase deepest;
        QVERIFY(giveKeys(deepest));
        QVERIFY2(l->loadDatabase(QByteArray::number(limit), mode, deepest), qPrintable(l->lastError()));
        // A tree as deep as the bound can be written and read again.
        const QString path = m_dir.filePath(QStringLiteral("deep-%1.lhdb").arg(mode));
        QString error;
        QVERIFY2(deepest.save(path, &error), qPrintable(error));

        PasswordDatabase tooDeep;
        QVERIFY(!l->loadDatabase(QByteArray::number(limit + 1), mode, tooDeep));
        QVERIFY2(l->lastError().contains(QStringLiteral("nested more than %1 levels").arg(limit)),
                 qPrintable(l->lastError()));
    }
}

void tst_ScriptObjectApi::passwordFieldsAndAttachment()
{
    LoaderPointer l = loader("local g = Group.new(); g:setName('G'); db:addGroup(g)\n"
                             "local p = Password.new(); p:setName('entry'); g:addItem(p)\n"
                             "p:setUsername('alice'); p:setUsername('bob', 'extra'); p:setUrl('https://x.example')\n"
                             "p:setPassword('pw'); p:setEmailAddress('a@x.example'); p:setPhoneNumber('123')\n"
                             "p:setNeverExpire(false); p:setExpireTime(1700000000); p:setExpireTime(1 << 62)\n"
                             "p:setTag(7); p:setTag(1 << 40); p:setFlags(3); p:setGuiState(1); p:setIconId('tessavond.key')\n"
                             "local a = Attachment.new(); a:setFileName('notes.txt'); a:setData('QUJD')\n"
                             "out(tostring(a:isValid())); out(tostring(a:getParent()))\n"
                             "p:setAttachment(a)\n"
                             "a:setFileName('changed after')\n"
                             "local own = p:getAttachment()\n"
                             "out(own:getFileName()); out(own:getParent():getName())\n"
                             "out(p:getUsername(1)); out(p:getUsername()); out(tostring(p:isNeverExpire()))\n"
                             "out(p:getExpireTime()); out(p:getTag())\n"
                             "local other = Password.new(); g:addItem(other); a:setParent(other)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db).mid(1),
             QStringList({ "true", "nil", "notes.txt", "entry", "", "alice", "false", "1700000000", "7" }));
    auto* entry = itemNamed<PasswordDatabase::Password>(db, "entry");
    QCOMPARE(entry->getUrl(), QString("https://x.example"));
    QCOMPARE(entry->getPassword(), QString("pw"));
    QCOMPARE(entry->getEmailAddress(), QString("a@x.example"));
    QCOMPARE(entry->getPhoneNumber(), QString("123"));
    QCOMPARE(entry->getFlags(), 3);
    QCOMPARE(entry->getIconId(), QString("tessavond.key"));
    QCOMPARE(entry->getExpireTime().toSecsSinceEpoch(), 1700000000);
    // The data comes with the hash that lets the file be saved again.
    QString hex;
    hashHex(BHashId::SHA3_384, "QUJD", hex);
    QCOMPARE(entry->getAttachment().getDataHash(), hex);
    QByteArray bytes;
    QString error;
    QVERIFY2(entry->getAttachment().decode(bytes, error), qPrintable(error));
    QCOMPARE(bytes, QByteArray("ABC"));
    // setParent on a free attachment put a copy of it into the other entry.
    auto* other = static_cast<PasswordDatabase::Password*>(entry->getParent()->getItems().at(1));
    QCOMPARE(other->getAttachment().getFileName(), QString("changed after"));
}

void tst_ScriptObjectApi::clearKeepsTheDatabaseUsable()
{
    LoaderPointer l = loader("local kept = db:getGroups()[0]\n"
                             "db:clear()\n"
                             "out(kept:getName() == '' and db:getGroups().n)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY(giveKeys(db, "Named"));
    db.addItem(makeGroup("Old"));
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db), QStringList({ "0" }));
    QCOMPARE(db.getName(), QString("Named"));
    QVERIFY(db.hasKeys());
    QVERIFY(db.isOpen());
    QVERIFY(db.save(m_dir.filePath("cleared.lhdb")));
}

void tst_ScriptObjectApi::importStopsBeforeItCouldNotBeSaved()
{
    // Every item and every text counts, overwritten text too, escaped as
    // saved (a control character takes six bytes); the budget is per import.
    LoaderPointer l = loader("local text = string.rep('x', 94) .. '\\1'\n"
                             "for i = 1, tonumber(data) do local p = Password.new(); p:setNote(text) end\n");
    QVERIFY(l);
    ScriptObjectRegistry* objects = DatabaseScriptApi::objects(l->script());
    QCOMPARE(objects->savedBudget(), ScriptObjectRegistry::MaxTreeJsonBytes);
    QVERIFY(ScriptObjectRegistry::projectedFileSize(ScriptObjectRegistry::MaxTreeJsonBytes)
            <= PasswordDatabase::MaxFileSize);
    objects->setSavedBudget(10 * (ScriptObjectRegistry::PasswordJsonBytes + 100));
    for (int round = 0; round < 2; ++round) {
        PasswordDatabase fits;
        QVERIFY2(l->loadDatabase("10", "txt", fits), qPrintable(l->lastError()));
    }
    PasswordDatabase tooMuch;
    QVERIFY(!l->loadDatabase("11", "txt", tooMuch));
    QVERIFY2(l->lastError().contains("would be too large to be saved"), qPrintable(l->lastError()));
}

void tst_ScriptObjectApi::projectedSizeBoundsTheSavedFile()
{
    // Texts that grow when saved: quotes, control characters, bytes that are
    // not UTF-8, characters outside the BMP; and deep groups with attachments.
    LoaderPointer l = loader("local odd = '\"\\\\' .. string.char(1, 31, 127, 255, 254) .. '\\u{1F600}\\u{E9}'\n"
                             "local parent = Group.new(); parent:setName(odd); DB:addGroup(parent)\n"
                             "for i = 1, 200 do\n"
                             "  local g = Group.new(); g:setName(odd .. i); g:setNote(odd); parent:addItem(g)\n"
                             "  local p = Password.new(); p:setName(odd); p:setUsername(odd); p:setPassword(odd)\n"
                             "  p:setUrl(odd); p:setNote(string.rep(odd, i)); p:setIconId(odd); g:addItem(p)\n"
                             "  local a = Attachment.new(); a:setFileName(odd); a:setData('QUJD'); p:setAttachment(a)\n"
                             "  parent = g\n"
                             "end\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY(giveKeys(db, "Odd"));
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    const qint64 charged = DatabaseScriptApi::objects(l->script())->savedBytes();
    const qint64 treeJson = QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Compact).size();
    QVERIFY2(treeJson <= charged, qPrintable(QStringLiteral("%1 > %2").arg(treeJson).arg(charged)));
    const QString path = m_dir.filePath("odd.lhdb");
    QVERIFY(db.save(path));
    QVERIFY(QFileInfo(path).size() <= ScriptObjectRegistry::projectedFileSize(charged));
}

void tst_ScriptObjectApi::hashAndCipher()
{
    LoaderPointer l = loader("out(Hash.hash(11, 'abc')); out(Hash.hashLengthBytes(Hash.SHA3_384))\n"
                             "out(Hash.hash(13, 'abc')); out(Hash.hash(11)); out(Hash.hashLengthBytes(1))\n"
                             "out(Hash.hmac(Hash.MD5, 'message', 'key'))\n"
                             "local key, iv = string.rep('k', 32), string.rep('i', 16)\n"
                             "out(Cipher.symmetricCtrProcess(Cipher.AES_256, key, iv, 'plain text'))\n"
                             "out(Cipher.symmetricCtrProcess(Cipher.AES_256, key, string.rep('i', 15), 'plain'))\n"
                             "out(Cipher.symmetricCtrProcess(Cipher.Twofish, string.rep('k', 20), iv, 'plain'))\n"
                             "out(Cipher.symmetricCtrProcess(3, key, iv, 'plain'))\n"
                             "out(Cipher.symmetricCtrProcess(1, key, iv))\n"
                             "out(Cipher.cipherKeySize(1)); out(Cipher.cipherBlockSize(2)); out(Cipher.cipherKeySize(0))\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));

    const QString keccak = QString::fromUtf8(QCryptographicHash::hash("abc", QCryptographicHash::Keccak_384));
    const QString mac = QString::fromUtf8(QMessageAuthenticationCode::hash("message", "key", QCryptographicHash::Md5));
    QByteArray encrypted;
    symmetricCtrProcess(1, QByteArray(32, 'k'), QByteArray(16, 'i'), "plain text", encrypted);
    QCOMPARE(encrypted.size(), 10);
    QCOMPARE(topLevelNames(db), QStringList({ keccak, "48", "", "", "0", mac, QString::fromUtf8(encrypted), "", "", "",
                                              "", "32", "16", "0" }));
}

void tst_ScriptObjectApi::serviceClassesRaiseOnWrongTypes_data()
{
    QTest::addColumn<QByteArray>("call");
    QTest::newRow("hash data") << QByteArray("Hash.hash(11, {})");
    QTest::newRow("hash id") << QByteArray("Hash.hash('eleven', 'abc')");
    QTest::newRow("hmac key") << QByteArray("Hash.hmac(11, 'abc', true)");
    QTest::newRow("cipher data") << QByteArray("Cipher.symmetricCtrProcess(1, 'k', 'iv', {})");
    QTest::newRow("alert text") << QByteArray("Alert.info('title', 5)");
    QTest::newRow("alert title") << QByteArray("Alert.error(nil, 'text')");
    QTest::newRow("yes/no") << QByteArray("Prompt.yesNo('t', 'x', 'y')");
    QTest::newRow("text") << QByteArray("Prompt.text({}, 'label')");
}

void tst_ScriptObjectApi::serviceClassesRaiseOnWrongTypes()
{
    QFETCH(QByteArray, call);
    RecordingInterface user;
    ScriptUserInterface::Installation installation(&user);
    LoaderPointer l = loader("local ok, message = pcall(function() " + call + " end)\n"
                             "out(tostring(ok)); out(message)\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db).value(0), QString("false"));
    QVERIFY2(topLevelNames(db).value(1).contains("bad argument"), qPrintable(topLevelNames(db).value(1)));
    QVERIFY(user.calls.isEmpty());
}

void tst_ScriptObjectApi::alertsAndPromptsReachTheUser()
{
    RecordingInterface user;
    ScriptUserInterface::Installation installation(&user);
    LoaderPointer l = loader("Alert.info('T', 'hello'); Alert.warning('W', 'careful'); Alert.error('E', 'broken')\n"
                             "out(tostring(Prompt.yesNo('Q', 'sure?', 'Go', 'Stop')))\n"
                             "out(tostring(Prompt.yesNoWarning('QW', 'x', 'y', 'n')))\n"
                             "out(Prompt.saveDiscardCancel('S', 'save?') == Prompt.Discard)\n"
                             "out(Prompt.text('Name', 'Your name:')); out(Prompt.password())\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(user.calls, QStringList({ "info:T:hello", "warning:W:careful", "error:E:broken", "yesNo:Q:sure?:Go:Stop",
                                       "yesNoWarning:QW", "saveDiscardCancel:S", "text:Name:Your name:", "password" }));
    QCOMPARE(topLevelNames(db), QStringList({ "true", "false", "true", "typed text", "s3cret" }));
}

void tst_ScriptObjectApi::promptsWithoutUserAreRefused()
{
    ScriptUserInterface::Installation none(nullptr);
    LoaderPointer l = loader("Alert.info('T', 'nobody reads this')\n"
                             "out(tostring(Prompt.yesNo('Q', 'sure?', 'Go', 'Stop')))\n"
                             "out(Prompt.saveDiscardCancel('S', 'save?') == Prompt.Cancel)\n"
                             "out(tostring(Prompt.text('Name', 'Your name:'))); out(tostring(Prompt.password()))\n");
    QVERIFY(l);
    PasswordDatabase db;
    QVERIFY2(l->loadDatabase("", "txt", db), qPrintable(l->lastError()));
    QCOMPARE(topLevelNames(db), QStringList({ "false", "true", "nil", "nil" }));
}

QTEST_GUILESS_MAIN(tst_ScriptObjectApi)
#include "tst_scriptobjectapi.moc"
