#include "blib/net/BAnalytics.h"

void initialiseAnalytics()
{
    // Records nothing yet: the usage-statistics service is not built.
}
