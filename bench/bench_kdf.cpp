// Cost of one PBKDF2-HMAC-Keccak-384 round, three ways:
//   FastRound / FastTask  the derivation's own path (saved pad states, two
//                         permutations per round), bare and inside BKDFTask
//                         with its progress checks;
//   ToolkitRound          one QMessageAuthenticationCode::hash call per round;
//   BarePermutations      two nettle sha3_permute calls, the floor for a round.
// Every benchmark reports "time_per_round" (seconds per round, printed with an
// SI prefix: "812n" is 0.812 microseconds). The machine may be shared, so run
// with --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
// and compare medians.
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFTask.h"
#include "blib/crypto/BPbkdf2Keccak384.h"
#include "blib/task/BTaskController.h"

#include <QMessageAuthenticationCode>
#include <benchmark/benchmark.h>
#include <cstring>
#include <nettle/sha3.h>

namespace {

const QByteArray benchPassword("benchmark master password");

void reportPerRound(benchmark::State& state, double roundsPerIteration)
{
    // Rounds per second, inverted: seconds per round.
    state.counters["time_per_round"] = benchmark::Counter(
        roundsPerIteration,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void FastRound(benchmark::State& state)
{
    BPbkdf2Keccak384 prf(benchPassword);
    BPbkdf2Keccak384::Digest u;
    BPbkdf2Keccak384::Digest t;
    prf.mac(QByteArray("salt\0\0\0\1", 8), u);
    t = u;
    for (auto _ : state) {
        prf.round(u);
        for (int lane = 0; lane < BPbkdf2Keccak384::DigestLanes; ++lane)
            t.lane[lane] ^= u.lane[lane];
        benchmark::DoNotOptimize(t);
    }
    reportPerRound(state, 1.0);
}
BENCHMARK(FastRound)->Unit(benchmark::kMicrosecond);

void FastTask(benchmark::State& state)
{
    const int rounds = int(state.range(0));
    BTaskController controller;
    for (auto _ : state) {
        BKDFTask task(BKdfId::PBKDF2, QString::fromLatin1(benchPassword), QByteArray(16, 's'),
                      rounds, 48);
        task.run(&controller);
        benchmark::DoNotOptimize(task.result().constData());
    }
    reportPerRound(state, double(rounds));
}
BENCHMARK(FastTask)->Arg(100000)->Unit(benchmark::kMillisecond);

void ToolkitRound(benchmark::State& state)
{
    QByteArray u = QMessageAuthenticationCode::hash(QByteArray("salt\0\0\0\1", 8), benchPassword,
                                                    QCryptographicHash::Keccak_384);
    QByteArray t = u;
    for (auto _ : state) {
        u = QMessageAuthenticationCode::hash(u, benchPassword, QCryptographicHash::Keccak_384);
        for (int j = 0; j < t.size(); ++j)
            t[j] = char(t.at(j) ^ u.at(j));
        benchmark::DoNotOptimize(t.constData());
    }
    reportPerRound(state, 1.0);
}
BENCHMARK(ToolkitRound)->Unit(benchmark::kMicrosecond);

void BarePermutations(benchmark::State& state)
{
    sha3_state a;
    sha3_state b;
    std::memset(&a, 0, sizeof a);
    std::memset(&b, 0, sizeof b);
    for (auto _ : state) {
        sha3_permute(&a);
        sha3_permute(&b);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
    }
    reportPerRound(state, 1.0);
}
BENCHMARK(BarePermutations)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
