#pragma once

#include "tests/common/Files.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

// A fresh directory under $TMPDIR for one test, removed with everything in it afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "larkspan-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
        path_ = pattern;
    }
    ~TempDir() {
        // A test may have taken the permissions away to make writing fail.
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes a file below the directory, creating the directories on its way.
    void write(const std::filesystem::path& relative, const std::string& content) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        writeFile(path_ / relative, content);
    }
    std::string read(const std::filesystem::path& relative) const { return readFile(path_ / relative); }

private:
    std::filesystem::path path_;
};
