#include "platform/Sqlite.h"

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

// SQLite's own words for the result codes that a user may meet, said in terms of the file.
std::string messageFor(sqlite3* db, int code, const std::string& file) {
    switch (code & 0xff) {
    case SQLITE_FULL:
        return "The disk holding " + file + " is full; nothing more can be written to it";
    case SQLITE_NOTADB:
        return file + " is not a Larkspan store (not a database)";
    case SQLITE_CORRUPT:
        return file + " is damaged (" + std::string(db ? sqlite3_errmsg(db) : sqlite3_errstr(code)) + ")";
    case SQLITE_READONLY:
        return file + " cannot be written (" + std::string(db ? sqlite3_errmsg(db) : sqlite3_errstr(code)) +
               ")";
    default:
        return file + ": " + std::string(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    }
}

[[noreturn]] void fail(sqlite3* db, int code, const std::string& file) {
    throw SqliteError(messageFor(db, code, file), code);
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql, const std::string& file)
    : db_(db), file_(&file) {
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr);
    if (rc != SQLITE_OK) fail(db, rc, file);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr)), db_(other.db_), file_(other.file_) {}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::string_view text) {
    // An empty view may have no data pointer, which SQLite would bind as NULL.
    sqlite3_bind_text64(statement_, index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, std::optional<std::int64_t> value) {
    return value ? bind(index, *value) : bindNull(index);
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(statement_, index);
    return *this;
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    sqlite3_reset(statement_);
    fail(db_, rc, *file_);
}

void SqliteStatement::run() {
    while (step()) {
    }
    reset();
}

void SqliteStatement::reset() {
    sqlite3_reset(statement_);
}

std::int64_t SqliteStatement::int64(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::optional<std::int64_t> SqliteStatement::optionalInt64(int column) const {
    if (isNull(column)) return std::nullopt;
    return int64(column);
}

std::string_view SqliteStatement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    if (!bytes) return {};
    return {bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

// Runs the checkpoints that the commits of one connection ask for, one at a time, on a thread
// that starts with the first of them. A checkpoint asked for while one runs runs after it.
class SqliteDatabase::Checkpointer {
public:
    explicit Checkpointer(std::string file) : file_(std::move(file)) {}
    ~Checkpointer() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    Checkpointer(const Checkpointer&) = delete;
    Checkpointer& operator=(const Checkpointer&) = delete;

    // sqlite3_wal_hook: a commit left the log at this many pages.
    static int committed(void* self, sqlite3*, const char*, int pages) {
        if (pages >= LogPages) static_cast<Checkpointer*>(self)->ask();
        return SQLITE_OK;
    }

private:
    // The log size at which SQLite's own commits would checkpoint.
    static constexpr int LogPages = 1000;

    void ask() {
        {
            std::lock_guard lock(mutex_);
            asked_ = true;
        }
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        wake_.notify_one();
    }

    void run() {
        sqlite3* db = nullptr;
        // A read first, so that the connection knows the database is in WAL mode.
        const bool opened = sqlite3_open_v2(file_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                            nullptr) == SQLITE_OK &&
                            sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) == SQLITE_OK;
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return asked_ || stop_; });
            if (stop_) break;
            asked_ = false;
            lock.unlock();
            // Passive: it copies what no reader still needs and never holds a writer back.
            if (opened) sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            lock.lock();
        }
        // Closed before the connection it serves, which as the last one checkpoints the rest.
        sqlite3_close_v2(db);
    }

    const std::string file_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool asked_ = false;
    bool stop_ = false;
    std::thread thread_;
};

namespace {

// "file:PATH?mode=ro", with "?immutable=1" when no write-ahead log lies beside the file: a
// read-only connection would otherwise make the log's files.
std::string readOnlyUri(const std::string& file) {
    std::string uri = "file:";
    for (const unsigned char c : file) {
        if (c == '%' || c == '?' || c == '#' || c < 0x20 || c >= 0x7F) {
            constexpr const char* hex = "0123456789ABCDEF";
            uri += {'%', hex[c >> 4], hex[c & 15]};
        } else {
            uri += static_cast<char>(c);
        }
    }
    const bool logged = ::access((file + "-wal").c_str(), F_OK) == 0;
    return uri + (logged ? "?mode=ro" : "?mode=ro&immutable=1");
}

} // namespace

SqliteDatabase::SqliteDatabase(const std::string& file, Mode mode) : file_(file) {
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::ReadWriteCreate) flags |= SQLITE_OPEN_CREATE;
    if (mode == Mode::ReadOnly) flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    const std::string name = mode == Mode::ReadOnly ? readOnlyUri(file) : file;
    const int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string message = messageFor(db_, rc, file);
        close();
        throw SqliteError(message, rc);
    }
    sqlite3_extended_result_codes(db_, 1);
}

void SqliteDatabase::copyInto(SqliteDatabase& target) const {
    sqlite3_backup* backup = sqlite3_backup_init(target.db_, "main", db_, "main");
    if (!backup)
        throw SqliteError(messageFor(target.db_, sqlite3_errcode(target.db_), target.file_),
                          sqlite3_errcode(target.db_));
    sqlite3_backup_step(backup, -1);
    const int rc = sqlite3_backup_finish(backup);
    if (rc != SQLITE_OK) throw SqliteError(messageFor(target.db_, rc, file_), rc);
}

SqliteDatabase::~SqliteDatabase() {
    close();
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), file_(std::move(other.file_)),
      checkpointer_(std::move(other.checkpointer_)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
        file_ = std::move(other.file_);
        checkpointer_ = std::move(other.checkpointer_);
    }
    return *this;
}

void SqliteDatabase::close() noexcept {
    // A checkpoint that runs is finished first, and its connection closed.
    checkpointer_.reset();
    // Every statement is finalised by its owner first, so close_v2 frees the connection now.
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

void SqliteDatabase::checkpointInBackground() {
    if (checkpointer_) return;
    checkpointer_ = std::make_unique<Checkpointer>(file_);
    // The hook takes the place of SQLite's own checkpoints inside commits.
    sqlite3_wal_hook(db_, Checkpointer::committed, checkpointer_.get());
}

void SqliteDatabase::exec(std::string_view sql) {
    const std::string text(sql);
    const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) fail(db_, rc, file_);
}

SqliteStatement SqliteDatabase::prepare(std::string_view sql) const {
    return SqliteStatement(db_, sql, file_);
}

std::int64_t SqliteDatabase::queryInt64(std::string_view sql) const {
    SqliteStatement statement = prepare(sql);
    return statement.step() ? statement.int64(0) : 0;
}

std::string SqliteDatabase::queryText(std::string_view sql) const {
    SqliteStatement statement = prepare(sql);
    return statement.step() ? std::string(statement.text(0)) : std::string();
}

void SqliteDatabase::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

std::int64_t SqliteDatabase::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(db_);
}

int SqliteDatabase::changes() const {
    return sqlite3_changes(db_);
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& db, Kind kind) : db_(db) {
    db_.exec(kind == Kind::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::~SqliteTransaction() {
    if (!open_) return;
    try {
        db_.exec("ROLLBACK");
    } catch (...) {
        // A failed commit may have rolled back already; there is nothing more to undo.
    }
}

void SqliteTransaction::commit() {
    db_.exec("COMMIT");
    open_ = false;
}

SqliteWithoutForeignKeys::SqliteWithoutForeignKeys(SqliteDatabase& db) : db_(db) {
    db_.exec("PRAGMA foreign_keys=OFF");
}

SqliteWithoutForeignKeys::~SqliteWithoutForeignKeys() {
    try {
        db_.exec("PRAGMA foreign_keys=ON");
    } catch (...) {
        // A pragma outside a transaction does not fail; there is nothing to undo.
    }
}
