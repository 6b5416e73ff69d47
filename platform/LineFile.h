#pragma once

#include <optional>
#include <string>
#include <string_view>

// A file written one whole line at a time, each with one write(2) and no buffer in between, so
// that a process killed at any moment leaves only the lines it had finished behind it; a line
// that the system takes only in part (a full disk, a file size limit) is cut off again.
class LineFile {
public:
    // Creates the file or empties an existing one, with mode 0600 before the umask. Throws
    // LarkspanError "Cannot create " followed by the path.
    explicit LineFile(const std::string& path);
    // Creates a new file; nothing when a file of that name exists already, so that two writers
    // never share one. Throws as the constructor does for every other failure.
    static std::optional<LineFile> createNew(const std::string& path);
    // Writes to a descriptor the caller keeps open, such as standard output.
    static LineFile borrow(int fd, std::string name);

    ~LineFile();
    LineFile(LineFile&& other) noexcept;
    LineFile& operator=(LineFile&& other) noexcept;
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Writes the line, which carries its own line break. Throws LarkspanError "Unable to write
    // to " followed by the name when the system does not take it whole; what it took of the
    // line is removed again, so the file ends with the last whole line.
    void writeLine(std::string_view line);
    const std::string& name() const { return name_; }

private:
    enum class Ownership { Owned, Borrowed };
    LineFile(int fd, Ownership ownership, std::string name)
        : fd_(fd), owned_(ownership == Ownership::Owned), name_(std::move(name)) {}
    void close() noexcept;
    // Removes the last bytes written.
    void cutBack(std::size_t bytes) noexcept;

    int fd_ = -1;
    bool owned_ = false;
    std::string name_;
};
