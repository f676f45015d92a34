// Feeds stored inputs through a fuzz harness without libFuzzer: every file
// named on the command line, and every file inside each folder named there
// (sorted, not recursive), goes to LLVMFuzzerTestOneInput once. A harness
// check that fails, or a sanitizer report, ends the run with a failure; the
// input being replayed is printed first.
//
//   replay_<harness> [--require-inputs] PATH...
//
// With --require-inputs the run fails when no input was found at all.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    std::fprintf(stderr, "replaying %s (%d bytes)\n", qPrintable(path), int(bytes.size()));
    // A copy of exactly the input's size, so that a read past its end is
    // seen by the address sanitizer as it is by the fuzzer.
    uint8_t* data = new uint8_t[bytes.size() > 0 ? bytes.size() : 1];
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    LLVMFuzzerTestOneInput(data, size_t(bytes.size()));
    delete[] data;
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    LLVMFuzzerInitialize(&argc, &argv);

    bool requireInputs = false;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--require-inputs") == 0) {
            requireInputs = true;
            continue;
        }
        const QString path = QFile::decodeName(argv[i]);
        const QFileInfo info(path);
        if (info.isDir()) {
            const QDir dir(path);
            for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
                if (name != QLatin1String(".gitkeep"))
                    files << dir.filePath(name);
            }
        } else if (info.exists()) {
            files << path;
        }
    }
    if (requireInputs && files.isEmpty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    int failures = 0;
    for (const QString& path : qAsConst(files)) {
        if (!replay(path))
            ++failures;
    }
    std::fprintf(stderr, "%d inputs replayed\n", int(files.size()) - failures);
    return failures == 0 ? 0 : 1;
}
