#include "core/catalogue/SubmissionFields.h"

#include "core/catalogue/Countries.h"
#include "platform/Text.h"

#include <utility>
#include <vector>

namespace {

std::string removeAll(std::string_view text, std::string_view what) {
    return replaceAll(text, what, "");
}

} // namespace

void ParseName(SubmissionFields& fields, std::string_view name) {
    auto space = name.find(' ');
    if (space == std::string_view::npos) return;
    fields.FirstName = std::string(name.substr(0, space));
    fields.LastName = std::string(name.substr(space + 1));
}

void ParseZip(SubmissionFields& fields, std::string_view zip) {
    std::string cleaned = removeAll(removeAll(zip, "-"), " ");
    // A nine-digit ZIP+4 code is sent as its five-digit part; other postcodes stay whole.
    if (cleaned.size() == 9) cleaned.resize(5);
    fields.Zip = std::move(cleaned);
}

std::string ParsePhone(std::string_view phone) {
    std::string cleaned(phone);
    for (std::string_view what : {"-", "(", ")", " "})
        cleaned = removeAll(cleaned, what);
    return cleaned;
}

void CountryToCC(SubmissionFields& fields, std::string_view country) {
    if (auto code = countryCode(country)) fields.CountryCode = std::string(*code);
}

void URLtoSubmitName(SubmissionFields& fields, std::string_view url) {
    // The order matters: "%" signs put in by one step must not be touched by a later one,
    // and no step encodes "%".
    std::string encoded = replaceAll(url, ":", "%3A");
    encoded = replaceAll(encoded, "/", "%2F");
    if (fields.CurrentEngine != "Infoseek") {
        encoded = replaceAll(encoded, ".", "%2E");
        encoded = replaceAll(encoded, "-", "%2D");
        encoded = replaceAll(encoded, "_", "%5F");
        encoded = replaceAll(encoded, "~", "%7E");
    }
    fields.EncodedURL = std::move(encoded);
}

std::vector<std::string_view> MissingFields(const SiteProfile& profile) {
    // The fields that IsComplete asks for, as PrepareProfile copies them from the profile.
    constexpr ProfileFieldIndex needed[] = {fName, fEMail, fURL, fCategory, fLanguage, fCountry};
    std::vector<std::string_view> missing;
    for (const ProfileFieldIndex field : needed)
        if (profile[field].empty()) missing.emplace_back(ProfileFields[field].key);
    return missing;
}

bool IsComplete(const SubmissionFields& fields) {
    return !fields.Name.empty() && !fields.EMail.empty() && !fields.URL.empty() && !fields.Category.empty() &&
           !fields.Language.empty() && !fields.Country.empty();
}

PreparedProfile PrepareProfile(SubmissionFields& fields, const SiteProfile& profile) {
    // A fresh record per profile: a name without a space or an unknown country would
    // otherwise send the previous profile's first name, last name or country code.
    fields = SubmissionFields{};
    PreparedProfile result;
    fields.Name = profile[fName];
    ParseName(fields, fields.Name);
    fields.EMail = profile[fEMail];
    fields.URL = profile[fURL];
    fields.SiteTitle = profile[fSiteTitle];
    fields.Category = profile[fCategory];
    fields.SiteDescription = profile[fSiteDescription];
    fields.Keywords = profile[fKeywords];
    fields.Language = profile[fLanguage];
    fields.Company = profile[fCompany];
    fields.Address = profile[fAddress];
    fields.City = profile[fCity];
    fields.State = profile[fState];
    ParseZip(fields, profile[fZip]);
    fields.Country = profile[fCountry];
    fields.Phone = ParsePhone(profile[fPhone]);
    result.editorPhone = fields.Phone;
    fields.Fax = profile[fFax];
    result.editorFax = ParsePhone(fields.Fax);
    result.complete = IsComplete(fields);
    if (result.complete) CountryToCC(fields, fields.Country);
    return result;
}
