#include "app/cli/CommandLineClient.h"

#include "app/cli/PasswordPrompt.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BPassword.h"
#include "blib/password/BPasswordGeneratorRandom.h"
#include "blib/task/BTaskController.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonDocument>
#include <functional>
#include <memory>
#include <unistd.h>

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

const QStringList entryValueOptions { QStringLiteral("username"), QStringLiteral("email"),
                                      QStringLiteral("phone"), QStringLiteral("url"),
                                      QStringLiteral("note"), QStringLiteral("expires") };

QString masked(const QString& text)
{
    return text.isEmpty() ? QString() : QStringLiteral("********");
}

// Parses an ISO 8601 date ("2027-01-31") or date and time
// ("2027-01-31T12:00:00", local time unless a zone is given).
bool parseExpiry(const QString& text, QDateTime& result)
{
    QDateTime dateTime = QDateTime::fromString(text, Qt::ISODate);
    if (!dateTime.isValid()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (!date.isValid())
            return false;
        dateTime = date.startOfDay();
    }
    result = dateTime;
    return true;
}

} // namespace

CommandLineClient::CommandLineClient(QIODevice* input, QIODevice* output, QIODevice* error,
                                     PasswordPrompt* prompt)
    : m_input(input)
    , m_output(output)
    , m_error(error)
    , m_prompt(prompt)
{
}

QString CommandLineClient::usage()
{
    return QStringLiteral(
        "Usage: lockharbour-cli COMMAND FILE [ARGUMENTS] [--password-stdin]\n"
        "  create FILE --name NAME [--note TEXT] [--cipher AES-256|Twofish-256] [--rounds N]\n"
        "  info FILE\n"
        "  ls FILE [GROUP]\n"
        "  show FILE ENTRY [--show-secrets]\n"
        "  add FILE GROUP NAME [--username U] [--email E] [--phone P] [--url U] [--note N]\n"
        "                      [--expires ISO-DATE|never] [--entry-password-stdin]\n"
        "                      [--generate [GENERATOR OPTIONS] [--show-secrets]]\n"
        "  edit FILE ENTRY [the field options of add] [--name NAME]\n"
        "  mkgroup FILE GROUP\n"
        "  rm FILE ITEM\n"
        "  attach FILE ENTRY PATH\n"
        "  extract FILE ENTRY OUT\n"
        "  passwd FILE [--cipher AES-256|Twofish-256] [--rounds N]\n"
        "  export FILE\n"
        "  generate [GENERATOR OPTIONS] [--count K]\n"
        "  estimate   (reads one password from standard input)\n"
        "Generator options: --length N (1-100, default 13) --no-lowercase --no-uppercase\n"
        "  --no-numbers --no-minus --no-underscore --no-special\n"
        "Groups and entries are named by their full name, e.g. \"Personal - Finance - Bank\".\n"
        "The master password is read from the terminal, or with --password-stdin from the\n"
        "first line of standard input; a second line gives the entry password of\n"
        "add/edit --entry-password-stdin or the new master password of passwd.\n");
}

int CommandLineClient::run(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return usageError(QString());
    const QString command = arguments.first();
    if (command == QLatin1String("help") || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        print(usage());
        return ExitSuccess;
    }

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
    const QString stdinFlag = QStringLiteral("password-stdin");
    const QString entryStdinFlag = QStringLiteral("entry-password-stdin");
    const Command commands[] = {
        { "create", { QStringLiteral("name"), QStringLiteral("note"), QStringLiteral("cipher"), QStringLiteral("rounds") },
          { stdinFlag }, 1, 1, &CommandLineClient::create },
        { "info", {}, {}, 1, 1, &CommandLineClient::info },
        { "ls", {}, { stdinFlag }, 1, 2, &CommandLineClient::list },
        { "show", {}, { stdinFlag, QStringLiteral("show-secrets") }, 2, 2, &CommandLineClient::show },
        { "add", entryValueOptions + generatorValueOptions,
          QStringList { stdinFlag, entryStdinFlag, QStringLiteral("generate"), QStringLiteral("show-secrets") }
              + generatorFlagOptions(),
          3, 3, &CommandLineClient::add },
        { "edit", entryValueOptions + QStringList { QStringLiteral("name") }, { stdinFlag, entryStdinFlag }, 2, 2,
          &CommandLineClient::edit },
        { "mkgroup", {}, { stdinFlag }, 2, 2, &CommandLineClient::makeGroup },
        { "rm", {}, { stdinFlag }, 2, 2, &CommandLineClient::remove },
        { "attach", {}, { stdinFlag }, 3, 3, &CommandLineClient::attach },
        { "extract", {}, { stdinFlag }, 3, 3, &CommandLineClient::extract },
        { "passwd", { QStringLiteral("cipher"), QStringLiteral("rounds") }, { stdinFlag }, 1, 1,
          &CommandLineClient::changePassword },
        { "export", {}, { stdinFlag }, 1, 1, &CommandLineClient::exportTree },
        { "generate", generatorValueOptions + QStringList { QStringLiteral("count") }, generatorFlagOptions(), 0, 0,
          &CommandLineClient::generate },
        { "estimate", {}, {}, 0, 0, &CommandLineClient::estimate },
    };

    for (const Command& entry : commands) {
        if (command != QLatin1String(entry.name))
            continue;
        Options options;
        if (!parse(arguments.mid(1), entry.valueOptions, entry.flagOptions, entry.minPositional,
                   entry.maxPositional, options))
            return ExitUsage;
        return (this->*entry.handler)(options);
    }
    return usageError(tr("Unknown command \"%1\".").arg(command));
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

    int cipher = BCipherId::AES_256;
    if (options.values.contains(QStringLiteral("cipher"))) {
        cipher = cipherId(options.values.value(QStringLiteral("cipher")));
        if (cipher == BCipherId::None)
            return usageError(tr("Unknown cipher \"%1\".").arg(options.values.value(QStringLiteral("cipher"))));
    }

    PasswordDatabase db;
    int rounds = db.getKdfRounds();
    if (options.values.contains(QStringLiteral("rounds"))) {
        bool ok = false;
        rounds = options.values.value(QStringLiteral("rounds")).toInt(&ok);
        if (!ok || rounds < 1)
            return usageError(tr("The number of rounds must be a positive integer."));
    }

    QString password;
    if (!readNewSecret(options.values.contains(QStringLiteral("password-stdin")), password))
        return ExitFailure;

    db.setName(options.values.value(QStringLiteral("name")));
    db.setNote(options.values.value(QStringLiteral("note")));
    return setPasswordAndSave(db, path, password, cipher, BKdfId::PBKDF2, rounds);
}

int CommandLineClient::info(const Options& options)
{
    PasswordDatabase db;
    if (!loadHeader(options.positional.at(0), db))
        return ExitFailure;
    QString text;
    text += tr("Name: %1\n").arg(db.getName());
    text += tr("Note: %1\n").arg(db.getNote());
    text += tr("Cipher: %1\n").arg(cipherName(db.getCipher()));
    text += tr("Key derivation: %1, %2 rounds\n").arg(kdfName(db.getKdf())).arg(db.getKdfRounds());
    text += tr("Format version: %1\n").arg(db.getFormatVersion());
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

    QString text;
    std::function<void(const QList<PasswordDatabase::Item*>&, int)> walk =
        [&](const QList<PasswordDatabase::Item*>& items, int depth) {
            for (PasswordDatabase::Item* item : items) {
                text += QString(depth * 2, QLatin1Char(' '));
                if (item->getType() == groupType) {
                    text += item->getName() + QLatin1String("/\n");
                    walk(static_cast<PasswordDatabase::Group*>(item)->getItems(), depth + 1);
                } else {
                    text += item->getName() + QLatin1Char('\n');
                }
            }
        };
    walk(roots, 0);
    print(text);
    return ExitSuccess;
}

int CommandLineClient::show(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    PasswordDatabase::Password* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    const bool secrets = options.values.contains(QStringLiteral("show-secrets"));

    QString text;
    text += tr("Name: %1\n").arg(entry->getName());
    text += tr("Group: %1\n").arg(entry->getParent() ? entry->getParent()->getFullName() : QString());
    text += tr("User name: %1\n").arg(secrets ? entry->getUsername() : masked(entry->getUsername()));
    text += tr("Password: %1\n").arg(secrets ? entry->getPassword() : masked(entry->getPassword()));
    text += tr("E-mail: %1\n").arg(entry->getEmailAddress());
    text += tr("Phone: %1\n").arg(entry->getPhoneNumber());
    text += tr("URL: %1\n").arg(entry->getUrl());
    text += tr("Icon: %1\n").arg(entry->getIconId());
    text += tr("Expires: %1\n").arg(entry->isNeverExpire() ? tr("never")
                                                            : entry->getExpireTime().toString(Qt::ISODate));
    text += tr("Attachment: %1\n").arg(entry->getAttachment().isValid() ? entry->getAttachment().getFileName()
                                                                         : QString());
    QString note = entry->getNote();
    note.replace(QLatin1Char('\n'), QLatin1String("\n  "));
    text += tr("Note: %1\n").arg(note);
    print(text);
    return ExitSuccess;
}

bool CommandLineClient::applyEntryFields(const Options& options, PasswordDatabase::Password& entry)
{
    if (options.values.contains(QStringLiteral("expires"))) {
        const QString value = options.values.value(QStringLiteral("expires"));
        if (value == QLatin1String("never")) {
            entry.setNeverExpire(true);
        } else {
            QDateTime expiry;
            if (!parseExpiry(value, expiry)) {
                usageError(tr("\"%1\" is not an ISO date such as 2027-01-31.").arg(value));
                return false;
            }
            entry.setNeverExpire(false);
            entry.setExpireTime(expiry);
        }
    }
    if (options.values.contains(QStringLiteral("name"))) {
        if (options.values.value(QStringLiteral("name")).isEmpty()) {
            usageError(tr("An entry must have a name."));
            return false;
        }
        entry.setName(options.values.value(QStringLiteral("name")));
    }
    if (options.values.contains(QStringLiteral("username")))
        entry.setUsername(options.values.value(QStringLiteral("username")));
    if (options.values.contains(QStringLiteral("email")))
        entry.setEmailAddress(options.values.value(QStringLiteral("email")));
    if (options.values.contains(QStringLiteral("phone")))
        entry.setPhoneNumber(options.values.value(QStringLiteral("phone")));
    if (options.values.contains(QStringLiteral("url")))
        entry.setUrl(options.values.value(QStringLiteral("url")));
    if (options.values.contains(QStringLiteral("note")))
        entry.setNote(options.values.value(QStringLiteral("note")));
    return true;
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

    const bool generated = options.values.contains(QStringLiteral("generate"));
    BPasswordGeneratorRandom generator;
    if (generated) {
        if (options.values.contains(QStringLiteral("entry-password-stdin")))
            return usageError(tr("Use either --generate or --entry-password-stdin, not both."));
        if (!applyGeneratorOptions(options, *generator.options()))
            return ExitUsage;
    } else {
        for (const QString& name : generatorValueOptions + generatorFlagOptions()) {
            if (options.values.contains(name))
                return usageError(tr("Option --%1 needs --generate.").arg(name));
        }
    }

    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;
    auto* group = findGroup(db, options.positional.at(1));
    if (!group)
        return ExitFailure;
    for (PasswordDatabase::Item* child : group->getItems()) {
        if (child->getType() == passwordType && child->getName() == name)
            return fail(tr("The group already holds an entry named \"%1\".").arg(name));
    }

    if (options.values.contains(QStringLiteral("entry-password-stdin"))) {
        QString secret;
        if (!readSecret(true, tr("Entry password: "), secret))
            return ExitFailure;
        entry->setPassword(secret);
        wipe(secret);
    }
    QString password;
    if (generated) {
        password = generator.generatePassword();
        entry->setPassword(password);
    }

    group->addItem(entry.release());
    db.setModified();
    const bool saved = saveDatabase(db, path);
    if (saved && generated && options.values.contains(QStringLiteral("show-secrets"))) {
        QByteArray line = password.toUtf8() + '\n';
        m_output->write(line);
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

    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;
    auto* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    if (options.values.contains(QStringLiteral("name"))) {
        const QString newName = options.values.value(QStringLiteral("name"));
        for (PasswordDatabase::Item* sibling : entry->getParent()->getItems()) {
            if (sibling != entry && sibling->getType() == passwordType && sibling->getName() == newName)
                return fail(tr("The group already holds an entry named \"%1\".").arg(newName));
        }
    }
    applyEntryFields(options, *entry);
    if (options.values.contains(QStringLiteral("entry-password-stdin"))) {
        QString secret;
        if (!readSecret(true, tr("Entry password: "), secret))
            return ExitFailure;
        entry->setPassword(secret);
        wipe(secret);
    }
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::makeGroup(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString fullName = options.positional.at(1);
    if (fullName.isEmpty())
        return usageError(tr("A group must have a name."));

    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;

    for (PasswordDatabase::Item* item : db.getAllItems()) {
        if (item->getType() == groupType && item->getFullName() == fullName)
            return fail(tr("The group \"%1\" already exists.").arg(fullName));
    }

    // "Personal - Finance" makes Finance inside the existing group Personal.
    const QString separator = QStringLiteral(" - ");
    const int split = fullName.lastIndexOf(separator);
    auto* group = new PasswordDatabase::Group();
    group->setIconId(QStringLiteral("tessavond.web"));
    if (split < 0) {
        group->setName(fullName);
        db.addItem(group);
    } else {
        const QString parentName = fullName.left(split);
        auto* parent = findGroup(db, parentName);
        if (!parent) {
            delete group;
            return ExitFailure;
        }
        group->setName(fullName.mid(split + separator.size()));
        parent->addItem(group);
    }
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::remove(const Options& options)
{
    const QString path = options.positional.at(0);
    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;
    PasswordDatabase::Item* item = findItem(db, options.positional.at(1), anyType);
    if (!item)
        return ExitFailure;
    if (PasswordDatabase::Group* parent = item->getParent()) {
        parent->deleteItem(item);
    } else {
        auto* group = static_cast<PasswordDatabase::Group*>(item);
        db.takeItem(group);
        delete group;
    }
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::attach(const Options& options)
{
    const QString path = options.positional.at(0);
    const QString file = options.positional.at(2);
    PasswordDatabase::Password::Attachment attachment;
    if (!attachment.loadFromFile(file))
        return fail(tr("Cannot read the file \"%1\".").arg(file));

    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;
    auto* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    entry->setAttachment(attachment);
    db.setModified();
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::extract(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    auto* entry = findEntry(db, options.positional.at(1));
    if (!entry)
        return ExitFailure;
    const PasswordDatabase::Password::Attachment& attachment = entry->getAttachment();
    if (!attachment.isValid())
        return fail(tr("The entry \"%1\" has no attachment.").arg(options.positional.at(1)));
    if (!attachment.saveToFile(options.positional.at(2)))
        return fail(tr("Cannot write the file \"%1\".").arg(options.positional.at(2)));
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
    int rounds = -1;
    if (options.values.contains(QStringLiteral("rounds"))) {
        bool ok = false;
        rounds = options.values.value(QStringLiteral("rounds")).toInt(&ok);
        if (!ok || rounds < 1)
            return usageError(tr("The number of rounds must be a positive integer."));
    }

    PasswordDatabase db;
    if (!openDatabase(path, options, db))
        return ExitFailure;

    QString password;
    if (!readNewSecret(options.values.contains(QStringLiteral("password-stdin")), password))
        return ExitFailure;
    return setPasswordAndSave(db, path, password, cipher < 0 ? db.getCipher() : cipher, db.getKdf(),
                              rounds < 0 ? db.getKdfRounds() : rounds);
}

int CommandLineClient::setPasswordAndSave(PasswordDatabase& db, const QString& path, QString& password,
                                          int cipher, int kdf, int rounds)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, password, cipher, kdf, rounds);
    const BTaskResult result = task.run(&controller);
    wipe(password);
    if (result != Success)
        return fail(controller.errorMessage().isEmpty() ? tr("Failed to set password on database.")
                                                        : controller.errorMessage());
    return saveDatabase(db, path) ? ExitSuccess : ExitFailure;
}

int CommandLineClient::exportTree(const Options& options)
{
    PasswordDatabase db;
    if (!openDatabase(options.positional.at(0), options, db))
        return ExitFailure;
    QByteArray json = QJsonDocument(treeToJson(db)).toJson(QJsonDocument::Indented);
    m_output->write(json);
    wipe(json);
    return ExitSuccess;
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
        m_output->write(line);
        wipe(line);
        wipe(password);
    }
    return ExitSuccess;
}

int CommandLineClient::estimate(const Options&)
{
    // A terminal gets a prompt without echo; a pipe or file gives its first line.
    QString password;
    if (!readSecret(!inputIsTerminal(), tr("Password: "), password))
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
    m_output->write(bytes);
    wipe(bytes);
    wipe(text);
    wipe(feedback);
    return ExitSuccess;
}

bool CommandLineClient::inputIsTerminal() const
{
    const auto* file = qobject_cast<const QFile*>(m_input);
    return file && file->handle() >= 0 && isatty(file->handle());
}

bool CommandLineClient::readSecret(bool fromInput, const QString& label, QString& secret)
{
    if (fromInput) {
        if (!m_input || m_input->atEnd()) {
            fail(tr("Standard input ended before the password."));
            return false;
        }
        QByteArray line = m_input->readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        secret = QString::fromUtf8(line);
        wipe(line);
        return true;
    }
    bool ok = false;
    secret = m_prompt ? m_prompt->ask(label, ok) : QString();
    if (!ok) {
        fail(tr("No terminal to read the password from; use --password-stdin."));
        return false;
    }
    return true;
}

bool CommandLineClient::readNewSecret(bool fromInput, QString& secret)
{
    if (!readSecret(fromInput, tr("New master password: "), secret))
        return false;
    if (secret.isEmpty()) {
        fail(tr("A password is required to protect the database."));
        return false;
    }
    if (!fromInput) {
        QString repeated;
        if (!readSecret(false, tr("Repeat the new master password: "), repeated)) {
            wipe(secret);
            return false;
        }
        const bool same = repeated == secret;
        wipe(repeated);
        if (!same) {
            wipe(secret);
            fail(tr("The passwords do not match."));
            return false;
        }
    }
    return true;
}

bool CommandLineClient::loadHeader(const QString& path, PasswordDatabase& db)
{
    BTaskController controller;
    if (db.load(path, &controller))
        return true;
    fail(controller.errorMessage().isEmpty()
             ? tr("Failed to load the password database file. It may be corrupted or has been tampered with.")
             : controller.errorMessage());
    return false;
}

bool CommandLineClient::openDatabase(const QString& path, const Options& options, PasswordDatabase& db)
{
    if (!loadHeader(path, db))
        return false;
    BTaskController controller;
    QString password;
    if (!readSecret(options.values.contains(QStringLiteral("password-stdin")), tr("Master password: "), password))
        return false;
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

bool CommandLineClient::saveDatabase(PasswordDatabase& db, const QString& path)
{
    if (db.save(path))
        return true;
    fail(tr("Failed to save the password database to \"%1\".").arg(path));
    return false;
}

PasswordDatabase::Item* CommandLineClient::findItem(PasswordDatabase& db, const QString& fullName, int type)
{
    PasswordDatabase::Item* found = nullptr;
    int matches = 0;
    for (PasswordDatabase::Item* item : db.getAllItems()) {
        if ((type == anyType || item->getType() == type) && item->getFullName() == fullName) {
            if (!found)
                found = item;
            ++matches;
        }
    }
    if (matches == 1)
        return found;
    const QString what = type == groupType ? tr("group") : type == passwordType ? tr("entry") : tr("item");
    if (matches == 0)
        fail(tr("There is no %1 named \"%2\".").arg(what, fullName));
    else
        fail(tr("The name \"%1\" is ambiguous: %2 items have it.").arg(fullName, QString::number(matches)));
    return nullptr;
}

PasswordDatabase::Group* CommandLineClient::findGroup(PasswordDatabase& db, const QString& fullName)
{
    return static_cast<PasswordDatabase::Group*>(findItem(db, fullName, groupType));
}

PasswordDatabase::Password* CommandLineClient::findEntry(PasswordDatabase& db, const QString& fullName)
{
    return static_cast<PasswordDatabase::Password*>(findItem(db, fullName, passwordType));
}

int CommandLineClient::fail(const QString& message)
{
    m_error->write(message.toUtf8() + '\n');
    return ExitFailure;
}

int CommandLineClient::usageError(const QString& message)
{
    QByteArray text;
    if (!message.isEmpty())
        text = message.toUtf8() + '\n';
    text += usage().toUtf8();
    m_error->write(text);
    return ExitUsage;
}

void CommandLineClient::print(const QString& text)
{
    m_output->write(text.toUtf8());
}
