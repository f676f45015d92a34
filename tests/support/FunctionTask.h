#ifndef FUNCTIONTASK_H
#define FUNCTIONTASK_H

#include "blib/task/BTask.h"

#include <functional>

// A task whose body is given as a function, for tests of the task machinery.
class FunctionTask : public BTask
{
public:
    explicit FunctionTask(std::function<BTaskResult(BTaskController*)> body)
        : m_body(std::move(body))
    {
    }

    BTaskResult run(BTaskController* controller) override { return m_body(controller); }

private:
    std::function<BTaskResult(BTaskController*)> m_body;
};

#endif // FUNCTIONTASK_H
