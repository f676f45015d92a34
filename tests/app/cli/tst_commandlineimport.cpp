// lockharbour-cli import: a foreign file read by a loader plugin into a new
// vault, through the real executable.
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/password/BOption.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/task/BTaskController.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/LoaderPluginFixture.h"

using namespace LoaderPluginFixture;

namespace {

// Reads "name,user,password" lines into one group; reports what the user
// was asked and the option value as further groups.
const QByteArray CsvScript = "function load_database(data, ext, db)\n"
                             "  if data:sub(1, 5) == 'break' then error('this is no list') end\n"
                             "  local g = Group.new(); g:setName('Imported ' .. ext); db:addGroup(g)\n"
                             "  for line in data:gmatch('[^\\n]+') do\n"
                             "    local name, user, pw = line:match('([^,]*),([^,]*),([^,]*)')\n"
                             "    local p = Password.new(); p:setName(name); p:setUsername(user); p:setPassword(pw)\n"
                             "    g:addItem(p)\n"
                             "  end\n"
                             "  Alert.warning('Careful', 'two lines read')\n"
                             "  local asked = Group.new(); db:addGroup(asked)\n"
                             "  asked:setName(tostring(Prompt.yesNo('Q', 'go on?', 'Yes', 'No')) .. ' '\n"
                             "    .. tostring(Prompt.password()) .. ' ' .. tostring(options.count))\n"
                             "end\n";

QJsonArray countOption()
{
    return QJsonArray { QJsonObject { { "name", "count" }, { "type", "int" }, { "visibleInGUI", true },
                                      { "value", 5 }, { "min", 1 }, { "max", 99 } } };
}

struct Result {
    int code;
    QString out;
    QString err;
};

} // namespace

class tst_CommandLineImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void importsIntoANewVault();
    void refusals_data();
    void refusals();
    void oversizedSourceAndExistingTargetAreRefused();

private:
    QString program() const { return qEnvironmentVariable("LH_BINARY_DIR") + "/app/lockharbour-cli"; }

    Result run(const QStringList& arguments, const QByteArray& input = "master\n")
    {
        QProcess process;
        process.start(program(), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(120000))
            return { -1, QString(), QStringLiteral("did not finish") };
        return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                 QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError()) };
    }

    QString write(const QString& name, const QByteArray& data)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return QString();
        return file.fileName();
    }

    QTemporaryDir m_dir;
    QString m_plugin;
};

void tst_CommandLineImport::initTestCase()
{
    applyApplicationIdentity();
    QVERIFY(QFile::exists(program()));
    QJsonObject object = manifest({ "txt", "csv" }, "test.csv-loader");
    object.insert("options", countOption());
    m_plugin = writePlugin(m_dir.filePath("csv.tvp"), object, CsvScript);
    QVERIFY(!m_plugin.isEmpty());

    // The value the program keeps for the plugin, not the manifest's.
    BPluginMetadata metadata;
    QString error;
    QVERIFY2(metadata.load(m_plugin, error), qPrintable(error));
    BOption values = metadata.options;
    values.option("count")->setInt(42);
    QVERIFY(saveOptionSet("blib.plugin.test.csv-loader-1.0", values));
}

void tst_CommandLineImport::importsIntoANewVault()
{
    const QString source = write("people.csv", "Bank,alice,pw1\nMail,bob,pw2\n");
    const QString target = m_dir.filePath("people.lhdb");
    const Result result = run({ "import", source, target, "--plugin", m_plugin, "--name", "People", "--cipher",
                                "Twofish-256", "--rounds", "3", "--password-stdin" });
    QCOMPARE(result.code, 0);
    // Messages go to standard error; questions are refused without a terminal.
    QVERIFY2(result.err.contains("Warning: Careful: two lines read"), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());

    PasswordDatabase db;
    QVERIFY(db.load(target, nullptr));
    QCOMPARE(db.getName(), QString("People"));
    QCOMPARE(db.getCipher(), int(BCipherId::Twofish_256));
    QCOMPARE(db.getKdfRounds(), 3);
    BTaskController controller;
    PasswordDatabaseUnlockTask unlock(db, "master");
    QCOMPARE(unlock.run(&controller), Success);
    QCOMPARE(db.getItems().size(), 2);
    PasswordDatabase::Group* imported = db.getItems().at(0);
    QCOMPARE(imported->getName(), QString("Imported csv"));
    QCOMPARE(imported->getItems().size(), 2);
    auto* second = static_cast<PasswordDatabase::Password*>(imported->getItems().at(1));
    QCOMPARE(second->getName(), QString("Mail"));
    QCOMPARE(second->getUsername(), QString("bob"));
    QCOMPARE(second->getPassword(), QString("pw2"));
    QCOMPARE(db.getItems().at(1)->getName(), QString("false nil 42"));
}

void tst_CommandLineImport::refusals_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    const QByteArray list = "a,b,c\n";
    QTest::newRow("suffix in another case") << "upper.CSV" << list << QStringList() << 1 << "does not read";
    QTest::newRow("script fails") << "broken.txt" << QByteArray("break") << QStringList() << 1 << "this is no list";
    QTest::newRow("no plugin") << "a.txt" << list << QStringList { "--plugin", "" } << 2 << "--plugin";
    QTest::newRow("no name") << "a.txt" << list << QStringList { "--name", "" } << 2 << "--name";
    QTest::newRow("unknown cipher") << "a.txt" << list << QStringList { "--cipher", "Rot13" } << 2 << "Rot13";
    QTest::newRow("missing plugin file") << "a.txt" << list << QStringList { "--plugin", "/nonexistent.tvp" } << 1
                                         << "Failed to load the plugin";
}

void tst_CommandLineImport::refusals()
{
    QFETCH(QString, sourceName);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString source = write(sourceName, content);
    const QString target = m_dir.filePath("refused.lhdb");
    QStringList arguments { "import", source, target, "--plugin", m_plugin, "--name", "N", "--rounds", "2",
                            "--password-stdin" };
    for (int i = 0; i + 1 < options.size(); i += 2) {
        const int at = arguments.indexOf(options.at(i));
        if (at >= 0)
            arguments[at + 1] = options.at(i + 1);
        else
            arguments << options.at(i) << options.at(i + 1);
    }
    const Result result = run(arguments);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains(message), qPrintable(result.err));
    QVERIFY(!QFile::exists(target));
}

void tst_CommandLineImport::oversizedSourceAndExistingTargetAreRefused()
{
    QFile big(m_dir.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(PasswordDatabaseLoaderPlugin::MaxImportFileSize + 1));
    big.close();
    const QString target = m_dir.filePath("big.lhdb");
    Result result = run({ "import", big.fileName(), target, "--plugin", m_plugin, "--name", "N", "--password-stdin" });
    QCOMPARE(result.code, 1);
    QVERIFY(!QFile::exists(target));

    // An existing file is never replaced.
    const QString existing = write("existing.lhdb", "keep me");
    result = run({ "import", write("small.txt", "a,b,c\n"), existing, "--plugin", m_plugin, "--name", "N",
                   "--password-stdin" });
    QCOMPARE(result.code, 1);
    QCOMPARE(QFile(existing).size(), qint64(7));
}

QTEST_GUILESS_MAIN(tst_CommandLineImport)
#include "tst_commandlineimport.moc"
