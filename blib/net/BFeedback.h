#ifndef BFEEDBACK_H
#define BFEEDBACK_H

#include <QString>

// A bug report or suggestion as the user wrote it. Both texts may be empty.
struct BFeedback
{
    enum Category {
        BugReport = 1,
        Suggestion = 2,
    };

    int category = BugReport;
    QString emailAddress;
    QString text;
};

#endif // BFEEDBACK_H
