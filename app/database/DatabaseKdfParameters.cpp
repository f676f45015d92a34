#include "app/database/DatabaseKdfParameters.h"

#include "blib/app/BSettings.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BKDFCalibrateTask.h"

#include <QCoreApplication>

#include <unistd.h>

namespace {

const char* const DefaultKdfKey = "app.passwordDatabase.defaultKdf";
const char* const DefaultKdfRoundsKey = "app.passwordDatabase.defaultKdfRounds";
const char* const DefaultArgon2PassesKey = "app.passwordDatabase.defaultArgon2Passes";
const char* const DefaultArgon2MemoryKey = "app.passwordDatabase.defaultArgon2MemoryKib";
const char* const DefaultArgon2ParallelismKey = "app.passwordDatabase.defaultArgon2Parallelism";

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

QString text(const char* source)
{
    return QCoreApplication::translate("PasswordDatabase", source);
}

} // namespace

DatabaseKdfParameters::DatabaseKdfParameters(int kdf_, int rounds_, int memoryKib_, int parallelism_)
    : kdf(kdf_)
    , rounds(rounds_)
    , memoryKib(memoryKib_)
    , parallelism(parallelism_)
{
}

bool DatabaseKdfParameters::isArgon2() const
{
    return kdf == BKdfId::Argon2;
}

qint64 DatabaseKdfParameters::availableMemoryKib()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return MaxArgon2MemoryKib;
    return qint64(pages) * (qint64(pageSize) / 1024) / 2;
}

QString DatabaseKdfParameters::problem() const
{
    if (kdf != BKdfId::PBKDF2 && kdf != BKdfId::Argon2)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase",
                                      "The key derivation function is not one this program knows."));
    if (rounds < 1)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase", "The key derivation needs at least one round."));
    if (!isArgon2())
        return QString();
    if (parallelism < 1 || parallelism > MaxArgon2Parallelism)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase",
                                      "Argon2 needs between 1 and %1 lanes; these settings ask for %2."))
            .arg(MaxArgon2Parallelism)
            .arg(parallelism);
    if (qint64(memoryKib) < 8LL * parallelism)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase",
                                      "Argon2 needs at least 8 KiB of memory per lane; these settings give "
                                      "%1 KiB for %2 lanes."))
            .arg(memoryKib)
            .arg(parallelism);
    const qint64 memoryCap = qMin(MaxArgon2MemoryKib, availableMemoryKib());
    if (memoryKib > memoryCap)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase",
                                      "These key derivation settings ask for %1 MiB of memory, more than "
                                      "the %2 MiB allowed (at most 4 GiB and half of this computer's "
                                      "memory)."))
            .arg(memoryKib / 1024)
            .arg(memoryCap / 1024);
    if (qint64(memoryKib) * rounds > MaxArgon2Work)
        return text(QT_TRANSLATE_NOOP("PasswordDatabase",
                                      "These key derivation settings (%1 passes over %2 MiB) would take "
                                      "more than about a minute: at most %3 MiB times passes are "
                                      "allowed."))
            .arg(rounds)
            .arg(memoryKib / 1024)
            .arg(MaxArgon2Work / 1024);
    return QString();
}

QString DatabaseKdfParameters::describe() const
{
    if (isArgon2())
        return text(QT_TRANSLATE_NOOP("PasswordDatabase", "Argon2id, %1 passes, %2 MiB, %3 lanes"))
            .arg(rounds)
            .arg(QString::number(memoryKib / 1024.0, 'g', 4))
            .arg(parallelism);
    return text(QT_TRANSLATE_NOOP("PasswordDatabase", "%1, %2 rounds")).arg(kdfName(kdf)).arg(rounds);
}

DatabaseKdfParameters DatabaseKdfParameters::defaults()
{
    const int chosen = kdfId(stringSetting(key(DefaultKdfKey), kdfName(BKdfId::Argon2)));
    if (chosen == BKdfId::PBKDF2)
        return pbkdf2(qMax(1, intSetting(key(DefaultKdfRoundsKey), DefaultPbkdf2Rounds)));
    const int passes = intSetting(key(DefaultArgon2PassesKey), 0);
    DatabaseKdfParameters parameters = argon2(
        passes >= BKDFCalibrateTask::MinArgon2Passes ? passes : FallbackArgon2Passes,
        intSetting(key(DefaultArgon2MemoryKey), DefaultArgon2MemoryKib),
        intSetting(key(DefaultArgon2ParallelismKey), DefaultArgon2Parallelism));
    // A hand-edited store gives no settings that could not be used.
    if (!parameters.problem().isEmpty())
        parameters = argon2(FallbackArgon2Passes, DefaultArgon2MemoryKib, DefaultArgon2Parallelism);
    return parameters;
}

bool DatabaseKdfParameters::argon2DefaultCalibrated()
{
    return intSetting(key(DefaultArgon2PassesKey), 0) >= BKDFCalibrateTask::MinArgon2Passes;
}

void DatabaseKdfParameters::storeDefaultArgon2Passes(int passes)
{
    setIntSetting(key(DefaultArgon2PassesKey), passes);
}

void DatabaseKdfParameters::storeDefaultPbkdf2Rounds(int rounds)
{
    setIntSetting(key(DefaultKdfRoundsKey), rounds);
}
