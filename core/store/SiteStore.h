#pragma once

#include "core/store/BackgroundRows.h"
#include "platform/Sqlite.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The store cannot be used: a file that is no store, a damaged one, one of a newer program, or
// a disk that is full. Its message names the file and says what happens; nothing is sent for a
// site whose store is refused.
class StoreError : public LarkspanError {
public:
    using LarkspanError::LarkspanError;
};
// The disk is full: the run ends, and what was not committed is not counted.
class StoreFull : public StoreError {
public:
    using StoreError::StoreError;
};
// Another process holds a site's live channels and did not let go within the wait.
class StoreBusy : public StoreError {
public:
    using StoreError::StoreError;
};

// A site of the store: one profile, by its name.
struct StoreSite {
    std::int64_t id = 0;
    std::string name;
    // Sentences about the import of the profile's old state files (what was imported, the
    // damaged lines skipped, what the files are renamed): whoever calls SiteStore::site tells
    // them, a run in its log and a command on standard error.
    std::vector<std::string> notices;
};

// Everything the live channels remember, for all profiles of one directory, in one SQLite
// database "larkspan.db" beside the profiles: per site and URL when it was first and last seen
// in a sitemap, its lastmod and when it left; per channel and URL its last answer; per channel
// pauses and the key's status. It is opened for a piece of work and closed after it.
class SiteStore {
public:
    // "DIR/larkspan.db".
    static std::string fileName(const std::string& profileDirectory);
    // The schema version this program writes; a store of a higher one is refused.
    static int schemaVersion();

    // Opens the store of the directory, creating it (mode 0600, never left empty) when there is
    // none. A file that is no store, fails its quick check or has a newer schema is refused with
    // StoreError and left exactly as it is. busyWaitSeconds bounds waits for SQLite's own locks.
    static SiteStore open(const std::string& profileDirectory, int busyWaitSeconds = 60);
    // Opens the store for a look that changes nothing (a dry run, a status): read-only, with
    // nothing imported or made. Without a store there, it is an empty one in memory, and exists()
    // is false; a store of an older schema is read from a copy in memory brought up to date.
    // A store that open() would refuse is refused the same way.
    static SiteStore openToRead(const std::string& profileDirectory, int busyWaitSeconds = 60);

    // Whether the store is the directory's file (false for the empty one openToRead makes).
    bool exists() const { return exists_; }

    SiteStore(SiteStore&&) noexcept = default;
    SiteStore& operator=(SiteStore&&) noexcept = default;

    // The profile's site, made on first use, when the old "NAME.state" and "NAME.state.journal"
    // files are imported and renamed "*.imported" (their notices say what was skipped).
    StoreSite site(const std::string& name);
    // The site of a name that has rows already; id 0 when it has none. Nothing is made.
    StoreSite findSite(const std::string& name) const;

    // Records that the channel accepted the URLs at that time with that answer ("200 OK from
    // HOST"), committed and synced to the disk before it returns. Throws StoreFull (nothing of
    // the batch counts then) or StoreError.
    void recordAccepted(const StoreSite& site, std::string_view channel,
                        const std::vector<std::string_view>& urls, std::int64_t time,
                        std::string_view answer);
    // The same for URLs by their rows, as a selection in Record mode gives them: a run records
    // what it sent so, without looking up each URL's text again.
    void recordAcceptedRows(const StoreSite& site, std::string_view channel,
                            const std::vector<std::int64_t>& rows, std::int64_t time,
                            std::string_view answer);
    // When the channel last accepted the URL (any spelling of it), or nothing.
    std::optional<std::int64_t> acceptedAt(const StoreSite& site, std::string_view channel,
                                           std::string_view url) const;
    std::int64_t acceptedCount(const StoreSite& site, std::string_view channel) const;

    // An endpoint's pause (Retry-After) as a time in seconds since 1970; 0 for none.
    std::int64_t pausedUntil(const StoreSite& site, std::string_view channel,
                             std::string_view endpoint) const;
    // The latest pause of any of the channel's endpoints for the site; 0 for none.
    std::int64_t pausedUntil(const StoreSite& site, std::string_view channel) const;
    void setPause(const StoreSite& site, std::string_view channel, std::string_view endpoint,
                  std::int64_t until);
    // The status of the channel's key for the site ("pending" after a 202, ...); empty for none.
    std::string keyStatus(const StoreSite& site, std::string_view channel) const;
    void setKeyStatus(const StoreSite& site, std::string_view channel, std::string_view status,
                      std::int64_t time);

    // Keeps why a run could not read the site at that time; an empty cause clears it.
    void setUnreadable(const StoreSite& site, std::string_view cause, std::int64_t time);
    // Why and when a run last could not read the site; nothing once a run read it since.
    struct Unreadable {
        std::string cause;
        std::int64_t at = 0;
    };
    std::optional<Unreadable> unreadable(const StoreSite& site) const;

    // The rows of new URLs that a selection leaves to a thread of their own (see BackgroundRows).
    // Until they are all written, every use of the store that may need them waits for them: the
    // methods above and the store's queries in core/store/; an acceptance by rows waits only for
    // its own rows.
    void writeRowsInBackground(BackgroundRows::Rows rows);
    // Waits until the rows written in the background are all there. The thread's failure is
    // thrown once, by this or by the acceptance that meets it, as StoreError or StoreFull; the
    // store goes on with the rows that were written.
    void settle() const;

    const std::string& file() const { return db_.file(); }
    const std::string& profileDirectory() const { return directory_; }

private:
    // The store's own files reach its connection through this (core/store/StoreDatabase.h).
    friend struct StoreDatabase;

    SiteStore(SqliteDatabase db, std::string directory, int busyWaitSeconds)
        : db_(std::move(db)), directory_(std::move(directory)), busyWaitSeconds_(busyWaitSeconds) {}

    SqliteDatabase db_;
    std::string directory_;
    int busyWaitSeconds_ = 60;
    bool exists_ = true;
    // Goes before the connection, which as the last one checkpoints what it wrote.
    mutable std::unique_ptr<BackgroundRows> rows_;
};

// Turns a failure of SQLite into the store's own errors: a full disk is StoreFull.
[[noreturn]] void rethrowStoreError(const SqliteError& e);
