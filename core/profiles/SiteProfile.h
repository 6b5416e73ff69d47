#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TextMeasure;

// One field of a site profile: its key in the profile file, its editor control and label.
struct ProfileField {
    const char* key;
    const char* control;
    const char* label;
};

constexpr std::size_t ProfileFieldCount = 16;
// The sixteen fields in the order in which they are written and read.
extern const std::array<ProfileField, ProfileFieldCount> ProfileFields;
enum ProfileFieldIndex : std::size_t {
    fName,
    fEMail,
    fURL,
    fSiteTitle,
    fCategory,
    fSiteDescription,
    fKeywords,
    fLanguage,
    fCompany,
    fAddress,
    fCity,
    fState,
    fZip,
    fCountry,
    fPhone,
    fFax
};

// A site profile's sixteen texts, in field order.
using SiteProfile = std::array<std::string, ProfileFieldCount>;

// Keys beside the sixteen fields, which the live channels use. The submission of the sixteen
// fields never reads them.
// The URL of the site's sitemap, sitemap index or robots.txt; empty: the site's /robots.txt.
constexpr const char* SitemapKey = "Sitemap";
// Values of keys beside the sixteen fields, by key.
using ProfileExtras = std::vector<std::pair<std::string, std::string>>;

// A profile as its file holds it, read once: the sixteen fields and the other keys of its section.
struct LoadedProfile {
    SiteProfile fields;
    // The keys beside the sixteen fields, in file order, each once.
    ProfileExtras extras;
    // The value of a key beside the sixteen fields (its name in any case); empty when missing.
    std::string extra(std::string_view key) const;
};

// The directory that holds the profile files, one file per site named after its title.
// Why a profile without a site title is not saved.
constexpr const char* NoSiteTitle = "Type a Site Title first: a profile is saved under its title";

class ProfileFiles {
public:
    explicit ProfileFiles(std::string directory);

    // The directory to use: the given one, else $LARKSPAN_HOME, else $XDG_DATA_HOME/larkspan
    // (by default ~/.local/share/larkspan), which is created when it does not exist yet.
    // Throws LarkspanError with a readable message when the directory cannot be used.
    static std::string resolveDirectory(const std::optional<std::string>& requested);

    const std::string& directory() const { return directory_; }
    // The profile file of a name: the directory, the name exactly as given, ".ini".
    std::string fileName(std::string_view name) const;

    // The names of the entries matching "*.ini", in the order the file system returns them.
    // Throws LarkspanError when the directory cannot be read.
    std::vector<std::string> list() const;
    // A missing or unreadable file, or a missing key, gives empty texts.
    SiteProfile load(std::string_view name) const;
    // The profile with every key of its section, from one reading of its file; empty for a
    // missing or unreadable file.
    LoadedProfile loadWhole(std::string_view name) const;
    // The value of a key beside the sixteen fields; empty like a field when it is missing.
    std::string loadExtra(std::string_view name, std::string_view key) const;
    // Writes the profile to the file named by its site title, keeping the file's other lines.
    // A key beside the sixteen fields is written only when its value is not empty or the file
    // has the key already, so a profile that never used one stays byte for byte as it was.
    // Throws LarkspanError "Unable to write to " + file name; then nothing is written.
    void save(const SiteProfile& profile, const ProfileExtras& extras = {}) const;
    // Deletes the profile's file; a file that is missing or cannot be deleted is ignored.
    void remove(std::string_view name) const;

private:
    std::string directory_;
};
