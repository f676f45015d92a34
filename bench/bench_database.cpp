// Saving, and loading plus unlocking, a database of 10,000 passwords in 100
// groups. The cipher key uses one KDF round, so the unlock figure is the
// fixed 3 x 10000-round HMAC key plus decryption and rebuilding the tree.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/task/BTaskController.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

const int GroupCount = 100;
const int PasswordsPerGroup = 100;
const QString MasterPassword = QStringLiteral("correct horse battery staple");

void fill(PasswordDatabase& db)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, MasterPassword, 1, 1, 1);
    if (task.run(&controller) != Success)
        std::abort();
    db.setName(QStringLiteral("Benchmark"));
    for (int g = 0; g < GroupCount; ++g) {
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Group %1").arg(g));
        group->setIconId(QStringLiteral("tessavond.web"));
        db.addItem(group);
        for (int p = 0; p < PasswordsPerGroup; ++p) {
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Site %1-%2").arg(g).arg(p));
            entry->setUsername(QStringLiteral("user%1@example.org").arg(p));
            entry->setPassword(QStringLiteral("pw-%1-%2-Xq8!zR4#").arg(g).arg(p));
            entry->setUrl(QStringLiteral("https://site%1.example.org/login").arg(p));
            entry->setNote(QStringLiteral("Account opened in 2019.\nSecurity question: blue."));
            entry->setIconId(QStringLiteral("tessavond.key"));
            group->addItem(entry);
        }
    }
}

struct Fixture {
    QTemporaryDir dir;
    QString path;
    PasswordDatabase db;

    Fixture()
    {
        path = dir.filePath(QStringLiteral("bench.lhdb"));
        fill(db);
        if (!db.save(path))
            std::abort();
    }
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

void BM_Save(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        if (!f.db.save(f.path))
            state.SkipWithError("save failed");
    }
    state.counters["file_MiB"] = double(QFileInfo(f.path).size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

void BM_LoadAndUnlock(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        PasswordDatabase db;
        BTaskController controller;
        if (!db.load(f.path, &controller)) {
            state.SkipWithError("load failed");
            break;
        }
        PasswordDatabaseUnlockTask task(db, MasterPassword);
        if (task.run(&controller) != Success || db.getAllItems().size() != GroupCount * (PasswordsPerGroup + 1)) {
            state.SkipWithError("unlock failed");
            break;
        }
    }
}
BENCHMARK(BM_LoadAndUnlock)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
