// What the live channels accepted, across runs and across a crash while it is written.
#include "core/SitemapState.h"

#include "../common/TempDir.h"
#include "core/SiteProfile.h"
#include "core/SitemapReader.h"
#include "platform/Error.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

UrlTable table(const std::vector<std::pair<std::string, std::int64_t>>& urls) {
    UrlTable t;
    for (const auto& [url, lastmod] : urls)
        t.insert(url, lastmod);
    return t;
}

std::vector<std::string_view> urlsAt(const UrlTable& t, const std::vector<std::size_t>& indices) {
    std::vector<std::string_view> out;
    for (std::size_t i : indices)
        out.push_back(t.url(i));
    return out;
}

TEST(SitemapState, ChangedUrlsAcrossThreeRuns) {
    TempDir dir;
    ProfileStore store(dir.str());
    SiteProfile profile;
    profile[fSiteTitle] = "Garden";
    profile[fURL] = "http://garden.test/";
    store.save(profile);
    const std::string ini = dir.read("Garden.ini");

    // Run 1: everything is new; the channel accepts all but the last, which it refused.
    UrlTable first = table({{"http://g/a", 1000}, {"http://g/b", NoLastmod}, {"http://g/c\twith tab", 1000}});
    {
        SitemapState state = SitemapState::load(dir.str(), "Garden");
        auto changed = state.changed("indexnow", first);
        EXPECT_EQ(changed, (std::vector<std::size_t>{0, 1, 2}));
        state.recordAccepted("indexnow", urlsAt(first, {0, 1}), 2000);
        state.setNote("indexnow", "retry-after api.indexnow.org", "1999");
        // Another channel's acceptances are its own.
        EXPECT_EQ(state.changed("other", first).size(), 3u);
    }
    // Run 2 (loaded from the journal): the refused URL is still pending; a page changed after
    // its acceptance is new again; a page without lastmod is not.
    UrlTable second = table({{"http://g/a", 3000},
                             {"http://g/b", NoLastmod},
                             {"http://g/c\twith tab", 1000},
                             {"http://g/d", 500}});
    {
        SitemapState state = SitemapState::load(dir.str(), "Garden");
        EXPECT_FALSE(std::filesystem::exists(dir / "Garden.state.journal")) << "compacted on loading";
        EXPECT_EQ(state.note("indexnow", "retry-after api.indexnow.org"), "1999");
        EXPECT_EQ(state.changed("indexnow", second), (std::vector<std::size_t>{0, 2, 3}));
        state.recordAccepted("indexnow", urlsAt(second, {0, 2, 3}), 4000);
        state.compact();
    }
    // Run 3: nothing changed.
    SitemapState state = SitemapState::load(dir.str(), "Garden");
    EXPECT_TRUE(state.changed("indexnow", second).empty());
    EXPECT_EQ(state.acceptedAt("indexnow", "http://g/c\twith tab"), 4000);
    EXPECT_EQ(state.acceptedAt("indexnow", "http://g/b"), 2000);
    EXPECT_EQ(state.note("indexnow", "retry-after api.indexnow.org"), "1999");

    // The state lives beside the profile, is no profile, and left the profile untouched.
    EXPECT_EQ(state.file(), dir.file("Garden.state"));
    EXPECT_EQ(store.list(), std::vector<std::string>{"Garden"});
    EXPECT_EQ(dir.read("Garden.ini"), ini);
}

TEST(SitemapState, ATornJournalLineAndAForeignFileAreHandled) {
    TempDir dir;
    dir.write("P.state.journal", "A\tindexnow\t10\thttp://g/whole\nA\tindexnow\t10\thttp://g/torn");
    SitemapState state = SitemapState::load(dir.str(), "P");
    EXPECT_EQ(state.acceptedCount("indexnow"), 1u);
    EXPECT_EQ(state.acceptedAt("indexnow", "http://g/whole"), 10);
    dir.write("Q.state", "something else\n");
    EXPECT_THROW(SitemapState::load(dir.str(), "Q"), LarkspanError);
}

TEST(SitemapState, TwoWritersOfOneProfileLoseNothingOfEachOther) {
    TempDir dir;
    SitemapState window = SitemapState::load(dir.str(), "P");
    SitemapState headless = SitemapState::load(dir.str(), "P");
    window.recordAccepted("indexnow", {"http://g/window"}, 10);
    window.setNote("indexnow", "k", "old");
    headless.recordAccepted("indexnow", {"http://g/headless"}, 20);
    headless.setNote("indexnow", "retry", "later");
    headless.compact();
    window.setNote("indexnow", "k", "v");
    // The window's snapshot is older than the one on the disk now; compacting must not drop
    // what the other one wrote.
    window.compact();
    SitemapState after = SitemapState::load(dir.str(), "P");
    EXPECT_EQ(after.acceptedAt("indexnow", "http://g/window"), 10);
    EXPECT_EQ(after.acceptedAt("indexnow", "http://g/headless"), 20);
    EXPECT_EQ(after.note("indexnow", "k"), "v");
    EXPECT_EQ(after.note("indexnow", "retry"), "later");
    EXPECT_EQ(window.note("indexnow", "retry"), "later");
}

// A child process records batches (and compacts now and then) until it is killed with
// SIGKILL at an arbitrary moment; every batch it finished must load, and nothing it never
// recorded may appear.
TEST(SitemapState, AKillDuringWritingLosesNoFinishedBatch) {
    TempDir dir;
    const auto url = [](int batch, int i) {
        return "http://g/" + std::to_string(batch) + "/" + std::to_string(i);
    };
    for (int delayMs : {5, 40, 120}) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            SitemapState state = SitemapState::load(dir.str(), "Crash");
            for (int batch = 0;; ++batch) {
                std::vector<std::string> urls;
                for (int i = 0; i < 2000; ++i)
                    urls.push_back(url(batch, i));
                state.recordAccepted("indexnow", std::vector<std::string_view>(urls.begin(), urls.end()),
                                     batch);
                if (batch % 5 == 4) state.compact();
                // Only now does the batch count as finished.
                (void)!::write(pipeFds[1], &batch, sizeof batch);
            }
        }
        ::close(pipeFds[1]);
        ::usleep(static_cast<useconds_t>(delayMs) * 1000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        int finished = -1, b = 0;
        while (::read(pipeFds[0], &b, sizeof b) == sizeof b)
            finished = b;
        ::close(pipeFds[0]);

        SitemapState state = SitemapState::load(dir.str(), "Crash");
        for (int batch = 0; batch <= finished; ++batch)
            for (int i : {0, 1999})
                ASSERT_TRUE(state.acceptedAt("indexnow", url(batch, i)))
                    << batch << " after " << delayMs << " ms";
        // The batch in flight may be there in part; the one after it cannot be.
        EXPECT_FALSE(state.acceptedAt("indexnow", url(finished + 2, 0)));
        EXPECT_LE(state.acceptedCount("indexnow"), static_cast<std::size_t>(finished + 2) * 2000);
        std::filesystem::remove(dir / "Crash.state");
        std::filesystem::remove(dir / "Crash.state.journal");
    }
}

} // namespace
