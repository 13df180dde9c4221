#pragma once
// What the server keeps, in SQLite: per account its folders, tags, messages, contacts, calendar
// items and the blobs they carry (contact pictures, calendar attachments), its used byte count,
// and the uploads waiting to be used. Accounts, passwords and rights live in the Directory (from
// the configuration); the store only knows account ids and names.
//
// All access goes through a Transaction, which holds the store's lock for its lifetime: many HTTP
// threads share one connection, each operation runs in one transaction, and a transaction that is
// not committed is rolled back, so a refused request leaves nothing behind.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "testserver/Sqlite.h"

namespace Tarvik::TestServer {

// The server's system folders: every account has them from its creation.
struct SystemFolder {
    int64_t id;
    const char* name;
    const char* view;  // empty for none
};
const std::vector<SystemFolder>& SystemFolders();
inline constexpr int64_t RootFolderId = 1;
inline constexpr int64_t FirstItemId = 257;
inline constexpr int64_t FirstTagId = 64;

struct FolderRecord {
    int64_t id = 0;
    int64_t parentId = 0;
    std::string name;
    std::string view;  // empty for none
    std::optional<int64_t> color;
    std::string flags;
};

struct TagRecord {
    int64_t id = 0;
    std::string name;
    int64_t color = 0;
};

struct UploadRecord {
    std::string token;
    int64_t ownerAccountId = 0;
    std::string filename;
    std::string contentType;
    std::string content;
};

struct MessageRecord {
    int64_t id = 0;
    int64_t folderId = 0;
    std::string flags;
    std::string tags;  // tag ids joined by ","
    std::optional<int64_t> date;
    std::string mime;
    std::string subject;
    std::string messageId;
};

// A blob attached to an item: role "image" (contact picture) or "attachment" (calendar item).
struct BlobRecord {
    std::string role;
    int64_t position = 0;
    std::string filename;
    std::string contentType;
    std::string content;
};

struct ContactRecord {
    int64_t id = 0;
    int64_t folderId = 0;
    std::string tags;
    std::string attributes;  // JSON object, name -> value
    int64_t size = 0;
};

struct CalendarRecord {
    int64_t id = 0;
    std::string kind;  // "appointment" or "task"
    int64_t folderId = 0;
    std::string uid;
    std::string request;  // the request element as received
    std::string parsed;   // JSON
    int64_t size = 0;
};

struct AccountRecord {
    int64_t id = 0;
    std::string name;
    int64_t used = 0;  // bytes of everything stored
};

class Store {
  public:
    // An empty path keeps everything in memory. A read-only store is for the dump of a file that a
    // running server may still be writing.
    explicit Store(const std::string& path, bool readOnly = false);

    class Transaction {
      public:
        ~Transaction();
        Transaction(Transaction&&) = delete;
        void Commit();

        // Accounts
        std::optional<AccountRecord> Account(const std::string& name);
        std::vector<AccountRecord> Accounts();
        // The account's id, creating it with its system folders when it is new.
        int64_t EnsureAccount(const std::string& name);
        void AddUsed(int64_t accountId, int64_t bytes);
        // The next free id of the account's folders and items.
        int64_t NewItemId(int64_t accountId);

        // Folders
        std::optional<FolderRecord> Folder(int64_t accountId, int64_t folderId);
        std::optional<FolderRecord> ChildFolder(int64_t accountId, int64_t parentId,
                                                const std::string& nameKey);
        std::vector<FolderRecord> Folders(int64_t accountId);  // by id
        void InsertFolder(int64_t accountId, const FolderRecord& folder);

        // Tags
        std::vector<TagRecord> Tags(int64_t accountId);  // by id
        std::optional<TagRecord> Tag(int64_t accountId, int64_t tagId);
        std::optional<TagRecord> TagByName(int64_t accountId, const std::string& nameKey);
        TagRecord InsertTag(int64_t accountId, const std::string& name, int64_t color);

        // Uploads (single use: the operation that stores one deletes it)
        void InsertUpload(const UploadRecord& upload);
        std::optional<UploadRecord> Upload(const std::string& token);
        void DeleteUpload(const std::string& token);

        // Items
        void InsertMessage(int64_t accountId, const MessageRecord& message);
        void InsertContact(int64_t accountId, const ContactRecord& contact);
        void InsertBlob(int64_t accountId, int64_t itemId, const BlobRecord& blob);
        std::optional<CalendarRecord> CalendarItemByUid(int64_t accountId, const std::string& kind,
                                                        const std::string& uid);
        // Removes a calendar item with its blobs and gives its bytes back to the account.
        void DeleteCalendarItem(int64_t accountId, const CalendarRecord& item);
        void InsertCalendarItem(int64_t accountId, const CalendarRecord& item);

        // Reading for the dump
        std::vector<MessageRecord> Messages(int64_t accountId);
        std::vector<ContactRecord> Contacts(int64_t accountId);
        std::vector<CalendarRecord> CalendarItems(int64_t accountId);
        std::vector<BlobRecord> Blobs(int64_t accountId, int64_t itemId);

      private:
        friend class Store;
        explicit Transaction(Store& store);
        Statement& Sql(const char* sql) { return store_.db_.Prepare(sql); }

        Store& store_;
        std::unique_lock<std::mutex> lock_;
        bool open_ = true;
    };

    // Waits for the store's lock and begins a transaction.
    std::unique_ptr<Transaction> Begin();

  private:
    void CreateSchema();

    std::mutex mutex_;
    Database db_;
    bool readOnly_;
};

}  // namespace Tarvik::TestServer
