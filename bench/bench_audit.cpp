// The security audit and the find bar over 10,000 passwords in 100 groups,
// of which 20% share their password with one other entry: a full audit,
// beside the time of rating each distinct password once (the part of the
// audit no re-use search can avoid), and one find-bar keystroke (search and
// first step) with the Name field ticked.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/gui/FindWidget.h"
#include "app/plugin/SecurityAuditTask.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/password/BPassword.h"
#include "blib/task/BTaskController.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QSet>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int groupCount = 100;
constexpr int perGroup = 100;

PasswordDatabase* database = nullptr;

// A password of 12 characters that differs per seed and is rated fairly
// strong, so that zxcvbn does real work on each.
QString passwordFor(int seed)
{
    static const QString alphabet = QStringLiteral("abcdefghjkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789!#%&*");
    QString text;
    quint32 state = 2166136261u ^ quint32(seed) * 16777619u;
    for (int i = 0; i < 12; ++i) {
        state = state * 1103515245u + 12345u;
        text += alphabet.at(int((state >> 16) % quint32(alphabet.size())));
    }
    return text + QString::number(seed);
}

void fill(PasswordDatabase& db)
{
    // The find bar searches only an open database: give it keys.
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("secret"), 1, 1, 1);
    if (task.run(&controller) != Success)
        std::abort();
    const int total = groupCount * perGroup;
    for (int g = 0; g < groupCount; ++g) {
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Group %1").arg(g));
        db.addItem(group);
        for (int p = 0; p < perGroup; ++p) {
            const int index = g * perGroup + p;
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Site %1").arg(index));
            entry->setUrl(QStringLiteral("https://site%1.example.org").arg(index));
            // The last fifth of the entries re-use the password of an
            // entry in the first fifth, one each: 20% share a password.
            const int seed = index >= total - total / 10 ? index - (total - total / 10) : index;
            entry->setPassword(passwordFor(seed));
            group->addItem(entry);
        }
    }
}

void BM_FullAudit(benchmark::State& state)
{
    QList<SecurityAuditTask::Finding> findings;
    for (auto _ : state) {
        BTaskController controller;
        SecurityAuditTask task(database, &findings);
        task.run(&controller);
        benchmark::DoNotOptimize(findings.size());
    }
    state.counters["findings"] = findings.size();
}
BENCHMARK(BM_FullAudit)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RateDistinctPasswords(benchmark::State& state)
{
    QSet<QString> distinct;
    for (const PasswordDatabase::Item* item : database->getAllItems()) {
        if (item->isPassword())
            distinct.insert(static_cast<const PasswordDatabase::Password*>(item)->getPassword());
    }
    for (auto _ : state) {
        for (const QString& text : qAsConst(distinct)) {
            double entropy = 0, fraction = 0;
            int rating = 0;
            QString feedback;
            ratePassword(text, entropy, rating, fraction, feedback);
            benchmark::DoNotOptimize(rating);
        }
    }
    state.counters["passwords"] = distinct.size();
}
BENCHMARK(BM_RateDistinctPasswords)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindKeystroke(benchmark::State& state)
{
    FindWidget widget;
    widget.findChild<QCheckBox*>("nameCheckBox")->setChecked(true);
    widget.setDatabase(database);
    QLineEdit* text = widget.findChild<QLineEdit*>("findLineEdit");
    int matches = 0;
    bool longer = false;
    for (auto _ : state) {
        // Each change of the text is one keystroke: a search and a step.
        text->setText(longer ? QStringLiteral("site 12") : QStringLiteral("site 1"));
        longer = !longer;
        matches = widget.matchCount();
    }
    state.counters["matches"] = matches;
}
BENCHMARK(BM_FindKeystroke)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyApplicationIdentity();
    PasswordDatabase db;
    fill(db);
    database = &db;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
