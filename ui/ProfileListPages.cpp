#include "ui/ProfileListPages.h"

#include "ui/ErrorDisplay.h"
#include "ui/ReportGridWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

ProfileListPage::ProfileListPage(TReportGrid& profiles, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    list_ = new ReportGridWidget(profiles, ReportGridWidget::Selection::WholeRows);
    list_->setMinimumSize(300, 200);
    list_->resize(513, 329);
    layout->addWidget(list_, 1);
    BitBtn1 = new QPushButton("Delete Highlighted Record");
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_TrashIcon));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(BitBtn1);
    row->addStretch();
    layout->addLayout(row);
}

SubmissionListPage::SubmissionListPage(TReportGrid& submissionList, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel("Select URLs to submit. To select more than one adjacent entry, hold the Shift "
                            "key down or the left mouse "
                            "button while dragging your  mouse. To select non-adjacent URLs, depress the "
                            "Ctrl key, then select with "
                            "left mouse button clicks.");
    text->setWordWrap(true);
    layout->addWidget(text);
    list_ = new ReportGridWidget(submissionList, ReportGridWidget::Selection::WholeRows);
    setHint(list_, "Highlighted URLs will be submitted when you press Go!");
    layout->addWidget(list_, 1);
}
