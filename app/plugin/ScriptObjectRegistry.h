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
// creates, the nesting depth of groups, and the size of the file the result
// would make. Every item created and every text stored is charged with what
// it can add to the saved file at most (its JSON with every text escaped,
// padded and encrypted as the saver does, in Base64), so an import stops as
// soon as what it built could no longer be saved and read back, long before
// the saver would find out.
class ScriptObjectRegistry
{
public:
    enum Kind { GroupObject = 1, PasswordObject = 2, AttachmentObject = 3 };

    // Items that may be registered at once.
    static constexpr int MaxItems = 1000000;
    // What the saved file's encrypted tree may take: the file bound less
    // room for its header (name, note, salts and other members).
    static constexpr qint64 HeaderReserveBytes = 64 * 1024;
    // The most an item adds to the tree's JSON apart from its texts (member
    // names, numbers, the expiry time, punctuation), and an attachment's
    // members with its hash.
    static constexpr qint64 GroupJsonBytes = 128;
    static constexpr qint64 PasswordJsonBytes = 320;
    static constexpr qint64 AttachmentJsonBytes = 192;
    // The JSON of the tree (without padding) that can be saved at most: the
    // saver pads it by up to four fifths of its length, then Base64 makes
    // four characters of every three bytes.
    static constexpr qint64 MaxTreeJsonBytes = (PasswordDatabase::MaxFileSize - HeaderReserveBytes) * 3 / 4 * 5 / 9 - 128;
    // The file size that `treeJsonBytes` of tree JSON can make at most.
    static qint64 projectedFileSize(qint64 treeJsonBytes);
    // The bytes `text` takes in the tree's JSON at most, escaped.
    static qint64 jsonTextBytes(const QString& text);

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

    // Counts what an item or a text is about to add to the tree's JSON;
    // false, with nothing counted, when the import's budget
    // (MaxTreeJsonBytes unless set otherwise) would be exceeded.
    bool chargeSaved(qint64 bytes);
    void setSavedBudget(qint64 bytes) { m_savedBudget = bytes; }
    qint64 savedBudget() const { return m_savedBudget; }
    // What the import has been charged so far.
    qint64 savedBytes() const { return m_savedBytes; }

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
    qint64 m_savedBytes = 0;
    qint64 m_savedBudget = MaxTreeJsonBytes;
};

#endif // SCRIPTOBJECTREGISTRY_H
