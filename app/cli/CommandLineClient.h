#ifndef COMMANDLINECLIENT_H
#define COMMANDLINECLIENT_H

#include "app/database/PasswordDatabase.h"

#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>

class BOption;
class PasswordPrompt;
class QIODevice;

// lockharbour-cli: creates, reads and edits database files from scripts,
// with the same tasks and the same crash-safe save as the program.
//
// Exit status: 0 success, 1 failure (the error text goes to standard error),
// 2 usage error (a short usage text goes to standard error).
class CommandLineClient
{
    Q_DECLARE_TR_FUNCTIONS(CommandLineClient)

public:
    enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

    // The client reads secrets from `input` (with --password-stdin) or from
    // `prompt`, and writes to `output` and `error`. None is owned.
    CommandLineClient(QIODevice* input, QIODevice* output, QIODevice* error, PasswordPrompt* prompt);

    // Runs one command; `arguments` excludes the program name.
    int run(const QStringList& arguments);

    static QString usage();

private:
    struct Options {
        QStringList positional;
        QMap<QString, QString> values; // option name -> value ("" for flags)
    };

    bool parse(const QStringList& arguments, const QStringList& valueOptions,
               const QStringList& flagOptions, int minPositional, int maxPositional,
               Options& options);

    int create(const Options& options);
    int info(const Options& options);
    int list(const Options& options);
    int show(const Options& options);
    int add(const Options& options);
    int makeGroup(const Options& options);
    int remove(const Options& options);
    int edit(const Options& options);
    int attach(const Options& options);
    int extract(const Options& options);
    int changePassword(const Options& options);
    int exportTree(const Options& options);
    int generate(const Options& options);
    int estimate(const Options& options);

    // Applies --length and the --no-... flags to the random generator's
    // option set. False (with a usage error printed) for a bad length or
    // when no character class is left.
    bool applyGeneratorOptions(const Options& options, BOption& set);
    // True when the client reads from a terminal rather than a pipe or file.
    bool inputIsTerminal() const;

    // Reads the next secret: a line of standard input with --password-stdin,
    // otherwise a terminal prompt. False (with an error printed) on failure.
    bool readSecret(bool fromInput, const QString& label, QString& secret);
    bool readNewSecret(bool fromInput, QString& secret);
    // Reads the header of `path` into `db`. False with an error printed.
    bool loadHeader(const QString& path, PasswordDatabase& db);
    // Loads and unlocks `path` into `db`. False with an error printed.
    bool openDatabase(const QString& path, const Options& options, PasswordDatabase& db);
    bool saveDatabase(PasswordDatabase& db, const QString& path);
    // Gives `db` the password (wiped afterwards) and settings, then saves it.
    int setPasswordAndSave(PasswordDatabase& db, const QString& path, QString& password, int cipher, int kdf,
                           int rounds);
    // Applies the entry field options of add and edit. False on a bad value.
    bool applyEntryFields(const Options& options, PasswordDatabase::Password& entry);
    // Items by full name ("Personal - Finance - Bank"). Null with an error
    // printed when there is none or more than one.
    PasswordDatabase::Item* findItem(PasswordDatabase& db, const QString& fullName, int type);
    PasswordDatabase::Group* findGroup(PasswordDatabase& db, const QString& fullName);
    PasswordDatabase::Password* findEntry(PasswordDatabase& db, const QString& fullName);

    int fail(const QString& message);
    int usageError(const QString& message);
    void print(const QString& text);

    QIODevice* m_input;
    QIODevice* m_output;
    QIODevice* m_error;
    PasswordPrompt* m_prompt;
};

#endif // COMMANDLINECLIENT_H
