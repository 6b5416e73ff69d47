#pragma once

#include <string>
#include <string_view>
#include <vector>

// A private-profile (INI) file held in memory as its lines.
//
// Section and key names compare case-insensitively (a-z only). Writing a key replaces
// its value in place and keeps every other line and its order; a missing key is
// appended to its section, a missing section to the end of the file.
//
// Lines end as the file's first line does; a line that ends otherwise keeps its own end. In a
// file of LF lines a CR before an LF belongs to the line, so it stays part of the value.
//
// Values are stored verbatim unless they hold a line break or a backslash. Such a value
// is written with "\\", "\n" and "\r" escapes, so that it reads back exactly and can never
// start a key or a section of its own. Reading turns exactly those three escapes back
// and leaves any other backslash as it stands.
class IniFile {
public:
    // The longest value that reading returns, in bytes; longer values are cut.
    static constexpr std::size_t MaxValueLength = 2047;

    // A missing or unreadable file gives an empty document.
    static IniFile load(const std::string& path);
    static IniFile parse(std::string_view content);

    // The value of the key, or the default when the section or key is absent.
    std::string read(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
    // Throws std::invalid_argument for a section or key name that no line can hold as such
    // (a line break, a key with "=", a key that would read as a header or a comment, blanks
    // around a name, a section name with "]" or "="): it would be written as something else.
    void write(std::string_view section, std::string_view key, std::string_view value);

    // A key line as the file spells it. sectionIndex counts the section headers of the file
    // from 0 (an index into sections()); a key above the first header has none (npos).
    struct KeyLine {
        std::size_t sectionIndex;
        std::string key;
    };
    // The names of the section headers in file order, repeated sections included.
    std::vector<std::string> sections() const;
    // Every key line in file order. Lines starting with ";" or "#" are comments, not keys.
    std::vector<KeyLine> keyLines() const;
    // The lines that are neither blank, a comment, a section header nor a key line.
    std::vector<std::string> strayLines() const;

    // What a file is meant to hold: its sections and the keys of each (names ignore case).
    struct Schema {
        struct Section {
            std::string name;
            std::vector<std::string> keys;
        };
        std::vector<Section> sections;
    };
    // What the file holds beyond the schema, each as a text beginning with origin: unknown
    // sections and keys, sections and keys that appear again (reads see only the first), keys
    // outside any section, and lines that are none of these. Such things have no effect, and
    // saying so keeps a misspelt name from passing unnoticed.
    std::vector<std::string> beyondSchema(const Schema& schema, const std::string& origin) const;

    // Who may read a file that save creates; an existing file keeps its mode.
    enum class NewFile { Shared, OwnerOnly };

    std::string text() const;
    // Replaces the file as a whole: the new content goes to a file beside it, which is then
    // renamed over it, so a crash or a full disk never leaves a truncated file behind.
    // Throws LarkspanError "Unable to write to " + path on failure; the old file stays.
    void save(const std::string& path, NewFile access = NewFile::Shared) const;

    static std::string encodeValue(std::string_view value);
    static std::string decodeValue(std::string_view stored);

private:
    struct Line {
        std::string text; // without its line end
        // The line's own end as read, so that saving gives every line back as it was; empty
        // for a new line, which takes the file's line end.
        std::string eol;
    };
    // Index of the section header line, or -1.
    long findSection(std::string_view section) const;
    // Index of the key's line inside the section starting at header, or -1.
    long findKey(long header, std::string_view key) const;
    // One past the last line of the section whose header is at the given index.
    long sectionEnd(long header) const;

    std::vector<Line> lines_;
    std::string eol_ = "\n";
    bool finalNewline_ = true;
    bool byteOrderMark_ = false;
};
