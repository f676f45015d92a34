// Cost of rating one password (ratePassword: zxcvbn's estimate and the
// warning), which runs on the user-interface thread as the user types.
//   RateRandom      characters drawn from the generator's 88-character set;
//   RateDictionary  common words run together with a digit or two, the kind
//                   of password zxcvbn spends most effort on;
//   RateRepeated    one letter repeated, a slow case for the pattern search.
// The argument is the password length. The passwords are fixed (seeded), so
// runs compare; a frame at 60 Hz is about 16.7 ms.
#include "blib/password/BPassword.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <random>

namespace {

QString randomPassword(int length)
{
    const QString set = QStringLiteral(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890-_!@#$%^&*()+=[]{};:,./<>?");
    std::mt19937 engine(20261208u + unsigned(length));
    QString password;
    for (int i = 0; i < length; ++i)
        password += set.at(int(engine() % unsigned(set.size())));
    return password;
}

QString dictionaryPassword(int length)
{
    const char* const words[] = { "summer", "dragon", "monkey", "password", "letmein", "shadow",
                                  "football", "sunshine", "princess", "welcome", "master", "qwerty" };
    std::mt19937 engine(1208u + unsigned(length));
    QString password;
    while (password.size() < length) {
        password += QLatin1String(words[engine() % 12]);
        if (engine() % 3 == 0)
            password += QString::number(engine() % 100);
    }
    password.truncate(length);
    return password;
}

void rate(benchmark::State& state, const QString& password)
{
    double entropy = 0.0;
    int rating = 0;
    double fraction = 0.0;
    QString feedback;
    for (auto _ : state) {
        ratePassword(password, entropy, rating, fraction, feedback);
        benchmark::DoNotOptimize(entropy);
    }
    state.counters["bits"] = entropy;
}

void RateRandom(benchmark::State& state)
{
    rate(state, randomPassword(int(state.range(0))));
}
BENCHMARK(RateRandom)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

void RateDictionary(benchmark::State& state)
{
    rate(state, dictionaryPassword(int(state.range(0))));
}
BENCHMARK(RateDictionary)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Unit(benchmark::kMicrosecond);

void RateRepeated(benchmark::State& state)
{
    rate(state, QString(int(state.range(0)), QLatin1Char('a')));
}
BENCHMARK(RateRepeated)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(100)->Arg(128)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
