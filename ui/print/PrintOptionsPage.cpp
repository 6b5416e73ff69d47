#include "ui/print/PrintOptionsPage.h"

#include "ui/ErrorDisplay.h"
#include "ui/print/PainterSurface.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

enum class Initially { Checked, Unchecked };

QCheckBox* checkBox(const char* name, const QString& caption, Initially state, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setChecked(state == Initially::Checked);
    return box;
}

} // namespace

PrintOptionsPage::PrintOptionsPage(QWidget* parent) : QWidget(parent) {
    setObjectName("OptionsPage");
    auto* outer = new QVBoxLayout(this);
    auto* group = new QGroupBox("Printing Options", this);
    group->setObjectName("PrintingOptions");
    setHint(group, "Performs printing of the grid");
    outer->addWidget(group);
    outer->addWidget(buildSubmissionGroup());
    outer->addStretch();

    auto* layout = new QGridLayout(group);
    auto* titleLabel = new QLabel("Title :", group);
    Memo4 = new QPlainTextEdit(group);
    Memo4->setObjectName("Memo4");
    Memo4->setPlainText("This is a Sample Title\nthe Velloway Report");
    Memo4->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo4->setFixedHeight(Memo4->fontMetrics().lineSpacing() * 4 + 2 * Memo4->frameWidth() + 8);
    setHint(Memo4, "Sets title of printout. ");
    titleLabel->setBuddy(Memo4);
    layout->addWidget(titleLabel, 0, 0, Qt::AlignTop);
    layout->addWidget(Memo4, 0, 1, 1, 2);

    PrintDateCheckBox = checkBox("PrintDateCheckBox", "Print date", Initially::Unchecked, group);
    PrintTimeCheckBox = checkBox("PrintTimeCheckBox", "Print time", Initially::Unchecked, group);
    PrintPageNumbersCheckBox =
        checkBox("PrintPageNumbersCheckBox", "Print page numbers", Initially::Unchecked, group);
    PrintBordersCheckBox = checkBox("PrintBordersCheckBox", "Print borders", Initially::Checked, group);
    setHint(PrintBordersCheckBox, "Lines dividing columns and rows, and a frame around the table.");
    FitToPageCheckBox = checkBox("FitToPageCheckBox", "Fit to page", Initially::Unchecked, group);
    setHint(FitToPageCheckBox, "expand or shrink to fit text on the page.");
    PrintCenteredCheckBox = checkBox("PrintCenteredCheckBox", "Print centered", Initially::Checked, group);
    AutoSizeCheckBox = checkBox("AutoSizeCheckBox", "Auto size", Initially::Checked, group);

    auto* left = new QVBoxLayout;
    for (QCheckBox* c :
         {PrintDateCheckBox, PrintTimeCheckBox, PrintPageNumbersCheckBox, PrintBordersCheckBox})
        left->addWidget(c);
    auto* right = new QVBoxLayout;
    for (QCheckBox* c : {FitToPageCheckBox, PrintCenteredCheckBox, AutoSizeCheckBox})
        right->addWidget(c);
    layout->addLayout(left, 1, 1, Qt::AlignTop);
    layout->addLayout(right, 1, 2, Qt::AlignTop);

    layout->addLayout(buildBordersRow(group), 2, 1, 1, 2);

    Button8 = new QPushButton("Print font", group);
    Button8->setObjectName("Button8");
    layout->addWidget(Button8, 3, 1, Qt::AlignLeft);
    layout->setColumnStretch(2, 1);
    connect(Button8, &QPushButton::clicked, this, &PrintOptionsPage::Button8Click);
}

QGroupBox* PrintOptionsPage::buildSubmissionGroup() {
    auto* submission = new QGroupBox("Submission", this);
    submission->setObjectName("SubmissionOptions");
    auto* submissionLayout = new QVBoxLayout(submission);
    CatalogueCheckBox = checkBox("CatalogueCheckBox", "Send to the 32 engines of the catalogue",
                                 Initially::Checked, submission);
    setHint(CatalogueCheckBox,
            "Send to the catalogue|Send each profile to the 32 engines of the catalogue as well as "
            "to today's services (IndexNow, Google Search Console)");
    submissionLayout->addWidget(CatalogueCheckBox);
    return submission;
}

// "Borders" with its three choices, all lines first.
QHBoxLayout* PrintOptionsPage::buildBordersRow(QGroupBox* group) {
    auto* borders = new QHBoxLayout;
    borders->addWidget(new QLabel("Borders", group));
    auto* lines = new QButtonGroup(group);
    BordersAll = new QRadioButton("All", group);
    BordersAll->setObjectName("BordersAll");
    BordersHorz = new QRadioButton("Horz.", group);
    BordersHorz->setObjectName("BordersHorz");
    BordersVert = new QRadioButton("Vert.", group);
    BordersVert->setObjectName("BordersVert");
    for (QRadioButton* b : {BordersAll, BordersHorz, BordersVert}) {
        lines->addButton(b);
        borders->addWidget(b);
    }
    BordersAll->setChecked(true);
    borders->addStretch();
    return borders;
}

PrintOptionsState PrintOptionsPage::State() const {
    PrintOptionsState s;
    // The memo's lines; a final line break does not start another line.
    s.TitleLines.clear();
    QStringList lines = Memo4->toPlainText().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (const QString& line : lines)
        s.TitleLines.push_back(line.toStdString());
    s.PrintDate = PrintDateCheckBox->isChecked();
    s.PrintTime = PrintTimeCheckBox->isChecked();
    s.PrintPageNumbers = PrintPageNumbersCheckBox->isChecked();
    s.PrintBorders = PrintBordersCheckBox->isChecked();
    s.FitToPage = FitToPageCheckBox->isChecked();
    s.PrintCentered = PrintCenteredCheckBox->isChecked();
    s.AutoSize = AutoSizeCheckBox->isChecked();
    s.Lines = BordersVert->isChecked()   ? PrintOptionsState::BorderLines::Vertical
              : BordersHorz->isChecked() ? PrintOptionsState::BorderLines::Horizontal
                                         : PrintOptionsState::BorderLines::All;
    return s;
}

void PrintOptionsPage::ApplyPrintFont(const QFont& font) {
    if (!settings_) return;
    const PrintFont f = PainterSurface::FromQFont(font);
    settings_->Font = f;
    settings_->HeaderFont = f;
    settings_->FooterFont = f;
}

void PrintOptionsPage::Button8Click() {
    QFont current(settings_ ? QString::fromStdString(settings_->Font.Name) : QString("Sans Serif"));
    current.setPointSize(settings_ ? settings_->Font.Size : 8);
    if (settings_) {
        current.setBold(settings_->Font.Bold);
        current.setItalic(settings_->Font.Italic);
    }
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, this, "Print font");
    if (ok) ApplyPrintFont(chosen);
}
