#include "core/run/KeptRuns.h"

#include "core/run/RequestRecord.h"
#include "platform/Error.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// "2026-12-07T113000Z": the start time's part of a run's file name.
constexpr std::size_t StampLength = 18;

// The sort key of a kept run's file name (its time stamp and its count within that second),
// or nothing for a file that is not a kept run.
std::optional<std::pair<std::string, long>> runKey(const std::string& name) {
    constexpr std::string_view pattern = "dddd-dd-ddTddddddZ";
    constexpr std::string_view extension = ".jsonl";
    if (name.size() < StampLength + extension.size() || !name.ends_with(extension)) return std::nullopt;
    for (std::size_t i = 0; i < StampLength; ++i) {
        const char c = name[i];
        if (pattern[i] == 'd' ? (c < '0' || c > '9') : c != pattern[i]) return std::nullopt;
    }
    const std::string rest = name.substr(StampLength, name.size() - StampLength - extension.size());
    long n = 1;
    if (!rest.empty()) {
        if (rest.size() < 2 || rest.size() > 10 || rest[0] != '_' || rest[1] == '0') return std::nullopt;
        if (!std::all_of(rest.begin() + 1, rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        n = std::stol(rest.substr(1));
    }
    return std::make_pair(name.substr(0, StampLength), n);
}

} // namespace

std::string KeptRuns::defaultDirectory(DirectoryLookup lookup) {
    return stateDirectory("larkspan/runs", lookup);
}

std::string KeptRuns::fileName(std::chrono::system_clock::time_point start, int n) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(start);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H%M%SZ", &utc);
    return std::string(stamp) + (n > 1 ? "_" + std::to_string(n) : std::string()) + ".jsonl";
}

std::vector<std::string> KeptRuns::newestFirst() const {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::pair<std::string, long>, std::string>> runs;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory_, ec)) {
        const std::string name = entry.path().filename().string();
        if (auto key = runKey(name); key && entry.is_regular_file(ec))
            runs.emplace_back(*key, entry.path().string());
    }
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    paths.reserve(runs.size());
    for (auto& run : runs)
        paths.push_back(std::move(run.second));
    return paths;
}

LineFile KeptRuns::create(std::chrono::system_clock::time_point start) {
    std::optional<LineFile> file;
    for (int n = 1; !file; ++n) {
        // Runs started in one second are rare; thousands of them mean something else is wrong.
        if (n > 9999)
            throw LarkspanError("Cannot create " + directory_ + "/" + fileName(start) + ": too many runs");
        file = LineFile::createNew(directory_ + "/" + fileName(start, n));
    }
    // The new run is kept whatever its time says (the clock may have been set back); of the
    // others, the newest Limit - 1 stay.
    std::size_t others = 0;
    for (const std::string& path : newestFirst()) {
        if (path == file->name()) continue;
        if (++others < Limit) continue;
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    return std::move(*file);
}

std::optional<std::string> KeptRun::write(const RequestRecord& record) {
    if (broken_) return std::nullopt;
    try {
        if (!file_) file_.emplace(KeptRuns(directory_()).create(start_));
        file_->writeLine(recordLine(record));
        return std::nullopt;
    } catch (const std::exception& e) {
        broken_ = true;
        return std::string(e.what());
    }
}
