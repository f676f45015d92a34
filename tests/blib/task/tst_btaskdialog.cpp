// The task dialog: progress display, the cancel button with and without the
// confirmation question, and error reporting.
#include "blib/task/BTask.h"
#include "blib/task/BTaskController.h"
#include "blib/task/BTaskDialog.h"
#include "support/UiDriver.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "support/FunctionTask.h"

#include <atomic>
#include <functional>

namespace {

// Waits in the task thread until the GUI side moves `stage` past `from`, or
// until the test gives up and cancels the task.
void waitForStage(BTaskController* controller, const std::atomic<int>& stage, int from)
{
    while (stage.load() <= from && !controller->isCancelled())
        QThread::msleep(1);
}

QProgressBar* progressBarOf(BTaskDialog* dialog)
{
    return dialog->findChild<QProgressBar*>("progressBar");
}

// Clicks Cancel from a timer of its own: a confirmation question runs its own
// local loop, and the driver must stay free to answer it.
void clickCancel(BTaskDialog* dialog)
{
    QAbstractButton* cancel = dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel);
    QTimer::singleShot(0, cancel, &QAbstractButton::click);
}

} // namespace

class tst_BTaskDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsProgressTitleAndStatus();
    void cancelWithoutConfirmation();
    void cancelWithConfirmation();
    void failureWithErrorTextShowsErrorBox();
    void failureWithoutErrorTextShowsNothing();
};

void tst_BTaskDialog::showsProgressTitleAndStatus()
{
    std::atomic<int> stage { 0 };
    FunctionTask task([&](BTaskController* controller) {
        controller->setTitle("Unlocking");
        controller->setStatus("Deriving key...");
        controller->setProgress(0.42);
        waitForStage(controller, stage, 0);
        controller->setIndeterminateProgress(true);
        waitForStage(controller, stage, 1);
        controller->setIndeterminateProgress(false);
        waitForStage(controller, stage, 2);
        return Success;
    });

    QWidget parent;
    parent.setGeometry(200, 150, 600, 400);
    parent.show();
    int value = -1, busyMaximum = -1, restoredMaximum = -1;
    QString title, status;
    Qt::WindowModality modality = Qt::NonModal;
    bool fixedHeight = false;
    UiDriver driver([&]() {
        auto* dialog = visibleTopLevel<BTaskDialog>();
        if (!dialog)
            return false;
        QProgressBar* bar = progressBarOf(dialog);
        switch (stage.load()) {
        case 0:
            if (bar->value() != 42)
                return false;
            value = bar->value();
            title = dialog->windowTitle();
            status = dialog->findChild<QLabel*>("statusLabel")->text();
            modality = dialog->windowModality();
            fixedHeight = dialog->minimumHeight() == dialog->maximumHeight();
            stage = 1;
            return false;
        case 1:
            if (bar->maximum() != 0)
                return false;
            busyMaximum = bar->maximum();
            stage = 2;
            return false;
        default:
            if (bar->maximum() == 0)
                return false;
            restoredMaximum = bar->maximum();
            stage = 3;
            return true;
        }
    });

    QCOMPARE(BTaskDialog::run(&parent, &task, false), Success);
    QCOMPARE(value, 42);
    QCOMPARE(title, QString("Unlocking"));
    QCOMPARE(status, QString("Deriving key..."));
    QCOMPARE(modality, Qt::WindowModal);
    QVERIFY(fixedHeight);
    QCOMPARE(busyMaximum, 0);
    QCOMPARE(restoredMaximum, 100);
    QVERIFY(!visibleTopLevel<BTaskDialog>());
}

void tst_BTaskDialog::cancelWithoutConfirmation()
{
    FunctionTask task([](BTaskController* controller) {
        while (!controller->isCancelled())
            controller->sleep(10);
        return Cancelled;
    });
    QWidget parent;
    parent.show();
    bool sawQuestion = false;
    bool clicked = false;
    UiDriver driver([&]() {
        sawQuestion = sawQuestion || visibleTopLevel<QMessageBox>();
        auto* dialog = visibleTopLevel<BTaskDialog>();
        if (dialog && !clicked) {
            clickCancel(dialog);
            clicked = true;
        }
        return false;
    });

    QCOMPARE(BTaskDialog::run(&parent, &task, false), Cancelled);
    QVERIFY(clicked);
    QVERIFY(!sawQuestion);
}

void tst_BTaskDialog::cancelWithConfirmation()
{
    std::atomic<int> stage { 0 };
    std::atomic<bool> cancelledAfterRefusal { true };
    FunctionTask task([&](BTaskController* controller) {
        waitForStage(controller, stage, 0);
        cancelledAfterRefusal = controller->isCancelled();
        stage = 2;
        while (!controller->isCancelled())
            controller->sleep(10);
        return Cancelled;
    });

    QWidget parent;
    parent.show();
    QString title, text, defaultButton;
    QStringList buttons;
    int answered = 0;
    bool questionPending = false;
    UiDriver driver([&]() {
        if (QMessageBox* box = visibleTopLevel<QMessageBox>()) {
            title = box->windowTitle();
            text = box->text();
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            buttons.clear();
            for (QAbstractButton* button : box->buttons())
                buttons.append(button->text());
            // First refuse, then confirm once the task has seen the refusal.
            messageBoxButton(box, answered == 0 ? "Don't Cancel" : "Cancel Task")->click();
            questionPending = false;
            if (++answered == 1)
                stage = 1;
            return answered == 2;
        }
        auto* dialog = visibleTopLevel<BTaskDialog>();
        if (dialog && (stage == 0 || stage == 2) && answered == stage / 2 && !questionPending) {
            clickCancel(dialog);
            questionPending = true;
        }
        return false;
    });

    QCOMPARE(BTaskDialog::run(&parent, &task, true), Cancelled);
    QCOMPARE(answered, 2);
    QVERIFY(!cancelledAfterRefusal.load());
    QCOMPARE(title, QString("Cancel"));
    QCOMPARE(text, QString("Are you sure you want to cancel?"));
    QCOMPARE(defaultButton, QString("Don't Cancel"));
    QVERIFY(buttons.contains("Cancel Task"));
}

void tst_BTaskDialog::failureWithErrorTextShowsErrorBox()
{
    FunctionTask task([](BTaskController* controller) {
        controller->setErrorMessage("The disk is full.");
        return Failure;
    });
    QWidget parent;
    parent.show();
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    UiDriver driver([&]() {
        QMessageBox* box = visibleTopLevel<QMessageBox>();
        if (!box)
            return false;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
        return true;
    });

    QCOMPARE(BTaskDialog::run(&parent, &task, false), Failure);
    QVERIFY(driver.isDone());
    QCOMPARE(title, QString("Error"));
    QCOMPARE(text, QString("The disk is full."));
    QCOMPARE(icon, QMessageBox::Critical);
}

void tst_BTaskDialog::failureWithoutErrorTextShowsNothing()
{
    std::atomic<int> stage { 0 };
    FunctionTask task([&](BTaskController* controller) {
        waitForStage(controller, stage, 0);
        return Failure;
    });
    QWidget parent;
    parent.show();
    bool sawBox = false;
    UiDriver watcher([&]() {
        sawBox = sawBox || visibleTopLevel<QMessageBox>();
        if (visibleTopLevel<BTaskDialog>())
            stage = 1;
        return false;
    });

    QCOMPARE(BTaskDialog::run(&parent, &task, false), Failure);
    QVERIFY(!sawBox);
}

QTEST_MAIN(tst_BTaskDialog)
#include "tst_btaskdialog.moc"
