#include "core/store/StoreClaim.h"

#include "core/store/SiteStore.h"
#include "core/store/StoreDatabase.h"
#include "platform/Time.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

// A process that holds a claim started before it took the claim. The two times come from two
// readings of the clock in whole seconds, and the boot time that a start time is counted from
// moves with the clock when it is set: a start up to this much after the claim still counts as
// before it. An id used again is nearly always far later (after a reboot, or once the ids wrapped).
constexpr std::int64_t StartSlackSeconds = 60;

// A process that no longer exists cannot hold anything; one that exists but belongs to another
// user (EPERM) still does.
bool exists(std::int64_t pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::optional<std::int64_t> bootTime() {
    std::ifstream stat("/proc/stat");
    std::string word;
    while (stat >> word) {
        std::int64_t time = 0;
        if (word == "btime") return stat >> time ? std::optional<std::int64_t>(time) : std::nullopt;
    }
    return std::nullopt;
}

// Why the claim's process no longer holds it; empty while it does.
std::string whyGone(std::int64_t pid, std::int64_t since) {
    if (!exists(pid)) return "which is gone";
    const std::optional<std::int64_t> started = processStartTime(pid);
    if (started && *started > since + StartSlackSeconds)
        return "which is gone (its id now names another program, started " + formatUtc(*started) + ")";
    return {};
}

} // namespace

std::optional<std::int64_t> processStartTime(std::int64_t pid) {
    if (pid <= 0) return std::nullopt;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The program's name, in parentheses, may hold blanks and parentheses of its own: the fields
    // are counted after the last ")". The start time, in clock ticks after the boot, is field 22.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int number = 3; number <= 22; ++number)
        if (!(fields >> field)) return std::nullopt;
    std::uint64_t ticks = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), ticks);
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    const std::optional<std::int64_t> boot = bootTime();
    if (error != std::errc() || end != field.data() + field.size() || perSecond <= 0 || !boot)
        return std::nullopt;
    return *boot + static_cast<std::int64_t>(ticks / static_cast<std::uint64_t>(perSecond));
}

SiteClaim::SiteClaim(SiteStore& store, const StoreSite& site, int waitSeconds, Pause pause, ClaimFor purpose)
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
            const std::string outcome = purpose == ClaimFor::Forget
                                            ? "; " + site_.name + " is not removed from the store"
                                            : ", nothing is sent for " + site_.name + " in this run";
            throw StoreBusy("The live channels of " + site_.name + " are held by process " +
                            std::to_string(holder) + when + "; waited " + std::to_string(waitSeconds) + " s" +
                            outcome);
        }
        pause(std::chrono::milliseconds(200));
    }
}

std::int64_t SiteClaim::tryTake() {
    SqliteDatabase& db = StoreDatabase::of(store_);
    try {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        SqliteStatement holder = db.prepare("SELECT pid, since FROM claims WHERE site=?1");
        holder.bind(1, site_.id);
        std::string takenOver;
        if (holder.step()) {
            const std::int64_t pid = holder.int64(0);
            const std::int64_t since = holder.int64(1);
            if (pid != ::getpid()) {
                const std::string gone = whyGone(pid, since);
                if (gone.empty()) return pid;
                takenOver = "The claim of " + site_.name + " by process " + std::to_string(pid) + " since " +
                            formatUtc(since) + ", " + gone + ", was taken over";
            }
        }
        holder.reset();
        SqliteStatement take =
            db.prepare("INSERT OR REPLACE INTO claims(site, pid, since) VALUES(?1, ?2, ?3)");
        take.bind(1, site_.id).bind(2, static_cast<std::int64_t>(::getpid()));
        take.bind(3, unixNow()).run();
        transaction.commit();
        takenOver_ = std::move(takenOver);
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

std::int64_t forgetSite(SiteStore& store, const std::string& name, int waitSeconds) {
    store.settle();
    try {
        const StoreSite found = store.findSite(name);
        if (found.id == 0) return -1;
        const SiteClaim claim(store, found, waitSeconds, {}, ClaimFor::Forget);
        SqliteDatabase& db = StoreDatabase::of(store);
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        SqliteStatement count = db.prepare("SELECT count(*) FROM urls WHERE site=?1");
        count.bind(1, found.id);
        const std::int64_t urls = count.step() ? count.int64(0) : 0;
        count.reset();
        // The claim's row goes with the site's.
        SqliteStatement remove = db.prepare("DELETE FROM sites WHERE id=?1");
        remove.bind(1, found.id).run();
        transaction.commit();
        return urls;
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}
