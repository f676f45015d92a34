#include "blib/app/BMainWindowShutdownTask.h"

#include "blib/net/BAnalytics.h"
#include "blib/net/BSendAnalyticsTask.h"
#include "blib/task/BSubTaskController.h"
#include "blib/task/BTaskController.h"

BMainWindowShutdownTask::BMainWindowShutdownTask(BMainWindow* window)
    : BTask(nullptr)
    , m_window(window)
{
}

BTaskResult BMainWindowShutdownTask::run(BTaskController* controller)
{
    controller->setTitle(tr("Closing"));
    controller->setStatus(tr("Closing app..."));
    controller->setIndeterminateProgress(true);

    if (analyticsDue()) {
        // Muted, so that the dialog keeps showing "Closing app...". The
        // upload's own time-out bounds how long closing can take; its result
        // does not matter, and the next attempt is a week later either way.
        BSubTaskController stage(controller, true);
        BSendAnalyticsTask upload;
        upload.run(&stage);
        markAnalyticsSent();
    }
    return Success;
}
