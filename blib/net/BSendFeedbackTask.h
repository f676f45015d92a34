#ifndef BSENDFEEDBACKTASK_H
#define BSENDFEEDBACKTASK_H

#include "blib/net/BFeedback.h"
#include "blib/task/BTask.h"

// Sends one feedback record as the form body of a POST to "/v1/feedback"
// (60 s time-out); the URL carries nothing of it, so neither the comment
// nor the e-mail address lands in a proxy's or server's log. The answer's
// body is not looked at.
class BSendFeedbackTask : public BTask
{
    Q_OBJECT

public:
    static constexpr int timeoutMs = 60000;

    explicit BSendFeedbackTask(const BFeedback& feedback);

    BTaskResult run(BTaskController* controller) override;

    // The request URL: the service's "/v1/feedback", without a query.
    static QString requestUrl();
    // The body: app key, version, category ("bug" or "suggestion"), then the
    // text and the e-mail address percent-encoded (UTF-8; letters, digits
    // and "-._~" kept, every other byte as "%XX").
    static QByteArray requestBody(const BFeedback& feedback);

private:
    BFeedback m_feedback;
};

#endif // BSENDFEEDBACKTASK_H
