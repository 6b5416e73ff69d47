#pragma once

#include <cstddef>
#include <string>

class TReportGrid;
struct RequestRecord;

// What a submission run drives: the window's controls, or whatever stands in for them in the
// headless command and in the tests. The run holds all the logic; a host only shows and
// reads. Every call happens on the main thread, also from inside the event pumps of a request.
// The run's needs fall into four small interfaces, which a host implements together as a
// RunHost; each part of the run takes only the one it uses.

// The profile editor and the submission list: where a run reads what it submits.
class RunEditor {
public:
    virtual ~RunEditor() = default;
    // The profile editor's sixteen texts, by field index.
    virtual std::string fieldText(std::size_t field) const = 0;
    virtual void setFieldText(std::size_t field, const std::string& text) = 0;
    // Loads the named profile into the editor (a missing profile gives empty fields) and
    // repaints.
    virtual void loadProfile(const std::string& name) = 0;
    // The name of the profile being worked on, which the delete command reads.
    virtual void setCurrentSelection(const std::string& name) = 0;
    virtual TReportGrid& submitList() = 0;
};

// How far the run has come, and the controls that steer it: the label, the status line, the
// gauge, the busy animation, the run bar, the boxes and the waits while paused.
class RunProgress {
public:
    // Which buttons of the run bar are visible: only "Go!" (with its picture) when idle,
    // "Pause" and "Stop" (with theirs) during a run.
    enum class RunBar { Idle, Running };
    // The kind of a message: one a handler shows (the incomplete profile), or the box that
    // ends a run ("Done!"). The window shows both as information boxes; the headless command
    // prints the results table before the end-of-run message.
    enum class Message { Notice, RunEnded };

    virtual ~RunProgress() = default;
    virtual void setLabel(const std::string& text) = 0;
    virtual void setStatusText(const std::string& text) = 0;
    virtual void setGaugeVisible(bool visible) = 0;
    // 0 to 100; the run clamps the value.
    virtual void setGaugeProgress(int percent) = 0;
    // Shows the busy animation's frame 0 to 9 and hides the others; -1 hides all ten.
    virtual void showAnimationFrame(int frame) = 0;
    virtual void setRunBar(RunBar state) = 0;
    virtual std::string pauseCaption() const = 0;
    virtual void setPauseCaption(const std::string& caption) = 0;
    // Shows a message and returns when the user has acknowledged it.
    virtual void information(const std::string& message, Message kind) = 0;
    // Closes the main window, which ends the program once the run has returned.
    virtual void closeWindow() = 0;
    // Handles pending events, waiting for at least one: what the run does while it is paused.
    virtual void waitForEvents() = 0;
};

// What the run produced: the results table and the record of each request.
class RunResults {
public:
    virtual ~RunResults() = default;
    virtual TReportGrid& results() = 0;
    // Takes the record of one request as soon as the request has ended (or was skipped): the
    // window shows it in the request log, the headless command writes it out, and both keep it.
    virtual void record(const RequestRecord& record) = 0;
};

// The run's log, and the lines of it that are worth seeing beside the results.
class RunLog {
public:
    // A line that a run wants seen beside its results, not only in the log: a live channel's
    // refusal or pause, or what the run left out.
    enum class Note { LeftOut, Refusal };

    virtual ~RunLog() = default;
    // Adds a line to the run's log (the hidden memo in the window).
    virtual void appendLog(const std::string& line) = 0;
    // The window lists these lines under the results table; a host that prints its log has
    // them there already.
    virtual void showNote(const std::string& line, Note kind) {
        (void)line;
        (void)kind;
    }
    // A run starts: the notes of the run before go.
    virtual void clearNotes() {}
};

// A front end of the run: all four at once.
class RunHost : public RunEditor, public RunProgress, public RunResults, public RunLog {};
