#include "ui/RunButtons.h"

#include "ui/ErrorDisplay.h"
#include "ui/Pictures.h"
#include "ui/QtStrings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* picture(const QPixmap& pm, const QString& hint) {
    auto* l = new QLabel;
    l->setPixmap(pm);
    l->setFixedSize(pm.size());
    setHint(l, hint);
    return l;
}

} // namespace

RunButtons::RunButtons(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    GoImage = picture(Pictures::goButton(), "Begin submitting selected URLs");
    GoButton = new QPushButton("Go!");
    setHint(GoButton, "Begin submitting selected URLs");
    PauseImage = picture(Pictures::pauseButton(), "Pause submission of selected URLs");
    PauseButton = new QPushButton("Pause");
    setHint(PauseButton, "Pause/Resume submission of selected URLs");
    StopImage = picture(Pictures::stopButton(), "Stop this submission run.");
    StopButton = new QPushButton("Stop");
    setHint(StopButton, "Stop this submission run.");
    for (QWidget* w :
         std::initializer_list<QWidget*>{GoImage, GoButton, PauseImage, PauseButton, StopImage, StopButton})
        layout->addWidget(w);
    layout->addStretch();
    setState(State::Idle);
}

void RunButtons::setState(State state) {
    const bool running = state == State::Running;
    PauseButton->setVisible(running);
    StopButton->setVisible(running);
    PauseImage->setVisible(running);
    StopImage->setVisible(running);
    GoButton->setVisible(!running);
    GoImage->setVisible(!running);
}

std::string RunButtons::pauseCaption() const {
    // Some desktop themes add access-key marks to button texts on their own; the run
    // compares the caption as the user reads it.
    return ss(QString(PauseButton->text()).remove('&'));
}

void RunButtons::setPauseCaption(const std::string& caption) {
    PauseButton->setText(qs(caption));
}
