// What unlocking a version 4 vault costs, from the file on disk:
//   UnlockPbkdf2Million  load + unlock of a vault with PBKDF2 at 1,000,000
//                        rounds; "time_per_round" divides by the rounds;
//   TwoPermutationsMillion  1,000,000 times two bare Keccak-f[1600]
//                        permutations, the floor of those rounds (same
//                        counter), so the ratio of the two shows what the
//                        rest of an unlock adds;
//   UnlockArgon2Default  load + unlock with the default Argon2id settings of
//                        this computer (64 MiB, 2 lanes, the calibrated or
//                        fallback passes); "peak_rss_mib" is the process's
//                        peak resident memory afterwards.
// Run with --benchmark_repetitions=5 on a quiet machine and compare medians.
#include "app/database/DatabaseKdfParameters.h"
#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFCalibrateTask.h"
#include "blib/task/BTaskController.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <nettle/sha3.h>
#include <sys/resource.h>

namespace {

const QString benchPassword = QStringLiteral("benchmark master password");
constexpr int millionRounds = 1000000;

// A vault of 100 entries with the given key derivation, written once.
QString vaultWith(const QTemporaryDir& dir, const QString& name, const DatabaseKdfParameters& kdf)
{
    const QString path = dir.filePath(name);
    PasswordDatabase db;
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, benchPassword, 1, kdf);
    if (task.run(&controller) != Success)
        return QString();
    auto* group = new PasswordDatabase::Group;
    group->setName(QStringLiteral("Group"));
    for (int i = 0; i < 100; ++i) {
        auto* entry = new PasswordDatabase::Password;
        entry->setName(QStringLiteral("Entry %1").arg(i));
        entry->setPassword(QStringLiteral("password %1").arg(i));
        group->addItem(entry);
    }
    db.addItem(group);
    return db.save(path) ? path : QString();
}

void unlockFile(benchmark::State& state, const QString& path)
{
    for (auto _ : state) {
        PasswordDatabase db;
        BTaskController controller;
        if (!db.load(path, &controller)) {
            state.SkipWithError("the vault could not be read");
            return;
        }
        PasswordDatabaseUnlockTask task(db, benchPassword);
        if (task.run(&controller) != Success) {
            state.SkipWithError("the vault could not be unlocked");
            return;
        }
        benchmark::DoNotOptimize(db.getItems().size());
    }
}

void UnlockPbkdf2Million(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = vaultWith(dir, QStringLiteral("pbkdf2.lhdb"), DatabaseKdfParameters::pbkdf2(millionRounds));
    unlockFile(state, path);
    state.counters["time_per_round"] = benchmark::Counter(
        millionRounds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(UnlockPbkdf2Million)->Unit(benchmark::kMillisecond)->Iterations(3);

void TwoPermutationsMillion(benchmark::State& state)
{
    sha3_state a;
    sha3_state b;
    std::memset(&a, 0, sizeof a);
    std::memset(&b, 0, sizeof b);
    for (auto _ : state) {
        for (int i = 0; i < millionRounds; ++i) {
            sha3_permute(&a);
            sha3_permute(&b);
        }
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    state.counters["time_per_round"] = benchmark::Counter(
        millionRounds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(TwoPermutationsMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

void UnlockArgon2Default(benchmark::State& state)
{
    QTemporaryDir dir;
    DatabaseKdfParameters kdf = DatabaseKdfParameters::defaults();
    // The passes a first vault would measure on this computer.
    if (kdf.isArgon2() && !DatabaseKdfParameters::argon2DefaultCalibrated()) {
        BTaskController controller;
        BKDFCalibrateTask calibration(BKdfId::Argon2, 1000, 32);
        calibration.setArgon2Parameters(kdf.memoryKib, kdf.parallelism);
        if (calibration.run(&controller) == Success)
            kdf.rounds = calibration.rounds();
    }
    const QString path = vaultWith(
        dir, QStringLiteral("argon2.lhdb"),
        kdf.isArgon2() ? kdf
                       : DatabaseKdfParameters::argon2(DatabaseKdfParameters::FallbackArgon2Passes,
                                                       DatabaseKdfParameters::DefaultArgon2MemoryKib,
                                                       DatabaseKdfParameters::DefaultArgon2Parallelism));
    unlockFile(state, path);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mib"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["passes"] = kdf.isArgon2() ? kdf.rounds : DatabaseKdfParameters::FallbackArgon2Passes;
}
BENCHMARK(UnlockArgon2Default)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // The defaults come from the user's settings store.
    QCoreApplication app(argc, argv);
    applyApplicationIdentity();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
