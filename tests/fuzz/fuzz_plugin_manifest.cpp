// A plugin manifest: the fuzz input is "manifest.json" inside an otherwise
// valid plugin file (with a PNG icon "icon.png"), so that every input reaches
// the manifest reader instead of stopping at the archive's checksums.

#include "FuzzSupport.h"

#include "blib/plugin/BPluginMetadata.h"
#include "support/PluginArchiveBuilder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Environment::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QByteArray icon = PluginArchiveBuilder::pngIcon();
    PluginArchiveBuilder builder;
    builder.add(QStringLiteral("manifest.json"), fuzz::bytes(data, size), false);
    builder.add(QStringLiteral("icon.png"), icon, false);
    const QString path = fuzz::Environment::instance().writeFile(QStringLiteral("manifest.tvp"), builder.bytes());

    BPluginMetadata metadata;
    QString error;
    if (metadata.load(path, error)) {
        FUZZ_CHECK(!metadata.id.isNull());
        FUZZ_CHECK(!metadata.icon.isNull());
        // The options read from the manifest save and read back.
        QString saved;
        if (metadata.options.saveValues(saved)) {
            BOption reread;
            FUZZ_CHECK(reread.loadValues(saved));
        }
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
    return 0;
}
