#include "testserver/Store.h"

#include "testserver/Names.h"

namespace Tarvik::TestServer {

const std::vector<SystemFolder>& SystemFolders() {
    static const std::vector<SystemFolder> folders = {
        {1, "USER_ROOT", ""},       {2, "Inbox", "message"},         {3, "Trash", ""},
        {4, "Junk", "message"},     {5, "Sent", "message"},          {6, "Drafts", "message"},
        {7, "Contacts", "contact"}, {10, "Calendar", "appointment"}, {15, "Tasks", "task"},
    };
    return folders;
}

namespace {

constexpr const char* Schema = R"sql(
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, used INTEGER NOT NULL DEFAULT 0,
  next_item_id INTEGER NOT NULL, next_tag_id INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS folders(
  account_id INTEGER NOT NULL, id INTEGER NOT NULL, parent_id INTEGER NOT NULL, name TEXT NOT NULL,
  name_key TEXT NOT NULL, view TEXT NOT NULL, color INTEGER, flags TEXT NOT NULL,
  PRIMARY KEY(account_id, id));
CREATE UNIQUE INDEX IF NOT EXISTS folder_names ON folders(account_id, parent_id, name_key) WHERE id <> 1;
CREATE TABLE IF NOT EXISTS tags(
  account_id INTEGER NOT NULL, id INTEGER NOT NULL, name TEXT NOT NULL, name_key TEXT NOT NULL,
  color INTEGER NOT NULL, PRIMARY KEY(account_id, id), UNIQUE(account_id, name_key));
CREATE TABLE IF NOT EXISTS uploads(
  token TEXT PRIMARY KEY, owner_account_id INTEGER NOT NULL, filename TEXT NOT NULL,
  content_type TEXT NOT NULL, content BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS messages(
  account_id INTEGER NOT NULL, id INTEGER NOT NULL, folder_id INTEGER NOT NULL, flags TEXT NOT NULL,
  tags TEXT NOT NULL, date INTEGER, mime BLOB NOT NULL, subject TEXT NOT NULL, message_id TEXT NOT NULL,
  PRIMARY KEY(account_id, id));
CREATE TABLE IF NOT EXISTS contacts(
  account_id INTEGER NOT NULL, id INTEGER NOT NULL, folder_id INTEGER NOT NULL, tags TEXT NOT NULL,
  attributes TEXT NOT NULL, size INTEGER NOT NULL, PRIMARY KEY(account_id, id));
CREATE TABLE IF NOT EXISTS calendar_items(
  account_id INTEGER NOT NULL, id INTEGER NOT NULL, kind TEXT NOT NULL, folder_id INTEGER NOT NULL,
  uid TEXT NOT NULL, request TEXT NOT NULL, parsed TEXT NOT NULL, size INTEGER NOT NULL,
  PRIMARY KEY(account_id, id), UNIQUE(account_id, kind, uid));
CREATE TABLE IF NOT EXISTS blobs(
  account_id INTEGER NOT NULL, item_id INTEGER NOT NULL, role TEXT NOT NULL, position INTEGER NOT NULL,
  filename TEXT NOT NULL, content_type TEXT NOT NULL, content BLOB NOT NULL,
  PRIMARY KEY(account_id, item_id, role, position));
)sql";

FolderRecord ReadFolder(const Statement& row) {
    FolderRecord folder;
    folder.id = row.Int(0);
    folder.parentId = row.Int(1);
    folder.name = row.Text(2);
    folder.view = row.Text(3);
    if (!row.IsNull(4)) {
        folder.color = row.Int(4);
    }
    folder.flags = row.Text(5);
    return folder;
}

TagRecord ReadTag(const Statement& row) {
    return TagRecord{row.Int(0), row.Text(1), row.Int(2)};
}

CalendarRecord ReadCalendarItem(const Statement& row) {
    return CalendarRecord{row.Int(0),  row.Text(1), row.Int(2), row.Text(3),
                          row.Text(4), row.Text(5), row.Int(6)};
}

// Runs a query expected to give at most one row, read by `read`.
template <typename Read>
auto SingleRow(Statement& statement, Read read) -> std::optional<decltype(read(statement))> {
    std::optional<decltype(read(statement))> result;
    if (statement.Step()) {
        result = read(statement);
    }
    statement.Reset();
    return result;
}

template <typename Read>
auto AllRows(Statement& statement, Read read) -> std::vector<decltype(read(statement))> {
    std::vector<decltype(read(statement))> rows;
    while (statement.Step()) {
        rows.push_back(read(statement));
    }
    statement.Reset();
    return rows;
}

constexpr const char* FolderColumns = "SELECT id, parent_id, name, view, color, flags FROM folders ";
constexpr const char* CalendarColumns =
    "SELECT id, kind, folder_id, uid, request, parsed, size FROM calendar_items ";

}  // namespace

Store::Store(const std::string& path, bool readOnly) : db_(path, readOnly), readOnly_(readOnly) {
    if (!readOnly_) {
        // A test server: speed over durability, but a file stays readable by `dump` while it runs.
        db_.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
        CreateSchema();
    }
}

void Store::CreateSchema() {
    db_.Exec(Schema);
}

std::unique_ptr<Store::Transaction> Store::Begin() {
    return std::unique_ptr<Transaction>(new Transaction(*this));
}

Store::Transaction::Transaction(Store& store) : store_(store), lock_(store.mutex_) {
    store_.db_.Exec(store_.readOnly_ ? "BEGIN" : "BEGIN IMMEDIATE");
}

Store::Transaction::~Transaction() {
    if (open_) {
        try {
            store_.db_.Exec("ROLLBACK");
        } catch (const SqliteError&) {
            // Nothing more can be done; the next BEGIN reports a broken connection.
        }
    }
}

void Store::Transaction::Commit() {
    store_.db_.Exec("COMMIT");
    open_ = false;
}

std::optional<AccountRecord> Store::Transaction::Account(const std::string& name) {
    return SingleRow(Sql("SELECT id, name, used FROM accounts WHERE name = ?").Bind(1, name),
                     [](const Statement& row) {
                         return AccountRecord{row.Int(0), row.Text(1), row.Int(2)};
                     });
}

std::vector<AccountRecord> Store::Transaction::Accounts() {
    return AllRows(Sql("SELECT id, name, used FROM accounts ORDER BY name"), [](const Statement& row) {
        return AccountRecord{row.Int(0), row.Text(1), row.Int(2)};
    });
}

int64_t Store::Transaction::EnsureAccount(const std::string& name) {
    if (std::optional<AccountRecord> existing = Account(name)) {
        return existing->id;
    }
    Sql("INSERT INTO accounts(name, next_item_id, next_tag_id) VALUES(?, ?, ?)")
        .Bind(1, name)
        .Bind(2, FirstItemId)
        .Bind(3, FirstTagId)
        .Run();
    int64_t accountId = Account(name)->id;
    for (const SystemFolder& system : SystemFolders()) {
        FolderRecord folder;
        folder.id = system.id;
        folder.parentId = RootFolderId;
        folder.name = system.name;
        folder.view = system.view;
        InsertFolder(accountId, folder);
    }
    return accountId;
}

void Store::Transaction::AddUsed(int64_t accountId, int64_t bytes) {
    Sql("UPDATE accounts SET used = used + ? WHERE id = ?").Bind(1, bytes).Bind(2, accountId).Run();
}

int64_t Store::Transaction::NewItemId(int64_t accountId) {
    auto id = SingleRow(Sql("SELECT next_item_id FROM accounts WHERE id = ?").Bind(1, accountId),
                        [](const Statement& row) { return row.Int(0); });
    Sql("UPDATE accounts SET next_item_id = next_item_id + 1 WHERE id = ?").Bind(1, accountId).Run();
    return id.value();
}

std::optional<FolderRecord> Store::Transaction::Folder(int64_t accountId, int64_t folderId) {
    static const std::string sql = std::string(FolderColumns) + "WHERE account_id = ? AND id = ?";
    return SingleRow(store_.db_.Prepare(sql).Bind(1, accountId).Bind(2, folderId), ReadFolder);
}

std::optional<FolderRecord> Store::Transaction::ChildFolder(int64_t accountId, int64_t parentId,
                                                            const std::string& nameKey) {
    static const std::string sql =
        std::string(FolderColumns) + "WHERE account_id = ? AND parent_id = ? AND name_key = ? AND id <> 1";
    return SingleRow(store_.db_.Prepare(sql).Bind(1, accountId).Bind(2, parentId).Bind(3, nameKey),
                     ReadFolder);
}

std::vector<FolderRecord> Store::Transaction::Folders(int64_t accountId) {
    static const std::string sql = std::string(FolderColumns) + "WHERE account_id = ? ORDER BY id";
    return AllRows(store_.db_.Prepare(sql).Bind(1, accountId), ReadFolder);
}

void Store::Transaction::InsertFolder(int64_t accountId, const FolderRecord& folder) {
    Statement& insert =
        Sql("INSERT INTO folders(account_id, id, parent_id, name, name_key, view, color, flags) "
            "VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, accountId)
        .Bind(2, folder.id)
        .Bind(3, folder.parentId)
        .Bind(4, folder.name)
        .Bind(5, FoldCase(folder.name))
        .Bind(6, folder.view)
        .Bind(8, folder.flags);
    folder.color ? insert.Bind(7, *folder.color) : insert.BindNull(7);
    insert.Run();
}

std::vector<TagRecord> Store::Transaction::Tags(int64_t accountId) {
    return AllRows(
        Sql("SELECT id, name, color FROM tags WHERE account_id = ? ORDER BY id").Bind(1, accountId), ReadTag);
}

std::optional<TagRecord> Store::Transaction::Tag(int64_t accountId, int64_t tagId) {
    return SingleRow(Sql("SELECT id, name, color FROM tags WHERE account_id = ? AND id = ?")
                         .Bind(1, accountId)
                         .Bind(2, tagId),
                     ReadTag);
}

std::optional<TagRecord> Store::Transaction::TagByName(int64_t accountId, const std::string& nameKey) {
    return SingleRow(Sql("SELECT id, name, color FROM tags WHERE account_id = ? AND name_key = ?")
                         .Bind(1, accountId)
                         .Bind(2, nameKey),
                     ReadTag);
}

TagRecord Store::Transaction::InsertTag(int64_t accountId, const std::string& name, int64_t color) {
    auto id = SingleRow(Sql("SELECT next_tag_id FROM accounts WHERE id = ?").Bind(1, accountId),
                        [](const Statement& row) { return row.Int(0); });
    Sql("UPDATE accounts SET next_tag_id = next_tag_id + 1 WHERE id = ?").Bind(1, accountId).Run();
    Sql("INSERT INTO tags(account_id, id, name, name_key, color) VALUES(?, ?, ?, ?, ?)")
        .Bind(1, accountId)
        .Bind(2, *id)
        .Bind(3, name)
        .Bind(4, FoldCase(name))
        .Bind(5, color)
        .Run();
    return TagRecord{*id, name, color};
}

void Store::Transaction::InsertUpload(const UploadRecord& upload) {
    Sql("INSERT INTO uploads(token, owner_account_id, filename, content_type, content) VALUES(?, ?, ?, ?, ?)")
        .Bind(1, upload.token)
        .Bind(2, upload.ownerAccountId)
        .Bind(3, upload.filename)
        .Bind(4, upload.contentType)
        .BindBlob(5, upload.content)
        .Run();
}

std::optional<UploadRecord> Store::Transaction::Upload(const std::string& token) {
    return SingleRow(
        Sql("SELECT token, owner_account_id, filename, content_type, content FROM uploads WHERE token = ?")
            .Bind(1, token),
        [](const Statement& row) {
            return UploadRecord{row.Text(0), row.Int(1), row.Text(2), row.Text(3), row.Blob(4)};
        });
}

void Store::Transaction::DeleteUpload(const std::string& token) {
    Sql("DELETE FROM uploads WHERE token = ?").Bind(1, token).Run();
}

void Store::Transaction::InsertMessage(int64_t accountId, const MessageRecord& message) {
    Statement& insert =
        Sql("INSERT INTO messages(account_id, id, folder_id, flags, tags, date, mime, subject, message_id) "
            "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, accountId)
        .Bind(2, message.id)
        .Bind(3, message.folderId)
        .Bind(4, message.flags)
        .Bind(5, message.tags)
        .BindBlob(7, message.mime)
        .Bind(8, message.subject)
        .Bind(9, message.messageId);
    message.date ? insert.Bind(6, *message.date) : insert.BindNull(6);
    insert.Run();
}

void Store::Transaction::InsertContact(int64_t accountId, const ContactRecord& contact) {
    Sql("INSERT INTO contacts(account_id, id, folder_id, tags, attributes, size) VALUES(?, ?, ?, ?, ?, ?)")
        .Bind(1, accountId)
        .Bind(2, contact.id)
        .Bind(3, contact.folderId)
        .Bind(4, contact.tags)
        .Bind(5, contact.attributes)
        .Bind(6, contact.size)
        .Run();
}

void Store::Transaction::InsertBlob(int64_t accountId, int64_t itemId, const BlobRecord& blob) {
    Sql("INSERT INTO blobs(account_id, item_id, role, position, filename, content_type, content) "
        "VALUES(?, ?, ?, ?, ?, ?, ?)")
        .Bind(1, accountId)
        .Bind(2, itemId)
        .Bind(3, blob.role)
        .Bind(4, blob.position)
        .Bind(5, blob.filename)
        .Bind(6, blob.contentType)
        .BindBlob(7, blob.content)
        .Run();
}

std::optional<CalendarRecord> Store::Transaction::CalendarItemByUid(int64_t accountId,
                                                                    const std::string& kind,
                                                                    const std::string& uid) {
    static const std::string sql =
        std::string(CalendarColumns) + "WHERE account_id = ? AND kind = ? AND uid = ?";
    return SingleRow(store_.db_.Prepare(sql).Bind(1, accountId).Bind(2, kind).Bind(3, uid), ReadCalendarItem);
}

void Store::Transaction::DeleteCalendarItem(int64_t accountId, const CalendarRecord& item) {
    Sql("DELETE FROM blobs WHERE account_id = ? AND item_id = ?").Bind(1, accountId).Bind(2, item.id).Run();
    Sql("DELETE FROM calendar_items WHERE account_id = ? AND id = ?")
        .Bind(1, accountId)
        .Bind(2, item.id)
        .Run();
    AddUsed(accountId, -item.size);
}

void Store::Transaction::InsertCalendarItem(int64_t accountId, const CalendarRecord& item) {
    Sql("INSERT INTO calendar_items(account_id, id, kind, folder_id, uid, request, parsed, size) "
        "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
        .Bind(1, accountId)
        .Bind(2, item.id)
        .Bind(3, item.kind)
        .Bind(4, item.folderId)
        .Bind(5, item.uid)
        .Bind(6, item.request)
        .Bind(7, item.parsed)
        .Bind(8, item.size)
        .Run();
}

std::vector<MessageRecord> Store::Transaction::Messages(int64_t accountId) {
    return AllRows(Sql("SELECT id, folder_id, flags, tags, date, mime, subject, message_id FROM messages "
                       "WHERE account_id = ? ORDER BY id")
                       .Bind(1, accountId),
                   [](const Statement& row) {
                       MessageRecord message;
                       message.id = row.Int(0);
                       message.folderId = row.Int(1);
                       message.flags = row.Text(2);
                       message.tags = row.Text(3);
                       if (!row.IsNull(4)) {
                           message.date = row.Int(4);
                       }
                       message.mime = row.Blob(5);
                       message.subject = row.Text(6);
                       message.messageId = row.Text(7);
                       return message;
                   });
}

std::vector<ContactRecord> Store::Transaction::Contacts(int64_t accountId) {
    return AllRows(
        Sql("SELECT id, folder_id, tags, attributes, size FROM contacts WHERE account_id = ? ORDER BY id")
            .Bind(1, accountId),
        [](const Statement& row) {
            return ContactRecord{row.Int(0), row.Int(1), row.Text(2), row.Text(3), row.Int(4)};
        });
}

std::vector<CalendarRecord> Store::Transaction::CalendarItems(int64_t accountId) {
    static const std::string sql = std::string(CalendarColumns) + "WHERE account_id = ? ORDER BY id";
    return AllRows(store_.db_.Prepare(sql).Bind(1, accountId), ReadCalendarItem);
}

std::vector<BlobRecord> Store::Transaction::Blobs(int64_t accountId, int64_t itemId) {
    return AllRows(Sql("SELECT role, position, filename, content_type, content FROM blobs "
                       "WHERE account_id = ? AND item_id = ? ORDER BY role, position")
                       .Bind(1, accountId)
                       .Bind(2, itemId),
                   [](const Statement& row) {
                       return BlobRecord{row.Text(0), row.Int(1), row.Text(2), row.Text(3), row.Blob(4)};
                   });
}

}  // namespace Tarvik::TestServer
