#ifndef BSCRIPT_H
#define BSCRIPT_H

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstddef>

struct lua_State;
struct luaL_Reg;
typedef int (*lua_CFunction)(lua_State*);
class BOption;
class BPlugin;

// Runs one plugin's Lua 5.3 script. Owns one Lua state, loads the script
// into it with the base, table, string, math and utf8 libraries, publishes
// classes, objects and option tables as globals and calls global functions.
//
// The state is sandboxed: dofile and loadfile are gone, load accepts text
// chunks only, math.random draws from the system's secure random source
// (math.randomseed does nothing), the state's memory is capped and a load or
// call that runs longer than the time limit is aborted.
class BScript
{
public:
    static constexpr std::size_t DefaultMemoryLimit = 64u * 1024u * 1024u;
    static constexpr int DefaultTimeLimitMs = 4000;
    // The marker type of an object argument, followed by class name and address.
    static constexpr int ObjectMarkerType = 1024;

    BScript();
    virtual ~BScript();
    BScript(const BScript&) = delete;
    BScript& operator=(const BScript&) = delete;

    bool load(const QString& scriptText, const QString& chunkName);
    bool isLoaded() const { return m_state != nullptr; }
    QString lastError() const { return m_lastError; }

    // Limits for the next load or call; the memory limit counts every byte
    // the state holds.
    void setMemoryLimit(std::size_t bytes) { m_memoryLimit = bytes; }
    void setTimeLimit(int milliseconds) { m_timeLimitMs = milliseconds; }
    // The plugin whose log receives the messages of aborted loads and calls.
    void setLogPlugin(BPlugin* plugin) { m_logPlugin = plugin; }
    // Time the running call spent waiting for the user (a message box or a
    // prompt opened by a C function) and that does not count against the
    // time limit.
    void excludeFromTimeLimit(qint64 milliseconds) { m_excludedMs += milliseconds; }
    BPlugin* logPlugin() const { return m_logPlugin; }

    void beginClass(const QString& name);
    void addMethod(const QString& name, lua_CFunction function);
    void addInteger(const QString& name, qint64 value);
    void endClass();
    void registerClass(const QString& name, const luaL_Reg* functions);
    void setGlobalObject(const QString& className, const QString& globalName, void* address);
    void pushObject(const QString& className, void* address);
    void setGlobalOptions(const QString& globalName, const BOption& root);

    QVariant call(const QString& functionName);
    template<typename... Args>
    QVariant call(const QString& functionName, const Args&... args)
    {
        m_arguments.clear();
        (appendArgument(args), ...);
        return callWithArguments(functionName);
    }
    // An object argument for call(): the marker, the class name and the address.
    static QList<QVariant> objectArgument(const QString& className, const void* address);

    // Support for C functions exported to Lua.
    static BScript* fromState(lua_State* state);
    lua_State* state() const { return m_state; }
    int argumentCount() const;
    bool getBool(int index, bool& out, bool strict = false);
    bool getInteger(int index, qint64& out, bool strict = false);
    bool isNil(int index) const;
    bool getString(int index, QString& out, bool strict = false);
    void* getObject(const QString& className, int index, bool strict = false);
    void pushString(const QString& value);
    void pushInteger(qint64 value);
    void pushBool(bool value);
    void pushNil();
    void newTable();
    void beginArray();
    void setTableValue();
    void setArrayCount(qint64 count);

private:
    void close();
    void appendArgument(const QVariant& value) { m_arguments.append(value); }
    void appendArgument(const QList<QVariant>& values) { m_arguments.append(values); }
    QVariant callWithArguments(const QString& functionName);
    QVariant pushArgumentsAndCall(const QString& functionName);
    void releaseArguments();
    bool runProtected(int argumentCount, int resultCount);
    void pushOptionTable(const BOption& group);
    void installSandbox();

    static void* allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize);
    static void countHook(lua_State* state, struct lua_Debug* debug);

    lua_State* m_state = nullptr;
    QString m_lastError = QStringLiteral("no error");
    QString m_currentClass;
    QList<QVariant> m_arguments;

    std::size_t m_memoryLimit = DefaultMemoryLimit;
    std::size_t m_memoryUsed = 0;
    bool m_limitActive = false;
    bool m_memoryRefused = false;
    int m_timeLimitMs = DefaultTimeLimitMs;
    QElapsedTimer m_runTimer;
    qint64 m_excludedMs = 0;
    bool m_timedOut = false;
    BPlugin* m_logPlugin = nullptr;
};

#endif // BSCRIPT_H
