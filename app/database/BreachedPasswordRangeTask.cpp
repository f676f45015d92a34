#include "app/database/BreachedPasswordRangeTask.h"

#include "blib/app/BSettings.h"
#include "blib/crypto/BWipe.h"
#include "blib/net/BHTTPGetRequestTask.h"
#include "blib/task/BTaskController.h"

#include <QMap>

namespace {

constexpr int hashLength = 40;

// A line of an answer: the 35 remaining hex digits, a colon, the count.
bool parseRangeLine(const QString& line, QString& suffix, qint64& count)
{
    const int suffixLength = hashLength - BreachedPasswordRangeTask::prefixLength;
    if (line.size() < suffixLength + 2 || line.size() > suffixLength + 1 + 19 || line.at(suffixLength) != QLatin1Char(':'))
        return false;
    for (int i = 0; i < suffixLength; ++i) {
        const QChar c = line.at(i);
        if (!c.isDigit() && !(c >= QLatin1Char('A') && c <= QLatin1Char('F')) && !(c >= QLatin1Char('a') && c <= QLatin1Char('f')))
            return false;
    }
    for (int i = suffixLength + 1; i < line.size(); ++i) {
        if (line.at(i) < QLatin1Char('0') || line.at(i) > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    count = line.midRef(suffixLength + 1).toLongLong(&ok);
    suffix = line.left(suffixLength).toUpper();
    return ok;
}

} // namespace

BreachedPasswordRangeTask::BreachedPasswordRangeTask(const QString& baseUrl, const QList<QByteArray>& sha1Hexes,
                                                     int timeoutMs)
    : m_baseUrl(baseUrl)
    , m_hashes(sha1Hexes)
    , m_timeoutMs(timeoutMs)
{
    while (m_baseUrl.endsWith(QLatin1Char('/')))
        m_baseUrl.chop(1);
}

BreachedPasswordRangeTask::~BreachedPasswordRangeTask()
{
    for (QByteArray& hash : m_hashes)
        wipe(hash);
}

bool BreachedPasswordRangeTask::onlineCheckEnabled()
{
    return boolSetting(QStringLiteral("app.settings.checkBreachesOnline"), false);
}

QString BreachedPasswordRangeTask::serviceBaseUrl()
{
    const QString url = stringSetting(QStringLiteral("app.settings.breachServiceUrl"),
                                      QStringLiteral("https://api.pwnedpasswords.com")).trimmed();
    return url.isEmpty() ? QStringLiteral("https://api.pwnedpasswords.com") : url;
}

BTaskResult BreachedPasswordRangeTask::run(BTaskController* controller)
{
    m_counts = QList<qint64>();
    for (int i = 0; i < m_hashes.size(); ++i)
        m_counts.append(0);
    // One request per distinct prefix, however many passwords share it.
    QMap<QByteArray, QList<int>> byPrefix;
    for (int i = 0; i < m_hashes.size(); ++i) {
        if (m_hashes.at(i).size() == hashLength)
            byPrefix[m_hashes.at(i).left(prefixLength)].append(i);
    }
    controller->setTitle(tr("Checking for breached passwords"));
    int done = 0;
    for (auto group = byPrefix.cbegin(); group != byPrefix.cend(); ++group) {
        if (controller->isCancelled())
            return Cancelled;
        BHTTPGetRequestTask request(m_baseUrl + QStringLiteral("/range/") + QString::fromLatin1(group.key()), m_timeoutMs);
        request.addRawHeader(QByteArrayLiteral("Add-Padding"), QByteArrayLiteral("true"));
        const BTaskResult result = request.run(controller);
        if (result == Cancelled)
            return Cancelled;
        if (result != Success) {
            controller->setErrorMessage(tr("The online check for breached passwords failed: %1")
                                            .arg(controller->errorMessage()));
            return Failure;
        }
        const QStringList lines = request.responseText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString line : lines) {
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
            if (line.isEmpty())
                continue;
            QString suffix;
            qint64 count = 0;
            if (!parseRangeLine(line, suffix, count)) {
                controller->setErrorMessage(tr("The online check for breached passwords failed: "
                                               "the service's answer could not be read."));
                return Failure;
            }
            if (count == 0)
                continue; // padding
            for (int index : group.value()) {
                if (QLatin1String(m_hashes.at(index).constData() + prefixLength, hashLength - prefixLength) == suffix)
                    m_counts[index] = count;
            }
        }
        controller->setIndeterminateProgress(false);
        controller->setProgress(double(++done) / byPrefix.size());
    }
    return Success;
}
