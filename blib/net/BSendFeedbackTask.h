#ifndef BSENDFEEDBACKTASK_H
#define BSENDFEEDBACKTASK_H

#include "blib/net/BFeedback.h"
#include "blib/task/BTask.h"

// Sends one feedback record as the query of a GET of "/v1/feedback"
// (60 s time-out). The answer's body is not looked at.
class BSendFeedbackTask : public BTask
{
    Q_OBJECT

public:
    static constexpr int timeoutMs = 60000;

    explicit BSendFeedbackTask(const BFeedback& feedback);

    BTaskResult run(BTaskController* controller) override;

    // The request URL: app key, version, category ("bug" or "suggestion"),
    // then the text and the e-mail address percent-encoded (UTF-8; letters,
    // digits and "-._~" kept, every other byte as "%XX").
    static QString requestUrl(const BFeedback& feedback);

private:
    BFeedback m_feedback;
};

#endif // BSENDFEEDBACKTASK_H
