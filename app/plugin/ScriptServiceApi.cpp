#include "app/plugin/ScriptServiceApi.h"

#include "app/plugin/ScriptUserInterface.h"
#include "blib/crypto/BCryptoIds.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BSymmetricCipher.h"
#include "blib/crypto/BWipe.h"
#include "blib/plugin/BScript.h"

#include <lua5.3/lua.hpp>

#include <QCoreApplication>
#include <QElapsedTimer>

// Lua errors are long jumps that skip C++ destructors: every argument is
// checked before the first local object with a destructor exists.

namespace {

// --------------------------------------------------------------- argument checks

// An integer argument: false when it is missing (none or nil); a Lua error
// for any other type or a number without an integer value.
bool optionalInteger(lua_State* L, int index, lua_Integer& value)
{
    if (lua_isnoneornil(L, index))
        return false;
    value = luaL_checkinteger(L, index);
    return true;
}

// A string argument (numbers count as strings): false when missing; a Lua
// error for any other type.
bool optionalBytes(lua_State* L, int index)
{
    if (lua_isnoneornil(L, index))
        return false;
    if (!lua_isstring(L, index))
        luaL_argerror(L, index, lua_pushfstring(L, "string expected, got %s", luaL_typename(L, index)));
    return true;
}

QByteArray bytesAt(lua_State* L, int index)
{
    size_t length = 0;
    const char* data = lua_tolstring(L, index, &length);
    return QByteArray(data, int(length));
}

// Byte results reach the script as the UTF-8 decoding of the bytes.
void pushDecoded(lua_State* L, const QByteArray& bytes)
{
    QByteArray text = QString::fromUtf8(bytes).toUtf8();
    lua_pushlstring(L, text.constData(), size_t(text.size()));
    wipe(text);
}

int pushEmpty(lua_State* L)
{
    lua_pushliteral(L, "");
    return 1;
}

// --------------------------------------------------------------- Hash

// Hash.hash(hashId, data)
int hashHash(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    const bool haveData = optionalBytes(L, 2);
    if (!haveId || !haveData || !isValidHashId(int(id)) || id != lua_Integer(int(id)))
        return pushEmpty(L);
    QByteArray digest;
    hash(int(id), bytesAt(L, 2), digest);
    pushDecoded(L, digest);
    return 1;
}

// Hash.hmac(hashId, data, key)
int hashHmac(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    const bool haveData = optionalBytes(L, 2);
    const bool haveKey = optionalBytes(L, 3);
    if (!haveId || !haveData || !haveKey || !isValidHashId(int(id)) || id != lua_Integer(int(id)))
        return pushEmpty(L);
    QByteArray mac;
    QByteArray key = bytesAt(L, 3);
    hmac(int(id), bytesAt(L, 2), key, mac);
    wipe(key);
    pushDecoded(L, mac);
    wipe(mac);
    return 1;
}

// Hash.hashLengthBytes(hashId)
int hashLengthBytes(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    lua_pushinteger(L, haveId && id == lua_Integer(int(id)) ? hashLength(int(id)) : 0);
    return 1;
}

// --------------------------------------------------------------- Cipher

bool isCipher(lua_Integer id)
{
    return id == BCipherId::AES_256 || id == BCipherId::Twofish_256;
}

// Cipher.symmetricCtrProcess(cipherId, key, iv, data): "" for an unknown
// cipher, a missing argument, a key length the cipher refuses or an IV
// shorter than one block.
int cipherProcess(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    const bool haveKey = optionalBytes(L, 2);
    const bool haveIv = optionalBytes(L, 3);
    const bool haveData = optionalBytes(L, 4);
    if (!haveId || !haveKey || !haveIv || !haveData || !isCipher(id))
        return pushEmpty(L);
    QByteArray key = bytesAt(L, 2);
    QByteArray output;
    symmetricCtrProcess(int(id), key, bytesAt(L, 3), bytesAt(L, 4), output);
    wipe(key);
    pushDecoded(L, output);
    wipe(output);
    return 1;
}

int cipherKeySizeOf(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    lua_pushinteger(L, haveId && isCipher(id) ? cipherKeySize(int(id)) : 0);
    return 1;
}

int cipherBlockSizeOf(lua_State* L)
{
    lua_Integer id = 0;
    const bool haveId = optionalInteger(L, 1, id);
    lua_pushinteger(L, haveId && isCipher(id) ? cipherBlockSize(int(id)) : 0);
    return 1;
}

// --------------------------------------------------------------- Alert and Prompt

// Checks that the first `count` arguments are strings (a Lua error
// otherwise).
void checkStrings(lua_State* L, int count)
{
    for (int index = 1; index <= count; ++index)
        luaL_checktype(L, index, LUA_TSTRING);
}

QString stringAt(lua_State* L, int index)
{
    size_t length = 0;
    const char* text = lua_tolstring(L, index, &length);
    return QString::fromUtf8(text, int(length));
}

// Runs a question to the user; the time it takes is not the script's.
template <class Function>
auto askUser(lua_State* L, Function function)
{
    QElapsedTimer timer;
    timer.start();
    auto result = function(ScriptUserInterface::current());
    BScript::fromState(L)->excludeFromTimeLimit(timer.elapsed());
    return result;
}

enum class AlertKind { Info, Warning, Error };

template <AlertKind Kind>
int alert(lua_State* L)
{
    checkStrings(L, 2);
    askUser(L, [L](ScriptUserInterface* ui) {
        if (!ui)
            return false;
        const QString title = stringAt(L, 1);
        const QString text = stringAt(L, 2);
        if (Kind == AlertKind::Info)
            ui->info(title, text);
        else if (Kind == AlertKind::Warning)
            ui->warning(title, text);
        else
            ui->error(title, text);
        return true;
    });
    return 0;
}

template <bool Warning>
int promptYesNo(lua_State* L)
{
    checkStrings(L, 4);
    const bool yes = askUser(L, [L](ScriptUserInterface* ui) {
        if (!ui)
            return false;
        if (Warning)
            return ui->yesNoWarning(stringAt(L, 1), stringAt(L, 2), stringAt(L, 3), stringAt(L, 4));
        return ui->yesNo(stringAt(L, 1), stringAt(L, 2), stringAt(L, 3), stringAt(L, 4));
    });
    lua_pushboolean(L, yes);
    return 1;
}

int promptSaveDiscardCancel(lua_State* L)
{
    checkStrings(L, 2);
    const int answer = askUser(L, [L](ScriptUserInterface* ui) {
        return int(ui ? ui->saveDiscardCancel(stringAt(L, 1), stringAt(L, 2)) : ScriptUserInterface::Cancel);
    });
    lua_pushinteger(L, answer);
    return 1;
}

// Pushes the answer, or nil when there is none; the copies are wiped.
void pushAnswer(lua_State* L, bool answered, QString& answer)
{
    if (!answered) {
        wipe(answer);
        lua_pushnil(L);
        return;
    }
    QByteArray bytes = answer.toUtf8();
    wipe(answer);
    lua_pushlstring(L, bytes.constData(), size_t(bytes.size()));
    wipe(bytes);
}

int promptText(lua_State* L)
{
    checkStrings(L, 2);
    QString answer;
    const bool answered = askUser(L, [L, &answer](ScriptUserInterface* ui) {
        return ui && ui->text(stringAt(L, 1), stringAt(L, 2), answer);
    });
    pushAnswer(L, answered, answer);
    return 1;
}

int promptPassword(lua_State* L)
{
    QString answer;
    const bool answered = askUser(L, [&answer](ScriptUserInterface* ui) { return ui && ui->password(answer); });
    pushAnswer(L, answered, answer);
    return 1;
}

} // namespace

void ScriptServiceApi::installHashAndCipher(BScript& script)
{
    script.beginClass(QStringLiteral("Hash"));
    script.addMethod(QStringLiteral("hash"), hashHash);
    script.addMethod(QStringLiteral("hmac"), hashHmac);
    script.addMethod(QStringLiteral("hashLengthBytes"), hashLengthBytes);
    static const struct {
        const char* name;
        int id;
    } hashes[] = { { "MD4", BHashId::MD4 },           { "MD5", BHashId::MD5 },
                   { "SHA_1", BHashId::SHA_1 },       { "SHA_256", BHashId::SHA_256 },
                   { "SHA_224", BHashId::SHA_224 },   { "SHA_384", BHashId::SHA_384 },
                   { "SHA_512", BHashId::SHA_512 },   { "SHA3_224", BHashId::SHA3_224 },
                   { "SHA3_256", BHashId::SHA3_256 }, { "SHA3_384", BHashId::SHA3_384 },
                   { "SHA3_512", BHashId::SHA3_512 } };
    for (const auto& entry : hashes)
        script.addInteger(QLatin1String(entry.name), entry.id);
    script.endClass();

    script.beginClass(QStringLiteral("Cipher"));
    script.addMethod(QStringLiteral("symmetricCtrProcess"), cipherProcess);
    script.addMethod(QStringLiteral("cipherKeySize"), cipherKeySizeOf);
    script.addMethod(QStringLiteral("cipherBlockSize"), cipherBlockSizeOf);
    script.addInteger(QStringLiteral("AES_256"), BCipherId::AES_256);
    script.addInteger(QStringLiteral("Twofish"), BCipherId::Twofish_256);
    script.endClass();
}

void ScriptServiceApi::installAlertAndPrompt(BScript& script)
{
    // Alert has no constants: one step, like the model classes.
    static const luaL_Reg alertFunctions[] = { { "info", alert<AlertKind::Info> },
                                               { "warning", alert<AlertKind::Warning> },
                                               { "error", alert<AlertKind::Error> },
                                               { nullptr, nullptr } };
    script.registerClass(QStringLiteral("Alert"), alertFunctions);

    script.beginClass(QStringLiteral("Prompt"));
    script.addMethod(QStringLiteral("yesNo"), promptYesNo<false>);
    script.addMethod(QStringLiteral("yesNoWarning"), promptYesNo<true>);
    script.addMethod(QStringLiteral("saveDiscardCancel"), promptSaveDiscardCancel);
    script.addMethod(QStringLiteral("text"), promptText);
    script.addMethod(QStringLiteral("password"), promptPassword);
    script.addInteger(QStringLiteral("Yes"), 1);
    script.addInteger(QStringLiteral("No"), 0);
    script.addInteger(QStringLiteral("Cancel"), ScriptUserInterface::Cancel);
    script.addInteger(QStringLiteral("Save"), ScriptUserInterface::Save);
    script.addInteger(QStringLiteral("Discard"), ScriptUserInterface::Discard);
    script.endClass();
}
