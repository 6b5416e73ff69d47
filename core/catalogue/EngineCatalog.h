#pragma once

#include "core/Config.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct SubmissionFields;

// The fields of SubmissionFields that a request template inserts.
enum class FieldName {
    Name,
    FirstName,
    LastName,
    EMail,
    URL,
    EncodedURL,
    SiteTitle,
    Category,
    SiteDescription,
    Keywords,
    Language,
    Company,
    Address,
    City,
    State,
    Zip,
    Country,
    CountryCode,
    Phone,
    Fax
};

// One piece of a request template: a fixed literal, or a field's value, optionally cut to
// at most maxBytes bytes (never inside a UTF-8 character).
struct Piece {
    bool isField = false;
    std::string literal;
    FieldName field = FieldName::Name;
    std::size_t maxBytes = std::string::npos;
};

// One submission of the catalogue.
struct EngineEntry {
    std::string DisplayName;
    std::string Method; // "get" or "post"
    std::string SubmitHost;
    std::string Path;
    std::vector<Piece> Fields;
    int ExpectedSize = 9000;
    // Which configured host the entry uses; entries of the shared service share one.
    HostSlot Host = HostSlot::Shared;
    // The engine named in a shared-service request ("Alexa", "MSNcom", ...); empty for an
    // entry with an endpoint of its own.
    std::string SharedKey;
};

constexpr std::size_t CatalogSize = 32;
// The response size assumed when neither the response nor the catalogue says otherwise.
constexpr int DefaultExpectedSize = 9000;

// The 32 entries in sending order, with the hosts and the two display names of the
// configuration.
std::vector<EngineEntry> engineCatalog(const Config& config = Config{});

// The ExpectedSize of the entry whose display name is exactly the given name, else 9000.
// "Lycos (method 2)" does not take the size of "Lycos".
int expectedSizeOf(const std::vector<EngineEntry>& catalog, std::string_view displayName);
// Whether a display name names one entry alone. Display names must stay unique, whatever
// their case: the progress display and the [Hosts] keys find an entry by its name, and
// "Shared" is the key of the shared submission service.
bool isUniqueDisplayName(const std::vector<EngineEntry>& catalog, std::string_view name);

// A built request: for "get" the URL, for "post" the target and the body.
struct EngineRequest {
    std::string method;
    std::string url;
    std::string body;
};

// Builds the entry's request from the fields as they stand; EncodedURL must already have
// been computed for this entry.
EngineRequest BuildRequest(const EngineEntry& entry, const SubmissionFields& fields);

// What a run does for each entry: makes it the current engine, encodes the URL for it and
// builds its request.
EngineRequest PrepareRequest(SubmissionFields& fields, const EngineEntry& entry);

// The catalogue's part of the configuration: no display name of [Names] may be one that
// another entry of the catalogue has already.
ConfigPart catalogueConfigPart();
