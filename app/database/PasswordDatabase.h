#ifndef PASSWORDDATABASE_H
#define PASSWORDDATABASE_H

#include "blib/app/BFileAccess.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

class BTaskController;
class DatabaseKdfParameters;
class PasswordDatabaseSetPasswordTask;
class PasswordDatabaseUnlockTask;

// One password database in memory: the header fields (name, note, file path,
// cipher and key-derivation settings), the key material and encrypted payload
// used by the file format and by locking, three state flags and the ordered
// list of top-level groups.
//
// The tree is plain data without signals or locking. The database owns its
// top-level groups, a group owns its children and a password holds its
// attachment by value. An item that is not attached anywhere (after takeItem,
// or newly built) belongs to whoever holds it, who must delete it.
//
// Texts and byte arrays that can hold secrets are wiped (overwritten with
// zeros, then emptied) before their storage is released.
class PasswordDatabase
{
public:
    class Group;
    class Password;

    // Bits of the findFlags argument of find().
    enum FindFlag {
        FindCaseSensitive = 1,
        FindName = 2,
        FindNote = 4,
        FindUrl = 8,
        FindUsername = 16,
        FindPassword = 32,
        FindAllFields = FindName | FindNote | FindUrl | FindUsername | FindPassword
    };

    // Item types as stored in files and returned by Item::getType().
    enum ItemType { GroupType = 1, PasswordType = 2 };

    // Bits of an item's gui state, owned by the group tree.
    enum GuiStateFlag { GuiExpanded = 1, GuiCurrent = 2 };

    // The tag that marks the backup group.
    static constexpr int BackupGroupTag = 1;

    // Groups nested deeper than this are refused by the file reader, and a
    // tree that deep is therefore neither saved nor locked.
    static constexpr int MaxGroupDepth = 256;

    // Database files larger than this (256 MiB) are refused by load() before
    // they are read, and save() never writes one.
    static constexpr qint64 MaxFileSize = 256 * 1024 * 1024;
    // How long save() waits for another program that is writing the same
    // file before it gives up.
    static constexpr int FileLockWaitMs = 10000;

    // Common base of groups and passwords. Cannot be created, copied or
    // assigned by itself: use Group or Password.
    class Item
    {
    public:
        virtual ~Item();

        int getType() const { return m_type; }
        bool isGroup() const { return m_type == GroupType; }
        bool isPassword() const { return m_type == PasswordType; }

        int getTag() const { return m_tag; }
        void setTag(int tag) { if (m_tag != tag) { m_tag = tag; touch(); } }
        int getFlags() const { return m_flags; }
        void setFlags(int flags) { if (m_flags != flags) { m_flags = flags; touch(); } }
        int getGuiState() const { return m_guiState; }
        void setGuiState(int guiState) { m_guiState = guiState; }
        QString getName() const { return m_name; }
        void setName(const QString& name);
        QString getNote() const { return m_note; }
        void setNote(const QString& note);

        // The item's identity across copies of a vault: 32 lower-case hex
        // digits, random when the item is made, kept through edits, moves
        // and copies (a backup copy is given a new one).
        QString getUuid() const { return m_uuid; }
        void setUuid(const QString& uuid) { m_uuid = uuid; }
        void renewUuid();
        // When the item was made and when its own fields or its parent last
        // changed, in UTC to the second. Every setter that changes a value
        // and every attachment to a group or database moves the modified
        // time on, unless a StampFreeze is active in the thread.
        QDateTime getCreated() const { return m_created; }
        void setCreated(const QDateTime& time) { m_created = time; }
        QDateTime getModifiedTime() const { return m_modifiedTime; }
        void setModifiedTime(const QDateTime& time) { m_modifiedTime = time; }
        void touch();

        // While one exists, changes leave the modified times alone: for
        // readers, copies and merges, which set the times themselves.
        class StampFreeze
        {
        public:
            StampFreeze();
            ~StampFreeze();
            StampFreeze(const StampFreeze&) = delete;
            StampFreeze& operator=(const StampFreeze&) = delete;
        };

        // The current time in UTC, to the second.
        static QDateTime stampNow();
        // A new random identity.
        static QString newUuid();
        static bool isValidUuid(const QString& text);

        // "Outer - Inner - Name": the names of all ancestors, outermost
        // first, each followed by " - ", then the item's own name.
        QString getFullName() const;

        Group* getParent() const { return m_parent; }
        // Sets parent and owner to `group` without adding the item to the
        // group's child list; the caller keeps that list consistent. A null
        // group changes nothing.
        void setParent(Group* group);
        // The top-level group the item lives under; null when the item has
        // no parent (a top-level group or a detached item).
        Group* getRootParent() const;

        // True when a group or a database holds the item in its list.
        bool hasOwner() const { return m_ownerGroup != nullptr || m_ownerDatabase != nullptr; }
        // The database holding a top-level group; null for every other item.
        PasswordDatabase* getOwnerDatabase() const { return m_ownerDatabase; }

    protected:
        explicit Item(int type);
        // Copies type, tag, flags, guiState, name and note; the copy is
        // detached.
        Item(const Item& other);
        // Copies type, tag, name and note. Flags, gui state and the links
        // stay those of the target.
        Item& operator=(const Item& other);

        bool sameItemFields(const Item& other) const;

    private:
        friend class Group;
        friend class PasswordDatabase;

        void attachTo(Group* group);
        void attachTo(PasswordDatabase* database);
        void detach();

        int m_type;
        int m_tag = 0;
        int m_flags = 0;
        int m_guiState = 0;
        QString m_name;
        QString m_note;
        QString m_uuid;
        QDateTime m_created;
        QDateTime m_modifiedTime;
        Group* m_parent = nullptr;
        // The container whose list holds the item: the parent group, or the
        // database for a top-level group. At most one is set.
        Group* m_ownerGroup = nullptr;
        PasswordDatabase* m_ownerDatabase = nullptr;
    };

    // A group of passwords and subgroups; owns its children.
    class Group : public Item
    {
    public:
        Group();
        // Deep copy: every child is copied and attached to the copy. The
        // copy itself is detached.
        Group(const Group& other);
        // Destroys the current children, then copies type, tag, name, note,
        // icon and deep copies of the children. Flags and gui state stay.
        Group& operator=(const Group& other);
        ~Group() override;

        QString getIconId() const { return m_iconId; }
        void setIconId(const QString& iconId);

        // Appends (or, addItemTop, prepends) a detached item and takes
        // ownership of it. An item that is already attached somewhere, a null
        // item, and the group itself or one of its ancestors are ignored.
        void addItem(Item* item);
        void addItemTop(Item* item);
        // Removes a child without destroying it: it becomes detached and
        // belongs to the caller. False (nothing done) when not a child.
        bool takeItem(Item* item);
        // Removes a child and destroys it with its subtree. False (nothing
        // done) when not a child.
        bool deleteItem(Item* item);
        // Destroys every child.
        void clear();

        QList<Item*> getItems() const { return m_items; }
        // Every descendant in pre-order.
        QList<Item*> getAllItems() const;
        // The first descendant in pre-order with the tag (the group itself is
        // not tested); null when there is none.
        Item* getItemByTag(int tag) const;
        bool isEmpty() const { return m_items.isEmpty(); }

        // Passwords below this group whose fields selected by findFlags
        // contain text (see FindFlag), in tree order.
        QList<Password*> find(const QString& text, int findFlags) const;

        // Inserts a detached item just before the child `anchor`; nothing
        // happens when anchor is not a child.
        void insertItemBefore(Item* anchor, Item* item);
        // Inserts a detached item just after the child `anchor`, or appends
        // it when anchor is not a child.
        void insertItemAfter(Item* anchor, Item* item);

        // Equal fields and the very same child objects in the same order.
        bool operator==(const Group& other) const;
        bool operator!=(const Group& other) const { return !(*this == other); }

    private:
        friend class PasswordDatabase;

        bool canAdopt(const Item* item) const;
        void insertAt(int index, Item* item);
        void appendAllItems(QList<Item*>& list) const;
        Item* findByTag(int tag) const;
        void appendMatches(const QString& text, int findFlags, QList<Password*>& list) const;
        static QList<Item*> copyChildren(const Group& source);

        QString m_iconId;
        QList<Item*> m_items;
    };

    // A password entry.
    class Password : public Item
    {
    public:
        // An attached file: its name and its bytes as Base64 text, with the
        // lower-case hex Keccak-384 hash of that text.
        class Attachment
        {
        public:
            Attachment();
            // Copies file name, data and hash; the copy has no owner.
            Attachment(const Attachment& other);
            // Copies file name, data and hash; the owner stays.
            Attachment& operator=(const Attachment& other);
            virtual ~Attachment();

            // True when there is data.
            bool isValid() const { return !m_data.isEmpty(); }

            QString getFileName() const { return m_fileName; }
            void setFileName(const QString& fileName);
            QString getData() const { return m_data; }
            void setData(const QString& data);
            QString getDataHash() const { return m_dataHash; }
            void setDataHash(const QString& dataHash) { m_dataHash = dataHash; }

            // The password the attachment was placed into; null for a free
            // or copied attachment.
            Password* getOwner() const { return m_owner; }
            void setOwner(Password* owner) { m_owner = owner; }

            // Files larger than this (64 MiB) are not attached.
            static constexpr qint64 MaxSize = 64 * 1024 * 1024;

            // Reads the whole regular file: data, hash and file name are
            // replaced. False (nothing changed, `error` says why) when it
            // cannot be read or is larger than MaxSize.
            bool loadFromFile(const QString& path, QString* error = nullptr);
            // The file's bytes, once the data has proved to match its hash
            // and to be valid Base64; otherwise false with `error` set.
            bool decode(QByteArray& bytes, QString& error) const;
            // Writes the decoded data to path, replacing a file only once
            // all of it is on disk, or into a FIFO or device as a stream
            // (see writeFileOrDevice()). False, with
            // `error` set and no file touched, when the data is damaged
            // (see decode()) or cannot be written.
            bool saveToFile(const QString& path, QString* error = nullptr) const;

        private:
            QString m_fileName;
            QString m_data;
            QString m_dataHash;
            Password* m_owner = nullptr;
        };

        // Never expires by default; the expiry time is one year from now.
        Password();
        // Never expires by default, with the given expiry time (spares the
        // clock and time-zone look-up of the default, for bulk loading).
        explicit Password(const QDateTime& expireTime);
        // Copies every field; the copy and its attachment are detached.
        Password(const Password& other);
        // Copies everything but flags, gui state and the links.
        Password& operator=(const Password& other);
        ~Password() override;

        QString getIconId() const { return m_iconId; }
        void setIconId(const QString& iconId);
        QString getUsername() const { return m_username; }
        void setUsername(const QString& username);
        QString getEmailAddress() const { return m_emailAddress; }
        void setEmailAddress(const QString& emailAddress);
        QString getPhoneNumber() const { return m_phoneNumber; }
        void setPhoneNumber(const QString& phoneNumber);
        QString getUrl() const { return m_url; }
        void setUrl(const QString& url);
        QString getPassword() const { return m_password; }
        void setPassword(const QString& password);
        bool isNeverExpire() const { return m_neverExpire; }
        void setNeverExpire(bool neverExpire)
        {
            if (m_neverExpire != neverExpire) {
                m_neverExpire = neverExpire;
                touch();
            }
        }
        QDateTime getExpireTime() const { return m_expireTime; }
        void setExpireTime(const QDateTime& expireTime)
        {
            if (m_expireTime != expireTime) {
                m_expireTime = expireTime;
                touch();
            }
        }

        const Attachment& getAttachment() const { return m_attachment; }
        Attachment& getAttachment() { return m_attachment; }
        // Replaces the attachment's file name, data and hash with the
        // argument's and makes this password its owner. An empty attachment
        // removes the file.
        void setAttachment(const Attachment& attachment);

        // Compares every field but the gui state and the attachment's data
        // (its hash stands for it).
        bool operator==(const Password& other) const;
        bool operator!=(const Password& other) const { return !(*this == other); }

    private:
        QString m_iconId;
        QString m_username;
        QString m_emailAddress;
        QString m_phoneNumber;
        QString m_url;
        QString m_password;
        Attachment m_attachment;
        bool m_neverExpire = true;
        QDateTime m_expireTime;
    };

    // An item deleted for good (not moved to the backup group), kept for
    // DeletionMemoryDays so that a merge can tell it from one never seen.
    struct Deletion {
        QString uuid;
        QDateTime deleted;
    };
    static constexpr int DeletionMemoryDays = 365;

    PasswordDatabase();
    // Copies hold keys and the whole tree: only an explicit assignment makes
    // one, never a copy by accident.
    PasswordDatabase(const PasswordDatabase&) = delete;
    // clear(), then a deep copy of everything but modifiedAtLock. Every copied
    // group is attached with addItem(), which marks the database modified.
    PasswordDatabase& operator=(const PasswordDatabase& other);
    virtual ~PasswordDatabase();

    // Destroys the tree and wipes every secret: no flags set, no cipher, the
    // configured default rounds; kdf and modifiedAtLock keep their values.
    void clear();

    QList<Group*> getItems() const { return m_groups; }
    // Each top-level group followed by all its descendants in pre-order.
    QList<Item*> getAllItems() const;
    // The first item in getAllItems() order with the tag, or null.
    Item* getItemByTag(int tag) const;
    QList<Password*> find(const QString& text, int findFlags) const;

    // Appends a detached group and marks the database modified. A group
    // that is attached anywhere (or null) is ignored.
    void addItem(Group* group);
    // Removes a top-level group without destroying it (the caller owns it
    // afterwards) and marks the database modified. False when the group is
    // not top-level; then nothing changes.
    bool takeItem(Group* group);
    // Inserts a detached group just before the top-level group `anchor`;
    // nothing happens when anchor is not top-level.
    void insertGroupBefore(Group* anchor, Group* group);
    // Inserts a detached group just after the top-level group `anchor`, or
    // appends it when anchor is not top-level.
    void insertGroupAfter(Group* anchor, Group* group);
    // Moves a top-level group to the end; any other group is left alone.
    void moveGroupToEnd(Group* group);

    // Deletions, oldest first. recordDeletion() notes the item and everything
    // below it as deleted now; Group::deleteItem() records by itself when the
    // group lies in a database, callers that take an item out and delete it
    // call it themselves.
    QList<Deletion> getDeletions() const { return m_deletions; }
    void setDeletions(const QList<Deletion>& deletions) { m_deletions = deletions; }
    void recordDeletion(const Item& item);

    QString getName() const { return m_name; }
    void setName(const QString& name);
    QString getNote() const { return m_note; }
    void setNote(const QString& note);
    QString getFilePath() const { return m_filePath; }
    int getCipher() const { return m_cipher; }
    int getKdf() const { return m_kdf; }
    // PBKDF2 iterations, or Argon2 passes.
    int getKdfRounds() const { return m_kdfRounds; }
    // Argon2 only (0 for PBKDF2): memory in KiB and lanes.
    int getKdfMemoryKib() const { return m_kdfMemoryKib; }
    int getKdfParallelism() const { return m_kdfParallelism; }
    DatabaseKdfParameters getKdfParameters() const;

    // The format version save() writes: 4 for a new vault and for one read
    // or upgraded as version 4; 3 for a vault read as version 1 to 3, which
    // keeps the layout that earlier builds read (two salted PBKDF2 keys,
    // an HMAC over the ciphertext alone). Only the set-password task moves a
    // vault to version 4, since that needs new keys.
    int getFileFormatVersion() const { return m_fileFormatVersion; }
    bool isLegacyFormat() const { return m_fileFormatVersion < 4; }
    // For new vaults that must stay readable by earlier builds (and for
    // tests): 3 or 4; other values are ignored. Takes effect with the next
    // set-password task, which derives keys of that version's kind.
    void setFileFormatVersion(int version);

    // Read-only views of the file header and key material.
    const QByteArray& getCipherKeySalt() const { return m_cipherKeySalt; }
    const QByteArray& getHmacKeySalt() const { return m_hmacKeySalt; }
    // Format 4: the one salt of the key derivation.
    const QByteArray& getKdfSalt() const { return m_kdfSalt; }
    const QByteArray& getCipherKey() const { return m_cipherKey; }
    const QByteArray& getHmacKey() const { return m_hmacKey; }
    const QByteArray& getCipherIv() const { return m_cipherIv; }
    const QByteArray& getHmac() const { return m_hmac; }
    const QByteArray& getEncryptedData() const { return m_encryptedData; }
    int getFormatVersion() const { return m_formatVersion; }
    // True when both keys are derived and the cipher is known, so that the
    // tree can be encrypted (by save() and lock()).
    bool hasKeys() const;

    bool isOpen() const { return m_open; }
    bool isModified() const { return m_modified; }
    bool isLocked() const { return m_locked; }
    void setModified() { m_modified = true; }
    void clearModified() { m_modified = false; }

    // Reads a database file's header and keeps its encrypted payload; the
    // tree is built by PasswordDatabaseUnlockTask. On failure false is
    // returned and the database is left as it was. The controller (may be
    // null) gets an error text when the file cannot be read (missing, a
    // folder, not a regular file, unreadable, empty, larger than MaxFileSize)
    // or comes from a newer program; a file that is read but is no database
    // leaves it empty.
    bool load(const QString& path, BTaskController* controller);
    // The same for the bytes `text` already read from the file at `path`.
    bool loadBytes(const QString& path, QByteArray text, BTaskController* controller);
    // Whether the file at `path` is a database file of this program, told
    // by its content (the envelope's "type"), whatever its name.
    static bool isDatabaseFile(const QString& path);
    // Encrypts the tree and writes the file, replacing an existing one only
    // once the new content is safely on disk, under an exclusive lock on the
    // file (waiting up to FileLockWaitMs for another writer). With CreateNew
    // an existing file is never replaced. On success filePath becomes path and
    // the modified flag is cleared; on failure nothing changes, the old file
    // stays as it was and `error` (may be null) says why. Needs an unlocked
    // database with keys.
    bool save(const QString& path, QString* error = nullptr,
              BFileWriteMode mode = BFileWriteMode::ReplaceExisting);
    // Encrypts the tree into memory, destroys it and wipes both keys. False,
    // with nothing changed, when already locked or when there are no keys to
    // encrypt with.
    //
    // `pendingEdit` (opaque bytes: an editor's unfinished edit) is encrypted
    // beside the tree with the same cipher key, under an IV and an HMAC of
    // its own, and kept until takePendingEdit() or until the database is
    // cleared. An empty one keeps the edit still pending from an earlier
    // lock. The caller wipes its bytes.
    bool lock(const QByteArray& pendingEdit = QByteArray());
    // Whether an unfinished edit is kept, encrypted.
    bool hasPendingEdit() const { return !m_pendingEdit.isEmpty(); }
    // The pending edit decrypted, which is then no longer kept; the caller
    // wipes it. Empty when there is none, when the database is locked, and
    // when it does not authenticate under the current keys (it is dropped).
    QByteArray takePendingEdit();

private:
    friend class PasswordDatabaseSetPasswordTask;
    friend class PasswordDatabaseUnlockTask;

    void deleteGroups();
    void wipeSecrets();
    bool encryptTree(const QString& typeText, QByteArray& iv, QByteArray& ciphertext,
                     QByteArray& mac) const;
    // The header fields a version 4 HMAC covers before the ciphertext;
    // empty before version 4.
    QByteArray authenticatedHeader(const QString& typeText, const QByteArray& iv) const;
    // The HMAC of a payload: over the ciphertext alone before version 4,
    // over the header fields and the ciphertext from version 4 on.
    QByteArray payloadMac(const QString& typeText, const QByteArray& iv,
                          const QByteArray& ciphertext, const QByteArray& hmacKey) const;

    bool m_open = false;
    bool m_modified = false;
    bool m_locked = false;
    QString m_filePath;
    QString m_name;
    QString m_note;
    int m_kdf = 1;
    int m_kdfRounds;
    int m_kdfMemoryKib = 0;
    int m_kdfParallelism = 0;
    QByteArray m_kdfSalt;
    int m_fileFormatVersion = 4;
    // The "type" text of the file read, covered by a version 4 HMAC.
    QString m_typeText;
    int m_cipher = 0;
    QByteArray m_cipherKey;
    QByteArray m_cipherKeySalt;
    QByteArray m_hmacKey;
    QByteArray m_hmacKeySalt;
    QByteArray m_cipherIv;
    QByteArray m_hmac;
    QList<Group*> m_groups;
    QList<Deletion> m_deletions;
    bool m_modifiedAtLock = false;
    QByteArray m_encryptedData;
    int m_formatVersion = -1;
    // The unfinished edit kept across a lock: IV, ciphertext, HMAC.
    QByteArray m_pendingEditIv;
    QByteArray m_pendingEdit;
    QByteArray m_pendingEditHmac;
};

#endif // PASSWORDDATABASE_H
