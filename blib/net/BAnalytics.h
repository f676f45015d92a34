#ifndef BANALYTICS_H
#define BANALYTICS_H

// Usage statistics. initialiseAnalytics() records this run's data points at
// start-up; the upload and its settings come with the statistics service.
void initialiseAnalytics();

#endif // BANALYTICS_H
