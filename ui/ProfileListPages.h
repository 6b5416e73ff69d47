#pragma once

#include <QWidget>

class QPushButton;
class ReportGridWidget;
class TReportGrid;

// "Select URL to Edit": the profiles by title; choosing one loads it into the editor, and
// "Delete Highlighted Record" deletes the current one.
class ProfileListPage : public QWidget {
    Q_OBJECT
public:
    explicit ProfileListPage(TReportGrid& profiles, QWidget* parent = nullptr);

    ReportGridWidget* list() const { return list_; }
    // "Delete Highlighted Record".
    QPushButton* BitBtn1 = nullptr;

private:
    ReportGridWidget* list_ = nullptr;
};

// "Prepare Submission List": the profiles that "Go!" submits are the highlighted rows.
class SubmissionListPage : public QWidget {
    Q_OBJECT
public:
    explicit SubmissionListPage(TReportGrid& submissionList, QWidget* parent = nullptr);

    ReportGridWidget* list() const { return list_; }

private:
    ReportGridWidget* list_ = nullptr;
};
