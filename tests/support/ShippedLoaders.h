#ifndef SHIPPEDLOADERS_H
#define SHIPPEDLOADERS_H

// The database loader plugins the build packs from plugins/, the sample
// files for them, and a script user interface that records what the
// scripts show.

#include "app/plugin/ScriptUserInterface.h"
#include "support/LoaderPluginFixture.h"

#include <QFile>
#include <QString>
#include <QStringList>

namespace ShippedLoaders {

// build/plugins/<name>.tvp
inline QString path(const QString& name)
{
    return qEnvironmentVariable("LH_BINARY_DIR") + QStringLiteral("/plugins/") + name + QStringLiteral(".tvp");
}

// A sample file under tests/data/import; empty when it is missing.
inline QByteArray sample(const QString& name)
{
    QFile file(QStringLiteral(LH_SOURCE_DIR "/tests/data/import/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The loader of build/plugins/<name>.tvp; null with `error` set when it
// does not load.
inline LoaderPluginFixture::LoaderPointer load(const QString& name, QString& error)
{
    return LoaderPluginFixture::createLoader(path(name), error);
}

} // namespace ShippedLoaders

// Records the scripts' alerts while it exists; refuses every question.
class RecordingScriptUserInterface : public ScriptUserInterface
{
public:
    QStringList warnings;
    QStringList others;

    void clear()
    {
        warnings.clear();
        others.clear();
    }

    void info(const QString& title, const QString& text) override { others.append(title + ": " + text); }
    void warning(const QString& title, const QString& text) override { warnings.append(title + ": " + text); }
    void error(const QString& title, const QString& text) override { others.append(title + ": " + text); }
    bool yesNo(const QString&, const QString&, const QString&, const QString&) override { return false; }
    bool yesNoWarning(const QString&, const QString&, const QString&, const QString&) override { return false; }
    SaveDiscardCancelAnswer saveDiscardCancel(const QString&, const QString&) override { return Cancel; }
    bool text(const QString&, const QString&, QString&) override { return false; }
    bool password(QString&) override { return false; }

private:
    Installation m_installation { this };
};

#endif // SHIPPEDLOADERS_H
