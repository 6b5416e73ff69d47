#include "core/store/StoreClaim.h"

#include "core/store/SiteStore.h"
#include "core/store/StoreDatabase.h"
#include "platform/Time.h"

#include <cerrno>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

// A process that no longer exists cannot hold anything; one that exists but belongs to another
// user (EPERM) still does.
bool alive(std::int64_t pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

SiteClaim::SiteClaim(SiteStore& store, const StoreSite& site, int waitSeconds, Pause pause)
    : store_(store), site_(site) {
    if (!pause) pause = [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
    while (true) {
        const std::int64_t holder = tryTake();
        if (holder == 0) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            SqliteStatement since =
                StoreDatabase::of(store_).prepare("SELECT since FROM claims WHERE site=?1");
            since.bind(1, site_.id);
            const std::string when = since.step() ? " since " + formatUtc(since.int64(0)) : "";
            throw StoreBusy("The live channels of " + site_.name + " are held by process " +
                            std::to_string(holder) + when + "; waited " + std::to_string(waitSeconds) +
                            " s, nothing is sent for " + site_.name + " in this run");
        }
        pause(std::chrono::milliseconds(200));
    }
}

std::int64_t SiteClaim::tryTake() {
    SqliteDatabase& db = StoreDatabase::of(store_);
    try {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        SqliteStatement holder = db.prepare("SELECT pid FROM claims WHERE site=?1");
        holder.bind(1, site_.id);
        if (holder.step()) {
            const std::int64_t pid = holder.int64(0);
            if (pid != ::getpid() && alive(pid)) return pid;
        }
        holder.reset();
        SqliteStatement take =
            db.prepare("INSERT OR REPLACE INTO claims(site, pid, since) VALUES(?1, ?2, ?3)");
        take.bind(1, site_.id).bind(2, static_cast<std::int64_t>(::getpid()));
        take.bind(3, unixNow()).run();
        transaction.commit();
        return 0;
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

SiteClaim::~SiteClaim() {
    try {
        SqliteStatement release =
            StoreDatabase::of(store_).prepare("DELETE FROM claims WHERE site=?1 AND pid=?2");
        release.bind(1, site_.id).bind(2, static_cast<std::int64_t>(::getpid())).run();
    } catch (...) {
        // A claim left behind is taken over by the next run, as that of a process that is gone.
    }
}
