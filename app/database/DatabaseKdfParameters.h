#ifndef DATABASEKDFPARAMETERS_H
#define DATABASEKDFPARAMETERS_H

#include <QString>

// The key-derivation settings of a vault: the function (BKdfId), its rounds
// (PBKDF2 iterations, or Argon2 passes) and, for Argon2, its memory and
// lanes. Also the defaults for new vaults, kept in the settings store:
//   "app.passwordDatabase.defaultKdf"               "Argon2" or "PBKDF2"
//   "app.passwordDatabase.defaultKdfRounds"         PBKDF2 iterations
//   "app.passwordDatabase.defaultArgon2Passes"      found by calibration
//   "app.passwordDatabase.defaultArgon2MemoryKib"   65536 (64 MiB)
//   "app.passwordDatabase.defaultArgon2Parallelism" 2
class DatabaseKdfParameters
{
public:
    // Hostile or mistaken settings that would take this computer's memory
    // or minutes of work are refused before anything is derived.
    static constexpr qint64 MaxArgon2MemoryKib = 4LL * 1024 * 1024; // 4 GiB
    static constexpr int MaxArgon2Parallelism = 64;
    // Memory times passes, in KiB: about a minute of Argon2id on a current
    // desktop processor (it fills roughly 1 GiB per second and pass).
    static constexpr qint64 MaxArgon2Work = 64LL * 1024 * 1024;
    static constexpr int DefaultArgon2MemoryKib = 64 * 1024;
    static constexpr int DefaultArgon2Parallelism = 2;
    static constexpr int DefaultPbkdf2Rounds = 100000;
    // Used until a calibration has stored the passes of this computer.
    static constexpr int FallbackArgon2Passes = 3;

    DatabaseKdfParameters() = default;
    DatabaseKdfParameters(int kdf, int rounds, int memoryKib = 0, int parallelism = 0);
    static DatabaseKdfParameters pbkdf2(int rounds) { return DatabaseKdfParameters(1, rounds); }
    static DatabaseKdfParameters argon2(int passes, int memoryKib, int parallelism)
    {
        return DatabaseKdfParameters(2, passes, memoryKib, parallelism);
    }

    int kdf = 0;
    int rounds = 0;
    int memoryKib = 0;
    int parallelism = 0;

    bool isArgon2() const;
    // A translated sentence naming the bound these settings break (unknown
    // function, no rounds, too much memory, too many lanes, too much work),
    // or an empty text when they can be used.
    QString problem() const;
    // "Argon2id, 3 passes, 64 MiB, 2 lanes" or "PBKDF2, 100000 rounds".
    QString describe() const;

    // Half of this computer's memory, in KiB (the cap of an Argon2 memory
    // setting beside MaxArgon2MemoryKib).
    static qint64 availableMemoryKib();

    // The defaults for new vaults from the settings store.
    static DatabaseKdfParameters defaults();
    // Whether "app.passwordDatabase.defaultArgon2Passes" holds a calibrated
    // value; until then defaults() uses FallbackArgon2Passes.
    static bool argon2DefaultCalibrated();
    static void storeDefaultArgon2Passes(int passes);
    static void storeDefaultPbkdf2Rounds(int rounds);
};

#endif // DATABASEKDFPARAMETERS_H
