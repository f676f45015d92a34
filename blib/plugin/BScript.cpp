#include "blib/plugin/BScript.h"

#include "blib/crypto/BRandom.h"
#include "blib/crypto/BWipe.h"
#include "blib/password/BOption.h"
#include "blib/plugin/BPlugin.h"

#include <lua5.3/lua.hpp>

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

namespace {

// Instructions between two looks at the clock; once the time limit has
// passed the hook fires on every instruction so that a script catching the
// error with pcall cannot carry on.
constexpr int HookInterval = 10000;

quint64 randomWord()
{
    const QByteArray bytes = randomBytes(8);
    quint64 value = 0;
    std::memcpy(&value, bytes.constData(), sizeof value);
    return value;
}

// A uniform number in [0, range] without modulo bias (rejection sampling).
quint64 randomUpTo(quint64 range)
{
    if (range == ~quint64(0))
        return randomWord();
    const quint64 span = range + 1;
    const quint64 limit = (~quint64(0)) - ((~quint64(0)) % span + 1) % span;
    quint64 value;
    do {
        value = randomWord();
    } while (value > limit);
    return value % span;
}

// math.random with Lua's argument rules over the secure random source.
int secureRandom(lua_State* L)
{
    lua_Integer low, up;
    switch (lua_gettop(L)) {
    case 0: {
        // 53 random bits give a uniform float in [0, 1).
        const double value = double(randomWord() >> 11) * (1.0 / 9007199254740992.0);
        lua_pushnumber(L, value);
        return 1;
    }
    case 1:
        low = 1;
        up = luaL_checkinteger(L, 1);
        break;
    case 2:
        low = luaL_checkinteger(L, 1);
        up = luaL_checkinteger(L, 2);
        break;
    default:
        return luaL_error(L, "wrong number of arguments");
    }
    luaL_argcheck(L, low <= up, lua_gettop(L), "interval is empty");
    const quint64 range = quint64(up) - quint64(low);
    lua_pushinteger(L, lua_Integer(quint64(low) + randomUpTo(range)));
    return 1;
}

int ignoreSeed(lua_State*)
{
    return 0;
}

// load() restricted to text chunks: a crafted binary chunk can crash the
// interpreter. The original load is the upvalue; the mode is always "t".
int textOnlyLoad(lua_State* L)
{
    const int given = lua_gettop(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushvalue(L, 1);
    if (given >= 2)
        lua_pushvalue(L, 2);
    else
        lua_pushnil(L);
    lua_pushliteral(L, "t");
    int arguments = 3;
    if (given >= 4) {
        lua_pushvalue(L, 4);
        ++arguments;
    }
    lua_call(L, arguments, LUA_MULTRET);
    return lua_gettop(L) - given;
}

QString errorText(lua_State* L, int index)
{
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    if (text)
        return QString::fromUtf8(text, int(length));
    return QStringLiteral("(error object is a %1 value)").arg(QString::fromUtf8(luaL_typename(L, index)));
}

int collectGarbage(lua_State* L)
{
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

} // namespace

BScript::BScript() = default;

BScript::~BScript()
{
    close();
    m_arguments.clear();
}

void BScript::close()
{
    if (m_state) {
        m_limitActive = false;
        lua_close(m_state);
        m_state = nullptr;
    }
    m_memoryUsed = 0;
    m_currentClass.clear();
}

void* BScript::allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize)
{
    BScript* script = static_cast<BScript*>(ud);
    // For a new block oldSize holds a type tag, not a size.
    const std::size_t held = block ? oldSize : 0;
    // Scripts hold the text of imported files and the passwords they build:
    // no block goes back to the heap, or is left behind by a move, without
    // being wiped.
    if (newSize == 0) {
        wipeMemory(block, held);
        std::free(block);
        script->m_memoryUsed -= held;
        return nullptr;
    }
    if (script->m_limitActive && newSize > held && script->m_memoryUsed - held + newSize > script->m_memoryLimit) {
        script->m_memoryRefused = true;
        return nullptr;
    }
    if (block && newSize <= held) {
        wipeMemory(static_cast<char*>(block) + newSize, held - newSize);
        // Lua counts on a shrink never failing: the old block still serves.
        void* shrunk = std::realloc(block, newSize);
        script->m_memoryUsed = script->m_memoryUsed - held + newSize;
        return shrunk ? shrunk : block;
    }
    void* result = std::malloc(newSize);
    if (!result)
        return nullptr;
    if (block) {
        std::memcpy(result, block, held);
        wipeMemory(block, held);
        std::free(block);
    }
    script->m_memoryUsed = script->m_memoryUsed - held + newSize;
    return result;
}

void BScript::countHook(lua_State* L, lua_Debug*)
{
    BScript* script = fromState(L);
    if (!script->m_timedOut && script->m_runTimer.elapsed() - script->m_excludedMs <= script->m_timeLimitMs)
        return;
    if (!script->m_timedOut) {
        script->m_timedOut = true;
        lua_sethook(L, &BScript::countHook, LUA_MASKCOUNT, 1);
    }
    luaL_error(L, "script stopped: it ran longer than %d seconds", (script->m_timeLimitMs + 999) / 1000);
}

bool BScript::runProtected(int argumentCount, int resultCount)
{
    m_timedOut = false;
    m_memoryRefused = false;
    m_runTimer.start();
    m_excludedMs = 0;
    lua_sethook(m_state, &BScript::countHook, LUA_MASKCOUNT, HookInterval);
    // The memory cap applies while script code runs; the host's own pushes
    // outside a protected call must not fail, since an error there would
    // end the process.
    m_limitActive = true;
    const int status = lua_pcallk(m_state, argumentCount, resultCount, 0, 0, nullptr);
    m_limitActive = false;
    lua_sethook(m_state, nullptr, 0, 0);
    if (status == LUA_OK)
        return true;
    // The libraries report some refused allocations as ordinary errors.
    if (status == LUA_ERRMEM || m_memoryRefused)
        m_lastError = QCoreApplication::translate("BScript", "The script ran out of memory (limit %1 MiB).")
                          .arg(m_memoryLimit / (1024 * 1024));
    else
        m_lastError = errorText(m_state, -1);
    lua_pop(m_state, 1);
    if ((m_timedOut || status == LUA_ERRMEM || m_memoryRefused) && m_logPlugin)
        m_logPlugin->appendLog(m_lastError);
    return false;
}

bool BScript::load(const QString& scriptText, const QString& chunkName)
{
    close();
    m_state = lua_newstate(&BScript::allocate, this);
    if (!m_state) {
        m_lastError = QStringLiteral("not enough memory");
        return false;
    }
    *static_cast<BScript**>(lua_getextraspace(m_state)) = this;

    static const luaL_Reg libraries[] = { { "_G", luaopen_base },
                                          { LUA_TABLIBNAME, luaopen_table },
                                          { LUA_STRLIBNAME, luaopen_string },
                                          { LUA_MATHLIBNAME, luaopen_math },
                                          { LUA_UTF8LIBNAME, luaopen_utf8 } };
    for (const luaL_Reg& library : libraries) {
        luaL_requiref(m_state, library.name, library.func, 1);
        lua_pop(m_state, 1);
    }
    installSandbox();

    const QByteArray text = scriptText.toUtf8();
    const QByteArray name = chunkName.toUtf8();
    m_limitActive = true;
    const int status = luaL_loadbufferx(m_state, text.constData(), size_t(text.size()), name.constData(), "t");
    m_limitActive = false;
    if (status != LUA_OK) {
        m_lastError = status == LUA_ERRMEM ? QStringLiteral("not enough memory") : errorText(m_state, -1);
        if (status == LUA_ERRMEM && m_logPlugin)
            m_logPlugin->appendLog(m_lastError);
        close();
        return false;
    }
    if (!runProtected(0, LUA_MULTRET)) {
        close();
        return false;
    }
    lua_settop(m_state, 0);
    return true;
}

void BScript::installSandbox()
{
    lua_State* L = m_state;
    lua_pushnil(L);
    lua_setglobal(L, "dofile");
    lua_pushnil(L);
    lua_setglobal(L, "loadfile");

    lua_getglobal(L, "load");
    lua_pushcclosure(L, textOnlyLoad, 1);
    lua_setglobal(L, "load");

    lua_getglobal(L, LUA_MATHLIBNAME);
    lua_pushcfunction(L, secureRandom);
    lua_setfield(L, -2, "random");
    lua_pushcfunction(L, ignoreSeed);
    lua_setfield(L, -2, "randomseed");
    lua_pop(L, 1);
}

BScript* BScript::fromState(lua_State* state)
{
    return *static_cast<BScript**>(lua_getextraspace(state));
}

void BScript::beginClass(const QString& name)
{
    if (!m_state)
        return;
    luaL_newmetatable(m_state, name.toUtf8().constData());
    m_currentClass = name;
}

void BScript::addMethod(const QString& name, lua_CFunction function)
{
    if (!m_state || m_currentClass.isEmpty())
        return;
    lua_pushcfunction(m_state, function);
    lua_setfield(m_state, -2, name.toUtf8().constData());
}

void BScript::addInteger(const QString& name, qint64 value)
{
    if (!m_state || m_currentClass.isEmpty())
        return;
    lua_pushinteger(m_state, lua_Integer(value));
    lua_setfield(m_state, -2, name.toUtf8().constData());
}

void BScript::endClass()
{
    if (!m_state || m_currentClass.isEmpty())
        return;
    lua_pushvalue(m_state, -1);
    lua_setfield(m_state, -2, "__index");
    lua_setglobal(m_state, m_currentClass.toUtf8().constData());
    m_currentClass.clear();
}

void BScript::registerClass(const QString& name, const luaL_Reg* functions)
{
    if (!m_state)
        return;
    const QByteArray className = name.toUtf8();
    luaL_newmetatable(m_state, className.constData());
    luaL_setfuncs(m_state, functions, 0);
    lua_pushvalue(m_state, -1);
    lua_setfield(m_state, -2, "__index");
    lua_setglobal(m_state, className.constData());
}

void BScript::pushObject(const QString& className, void* address)
{
    if (!m_state)
        return;
    void** block = static_cast<void**>(lua_newuserdata(m_state, sizeof(void*)));
    *block = address;
    luaL_setmetatable(m_state, className.toUtf8().constData());
}

void BScript::setGlobalObject(const QString& className, const QString& globalName, void* address)
{
    if (!m_state)
        return;
    pushObject(className, address);
    lua_setglobal(m_state, globalName.toUtf8().constData());
}

void BScript::pushOptionTable(const BOption& group)
{
    lua_newtable(m_state);
    for (const BOption* child : group.children()) {
        switch (child->type()) {
        case BOption::Group:
            pushOptionTable(*child);
            break;
        case BOption::String:
            pushString(child->stringValue());
            break;
        case BOption::Int:
            lua_pushinteger(m_state, child->intValue());
            break;
        case BOption::Double:
            lua_pushnumber(m_state, child->doubleValue());
            break;
        case BOption::Bool:
            lua_pushboolean(m_state, child->boolValue());
            break;
        case BOption::Choice:
            pushString(child->choiceValue());
            break;
        case BOption::None:
            continue;
        }
        lua_setfield(m_state, -2, child->name().toUtf8().constData());
    }
}

void BScript::setGlobalOptions(const QString& globalName, const BOption& root)
{
    if (!m_state)
        return;
    pushOptionTable(root);
    lua_setglobal(m_state, globalName.toUtf8().constData());
}

namespace {

// The marker of an object argument. Any registered type reports the user
// type as its QVariant::type(); a QVariant built from the bare number 1024
// would be invalid unless some other type happened to get that id first.
struct ObjectMarker {
};

} // namespace

Q_DECLARE_METATYPE(ObjectMarker)

QList<QVariant> BScript::objectArgument(const QString& className, const void* address)
{
    return { QVariant::fromValue(ObjectMarker()), className,
             QVariant::fromValue<quint64>(quint64(reinterpret_cast<quintptr>(address))) };
}

QVariant BScript::call(const QString& functionName)
{
    m_arguments.clear();
    return callWithArguments(functionName);
}

QVariant BScript::callWithArguments(const QString& functionName)
{
    const QVariant result = pushArgumentsAndCall(functionName);
    releaseArguments();
    return result;
}

void BScript::releaseArguments()
{
    // The arguments (an imported file, a password) are released now, not at
    // the next call. A copy held only here is wiped; one the caller still
    // shares is left to the caller, whose wipe then reaches the only copy.
    for (QVariant& argument : m_arguments) {
        if (argument.type() == QVariant::ByteArray) {
            QByteArray bytes = argument.toByteArray();
            argument = QVariant();
            if (bytes.isDetached())
                wipe(bytes);
        } else if (argument.type() == QVariant::String) {
            QString text = argument.toString();
            argument = QVariant();
            if (text.isDetached())
                wipe(text);
        }
    }
    m_arguments.clear();
    // The Lua strings made from them, and whatever the script built from
    // them and dropped, are freed (and so wiped by allocate()) at once.
    // Protected and timed: a script's own finaliser may fail or loop. The
    // call's own error text stays.
    if (m_state) {
        const QString error = m_lastError;
        lua_pushcfunction(m_state, &collectGarbage);
        runProtected(0, 0);
        m_lastError = error;
    }
}

QVariant BScript::pushArgumentsAndCall(const QString& functionName)
{
    if (!m_state)
        return QVariant();
    lua_State* L = m_state;
    const int base = lua_gettop(L);
    if (lua_getglobal(L, functionName.toUtf8().constData()) != LUA_TFUNCTION) {
        lua_settop(L, base);
        return QVariant();
    }
    int count = 0;
    for (int i = 0; i < m_arguments.size(); ++i) {
        const QVariant& value = m_arguments.at(i);
        switch (int(value.type())) {
        case QVariant::Invalid:
            lua_pushnil(L);
            break;
        case QVariant::Bool:
            lua_pushboolean(L, value.toBool());
            break;
        case QVariant::Int:
        case QVariant::UInt:
        case QVariant::LongLong:
            lua_pushinteger(L, value.toInt());
            break;
        case QVariant::ULongLong:
            lua_pushinteger(L, lua_Integer(value.toULongLong()));
            break;
        case QVariant::Double:
            lua_pushnumber(L, value.toDouble());
            break;
        case QVariant::Char:
        case QVariant::String:
            pushString(value.toString());
            break;
        case QVariant::ByteArray: {
            const QByteArray bytes = value.toByteArray();
            lua_pushlstring(L, bytes.constData(), size_t(bytes.size()));
            break;
        }
        case ObjectMarkerType: {
            if (i + 2 >= m_arguments.size()) {
                lua_settop(L, base);
                return QVariant();
            }
            const QByteArray className = m_arguments.at(i + 1).toString().toUtf8();
            void* address = reinterpret_cast<void*>(quintptr(m_arguments.at(i + 2).toULongLong()));
            i += 2;
            void** block = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));
            *block = address;
            if (luaL_getmetatable(L, className.constData()) != LUA_TTABLE) {
                lua_settop(L, base);
                return QVariant();
            }
            lua_setmetatable(L, -2);
            break;
        }
        default:
            lua_settop(L, base);
            return QVariant();
        }
        ++count;
    }

    const int before = lua_gettop(L);
    if (!runProtected(count, LUA_MULTRET)) {
        lua_settop(L, base);
        return QVariant();
    }
    // The count is taken against the height that held the function and its
    // arguments: the values returned minus the arguments passed.
    const int results = lua_gettop(L) - before + 1;
    QVariant last;
    for (int i = 0; i < results; ++i) {
        QVariant value;
        switch (lua_type(L, -1)) {
        case LUA_TNUMBER:
            if (lua_isinteger(L, -1))
                value = QVariant::fromValue<qint64>(lua_tointeger(L, -1));
            else
                value = lua_tonumber(L, -1);
            break;
        case LUA_TSTRING: {
            size_t length = 0;
            const char* text = lua_tolstring(L, -1, &length);
            value = QString::fromUtf8(text, int(length));
            break;
        }
        case LUA_TUSERDATA:
            // Objects are 8-byte blocks holding the application object's
            // address: that address is the result, not the block's own.
            if (lua_rawlen(L, -1) == sizeof(void*))
                value = QVariant::fromValue<quint64>(
                    quint64(reinterpret_cast<quintptr>(*static_cast<void**>(lua_touserdata(L, -1)))));
            else
                value = QVariant::fromValue<quint64>(quint64(reinterpret_cast<quintptr>(lua_touserdata(L, -1))));
            break;
        case LUA_TLIGHTUSERDATA:
            value = QVariant::fromValue<quint64>(quint64(reinterpret_cast<quintptr>(lua_touserdata(L, -1))));
            break;
        default:
            break;
        }
        last = value;
        lua_pop(L, 1);
    }
    // Results left uncounted are dropped so that repeated calls cannot
    // grow the stack.
    lua_settop(L, base);
    if (results == 1)
        return last;
    return true;
}

int BScript::argumentCount() const
{
    return m_state ? lua_gettop(m_state) : 0;
}

bool BScript::getBool(int index, bool& out, bool strict)
{
    if (strict)
        luaL_checktype(m_state, index, LUA_TBOOLEAN);
    if (!lua_isboolean(m_state, index))
        return false;
    out = lua_toboolean(m_state, index);
    return true;
}

bool BScript::getInteger(int index, qint64& out, bool strict)
{
    if (strict)
        luaL_checktype(m_state, index, LUA_TNUMBER);
    if (!lua_isinteger(m_state, index))
        return false;
    out = lua_tointeger(m_state, index);
    return true;
}

bool BScript::isNil(int index) const
{
    return lua_isnil(m_state, index);
}

bool BScript::getString(int index, QString& out, bool strict)
{
    if (strict)
        luaL_checktype(m_state, index, LUA_TSTRING);
    if (!lua_isstring(m_state, index))
        return false;
    size_t length = 0;
    const char* text = lua_tolstring(m_state, index, &length);
    out = QString::fromUtf8(text, int(length));
    return true;
}

void* BScript::getObject(const QString& className, int index, bool strict)
{
    const QByteArray name = className.toUtf8();
    void** block = static_cast<void**>(strict ? luaL_checkudata(m_state, index, name.constData())
                                              : luaL_testudata(m_state, index, name.constData()));
    return block ? *block : nullptr;
}

void BScript::pushString(const QString& value)
{
    const QByteArray text = value.toUtf8();
    lua_pushlstring(m_state, text.constData(), size_t(text.size()));
}

void BScript::pushInteger(qint64 value)
{
    lua_pushinteger(m_state, lua_Integer(value));
}

void BScript::pushBool(bool value)
{
    lua_pushboolean(m_state, value);
}

void BScript::pushNil()
{
    lua_pushnil(m_state);
}

void BScript::newTable()
{
    lua_newtable(m_state);
}

void BScript::beginArray()
{
    lua_newtable(m_state);
    lua_pushinteger(m_state, 0);
    lua_setfield(m_state, -2, "n");
}

void BScript::setTableValue()
{
    lua_settable(m_state, -3);
}

void BScript::setArrayCount(qint64 count)
{
    lua_pushinteger(m_state, lua_Integer(count));
    lua_setfield(m_state, -2, "n");
}
