#include "core/store/StoreImport.h"

#include "core/store/SiteStore.h"
#include "http/Url.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// Splits a line at its tabs; the last field takes the rest.
std::vector<std::string_view> fields(std::string_view line, std::size_t count) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const auto tab = line.find('\t');
        if (tab == std::string_view::npos) break;
        out.push_back(line.substr(0, tab));
        line.remove_prefix(tab + 1);
    }
    out.push_back(line);
    return out;
}

std::optional<std::int64_t> parseTime(std::string_view text) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Writes what one old file holds into the store, line by line.
class Importer {
public:
    Importer(SqliteDatabase& db, std::int64_t site) : db_(db), site_(site) {
        addUrl_.bind(1, site_);
        accept_.bind(1, site_);
    }

    void acceptance(std::string_view channel, std::int64_t time, std::string_view url) {
        const std::string key = urlKey(unescape(url));
        addUrl_.bind(2, key).bind(3, time).run();
        accept_.bind(2, key).bind(3, channel).bind(4, time).run();
        met_.bind(1, site_).bind(2, channel).bind(3, time).run();
        ++acceptances_;
    }
    void note(std::string_view channel, const std::string& key, const std::string& value) {
        ++notes_;
        // The only note earlier versions wrote: when an endpoint may be called again after a 429.
        constexpr std::string_view Retry = "retry-after ";
        if (key.rfind(Retry, 0) == 0 && parseTime(value)) {
            pause_.bind(1, site_)
                .bind(2, channel)
                .bind(3, key.substr(Retry.size()))
                .bind(4, *parseTime(value))
                .run();
            return;
        }
        note_.bind(1, site_).bind(2, channel).bind(3, key).bind(4, value).run();
    }
    std::int64_t acceptances() const { return acceptances_; }
    std::int64_t notes() const { return notes_; }

private:
    SqliteDatabase& db_;
    std::int64_t site_;
    std::int64_t acceptances_ = 0;
    std::int64_t notes_ = 0;
    SqliteStatement addUrl_ =
        db_.prepare("INSERT INTO urls(site, url, first_seen) VALUES(?1, ?2, ?3) "
                    "ON CONFLICT(site, url) DO UPDATE SET first_seen=min(first_seen, ?3)");
    SqliteStatement accept_ =
        db_.prepare("INSERT INTO announcements(url, channel, at, accepted, answer) "
                    "SELECT id, ?3, ?4, 1, 'imported' FROM urls WHERE site=?1 AND url=?2 "
                    "ON CONFLICT(url, channel) DO UPDATE SET at=max(at, excluded.at), accepted=1");
    SqliteStatement met_ = db_.prepare("INSERT INTO channels(site, channel, met) VALUES(?1, ?2, ?3) "
                                       "ON CONFLICT DO UPDATE SET met=CASE WHEN met=0 THEN excluded.met "
                                       "ELSE min(met, excluded.met) END");
    SqliteStatement pause_ =
        db_.prepare("INSERT INTO pauses(site, channel, endpoint, until) VALUES(?1,?2,?3,?4) "
                    "ON CONFLICT DO UPDATE SET until=max(until, excluded.until)");
    SqliteStatement note_ = db_.prepare("INSERT INTO notes(site, channel, key, value) VALUES(?1,?2,?3,?4) "
                                        "ON CONFLICT DO UPDATE SET value=excluded.value");
};

// The lines of an old file that could not be imported, for one notice.
struct Skipped {
    std::vector<std::size_t> lines;
    std::size_t count() const { return lines.size(); }
};

// Calls back with each line and its number; a last line without its line break was cut off
// while it was written and counts as damaged.
template <typename Apply> void readLines(const std::string& file, Skipped& skipped, Apply&& apply) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw StoreError("The old state file " + file + " cannot be read");
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (in.eof() || !apply(std::string_view(line))) skipped.lines.push_back(number);
    }
}

void importSnapshot(const std::string& file, Importer& importer, Skipped& skipped) {
    std::string channel;
    bool header = true;
    readLines(file, skipped, [&](std::string_view line) {
        if (std::exchange(header, false)) return line == "larkspan-state 1";
        const auto f = fields(line, 3);
        if (f[0] == "C" && f.size() == 2 && !f[1].empty()) {
            channel = unescape(f[1]);
            return true;
        }
        if (channel.empty() || f.size() != 3) return false;
        if (f[0] == "A" && parseTime(f[1]) && !f[2].empty()) {
            importer.acceptance(channel, *parseTime(f[1]), f[2]);
            return true;
        }
        if (f[0] != "N") return false;
        importer.note(channel, unescape(f[1]), unescape(f[2]));
        return true;
    });
}

void importJournal(const std::string& file, Importer& importer, Skipped& skipped) {
    readLines(file, skipped, [&](std::string_view line) {
        const auto f = fields(line, 4);
        if (f.size() != 4 || f[1].empty()) return false;
        if (f[0] == "A" && parseTime(f[2]) && !f[3].empty()) {
            importer.acceptance(unescape(f[1]), *parseTime(f[2]), f[3]);
            return true;
        }
        if (f[0] != "N") return false;
        importer.note(unescape(f[1]), unescape(f[2]), unescape(f[3]));
        return true;
    });
}

std::string skippedNotice(const std::string& file, const Skipped& skipped) {
    std::string lines;
    for (std::size_t i = 0; i < skipped.lines.size() && i < 10; ++i)
        lines += (i ? ", " : "") + std::to_string(skipped.lines[i]);
    if (skipped.lines.size() > 10) lines += ", ...";
    return "The import of " + file + " skipped " + std::to_string(skipped.count()) +
           (skipped.count() == 1 ? " damaged line (line " : " damaged lines (lines ") + lines +
           "); the file is kept as " + baseName(file) + ".imported";
}

// "Imported 4 acceptances and 1 note of Shop from Shop.state and Shop.state.journal into FILE (3
// damaged lines skipped); the files are renamed Shop.state.imported and Shop.state.journal.imported":
// what every command that imports says, a run in its log and the others on standard error.
std::string importNotice(const std::string& site, const std::string& store,
                         const std::vector<std::string>& names, std::int64_t acceptances, std::int64_t notes,
                         std::size_t damaged) {
    const auto counted = [](std::int64_t n, const char* noun) {
        return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
    };
    std::string from;
    std::string renamed;
    for (const std::string& name : names) {
        from += (from.empty() ? "" : " and ") + name;
        renamed += (renamed.empty() ? "" : " and ") + name + ".imported";
    }
    return "Imported " + counted(acceptances, "acceptance") +
           (notes > 0 ? " and " + counted(notes, "note") : "") + " of " + site + " from " + from + " into " +
           store + " (" + counted(static_cast<std::int64_t>(damaged), "damaged line") + " skipped); " +
           (names.size() == 1 ? "the file is renamed " : "the files are renamed ") + renamed;
}

} // namespace

void importStateFiles(SqliteDatabase& db, const std::string& profileDirectory, StoreSite& site) {
    const std::string snapshot = profileDirectory +
                                 (profileDirectory.empty() || profileDirectory.back() == '/' ? "" : "/") +
                                 site.name + ".state";
    const std::string journal = snapshot + ".journal";
    const bool haveSnapshot = exists(snapshot);
    const bool haveJournal = exists(journal);
    if (!haveSnapshot && !haveJournal) return;
    Skipped fromSnapshot;
    Skipped fromJournal;
    std::int64_t acceptances = 0;
    std::int64_t notes = 0;
    {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        Importer importer(db, site.id);
        if (haveSnapshot) importSnapshot(snapshot, importer, fromSnapshot);
        if (haveJournal) importJournal(journal, importer, fromJournal);
        acceptances = importer.acceptances();
        notes = importer.notes();
        transaction.commit();
    }
    // Renamed only once the rows are committed: a crash before leaves the files to be imported
    // again, which changes nothing (an acceptance keeps its latest time).
    std::vector<std::string> names;
    for (const std::string& file : {snapshot, journal}) {
        if (!exists(file)) continue;
        if (std::rename(file.c_str(), (file + ".imported").c_str()) != 0)
            throw StoreError("The old state file " + file + " cannot be renamed after its import");
        names.push_back(baseName(file));
    }
    ::unlink((snapshot + ".lock").c_str());
    site.notices.push_back(importNotice(site.name, db.file(), names, acceptances, notes,
                                        fromSnapshot.count() + fromJournal.count()));
    if (fromSnapshot.count()) site.notices.push_back(skippedNotice(snapshot, fromSnapshot));
    if (fromJournal.count()) site.notices.push_back(skippedNotice(journal, fromJournal));
}
