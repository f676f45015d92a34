#include "blib/plugin/BScriptPluginClass.h"

#include "blib/plugin/BPlugin.h"
#include "blib/plugin/BPluginArchive.h"
#include "blib/plugin/BScript.h"

namespace {

const QString ClassName = QStringLiteral("Plugin");

BPlugin* self(BScript* script)
{
    return static_cast<BPlugin*>(script->getObject(ClassName, 1));
}

// plugin:loadFile(name): the entry's text up to its first zero byte, or nil.
int loadFile(lua_State* state)
{
    BScript* script = BScript::fromState(state);
    BPlugin* plugin = self(script);
    QString name;
    QByteArray contents;
    if (!plugin || !script->getString(2, name) || !BPluginArchive::readEntry(plugin->path(), name, contents)) {
        script->pushNil();
        return 1;
    }
    script->pushString(QString::fromUtf8(contents.constData()));
    return 1;
}

int appendText(lua_State* state, bool lineBreak)
{
    BScript* script = BScript::fromState(state);
    BPlugin* plugin = self(script);
    QString text;
    if (plugin && script->getString(2, text)) {
        if (lineBreak)
            plugin->appendLog(text);
        else
            plugin->appendLogText(text);
    }
    return 0;
}

int log(lua_State* state)
{
    return appendText(state, false);
}

int logLine(lua_State* state)
{
    return appendText(state, true);
}

} // namespace

void installPluginClass(BScript& script, BPlugin* plugin)
{
    script.setLogPlugin(plugin);
    script.beginClass(ClassName);
    script.addMethod(QStringLiteral("loadFile"), loadFile);
    script.addMethod(QStringLiteral("log"), log);
    script.addMethod(QStringLiteral("logLine"), logLine);
    script.endClass();
    script.setGlobalObject(ClassName, QStringLiteral("plugin"), plugin);
}
