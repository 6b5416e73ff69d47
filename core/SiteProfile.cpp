#include "core/SiteProfile.h"

#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "platform/IniFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the directory and its missing parents.
bool makeDirectories(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) break;
    }
    return isDirectory(path);
}

} // namespace

ProfileStore::ProfileStore(std::string directory) : directory_(std::move(directory)) {
    while (directory_.size() > 1 && directory_.back() == '/')
        directory_.pop_back();
}

std::string ProfileStore::resolveDirectory(const std::optional<std::string>& requested) {
    std::string dir = requested ? *requested : env("LARKSPAN_HOME");
    if (!dir.empty()) {
        if (!isDirectory(dir))
            throw LarkspanError(
                "The profile directory " + dir + " cannot be used: " +
                (::access(dir.c_str(), F_OK) == 0 ? "it is not a directory" : std::strerror(ENOENT)));
        // Messages name profile files by their full name, also when the directory was given
        // relative to the working directory.
        return std::filesystem::absolute(dir).lexically_normal().string();
    }
    std::string data = env("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        std::string home = env("HOME");
        if (home.empty())
            throw LarkspanError(
                "The profile directory cannot be found: neither XDG_DATA_HOME nor HOME is set");
        data = home + "/.local/share";
    }
    dir = data + "/larkspan";
    if (!makeDirectories(dir))
        throw LarkspanError("The profile directory " + dir + " cannot be created: " + std::strerror(errno));
    return dir;
}

std::string ProfileStore::fileName(std::string_view name) const {
    return directory_ + "/" + std::string(name) + ".ini";
}

std::vector<std::string> ProfileStore::list() const {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory_.c_str()), ::closedir);
    if (!dir)
        throw LarkspanError("The profile directory " + directory_ +
                            " cannot be read: " + std::strerror(errno));
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name.size() >= 4 && name.substr(name.size() - 4) == ".ini")
            names.emplace_back(name.substr(0, name.size() - 4));
    }
    return names;
}

SiteProfile ProfileStore::load(std::string_view name) const {
    IniFile ini = IniFile::load(fileName(name));
    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = ini.read(Section, ProfileFields[i].key, "");
    return profile;
}

void ProfileStore::save(const SiteProfile& profile) const {
    const std::string& title = profile[fSiteTitle];
    std::string file = fileName(title);
    // A title is a file name inside the directory: it may not lead elsewhere.
    if (title.find('/') != std::string::npos || title.find('\0') != std::string::npos)
        throw LarkspanError("Unable to write to " + file);
    IniFile ini = IniFile::load(file);
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        ini.write(Section, ProfileFields[i].key, profile[i]);
    ini.save(file);
}

void ProfileStore::remove(std::string_view name) const {
    std::string file = fileName(name);
    ::unlink(file.c_str());
}

void fillSubmissionList(TReportGrid& list, const std::vector<std::string>& names) {
    list.BeginUpdate();
    list.SetRowCount(list.FixedRows());
    list.SetRowCount(list.FixedRows() + static_cast<int>(names.size()));
    list.SetCellText(0, 0, "Title");
    int row = list.FixedRows();
    for (const auto& name : names)
        list.SetCellText(0, row++, name);
    if (names.size() >= 2) {
        list.FitColumns(true, 1);
        list.SortDirection = TSortDirection::sdAscending;
        list.SortColumn = 0;
        list.SortRows();
    }
    list.EndUpdate();
    list.Refresh();
}
