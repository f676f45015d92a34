// Scripted password generators: loading their script, calling it with the
// current option values, what reaches the log when the script fails, their
// place in the generator list and their tab in the generator dialog.
#include "blib/app/BApplicationIdentity.h"
#include "blib/password/BOptionSetWidget.h"
#include "blib/password/BPasswordGeneratorDialog.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/plugin/BPasswordGeneratorPlugin.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"
#include "support/PluginArchiveBuilder.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QJsonObject option(const QString& name, const QString& type, const QJsonObject& members = QJsonObject())
{
    QJsonObject object = members;
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("type"), type);
    object.insert(QStringLiteral("visibleInGUI"), true);
    return object;
}

// A length and a digits switch inside a group "chars", a choice and a
// string at the top level.
QJsonArray groupedOptions()
{
    const QJsonArray children {
        option("length", "int", { { "value", 12 }, { "min", 1 }, { "max", 64 } }),
        option("digits", "bool", { { "value", true } }),
    };
    const QJsonArray choices { QJsonObject { { "value", "lower" }, { "title", "Lower case" } },
                               QJsonObject { { "value", "upper" }, { "title", "Upper case" } } };
    return QJsonArray {
        option("chars", "group", { { "children", children } }),
        option("mode", "choice", { { "choices", choices }, { "choice", choices.at(1) } }),
        option("separator", "string", { { "value", "+" } }),
    };
}

// Top-level options only, as the generator dialog's editor shows them.
QJsonArray flatOptions()
{
    return QJsonArray { option("length", "int", { { "value", 12 }, { "min", 1 }, { "max", 64 } }),
                        option("separator", "string", { { "value", "+" } }) };
}

} // namespace

class tst_BPasswordGeneratorPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void initFailures();
    void missingFunctionAndNilResultLogTheLastError();
    void raisingScriptLogsLuaMessageOnce();
    void resultConversions();
    void optionsArePublishedBeforeEachCall();
    void generatorListFollowsLoadAndUnload();
    void dialogTabEditsThePluginOptions();

private:
    // Writes a generator plugin with `script` as "gen.lua" and creates it
    // through the registry; null (and `error` set) when it fails to start.
    BPlugin* create(const QString& script, QString& error, const QJsonArray& options = QJsonArray(),
                    const QJsonObject& data = QJsonObject { { "script", "gen.lua" } });
    BPasswordGeneratorPlugin* generator(const QString& script, const QJsonArray& options = QJsonArray());

    QTemporaryDir m_dir;
    QList<BPlugin*> m_created;
    int m_count = 0;
    std::unique_ptr<BPasswordGeneratorRandom> m_random;
};

void tst_BPasswordGeneratorPlugin::initTestCase()
{
    applyApplicationIdentity();
    QVERIFY(m_dir.isValid());
    m_random = std::make_unique<BPasswordGeneratorRandom>();
    BPasswordGeneratorPlugin::registerPluginFactory();
    BPasswordGeneratorPlugin::registerPluginFactory(); // registered once only
    QCOMPARE(pluginFactories().count(BPasswordGeneratorPlugin::factoryInstance()), 1);
}

void tst_BPasswordGeneratorPlugin::init()
{
    // Option values are kept per plugin id and version between runs.
    QSettings settings;
    for (const QString& key : settings.allKeys()) {
        if (key.startsWith(QLatin1String("blib.plugin.")))
            settings.remove(key);
    }
}

void tst_BPasswordGeneratorPlugin::cleanup()
{
    for (BPlugin* plugin : qAsConst(m_created))
        unloadPlugin(plugin);
    m_created.clear();
    unregisterPasswordGenerator(m_random.get());
    QVERIFY(passwordGenerators().isEmpty());
}

void tst_BPasswordGeneratorPlugin::cleanupTestCase()
{
    BPasswordGeneratorPlugin::unregisterPluginFactory();
    QVERIFY(!pluginFactories().contains(BPasswordGeneratorPlugin::factoryInstance()));
}

BPlugin* tst_BPasswordGeneratorPlugin::create(const QString& script, QString& error, const QJsonArray& options,
                                              const QJsonObject& data)
{
    QJsonObject manifest = PluginArchiveBuilder::manifest(QStringLiteral("test.gen%1").arg(++m_count),
                                                          QStringLiteral("tessavond.password_generator"));
    manifest.insert(QStringLiteral("name"), QStringLiteral("Scripted %1").arg(m_count));
    manifest.insert(QStringLiteral("data"), data);
    manifest.insert(QStringLiteral("options"), options);
    PluginArchiveBuilder builder = PluginArchiveBuilder::standard(manifest);
    builder.add(QStringLiteral("gen.lua"), script.toUtf8());
    const QString path = m_dir.filePath(QStringLiteral("gen%1.tvp").arg(m_count));
    BPluginMetadata metadata;
    if (!builder.write(path) || !metadata.load(path, error))
        return nullptr;
    BPlugin* plugin = createPlugin(metadata, error);
    if (plugin)
        m_created.append(plugin);
    return plugin;
}

BPasswordGeneratorPlugin* tst_BPasswordGeneratorPlugin::generator(const QString& script, const QJsonArray& options)
{
    QString error;
    BPlugin* plugin = create(script, error, options);
    if (!plugin)
        qWarning("plugin failed to start: %s", qPrintable(error));
    return dynamic_cast<BPasswordGeneratorPlugin*>(plugin);
}

void tst_BPasswordGeneratorPlugin::initFailures()
{
    const QString valid = QStringLiteral("function generatePassword() return 'x' end");
    struct Case {
        QJsonObject data;
        QString script;
        QString message;
    };
    const QList<Case> cases {
        { QJsonObject(), valid, "manifest.json 'script' is not a string." },
        { QJsonObject { { "script", 7 } }, valid, "manifest.json 'script' is not a string." },
        { QJsonObject { { "script", "missing.lua" } }, valid, "Failed to load script file 'missing.lua' from plugin." },
        { QJsonObject { { "script", "gen.lua" } }, "function generatePassword(", "Failed to load plugin script file gen.lua" },
        { QJsonObject { { "script", "gen.lua" } }, "error('refused at load')", "Failed to load plugin script file gen.lua" },
    };
    for (const Case& c : cases) {
        QString error;
        QVERIFY(!create(c.script, error, QJsonArray(), c.data));
        QCOMPARE(error, c.message);
        // The half-made generator was destroyed and left the list.
        QVERIFY(passwordGenerators().isEmpty());
    }

    // The script entry's name is matched ignoring case, like every entry.
    QString error;
    BPlugin* plugin = create(valid, error, QJsonArray(), QJsonObject { { "script", "GEN.LUA" } });
    QVERIFY2(plugin, qPrintable(error));
    QCOMPARE(static_cast<BPasswordGeneratorPlugin*>(plugin)->generatePassword(), QStringLiteral("x"));
}

void tst_BPasswordGeneratorPlugin::missingFunctionAndNilResultLogTheLastError()
{
    BPasswordGeneratorPlugin* none = generator(QStringLiteral("local x = 1"));
    QVERIFY(none);
    const QString before = none->log();
    QCOMPARE(none->generatePassword(), QString());
    QCOMPARE(none->generatePassword(), QString());
    QCOMPARE(none->log(), before + QStringLiteral("no error\nno error\n"));

    // A nil result logs whatever failed last: first nothing, then the error
    // of the call that raised one.
    BPasswordGeneratorPlugin* nil = generator(QStringLiteral(
        "calls = 0\n"
        "function generatePassword()\n"
        "  calls = calls + 1\n"
        "  if calls == 2 then error('second call fails', 0) end\n"
        "  return nil\n"
        "end"));
    QVERIFY(nil);
    const QString start = nil->log();
    QCOMPARE(nil->generatePassword(), QString());
    QCOMPARE(nil->log(), start + QStringLiteral("no error\n"));
    QCOMPARE(nil->generatePassword(), QString());
    QCOMPARE(nil->generatePassword(), QString());
    QCOMPARE(nil->log(), start + QStringLiteral("no error\nsecond call fails\nsecond call fails\n"));
}

void tst_BPasswordGeneratorPlugin::raisingScriptLogsLuaMessageOnce()
{
    BPasswordGeneratorPlugin* plugin = generator(QStringLiteral(
        "function generatePassword()\n"
        "  plugin:log('about to fail: ')\n"
        "  error('no entropy today')\n"
        "end"));
    QVERIFY(plugin);
    const int start = plugin->log().size();
    QCOMPARE(plugin->generatePassword(), QString());
    const QStringList lines = plugin->log().mid(start).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    // Lua's message, with the chunk name and line of the error.
    QVERIFY2(lines.at(0).startsWith("about to fail: [string \"gen.lua\"]:3: "), qPrintable(lines.at(0)));
    QVERIFY(lines.at(0).endsWith("no entropy today"));
    QCOMPARE(plugin->script().lastError(), lines.at(0).mid(int(strlen("about to fail: "))));
}

void tst_BPasswordGeneratorPlugin::resultConversions()
{
    BPasswordGeneratorPlugin* plugin = generator(QStringLiteral(
        "kind = 'string'\n"
        "function generatePassword()\n"
        "  if kind == 'string' then return 'p\\0q' .. utf8.char(246) end\n"
        "  if kind == 'integer' then return 4096 end\n"
        "  if kind == 'float' then return 2.5 end\n"
        "  if kind == 'two' then return 'a', 'b' end\n"
        "  if kind == 'table' then return {} end\n"
        "end\n"
        "function setKind(k) kind = k end"));
    QVERIFY(plugin);
    QCOMPARE(plugin->generatePassword(), QString::fromUtf8("p\0q\xc3\xb6", 5));
    const struct {
        const char* kind;
        QString password;
    } cases[] = { { "integer", "4096" }, { "float", "2.5" }, { "two", QString() }, { "table", QString() } };
    for (const auto& c : cases) {
        plugin->script().call(QStringLiteral("setKind"), QVariant(QString::fromLatin1(c.kind)));
        const int logged = plugin->log().size();
        QCOMPARE(plugin->generatePassword(), c.password);
        // Anything that is not one string or number is no password, and
        // the log says so.
        QCOMPARE(plugin->log().size() > logged, c.password.isEmpty());
    }
}

void tst_BPasswordGeneratorPlugin::optionsArePublishedBeforeEachCall()
{
    BPasswordGeneratorPlugin* plugin = generator(
        QStringLiteral("function generatePassword()\n"
                       "  return string.format('%s|%d|%s|%s|%s', math.type(options.chars.length),\n"
                       "    options.chars.length, tostring(options.chars.digits), options.mode, options.separator)\n"
                       "end"),
        groupedOptions());
    QVERIFY(plugin);
    QCOMPARE(plugin->generatePassword(), QStringLiteral("integer|12|true|upper|+"));

    // options() is the plugin's current set: edits reach the next call.
    QCOMPARE(plugin->options(), &plugin->currentOptions());
    BOption* options = plugin->options();
    options->option("chars.length")->setInt(30);
    options->option("chars.digits")->setBool(false);
    options->option("mode")->setChoice("lower");
    options->option("separator")->setString(QString());
    QCOMPARE(plugin->generatePassword(), QStringLiteral("integer|30|false|lower|"));

    // A script cannot keep its own changes to the table between calls.
    BPasswordGeneratorPlugin* tamper = generator(
        QStringLiteral("function generatePassword()\n"
                       "  local seen = options.chars.length\n"
                       "  options.chars.length = 99\n"
                       "  return tostring(seen)\n"
                       "end"),
        groupedOptions());
    QVERIFY(tamper);
    QCOMPARE(tamper->generatePassword(), QStringLiteral("12"));
    QCOMPARE(tamper->generatePassword(), QStringLiteral("12"));
}

void tst_BPasswordGeneratorPlugin::generatorListFollowsLoadAndUnload()
{
    registerPasswordGenerator(m_random.get());

    BPasswordGeneratorPlugin* first = generator(QStringLiteral("function generatePassword() return 'one' end"));
    BPasswordGeneratorPlugin* second = generator(QStringLiteral("function generatePassword() return 'two' end"));
    QVERIFY(first && second);
    QCOMPARE(passwordGenerators(),
             QList<BPasswordGenerator*>({ m_random.get(), first, second }));
    QCOMPARE(first->BPasswordGenerator::name(), first->BPlugin::name());
    QVERIFY(first->BPasswordGenerator::name().startsWith(QLatin1String("Scripted ")));

    // Unloading saves the options and takes the generator out of the list;
    // the others stay in order.
    m_created.removeOne(first);
    unloadPlugin(first);
    QCOMPARE(passwordGenerators(), QList<BPasswordGenerator*>({ m_random.get(), second }));
    m_created.removeOne(second);
    unloadPlugin(second);
    QCOMPARE(passwordGenerators(), QList<BPasswordGenerator*>({ m_random.get() }));
}

void tst_BPasswordGeneratorPlugin::dialogTabEditsThePluginOptions()
{
    registerPasswordGenerator(m_random.get());
    BPasswordGeneratorPlugin* plugin = generator(
        QStringLiteral("function generatePassword() return string.rep('ab', options.length) end"), flatOptions());
    QVERIFY(plugin);

    {
        BPasswordGeneratorDialog dialog;
        auto* tabs = dialog.findChild<QTabWidget*>("tabWidget");
        auto* line = dialog.findChild<QLineEdit*>("passwordLineEdit");
        QVERIFY(tabs && line);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(1), plugin->BPlugin::name());
        auto* page = qobject_cast<BOptionSetWidget*>(tabs->widget(1));
        QVERIFY(page);
        QCOMPARE(page->optionSet(), &plugin->currentOptions());

        tabs->setCurrentIndex(1);
        QCOMPARE(dialog.getCurrentPasswordGenerator(), plugin);
        QCOMPARE(dialog.password(), QString("ab").repeated(12));
        QCOMPARE(line->text(), dialog.password());

        // The tab's editor writes into the plugin's values, which the plugin
        // manager saves at unload.
        auto* length = page->findChild<QSpinBox*>();
        QVERIFY(length);
        length->setValue(3);
        QCOMPARE(plugin->currentOptions().findOption("length")->intValue(), 3);
        QMetaObject::invokeMethod(&dialog, "regeneratePasswordButtonPressed");
        QCOMPARE(dialog.password(), QStringLiteral("ababab"));
    }

    m_created.removeOne(plugin);
    unloadPlugin(plugin);
    BOption saved;
    QVERIFY(loadOptionSet(QStringLiteral("blib.plugin.%1-1.0").arg(QStringLiteral("test.gen%1").arg(m_count)), saved));
    QCOMPARE(saved.findOption("length")->intValue(), 3);

    // A dialog opened after the unload has no tab for it.
    BPasswordGeneratorDialog dialog;
    QCOMPARE(dialog.findChild<QTabWidget*>("tabWidget")->count(), 1);
}

QTEST_MAIN(tst_BPasswordGeneratorPlugin)
#include "tst_bpasswordgeneratorplugin.moc"
