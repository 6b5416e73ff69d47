#pragma once

#include "core/checks/PageCheck.h"
#include "core/store/SiteStore.h"
#include "core/store/StoreChecks.h"
#include "core/store/StorePages.h"
#include "core/store/StoreStatus.h"
#include "platform/Time.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One site of the store of a directory, in the state a test or a benchmark needs, made through
// the store's own functions: the pages its sitemaps list, their checks, the channels'
// acceptances and Google's inspections. The store stays open while the fixture lives.
class StoreFixture {
public:
    StoreFixture(const std::string& directory, const std::string& name)
        : store_(SiteStore::open(directory)), site_(store_.site(name)) {}

    SiteStore& store() { return store_; }
    const StoreSite& site() const { return site_; }

    // Pages the site's sitemaps list, met in this order, first seen at time 0.
    StoreFixture& listed(const std::vector<std::string>& urls) {
        addListedUrls(store_, site_, urls, 0);
        return *this;
    }
    // The channel accepted the pages at that time with that answer.
    StoreFixture& accepted(std::string_view channel, const std::vector<std::string>& urls, std::int64_t at,
                           std::string_view answer) {
        store_.recordAccepted(site_, channel, {urls.begin(), urls.end()}, at, answer);
        return *this;
    }
    StoreFixture& checked(const std::vector<PageCheck>& checks) {
        recordPageChecks(store_, site_, checks);
        return *this;
    }
    StoreFixture& inspected(const std::string& url, std::string_view property, std::int64_t at,
                            const InspectionResult& result) {
        recordInspection(store_, site_, url, property, at, result);
        return *this;
    }
    // Inspections of the property counted on a quota day, as another process leaves them.
    StoreFixture& inspectionsCounted(const std::string& property, std::int64_t day, int used) {
        StoreQuotaCounts(store_, site_).setUsed(property, day, used);
        return *this;
    }

    // A check of the page at that time whose answer had this status (301 is a redirect for both
    // crawlers, 404 not found), and a robots meta tag with the noindex given.
    static PageCheck pageCheck(const std::string& url, int status, std::int64_t at, Noindex meta = {}) {
        PageCheck check;
        check.url = url;
        check.time = formatUtc(at);
        check.status = status;
        check.hops = {{url, status}};
        check.finalUrl = url;
        check.meta = meta;
        return check;
    }

private:
    SiteStore store_;
    StoreSite site_;
};
