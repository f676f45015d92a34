// The breach check of 10,000 passwords against a downloaded list of
// 10,000,000 "SHA1HEX:COUNT" lines (about 430 MB, written once into a
// temporary folder; LH_BENCH_BREACH_LINES sets another size): digests made
// and looked up by binary search, half of them listed. Reports the time per
// check of all 10,000 and the process's peak resident memory, which stays
// far below the list's size because the list is never read whole.

#include "app/database/BreachedPasswordFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int passwordCount = 10000;

QTemporaryDir* folder = nullptr;
QString listPath;
QStringList passwords;

qint64 listLines()
{
    const qint64 lines = qEnvironmentVariableIntValue("LH_BENCH_BREACH_LINES");
    return lines > 0 ? lines : 10000000;
}

// Peak resident memory of the process in KiB (VmHWM).
double peakKiB()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    double value = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            value = std::atof(line + 6);
    }
    std::fclose(status);
    return value;
}

// Evenly spread made-up digests merged with the digests of the listed half
// of the passwords, written in order.
void writeList()
{
    QList<QByteArray> listed;
    for (int i = 0; i < passwordCount; ++i) {
        passwords << QStringLiteral("pass-%1-word").arg(i);
        if (i % 2 == 0)
            listed << BreachedPasswordFile::sha1Hex(passwords.last());
    }
    std::sort(listed.begin(), listed.end());
    QFile file(listPath);
    file.open(QIODevice::WriteOnly);
    const qint64 filler = listLines() - listed.size();
    // The top 64 bits of the made-up digests step evenly through the range.
    const quint64 step = ~quint64(0) / quint64(filler + 1);
    int next = 0;
    QByteArray chunk;
    for (qint64 i = 0; i < filler; ++i) {
        const QByteArray made = QByteArray::number(step * quint64(i + 1), 16).rightJustified(16, '0').toUpper()
            + QByteArray::number(quint64(i) * 2654435761u % 0xFFFFFFFFFFFFFFull, 16).rightJustified(24, '0').toUpper();
        while (next < listed.size() && listed.at(next) < made)
            chunk += listed.at(next++) + ":3\r\n";
        chunk += made + ':' + QByteArray::number(i % 1000 + 1) + "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    while (next < listed.size())
        chunk += listed.at(next++) + ":3\r\n";
    file.write(chunk);
}

void BM_CheckAgainstList(benchmark::State& state)
{
    BreachedPasswordFile list;
    if (!list.open(listPath)) {
        state.SkipWithError("list refused");
        return;
    }
    qint64 found = 0;
    for (auto _ : state) {
        found = 0;
        for (const QString& password : passwords) {
            QByteArray hash = BreachedPasswordFile::sha1Hex(password);
            if (list.lookup(hash) > 0)
                ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["listed"] = double(found);
    state.counters["lines"] = double(listLines());
    state.counters["listMiB"] = double(QFile(listPath).size()) / (1024 * 1024);
    state.counters["peakRssMiB"] = peakKiB() / 1024;
}
BENCHMARK(BM_CheckAgainstList)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    folder = new QTemporaryDir();
    listPath = folder->filePath(QStringLiteral("breached.txt"));
    writeList();
    std::printf("peak resident memory after writing the list: %.1f MiB\n", peakKiB() / 1024);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    delete folder;
    return 0;
}
