#include "blib/task/BBackgroundTaskOwner.h"
#include "blib/task/BSubTaskController.h"
#include "blib/task/BTask.h"
#include "blib/task/BTaskController.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

class NoopTask : public BTask
{
public:
    BTaskResult run(BTaskController*) override { return Success; }
};

// A task that runs an inner task as its second half, as the database tasks do.
class StagedTask : public BTask
{
public:
    BTaskResult run(BTaskController* controller) override
    {
        controller->setTitle(QStringLiteral("Outer"));
        controller->setProgress(0.25);
        BSubTaskController stage(controller, 0.5, 0.5);
        stage.setTitle(QStringLiteral("Inner"));
        stage.setStatus(QStringLiteral("working"));
        stage.setProgress(1.0);
        stage.setErrorMessage(QStringLiteral("inner failed"));
        return Failure;
    }
};

} // namespace

class TestBTaskController : public QObject
{
    Q_OBJECT

private slots:
    void progressIsClampedBeforeStoringAndSignalling()
    {
        BTaskController controller;
        QSignalSpy spy(&controller, &BTaskController::progressed);
        controller.setProgress(1.5);
        controller.setProgress(-0.2);
        controller.setProgress(0.42);
        controller.setProgress(0.42); // unchanged values are signalled too
        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.at(0).at(0).toDouble(), 1.0);
        QCOMPARE(spy.at(1).at(0).toDouble(), 0.0);
        QCOMPARE(spy.at(3).at(0).toDouble(), 0.42);
        QCOMPARE(controller.progress(), 0.42);
    }

    void reportsAreStoredAndSignalled()
    {
        BTaskController controller;
        QSignalSpy titles(&controller, &BTaskController::titleChanged);
        QSignalSpy statuses(&controller, &BTaskController::statusChanged);
        QSignalSpy busy(&controller, &BTaskController::indeterminateProgressChanged);
        controller.setTitle(QStringLiteral("T"));
        controller.setStatus(QStringLiteral("S"));
        controller.setIndeterminateProgress(true);
        controller.setErrorMessage(QStringLiteral("E"));
        QCOMPARE(titles.count(), 1);
        QCOMPARE(statuses.takeFirst().at(0).toString(), QStringLiteral("S"));
        QCOMPARE(busy.takeFirst().at(0).toBool(), true);
        QCOMPARE(controller.title(), QStringLiteral("T"));
        QVERIFY(controller.isIndeterminate());
        QCOMPARE(controller.errorMessage(), QStringLiteral("E"));
    }

    void cancelFlag()
    {
        BTaskController controller;
        QVERIFY(!controller.isCancelled());
        controller.cancel();
        QVERIFY(controller.isCancelled());
        controller.clearCancel();
        QVERIFY(!controller.isCancelled());
    }

    void stageMapsProgressIntoItsSlice()
    {
        BTaskController outer;
        BSubTaskController stage(&outer, 0.8, 0.2);
        stage.setProgress(0.5);
        QCOMPARE(outer.progress(), 0.9);
        // The stage maps the raw value; only the parent clamps the result.
        BSubTaskController half(&outer, 0.5, 0.2);
        half.setProgress(2.0);
        QCOMPARE(outer.progress(), 0.9);

        // Stages nest and the mapping composes: 0.5 of [0.2, 0.6] of [0.8, 1.0].
        BSubTaskController middle(&outer, 0.8, 0.2);
        BSubTaskController inner(&middle, 0.2, 0.4);
        inner.setProgress(0.5);
        QVERIFY(qFuzzyCompare(outer.progress(), 0.8 + (0.2 + 0.5 * 0.4) * 0.2));
    }

    void stageForwardsStatusButNotTitleAndKeepsErrorsInTheParent()
    {
        BTaskController outer;
        StagedTask task;
        QCOMPARE(task.run(&outer), Failure);
        QCOMPARE(outer.title(), QStringLiteral("Outer"));
        QCOMPARE(outer.status(), QStringLiteral("working"));
        QCOMPARE(outer.progress(), 1.0);
        QCOMPARE(outer.errorMessage(), QStringLiteral("inner failed"));

        BSubTaskController stage(&outer, 0.0, 1.0);
        stage.setErrorMessage(QStringLiteral("again"));
        QCOMPARE(outer.errorMessage(), QStringLiteral("again"));
        QVERIFY(stage.errorMessage().isEmpty());
    }

    void mutedStageSwallowsReportsButPassesCancellation()
    {
        BTaskController outer;
        outer.setStatus(QStringLiteral("Closing app..."));
        QSignalSpy progress(&outer, &BTaskController::progressed);
        QSignalSpy busy(&outer, &BTaskController::indeterminateProgressChanged);
        BSubTaskController muted(&outer, true);
        muted.setProgress(0.7);
        muted.setStatus(QStringLiteral("Uploading"));
        muted.setErrorMessage(QStringLiteral("offline"));
        muted.setIndeterminateProgress(true);
        QCOMPARE(progress.count(), 0);
        QCOMPARE(busy.count(), 0);
        QCOMPARE(outer.status(), QStringLiteral("Closing app..."));
        QVERIFY(outer.errorMessage().isEmpty());

        QVERIFY(!muted.isCancelled());
        outer.cancel();
        QVERIFY(muted.isCancelled());
        muted.clearCancel();
        QVERIFY(!outer.isCancelled());
        muted.cancel();
        QVERIFY(outer.isCancelled());
    }

    void stageTakesTheParentsObjectParent()
    {
        QObject owner;
        auto* outer = new BTaskController(&owner);
        BSubTaskController stage(outer, 0.0, 1.0);
        QCOMPARE(stage.parent(), &owner);
    }

    void backgroundOwnerDeletesFinishedTasks()
    {
        BBackgroundTaskOwner owner;
        QPointer<BTask> task = new NoopTask;
        owner.taskFinished(task, Success);
        QVERIFY(task.isNull());
        owner.taskFinished(nullptr, Failure); // nothing to delete
    }
};

QTEST_GUILESS_MAIN(TestBTaskController)
#include "tst_btaskcontroller.moc"
