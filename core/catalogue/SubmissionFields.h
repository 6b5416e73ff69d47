#pragma once

#include "core/profiles/SiteProfile.h"

#include <string>
#include <string_view>
#include <vector>

// The prepared values of the profile being submitted, and the engine it is going to.
// Every field but EncodedURL goes into a request exactly as it stands here.
struct SubmissionFields {
    std::string Name;
    std::string FirstName;
    std::string LastName;
    std::string EMail;
    std::string URL;
    std::string EncodedURL;
    std::string SiteTitle;
    std::string Category;
    std::string SiteDescription;
    std::string Keywords;
    std::string Language;
    std::string Company;
    std::string Address;
    std::string City;
    std::string State;
    std::string Zip;
    std::string Country;
    std::string CountryCode;
    std::string Phone;
    std::string Fax;
    std::string CurrentEngine;
};

// Splits the name at its first space into FirstName and LastName (the rest, further
// spaces included). A name without a space sets neither.
void ParseName(SubmissionFields& fields, std::string_view name);
// Sets Zip to the zip without "-" and " ", cut to five characters when exactly nine remain.
void ParseZip(SubmissionFields& fields, std::string_view zip);
// The phone number without "-", "(", ")" and " "; nothing else is removed.
std::string ParsePhone(std::string_view phone);
// Sets CountryCode to the code of the table row (or editor list item) named exactly so.
// A name that matches nothing sets nothing.
void CountryToCC(SubmissionFields& fields, std::string_view country);
// Sets EncodedURL to the URL with ":" and "/" percent-encoded and, for every engine but
// "Infoseek" exactly, also ".", "-", "_" and "~". Nothing else is encoded.
void URLtoSubmitName(SubmissionFields& fields, std::string_view url);

// What reading a profile into the fields hands back to the editor: the cleaned phone and
// fax that the editor shows after a run has read the profile.
struct PreparedProfile {
    bool complete = false;
    std::string editorPhone;
    std::string editorFax;
};

// Reads a loaded profile into the fields as a run does: each profile starts from an empty
// record, the name is split, the zip and phone cleaned, and the fax kept as typed while
// its cleaned form goes to the editor. When Name, EMail, URL, Category, Language and
// Country are all filled in, the country code is looked up as well; otherwise the result
// says the profile is incomplete and must not be submitted.
PreparedProfile PrepareProfile(SubmissionFields& fields, const SiteProfile& profile);

// True when every field that a submission needs is non-empty.
bool IsComplete(const SubmissionFields& fields);

// The keys of the fields that a submission needs and the profile leaves empty, in field order
// ("Name", "EMail", "URL", "Category", "Language", "Country"); none for a complete profile.
std::vector<std::string_view> MissingFields(const SiteProfile& profile);

// The message for a profile that is not complete.
inline constexpr std::string_view IncompleteProfileMessage = "Please complete all fields!";
