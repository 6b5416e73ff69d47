#include "core/profiles/SiteProfile.h"

#include "platform/Directories.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

const std::array<ProfileField, ProfileFieldCount> ProfileFields{{
    {"Name", "NameEdit", "Your Name"},
    {"EMail", "EMailEdit", "EMail"},
    {"URL", "URLEdit", "URL"},
    {"Site Title", "SiteTitleEdit", "Site Title"},
    {"Category", "CategoryComboBox", "Category"},
    {"Site Description", "SiteDescriptionMemo", "Description"},
    {"Keywords", "KeywordEdit", "Keywords"},
    {"Language", "LanguageComboBox", "Language"},
    {"Company", "CompanyEdit", "Company Name"},
    {"Address", "AddressEdit", "Address"},
    {"City", "CityEdit", "City"},
    {"State", "StateEdit", "State"},
    {"Zip", "ZipEdit", "Zip"},
    {"Country", "CountryComboBox", "Country"},
    {"Phone", "PhoneEdit", "Phone"},
    {"Fax", "FaxEdit", "Fax"},
}};

namespace {

constexpr const char* Section = "Settings";

bool hasKey(const IniFile& ini, std::string_view section, std::string_view key) {
    const std::vector<std::string> sections = ini.sections();
    for (const IniFile::KeyLine& line : ini.keyLines())
        if (line.sectionIndex != std::string::npos &&
            equalsIgnoringCase(sections[line.sectionIndex], section) && equalsIgnoringCase(line.key, key))
            return true;
    return false;
}

} // namespace

ProfileFiles::ProfileFiles(std::string directory) : directory_(std::move(directory)) {
    while (directory_.size() > 1 && directory_.back() == '/')
        directory_.pop_back();
}

std::string ProfileFiles::resolveDirectory(const std::optional<std::string>& requested) {
    std::string dir = requested ? *requested : environment("LARKSPAN_HOME");
    if (!dir.empty()) {
        if (!isDirectory(dir))
            throw LarkspanError("The profile directory " + dir + " cannot be used: " +
                                (pathExists(dir) ? "it is not a directory" : std::strerror(ENOENT)));
        // In full, so that messages name files in full and the store does not depend on where
        // the program runs later.
        return absolutePath(dir);
    }
    const std::optional<std::string> data = userDirectory(BaseDirectory::Data, "larkspan");
    if (!data)
        throw LarkspanError("The profile directory cannot be found: neither XDG_DATA_HOME nor HOME is set");
    // The profiles hold names, addresses and phone numbers: a directory made here is its
    // owner's alone.
    if (!makePrivateDirectories(*data))
        throw LarkspanError("The profile directory " + *data + " cannot be created: " + std::strerror(errno));
    return *data;
}

std::string ProfileFiles::fileName(std::string_view name) const {
    if (directory_.empty()) return std::string(name) + ".ini";
    return directory_ + (directory_.back() == '/' ? "" : "/") + std::string(name) + ".ini";
}

std::vector<std::string> ProfileFiles::list() const {
    std::optional<std::vector<std::string>> listed = namesEndingWith(directory_, ".ini");
    if (!listed)
        throw LarkspanError("The profile directory " + directory_ +
                            " cannot be read: " + std::strerror(errno));
    std::vector<std::string> names = std::move(*listed);
    return names;
}

SiteProfile ProfileFiles::load(std::string_view name) const {
    // Without a directory there is no profile to read, not one in the working directory.
    IniFile ini = directory_.empty() ? IniFile() : IniFile::load(fileName(name));
    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = ini.read(Section, ProfileFields[i].key, "");
    return profile;
}

std::string LoadedProfile::extra(std::string_view key) const {
    for (const auto& [name, value] : extras)
        if (equalsIgnoringCase(name, key)) return value;
    return {};
}

LoadedProfile ProfileFiles::loadWhole(std::string_view name) const {
    LoadedProfile loaded;
    if (directory_.empty()) return loaded;
    const IniFile ini = IniFile::load(fileName(name));
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        loaded.fields[i] = ini.read(Section, ProfileFields[i].key, "");
    // Reads see the first section of a name only, and the first of a repeated key.
    const std::vector<std::string> sections = ini.sections();
    const auto first = std::find_if(sections.begin(), sections.end(),
                                    [](const std::string& s) { return equalsIgnoringCase(s, Section); });
    const auto settings = static_cast<std::size_t>(first - sections.begin());
    for (const IniFile::KeyLine& line : ini.keyLines()) {
        if (line.sectionIndex != settings) continue;
        const auto isField = [&](const ProfileField& f) { return equalsIgnoringCase(f.key, line.key); };
        const auto isKept = [&](const auto& kept) { return equalsIgnoringCase(kept.first, line.key); };
        if (std::any_of(ProfileFields.begin(), ProfileFields.end(), isField) ||
            std::any_of(loaded.extras.begin(), loaded.extras.end(), isKept))
            continue;
        loaded.extras.emplace_back(line.key, ini.read(Section, line.key, ""));
    }
    return loaded;
}

std::string ProfileFiles::loadExtra(std::string_view name, std::string_view key) const {
    if (directory_.empty()) return {};
    return IniFile::load(fileName(name)).read(Section, key, "");
}

void ProfileFiles::save(const SiteProfile& profile, const ProfileExtras& extras) const {
    const std::string& title = profile[fSiteTitle];
    // The title names the file: without one the profile would be the hidden ".ini", listed
    // as a blank row that nothing tells apart.
    if (title.empty()) throw LarkspanError(NoSiteTitle);
    std::string file = fileName(title);
    // A title is a file name inside the directory: it may not lead elsewhere, and without a
    // directory there is nowhere to write.
    if (directory_.empty() || title.find('/') != std::string::npos || title.find('\0') != std::string::npos)
        throw LarkspanError("Unable to write to " + file);
    IniFile ini = IniFile::load(file);
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        ini.write(Section, ProfileFields[i].key, profile[i]);
    for (const auto& [key, value] : extras)
        if (!value.empty() || hasKey(ini, Section, key)) ini.write(Section, key, value);
    ini.save(file, IniFile::NewFile::OwnerOnly);
}

void ProfileFiles::remove(std::string_view name) const {
    if (directory_.empty()) return;
    removeFile(fileName(name));
}
