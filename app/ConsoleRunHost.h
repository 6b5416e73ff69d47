#pragma once

#include "core/profiles/SiteProfile.h"
#include "core/run/KeptRuns.h"
#include "core/run/RunHost.h"
#include "grid/ReportGrid.h"

#include <cstdio>
#include <optional>
#include <string>

// The run's host for the headless command. The editor is a record in memory; log lines and
// messages go to the given stream as they happen (standard output, or standard error when the
// records take standard output); on a terminal, a progress line on standard
// error shows the gauge, the label and the status line, redrawn in place. Request records go
// to the run's kept file and to the file given with --log.
class ConsoleRunHost final : public RunHost {
public:
    // progress: where the progress line goes, or null for none.
    ConsoleRunHost(const ProfileFiles& store, std::FILE* out, std::FILE* progress);

    std::string fieldText(std::size_t field) const override;
    void setFieldText(std::size_t field, const std::string& text) override;
    void loadProfile(const std::string& name) override;
    void setCurrentSelection(const std::string& name) override;
    TReportGrid& submitList() override { return submitList_; }
    TReportGrid& results() override { return results_; }
    void setLabel(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setGaugeVisible(bool visible) override;
    void setGaugeProgress(int percent) override;
    void showAnimationFrame(int) override {}
    void setRunBar(RunBar) override {}
    std::string pauseCaption() const override { return pauseCaption_; }
    void setPauseCaption(const std::string& caption) override { pauseCaption_ = caption; }
    void appendLog(const std::string& line) override;
    // A refusal, or a site that could not be read, goes to standard error too, where a timer's
    // job looks for failures.
    void showNote(const std::string& line, Note kind) override;
    void information(const std::string& message, Message kind) override;
    void closeWindow() override { closed_ = true; }
    void waitForEvents() override;
    void record(const RequestRecord& record) override;

    // Where the records of the run go besides: its kept file, and a file of the user's choice
    // (which may be standard output).
    void keepRecords(KeptRun kept) { kept_.emplace(std::move(kept)); }
    void copyRecordsTo(LineFile file) { copy_.emplace(std::move(file)); }

    bool closed() const { return closed_; }
    // Clears the progress line, so that what follows starts on a clean line.
    void clearProgress();

private:
    void printLine(const std::string& line);
    void warn(const std::string& text);
    void drawProgress();

    const ProfileFiles& store_;
    std::FILE* out_;
    std::FILE* progress_;
    SiteProfile editor_;
    TReportGrid submitList_{1, 2, 0, 1};
    TReportGrid results_{2, 2, 1, 1};
    FixedWidthMeasure measure_{1};
    std::string pauseCaption_ = "Pause";
    std::string label_ = "Report";
    std::string status_;
    bool gaugeVisible_ = false;
    int gauge_ = 0;
    bool progressShown_ = false;
    bool closed_ = false;
    std::optional<KeptRun> kept_;
    std::optional<LineFile> copy_;
};

// The table as column-aligned text: every column left-aligned in a field one character wider
// than its widest first line (counted in characters), trailing blanks dropped, lines ending
// in LF.
std::string alignedTableText(const TReportGrid& grid);
