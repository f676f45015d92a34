// The definition form of an option set, as a plugin manifest or the settings
// store hands it over: loadDefinition() on any text. A set that loads is
// copied, saved and read back; the saved text must read back to itself.

#include "FuzzSupport.h"

#include "blib/password/BOption.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Environment::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));

    BOption root;
    const bool loaded = root.loadDefinition(text);
    // Whatever was read so far stays, loaded or not; a copy is as deep.
    const BOption copy = root;
    FUZZ_CHECK(copy.children().size() == root.children().size());
    if (!loaded)
        return 0;

    QString saved;
    if (!root.saveValues(saved))
        return 0; // a number that is not finite
    BOption reread;
    FUZZ_CHECK(reread.loadValues(saved));
    QString savedAgain;
    FUZZ_CHECK(reread.saveValues(savedAgain));
    FUZZ_CHECK(savedAgain == saved);

    // Path look-ups walk the same tree.
    for (const BOption* child : root.children())
        root.findOption(child->name());
    return 0;
}
