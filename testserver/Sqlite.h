#pragma once
// A thin RAII layer over SQLite: a database connection with a cache of prepared statements, and
// statements with typed binding and column access. Not thread-safe; the Store serialises access.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Tarvik::TestServer {

class SqliteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Statement {
  public:
    explicit Statement(sqlite3_stmt* statement) : statement_(statement) {}

    // Parameters count from 1, as in SQLite.
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
    Statement& BindBlob(int index, std::string_view bytes);
    Statement& BindNull(int index);

    // Advances to the next row; false when there is none (the statement is then done).
    bool Step();
    // Runs a statement that returns no rows.
    void Run();

    // Columns count from 0.
    bool IsNull(int column) const;
    int64_t Int(int column) const;
    std::string Text(int column) const;
    std::string Blob(int column) const;

    void Reset();

  private:
    sqlite3_stmt* statement_;
};

class Database {
  public:
    // Opens (creating unless read-only) the database file; an empty path or ":memory:" is a private
    // in-memory database.
    Database(const std::string& path, bool readOnly);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Exec(const std::string& sql);
    // A prepared statement for this SQL, reset and with cleared bindings. It is cached and stays
    // valid as long as the database.
    Statement& Prepare(const std::string& sql);

  private:
    sqlite3* db_ = nullptr;
    std::map<std::string, std::pair<sqlite3_stmt*, std::unique_ptr<Statement>>> statements_;
};

}  // namespace Tarvik::TestServer
