// Reading a site's sitemaps into one list: the named sitemaps one after another, the sitemaps
// of an index several at a time, all within the bounds of one profile.
#include "core/channels/LiveSite.h"
#include "core/sitemaps/SitemapReader.h"
#include "core/sitemaps/SitemapSource.h"
#include "core/sitemaps/Sitemaps.h"
#include "platform/Text.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

bool hasBlankOrControl(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return true;
    return false;
}

// One file on its way: its reader, and what it gave until it is merged into the list in
// document order (files of one batch arrive interleaved).
struct FileRead {
    explicit FileRead(std::string address, const SitemapScope& fileScope)
        : url(std::move(address)), scope(fileScope),
          reader([this](std::string_view loc, std::int64_t lastmod) { return entry(loc, lastmod); }) {}

    bool entry(std::string_view loc, std::int64_t lastmod) {
        if (reader.kind() == SitemapReader::Kind::Index) {
            if (isChild) {
                nested = true;
                return false;
            }
            children.emplace_back(loc);
            return true;
        }
        entries.emplace_back(std::string(loc), lastmod);
        return true;
    }

    std::string url;
    SitemapScope scope;
    bool isChild = false;
    bool nested = false;
    std::vector<std::string> children;
    std::vector<std::pair<std::string, std::int64_t>> entries;
    FetchResult fetched;
    SitemapReader reader;
};

// Feeds one file's reader on a thread of its own, so that the files of a batch are inflated and
// parsed at once while the transfers go on. A piece waits in a queue of at most QueueBytes; past
// that, handing one over waits for the reader, so that memory stays bounded whatever a server
// sends. Once the reader has ended (a fault, a limit) it takes nothing more; once the profile's
// bounds are reached (stop), nothing more is read.
class ReaderThread {
public:
    static constexpr std::size_t QueueBytes = 1 << 20;

    ReaderThread(SitemapReader& reader, const std::atomic<bool>& stop)
        : reader_(reader), stop_(stop), thread_([this] { run(); }) {}
    ~ReaderThread() { close(); }
    ReaderThread(const ReaderThread&) = delete;
    ReaderThread& operator=(const ReaderThread&) = delete;

    // False once the reader has ended: the transfer may stop.
    bool push(std::string_view piece) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < QueueBytes || ended_; });
        if (ended_) return false;
        queue_ += piece;
        changed_.notify_all();
        return true;
    }
    // Bytes of XML read so far.
    std::uint64_t bytes() const { return bytes_.load(); }
    // Waits until every piece handed over is read; a failure of the reader passes on here.
    void finish() {
        close();
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    }

private:
    void close() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
            changed_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
    }

    void run() {
        for (std::string piece;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return !queue_.empty() || closed_; });
                if (queue_.empty()) return;
                piece.clear();
                piece.swap(queue_);
                changed_.notify_all();
            }
            bool going = false;
            try {
                going = !stop_ && reader_.feed(piece);
            } catch (...) {
                failure_ = std::current_exception();
            }
            bytes_ = reader_.bytes();
            if (!going) {
                const std::lock_guard<std::mutex> lock(mutex_);
                ended_ = true;
                changed_.notify_all();
            }
        }
    }

    SitemapReader& reader_;
    const std::atomic<bool>& stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string queue_;
    bool closed_ = false;
    bool ended_ = false;
    std::atomic<std::uint64_t> bytes_{0};
    std::exception_ptr failure_;
    std::thread thread_;
};

class Gatherer {
public:
    Gatherer(SitemapSource& source, const Url& site, const SitemapBounds& bounds, SiteSitemaps& out)
        : source_(source), site_(site), bounds_(bounds), out_(out), deadline_(Clock::now() + bounds.maxTime) {
    }

    void readTop(const std::string& url) {
        if (stopped() || !seen_.insert(url).second) return;
        const std::optional<Url> parsed = Url::parse(url);
        if (!parsed) return;
        std::vector<std::unique_ptr<FileRead>> batch;
        batch.push_back(std::make_unique<FileRead>(url, SitemapScope(*parsed, site_)));
        readBatch(batch);
        FileRead& top = *batch.front();
        if (top.fetched.ok() && top.reader.kind() != SitemapReader::Kind::Unknown)
            out_.sitemapsRead.push_back(url);
        if (top.fetched.status == 0 && !top.fetched.ok()) out_.unanswered.push_back(top.fetched.problem);
        merge(top, nullptr);
        if (!stopped()) readChildren(*parsed, top.children);
    }

private:
    bool stopped() const { return full_ || !bound_.empty(); }

    void problem(const std::string& url, const std::string& text) {
        out_.problems.push_back(url + ": " + text);
    }

    // Whether the profile's bounds are reached, with the bytes of the files being read; the
    // first reached is kept for the log, and their readers stop.
    bool overBounds(std::uint64_t reading) {
        const std::uint64_t bytes = bytesDone_ + reading;
        if (bound_.empty() && bytes > bounds_.maxBytes)
            bound_ =
                "the sitemaps hold more than " + withThousands(bounds_.maxBytes) + " bytes of XML in all";
        if (bound_.empty() && Clock::now() >= deadline_)
            bound_ =
                "reading the sitemaps took longer than " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bounds_.maxTime).count()) +
                " seconds ([Sitemaps] MaxSeconds)";
        if (!bound_.empty()) stop_ = true;
        return !bound_.empty();
    }

    // Fetches the files of a batch at once, each into its reader on a thread of its own.
    void readBatch(std::vector<std::unique_ptr<FileRead>>& batch) {
        std::vector<std::unique_ptr<ReaderThread>> readers;
        for (auto& file : batch)
            readers.push_back(std::make_unique<ReaderThread>(file->reader, stop_));
        const auto reading = [&readers] {
            std::uint64_t bytes = 0;
            for (const auto& reader : readers)
                bytes += reader->bytes();
            return bytes;
        };
        std::vector<SitemapSource::Fetch> fetches;
        for (std::size_t i = 0; i < batch.size(); ++i) {
            ReaderThread* reader = readers[i].get();
            // The sitemaps of an index stay on its origin, through redirects too.
            const Redirects redirects = batch[i]->isChild ? Redirects::SameOrigin : Redirects::AnyHost;
            fetches.push_back({batch[i]->url, redirects, [this, reader, &reading](std::string_view piece) {
                                   return reader->push(piece) && !overBounds(reading());
                               }});
        }
        std::vector<FetchResult> results = source_.fetchAll(std::move(fetches));
        for (auto& reader : readers)
            reader->finish();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            FileRead& file = *batch[i];
            file.fetched = std::move(results[i]);
            // A file that a bound cut is not whole: it is not finished, so that no fault is
            // made up about its end.
            if (file.fetched.ok() && bound_.empty()) file.reader.finish();
            bytesDone_ += file.reader.bytes();
        }
    }

    // Puts a file's entries into the list and tells what went wrong with it.
    void merge(FileRead& file, const std::string* index) {
        // A file cut short is no file read, whatever entries came before the cut.
        if (file.fetched.ok() && file.reader.kind() != SitemapReader::Kind::Unknown) ++out_.filesRead;
        if (!file.fetched.ok()) {
            std::string text = file.fetched.problem;
            if (file.reader.entries() > 0)
                text += "; the " + withThousands(file.reader.entries()) + " entries read before are kept";
            problem(file.url, text);
        } else if (!file.reader.problem().empty()) {
            problem(file.url, file.reader.problem());
        }
        if (file.reader.overLimit()) ++out_.overLimit;
        if (file.nested)
            problem(file.url, "it is a sitemap index inside the sitemap index " + *index +
                                  "; sitemaps nest only one level deep, so it is not read");
        for (const auto& [loc, lastmod] : file.entries)
            if (!take(loc, lastmod, file.scope)) break;
        if (full_) {
            ++out_.overLimit;
            problem(file.url, "the sitemaps list more than " + withThousands(bounds_.maxUrls) +
                                  " URLs in all ([Sitemaps] MaxURLs); the first " +
                                  withThousands(bounds_.maxUrls) + " are kept and nothing further is read");
        }
    }

    // Keeps a URL of a sitemap when it is one, in the sitemap's scope, and not kept already;
    // false when the bound on all URLs is reached.
    bool take(std::string_view loc, std::int64_t lastmod, const SitemapScope& scope) {
        // The scope parses a URL only when it does not start with the scope's own normalised
        // text, which nearly every URL of a sitemap does: a million URLs need no parsing.
        if (loc.size() >= SitemapReader::MaxLocLength || hasBlankOrControl(loc) || !scope.contains(loc)) {
            ++out_.dropped;
            return true;
        }
        std::optional<std::size_t> found;
        if (out_.urls.size() < bounds_.maxUrls) {
            auto [at, added] = out_.urls.insert(loc, lastmod);
            if (added) return true;
            found = at;
        } else {
            found = out_.urls.find(loc);
            if (!found) {
                full_ = true;
                return false;
            }
        }
        ++out_.duplicates;
        // The later of two dates stands for the page.
        out_.urls.setValue(*found, std::max(out_.urls.value(*found), lastmod));
        return true;
    }

    // The sitemaps an index lists that are read: URLs on the index's own origin, once each.
    std::vector<std::pair<std::string, Url>> readableChildren(const Url& index,
                                                              const std::vector<std::string>& children) {
        std::vector<std::pair<std::string, Url>> out;
        const std::string url = index.text();
        for (const std::string& child : children) {
            const std::optional<Url> parsed = isSitemapUrl(child) ? Url::parse(child) : std::nullopt;
            if (!parsed)
                problem(url, "the sitemap index lists \"" + child + "\", which is not a URL; it is skipped");
            else if (*parsed == index)
                problem(url, "the sitemap index lists itself; that entry is skipped");
            else if (!parsed->sameOrigin(index))
                problem(url, "the sitemap index lists " + child + " on another host; it is not read");
            else if (seen_.insert(parsed->text()).second)
                out.emplace_back(child, *parsed);
        }
        return out;
    }

    // Reads the sitemaps an index lists, one level deep, several at a time. A batch's entries
    // go into the list on a thread of their own while the next batch is fetched and read (the
    // two share nothing); a batch that may fill the list is merged before anything further is
    // fetched, so that no file is fetched once the list is full.
    void readChildren(const Url& index, const std::vector<std::string>& children) {
        const std::string indexUrl = index.text();
        const auto readable = readableChildren(index, children);
        const std::size_t atOnce = static_cast<std::size_t>(std::max(1, bounds_.atOnce));
        using Batch = std::vector<std::unique_ptr<FileRead>>;
        const auto mergeAll = [this, &indexUrl](const Batch& batch) {
            for (const auto& file : batch) {
                if (full_) break;
                merge(*file, &indexUrl);
            }
        };
        std::future<void> merging;
        std::size_t listed = out_.urls.size();
        for (std::size_t first = 0; first < readable.size(); first += atOnce) {
            Batch batch;
            for (std::size_t i = first; i < std::min(readable.size(), first + atOnce); ++i) {
                batch.push_back(
                    std::make_unique<FileRead>(readable[i].first, SitemapScope(readable[i].second, site_)));
                batch.back()->isChild = true;
            }
            if (overBounds(0)) break;
            readBatch(batch);
            if (merging.valid()) merging.get();
            for (const auto& file : batch)
                listed += file->entries.size();
            // A batch that a bound cut is merged, and the reading ends after it.
            if (!bound_.empty() || listed >= bounds_.maxUrls) {
                mergeAll(batch);
                if (stopped()) break;
                listed = out_.urls.size();
            } else {
                merging =
                    std::async(std::launch::async, [mergeAll, batch = std::move(batch)] { mergeAll(batch); });
            }
        }
        if (merging.valid()) merging.get();
    }

public:
    // Tells, once, that a bound of the profile ended the reading.
    void reportBound() {
        if (bound_.empty()) return;
        ++out_.overLimit;
        out_.problems.push_back(bound_ + "; what was read before is kept and nothing further is read");
    }

private:
    SitemapSource& source_;
    const Url& site_;
    const SitemapBounds& bounds_;
    SiteSitemaps& out_;
    Clock::time_point deadline_;
    std::unordered_set<std::string> seen_;
    std::uint64_t bytesDone_ = 0;
    std::string bound_;
    std::atomic<bool> stop_{false};
    bool full_ = false;
};

} // namespace

SiteSitemaps readSitemaps(const Url& site, std::string_view sitemapKey, SitemapSource& source,
                          const SitemapBounds& bounds) {
    SiteSitemaps out;
    out.sitemaps = findSitemaps(site, sitemapKey, source, out.problems);
    Gatherer gatherer(source, site, bounds, out);
    for (const std::string& url : out.sitemaps)
        gatherer.readTop(url);
    gatherer.reportBound();
    return out;
}

SiteSitemaps readSitemaps(std::string_view profileUrl, std::string_view sitemapKey, SitemapSource& source,
                          const SitemapBounds& bounds) {
    const std::optional<Url> site = profileSiteUrl(profileUrl);
    if (site) return readSitemaps(*site, sitemapKey, source, bounds);
    SiteSitemaps out;
    out.problems.push_back("the profile URL \"" + std::string(profileUrl) + "\" names no web site");
    return out;
}
