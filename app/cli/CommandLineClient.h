#ifndef COMMANDLINECLIENT_H
#define COMMANDLINECLIENT_H

#include "app/cli/SecretReader.h"
#include "app/database/DatabaseKdfParameters.h"
#include "app/database/PasswordDatabase.h"

#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

class BFileLock;
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

    // How long a command that changes a database waits for another program
    // writing the same file (PasswordDatabase::FileLockWaitMs by default).
    void setLockWaitMs(int milliseconds) { m_lockWaitMs = milliseconds; }

    // The whole help text.
    static QString usage();
    // The names of every command, in the order of the help.
    static QStringList commandNames();

private:
    struct CommandTable;
    struct Options {
        QStringList positional;
        QMap<QString, QString> values; // option name -> value ("" for flags)
    };

    bool parse(const QStringList& arguments, const QStringList& valueOptions,
               const QStringList& flagOptions, int minPositional, int maxPositional,
               Options& options);

    int help(const Options& options);
    int create(const Options& options);
    int info(const Options& options);
    int list(const Options& options);
    int show(const Options& options);
    int totp(const Options& options);
    int add(const Options& options);
    int makeGroup(const Options& options);
    int remove(const Options& options);
    int move(const Options& options);
    int search(const Options& options);
    int audit(const Options& options);
    int importJson(const Options& options);
    int importWithPlugin(const Options& options);
    int edit(const Options& options);
    int attach(const Options& options);
    int extract(const Options& options);
    // passwd, and upgrade: re-keys a vault of format 1 to 3 as version 4.
    int changePassword(const Options& options);
    int upgrade(const Options& options);
    int exportTree(const Options& options);
    // merge DEST SOURCE... [--dry-run]
    int mergeFiles(const Options& options);
    // Unlocks `db` (its header loaded) with `password`; false when that is
    // not its password or it cannot be read (`error` says why).
    static bool unlockWith(PasswordDatabase& db, const QString& password, QString& error);
    int generate(const Options& options);
    int estimate(const Options& options);

    // Applies --length and the --no-... flags to the random generator's
    // option set. False (with a usage error printed) for a bad length or
    // when no character class is left.
    bool applyGeneratorOptions(const Options& options, BOption& set);
    // Reads the next secret: a line of standard input with --password-stdin,
    // otherwise a terminal prompt. False (with an error printed) on failure.
    bool readSecret(bool fromInput, const QString& label, QString& secret);
    bool readNewSecret(bool fromInput, QString& secret);
    // The key-derivation options (--kdf, --rounds or --kdf-time calibrated
    // on this computer, --kdf-memory, --kdf-parallelism) applied to `kdf`:
    // to the program's defaults for new vaults (useDefaults), else to the
    // vault's own settings. Without --kdf, --rounds means PBKDF2 rounds, and
    // a legacy vault accepts PBKDF2 only. ExitSuccess, or the exit code with
    // an error printed.
    int readKdf(const Options& options, bool useDefaults, bool legacyVault, DatabaseKdfParameters& kdf);
    // Reads the new master password and saves `db` as the new file `path`
    // with the cipher and rounds options of create.
    int createFile(PasswordDatabase& db, const QString& path, const Options& options);
    // Reads the header of `path` into `db` (from `bytes` when given, the
    // file's contents read already). False with an error printed.
    bool loadHeader(const QString& path, PasswordDatabase& db, QByteArray* bytes = nullptr);
    // Loads and unlocks `path` into `db`. False with an error printed.
    // Commands that change the file pass `writeLock`: it is taken once the
    // passwords are read, the file is read again under it if its bytes
    // changed since the first read (otherwise that read is kept), and it is held
    // until the caller drops it, after the save. `readMore`, when given,
    // reads the command's other secrets right after the master password and
    // before the lock is taken; the caller wipes what it read.
    bool openDatabase(const QString& path, const Options& options, PasswordDatabase& db,
                      BFileLock* writeLock = nullptr, const std::function<bool()>& readMore = {});
    bool saveDatabase(PasswordDatabase& db, const QString& path,
                      BFileWriteMode mode = BFileWriteMode::ReplaceExisting);
    // Gives `db` the password (wiped afterwards) and settings, then saves it.
    // formatVersion 4 upgrades a vault of an earlier version; 0 keeps it.
    int setPasswordAndSave(PasswordDatabase& db, const QString& path, QString& password, int cipher,
                           const DatabaseKdfParameters& kdf, BFileWriteMode mode, int formatVersion = 0);
    // Applies the entry field options of add and edit. False on a bad value.
    bool applyEntryFields(const Options& options, PasswordDatabase::Password& entry);
    // The entry password of add and edit: asked twice at the terminal
    // (--entry-password) or read from standard input (--entry-password-stdin).
    // `given` tells whether either option was there.
    bool readEntryPassword(const Options& options, QString& secret, bool& given);
    // Items by address (see ItemAddress). Null with an error printed when
    // there is none, or more than one (then the candidates are listed).
    PasswordDatabase::Item* findItem(PasswordDatabase& db, const QString& address, int type);
    PasswordDatabase::Group* findGroup(PasswordDatabase& db, const QString& address);
    PasswordDatabase::Password* findEntry(PasswordDatabase& db, const QString& address);
    // Deletes a detached item; its passwords are first copied into the
    // backup group unless `inBackupGroup` or the settings say otherwise.
    void deleteWithBackup(PasswordDatabase& db, PasswordDatabase::Item* item, bool inBackupGroup);

    int fail(const QString& message);
    int usageError(const QString& message);
    void print(const QString& text);
    void write(const QByteArray& bytes);
    // Flushes standard output; false, with an error printed, when anything
    // written to it was lost.
    bool flushOutput();

    QIODevice* m_input;
    QIODevice* m_output;
    QIODevice* m_error;
    PasswordPrompt* m_prompt;
    SecretReader m_secrets;
    QString m_command; // the command being run, for its usage text
    int m_lockWaitMs = PasswordDatabase::FileLockWaitMs;
    bool m_outputFailed = false;
};

#endif // COMMANDLINECLIENT_H
