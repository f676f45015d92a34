#include "blib/net/BServiceAddress.h"

#include "blib/app/BAppInfo.h"
#include "blib/app/BSettings.h"

QString serviceBaseUrl()
{
    QString base = stringSetting(QStringLiteral("blib.service.baseUrl"), QString()).trimmed();
    if (base.isEmpty())
        base = QString::fromUtf8(BAppInfo::serviceBaseAddress);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString serviceUrl(const QString& path)
{
    return serviceBaseUrl() + path;
}
