#include "app/cli/CommandLineClient.h"

#include "app/cli/CommandHelp.h"
#include "app/cli/EntryFields.h"
#include "app/cli/ItemAddress.h"
#include "app/cli/JsonTreeImport.h"
#include "app/cli/PasswordPrompt.h"
#include "app/cli/TerminalScriptUserInterface.h"
#include "app/cli/TerminalText.h"
#include "app/database/BreachedPasswordFile.h"
#include "app/database/BreachedPasswordRangeTask.h"
#include "app/database/DatabaseKeyDerivation.h"
#include "app/database/DatabaseReport.h"
#include "app/database/OtpAuthLink.h"
#include "app/database/PasswordBackup.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseMerge.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "app/plugin/PasswordDatabaseLoaderPlugin.h"
#include "blib/app/BFileLock.h"
#include "blib/app/BSettings.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFCalibrateTask.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPassword.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/plugin/BPluginMetadata.h"
#include "blib/plugin/BPluginRegistry.h"
#include "blib/task/BTaskController.h"

#include <QDateTime>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonDocument>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int groupType = 1;
constexpr int passwordType = 2;
constexpr int anyType = 0;

// The random generator's options on the command line: --no-X switches the
// character class of option Y off.
const QStringList generatorValueOptions { QStringLiteral("length") };
const struct {
    const char* flag;
    const char* option;
} generatorFlags[] = {
    { "no-lowercase", "useLowercaseLetters" }, { "no-uppercase", "useUppercaseLetters" },
    { "no-numbers", "useNumbers" },            { "no-minus", "useMinus" },
    { "no-underscore", "useUnderscore" },      { "no-special", "useSpecialCharacters" },
};

QStringList generatorFlagOptions()
{
    QStringList names;
    for (const auto& entry : generatorFlags)
        names.append(QLatin1String(entry.flag));
    return names;
}

constexpr int maximumCount = 100000;
constexpr int minimumKdfTimeMs = 10;
constexpr int maximumKdfTimeMs = 60000;
// What checks a password guess against a vault of format 3 or earlier: the
// HMAC key's 10000 rounds for each of its three blocks.
constexpr int legacyGuessRounds = 3 * DatabaseHmacKeyRounds;

const char* const backupModifiedKey = "app.settings.backupModifiedPasswords";
const char* const backupDeletedKey = "app.settings.backupDeletedPasswords";

QString masked(const QString& text)
{
    return text.isEmpty() ? QString() : QStringLiteral("********");
}

// Appends `text` made safe for a terminal; a copy made on the way is wiped,
// as entry texts are.
void appendSafe(QString& out, const QString& text, bool keepLines = false)
{
    QString safe = keepLines ? TerminalText::block(text) : TerminalText::line(text);
    out += safe;
    if (!safe.isSharedWith(text))
        wipe(safe);
}

} // namespace

CommandLineClient::CommandLineClient(QIODevice* input, QIODevice* output, QIODevice* error,
                                     PasswordPrompt* prompt)
    : m_input(input)
    , m_output(output)
    , m_error(error)
    , m_prompt(prompt)
    , m_secrets(input, error, prompt)
{
}

QString CommandLineClient::usage()
{
    return CommandHelp::overview();
}

struct CommandLineClient::CommandTable {
    // Each command: its options taking a value, its flags, how many
    // positional arguments it takes and what runs it.
    struct Command {
        const char* name;
        QStringList valueOptions;
        QStringList flagOptions;
        int minPositional;
        int maxPositional;
        int (CommandLineClient::*handler)(const Options&);
    };

    static const QList<Command>& commands()
    {
        const QString stdinFlag = QStringLiteral("password-stdin");
        const QStringList entryPasswordFlags { QStringLiteral("entry-password"), QStringLiteral("entry-password-stdin") };
        const QStringList roundsOptions { QStringLiteral("cipher"), QStringLiteral("kdf"), QStringLiteral("rounds"),
                                          QStringLiteral("kdf-memory"), QStringLiteral("kdf-parallelism"),
                                          QStringLiteral("kdf-time") };
        static const QList<Command> table {
            { "create", QStringList { QStringLiteral("name"), QStringLiteral("note") } + roundsOptions, { stdinFlag },
              1, 1, &CommandLineClient::create },
            { "info", {}, { stdinFlag }, 1, 1, &CommandLineClient::info },
            { "ls", {}, { stdinFlag, QStringLiteral("index") }, 1, 2, &CommandLineClient::list },
            { "show", { QStringLiteral("field") }, { stdinFlag, QStringLiteral("show-secrets") }, 2, 2,
              &CommandLineClient::show },
            { "totp", {}, { stdinFlag, QStringLiteral("seconds") }, 2, 2, &CommandLineClient::totp },
            { "search", { QStringLiteral("fields") }, { stdinFlag, QStringLiteral("match-case") }, 2, 2,
              &CommandLineClient::search },
            { "audit", { QStringLiteral("hibp"), QStringLiteral("hibp-url") },
              { stdinFlag, QStringLiteral("hibp-online") }, 1, 1, &CommandLineClient::audit },
            { "add", EntryFields::valueOptions() + generatorValueOptions,
              QStringList { stdinFlag, QStringLiteral("no-password"), QStringLiteral("generate"),
                            QStringLiteral("show-secrets") }
                  + entryPasswordFlags + generatorFlagOptions(),
              3, 3, &CommandLineClient::add },
            { "edit", EntryFields::valueOptions() + QStringList { QStringLiteral("name") },
              QStringList { stdinFlag, QStringLiteral("no-password") } + entryPasswordFlags, 2, 2, &CommandLineClient::edit },
            { "mkgroup", {}, { stdinFlag }, 2, 2, &CommandLineClient::makeGroup },
            { "mv", {}, { stdinFlag }, 3, 3, &CommandLineClient::move },
            { "rm", {}, { stdinFlag, QStringLiteral("recursive") }, 2, 2, &CommandLineClient::remove },
            { "attach", {}, { stdinFlag }, 3, 3, &CommandLineClient::attach },
            { "extract", {}, { stdinFlag, QStringLiteral("force") }, 3, 3, &CommandLineClient::extract },
            { "passwd", roundsOptions, { stdinFlag }, 1, 1, &CommandLineClient::changePassword },
            { "upgrade", roundsOptions, { stdinFlag }, 1, 1, &CommandLineClient::upgrade },
            { "export", {}, { stdinFlag }, 1, 1, &CommandLineClient::exportTree },
            { "merge", {}, { stdinFlag, QStringLiteral("dry-run") }, 2, 64, &CommandLineClient::mergeFiles },
            { "import-json", QStringList { QStringLiteral("name"), QStringLiteral("note") } + roundsOptions,
              { stdinFlag }, 2, 2, &CommandLineClient::importJson },
            { "import", QStringList { QStringLiteral("plugin"), QStringLiteral("name") } + roundsOptions,
              { stdinFlag }, 2, 2, &CommandLineClient::importWithPlugin },
            { "generate", generatorValueOptions + QStringList { QStringLiteral("count") }, generatorFlagOptions(), 0,
              0, &CommandLineClient::generate },
            { "estimate", {}, {}, 0, 0, &CommandLineClient::estimate },
            { "help", {}, {}, 0, 1, &CommandLineClient::help },
        };
        return table;
    }
};

QStringList CommandLineClient::commandNames()
{
    QStringList names;
    for (const CommandTable::Command& command : CommandTable::commands())
        names.append(QLatin1String(command.name));
    return names;
}

int CommandLineClient::run(const QStringList& arguments)
{
    m_command.clear();
    if (arguments.isEmpty())
        return usageError(QString());
    const QString command = arguments.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        print(usage());
        return flushOutput() ? ExitSuccess : ExitFailure;
    }
    if (command == QLatin1String("--version")) {
        print(QStringLiteral("lockharbour-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return flushOutput() ? ExitSuccess : ExitFailure;
    }

    for (const CommandTable::Command& entry : CommandTable::commands()) {
        if (command != QLatin1String(entry.name))
            continue;
        m_command = command;
        // COMMAND --help prints that command's help, whatever else is there.
        for (const QString& argument : arguments.mid(1)) {
            if (argument == QLatin1String("--"))
                break;
            if (argument == QLatin1String("--help")) {
                print(CommandHelp::command(command));
                return flushOutput() ? ExitSuccess : ExitFailure;
            }
        }
        Options options;
        if (!parse(arguments.mid(1), entry.valueOptions, entry.flagOptions, entry.minPositional,
                   entry.maxPositional, options))
            return ExitUsage;
        const int code = (this->*entry.handler)(options);
        // Output that did not reach its file (a full disk under a
        // redirection) is a failure, whatever the command did.
        if (!flushOutput())
            return ExitFailure;
        return code;
    }
    return usageError(tr("Unknown command \"%1\".").arg(command));
}

int CommandLineClient::help(const Options& options)
{
    if (options.positional.isEmpty()) {
        print(usage());
        return ExitSuccess;
    }
    const QString text = CommandHelp::command(options.positional.first());
    if (text.isEmpty()) {
        m_command.clear();
        return usageError(tr("Unknown command \"%1\".").arg(options.positional.first()));
    }
    print(text);
    return ExitSuccess;
}

bool CommandLineClient::parse(const QStringList& arguments, const QStringList& valueOptions,
                              const QStringList& flagOptions, int minPositional, int maxPositional,
                              Options& options)
{
    bool onlyPositional = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!onlyPositional && argument == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        if (onlyPositional || !argument.startsWith(QLatin1String("--")) || argument.size() == 2) {
            options.positional.append(argument);
            continue;
        }
        QString name = argument.mid(2);
        QString value;
        const int equals = name.indexOf(QLatin1Char('='));
        const bool inlineValue = equals >= 0;
        if (inlineValue) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        if (name == QLatin1String("password")) {
            usageError(tr("The master password is never taken from the command line; use --password-stdin."));
            return false;
        }
        if (valueOptions.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) {
                    usageError(tr("Option --%1 needs a value.").arg(name));
                    return false;
                }
                value = arguments.at(++i);
            }
            options.values.insert(name, value);
        } else if (flagOptions.contains(name) && !inlineValue) {
            options.values.insert(name, QString());
        } else {
            // Name only: an inline value may be a secret typed in the wrong place.
            usageError(tr("Unknown option \"--%1\".").arg(name));
            return false;
        }
    }
    if (options.positional.size() < minPositional || options.positional.size() > maxPositional) {
        usageError(tr("Wrong number of arguments."));
        return false;
    }
    return true;
}

int CommandLineClient::create(const Options& options)
{
    const QString path = options.positional.at(0);
    if (!options.values.contains(QStringLiteral("name")) || options.values.value(QStringLiteral("name")).isEmpty())
        return usageError(tr("A new database needs a name (--name)."));
    if (QFileInfo::exists(path))
        return fail(tr("The file \"%1\" already exists.").arg(path));

    PasswordDatabase db;
    db.setName(options.values.value(QStringLiteral("name")));
    db.setNote(options.values.value(QStringLiteral("note")));
    return createFile(db, path, options);
}

int CommandLineClient::createFile(PasswordDatabase& db, const QString& path, const Options& options)
{
    int cipher = BCipherId::AES_256;
    if (options.values.contains(QStringLiteral("cipher"))) {
        cipher = cipherId(options.values.value(QStringLiteral("cipher")));
        if (cipher == BCipherId::None)
            return usageError(tr("Unknown cipher \"%1\".").arg(options.values.value(QStringLiteral("cipher"))));
    }
    // The program's defaults for new databases, as its database editor uses.
    DatabaseKdfParameters kdf;
    const int kdfResult = readKdf(options, true, false, kdf);
    if (kdfResult != ExitSuccess)
        return kdfResult;

    QString password;
    if (!readNewSecret(options.values.contains(QStringLiteral("password-stdin")), password))
        return ExitFailure;
    return setPasswordAndSave(db, path, password, cipher, kdf, BFileWriteMode::CreateNew);
}

int CommandLineClient::readKdf(const Options& options, bool useDefaults, bool legacyVault,
                               DatabaseKdfParameters& kdf)
{
    const auto has = [&options](const char* name) { return options.values.contains(QLatin1String(name)); };
    const auto value = [&options](const char* name) { return options.values.value(QLatin1String(name)); };
    const bool byCount = has("rounds");
    const bool byTime = has("kdf-time");
    if (byCount && byTime)
        return usageError(tr("Use either --rounds or --kdf-time, not both."));

    // Without --kdf, --rounds keeps meaning PBKDF2 iterations, and a vault
    // of format 3 or earlier can only use PBKDF2.
    int function = 0;
    if (has("kdf")) {
        function = kdfId(value("kdf"));
        if (function != BKdfId::PBKDF2 && function != BKdfId::Argon2)
            return usageError(tr("Unknown key derivation \"%1\": use PBKDF2 or Argon2.").arg(value("kdf")));
    } else if (byCount || legacyVault) {
        function = BKdfId::PBKDF2;
    }
    if (legacyVault && function == BKdfId::Argon2)
        return usageError(tr("Vaults of format version 3 and earlier use PBKDF2 only: run \"upgrade\" first "
                             "to use Argon2."));

    if (useDefaults) {
        const DatabaseKdfParameters defaults = DatabaseKdfParameters::defaults();
        if (function == 0 || function == defaults.kdf)
            kdf = defaults;
        else if (function == BKdfId::PBKDF2)
            kdf = DatabaseKdfParameters::pbkdf2(DatabaseKdfParameters::DefaultPbkdf2Rounds);
        else
            kdf = DatabaseKdfParameters::argon2(DatabaseKdfParameters::FallbackArgon2Passes,
                                                DatabaseKdfParameters::DefaultArgon2MemoryKib,
                                                DatabaseKdfParameters::DefaultArgon2Parallelism);
    } else if (function != 0 && function != kdf.kdf) {
        kdf = function == BKdfId::PBKDF2
            ? DatabaseKdfParameters::pbkdf2(DatabaseKdfParameters::DefaultPbkdf2Rounds)
            : DatabaseKdfParameters::argon2(DatabaseKdfParameters::FallbackArgon2Passes,
                                            DatabaseKdfParameters::DefaultArgon2MemoryKib,
                                            DatabaseKdfParameters::DefaultArgon2Parallelism);
    }

    if (has("kdf-memory") || has("kdf-parallelism")) {
        if (!kdf.isArgon2())
            return usageError(tr("--kdf-memory and --kdf-parallelism apply to Argon2 only."));
        bool ok = true;
        if (has("kdf-memory")) {
            const qint64 mebibytes = value("kdf-memory").toLongLong(&ok);
            if (!ok || mebibytes < 1 || mebibytes * 1024 > DatabaseKdfParameters::MaxArgon2MemoryKib)
                return usageError(tr("The key derivation memory must be a whole number of MiB from 1 to %1.")
                                      .arg(DatabaseKdfParameters::MaxArgon2MemoryKib / 1024));
            kdf.memoryKib = int(mebibytes * 1024);
        }
        if (has("kdf-parallelism")) {
            const int lanes = value("kdf-parallelism").toInt(&ok);
            if (!ok || lanes < 1 || lanes > DatabaseKdfParameters::MaxArgon2Parallelism)
                return usageError(tr("The key derivation parallelism must be a whole number from 1 to %1.")
                                      .arg(DatabaseKdfParameters::MaxArgon2Parallelism));
            kdf.parallelism = lanes;
        }
    }

    if (byCount) {
        bool ok = false;
        const int rounds = value("rounds").toInt(&ok);
        if (!ok || rounds < 1)
            return usageError(tr("The number of rounds must be a positive integer."));
        kdf.rounds = rounds;
    } else if (byTime) {
        bool ok = false;
        const int milliseconds = value("kdf-time").toInt(&ok);
        if (!ok || milliseconds < minimumKdfTimeMs || milliseconds > maximumKdfTimeMs)
            return usageError(tr("The key derivation time must be a whole number of milliseconds from %1 to %2.")
                                  .arg(minimumKdfTimeMs)
                                  .arg(maximumKdfTimeMs));
        // As the database editor calibrates: the cipher key's length.
        BTaskController controller;
        BKDFCalibrateTask task(kdf.kdf, milliseconds, 32);
        task.setArgon2Parameters(kdf.memoryKib, kdf.parallelism);
        if (!kdf.problem().isEmpty() || task.run(&controller) != Success || task.rounds() < 1)
            return fail(tr("Failed to calibrate the key derivation rounds."));
        kdf.rounds = task.rounds();
    } else if (useDefaults && kdf.isArgon2() && !has("kdf-memory") && !has("kdf-parallelism")
               && !DatabaseKdfParameters::argon2DefaultCalibrated()) {
        // The default passes are found once on this computer, as the
        // program does, and kept for later vaults.
        BTaskController controller;
        BKDFCalibrateTask task(BKdfId::Argon2, 1000, 32);
        task.setArgon2Parameters(kdf.memoryKib, kdf.parallelism);
        if (task.run(&controller) == Success && task.rounds() >= BKDFCalibrateTask::MinArgon2Passes) {
            kdf.rounds = task.rounds();
            DatabaseKdfParameters::storeDefaultArgon2Passes(kdf.rounds);
        }
    }

    const QString problem = kdf.problem();
    if (!problem.isEmpty())
        return usageError(problem);
    return ExitSuccess;
}

int CommandLineClient::info(const Options& options)
{
    PasswordDatabase db;
    if (!loadHeader(options.positional.at(0), db))
        return ExitFailure;
    QString text;
    // The header is in clear text and anyone may have written it.
    QString note = TerminalText::block(db.getNote());
    note.replace(QLatin1Char('\n'), QLatin1String("\n  "));
    text += tr("Name: %1\n").arg(TerminalText::line(db.getName()));
    text += tr("Note: %1\n").arg(note);
    text += tr("Cipher: %1\n").arg(cipherName(db.getCipher()));
    text += tr("Key derivation: %1\n").arg(db.getKdfParameters().describe());
    text += tr("Format version: %1\n").arg(db.getFormatVersion());
    if (db.isLegacyFormat()) {
        text += tr("Warning: in format version %1 a password guess is checked with the HMAC key alone, which "
                   "costs %2 rounds of HMAC-Keccak-384 whatever the rounds above: %3 percent of the work of an "
                   "unlock. Run \"lockharbour-cli upgrade\" to make every guess cost the whole key derivation.\n")
                    .arg(db.getFormatVersion())
                    .arg(legacyGuessRounds)
                    .arg(QString::number(100.0 * legacyGuessRounds / qMax(1, db.getKdfRounds() + legacyGuessRounds),
                                         'g', 3));
    }
    print(text);
    return ExitSuccess;
}

int CommandLineClient::list(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;

    QList<PasswordDatabase::Item*> roots;
    if (options.positional.size() > 1) {
        PasswordDatabase::Group* group = findGroup(db, options.positional.at(1));
        if (!group)
            return ExitFailure;
        roots = group->getItems();
    } else {
        for (PasswordDatabase::Group* group : db.getItems())
            roots.append(group);
    }

    const bool numbered = options.values.contains(QStringLiteral("index"));
    const ItemAddress addresses(db);
    QString text;
    std::function<void(const QList<PasswordDatabase::Item*>&, int)> walk =
        [&](const QList<PasswordDatabase::Item*>& items, int depth) {
            for (PasswordDatabase::Item* item : items) {
                if (numbered)
                    text += addresses.number(item) + QLatin1Char(' ');
                text += QString(depth * 2, QLatin1Char(' '));
                if (item->getType() == groupType) {
                    text += TerminalText::line(item->getName()) + QLatin1String("/\n");
                    walk(static_cast<PasswordDatabase::Group*>(item)->getItems(), depth + 1);
                } else {
                    text += TerminalText::line(item->getName()) + QLatin1Char('\n');
                }
            }
        };
    walk(roots, 0);
    print(text);
    return ExitSuccess;
}

int CommandLineClient::show(const Options& options)
{
    const bool secrets = options.values.contains(QStringLiteral("show-secrets"));
    const bool oneField = options.values.contains(QStringLiteral("field"));
    const QString field = options.values.value(QStringLiteral("field"));
    if (oneField) {
        bool secret = false;
        QString error;
        if (!EntryFields::isField(field, secret, error))
            return usageError(error);
        if (secret && !secrets)
            return usageError(tr("The field \"%1\" is printed only with --show-secrets.").arg(field));
    }

    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    PasswordDatabase::Password* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;

    if (oneField) {
        // The password exactly as stored, for other programs; any other
        // field may reach a terminal, the note keeping its lines.
        QString value;
        if (field == QLatin1String("password"))
            value = EntryFields::value(field, *entry);
        else
            appendSafe(value, EntryFields::value(field, *entry), field == QLatin1String("note"));
        QByteArray bytes = value.toUtf8();
        write(bytes);
        wipe(bytes);
        wipe(value);
        return ExitSuccess;
    }

    QString text;
    const auto line = [&](const QString& label, const QString& value) {
        text += label;
        appendSafe(text, value);
        text += QLatin1Char('\n');
    };
    line(tr("Name: "), entry->getName());
    line(tr("Group: "), entry->getParent() ? entry->getParent()->getFullName() : QString());
    line(tr("User name: "), entry->getUsername());
    line(tr("Password: "), secrets ? entry->getPassword() : masked(entry->getPassword()));
    line(tr("E-mail: "), entry->getEmailAddress());
    line(tr("Phone: "), entry->getPhoneNumber());
    line(tr("URL: "), entry->getUrl());
    line(tr("Icon: "), entry->getIconId());
    line(tr("Expires: "), entry->isNeverExpire() ? tr("never") : entry->getExpireTime().toString(Qt::ISODate));
    line(tr("Attachment: "), entry->getAttachment().isValid() ? entry->getAttachment().getFileName() : QString());
    // Continuation lines are indented, so that no note can forge a field.
    QString note;
    appendSafe(note, entry->getNote(), true);
    note.replace(QLatin1Char('\n'), QLatin1String("\n  "));
    text += tr("Note: ");
    text += note;
    text += QLatin1Char('\n');
    wipe(note);
    QByteArray bytes = text.toUtf8();
    write(bytes);
    wipe(bytes);
    wipe(text);
    return ExitSuccess;
}

int CommandLineClient::totp(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    PasswordDatabase::Password* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    OtpAuthLink link;
    QString error;
    switch (link.parseNote(entry->getNote(), &error)) {
    case OtpAuthLink::NoLink:
        return fail(tr("The entry \"%1\" has no one-time code link: no line of its note begins with "
                       "otpauth://totp/.")
                        .arg(options.positional.at(1)));
    case OtpAuthLink::InvalidLink:
        return fail(tr("The one-time code link of \"%1\" cannot be used: %2").arg(options.positional.at(1), error));
    case OtpAuthLink::ValidLink:
        break;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QString code = link.code(now);
    QByteArray text = code.toUtf8() + '\n';
    if (options.values.contains(QStringLiteral("seconds")))
        text += QByteArray::number(link.secondsLeft(now)) + '\n';
    write(text);
    wipe(text);
    wipe(code);
    return ExitSuccess;
}

int CommandLineClient::search(const Options& options)
{
    int flags = PasswordDatabase::FindAllFields;
    if (options.values.contains(QStringLiteral("fields"))) {
        QString error;
        flags = EntryFields::findFlags(options.values.value(QStringLiteral("fields")), error);
        if (!flags)
            return usageError(error);
    }
    if (options.values.contains(QStringLiteral("match-case")))
        flags |= PasswordDatabase::FindCaseSensitive;

    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    const ItemAddress addresses(db);
    QString text;
    for (const PasswordDatabase::Password* entry : db.find(options.positional.at(1), flags))
        text += TerminalText::line(addresses.shortestAddress(entry)) + QLatin1Char('\n');
    print(text);
    return ExitSuccess;
}

int CommandLineClient::audit(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    const QList<const PasswordDatabase::Password*> entries = DatabaseReport::candidates(db);
    const bool fromList = options.values.contains(QStringLiteral("hibp"));
    const bool online = options.values.contains(QStringLiteral("hibp-online"));
    QHash<const PasswordDatabase::Password*, qint64> breaches;
    bool checkFailed = false;
    if (fromList || online) {
        // One digest per entry with a password; each is wiped after use.
        QList<const PasswordDatabase::Password*> hashed;
        QList<QByteArray> hashes;
        for (const PasswordDatabase::Password* entry : entries) {
            if (entry->getPassword().isEmpty())
                continue;
            hashed << entry;
            hashes << BreachedPasswordFile::sha1Hex(entry->getPassword());
        }
        if (fromList) {
            BreachedPasswordFile list;
            if (!list.open(options.values.value(QStringLiteral("hibp")))) {
                for (QByteArray& hash : hashes)
                    wipe(hash);
                return fail(list.errorText());
            }
            for (int i = 0; i < hashes.size(); ++i) {
                const qint64 count = list.lookup(hashes.at(i));
                if (count < 0) {
                    for (QByteArray& hash : hashes)
                        wipe(hash);
                    return fail(list.errorText());
                }
                if (count > 0)
                    breaches.insert(hashed.at(i), count);
            }
        }
        if (online) {
            const QString url = options.values.contains(QStringLiteral("hibp-url"))
                ? options.values.value(QStringLiteral("hibp-url"))
                : BreachedPasswordRangeTask::serviceBaseUrl();
            BreachedPasswordRangeTask task(url, hashes);
            BTaskController controller;
            if (task.run(&controller) == Success) {
                const QList<qint64> counts = task.counts();
                for (int i = 0; i < counts.size() && i < hashed.size(); ++i) {
                    if (counts.at(i) > 0)
                        breaches.insert(hashed.at(i), qMax(counts.at(i), breaches.value(hashed.at(i), 0)));
                }
            } else {
                // The report is still worth having without the online counts.
                fail(controller.errorMessage());
                checkFailed = true;
            }
        }
        for (QByteArray& hash : hashes)
            wipe(hash);
    }

    DatabaseReport report;
    report.build(db, QDateTime::currentDateTime(), breaches);
    QString text;
    for (const DatabaseReport::Finding& finding : report.findings()) {
        if (finding.kind == DatabaseReport::Expiring)
            continue;
        text += DatabaseReport::kindKey(finding.kind) + QLatin1Char('\t') + TerminalText::line(finding.password->getFullName())
            + QLatin1Char('\t') + TerminalText::line(finding.detail) + QLatin1Char('\n');
    }
    text += tr("%1 passwords: %2 weak, %3 reused, %4 expired, %5 expiring within %6 days, %7 breached; score %8/100\n")
                .arg(report.passwordCount())
                .arg(report.count(DatabaseReport::Weak))
                .arg(report.count(DatabaseReport::Reused))
                .arg(report.count(DatabaseReport::Expired))
                .arg(report.count(DatabaseReport::Expiring))
                .arg(DatabaseReport::expiringDays)
                .arg(fromList || online ? QString::number(report.count(DatabaseReport::Breached)) : tr("unchecked"))
                .arg(report.score());
    print(text);
    wipe(text);
    return checkFailed ? ExitFailure : ExitSuccess;
}

bool CommandLineClient::applyEntryFields(const Options& options, PasswordDatabase::Password& entry)
{
    QString error;
    if (EntryFields::apply(options.values, entry, error))
        return true;
    usageError(error);
    return false;
}

bool CommandLineClient::readEntryPassword(const Options& options, QString& secret, bool& given)
{
    const bool fromTerminal = options.values.contains(QStringLiteral("entry-password"));
    const bool fromInput = options.values.contains(QStringLiteral("entry-password-stdin"));
    const bool none = options.values.contains(QStringLiteral("no-password"));
    given = fromTerminal || fromInput || none;
    if (fromInput) {
        if (!readSecret(true, tr("Entry password: "), secret))
            return false;
        if (secret.isEmpty()) {
            fail(tr("The entry password read from standard input is empty; use --no-password for an entry "
                    "without one."));
            return false;
        }
        return true;
    }
    if (!fromTerminal)
        return true;
    return m_secrets.readNew(false, tr("Entry password: "), tr("Repeat the entry password: "),
                             tr("No entry password was typed; use --no-password for an entry without one."), secret);
}

int CommandLineClient::add(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString name = options.positional.at(2);
    if (name.isEmpty())
        return usageError(tr("An entry must have a name."));

    // Check the field values before asking for any password.
    auto entry = std::make_unique<PasswordDatabase::Password>();
    entry->setName(name);
    entry->setIconId(QStringLiteral("tessavond.key"));
    if (!applyEntryFields(options, *entry))
        return ExitUsage;

    int sources = 0;
    for (const char* option : { "generate", "entry-password", "entry-password-stdin", "no-password" }) {
        if (options.values.contains(QLatin1String(option)))
            ++sources;
    }
    if (sources == 0)
        return usageError(tr("Give the entry password with --entry-password (asked at the terminal), "
                             "--entry-password-stdin or --generate, or use --no-password for none."));
    if (sources > 1)
        return usageError(tr("Use only one of --generate, --entry-password, --entry-password-stdin and "
                             "--no-password."));
    const bool generated = options.values.contains(QStringLiteral("generate"));
    BPasswordGeneratorRandom generator;
    if (generated) {
        if (!applyGeneratorOptions(options, *generator.options()))
            return ExitUsage;
    } else {
        for (const QString& name : generatorValueOptions + generatorFlagOptions()) {
            if (options.values.contains(name))
                return usageError(tr("Option --%1 needs --generate.").arg(name));
        }
    }

    PasswordDatabase db;
    BFileLock writeLock;
    QString password;
    bool given = false;
    if (!openDatabase(path, options, db, &writeLock, [&] { return readEntryPassword(options, password, given); })) {
        wipe(password);
        return ExitFailure;
    }
    auto* group = findGroup(db, options.positional.at(1));
    if (!group) {
        wipe(password);
        return ExitFailure;
    }
    for (PasswordDatabase::Item* child : group->getItems()) {
        if (child->getType() == passwordType && child->getName() == name) {
            wipe(password);
            return fail(tr("The group already holds an entry named \"%1\".").arg(name));
        }
    }

    if (generated)
        password = generator.generatePassword();
    entry->setPassword(password);

    group->addItem(entry.release());
    db.setModified();
    const bool saved = saveDatabase(db, path);
    if (saved && generated && options.values.contains(QStringLiteral("show-secrets"))) {
        QByteArray line = password.toUtf8() + '\n';
        write(line);
        wipe(line);
    }
    wipe(password);
    return saved ? ExitSuccess : ExitFailure;
}

int CommandLineClient::edit(const Options& options)
{
    const QString path = options.positional.at(0);
    // Validate the options on a scratch entry before unlocking anything.
    {
        PasswordDatabase::Password scratch;
        if (!applyEntryFields(options, scratch))
            return ExitUsage;
    }
    // Options that only an entry has; a group takes --name and --note.
    bool entryOptions = false;
    for (const QString& option : EntryFields::valueOptions()) {
        if (option != QLatin1String("note") && options.values.contains(option))
            entryOptions = true;
    }
    int sources = 0;
    for (const char* option : { "entry-password", "entry-password-stdin", "no-password" }) {
        if (options.values.contains(QLatin1String(option))) {
            entryOptions = true;
            ++sources;
        }
    }
    if (sources > 1)
        return usageError(tr("Use only one of --entry-password, --entry-password-stdin and --no-password."));

    PasswordDatabase db;
    BFileLock writeLock;
    QString password;
    bool passwordGiven = false;
    if (!openDatabase(path, options, db, &writeLock,
                      [&] { return readEntryPassword(options, password, passwordGiven); })) {
        wipe(password);
        return ExitFailure;
    }
    PasswordDatabase::Item* item = findItem(db, options.positional.at(1), entryOptions ? passwordType : anyType);
    if (!item) {
        wipe(password);
        return ExitFailure;
    }
    const QString newName = options.values.value(QStringLiteral("name"));
    if (options.values.contains(QStringLiteral("name"))) {
        QList<PasswordDatabase::Item*> level;
        if (item->getParent()) {
            level = item->getParent()->getItems();
        } else {
            for (PasswordDatabase::Group* group : db.getItems())
                level.append(group);
        }
        for (PasswordDatabase::Item* sibling : qAsConst(level)) {
            if (sibling != item && sibling->getType() == item->getType() && sibling->getName() == newName) {
                wipe(password);
                return fail(item->isGroup() ? tr("There is already a group named \"%1\" there.").arg(newName)
                                            : tr("The group already holds an entry named \"%1\".").arg(newName));
            }
        }
    }

    if (item->isGroup()) {
        if (options.values.contains(QStringLiteral("name"))) {
            if (newName.isEmpty())
                return usageError(tr("A group must have a name."));
            item->setName(newName);
        }
        if (options.values.contains(QStringLiteral("note")))
            item->setNote(options.values.value(QStringLiteral("note")));
    } else {
        auto* entry = static_cast<PasswordDatabase::Password*>(item);
        const PasswordDatabase::Password before(*entry);
        applyEntryFields(options, *entry);
        if (passwordGiven)
            entry->setPassword(password);
        // As the program's editor: the entry as it was, when it changed.
        if (*entry != before && boolSetting(QLatin1String(backupModifiedKey), true))
            backupPassword(db, before);
    }
    wipe(password);
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::makeGroup(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString address = options.positional.at(1);
    if (address.isEmpty())
        return usageError(tr("A group must have a name."));
    // "/Personal/Finance - Cards" names the parent by path; otherwise
    // "Personal - Finance" makes Finance inside the existing group Personal.
    QStringList parts;
    bool groupOnly = false;
    const bool byPath = ItemAddress::splitPath(address, parts, groupOnly);
    QString parentAddress;
    QString name = address;
    if (byPath) {
        name = parts.takeLast();
        if (!parts.isEmpty()) {
            QStringList escaped;
            for (const QString& part : qAsConst(parts))
                escaped.append(ItemAddress::escapePart(part));
            parentAddress = QLatin1Char('/') + escaped.join(QLatin1Char('/')) + QLatin1Char('/');
        }
    } else {
        const QString separator = QStringLiteral(" - ");
        const int split = address.lastIndexOf(separator);
        if (split >= 0) {
            parentAddress = address.left(split);
            name = address.mid(split + separator.size());
        }
    }

    PasswordDatabase db;
    BFileLock writeLock;
    if (!openDatabase(path, options, db, &writeLock))
        return ExitFailure;

    PasswordDatabase::Group* parent = nullptr;
    if (!parentAddress.isEmpty()) {
        parent = findGroup(db, parentAddress);
        if (!parent)
            return ExitFailure;
    }
    QList<PasswordDatabase::Item*> siblings;
    if (parent) {
        siblings = parent->getItems();
    } else {
        for (PasswordDatabase::Group* group : db.getItems())
            siblings.append(group);
    }
    for (PasswordDatabase::Item* item : qAsConst(siblings)) {
        if (item->isGroup() && item->getName() == name)
            return fail(tr("The group \"%1\" already exists.").arg(address));
    }
    // Nor may the full name of the new group be one another group has.
    if (!byPath) {
        for (PasswordDatabase::Item* item : db.getAllItems()) {
            if (item->isGroup() && item->getFullName() == address)
                return fail(tr("The group \"%1\" already exists.").arg(address));
        }
    }

    auto* group = new PasswordDatabase::Group();
    group->setIconId(QStringLiteral("tessavond.web"));
    group->setName(name);
    if (parent)
        parent->addItem(group);
    else
        db.addItem(group);
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::remove(const Options& options)
{
    const QString path = options.positional.at(0);
    PasswordDatabase db;
    BFileLock writeLock;
    if (!openDatabase(path, options, db, &writeLock))
        return ExitFailure;
    PasswordDatabase::Item* item = findItem(db, options.positional.at(1), anyType);
    if (!item)
        return ExitFailure;
    if (item->isGroup() && !static_cast<PasswordDatabase::Group*>(item)->isEmpty()
        && !options.values.contains(QStringLiteral("recursive")))
        return fail(tr("The group \"%1\" is not empty; use --recursive to remove it with everything in it.")
                        .arg(options.positional.at(1)));

    // Decided while the item is still in place.
    const bool inBackupGroup = isInBackupGroup(*item);
    if (PasswordDatabase::Group* parent = item->getParent())
        parent->takeItem(item);
    else
        db.takeItem(static_cast<PasswordDatabase::Group*>(item));
    deleteWithBackup(db, item, inBackupGroup);
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

void CommandLineClient::deleteWithBackup(PasswordDatabase& db, PasswordDatabase::Item* item, bool inBackupGroup)
{
    if (!inBackupGroup && boolSetting(QLatin1String(backupDeletedKey), true)) {
        QList<PasswordDatabase::Item*> items { item };
        if (item->isGroup())
            items = static_cast<PasswordDatabase::Group*>(item)->getAllItems();
        for (const PasswordDatabase::Item* each : qAsConst(items)) {
            if (each->isPassword())
                backupPassword(db, *static_cast<const PasswordDatabase::Password*>(each));
        }
    }
    db.recordDeletion(*item);
    delete item;
}

int CommandLineClient::move(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString destination = options.positional.at(2);
    PasswordDatabase db;
    BFileLock writeLock;
    if (!openDatabase(path, options, db, &writeLock))
        return ExitFailure;
    PasswordDatabase::Item* item = findItem(db, options.positional.at(1), anyType);
    if (!item)
        return ExitFailure;

    // "/" is the top level, where only groups live.
    PasswordDatabase::Group* target = nullptr;
    if (destination != QLatin1String("/")) {
        target = findGroup(db, destination);
        if (!target)
            return ExitFailure;
    } else if (!item->isGroup()) {
        return fail(tr("Only groups can be at the top level; entries belong in a group."));
    }
    if (item->isGroup()) {
        for (const PasswordDatabase::Item* level = target; level; level = level->getParent()) {
            if (level == item)
                return fail(tr("A group cannot be moved into itself or into a group inside it."));
        }
    }
    QList<PasswordDatabase::Item*> siblings;
    if (target) {
        siblings = target->getItems();
    } else {
        for (PasswordDatabase::Group* group : db.getItems())
            siblings.append(group);
    }
    for (const PasswordDatabase::Item* sibling : qAsConst(siblings)) {
        if (sibling != item && sibling->getType() == item->getType() && sibling->getName() == item->getName())
            return fail(tr("The destination already holds an item named \"%1\".")
                            .arg(TerminalText::line(item->getName())));
    }

    if (PasswordDatabase::Group* parent = item->getParent())
        parent->takeItem(item);
    else
        db.takeItem(static_cast<PasswordDatabase::Group*>(item));
    if (target)
        target->addItem(item);
    else
        db.addItem(static_cast<PasswordDatabase::Group*>(item));
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::attach(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString file = options.positional.at(2);
    PasswordDatabase::Password::Attachment attachment;
    QString error;
    if (!attachment.loadFromFile(file, &error))
        return fail(error);

    PasswordDatabase db;
    BFileLock writeLock;
    if (!openDatabase(path, options, db, &writeLock))
        return ExitFailure;
    auto* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    const QString replaced = entry->getAttachment().isValid() ? entry->getAttachment().getFileName() : QString();
    const bool hadAttachment = entry->getAttachment().isValid();
    entry->setAttachment(attachment);
    db.setModified();
    if (!saveDatabase(db, path))
        return ExitFailure;
    if (hadAttachment)
        m_error->write(tr("Replaced the attached file \"%1\".\n").arg(TerminalText::line(replaced)).toUtf8());
    return ExitSuccess;
}

int CommandLineClient::extract(const Options& options)
{
    const QString out = options.positional.at(2);
    // Devices and pipes are written as streams; only files are replaced.
    const QFileInfo target(out);
    // The decoded file is a secret: never written through a link, which may
    // lead anywhere (a link to a device such as /dev/stdout is a stream).
    if (target.isSymLink() && (!target.exists() || target.isFile()))
        return fail(tr("\"%1\" is a symbolic link; the attached file is not written through it.").arg(out));
    if (target.exists() && target.isFile() && !options.values.contains(QStringLiteral("force")))
        return fail(tr("The file \"%1\" already exists; use --force to replace it.").arg(out));

    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    auto* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    const PasswordDatabase::Password::Attachment& attachment = entry->getAttachment();
    if (!attachment.isValid())
        return fail(tr("The entry \"%1\" has no attachment.").arg(options.positional.at(1)));
    QString error;
    if (!attachment.saveToFile(out, &error))
        return fail(error);
    return ExitSuccess;
}

int CommandLineClient::changePassword(const Options& options)
{
    const QString path = options.positional.at(0);
    int cipher = -1;
    if (options.values.contains(QStringLiteral("cipher"))) {
        cipher = cipherId(options.values.value(QStringLiteral("cipher")));
        if (cipher == BCipherId::None)
            return usageError(tr("Unknown cipher \"%1\".").arg(options.values.value(QStringLiteral("cipher"))));
    }
    // The options are checked against the header before any password is
    // asked for.
    PasswordDatabase header;
    if (!loadHeader(path, header))
        return ExitFailure;
    const bool upgrading = m_command == QLatin1String("upgrade");
    if (upgrading && !header.isLegacyFormat()) {
        m_error->write(tr("\"%1\" already uses format version %2.\n")
                           .arg(path)
                           .arg(header.getFileFormatVersion())
                           .toUtf8());
        return ExitSuccess;
    }
    DatabaseKdfParameters kdf = header.getKdfParameters();
    const int kdfResult = readKdf(options, upgrading, header.isLegacyFormat() && !upgrading, kdf);
    if (kdfResult != ExitSuccess)
        return kdfResult;

    PasswordDatabase db;
    BFileLock writeLock;
    QString password;
    const bool fromInput = options.values.contains(QStringLiteral("password-stdin"));
    if (!openDatabase(path, options, db, &writeLock, [&] { return readNewSecret(fromInput, password); })) {
        wipe(password);
        return ExitFailure;
    }
    // What was read under the lock counts, should the file have changed.
    if (!upgrading && !options.values.contains(QStringLiteral("kdf")) && db.getKdf() != kdf.kdf)
        kdf = db.getKdfParameters();
    return setPasswordAndSave(db, path, password, cipher < 0 ? db.getCipher() : cipher, kdf,
                              BFileWriteMode::ReplaceExisting,
                              upgrading ? CurrentDatabaseFormatVersion : 0);
}

int CommandLineClient::upgrade(const Options& options)
{
    return changePassword(options);
}

int CommandLineClient::setPasswordAndSave(PasswordDatabase& db, const QString& path, QString& password,
                                          int cipher, const DatabaseKdfParameters& kdf, BFileWriteMode mode,
                                          int formatVersion)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, password, cipher, kdf, formatVersion);
    const BTaskResult result = task.run(&controller);
    wipe(password);
    if (result != Success)
        return fail(controller.errorMessage().isEmpty() ? tr("Failed to set password on database.")
                                                        : controller.errorMessage());
    return saveDatabase(db, path, mode) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::exportTree(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    QByteArray json = QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Indented);
    write(json);
    wipe(json);
    return ExitSuccess;
}

bool CommandLineClient::unlockWith(PasswordDatabase& db, const QString& password, QString& error)
{
    BTaskController controller;
    PasswordDatabaseUnlockTask task(db, password);
    if (task.run(&controller) == Success)
        return true;
    error = controller.errorMessage().isEmpty() ? tr("Failed to unlock database with that password.")
                                                : controller.errorMessage();
    return false;
}

int CommandLineClient::mergeFiles(const Options& options)
{
    const QString path = options.positional.at(0);
    const QStringList sourcePaths = options.positional.mid(1);
    const bool dryRun = options.values.contains(QStringLiteral("dry-run"));
    const bool fromInput = options.values.contains(QStringLiteral("password-stdin"));
    if (!dryRun && isReadOnlyFile(path))
        return fail(tr("The file \"%1\" is read-only: it is left unchanged.").arg(path));

    PasswordDatabase db;
    if (!loadHeader(path, db))
        return ExitFailure;
    QString password;
    if (!readSecret(fromInput, tr("Master password: "), password))
        return ExitFailure;

    // Every source is opened before the lock is taken: nobody waits on a
    // prompt while DEST is locked.
    std::vector<std::unique_ptr<PasswordDatabase>> sources;
    for (const QString& sourcePath : sourcePaths) {
        auto source = std::make_unique<PasswordDatabase>();
        QString error;
        if (!loadHeader(sourcePath, *source)) {
            wipe(password);
            return ExitFailure;
        }
        if (!unlockWith(*source, password, error)) {
            QString other;
            if (!readSecret(fromInput, tr("Master password of %1: ").arg(TerminalText::line(sourcePath)), other)) {
                wipe(password);
                return ExitFailure;
            }
            const bool unlocked = unlockWith(*source, other, error);
            wipe(other);
            if (!unlocked) {
                wipe(password);
                return fail(tr("%1: %2").arg(TerminalText::line(sourcePath), error));
            }
        }
        sources.push_back(std::move(source));
    }

    BFileLock writeLock;
    QString error;
    if (!dryRun && (!writeLock.lock(path, m_lockWaitMs, error) || !loadHeader(path, db))) {
        wipe(password);
        return error.isEmpty() ? ExitFailure : fail(error);
    }
    const bool unlocked = unlockWith(db, password, error);
    wipe(password);
    if (!unlocked)
        return fail(error);

    for (int i = 0; i < int(sources.size()); ++i) {
        const PasswordDatabaseMerge::Summary summary = PasswordDatabaseMerge::merge(db, *sources[size_t(i)]);
        print(tr("%1: %2 added, %3 updated, %4 deleted, %5 kept as conflicts\n")
                  .arg(TerminalText::line(sourcePaths.at(i)))
                  .arg(summary.added)
                  .arg(summary.updated)
                  .arg(summary.deleted)
                  .arg(summary.conflicts));
        if (dryRun) {
            for (const QString& line : summary.details)
                print(QStringLiteral("  %1\n").arg(TerminalText::line(line)));
        }
    }
    if (dryRun || !db.isModified())
        return ExitSuccess;
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::importJson(const Options& options)
{
    const QString source = options.positional.at(0);
    const QString path = options.positional.at(1);
    if (options.values.contains(QStringLiteral("name")) && options.values.value(QStringLiteral("name")).isEmpty())
        return usageError(tr("A database must have a name."));
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return fail(tr("The file \"%1\" already exists.").arg(path));

    // Everything is read and checked before any password is asked for.
    QList<PasswordDatabase::Group*> groups;
    QList<PasswordDatabase::Deletion> deletions;
    QString error;
    if (!JsonTreeImport::readFile(source, groups, error, &deletions))
        return fail(error);
    PasswordDatabase db;
    {
        // The tree comes over as it was exported: ids, times and deletions.
        const PasswordDatabase::Item::StampFreeze freeze;
        for (PasswordDatabase::Group* group : qAsConst(groups))
            db.addItem(group);
    }
    db.setDeletions(deletions);
    db.setName(options.values.value(QStringLiteral("name"), QFileInfo(path).completeBaseName()));
    db.setNote(options.values.value(QStringLiteral("note")));
    return createFile(db, path, options);
}

namespace {

// The loader factory, registered while one command uses it.
class LoaderFactoryRegistration
{
public:
    LoaderFactoryRegistration()
        : m_registered(PasswordDatabaseLoaderPlugin::Factory::install())
    {
    }
    ~LoaderFactoryRegistration()
    {
        if (m_registered)
            PasswordDatabaseLoaderPlugin::Factory::uninstall();
    }
    LoaderFactoryRegistration(const LoaderFactoryRegistration&) = delete;
    LoaderFactoryRegistration& operator=(const LoaderFactoryRegistration&) = delete;

private:
    bool m_registered;
};

// A plugin loaded for one command: unloaded (its option values saved) at
// the end, as the program does at shutdown.
class LoadedPlugin
{
public:
    explicit LoadedPlugin(BPlugin* plugin)
        : m_plugin(plugin)
    {
    }
    ~LoadedPlugin()
    {
        if (m_plugin)
            unloadPlugin(m_plugin);
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

private:
    BPlugin* m_plugin;
};

} // namespace

int CommandLineClient::importWithPlugin(const Options& options)
{
    const QString source = options.positional.at(0);
    const QString path = options.positional.at(1);
    const QString pluginPath = options.values.value(QStringLiteral("plugin"));
    if (pluginPath.isEmpty())
        return usageError(tr("An import needs a loader plugin (--plugin FILE.tvp)."));
    if (!options.values.contains(QStringLiteral("name")) || options.values.value(QStringLiteral("name")).isEmpty())
        return usageError(tr("A new database needs a name (--name)."));
    if (options.values.contains(QStringLiteral("cipher"))
        && cipherId(options.values.value(QStringLiteral("cipher"))) == BCipherId::None)
        return usageError(tr("Unknown cipher \"%1\".").arg(options.values.value(QStringLiteral("cipher"))));
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return fail(tr("The file \"%1\" already exists.").arg(path));

    BPluginMetadata metadata;
    QString error;
    if (!metadata.load(pluginPath, error))
        return fail(tr("Failed to load the plugin \"%1\": %2").arg(pluginPath, error));
    if (metadata.className != PasswordDatabaseLoaderPlugin::Factory::staticTypeId())
        return fail(tr("The plugin \"%1\" is not a database loader.").arg(pluginPath));
    LoaderFactoryRegistration registration;
    BPlugin* plugin = createPlugin(metadata, error);
    if (!plugin) {
        return fail(error.isEmpty() ? tr("Failed to load the plugin \"%1\".").arg(pluginPath)
                                    : tr("Failed to load the plugin \"%1\": %2").arg(pluginPath, error));
    }
    LoadedPlugin loaded(plugin);
    auto* loader = static_cast<PasswordDatabaseLoaderPlugin*>(plugin);

    // The suffix as written in the file name, compared exactly as the
    // program does.
    const QString suffix = QFileInfo(source).suffix();
    if (!loader->fileExtensions().contains(suffix)) {
        return fail(tr("The plugin \"%1\" does not read \"%2\": it reads files ending in %3.")
                        .arg(metadata.name, source, loader->fileExtensions().join(QStringLiteral(", "))));
    }
    QByteArray data;
    if (!readRegularFile(source, PasswordDatabaseLoaderPlugin::MaxImportFileSize, data, error))
        return fail(error);

    PasswordDatabase db;
    db.setName(options.values.value(QStringLiteral("name")));
    bool loadedData = false;
    {
        const bool interactive = m_secrets.inputIsTerminal() && !options.values.contains(QStringLiteral("password-stdin"));
        TerminalScriptUserInterface userInterface(m_input, m_error, m_prompt, interactive);
        ScriptUserInterface::Installation installation(&userInterface);
        loadedData = loader->loadDatabase(data, suffix, db);
    }
    wipe(data);
    if (!loadedData) {
        const QString reason = loader->lastError();
        return fail(reason.isEmpty() ? tr("The plugin failed to import \"%1\".").arg(source)
                                     : tr("The plugin failed to import \"%1\": %2").arg(source, reason));
    }
    return createFile(db, path, options);
}

bool CommandLineClient::applyGeneratorOptions(const Options& options, BOption& set)
{
    if (options.values.contains(QStringLiteral("length"))) {
        BOption* length = set.option(QStringLiteral("length"));
        bool ok = false;
        const int value = options.values.value(QStringLiteral("length")).toInt(&ok);
        if (!ok || value < length->intMinimum() || value > length->intMaximum()) {
            usageError(tr("The length must be a whole number from %1 to %2.")
                           .arg(length->intMinimum())
                           .arg(length->intMaximum()));
            return false;
        }
        length->setInt(value);
    }
    for (const auto& entry : generatorFlags) {
        if (options.values.contains(QLatin1String(entry.flag)))
            set.option(QLatin1String(entry.option))->setBool(false);
    }
    if (BPasswordGeneratorRandom::characterSet(set).isEmpty()) {
        usageError(tr("No characters left to draw from: every character class is switched off."));
        return false;
    }
    return true;
}

int CommandLineClient::generate(const Options& options)
{
    int count = 1;
    if (options.values.contains(QStringLiteral("count"))) {
        bool ok = false;
        count = options.values.value(QStringLiteral("count")).toInt(&ok);
        if (!ok || count < 1 || count > maximumCount)
            return usageError(tr("The count must be a whole number from 1 to %1.").arg(maximumCount));
    }
    BPasswordGeneratorRandom generator;
    if (!applyGeneratorOptions(options, *generator.options()))
        return ExitUsage;
    for (int i = 0; i < count; ++i) {
        QString password = generator.generatePassword();
        QByteArray line = password.toUtf8() + '\n';
        write(line);
        wipe(line);
        wipe(password);
    }
    return ExitSuccess;
}

int CommandLineClient::estimate(const Options&)
{
    // A terminal gets a prompt without echo; a pipe or file gives its first line.
    QString password;
    if (!readSecret(!m_secrets.inputIsTerminal(), tr("Password: "), password))
        return ExitFailure;
    double entropy = 0.0;
    int rating = 0;
    double fraction = 0.0;
    QString feedback;
    ratePassword(password, entropy, rating, fraction, feedback);
    wipe(password);

    QString text = QStringLiteral("entropy: %1\nrating: %2\nwarning: %3\n")
                       .arg(QString::number(entropy, 'f', 1), ratingName(rating), feedback);
    QByteArray bytes = text.toUtf8();
    write(bytes);
    wipe(bytes);
    wipe(text);
    wipe(feedback);
    return ExitSuccess;
}

bool CommandLineClient::readSecret(bool fromInput, const QString& label, QString& secret)
{
    return m_secrets.read(fromInput, label, secret);
}

bool CommandLineClient::readNewSecret(bool fromInput, QString& secret)
{
    return m_secrets.readNew(fromInput, tr("New master password: "), tr("Repeat the new master password: "),
                             tr("A password is required to protect the database."), secret);
}

bool CommandLineClient::loadHeader(const QString& path, PasswordDatabase& db, QByteArray* bytes)
{
    BTaskController controller;
    if (bytes ? db.loadBytes(path, *bytes, &controller) : db.load(path, &controller))
        return true;
    fail(controller.errorMessage().isEmpty()
             ? tr("Failed to load the password database file. It may be corrupted or has been tampered with.")
             : controller.errorMessage());
    return false;
}

bool CommandLineClient::openDatabase(const QString& path, const Options& options, PasswordDatabase& db,
                                     BFileLock* writeLock, const std::function<bool()>& readMore)
{
    // A command that would change the vault stops before any question.
    if (writeLock && isReadOnlyFile(path)) {
        fail(tr("The file \"%1\" is read-only: it is left unchanged.").arg(path));
        return false;
    }
    // A change command keeps the bytes it read, to tell under the lock
    // whether the file changed in the meantime.
    QByteArray firstBytes;
    if (writeLock) {
        QString error;
        if (!readRegularFile(path, PasswordDatabase::MaxFileSize, firstBytes, error)) {
            fail(error);
            return false;
        }
    }
    if (!loadHeader(path, db, writeLock ? &firstBytes : nullptr))
        return false;
    const bool fromInput = options.values.contains(QStringLiteral("password-stdin"));
    QString password;
    if (!readSecret(fromInput, tr("Master password: "), password))
        return false;
    if (fromInput && password.isEmpty()) {
        fail(tr("The master password read from standard input is empty."));
        return false;
    }
    if (readMore && !readMore()) {
        wipe(password);
        return false;
    }
    if (writeLock) {
        // Held until the command ends, and taken only once every answer is
        // typed: no other writer's change can fall between this read and
        // the save, and nobody waits on a prompt.
        QString error;
        if (!writeLock->lock(path, m_lockWaitMs, error)) {
            wipe(password);
            fail(error);
            return false;
        }
        // Read again only when another writer changed the file before the
        // lock was taken: its bytes are what counts, not its name or times.
        QByteArray lockedBytes;
        if (!readRegularFile(path, PasswordDatabase::MaxFileSize, lockedBytes, error)) {
            wipe(password);
            fail(error);
            return false;
        }
        const bool changed = lockedBytes != firstBytes;
        firstBytes = QByteArray();
        if (changed && !loadHeader(path, db, &lockedBytes)) { // as the previous writer left it
            wipe(password);
            return false;
        }
    }
    BTaskController controller;
    PasswordDatabaseUnlockTask task(db, password);
    const BTaskResult result = task.run(&controller);
    wipe(password);
    if (result != Success) {
        fail(controller.errorMessage().isEmpty() ? tr("Failed to unlock database with that password.")
                                                 : controller.errorMessage());
        return false;
    }
    return true;
}

bool CommandLineClient::saveDatabase(PasswordDatabase& db, const QString& path, BFileWriteMode mode)
{
    QString error;
    if (db.save(path, &error, mode))
        return true;
    fail(tr("Failed to save the password database: %1").arg(error));
    return false;
}

PasswordDatabase::Item* CommandLineClient::findItem(PasswordDatabase& db, const QString& address, int type)
{
    const ItemAddress addresses(db);
    const QList<PasswordDatabase::Item*> found = addresses.resolve(address, type);
    if (found.size() == 1)
        return found.first();
    const QString what = type == groupType ? tr("group") : type == passwordType ? tr("entry") : tr("item");
    if (found.isEmpty()) {
        fail(tr("There is no %1 named \"%2\".").arg(what, TerminalText::line(address)));
        return nullptr;
    }
    // Each candidate by a form that names it alone.
    QString text = tr("The name \"%1\" is ambiguous: %2 items have it. Name one of them by its path or number:")
                       .arg(TerminalText::line(address), QString::number(found.size()));
    for (const PasswordDatabase::Item* item : found)
        text += QStringLiteral("\n  %1  %2").arg(addresses.number(item), TerminalText::line(ItemAddress::path(item)));
    fail(text);
    return nullptr;
}

PasswordDatabase::Group* CommandLineClient::findGroup(PasswordDatabase& db, const QString& address)
{
    return static_cast<PasswordDatabase::Group*>(findItem(db, address, groupType));
}

PasswordDatabase::Password* CommandLineClient::findEntry(PasswordDatabase& db, const QString& address)
{
    return static_cast<PasswordDatabase::Password*>(findItem(db, address, passwordType));
}

int CommandLineClient::fail(const QString& message)
{
    m_error->write(TerminalText::block(message).toUtf8() + '\n');
    return ExitFailure;
}

int CommandLineClient::usageError(const QString& message)
{
    QByteArray text;
    if (!message.isEmpty())
        text = TerminalText::block(message).toUtf8() + '\n';
    // The command's own usage when there is one, not the whole list.
    const QString help = m_command.isEmpty() ? QString() : CommandHelp::command(m_command);
    text += (help.isEmpty() ? usage() : help).toUtf8();
    m_error->write(text);
    return ExitUsage;
}

void CommandLineClient::print(const QString& text)
{
    write(text.toUtf8());
}

void CommandLineClient::write(const QByteArray& bytes)
{
    if (m_output->write(bytes) != bytes.size())
        m_outputFailed = true;
}

bool CommandLineClient::flushOutput()
{
    auto* file = qobject_cast<QFileDevice*>(m_output);
    if (file && !file->flush())
        m_outputFailed = true;
    if (!m_outputFailed)
        return true;
    const QString reason = file ? file->errorString() : m_output->errorString();
    fail(tr("Cannot write the output: %1").arg(reason));
    return false;
}
