#include "core/store/StoreFiles.h"

#include "core/store/StoreDatabase.h"

std::optional<StoredFile> storedFile(const SiteStore& store, const StoreSite& site, std::string_view url) {
    try {
        SqliteStatement find = StoreDatabase::of(store).prepare(
            "SELECT etag, last_modified, body FROM site_files WHERE site=?1 AND url=?2");
        find.bind(1, site.id).bind(2, url);
        if (!find.step()) return std::nullopt;
        return StoredFile{std::string(find.text(0)), std::string(find.text(1)), std::string(find.text(2))};
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}

void keepStoredFile(SiteStore& store, const StoreSite& site, std::string_view url,
                    const std::optional<StoredFile>& file, std::int64_t time) {
    try {
        SqliteDatabase& db = StoreDatabase::of(store);
        if (!file) {
            db.prepare("DELETE FROM site_files WHERE site=?1 AND url=?2").bind(1, site.id).bind(2, url).run();
            return;
        }
        db.prepare("INSERT OR REPLACE INTO site_files(site, url, etag, last_modified, body, at) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6)")
            .bind(1, site.id)
            .bind(2, url)
            .bind(3, file->etag)
            .bind(4, file->lastModified)
            .bind(5, file->body)
            .bind(6, time)
            .run();
    } catch (const SqliteError& e) {
        rethrowStoreError(e);
    }
}
