// A plugin file as it comes from the user or the plugin folder: any bytes,
// read as a ZIP archive by BPluginMetadata::load(). Every refusal names its
// reason.

#include "FuzzSupport.h"

#include "blib/plugin/BPluginMetadata.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Environment::instance();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = fuzz::Environment::instance().writeFile(QStringLiteral("plugin.tvp"), data, size);
    BPluginMetadata metadata;
    QString error;
    if (metadata.load(path, error)) {
        FUZZ_CHECK(!metadata.icon.isNull());
    } else {
        FUZZ_CHECK(!error.isEmpty());
    }
    return 0;
}
