#pragma once

#include "core/UrlTable.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The channel that sends a site's URL lists, by its name in the state file.
constexpr const char* IndexNowChannel = "indexnow";

// What each live channel has accepted for one profile: per channel the URLs with the time
// of their last acceptance (seconds since 1970 UTC), and a few notes the channel keeps for
// later runs (such as a time before which an endpoint asked not to be called again).
//
// It lives beside the profile's INI file as "NAME.state", never inside it, and is built to be
// readable after a crash at any moment: the snapshot is replaced only by renaming a complete
// file over it, and what is accepted between two snapshots goes to the journal "NAME.state.journal",
// appended and flushed to the disk batch by batch. Loading reads the snapshot and replays the
// journal (a last line cut off by a crash is ignored); compacting writes a new snapshot and
// removes the journal. Processes that share a profile take turns through the lock file
// "NAME.state.lock", and a compaction first merges what another process wrote meanwhile.
class SitemapState {
public:
    // The state of the profile; a profile without a state file has an empty one. A journal
    // found here is folded into a new snapshot at once. Throws LarkspanError when a file
    // exists but cannot be read.
    static SitemapState load(const std::string& directory, const std::string& profileName);
    // "DIR/NAME.state".
    static std::string fileName(const std::string& directory, const std::string& profileName);

    SitemapState(SitemapState&&) noexcept = default;
    SitemapState& operator=(SitemapState&&) noexcept = default;

    // Remembers that the channel accepted the URLs at the time given: appended to the
    // journal and flushed before it counts. Throws LarkspanError "Unable to write to " + file.
    void recordAccepted(std::string_view channel, const std::vector<std::string_view>& urls,
                        std::int64_t time);
    // The indices of the URLs (with their lastmod as the table's values, NoLastmod for none)
    // that the channel should be told about, in order: never accepted, or changed (lastmod
    // later than the last acceptance). A URL without lastmod is new only once.
    std::vector<std::size_t> changed(std::string_view channel, const UrlTable& urls) const;
    // When the channel last accepted the URL; nothing when it never did.
    std::optional<std::int64_t> acceptedAt(std::string_view channel, std::string_view url) const;
    std::size_t acceptedCount(std::string_view channel) const;

    // A channel's note, or empty. Setting one is journalled like an acceptance.
    std::string note(std::string_view channel, std::string_view key) const;
    void setNote(std::string_view channel, std::string_view key, std::string_view value);

    // Writes the whole state as a new snapshot and removes the journal; the end of a run
    // calls it. Throws LarkspanError "Unable to write to " + file.
    void compact();

    const std::string& file() const { return file_; }

private:
    struct Channel {
        std::string name;
        UrlTable accepted;
        std::map<std::string, std::string, std::less<>> notes;
    };
    SitemapState() = default;
    Channel& channel(std::string_view name);
    const Channel* findChannel(std::string_view name) const;
    void accept(Channel& c, std::string_view url, std::int64_t time);
    // Reads the snapshot into the state (merging: acceptances keep the later time).
    void readSnapshot();
    // Replays the journal; false when there is none.
    bool replayJournal();
    // Writes the state as the snapshot and removes the journal; the lock is held.
    void writeSnapshot();
    // Applies one line of the snapshot (with the channel it is in) or the journal.
    void applySnapshotLine(std::string_view line, Channel*& current);
    void applyJournalLine(std::string_view line);
    void append(const std::string& lines);

    std::string file_;
    std::string journal_;
    // The snapshot file as it was when it was last read or written here.
    std::string snapshotIdentity_;
    // The bytes at the start of the journal that this state holds already; -1 when unknown.
    std::int64_t journalKnown_ = 0;
    // Held by pointer, so that a channel stays where it is while others are added.
    std::vector<std::unique_ptr<Channel>> channels_;
};
