#pragma once

#include "core/store/SiteStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A file of a site (robots.txt) as the last run that got it whole kept it: the validators its
// answer gave and the bytes that were read, so that the next run asks for it only if it changed
// (If-None-Match, If-Modified-Since) and reuses the bytes on a 304.
struct StoredFile {
    std::string etag;
    std::string lastModified;
    std::string body;
};

// The kept copy of the file at the URL; nothing when none was kept.
std::optional<StoredFile> storedFile(const SiteStore& store, const StoreSite& site, std::string_view url);
// Keeps the copy of the file at the URL, or forgets it (nothing: the file has no validators, or
// is gone).
void keepStoredFile(SiteStore& store, const StoreSite& site, std::string_view url,
                    const std::optional<StoredFile>& file, std::int64_t time);
