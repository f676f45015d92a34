// The workspace on Qt's offscreen platform with 10,000 passwords, spread
// over 100 groups or all in one group: from a successful unlock to the
// database view drawn, refilling the password table for the selected group
// (100, 1,000 and 10,000 rows), rebuilding the group tree, and refilling
// the search results of the whole database for one keystroke in the find bar,
// and paging down through them.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/gui/MainWindow.h"
#include "blib/app/BApplicationIdentity.h"
#include "blib/task/BTaskController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

MainWindow* window = nullptr;

// `groups` groups of `perGroup` passwords each.
void fill(PasswordDatabase& db, int groups, int perGroup)
{
    BTaskController controller;
    PasswordDatabaseSetPasswordTask task(db, QStringLiteral("secret"), 1, 1, 1);
    if (task.run(&controller) != Success)
        std::abort();
    db.setName(QStringLiteral("Benchmark"));
    for (int g = 0; g < groups; ++g) {
        auto* group = new PasswordDatabase::Group;
        group->setName(QStringLiteral("Group %1").arg(g));
        group->setIconId(QStringLiteral("tessavond.web"));
        db.addItem(group);
        for (int p = 0; p < perGroup; ++p) {
            auto* entry = new PasswordDatabase::Password;
            entry->setName(QStringLiteral("Site %1-%2").arg(g).arg(p));
            entry->setUsername(QStringLiteral("user%1").arg(p));
            entry->setEmailAddress(QStringLiteral("user%1@example.org").arg(p));
            entry->setUrl(QStringLiteral("https://site%1.example.org/login").arg(p));
            entry->setPassword(QStringLiteral("pw-%1-%2").arg(g).arg(p));
            entry->setIconId(p % 2 ? QStringLiteral("tessavond.key") : QStringLiteral("tessavond.web"));
            group->addItem(entry);
        }
    }
}

// From an unlocked database to the database view painted.
void activateAndDraw(benchmark::State& state, int groups, int perGroup)
{
    for (auto _ : state) {
        state.PauseTiming();
        PasswordDatabase db;
        fill(db, groups, perGroup);
        state.ResumeTiming();
        window->activateDatabase(db);
        window->repaint();
        QCoreApplication::processEvents();
    }
}

void refill(benchmark::State& state, int groups, int perGroup)
{
    PasswordDatabase db;
    fill(db, groups, perGroup);
    window->activateDatabase(db);
    for (auto _ : state) {
        window->refillPasswordTable();
        window->repaint();
    }
}

void rebuildTree(benchmark::State& state, int groups, int perGroup)
{
    PasswordDatabase db;
    fill(db, groups, perGroup);
    window->activateDatabase(db);
    for (auto _ : state) {
        window->rebuildGroupTree();
        window->repaint();
    }
}

// One keystroke in the find bar: the text alternates between two spellings
// that match the same entries, so every step is a change of text.
void searchKeystroke(benchmark::State& state, const QString& text, bool draw)
{
    PasswordDatabase db;
    fill(db, 100, 100);
    window->activateDatabase(db);
    window->findPassword();
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("findLineEdit"));
    const QString texts[] = { text, text.toUpper() };
    int turn = 0;
    for (auto _ : state) {
        field->setText(texts[turn++ % 2]);
        if (draw)
            window->repaint();
    }
    field->clear();
}

// Paging down through the 10,000 results of "Sit" and drawing each page,
// whose rows the table makes as they come into view.
void BM_SearchResultsPageDownAndDraw(benchmark::State& state)
{
    PasswordDatabase db;
    fill(db, 100, 100);
    window->activateDatabase(db);
    window->findPassword();
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("findLineEdit"));
    auto* table = window->findChild<QTableView*>(QStringLiteral("passwordTableWidget"));
    field->setText(QStringLiteral("Sit"));
    window->repaint();
    QScrollBar* bar = table->verticalScrollBar();
    for (auto _ : state) {
        bar->setValue(bar->value() + bar->pageStep() > bar->maximum() ? 0 : bar->value() + bar->pageStep());
        window->repaint();
    }
    field->clear();
}

// "e 7" matches the 1,100 entries of groups 7 and 70 to 79; "Sit" every one.
void BM_SearchRefill_ThreeLetters(benchmark::State& state) { searchKeystroke(state, QStringLiteral("e 7"), false); }
void BM_SearchRefill_MatchesAll(benchmark::State& state) { searchKeystroke(state, QStringLiteral("Sit"), false); }
void BM_SearchRefillAndDraw_ThreeLetters(benchmark::State& state) { searchKeystroke(state, QStringLiteral("e 7"), true); }
void BM_SearchRefillAndDraw_MatchesAll(benchmark::State& state) { searchKeystroke(state, QStringLiteral("Sit"), true); }
void BM_UnlockedToDrawn_100Groups(benchmark::State& state) { activateAndDraw(state, 100, 100); }
void BM_UnlockedToDrawn_OneGroup(benchmark::State& state) { activateAndDraw(state, 1, 10000); }
void BM_RefillTable_100Rows(benchmark::State& state) { refill(state, 100, 100); }
void BM_RefillTable_1000Rows(benchmark::State& state) { refill(state, 10, 1000); }
void BM_RefillTable_10000Rows(benchmark::State& state) { refill(state, 1, 10000); }
void BM_RebuildTree_100Groups(benchmark::State& state) { rebuildTree(state, 100, 100); }
void BM_RebuildTree_OneGroup(benchmark::State& state) { rebuildTree(state, 1, 10000); }

} // namespace

BENCHMARK(BM_UnlockedToDrawn_100Groups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnlockedToDrawn_OneGroup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefillTable_100Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefillTable_1000Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefillTable_10000Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildTree_100Groups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildTree_OneGroup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchRefill_ThreeLetters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchRefill_MatchesAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchRefillAndDraw_ThreeLetters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchRefillAndDraw_MatchesAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchResultsPageDownAndDraw)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyApplicationIdentity();
    MainWindow mainWindow(&app);
    window = &mainWindow;
    mainWindow.resize(1000, 700);
    mainWindow.show();
    QElapsedTimer wait;
    wait.start();
    while (!mainWindow.splashDialog() && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    mainWindow.hideSplashDialog();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    // Leave without the unsaved-changes question.
    PasswordDatabase empty;
    mainWindow.activateDatabase(empty);
    return 0;
}
