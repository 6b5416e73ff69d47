#include "core/store/StoreUrl.h"

#include "http/Url.h"

std::string storeUrlKey(std::string_view url) {
    // The store keys a URL by the one normal form that all live code compares URLs in.
    if (Url::isNormal(url)) return std::string(url);
    if (const std::optional<Url> parsed = Url::parse(url)) return parsed->text();
    return std::string(url);
}
