#include "ui/TrackProgressPage.h"

#include "ui/ElidedText.h"
#include "ui/ErrorDisplay.h"
#include "ui/Gauge.h"
#include "ui/Pictures.h"
#include "ui/QtStrings.h"
#include "ui/ReportGridWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

TrackProgressPage::TrackProgressPage(TReportGrid& results, QWidget* parent) : QWidget(parent) {
    auto* layout = new QGridLayout(this);
    Label6 = new ElidedLabel("Report");
    // The run puts the site's URL in this caption: a long one is cut off at the page's edge
    // instead of widening the window.
    Label6->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Gauge1 = new Gauge;
    Gauge1->setMinimumWidth(200);
    Gauge1->setMaximumWidth(409);
    Gauge1->hide();
    setHint(Gauge1, "Progress in retrieving information");
    layout->addWidget(Label6, 0, 0);
    layout->addWidget(Gauge1, 1, 0);
    auto* caption = new QHBoxLayout;
    caption->addWidget(new QLabel("Successful Submission to these Sites:"));
    caption->addStretch();
    RequestLogButton = new QPushButton("Request Log");
    setHint(RequestLogButton, "Request Log|Show what happened to every request of the run");
    caption->addWidget(RequestLogButton);
    PageChecksButton = new QPushButton("Page Checks");
    setHint(PageChecksButton, "Page Checks|Show what the checks of the selected profile's pages found");
    caption->addWidget(PageChecksButton);
    layout->addLayout(caption, 2, 0);
    results_ = new ReportGridWidget(results, ReportGridWidget::Selection::Cells);
    layout->addWidget(results_, 3, 0, 1, 2);
    notes_ = new QPlainTextEdit;
    notes_->setObjectName("RunNotes");
    notes_->setReadOnly(true);
    notes_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A few lines in view; more scroll, so the results table keeps its room.
    notes_->setFixedHeight(notes_->fontMetrics().lineSpacing() * 4 + 2 * notes_->frameWidth() + 8);
    QPalette notePalette = notes_->palette();
    notePalette.setColor(QPalette::Text, QColor(0x90, 0x00, 0x00));
    notes_->setPalette(notePalette);
    setHint(notes_, "What the run left out, and what the live channels refused");
    notes_->hide();
    layout->addWidget(notes_, 4, 0, 1, 2);
    Memo1 = new QPlainTextEdit;
    Memo1->setReadOnly(true);
    Memo1->hide();
    layout->addWidget(animationFrames(), 0, 1, 3, 1, Qt::AlignRight | Qt::AlignTop);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(0, 1);
}

QWidget* TrackProgressPage::animationFrames() {
    // The animation frames lie on top of one another; at most one is visible.
    auto* frames = new QWidget;
    frames->setFixedSize(121, 89);
    for (int i = 0; i < static_cast<int>(Images.size()); ++i) {
        QLabel* image = new QLabel(frames);
        image->setPixmap(Pictures::animationFrame(i));
        image->setGeometry(0, 0, 121, 89);
        image->setObjectName(QString("Image%1").arg(i));
        image->hide();
        Images[static_cast<std::size_t>(i)] = image;
    }
    setHint(Images[7], "Busy searching. Please be patient.");
    return frames;
}

void TrackProgressPage::setCaption(const std::string& text) {
    Label6->setText(qs(text));
}

void TrackProgressPage::setGauge(Visibility visibility) {
    Gauge1->setVisible(visibility == Visibility::Shown);
}

void TrackProgressPage::setGaugeProgress(int percent) {
    Gauge1->setProgress(percent);
}

void TrackProgressPage::showAnimationFrame(int frame) {
    for (int i = 0; i < static_cast<int>(Images.size()); ++i)
        Images[static_cast<std::size_t>(i)]->setVisible(i == frame);
}

void TrackProgressPage::appendLog(const std::string& line) {
    Memo1->appendPlainText(qs(line));
}

void TrackProgressPage::addNote(const std::string& line) {
    notes_->appendPlainText(qs(line));
    notes_->show();
}

void TrackProgressPage::clearNotes() {
    notes_->clear();
    notes_->hide();
}

QStringList TrackProgressPage::notes() const {
    const QString text = notes_->toPlainText();
    return text.isEmpty() ? QStringList() : text.split('\n');
}
