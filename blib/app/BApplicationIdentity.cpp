#include "blib/app/BApplicationIdentity.h"

#include "blib/app/BAppInfo.h"

#include <QCoreApplication>

void applyApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(BAppInfo::organisationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(BAppInfo::organisationDomain));
    QCoreApplication::setApplicationName(QString::fromLatin1(BAppInfo::applicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BAppInfo::applicationVersion));
}
