#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// Shared by the fuzz harnesses: the same sources are built with clang and
// libFuzzer for fuzzing, and with the normal compiler and ReplayMain.cpp for
// replaying the stored inputs under CTest.
//
// A harness defines
//   extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// and checks what must hold for every input with FUZZ_CHECK, which aborts
// (and so becomes a finding) when it does not.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzz {

// The process set-up every harness shares: an offscreen application object
// (pixmaps and icons need one), settings and data kept in a scratch folder
// instead of the user's, and a scratch folder for the files the code under
// test reads by path.
class Environment
{
public:
    static Environment& instance()
    {
        static Environment environment;
        return environment;
    }

    // A path inside the scratch folder.
    QString path(const QString& name) const { return m_scratch.filePath(name); }

    // Writes `size` bytes to the scratch file `name` and returns its path.
    QString writeFile(const QString& name, const uint8_t* data, size_t size) const
    {
        return writeFile(name, QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size)));
    }

    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        const QString filePath = path(name);
        QFile file(filePath);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(file.write(bytes) == bytes.size());
        return filePath;
    }

private:
    Environment()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const QByteArray home = QDir::tempPath().toLocal8Bit() + "/lockharbour-fuzz-home";
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/config");
        qputenv("XDG_DATA_HOME", home + "/data");
        static int argc = 1;
        static char name[] = "lockharbour-fuzz";
        static char* argv[] = { name, nullptr };
        m_application = new QGuiApplication(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Tessavond"));
        QCoreApplication::setApplicationName(QStringLiteral("Lockharbour"));
        // Messages from the toolkit about odd input would only slow the
        // fuzzer down.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtFatalMsg) {
                std::fprintf(stderr, "fatal: %s\n", qPrintable(text));
                std::abort();
            }
        });
        FUZZ_CHECK(m_scratch.isValid());
    }

    QGuiApplication* m_application = nullptr; // lives as long as the process
    QTemporaryDir m_scratch;
};

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}

} // namespace fuzz

#endif // FUZZSUPPORT_H
