#include "core/store/StoreSchema.h"

#include "platform/Sqlite.h"

#include <array>
#include <string>

namespace {

// Each migration brings the schema from its index to the next version; a store is always at the
// version of the last one it ran. Page checks and index status add their tables as migrations
// 2 and 3, the reading of a site that failed is migration 4, the type Google read each sitemap
// as is migration 5, and the robots.txt kept with its validators is migration 6; a migration, once
// released, is never changed.
constexpr std::array<const char*, 6> Migrations = {
    R"sql(
CREATE TABLE sites(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  created INTEGER NOT NULL,
  -- The last read of the site's sitemaps; a URL still listed was last seen then.
  last_read INTEGER
);
CREATE TABLE urls(
  id INTEGER PRIMARY KEY,
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  url TEXT NOT NULL,
  first_seen INTEGER NOT NULL,
  lastmod INTEGER,
  -- 1 while the sitemaps list it; a URL known only as the profile URL or from an old state
  -- file has 0 and no left time.
  listed INTEGER NOT NULL DEFAULT 0,
  last_seen INTEGER,
  left_at INTEGER,
  UNIQUE(site, url)
);
CREATE TABLE channels(
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  channel TEXT NOT NULL,
  -- When the channel first met the site: the URLs then listed were recorded as known.
  met INTEGER NOT NULL,
  key_status TEXT,
  key_status_at INTEGER,
  PRIMARY KEY(site, channel)
);
-- Per channel and URL its last answer: accepted, or recorded as known without being sent.
CREATE TABLE announcements(
  url INTEGER NOT NULL REFERENCES urls(id) ON DELETE CASCADE,
  channel TEXT NOT NULL,
  at INTEGER NOT NULL,
  accepted INTEGER NOT NULL,
  answer TEXT NOT NULL,
  -- The URL's lastmod when it was sent or recorded: a lastmod in the future is sent once.
  lastmod INTEGER,
  PRIMARY KEY(url, channel)
) WITHOUT ROWID;
CREATE TABLE pauses(
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  channel TEXT NOT NULL,
  endpoint TEXT NOT NULL,
  until INTEGER NOT NULL,
  PRIMARY KEY(site, channel, endpoint)
);
-- Notes of old state files that are no pause, kept as they were.
CREATE TABLE notes(
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  channel TEXT NOT NULL,
  key TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(site, channel, key)
);
-- The process that runs a site's live channels now.
CREATE TABLE claims(
  site INTEGER PRIMARY KEY REFERENCES sites(id) ON DELETE CASCADE,
  pid INTEGER NOT NULL,
  since INTEGER NOT NULL
);
)sql",
    R"sql(
-- The latest check of each URL before announcement: what its answer said, and the verdict for
-- each crawler whose rules count (Googlebot for Google, bingbot for IndexNow).
CREATE TABLE page_checks(
  url INTEGER PRIMARY KEY REFERENCES urls(id) ON DELETE CASCADE,
  at INTEGER NOT NULL,
  -- The final answer's status; 0 when there was none, and error says why.
  status INTEGER NOT NULL,
  error TEXT NOT NULL DEFAULT '',
  -- Every hop as "STATUS URL", one a line.
  hops TEXT NOT NULL DEFAULT '',
  final_url TEXT NOT NULL DEFAULT '',
  location TEXT NOT NULL DEFAULT '',
  content_type TEXT NOT NULL DEFAULT '',
  robots_header TEXT NOT NULL DEFAULT '',
  -- Whom a noindex addresses: "all", "googlebot", "bingbot", joined by ","; empty for none.
  header_noindex TEXT NOT NULL DEFAULT '',
  meta_noindex TEXT NOT NULL DEFAULT '',
  canonical TEXT NOT NULL DEFAULT '',
  googlebot_allowed INTEGER NOT NULL,
  bingbot_allowed INTEGER NOT NULL,
  milliseconds INTEGER NOT NULL,
  bytes INTEGER NOT NULL,
  -- ok, redirect, not-found, gone, error, noindex, canonical-elsewhere or blocked.
  google_verdict TEXT NOT NULL,
  google_detail TEXT NOT NULL DEFAULT '',
  bing_verdict TEXT NOT NULL,
  bing_detail TEXT NOT NULL DEFAULT ''
);
)sql",
    R"sql(
-- The latest URL Inspection of each URL: when, in which Search Console property, and every
-- field of Google's answer as the text Google sent (empty when the answer left it out).
CREATE TABLE inspections(
  url INTEGER PRIMARY KEY REFERENCES urls(id) ON DELETE CASCADE,
  at INTEGER NOT NULL,
  property TEXT NOT NULL,
  verdict TEXT NOT NULL DEFAULT '',
  coverage_state TEXT NOT NULL DEFAULT '',
  indexing_state TEXT NOT NULL DEFAULT '',
  robots_txt_state TEXT NOT NULL DEFAULT '',
  page_fetch_state TEXT NOT NULL DEFAULT '',
  last_crawl_time TEXT NOT NULL DEFAULT '',
  google_canonical TEXT NOT NULL DEFAULT '',
  user_canonical TEXT NOT NULL DEFAULT '',
  crawled_as TEXT NOT NULL DEFAULT '',
  result_link TEXT NOT NULL DEFAULT ''
);
-- Inspections sent per property and Google's quota day (the Pacific calendar day, as days
-- since 1970): the quota of 2,000 a day holds across runs and processes.
CREATE TABLE inspection_counts(
  property TEXT NOT NULL,
  day INTEGER NOT NULL,
  used INTEGER NOT NULL,
  PRIMARY KEY(property, day)
) WITHOUT ROWID;
-- Each sitemap of a site as Search Console last listed it. contents holds one line per kind
-- of URL: "TYPE SUBMITTED INDEXED".
CREATE TABLE sitemap_status(
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  path TEXT NOT NULL,
  property TEXT NOT NULL,
  at INTEGER NOT NULL,
  last_submitted TEXT NOT NULL DEFAULT '',
  last_downloaded TEXT NOT NULL DEFAULT '',
  is_pending INTEGER NOT NULL,
  is_sitemaps_index INTEGER NOT NULL,
  errors INTEGER NOT NULL,
  warnings INTEGER NOT NULL,
  contents TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(site, path)
);
)sql",
    R"sql(
-- Why a run last could not read the site (robots.txt or every sitemap failed), and when;
-- cleared by the next run that reads it.
ALTER TABLE sites ADD COLUMN unreadable TEXT NOT NULL DEFAULT '';
ALTER TABLE sites ADD COLUMN unreadable_at INTEGER;
)sql",
    R"sql(
-- How Search Console read each sitemap: sitemap, rssFeed, urlList, notSitemap, ...; '' when it
-- did not say.
ALTER TABLE sitemap_status ADD COLUMN type TEXT NOT NULL DEFAULT '';
)sql",
    R"sql(
-- A file of a site (robots.txt) as the last run that got it whole read it, with the validators
-- its answer gave (ETag, Last-Modified), so that the next run asks for it only if it changed and
-- reuses these bytes on a 304.
CREATE TABLE site_files(
  site INTEGER NOT NULL REFERENCES sites(id) ON DELETE CASCADE,
  url TEXT NOT NULL,
  etag TEXT NOT NULL DEFAULT '',
  last_modified TEXT NOT NULL DEFAULT '',
  body BLOB NOT NULL,
  at INTEGER NOT NULL,
  PRIMARY KEY(site, url)
);
)sql"};

} // namespace

int storeSchemaVersion() {
    return static_cast<int>(Migrations.size());
}

void migrateStore(SqliteDatabase& db) {
    const auto version = static_cast<std::size_t>(db.queryInt64("PRAGMA user_version"));
    for (std::size_t v = version; v < Migrations.size(); ++v) {
        SqliteTransaction transaction(db, SqliteTransaction::Kind::Immediate);
        // Another process may have migrated it meanwhile.
        if (static_cast<std::size_t>(db.queryInt64("PRAGMA user_version")) > v) continue;
        db.exec(Migrations[v]);
        db.exec("PRAGMA user_version=" + std::to_string(v + 1));
        transaction.commit();
    }
}
