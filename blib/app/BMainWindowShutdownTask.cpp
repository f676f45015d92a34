#include "blib/app/BMainWindowShutdownTask.h"

#include "blib/app/BSettings.h"
#include "blib/task/BSubTaskController.h"
#include "blib/task/BTaskController.h"

#include <QDateTime>

namespace {

// Whether a week has passed since the last upload; the statistics service
// answers this once it exists, so nothing is uploaded until then.
bool usageStatisticsDue()
{
    return false;
}

// Runs the upload to completion under `controller`; its result does not matter.
void sendUsageStatistics(BTaskController*)
{
}

} // namespace

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

    if (usageStatisticsDue()) {
        // Muted, so that the dialog keeps showing "Closing app...".
        BSubTaskController stage(controller, true);
        sendUsageStatistics(&stage);
        setIntSetting(QStringLiteral("blib.analytics.lastSendTime"),
                      static_cast<int>(QDateTime::currentSecsSinceEpoch()));
    }
    return Success;
}
