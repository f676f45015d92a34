#ifndef BSERVICEADDRESS_H
#define BSERVICEADDRESS_H

#include <QString>

// The base address of the web service: the setting "blib.service.baseUrl"
// when it is set and not blank, otherwise BAppInfo::serviceBaseAddress.
// Trailing slashes are dropped, so that paths can be appended as they are.
QString serviceBaseUrl();

// serviceBaseUrl() followed by `path` ("/v1/app-info").
QString serviceUrl(const QString& path);

#endif // BSERVICEADDRESS_H
