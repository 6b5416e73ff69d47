#pragma once

#include <QWidget>
#include <string>

class QLabel;
class QPushButton;

// The bar below the pages: "Go!" while no run goes, "Pause" and "Stop" while one does, each
// with its picture.
class RunButtons : public QWidget {
    Q_OBJECT
public:
    explicit RunButtons(QWidget* parent = nullptr);

    enum class State { Idle, Running };
    void setState(State state);
    // The caption of "Pause" as the user reads it ("Pause" or "Resume").
    std::string pauseCaption() const;
    void setPauseCaption(const std::string& caption);

    // Starts a run of the highlighted submission list entries.
    QPushButton* GoButton = nullptr;
    // Pauses the run and resumes it ("Resume").
    QPushButton* PauseButton = nullptr;
    // Ends the run.
    QPushButton* StopButton = nullptr;
    // The pictures beside the three buttons.
    QLabel* GoImage = nullptr;
    QLabel* PauseImage = nullptr;
    QLabel* StopImage = nullptr;
};
