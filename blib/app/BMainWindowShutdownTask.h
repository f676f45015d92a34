#ifndef BMAINWINDOWSHUTDOWNTASK_H
#define BMAINWINDOWSHUTDOWNTASK_H

#include "blib/task/BTask.h"

class BMainWindow;

// The last work before the program ends, run under the task dialog while
// the main window closes: uploads the usage statistics when they are due.
class BMainWindowShutdownTask : public BTask
{
    Q_OBJECT

public:
    explicit BMainWindowShutdownTask(BMainWindow* window);

    BTaskResult run(BTaskController* controller) override;

private:
    BMainWindow* m_window; // not owned
};

#endif // BMAINWINDOWSHUTDOWNTASK_H
