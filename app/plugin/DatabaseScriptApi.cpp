#include "app/plugin/DatabaseScriptApi.h"

#include "app/plugin/ScriptObjectRegistry.h"
#include "blib/crypto/BHash.h"
#include "blib/crypto/BWipe.h"
#include "blib/plugin/BScript.h"

#include <lua5.3/lua.hpp>

#include <QDateTime>
#include <QVector>

#include <functional>
#include <limits>
#include <type_traits>

using Attachment = PasswordDatabase::Password::Attachment;
using Group = PasswordDatabase::Group;
using Item = PasswordDatabase::Item;
using Kind = ScriptObjectRegistry::Kind;
using Password = PasswordDatabase::Password;

// Every function here may be left by a Lua error (a long jump that skips C++
// destructors). Errors are raised on purpose only while no local object with
// a destructor is alive; Lua allocates (and may fail under the script's
// memory cap, leaving a temporary unreleased) only after the model has been
// changed consistently. An allocation may also run the collector, whose
// finalizers destroy free objects: no model pointer is used after one.

namespace {

// The address of this variable is the key of the object registry in the Lua
// registry: looking it up allocates nothing.
const char RegistryKey = 0;
const char* const DatabaseClass = "Database";
const char* const GroupClass = "Group";
const char* const PasswordClass = "Password";
const char* const AttachmentClass = "Attachment";

// Expiry times a script may set: the years 1 to 9999.
constexpr qint64 EarliestExpireTime = -62135596800LL;
constexpr qint64 LatestExpireTime = 253402300799LL;

template <class T> struct ClassOf;
template <> struct ClassOf<Group> {
    static constexpr Kind kind = ScriptObjectRegistry::GroupObject;
    static const char* name() { return GroupClass; }
};
template <> struct ClassOf<Password> {
    static constexpr Kind kind = ScriptObjectRegistry::PasswordObject;
    static const char* name() { return PasswordClass; }
};
template <> struct ClassOf<Attachment> {
    static constexpr Kind kind = ScriptObjectRegistry::AttachmentObject;
    static const char* name() { return AttachmentClass; }
};

ScriptObjectRegistry* registry(lua_State* L)
{
    lua_rawgetp(L, LUA_REGISTRYINDEX, &RegistryKey);
    auto* objects = static_cast<ScriptObjectRegistry*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    return objects;
}

// The object behind the userdata at `index` when it is of class `T` and
// still registered under the serial the userdata carries; null otherwise.
template <class T>
T* objectAt(lua_State* L, int index)
{
    void** block = static_cast<void**>(luaL_testudata(L, index, ClassOf<T>::name()));
    if (!block)
        return nullptr;
    lua_getuservalue(L, index);
    const lua_Integer serial = lua_isinteger(L, -1) ? lua_tointeger(L, -1) : 0;
    lua_pop(L, 1);
    ScriptObjectRegistry* objects = registry(L);
    if (!objects || serial <= 0 || objects->serial(*block, ClassOf<T>::kind) != quint64(serial))
        return nullptr;
    return static_cast<T*>(*block);
}

// A group or a password at `index`.
Item* itemAt(lua_State* L, int index)
{
    if (Group* group = objectAt<Group>(L, index))
        return group;
    return objectAt<Password>(L, index);
}

PasswordDatabase* databaseAt(lua_State* L, int index)
{
    void** block = static_cast<void**>(luaL_testudata(L, index, DatabaseClass));
    ScriptObjectRegistry* objects = registry(L);
    if (!block || !objects || !objects->database() || *block != objects->database())
        return nullptr;
    return objects->database();
}

// Pushes a userdata for a registered object, or nil. Everything is read from
// the object before Lua allocates: an allocation may run the collector, whose
// finalizers can destroy free objects.
void pushObjectAt(lua_State* L, const char* className, void* address, quint64 serial)
{
    if (serial == 0) {
        lua_pushnil(L);
        return;
    }
    BScript::fromState(L)->pushObject(QString::fromLatin1(className), address);
    lua_pushinteger(L, lua_Integer(serial));
    lua_setuservalue(L, -2);
}

template <class T>
void pushObject(lua_State* L, T* object)
{
    ScriptObjectRegistry* objects = registry(L);
    const quint64 serial = object && objects ? objects->serial(object, ClassOf<T>::kind) : 0;
    pushObjectAt(L, ClassOf<T>::name(), object, serial);
}

void pushItem(lua_State* L, Item* item)
{
    if (!item)
        lua_pushnil(L);
    else if (item->isGroup())
        pushObject(L, static_cast<Group*>(item));
    else
        pushObject(L, static_cast<Password*>(item));
}

template <class List>
void pushItemArray(lua_State* L, const List& items)
{
    // Class, address and serial of every item first: the items are not
    // touched once the first userdata has been allocated.
    struct Entry {
        const char* className;
        void* address;
        quint64 serial;
    };
    ScriptObjectRegistry* objects = registry(L);
    QVector<Entry> entries;
    entries.reserve(items.size());
    for (Item* item : items) {
        if (item->isGroup()) {
            auto* group = static_cast<Group*>(item);
            entries.append({ GroupClass, group, objects ? objects->serial(group, ScriptObjectRegistry::GroupObject) : 0 });
        } else {
            auto* password = static_cast<Password*>(item);
            entries.append({ PasswordClass, password,
                             objects ? objects->serial(password, ScriptObjectRegistry::PasswordObject) : 0 });
        }
    }
    BScript* script = BScript::fromState(L);
    script->beginArray();
    lua_Integer index = 0;
    for (const Entry& entry : qAsConst(entries)) {
        lua_pushinteger(L, index++);
        pushObjectAt(L, entry.className, entry.address, entry.serial);
        lua_settable(L, -3);
    }
    script->setArrayCount(index);
}

void pushEmptyArray(lua_State* L)
{
    BScript::fromState(L)->beginArray();
}

// Pushes a text that may be secret; the UTF-8 copy is wiped.
void pushText(lua_State* L, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    lua_pushlstring(L, bytes.constData(), size_t(bytes.size()));
    wipe(bytes);
}

// The import stops here: what it built could not be saved. The budget is
// named as the file size it stands for.
int tooLargeError(lua_State* L)
{
    ScriptObjectRegistry* objects = registry(L);
    const qint64 budget = objects ? objects->savedBudget() : 0;
    const qint64 fileBytes = qMin(ScriptObjectRegistry::projectedFileSize(budget), PasswordDatabase::MaxFileSize);
    return luaL_error(L, "the database would be too large to be saved: its file would take more than %I MiB",
                      lua_Integer((fileBytes + 1024 * 1024 - 1) / (1024 * 1024)));
}

int depthError(lua_State* L)
{
    return luaL_error(L, "groups would be nested more than %d levels deep", PasswordDatabase::MaxGroupDepth);
}

// The string argument at `index` as text, counted against the import's
// saved-size budget. False when the argument is not a string (or number);
// `overBudget` is set when it is one but would not fit.
bool textArgument(lua_State* L, int index, QString& text, bool& overBudget)
{
    overBudget = false;
    if (!lua_isstring(L, index))
        return false;
    size_t length = 0;
    const char* bytes = lua_tolstring(L, index, &length);
    ScriptObjectRegistry* objects = registry(L);
    // Bytes that are not UTF-8 become U+FFFD: the text is measured as saved.
    text = QString::fromUtf8(bytes, int(length));
    if (!objects || !objects->chargeSaved(ScriptObjectRegistry::jsonTextBytes(text))) {
        wipe(text);
        overBudget = true;
        return false;
    }
    return true;
}

// A 32-bit integer argument; false for anything else.
bool intArgument(lua_State* L, int index, int& value)
{
    if (!lua_isinteger(L, index))
        return false;
    const lua_Integer number = lua_tointeger(L, index);
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return false;
    value = int(number);
    return true;
}

// True when `ancestor` is `group` or one of the groups above it.
bool isSelfOrAncestor(const Item* ancestor, const Group* group)
{
    for (const Group* g = group; g; g = g->getParent()) {
        if (g == ancestor)
            return true;
    }
    return false;
}

// ------------------------------------------------------------------ generic accessors

// The accessors of the Password class's own fields need an exact number of
// arguments (Exact); the others ignore extra ones.
template <bool Exact>
bool argumentsFit(lua_State* L, int wanted)
{
    return !Exact || lua_gettop(L) == wanted;
}

template <class T, auto Getter, bool Exact = false>
int getText(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    if (!self || !argumentsFit<Exact>(L, 1)) {
        lua_pushliteral(L, "");
        return 1;
    }
    // The getter's text is shared with the model; only the UTF-8 copy is new.
    pushText(L, std::invoke(Getter, self));
    return 1;
}

// Hands the text argument 2 to `store`; a value that is not text is
// ignored, one beyond the import's text budget raises an error.
template <class Store>
int storeTextArgument(lua_State* L, Store&& store)
{
    QString text;
    bool overBudget = false;
    const bool given = textArgument(L, 2, text, overBudget);
    if (overBudget)
        return tooLargeError(L);
    // The model shares the text it keeps with the one made here: no copy of
    // it is left behind when this one goes.
    if (given)
        store(text);
    return 0;
}

template <class T, auto Setter, bool Exact = false>
int setText(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    if (!self || !argumentsFit<Exact>(L, 2))
        return 0;
    return storeTextArgument(L, [self](const QString& text) { std::invoke(Setter, self, text); });
}

template <class T, auto Getter>
int getInt(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    lua_pushinteger(L, self ? lua_Integer(std::invoke(Getter, self)) : 0);
    return 1;
}

template <class T, auto Setter>
int setInt(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    int value = 0;
    if (self && intArgument(L, 2, value))
        std::invoke(Setter, self, value);
    return 0;
}

// ------------------------------------------------------------------ Group and Password

template <class T>
int newItem(lua_State* L)
{
    ScriptObjectRegistry* objects = registry(L);
    if (!objects)
        return 0;
    if (!objects->canCreateItem())
        return luaL_error(L, "too many objects: at most %d groups and passwords", ScriptObjectRegistry::MaxItems);
    if (!objects->chargeSaved(std::is_same<T, Group>::value ? ScriptObjectRegistry::GroupJsonBytes
                                                             : ScriptObjectRegistry::PasswordJsonBytes))
        return tooLargeError(L);
    quint64 serial = 0;
    T* item = nullptr;
    if constexpr (std::is_same<T, Group>::value)
        item = objects->createGroup(serial);
    else
        item = objects->createPassword(serial);
    pushObject(L, item);
    return 1;
}

template <class T>
int collectObject(lua_State* L)
{
    void** block = static_cast<void**>(luaL_testudata(L, 1, ClassOf<T>::name()));
    ScriptObjectRegistry* objects = registry(L);
    if (!block || !objects)
        return 0;
    lua_getuservalue(L, 1);
    const lua_Integer serial = lua_isinteger(L, -1) ? lua_tointeger(L, -1) : 0;
    lua_pop(L, 1);
    if (serial > 0)
        objects->collect(*block, ClassOf<T>::kind, quint64(serial));
    return 0;
}

template <class T>
int itemGetType(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    lua_pushinteger(L, self ? self->getType() : 0);
    return 1;
}

template <class T>
int itemGetFullName(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    if (!self) {
        lua_pushliteral(L, "");
        return 1;
    }
    QString name = self->getFullName();
    pushText(L, name);
    wipe(name);
    return 1;
}

template <class T>
int itemGetParent(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    pushObject(L, self ? self->getParent() : static_cast<Group*>(nullptr));
    return 1;
}

template <class T>
int itemGetRootParent(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    pushObject(L, self ? self->getRootParent() : static_cast<Group*>(nullptr));
    return 1;
}

// Places a free item into `group`: the item's parent link and the group's
// child list always agree, so that the tree owns what it points at. An item
// that is attached already, or an ancestor of the group, is left alone.
int attachItem(lua_State* L, Group* group, Item* item, int position, Item* anchor)
{
    if (!group || !item || item->hasOwner() || isSelfOrAncestor(item, group))
        return 0;
    if (!ScriptObjectRegistry::fitsDepth(group, item))
        return depthError(L);
    switch (position) {
    case 0:
        group->addItem(item);
        break;
    case 1:
        group->addItemTop(item);
        break;
    case 2:
        group->insertItemBefore(anchor, item);
        break;
    default:
        group->insertItemAfter(anchor, item);
        break;
    }
    return 0;
}

template <class T>
int itemSetParent(lua_State* L)
{
    T* self = objectAt<T>(L, 1);
    Group* group = objectAt<Group>(L, 2);
    return attachItem(L, group, self, 0, nullptr);
}

int groupAddItem(lua_State* L)
{
    return attachItem(L, objectAt<Group>(L, 1), itemAt(L, 2), 0, nullptr);
}

int groupAddItemTop(lua_State* L)
{
    return attachItem(L, objectAt<Group>(L, 1), itemAt(L, 2), 1, nullptr);
}

int groupInsertItemBefore(lua_State* L)
{
    Item* anchor = itemAt(L, 2);
    return anchor ? attachItem(L, objectAt<Group>(L, 1), itemAt(L, 3), 2, anchor) : 0;
}

int groupInsertItemAfter(lua_State* L)
{
    Item* anchor = itemAt(L, 2);
    return anchor ? attachItem(L, objectAt<Group>(L, 1), itemAt(L, 3), 3, anchor) : 0;
}

int groupDeleteItem(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    Item* item = itemAt(L, 2);
    ScriptObjectRegistry* objects = registry(L);
    if (!self || !item || !objects || item->getParent() != self || !self->getItems().contains(item))
        return 0;
    objects->forget(item);
    self->deleteItem(item);
    return 0;
}

int groupTakeItem(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    Item* item = itemAt(L, 2);
    if (self && item)
        self->takeItem(item);
    return 0;
}

int groupClear(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    ScriptObjectRegistry* objects = registry(L);
    if (!self || !objects)
        return 0;
    for (Item* child : self->getItems())
        objects->forget(child);
    self->clear();
    return 0;
}

int groupIsEmpty(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    lua_pushboolean(L, !self || self->isEmpty());
    return 1;
}

int groupGetItems(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    if (self)
        pushItemArray(L, self->getItems());
    else
        pushEmptyArray(L);
    return 1;
}

int groupGetAllItems(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    if (self)
        pushItemArray(L, self->getAllItems());
    else
        pushEmptyArray(L);
    return 1;
}

int groupGetItemByTag(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    int tag = 0;
    pushItem(L, self && intArgument(L, 2, tag) ? self->getItemByTag(tag) : nullptr);
    return 1;
}

// The child `offset` places away from the child at argument 2, or null.
Item* neighbour(lua_State* L, int offset)
{
    Group* self = objectAt<Group>(L, 1);
    Item* item = itemAt(L, 2);
    if (!self || !item)
        return nullptr;
    const QList<Item*> items = self->getItems();
    const int index = items.indexOf(item);
    if (index < 0 || index + offset < 0 || index + offset >= items.size())
        return nullptr;
    return items.at(index + offset);
}

int groupGetPrevItem(lua_State* L)
{
    pushItem(L, neighbour(L, -1));
    return 1;
}

int groupGetNextItem(lua_State* L)
{
    pushItem(L, neighbour(L, 1));
    return 1;
}

int groupIsFirstItem(lua_State* L)
{
    Group* self = objectAt<Group>(L, 1);
    Item* item = itemAt(L, 2);
    lua_pushboolean(L, self && item && !self->isEmpty() && self->getItems().first() == item);
    return 1;
}

// ------------------------------------------------------------------ Password only

int passwordIsNeverExpire(lua_State* L)
{
    Password* self = objectAt<Password>(L, 1);
    lua_pushboolean(L, self && lua_gettop(L) == 1 && self->isNeverExpire());
    return 1;
}

int passwordSetNeverExpire(lua_State* L)
{
    Password* self = objectAt<Password>(L, 1);
    if (self && lua_gettop(L) == 2 && lua_isboolean(L, 2))
        self->setNeverExpire(lua_toboolean(L, 2));
    return 0;
}

int passwordGetExpireTime(lua_State* L)
{
    Password* self = objectAt<Password>(L, 1);
    lua_pushinteger(L, self && lua_gettop(L) == 1 ? lua_Integer(self->getExpireTime().toSecsSinceEpoch()) : 0);
    return 1;
}

int passwordSetExpireTime(lua_State* L)
{
    Password* self = objectAt<Password>(L, 1);
    if (!self || lua_gettop(L) != 2 || !lua_isinteger(L, 2))
        return 0;
    const lua_Integer seconds = lua_tointeger(L, 2);
    if (seconds < EarliestExpireTime || seconds > LatestExpireTime)
        return 0;
    self->setExpireTime(QDateTime::fromSecsSinceEpoch(qint64(seconds)));
    return 0;
}

int passwordGetAttachment(lua_State* L)
{
    Password* self = objectAt<Password>(L, 1);
    if (!self || lua_gettop(L) != 1) {
        lua_pushnil(L);
        return 1;
    }
    pushObject(L, &self->getAttachment());
    return 1;
}

// Copies an attachment's file name, data and hash into a password.
int copyAttachment(lua_State* L, Password* password, Attachment* attachment)
{
    ScriptObjectRegistry* objects = registry(L);
    if (!password || !attachment || !objects || attachment == &password->getAttachment())
        return 0;
    const qint64 size = ScriptObjectRegistry::AttachmentJsonBytes
        + ScriptObjectRegistry::jsonTextBytes(attachment->getData())
        + ScriptObjectRegistry::jsonTextBytes(attachment->getFileName());
    if (!objects->chargeSaved(size))
        return tooLargeError(L);
    password->setAttachment(*attachment);
    return 0;
}

int passwordSetAttachment(lua_State* L)
{
    if (lua_gettop(L) != 2)
        return 0;
    return copyAttachment(L, objectAt<Password>(L, 1), objectAt<Attachment>(L, 2));
}

// ------------------------------------------------------------------ Attachment

int attachmentNew(lua_State* L)
{
    ScriptObjectRegistry* objects = registry(L);
    if (!objects)
        return 0;
    if (!objects->canCreateItem())
        return luaL_error(L, "too many objects: at most %d groups and passwords", ScriptObjectRegistry::MaxItems);
    quint64 serial = 0;
    pushObject(L, objects->createAttachment(serial));
    return 1;
}

int attachmentIsValid(lua_State* L)
{
    Attachment* self = objectAt<Attachment>(L, 1);
    lua_pushboolean(L, self && self->isValid());
    return 1;
}

// Sets the data (Base64 text of the file) and the hash that goes with it,
// so that the file can be saved from the database later; setDataHash()
// afterwards still replaces the hash.
void setDataAndHash(Attachment* attachment, const QString& data)
{
    QString hex;
    hashHex(BHashId::SHA3_384, data, hex);
    attachment->setData(data);
    attachment->setDataHash(hex);
}

int attachmentGetParent(lua_State* L)
{
    Attachment* self = objectAt<Attachment>(L, 1);
    ScriptObjectRegistry* objects = registry(L);
    pushObject(L, self && objects ? objects->attachmentOwner(self) : static_cast<Password*>(nullptr));
    return 1;
}

// attachment:setParent(password) puts a copy of the attachment into the
// password, as password:setAttachment(attachment) does.
int attachmentSetParent(lua_State* L)
{
    return copyAttachment(L, objectAt<Password>(L, 2), objectAt<Attachment>(L, 1));
}

// ------------------------------------------------------------------ Database

int databaseSetName(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    if (!self)
        return 0;
    return storeTextArgument(L, [self](const QString& text) { self->setName(text); });
}

int databaseGetName(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    pushText(L, self ? self->getName() : QString());
    return 1;
}

int databaseSetNote(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    if (!self)
        return 0;
    return storeTextArgument(L, [self](const QString& text) { self->setNote(text); });
}

int databaseGetNote(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    pushText(L, self ? self->getNote() : QString());
    return 1;
}

int databaseGetGroups(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    if (self)
        pushItemArray(L, self->getItems());
    else
        pushEmptyArray(L);
    return 1;
}

int databaseGetAllItems(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    if (self)
        pushItemArray(L, self->getAllItems());
    else
        pushEmptyArray(L);
    return 1;
}

int databaseGetGroupByTag(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    int tag = 0;
    Item* item = self && intArgument(L, 2, tag) ? self->getItemByTag(tag) : nullptr;
    pushObject(L, item && item->isGroup() ? static_cast<Group*>(item) : nullptr);
    return 1;
}

// Places a free group at the top level (position 0 append, 1 before and 2
// after the anchor).
int attachGroup(lua_State* L, PasswordDatabase* database, Group* group, int position, Group* anchor)
{
    if (!database || !group || group->hasOwner())
        return 0;
    if (!ScriptObjectRegistry::fitsDepth(nullptr, group))
        return depthError(L);
    if (position == 0)
        database->addItem(group);
    else if (position == 1)
        database->insertGroupBefore(anchor, group);
    else
        database->insertGroupAfter(anchor, group);
    return 0;
}

int databaseAddGroup(lua_State* L)
{
    return attachGroup(L, databaseAt(L, 1), objectAt<Group>(L, 2), 0, nullptr);
}

int databaseInsertGroupBefore(lua_State* L)
{
    Group* anchor = objectAt<Group>(L, 2);
    return anchor ? attachGroup(L, databaseAt(L, 1), objectAt<Group>(L, 3), 1, anchor) : 0;
}

int databaseInsertGroupAfter(lua_State* L)
{
    Group* anchor = objectAt<Group>(L, 2);
    return anchor ? attachGroup(L, databaseAt(L, 1), objectAt<Group>(L, 3), 2, anchor) : 0;
}

int databaseDeleteGroup(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    Group* group = objectAt<Group>(L, 2);
    ScriptObjectRegistry* objects = registry(L);
    if (!self || !group || !objects || !self->getItems().contains(group))
        return 0;
    objects->forget(group);
    self->takeItem(group);
    delete group;
    return 0;
}

int databaseTakeGroup(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    Group* group = objectAt<Group>(L, 2);
    if (self && group)
        self->takeItem(group);
    return 0;
}

int databaseMoveGroupToEnd(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    Group* group = objectAt<Group>(L, 2);
    if (self && group)
        self->moveGroupToEnd(group);
    return 0;
}

// Destroys every group. The rest of the database (name, cipher, the keys the
// user has just set up) stays: clearing those would leave a database that
// can be neither saved nor opened.
int databaseClear(lua_State* L)
{
    PasswordDatabase* self = databaseAt(L, 1);
    ScriptObjectRegistry* objects = registry(L);
    if (!self || !objects)
        return 0;
    for (Group* group : self->getItems()) {
        objects->forget(group);
        self->takeItem(group);
        delete group;
    }
    self->setModified();
    return 0;
}

// ------------------------------------------------------------------ class tables

// The methods Group and Password share, for class T.
template <class T>
QVector<luaL_Reg> itemMethods()
{
    return {
        { "new", newItem<T> },
        { "__gc", collectObject<T> },
        { "getType", itemGetType<T> },
        { "getTag", getInt<T, &Item::getTag> },
        { "setTag", setInt<T, &Item::setTag> },
        { "getFlags", getInt<T, &Item::getFlags> },
        { "setFlags", setInt<T, &Item::setFlags> },
        { "getGuiState", getInt<T, &Item::getGuiState> },
        { "setGuiState", setInt<T, &Item::setGuiState> },
        { "getName", getText<T, &Item::getName> },
        { "setName", setText<T, &Item::setName> },
        { "getFullName", itemGetFullName<T> },
        { "getNote", getText<T, &Item::getNote> },
        { "setNote", setText<T, &Item::setNote> },
        { "getParent", itemGetParent<T> },
        { "getRootParent", itemGetRootParent<T> },
        { "setParent", itemSetParent<T> },
        { "getIconId", getText<T, &T::getIconId> },
        { "setIconId", setText<T, &T::setIconId> },
    };
}

void registerClass(BScript& script, const char* name, QVector<luaL_Reg> methods)
{
    methods.append({ nullptr, nullptr });
    script.registerClass(QString::fromLatin1(name), methods.constData());
}

} // namespace

void DatabaseScriptApi::install(BScript& script, ScriptObjectRegistry* objects)
{
    lua_State* L = script.state();
    if (!L)
        return;
    lua_pushlightuserdata(L, objects);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &RegistryKey);

    registerClass(script, AttachmentClass,
                  {
                      { "new", attachmentNew },
                      { "__gc", collectObject<Attachment> },
                      { "isValid", attachmentIsValid },
                      { "getFileName", getText<Attachment, &Attachment::getFileName> },
                      { "setFileName", setText<Attachment, &Attachment::setFileName> },
                      { "getData", getText<Attachment, &Attachment::getData> },
                      { "setData", setText<Attachment, &setDataAndHash> },
                      { "getDataHash", getText<Attachment, &Attachment::getDataHash> },
                      { "setDataHash", setText<Attachment, &Attachment::setDataHash> },
                      { "getParent", attachmentGetParent },
                      { "setParent", attachmentSetParent },
                  });

    registerClass(script, PasswordClass,
                  itemMethods<Password>()
                      + QVector<luaL_Reg> {
                          { "getUsername", getText<Password, &Password::getUsername, true> },
                          { "setUsername", setText<Password, &Password::setUsername, true> },
                          { "getUrl", getText<Password, &Password::getUrl, true> },
                          { "setUrl", setText<Password, &Password::setUrl, true> },
                          { "getPassword", getText<Password, &Password::getPassword, true> },
                          { "setPassword", setText<Password, &Password::setPassword, true> },
                          { "getEmailAddress", getText<Password, &Password::getEmailAddress, true> },
                          { "setEmailAddress", setText<Password, &Password::setEmailAddress, true> },
                          { "getPhoneNumber", getText<Password, &Password::getPhoneNumber, true> },
                          { "setPhoneNumber", setText<Password, &Password::setPhoneNumber, true> },
                          { "isNeverExpire", passwordIsNeverExpire },
                          { "setNeverExpire", passwordSetNeverExpire },
                          { "getExpireTime", passwordGetExpireTime },
                          { "setExpireTime", passwordSetExpireTime },
                          { "getAttachment", passwordGetAttachment },
                          { "setAttachment", passwordSetAttachment },
                      });

    registerClass(script, GroupClass,
                  itemMethods<Group>()
                      + QVector<luaL_Reg> {
                          { "addItem", groupAddItem },
                          { "addItemTop", groupAddItemTop },
                          { "deleteItem", groupDeleteItem },
                          { "takeItem", groupTakeItem },
                          { "insertItemBefore", groupInsertItemBefore },
                          { "insertItemAfter", groupInsertItemAfter },
                          { "clear", groupClear },
                          { "isEmpty", groupIsEmpty },
                          { "getItems", groupGetItems },
                          { "getAllItems", groupGetAllItems },
                          { "getItemByTag", groupGetItemByTag },
                          { "getPrevItem", groupGetPrevItem },
                          { "getNextItem", groupGetNextItem },
                          { "isFirstItem", groupIsFirstItem },
                      });

    registerClass(script, DatabaseClass,
                  {
                      { "setName", databaseSetName },
                      { "getName", databaseGetName },
                      { "setNote", databaseSetNote },
                      { "getNote", databaseGetNote },
                      { "getGroups", databaseGetGroups },
                      { "getAllItems", databaseGetAllItems },
                      { "getGroupByTag", databaseGetGroupByTag },
                      { "addGroup", databaseAddGroup },
                      { "deleteGroup", databaseDeleteGroup },
                      { "takeGroup", databaseTakeGroup },
                      { "moveGroupToEnd", databaseMoveGroupToEnd },
                      { "insertGroupBefore", databaseInsertGroupBefore },
                      { "insertGroupAfter", databaseInsertGroupAfter },
                      { "clear", databaseClear },
                  });
}

ScriptObjectRegistry* DatabaseScriptApi::objects(BScript& script)
{
    return script.state() ? registry(script.state()) : nullptr;
}
