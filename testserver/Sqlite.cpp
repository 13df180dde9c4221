#include "testserver/Sqlite.h"

#include <sqlite3.h>

namespace Tarvik::TestServer {

namespace {

void Check(int result, sqlite3* db, const char* what) {
    if (result != SQLITE_OK) {
        throw SqliteError(std::string(what) + ": " +
                          (db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result)));
    }
}

}  // namespace

Statement& Statement::Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(statement_, index, value), sqlite3_db_handle(statement_), "bind");
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
          sqlite3_db_handle(statement_), "bind");
    return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
    // A zero-length blob must still be a blob, not NULL.
    Check(sqlite3_bind_blob64(statement_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                              SQLITE_TRANSIENT),
          sqlite3_db_handle(statement_), "bind");
    return *this;
}

Statement& Statement::BindNull(int index) {
    Check(sqlite3_bind_null(statement_, index), sqlite3_db_handle(statement_), "bind");
    return *this;
}

bool Statement::Step() {
    int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    std::string message = sqlite3_errmsg(sqlite3_db_handle(statement_));
    sqlite3_reset(statement_);
    throw SqliteError("step: " + message);
}

void Statement::Run() {
    while (Step()) {
    }
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string Statement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                           : std::string();
}

std::string Statement::Blob(int column) const {
    const void* data = sqlite3_column_blob(statement_, column);
    return data != nullptr ? std::string(static_cast<const char*>(data),
                                         static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                           : std::string();
}

void Statement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

Database::Database(const std::string& path, bool readOnly) {
    std::string name = path.empty() ? ":memory:" : path;
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int result = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(result);
        sqlite3_close(db_);
        throw SqliteError("cannot open database " + name + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
}

Database::~Database() {
    for (auto& [sql, entry] : statements_) {
        sqlite3_finalize(entry.first);
    }
    sqlite3_close(db_);
}

void Database::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error != nullptr ? error : "unknown error";
        sqlite3_free(error);
        throw SqliteError(message + " in: " + sql.substr(0, 80));
    }
}

Statement& Database::Prepare(const std::string& sql) {
    auto found = statements_.find(sql);
    if (found == statements_.end()) {
        sqlite3_stmt* statement = nullptr;
        Check(sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                 &statement, nullptr),
              db_, "prepare");
        found =
            statements_.emplace(sql, std::make_pair(statement, std::make_unique<Statement>(statement))).first;
    }
    found->second.second->Reset();
    return *found->second.second;
}

}  // namespace Tarvik::TestServer
