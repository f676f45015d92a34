// A vault file as it comes from the disk: any bytes, read by
// PasswordDatabase::load(). A file that loads must leave a consistent header;
// one that does not must leave the database as it was.

#include "FuzzSupport.h"

#include "app/database/PasswordDatabase.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/task/BTaskController.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Environment::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::Environment& environment = fuzz::Environment::instance();
    const QString path = environment.writeFile(QStringLiteral("vault.lhdb"), data, size);

    PasswordDatabase db;
    db.setName(QStringLiteral("before"));
    BTaskController controller;
    if (db.load(path, &controller)) {
        FUZZ_CHECK(db.isOpen());
        FUZZ_CHECK(!db.isLocked());
        FUZZ_CHECK(db.getItems().isEmpty());
        FUZZ_CHECK(!db.hasKeys());
        FUZZ_CHECK(db.getFormatVersion() >= 1 && db.getFormatVersion() <= 4);
        // Version 4 has one salt of at least 16 bytes; earlier ones have none.
        FUZZ_CHECK(db.isLegacyFormat() ? db.getKdfSalt().isEmpty() : db.getKdfSalt().size() >= 16);
        FUZZ_CHECK(db.getKdfRounds() >= 1);
        // A known cipher comes with an IV of its block size.
        const int blockSize = cipherBlockSize(db.getCipher());
        FUZZ_CHECK(blockSize == 0 || db.getCipherIv().size() == blockSize);
        FUZZ_CHECK(db.getFilePath() == path);
    } else {
        FUZZ_CHECK(!db.isOpen());
        FUZZ_CHECK(db.getName() == QLatin1String("before"));
    }
    return 0;
}
