// libFuzzer target: the INI reader and writer.
//
// The input is a file, a zero byte, then a choice of section and key and the value to write.
// Whatever the file holds, it must come back byte for byte when nothing is written, and
// writing one value must read back exactly while every other key keeps its value and no
// section or key appears besides the one written.

#include "platform/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The fallback of reads, which tells an absent key from a present one.
const std::string Absent = "\x01"
                           "absent";

bool sameName(std::string_view a, std::string_view b) {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// A name from the file when the selector points at one, else a short name of the input.
std::string pick(const std::vector<std::string>& names, std::uint8_t selector, std::string_view& rest) {
    if (selector < 128 && !names.empty()) return names[selector % names.size()];
    const std::size_t length = std::min<std::size_t>(rest.size(), selector % 8);
    std::string name(rest.substr(0, length));
    rest.remove_prefix(length);
    return name;
}

// Every key of the file with its value, in file order, as the reader sees them.
std::vector<std::string> allValues(const IniFile& ini) {
    std::vector<std::string> values;
    const std::vector<std::string> sections = ini.sections();
    for (const IniFile::KeyLine& line : ini.keyLines())
        if (line.sectionIndex != std::string::npos)
            values.push_back(ini.read(sections[line.sectionIndex], line.key, Absent));
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view content = input.substr(0, split);
    IniFile ini = IniFile::parse(content);
    if (ini.text() != content) std::abort();
    if (split == std::string_view::npos || input.size() < split + 3) return 0;

    std::string_view rest = input.substr(split + 3);
    const std::vector<std::string> sections = ini.sections();
    std::vector<std::string> keys;
    for (const IniFile::KeyLine& line : ini.keyLines())
        keys.push_back(line.key);
    const std::string section = pick(sections, static_cast<std::uint8_t>(input[split + 1]), rest);
    const std::string key = pick(keys, static_cast<std::uint8_t>(input[split + 2]), rest);
    // Values up to the length that reading returns whole.
    const std::string value(rest.substr(0, IniFile::MaxValueLength));

    bool sectionExisted = false;
    for (const std::string& s : sections)
        sectionExisted = sectionExisted || sameName(s, section);
    // Present when one of two different fallbacks does not come back.
    const bool keyExisted = ini.read(section, key, Absent) != Absent || ini.read(section, key, "") != "";
    const std::vector<IniFile::KeyLine> keysBefore = ini.keyLines();
    const std::vector<std::string> valuesBefore = allValues(ini);
    try {
        ini.write(section, key, value);
    } catch (const std::invalid_argument&) {
        // A name that no line can hold is refused, and the file is left as it was.
        if (ini.text() != content) std::abort();
        return 0;
    }

    const IniFile again = IniFile::parse(ini.text());
    if (again.read(section, key, Absent) != value) std::abort();
    const std::vector<std::string> sectionsAfter = again.sections();
    std::vector<std::string> expectedSections = sections;
    if (!sectionExisted) expectedSections.push_back(section);
    if (sectionsAfter != expectedSections) std::abort();
    const std::vector<IniFile::KeyLine> keysAfter = again.keyLines();
    if (keysAfter.size() != keysBefore.size() + (keyExisted ? 0 : 1)) std::abort();
    // Every other key reads as before.
    for (std::size_t i = 0, v = 0; i < keysBefore.size(); ++i) {
        if (keysBefore[i].sectionIndex == std::string::npos) continue;
        const std::string& name = sections[keysBefore[i].sectionIndex];
        if (!(sameName(name, section) && sameName(keysBefore[i].key, key)) &&
            again.read(name, keysBefore[i].key, Absent) != valuesBefore[v])
            std::abort();
        ++v;
    }
    return 0;
}
