// The Lua script host: call results and arguments, option tables, the
// Plugin class, and the sandbox (libraries, file access, binary chunks,
// memory cap, run-time limit, random source).

#include "blib/password/BOption.h"
#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BScript.h"
#include "blib/plugin/BScriptPluginClass.h"
#include "support/PluginArchiveBuilder.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

class LogPlugin : public BPlugin
{
public:
    explicit LogPlugin(const BPluginMetadata& metadata = BPluginMetadata())
        : BPlugin(metadata, nullptr)
    {
    }
    bool init(QString&) override { return true; }
};

} // namespace

class TestBScript : public QObject
{
    Q_OBJECT

private slots:
    void callResults();
    void callArguments();
    void loadErrors();
    void optionTable();
    void pluginClass();
    void librariesAndFileAccess();
    void memoryCap();
    void runTimeLimit();
    void secureRandom();
};

void TestBScript::callResults()
{
    BScript script;
    QCOMPARE(script.lastError(), QStringLiteral("no error"));
    QVERIFY(script.load(QStringLiteral("count = 7\n"
                                       "function one() return 'héllo' end\n"
                                       "function two() return 1, 2 end\n"
                                       "function none() end\n"
                                       "function int() return 2^53 // 1 | 0 end\n"
                                       "function real() return 2.5 end\n"
                                       "function fails() error('broken here') end\n"
                                       "function three(a, b, c) return a end\n"),
                        QStringLiteral("results.lua")));
    QVERIFY(script.isLoaded());

    QCOMPARE(script.call(QStringLiteral("one")), QVariant(QStringLiteral("héllo")));
    QCOMPARE(script.call(QStringLiteral("two")), QVariant(true));
    QCOMPARE(script.call(QStringLiteral("none")), QVariant(true));
    QCOMPARE(script.call(QStringLiteral("int")).toLongLong(), qint64(1) << 53);
    QCOMPARE(script.call(QStringLiteral("real")).toDouble(), 2.5);
    // Three arguments in, one value out: the count is negative, so true.
    QCOMPARE(script.call(QStringLiteral("three"), QStringLiteral("x"), 1, 2), QVariant(true));

    const QVariant failed = script.call(QStringLiteral("fails"));
    QVERIFY(!failed.isValid());
    QVERIFY2(script.lastError().contains(QLatin1String("results.lua\"]:7: broken here")), qPrintable(script.lastError()));

    // A global that is not a function, or no global at all: invalid, and the
    // last error stays as it was.
    QVERIFY(!script.call(QStringLiteral("count")).isValid());
    QVERIFY(!script.call(QStringLiteral("missing")).isValid());
    QVERIFY(script.lastError().contains(QLatin1String("broken here")));

    // Many calls do not pile values up on the stack.
    for (int i = 0; i < 100000; ++i)
        script.call(QStringLiteral("two"));
    QCOMPARE(script.call(QStringLiteral("one")), QVariant(QStringLiteral("héllo")));
}

void TestBScript::callArguments()
{
    BScript script;
    QVERIFY(script.load(QStringLiteral("function keep(v) received = v end\n"
                                       "function get() return received end\n"
                                       "function length() return #received end\n"
                                       "function kind() return math.type(received) or type(received) end\n"
                                       "function echo(o) return nil, o end\n"),
                        QStringLiteral("arguments.lua")));

    const QByteArray bytes("a\0b\0c", 5);
    script.call(QStringLiteral("keep"), bytes);
    QCOMPARE(script.call(QStringLiteral("length")).toLongLong(), qint64(5));
    QCOMPARE(script.call(QStringLiteral("get")).toString(), QString::fromUtf8(bytes.constData(), 5));

    script.call(QStringLiteral("keep"), QStringLiteral("zürich"));
    QCOMPARE(script.call(QStringLiteral("get")).toString(), QStringLiteral("zürich"));
    script.call(QStringLiteral("keep"), 12);
    QCOMPARE(script.call(QStringLiteral("kind")).toString(), QStringLiteral("integer"));
    script.call(QStringLiteral("keep"), 0.25);
    QCOMPARE(script.call(QStringLiteral("kind")).toString(), QStringLiteral("float"));
    script.call(QStringLiteral("keep"), true);
    QCOMPARE(script.call(QStringLiteral("kind")).toString(), QStringLiteral("boolean"));
    script.call(QStringLiteral("keep"), QVariant());
    QCOMPARE(script.call(QStringLiteral("kind")).toString(), QStringLiteral("nil"));

    // An unsupported type abandons the call before the function runs.
    script.call(QStringLiteral("keep"), QStringLiteral("before"));
    QVERIFY(!script.call(QStringLiteral("keep"), QVariant(QStringList { QStringLiteral("x") })).isValid());
    QCOMPARE(script.call(QStringLiteral("get")).toString(), QStringLiteral("before"));

    // Objects travel as userdata of a published class and come back as their
    // address; an unknown class abandons the call.
    LogPlugin plugin;
    installPluginClass(script, &plugin);
    const QVariant back = script.call(QStringLiteral("echo"), BScript::objectArgument(QStringLiteral("Plugin"), &plugin));
    QCOMPARE(back.toULongLong(), quint64(reinterpret_cast<quintptr>(&plugin)));
    QVERIFY(!script.call(QStringLiteral("echo"), BScript::objectArgument(QStringLiteral("Nothing"), &plugin)).isValid());
}

void TestBScript::loadErrors()
{
    BScript script;
    QVERIFY(!script.load(QStringLiteral("function ("), QStringLiteral("broken.lua")));
    QVERIFY(!script.isLoaded());
    QVERIFY2(script.lastError().contains(QLatin1String("broken.lua")), qPrintable(script.lastError()));

    QVERIFY(!script.load(QStringLiteral("error('at start')"), QStringLiteral("start.lua")));
    QVERIFY(!script.isLoaded());
    QVERIFY(script.lastError().contains(QLatin1String("at start")));
    QVERIFY(!script.load(QStringLiteral("error({})"), QStringLiteral("table.lua")));
    QVERIFY(script.lastError().contains(QLatin1String("table")));

    // A new load discards the old state with its globals.
    QVERIFY(script.load(QStringLiteral("function f() return 'old' end"), QStringLiteral("a.lua")));
    QVERIFY(script.load(QStringLiteral("function g() return 'new' end"), QStringLiteral("b.lua")));
    QVERIFY(!script.call(QStringLiteral("f")).isValid());
    QCOMPARE(script.call(QStringLiteral("g")).toString(), QStringLiteral("new"));
}

void TestBScript::optionTable()
{
    BOption root;
    QVERIFY(root.loadDefinition(QStringLiteral(
        R"([{"name":"length","type":"int","visibleInGUI":true,"value":12,"min":1,"max":99},)"
        R"({"name":"ratio","type":"double","visibleInGUI":true,"value":0.5,"min":0,"max":1},)"
        R"({"name":"words","type":"group","visibleInGUI":true,"children":[)"
        R"({"name":"upper","type":"bool","visibleInGUI":true,"value":true},)"
        R"({"name":"separator","type":"string","visibleInGUI":true,"value":"-"}]},)"
        R"({"name":"mode","type":"choice","visibleInGUI":true,"choice":{"value":"b","title":"B"},)"
        R"("choices":[{"value":"a","title":"A"},{"value":"b","title":"B"}]}])")));

    BScript script;
    QVERIFY(script.load(QStringLiteral("function show()\n"
                                       "  return string.format('%s %s %s %s %s %s', math.type(options.length) .. options.length,\n"
                                       "    options.ratio, tostring(options.words.upper), options.words.separator, options.mode,\n"
                                       "    tostring(options.none))\n"
                                       "end\n"),
                        QStringLiteral("options.lua")));
    script.setGlobalOptions(QStringLiteral("options"), root);
    QCOMPARE(script.call(QStringLiteral("show")).toString(), QStringLiteral("integer12 0.5 true - b nil"));
}

void TestBScript::pluginClass()
{
    QTemporaryDir dir;
    PluginArchiveBuilder builder = PluginArchiveBuilder::standard();
    builder.add(QStringLiteral("Scripts/Words.TXT"), QByteArray("alpha\nbeta\0hidden", 17));
    const QString path = dir.filePath(QStringLiteral("p.tvp"));
    QVERIFY(builder.write(path));
    BPluginMetadata metadata;
    metadata.path = path;
    LogPlugin plugin(metadata);

    BScript script;
    QVERIFY(script.load(QStringLiteral("function run()\n"
                                       "  plugin:log('a')\n"
                                       "  plugin:logLine(42)\n"
                                       "  plugin:logLine('done')\n"
                                       "  Plugin.log(nil, 'ignored')\n"
                                       "  return tostring(plugin:loadFile('scripts/words.txt')) .. '|' ..\n"
                                       "         tostring(plugin:loadFile('missing.txt')) .. '|' .. tostring(plugin:loadFile())\n"
                                       "end\n"),
                        QStringLiteral("plugin.lua")));
    installPluginClass(script, &plugin);
    QCOMPARE(script.call(QStringLiteral("run")).toString(), QStringLiteral("alpha\nbeta|nil|nil"));
    QCOMPARE(plugin.log(), QStringLiteral("a42\ndone\n"));
}

void TestBScript::librariesAndFileAccess()
{
    QTemporaryDir dir;
    const QString secret = dir.filePath(QStringLiteral("secret.lua"));
    QFile file(secret);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("return 'read from disk'");
    file.close();

    BScript script;
    QVERIFY(script.load(QStringLiteral("function libs()\n"
                                       "  return string.format('%d', 3) .. math.floor(2.7) .. utf8.char(228) ..\n"
                                       "    (function() local t = {} table.insert(t, 'x') return t[1] end)()\n"
                                       "end\n"
                                       "function hidden() return tostring(io) .. tostring(os) .. tostring(dofile) ..\n"
                                       "  tostring(loadfile) .. tostring(require) .. tostring(package) end\n"
                                       "function readFile(p) return nil, dofile(p) end\n"
                                       "local dumped = string.dump(function() return 1 end)\n"
                                       "function binary() local f, m = load(dumped) return f and 'loaded' or m end\n"
                                       "function binaryMode() local f, m = load(dumped, 'x', 'b') return f and 'loaded' or m end\n"
                                       "function text() return load('return 6 * 7')() end\n"),
                        QStringLiteral("libs.lua")));
    QCOMPARE(script.call(QStringLiteral("libs")).toString(), QStringLiteral("32äx"));
    QCOMPARE(script.call(QStringLiteral("hidden")).toString(), QStringLiteral("nilnilnilnilnilnil"));
    QVERIFY(!script.call(QStringLiteral("readFile"), secret).isValid());
    QVERIFY(script.lastError().contains(QLatin1String("dofile")));

    // load() gives nil and a message for a binary chunk, whatever mode is asked for.
    QVERIFY(script.call(QStringLiteral("binary")).toString().contains(QLatin1String("binary chunk")));
    QVERIFY(script.call(QStringLiteral("binaryMode")).toString().contains(QLatin1String("binary chunk")));
    QCOMPARE(script.call(QStringLiteral("text")).toLongLong(), qint64(42));

    QVERIFY(!script.load(QStringLiteral("os.time()"), QStringLiteral("os.lua")));
    QVERIFY(!script.load(QStringLiteral("io.open('/etc/passwd')"), QStringLiteral("io.lua")));
}

void TestBScript::memoryCap()
{
    LogPlugin plugin;
    BScript script;
    script.setLogPlugin(&plugin);
    QVERIFY(script.load(QStringLiteral("function grow() local s = string.rep('x', 80 * 1024 * 1024) return #s end\n"
                                       "function creep() local t = {} for i = 1, 1e9 do t[i] = i .. 'x' end end\n"
                                       "function small() return #string.rep('x', 1000) end\n"),
                        QStringLiteral("memory.lua")));
    QVERIFY(!script.call(QStringLiteral("grow")).isValid());
    QVERIFY2(script.lastError().contains(QLatin1String("memory")), qPrintable(script.lastError()));
    QVERIFY2(plugin.log().contains(QLatin1String("memory")), qPrintable(script.lastError() + "|" + plugin.log()));

    script.setMemoryLimit(4 * 1024 * 1024);
    QVERIFY(!script.call(QStringLiteral("creep")).isValid());
    QVERIFY(script.lastError().contains(QLatin1String("memory")));
    // The state survives and can still work within the limit.
    QCOMPARE(script.call(QStringLiteral("small")).toLongLong(), qint64(1000));

    QVERIFY(!script.load(QStringLiteral("local s = string.rep('y', 100 * 1024 * 1024)"), QStringLiteral("big.lua")));
    QVERIFY(!script.isLoaded());
}

void TestBScript::runTimeLimit()
{
    LogPlugin plugin;
    BScript script;
    script.setLogPlugin(&plugin);
    script.setTimeLimit(300);
    QVERIFY(script.load(QStringLiteral("function spin() while true do end end\n"
                                       "function stubborn() while true do pcall(function() while true do end end) end end\n"
                                       "function quick() return 'ok' end\n"),
                        QStringLiteral("loop.lua")));
    QVERIFY(!script.call(QStringLiteral("spin")).isValid());
    QVERIFY2(script.lastError().contains(QLatin1String("ran longer than")), qPrintable(script.lastError()));
    QVERIFY(plugin.log().contains(QLatin1String("ran longer than")));
    QVERIFY(!script.call(QStringLiteral("stubborn")).isValid());
    QVERIFY(script.lastError().contains(QLatin1String("ran longer than")));
    // The limit counts per call.
    QCOMPARE(script.call(QStringLiteral("quick")).toString(), QStringLiteral("ok"));

    QVERIFY(!script.load(QStringLiteral("repeat until false"), QStringLiteral("top.lua")));
    QVERIFY(script.lastError().contains(QLatin1String("ran longer than")));
}

void TestBScript::secureRandom()
{
    const QString text = QStringLiteral("math.randomseed(1)\n"
                                        "function draws() local t = {} for i = 1, 8 do t[i] = math.random(1, 1 << 40) end\n"
                                        "  return table.concat(t, ',') end\n"
                                        "function check()\n"
                                        "  local seen = {}\n"
                                        "  for i = 1, 2000 do local v = math.random(5) if v < 1 or v > 5 then return 'range' end seen[v] = true end\n"
                                        "  for v = 1, 5 do if not seen[v] then return 'missing ' .. v end end\n"
                                        "  for i = 1, 2000 do local f = math.random() if f < 0 or f >= 1 then return 'float' end end\n"
                                        "  for i = 1, 200 do local v = math.random(-3, -2) if v ~= -3 and v ~= -2 then return 'negative' end end\n"
                                        "  if math.random(math.mininteger, math.maxinteger) == nil then return 'full' end\n"
                                        "  if math.random(4, 4) ~= 4 then return 'single' end\n"
                                        "  if pcall(math.random, 0) then return 'empty' end\n"
                                        "  if pcall(math.random, 3, 2) then return 'reversed' end\n"
                                        "  return 'fine'\n"
                                        "end\n");
    BScript first;
    BScript second;
    QVERIFY(first.load(text, QStringLiteral("first.lua")));
    QVERIFY(second.load(text, QStringLiteral("second.lua")));
    const QString a = first.call(QStringLiteral("draws")).toString();
    const QString b = second.call(QStringLiteral("draws")).toString();
    QCOMPARE(a.split(QLatin1Char(',')).size(), 8);
    QVERIFY2(a != b, qPrintable(a));
    QCOMPARE(first.call(QStringLiteral("check")).toString(), QStringLiteral("fine"));
}

QTEST_MAIN(TestBScript)
#include "tst_bscript.moc"
