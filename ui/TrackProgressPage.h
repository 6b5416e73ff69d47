#pragma once

#include <QStringList>
#include <QWidget>
#include <array>
#include <string>

class Gauge;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class ReportGridWidget;
class TReportGrid;

// "Track Progress": the run's caption and gauge, the animation, the results table and the
// button that opens the request log. The run's host drives it through the calls below.
class TrackProgressPage : public QWidget {
    Q_OBJECT
public:
    explicit TrackProgressPage(TReportGrid& results, QWidget* parent = nullptr);

    void setCaption(const std::string& text);
    enum class Visibility { Hidden, Shown };
    void setGauge(Visibility visibility);
    void setGaugeProgress(int percent);
    // Shows the animation frame with this number and hides the others; any other number
    // hides them all.
    void showAnimationFrame(int frame);
    void appendLog(const std::string& line);
    // A line under the results table (a live channel's refusal or pause, the catalogue off);
    // the list shows once it has a line.
    void addNote(const std::string& line);
    void clearNotes();
    QStringList notes() const;

    ReportGridWidget* resultsWidget() const { return results_; }

    // The caption above the gauge ("Report", then the engine being contacted).
    QLabel* Label6 = nullptr;
    // The progress bar of the run.
    Gauge* Gauge1 = nullptr;
    // The log of failures, kept hidden; the run's reports include it.
    QPlainTextEdit* Memo1 = nullptr;
    // The ten frames of the animation, on top of one another.
    std::array<QLabel*, 10> Images{};
    // Opens the request log beside the results table, where a run is watched.
    QPushButton* RequestLogButton = nullptr;
    QPushButton* PageChecksButton = nullptr;

private:
    QWidget* animationFrames();

    ReportGridWidget* results_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
};
