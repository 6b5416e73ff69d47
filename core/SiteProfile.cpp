#include "core/SiteProfile.h"

#include "grid/CellCompare.h"
#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
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

// Creates the directory and its missing parents. The profiles hold names, addresses and
// phone numbers, so what is created here is open to its owner alone.
bool makeDirectories(const std::string& path) {
    for (std::size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (at == std::string::npos) break;
    }
    return isDirectory(path);
}

// The directory's full name: a relative one is taken from the working directory, so that
// messages name files in full and the store does not depend on where the program runs later.
// Only "." parts are dropped; ".." stays, since it may follow a symbolic link.
std::string fullName(const std::string& dir) {
    std::string out;
    if (dir.front() != '/') {
        std::unique_ptr<char, void (*)(void*)> cwd(::getcwd(nullptr, 0), std::free);
        if (!cwd) return dir;
        out = cwd.get();
    }
    std::size_t at = 0;
    while (at <= dir.size()) {
        std::size_t end = dir.find('/', at);
        if (end == std::string::npos) end = dir.size();
        std::string_view part(dir.data() + at, end - at);
        if (!part.empty() && part != ".") {
            if (out.empty() || out.back() != '/') out += '/';
            out += part;
        }
        at = end + 1;
    }
    return out.empty() ? "/" : out;
}

bool hasKey(const IniFile& ini, std::string_view section, std::string_view key) {
    const std::vector<std::string> sections = ini.sections();
    for (const IniFile::KeyLine& line : ini.keyLines())
        if (line.sectionIndex != std::string::npos &&
            equalsIgnoringCase(sections[line.sectionIndex], section) && equalsIgnoringCase(line.key, key))
            return true;
    return false;
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
        return fullName(dir);
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
    if (directory_.empty()) return std::string(name) + ".ini";
    return directory_ + (directory_.back() == '/' ? "" : "/") + std::string(name) + ".ini";
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
    // Without a directory there is no profile to read, not one in the working directory.
    IniFile ini = directory_.empty() ? IniFile() : IniFile::load(fileName(name));
    SiteProfile profile;
    for (std::size_t i = 0; i < ProfileFieldCount; ++i)
        profile[i] = ini.read(Section, ProfileFields[i].key, "");
    return profile;
}

std::string ProfileStore::loadExtra(std::string_view name, std::string_view key) const {
    if (directory_.empty()) return {};
    return IniFile::load(fileName(name)).read(Section, key, "");
}

void ProfileStore::save(const SiteProfile& profile, const ProfileExtras& extras) const {
    const std::string& title = profile[fSiteTitle];
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

void ProfileStore::remove(std::string_view name) const {
    if (directory_.empty()) return;
    std::string file = fileName(name);
    ::unlink(file.c_str());
}

void fillSubmissionList(TReportGrid& list, const std::vector<std::string>& names) {
    list.BeginUpdate();
    list.SetRowCount(list.FixedRows());
    // The header is written with the first name, so a listing of none leaves it as it was.
    if (!names.empty()) list.SetCellText(0, 0, "Title");
    auto sortList = [&list] {
        list.FitColumns(true, 1);
        list.SortDirection = TSortDirection::sdAscending;
        list.SortColumn = 0;
        list.SortRows();
    };
    // The listing sorts after each name from the second on. Names of plain text are all
    // different and compare as a total order, so one sort at the end leaves the same list.
    // Names that read as numbers or dates can compare equal though they differ ("1", "01"),
    // and where those end depends on every sort in turn, so then each one is made.
    const bool plainText =
        !list.SortAutoFormat || std::all_of(names.begin(), names.end(), [](const std::string& n) {
            return classifyCell(n) == CellClass::Text;
        });
    if (plainText) {
        list.SetRowCount(list.FixedRows() + static_cast<int>(names.size()));
        int row = list.FixedRows();
        for (const auto& name : names)
            list.SetCellText(0, row++, name);
        if (names.size() >= 2) sortList();
    } else {
        for (std::size_t i = 0; i < names.size(); ++i) {
            list.SetRowCount(list.RowCount() + 1);
            list.SetCellText(0, list.RowCount() - 1, names[i]);
            if (i >= 1) sortList();
        }
    }
    list.EndUpdate();
    list.Refresh();
}
