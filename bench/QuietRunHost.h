#pragma once

#include "core/run/KeptRuns.h"
#include "core/run/RequestRecord.h"
#include "core/run/RunHost.h"
#include "core/profiles/SiteProfile.h"
#include "grid/ReportGrid.h"
#include "grid/TextMeasure.h"

#include <optional>
#include <string>
#include <vector>

// A host for the benchmarks that shows nothing, so that what is timed is the run and its
// results table. It keeps the editor's texts, the two tables and the log, and loads profiles
// from a directory when it is given one.
class QuietRunHost final : public RunHost {
public:
    explicit QuietRunHost(const TextMeasure& measure, const std::string& profileDir = {}) {
        grid.SetTextMeasure(&measure);
        if (!profileDir.empty()) store.emplace(profileDir);
    }
    std::string fieldText(std::size_t f) const override { return editor.at(f); }
    void setFieldText(std::size_t f, const std::string& text) override { editor.at(f) = text; }
    void loadProfile(const std::string& name) override {
        if (store) editor = store->load(name);
    }
    void setCurrentSelection(const std::string&) override {}
    TReportGrid& submitList() override { return list; }
    TReportGrid& results() override { return grid; }
    void setLabel(const std::string&) override {}
    void setStatusText(const std::string&) override {}
    void setGaugeVisible(bool) override {}
    void setGaugeProgress(int) override {}
    void showAnimationFrame(int) override {}
    void setRunBar(RunBar) override {}
    std::string pauseCaption() const override { return "Pause"; }
    void setPauseCaption(const std::string&) override {}
    void appendLog(const std::string& line) override { log.push_back(line); }
    void information(const std::string&, Message) override {}
    void closeWindow() override {}
    void waitForEvents() override {}
    // Counted, and written to a kept file when one is given, as the window and the headless
    // command write them.
    void record(const RequestRecord& r) override {
        ++records;
        if (kept) kept->write(r);
    }

    std::optional<ProfileFiles> store;
    SiteProfile editor{};
    TReportGrid list{1, 2, 0, 1};
    TReportGrid grid{2, 2, 1, 1};
    std::vector<std::string> log;
    int records = 0;
    std::optional<KeptRun> kept;
};
