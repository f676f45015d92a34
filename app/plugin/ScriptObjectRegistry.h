#ifndef SCRIPTOBJECTREGISTRY_H
#define SCRIPTOBJECTREGISTRY_H

#include "app/database/PasswordDatabase.h"

#include <QHash>

// The model objects one loader script may touch, so that no script method
// ever reaches freed memory.
//
// A script keeps its Lua state between imports and may hold userdata values
// in globals long after the object behind them is gone, and several userdata
// values may point at one object. Every item the script can reach is therefore
// registered here with a serial number that its userdata values carry as
// their user value: an object is usable only while it is registered under the
// serial the userdata holds. Registered are the database being filled (only
// during the import), every item in it, every item the script created with
// new() (until it is destroyed) and the attachment inside each registered
// password.
//
// The registry also bounds what a script can build: the number of items it
// creates, the text it stores and the nesting depth of groups.
class ScriptObjectRegistry
{
public:
    enum Kind { GroupObject = 1, PasswordObject = 2, AttachmentObject = 3 };

    // Items that may be registered at once.
    static constexpr int MaxItems = 1000000;
    // Text (UTF-8 bytes) the setters may store during one import: a tree
    // with more would not fit in a database file.
    static constexpr qint64 MaxTextBytes = PasswordDatabase::MaxFileSize;

    ScriptObjectRegistry() = default;
    // Destroys the free objects still registered. Call it after the Lua
    // state is closed: its collector may still hand objects back.
    ~ScriptObjectRegistry();
    ScriptObjectRegistry(const ScriptObjectRegistry&) = delete;
    ScriptObjectRegistry& operator=(const ScriptObjectRegistry&) = delete;

    // Registers the database and its tree for the script's import and resets
    // the text budget; endImport() forgets the database and every item in it.
    void beginImport(PasswordDatabase* database);
    void endImport();
    PasswordDatabase* database() const { return m_database; }

    // The serial of a registered object of that kind; 0 when it is not
    // registered (or registered as another kind).
    quint64 serial(const void* address, Kind kind) const;
    // New free objects, created for the script: registered, serial returned.
    PasswordDatabase::Group* createGroup(quint64& serial);
    PasswordDatabase::Password* createPassword(quint64& serial);
    PasswordDatabase::Password::Attachment* createAttachment(quint64& serial);
    bool canCreateItem() const { return m_itemCount < MaxItems; }
    // Groups and passwords registered now: outside an import, the free ones
    // the script still holds.
    int itemCount() const { return m_itemCount; }
    // True for an attachment that new() made, false for one inside a password.
    bool isFreeAttachment(const PasswordDatabase::Password::Attachment* attachment) const;
    // The password holding an attachment registered with it; null for a free
    // attachment or one not registered.
    PasswordDatabase::Password* attachmentOwner(const PasswordDatabase::Password::Attachment* attachment) const;

    // Destroys an item with its subtree, or a free attachment, when it is
    // registered under `serial` and free: what collecting its userdata does.
    void collect(const void* address, Kind kind, quint64 serial);
    // Forgets an item, its descendants and their attachments, before the
    // caller destroys them.
    void forget(PasswordDatabase::Item* item);

    // Whether `item` may be placed into `group` (a null group is the top
    // level) without nesting groups deeper than the database allows.
    static bool fitsDepth(const PasswordDatabase::Group* group, const PasswordDatabase::Item* item);

    // Counts text a setter is about to store; false when the import's budget
    // (MaxTextBytes unless set otherwise) is used up.
    bool chargeText(qint64 bytes);
    void setTextBudget(qint64 bytes) { m_textBudget = bytes; }
    qint64 textBudget() const { return m_textBudget; }

private:
    struct Entry {
        Kind kind;
        quint64 serial;
        // For an attachment inside a password: that password.
        PasswordDatabase::Password* owner;
    };

    quint64 add(const void* address, Kind kind, PasswordDatabase::Password* owner = nullptr);
    void addTree(PasswordDatabase::Item* item);
    void remove(PasswordDatabase::Item* item);

    QHash<const void*, Entry> m_entries;
    PasswordDatabase* m_database = nullptr;
    quint64 m_nextSerial = 1;
    int m_itemCount = 0;
    qint64 m_textBytes = 0;
    qint64 m_textBudget = MaxTextBytes;
};

#endif // SCRIPTOBJECTREGISTRY_H
