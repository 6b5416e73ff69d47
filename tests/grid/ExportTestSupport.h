#pragma once

#include "grid/ReportGrid.h"
#include "platform/BusyCursor.h"
#include "tests/common/Files.h"
#include "tests/common/TempDir.h"

#include <string>
#include <vector>

// Shared by the export tests: tables, files, the busy cursor and the Python peers.

// A new results table: the header, one empty row, columns of 311 pixels.
TReportGrid newResultsTable();

// A results table after a run whose cells are hard on every file format: commas, quotes,
// line breaks, markup, non-ASCII text, links, spaces and tabs, an empty cell, and the
// footer rows a run ends with.
TReportGrid awkwardResultsTable();

// The file's lines, split at CR LF; a missing file has none.
std::vector<std::string> crlfLines(const std::string& path);

// Runs tests/grid/<script> with python3 and returns what it printed. Fails the test when
// the script fails.
std::string runPythonPeer(const std::string& script, const std::vector<std::string>& args);

// Records the cursor changes, into a log shared with other recorders when one is given.
class RecordingBusyCursor final : public BusyCursor {
public:
    explicit RecordingBusyCursor(std::vector<std::string>* log = nullptr) : log_(log ? log : &own_) {}
    void ShowBusy() override { log_->push_back("busy on"); }
    void RestoreDefault() noexcept override { log_->push_back("busy off"); }
    const std::vector<std::string>& log() const { return *log_; }

private:
    std::vector<std::string> own_;
    std::vector<std::string>* log_;
};
