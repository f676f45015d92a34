// A writer killed at any moment of a save: the vault opens afterwards with
// the contents of one whole save, and the writers leave no temporary files
// behind.

#include "app/database/PasswordDatabase.h"
#include "app/database/PasswordDatabaseSetPasswordTask.h"
#include "app/database/PasswordDatabaseUnlockTask.h"
#include "blib/task/BTaskController.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

const char childVariable[] = "LH_SAVE_LOOP_VAULT";
const QString password = QStringLiteral("kill test");

// A note large enough that writing and syncing it takes a while, made of
// one generation number throughout so that a mix of two saves shows.
QString noteOf(int generation)
{
    const QString unit = QStringLiteral("generation %1;").arg(generation);
    return unit.repeated(1500000 / unit.size());
}

int generationOf(const QString& note)
{
    const QString unit = note.section(QLatin1Char(';'), 0, 0) + QLatin1Char(';');
    const int generation = unit.mid(11).chopped(1).toInt();
    return note == noteOf(generation) ? generation : -1;
}

bool openVault(PasswordDatabase& db, const QString& path, QString& error)
{
    BTaskController controller;
    if (!db.load(path, &controller)) {
        error = QStringLiteral("load: ") + controller.errorMessage();
        return false;
    }
    PasswordDatabaseUnlockTask unlock(db, password);
    if (unlock.run(&controller) != BTaskResult::Success) {
        error = QStringLiteral("unlock: ") + controller.errorMessage();
        return false;
    }
    return true;
}

// The child: opens the vault and saves ever newer generations until it is
// killed, telling the parent after each save.
int saveLoop(const QString& path)
{
    PasswordDatabase db;
    QString error;
    if (!openVault(db, path, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    for (int generation = generationOf(db.getNote()) + 1;; ++generation) {
        db.setNote(noteOf(generation));
        if (!db.save(path, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 3;
        }
        std::printf("saved %d\n", generation);
        std::fflush(stdout);
    }
}

QStringList temporaryFiles(const QString& folder)
{
    return QDir(folder).entryList({ QStringLiteral(".lockharbour-save-*") }, QDir::Files | QDir::Hidden);
}

} // namespace

class TestPasswordDatabaseKill : public QObject
{
    Q_OBJECT

private slots:
    void killedSavesLeaveOneWholeVersion();
};

void TestPasswordDatabaseKill::killedSavesLeaveOneWholeVersion()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("vault.lhdb");
    {
        PasswordDatabase db;
        BTaskController controller;
        PasswordDatabaseSetPasswordTask set(db, password, 1, 1, 2);
        QCOMPARE(set.run(&controller), BTaskResult::Success);
        db.setNote(noteOf(0));
        QString error;
        QVERIFY2(db.save(path, &error), qPrintable(error));
    }

    // Kill moments spread over opening, encrypting, writing, syncing and
    // renaming; the seed is printed so that a failure can be replayed.
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int lastGeneration = 0;
    int leftoversSeen = 0;
    for (int round = 0; round < 25; ++round) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childVariable), path);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted());
        // Once the writer is saving, it is killed at a random moment of one
        // of its next saves.
        QByteArray said;
        while (!said.contains('\n') && child.waitForReadyRead(60000))
            said += child.readAllStandardOutput();
        QVERIFY2(said.contains('\n'), child.readAllStandardError().constData());
        QTest::qWait(int(random.bounded(0, 200)));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        said += child.readAllStandardOutput();
        const QByteArray complaint = child.readAllStandardError();
        QVERIFY2(complaint.isEmpty(), complaint.constData());

        PasswordDatabase db;
        QString error;
        QVERIFY2(openVault(db, path, error), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(error)));
        const int generation = generationOf(db.getNote());
        QVERIFY2(generation >= lastGeneration, qPrintable(QStringLiteral("round %1 went back from %2 to %3")
                                                              .arg(round).arg(lastGeneration).arg(generation)));
        // Every save the child reported is in the file, and at most the one
        // it was killed in beyond that.
        const QList<QByteArray> lines = said.split('\n');
        const int reported = lines.size() > 1 ? lines.at(lines.size() - 2).mid(6).toInt() : lastGeneration;
        QVERIFY(generation == reported || generation == reported + 1);
        lastGeneration = generation;
        leftoversSeen += temporaryFiles(dir.path()).size();
    }
    qInfo("25 writers killed while saving, at generation %d; %d temporary files were left by them",
          lastGeneration, leftoversSeen);

    // Whatever a writer left between naming its file and renaming it, the
    // next save in the folder removes.
    PasswordDatabase db;
    QString error;
    QVERIFY2(openVault(db, path, error), qPrintable(error));
    QVERIFY2(db.save(path, &error), qPrintable(error));
    QCOMPARE(temporaryFiles(dir.path()), QStringList());
}

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString vault = qEnvironmentVariable(childVariable);
    if (!vault.isEmpty())
        return saveLoop(vault);
    TestPasswordDatabaseKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_passworddatabasekill.moc"
