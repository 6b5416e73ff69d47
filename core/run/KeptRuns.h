#pragma once

#include "platform/LineFile.h"
#include "platform/StateDirectory.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct RequestRecord;

// The runs whose request records are kept: one file of JSON lines per run in one directory,
// named by the run's UTC start time (2026-12-07T113000Z.jsonl; a second run started in the
// same second gets 2026-12-07T113000Z_2.jsonl), of which the newest Limit are kept. Other
// files in the directory are left alone.
class KeptRuns {
public:
    static constexpr std::size_t Limit = 100;

    explicit KeptRuns(std::string directory) : directory_(std::move(directory)) {}

    // $XDG_STATE_HOME/larkspan/runs (by default ~/.local/state/larkspan/runs).
    static std::string defaultDirectory(DirectoryLookup lookup);
    // The file name of a run that started then; n counts the runs of that second from 1.
    static std::string fileName(std::chrono::system_clock::time_point start, int n = 1);

    // The kept runs' files, full paths, newest first. Nothing when the directory is missing.
    std::vector<std::string> newestFirst() const;
    // Creates the file of a run that started then and removes the oldest others, so that with
    // the new one Limit remain. Throws LarkspanError when the file cannot be created.
    LineFile create(std::chrono::system_clock::time_point start);

    const std::string& directory() const { return directory_; }

private:
    std::string directory_;
};

// The kept file of one run. It is made when the first record arrives, so a run that sends
// nothing leaves no file, and every record is on disk once write returns.
class KeptRun {
public:
    // directory: finds (and makes) the directory at the first record; it may throw.
    KeptRun(std::function<std::string()> directory, std::chrono::system_clock::time_point start)
        : directory_(std::move(directory)), start_(start) {}

    // Writes the record. When the records cannot be kept, returns what went wrong, once; the
    // run goes on and its later records are not kept.
    std::optional<std::string> write(const RequestRecord& record);
    // The file, once it was made.
    std::string path() const { return file_ ? file_->name() : std::string(); }

private:
    std::function<std::string()> directory_;
    std::chrono::system_clock::time_point start_;
    std::optional<LineFile> file_;
    bool broken_ = false;
};
