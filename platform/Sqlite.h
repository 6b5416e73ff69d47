#pragma once

#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A failure of the embedded database, with SQLite's result code (SQLITE_FULL, SQLITE_BUSY,
// SQLITE_NOTADB, ...) and a message that names the file.
class SqliteError : public LarkspanError {
public:
    SqliteError(const std::string& message, int code) : LarkspanError(message), code_(code) {}
    // The primary result code (the extended code's low byte).
    int code() const { return code_ & 0xff; }

private:
    int code_;
};

// A prepared statement of one database: bind, step through the rows, reset to run it again.
// Parameters are numbered from 1, columns from 0, as in SQLite itself.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, std::string_view sql, const std::string& file);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&&) = delete;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& bind(int index, std::int64_t value);
    // The text is copied, so the caller's buffer may go at once.
    SqliteStatement& bind(int index, std::string_view text);
    SqliteStatement& bind(int index, std::optional<std::int64_t> value);
    SqliteStatement& bindNull(int index);

    // Runs the statement to its next row: true while there is one. Throws SqliteError.
    bool step();
    // Steps to the end, for statements that return no rows.
    void run();
    // Ready to run again; the bound values stay until they are bound anew.
    void reset();

    std::int64_t int64(int column) const;
    std::optional<std::int64_t> optionalInt64(int column) const;
    std::string_view text(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt* statement_ = nullptr;
    sqlite3* db_ = nullptr;
    const std::string* file_ = nullptr;
};

// One connection to a database file, closed when it goes.
class SqliteDatabase {
public:
    // ReadOnly opens the file as it stands and makes no file beside it: a database whose
    // write-ahead log is there is read with it, one without is read as unchanging.
    enum class Mode { ReadWrite, ReadWriteCreate, ReadOnly };

    // Throws SqliteError naming the file when it cannot be opened.
    SqliteDatabase(const std::string& file, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Runs one or more statements that return no rows.
    void exec(std::string_view sql);
    SqliteStatement prepare(std::string_view sql) const;
    // The first column of the first row of a query, such as a PRAGMA's value.
    std::int64_t queryInt64(std::string_view sql) const;
    std::string queryText(std::string_view sql) const;
    // How long a statement waits for another connection's lock before SQLITE_BUSY.
    void setBusyTimeout(int milliseconds);
    // Copies the whole database into another connection's (a database in memory, say).
    void copyInto(SqliteDatabase& target) const;
    std::int64_t lastInsertRowid() const;
    int changes() const;
    // From now on the write-ahead log is checkpointed on a thread of its own, with a connection
    // of its own, instead of inside the commit that fills it past 1,000 pages: a commit returns
    // once its log is on the disk, and a large one no longer waits for its pages to be copied
    // into the database as well. Only for a database in WAL mode.
    void checkpointInBackground();

    const std::string& file() const { return file_; }

private:
    class Checkpointer;
    void close() noexcept;

    sqlite3* db_ = nullptr;
    std::string file_;
    std::unique_ptr<Checkpointer> checkpointer_;
};

// A transaction that is rolled back unless it was committed. Immediate takes the write lock at
// once, so that a read followed by a write cannot fail half way for another writer.
class SqliteTransaction {
public:
    enum class Kind { Deferred, Immediate };
    explicit SqliteTransaction(SqliteDatabase& db, Kind kind = Kind::Deferred);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;

    void commit();

private:
    SqliteDatabase& db_;
    bool open_ = true;
};

// Foreign keys go unchecked on the connection while this lives, for statements whose rows
// cannot break them, and are checked again after it. Only outside a transaction: SQLite ignores
// the setting inside one.
class SqliteWithoutForeignKeys {
public:
    explicit SqliteWithoutForeignKeys(SqliteDatabase& db);
    ~SqliteWithoutForeignKeys();
    SqliteWithoutForeignKeys(const SqliteWithoutForeignKeys&) = delete;
    SqliteWithoutForeignKeys& operator=(const SqliteWithoutForeignKeys&) = delete;

private:
    SqliteDatabase& db_;
};
