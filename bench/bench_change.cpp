// One change command on a vault of 10,000 passwords in 100 groups, with the
// key derivation made negligible (PBKDF2, one round): read, unlock, add one
// entry and save, as lockharbour-cli does it. BM_ChangeCommand times the
// whole and reports each stage as a counter (read, unlock, change,
// serialise, encrypt, write, in milliseconds per run).
//
// With --make-vault PATH it only writes such a vault (password "bench") and
// exits: bench/cli_change.sh uses it to time built lockharbour-cli programs.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseFormat.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/app/BFileAccess.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BRandom.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/crypto/BWipe.h"
#include "blib/task/BTaskController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const QString MasterPassword = QStringLiteral("bench");

bool makeVault(const QString& path)
{
    PasswordDatabase db;
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, MasterPassword, 1, 1, 1);
    if (task.run(&controller) != Success)
        return false;
    db.setName(QStringLiteral("Benchmark"));
    for (int g = 0; g < 100; ++g) {
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Group %1").arg(g));
        db.addItem(group);
        for (int p = 0; p < 100; ++p) {
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Site %1-%2").arg(g).arg(p));
            entry->setUsername(QStringLiteral("user%1@example.org").arg(p));
            entry->setPassword(QStringLiteral("pw-%1-%2-Xq8!zR4#").arg(g).arg(p));
            entry->setUrl(QStringLiteral("https://site%1.example.org/login").arg(p));
            entry->setNote(QStringLiteral("Account opened in 2019.\nSecurity question: blue."));
            group->addItem(entry);
        }
    }
    return db.save(path);
}

double sinceMs(QElapsedTimer& timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

void BM_ChangeCommand(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.lhdb"));
    if (!makeVault(path)) {
        state.SkipWithError("could not make the vault");
        return;
    }
    double read = 0, unlock = 0, change = 0, serialise = 0, encrypt = 0, write = 0;
    const QByteArray key = randomBytes(32), hmacKey = randomBytes(48);
    int runs = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        PasswordDatabase db;
        BTaskController controller;
        QByteArray bytes;
        QString error;
        if (!readRegularFile(path, PasswordDatabase::MaxFileSize, bytes, error)
            || !db.loadBytes(path, bytes, &controller)) {
            state.SkipWithError("read failed");
            break;
        }
        // Read again under the lock, and found unchanged.
        QByteArray again;
        if (!readRegularFile(path, PasswordDatabase::MaxFileSize, again, error) || again != bytes) {
            state.SkipWithError("read again failed");
            break;
        }
        bytes = again = QByteArray();
        read += sinceMs(timer);
        PasswordDatabaseUnlockTask task(db, MasterPassword);
        if (task.run(&controller) != Success) {
            state.SkipWithError("unlock failed");
            break;
        }
        unlock += sinceMs(timer);
        auto* entry = new PasswordDatabase::Password;
        entry->setName(QStringLiteral("Added %1").arg(runs));
        db.getItems().first()->addItem(entry);
        change += sinceMs(timer);

        // The stages of save(), each as save() runs it.
        QByteArray text;
        if (!appendSerialisedTree(db, text)) {
            state.SkipWithError("serialise failed");
            break;
        }
        serialise += sinceMs(timer);
        const QByteArray iv = randomBytes(16);
        symmetricCtrProcessInPlace(1, key, iv, text.data(), text.size());
        QByteArray mac;
        hmac(BHashId::SHA3_384, text, hmacKey, mac);
        const QByteArray encoded = text.toBase64();
        text = QByteArray();
        encrypt += sinceMs(timer);
        if (!writeFileAtomically(dir.filePath(QStringLiteral("copy.lhdb")), encoded, BFileWriteMode::ReplaceExisting,
                                 error)) {
            state.SkipWithError("write failed");
            break;
        }
        write += sinceMs(timer);
        ++runs;
    }
    if (runs > 0) {
        state.counters["read_ms"] = read / runs;
        state.counters["unlock_ms"] = unlock / runs;
        state.counters["change_ms"] = change / runs;
        state.counters["serialise_ms"] = serialise / runs;
        state.counters["encrypt_ms"] = encrypt / runs;
        state.counters["write_ms"] = write / runs;
    }
}
BENCHMARK(BM_ChangeCommand)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--make-vault") == 0)
        return makeVault(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
