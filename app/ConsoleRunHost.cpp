#include "app/ConsoleRunHost.h"

#include "core/run/RequestRecord.h"
#include "grid/TextExport.h"
#include "platform/EventLoop.h"
#include "platform/Text.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The terminal's width, for cutting the progress line so it never wraps (a wrapped line
// cannot be redrawn in place).
std::size_t terminalColumns(std::FILE* f) {
    winsize size{};
    if (::ioctl(::fileno(f), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// At most count characters of UTF-8 text.
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) return text.substr(0, i);
    return text;
}

} // namespace

ConsoleRunHost::ConsoleRunHost(const ProfileFiles& store, std::FILE* out, std::FILE* progress)
    : store_(store), out_(out), progress_(progress) {
    results_.SetTextMeasure(&measure_);
    submitList_.SetTextMeasure(&measure_);
}

std::string ConsoleRunHost::fieldText(std::size_t field) const {
    return editor_.at(field);
}

void ConsoleRunHost::setFieldText(std::size_t field, const std::string& text) {
    editor_.at(field) = text;
}

void ConsoleRunHost::loadProfile(const std::string& name) {
    editor_ = store_.load(name);
}

void ConsoleRunHost::setCurrentSelection(const std::string&) {}

void ConsoleRunHost::setLabel(const std::string& text) {
    label_ = text;
    drawProgress();
}

void ConsoleRunHost::setStatusText(const std::string& text) {
    status_ = text;
    drawProgress();
}

void ConsoleRunHost::setGaugeVisible(bool visible) {
    gaugeVisible_ = visible;
    drawProgress();
}

void ConsoleRunHost::setGaugeProgress(int percent) {
    gauge_ = percent;
    if (gaugeVisible_) drawProgress();
}

void ConsoleRunHost::appendLog(const std::string& line) {
    printLine(line);
}

void ConsoleRunHost::showNote(const std::string& line, Note kind) {
    if (kind != Note::Refusal || out_ == stderr) return;
    clearProgress();
    std::fprintf(stderr, "larkspan: %s\n", printable(line).c_str());
}

void ConsoleRunHost::information(const std::string& message, Message kind) {
    if (kind == Message::RunEnded) {
        clearProgress();
        std::string table = alignedTableText(results_);
        std::fwrite(table.data(), 1, table.size(), out_);
    }
    printLine(message);
}

void ConsoleRunHost::waitForEvents() {
    EventLoop::instance().pump(EventLoop::PumpMode::WaitForEvents);
}

void ConsoleRunHost::record(const RequestRecord& record) {
    if (kept_)
        if (auto problem = kept_->write(record)) warn("the run's records are not kept: " + *problem);
    if (!copy_) return;
    // The copy may be standard output, written past the stream: what the stream holds goes
    // first, and on a terminal the progress line makes room.
    clearProgress();
    std::fflush(out_);
    try {
        copy_->writeLine(recordLine(record));
    } catch (const std::exception& e) {
        copy_.reset();
        warn(e.what());
    }
    drawProgress();
}

void ConsoleRunHost::warn(const std::string& text) {
    clearProgress();
    std::fprintf(stderr, "larkspan: warning: %s\n", printable(text).c_str());
    drawProgress();
}

void ConsoleRunHost::printLine(const std::string& line) {
    clearProgress();
    std::fprintf(out_, "%s\n", printable(line).c_str());
    std::fflush(out_);
    drawProgress();
}

void ConsoleRunHost::clearProgress() {
    if (!progress_ || !progressShown_) return;
    std::fputs("\r\033[K", progress_);
    std::fflush(progress_);
    progressShown_ = false;
}

void ConsoleRunHost::drawProgress() {
    if (!progress_) return;
    std::string line;
    if (gaugeVisible_) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "[%3d%%] ", gauge_);
        line = percent;
    }
    line += label_;
    if (!status_.empty()) line += " | " + status_;
    line = firstCharacters(printableField(line), terminalColumns(progress_) - 1);
    std::fprintf(progress_, "\r\033[K%s", line.c_str());
    std::fflush(progress_);
    progressShown_ = true;
}

std::string alignedTableText(const TReportGrid& grid) {
    // The column text of the ".asc" report, with the terminal's line ends and without the
    // blanks that pad the last column.
    std::string text;
    for (std::string line : AsciiLines(grid)) {
        line.erase(line.find_last_not_of(" \r\n") + 1);
        text += printable(line) + "\n";
    }
    return text;
}
