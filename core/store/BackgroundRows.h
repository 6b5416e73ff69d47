#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class SqliteDatabase;
class SqliteStatement;

// The store's rows of URLs new to a site, written on a thread with a connection of its own while
// the run goes on: a first run that announces every page of a large site sends its first POST
// without waiting for a million rows to be made. The ids were given in advance (the selection,
// holding the write lock, writes the highest of them itself, and SQLite gives every later row the
// highest id plus one), so the run records acceptances by these ids at once and only waits until
// the rows it names are committed.
class BackgroundRows {
public:
    // What to write: rows with the ids firstId, firstId + 1, ..., in that order. The last is
    // written by reserve(), the others by the thread.
    struct Rows {
        std::int64_t site = 0;
        std::int64_t firstSeen = 0;
        std::int64_t firstId = 0;

        // The key is taken as a view: its bytes must stay where they are (in the sitemaps'
        // table) until the rows are written.
        void add(std::string_view key, std::optional<std::int64_t> lastmod);
        std::size_t size() const { return keys_.size(); }
        std::string_view key(std::size_t i) const { return keys_[i]; }
        std::optional<std::int64_t> lastmod(std::size_t i) const;

    private:
        std::vector<std::string_view> keys_;
        // NoLastmod for none.
        std::vector<std::int64_t> lastmods_;
    };

    // Rows are committed this many at a time: the run's own writes wait for one such
    // transaction at most.
    static constexpr std::size_t Transaction = 2000;

    // Writes the row with the highest id, in the caller's transaction (which holds the write
    // lock): SQLite gives any row made after it (another site's, by another process) a higher
    // id, so the ids below stay free for the thread.
    static void reserve(SqliteDatabase& db, const Rows& rows);

    BackgroundRows(std::string file, int busyWaitMilliseconds, Rows rows);
    // Writes what is left before it goes, so that nothing the selection saw is lost.
    ~BackgroundRows();
    BackgroundRows(const BackgroundRows&) = delete;
    BackgroundRows& operator=(const BackgroundRows&) = delete;

    // Waits until every row of these ids that the thread writes is committed (at once when none
    // is: rows older than these, and the highest, which the selection wrote); throws the
    // writer's failure as the store's error.
    void waitFor(const std::vector<std::int64_t>& ids);
    void waitForAll();
    // Held while the run writes on its own connection: the thread lets it go first after the
    // transaction it is in, and neither waits for the other's lock in SQLite's sleeps.
    class Turn {
    public:
        explicit Turn(BackgroundRows& rows);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        BackgroundRows& rows_;
    };

private:
    static SqliteStatement prepareInsert(SqliteDatabase& db, const Rows& rows);
    static void insert(SqliteStatement& statement, const Rows& rows, std::size_t i);
    // The rows the thread writes: all but the reserved last.
    std::size_t threadRows() const { return rows_.size() - 1; }
    void write(const std::string& file, int busyWaitMilliseconds);
    void waitUntil(std::size_t count);

    const Rows rows_;
    std::mutex mutex_;
    std::condition_variable progress_;
    std::size_t written_ = 0;
    bool writing_ = false;
    // Turns of the run that wait or write.
    int runTurns_ = 0;
    std::exception_ptr failure_;
    std::thread thread_;
};
