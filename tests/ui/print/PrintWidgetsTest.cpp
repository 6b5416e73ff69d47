#include "tests/ui/ModalHelper.h"

#include "grid/ReportGrid.h"
#include "ui/print/PagePreview.h"
#include "ui/print/PrintCommands.h"
#include "ui/print/PrintDevice.h"
#include "ui/print/PrintOptionsPage.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QGroupBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TReportGrid results(int rows) {
    TReportGrid g(2, rows + 1, 1, 1);
    g.SetCellText(0, 0, "Engine");
    g.SetCellText(1, 0, "URLs Submitted");
    for (int r = 1; r <= rows; ++r) {
        g.SetCellText(0, r, "Google");
        g.SetCellText(1, r, "Velloway " + std::to_string(r));
    }
    return g;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Page objects of a PDF and the media box of the first of them.
int pdfPages(const QByteArray& pdf) {
    return static_cast<int>(pdf.count("/Type /Page\n"));
}
QSizeF firstMediaBox(const QByteArray& pdf) {
    const auto m =
        QRegularExpression(R"(/MediaBox \[0 0 ([\d.]+) ([\d.]+)\])").match(QString::fromLatin1(pdf));
    return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

// Runs a test body in a fresh working directory.
class InTempDir {
public:
    InTempDir() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~InTempDir() { QDir::setCurrent(old_); }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QString old_;
};

} // namespace

TEST(OptionsPage, StartStatesHintsAndTheirSettings) {
    PrintOptionsPage page;
    EXPECT_EQ(page.findChild<QGroupBox*>("PrintingOptions")->title(), "Printing Options");
    EXPECT_EQ(page.findChild<QGroupBox*>("PrintingOptions")->statusTip(), "Performs printing of the grid");
    EXPECT_EQ(page.Memo4->toPlainText(), "This is a Sample Title\nthe Velloway Report");
    EXPECT_EQ(page.Memo4->toolTip(), "Sets title of printout. ");
    EXPECT_EQ(page.PrintBordersCheckBox->statusTip(),
              "Lines dividing columns and rows, and a frame around the table.");
    EXPECT_EQ(page.FitToPageCheckBox->toolTip(), "expand or shrink to fit text on the page.");
    struct Box {
        QCheckBox* box;
        const char* caption;
        bool checked;
    };
    for (const Box& b :
         {Box{page.PrintDateCheckBox, "Print date", false}, Box{page.PrintTimeCheckBox, "Print time", false},
          Box{page.PrintPageNumbersCheckBox, "Print page numbers", false},
          Box{page.PrintBordersCheckBox, "Print borders", true},
          Box{page.FitToPageCheckBox, "Fit to page", false},
          Box{page.PrintCenteredCheckBox, "Print centered", true},
          Box{page.AutoSizeCheckBox, "Auto size", true}}) {
        EXPECT_EQ(b.box->text(), b.caption);
        EXPECT_EQ(b.box->isChecked(), b.checked) << b.caption;
    }
    EXPECT_EQ(page.BordersAll->text(), "All");
    EXPECT_EQ(page.BordersHorz->text(), "Horz.");
    EXPECT_EQ(page.BordersVert->text(), "Vert.");
    EXPECT_TRUE(page.BordersAll->isChecked());
    EXPECT_EQ(page.Button8->text(), "Print font");

    const PrintOptionsState start = page.State();
    EXPECT_EQ(start.TitleLines, PrintOptionsState{}.TitleLines);
    EXPECT_TRUE(start.PrintBorders && start.PrintCentered && start.AutoSize);

    page.Memo4->setPlainText("One\nTwo\nThree\n");
    page.BordersVert->setChecked(true);
    page.AutoSizeCheckBox->setChecked(false);
    page.PrintTimeCheckBox->setChecked(true);
    const PrintOptionsState changed = page.State();
    EXPECT_EQ(changed.TitleLines, (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(changed.Lines, PrintOptionsState::BorderLines::Vertical);
    EXPECT_FALSE(changed.AutoSize);
    EXPECT_TRUE(changed.PrintTime);
}

TEST(OptionsPage, PrintFontSetsTheFontsOfThePrintout) {
    TReportGrid grid = results(3);
    PrintOptionsPage page;
    GridPrinting printing(grid, page);
    QString dialogTitle;
    OnNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<QFontDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        dialogTitle = dlg->windowTitle();
        QFont serif("DejaVu Serif");
        serif.setPointSize(12);
        serif.setBold(true);
        dlg->setCurrentFont(serif);
        dlg->accept();
    });
    page.Button8->click();
    EXPECT_EQ(dialogTitle, "Print font");
    const TPrintsettings& s = printing.Print().PrintSettings;
    EXPECT_EQ(s.Font.Size, 12);
    EXPECT_TRUE(s.Font.Bold);
    EXPECT_EQ(s.HeaderFont, s.Font);
    EXPECT_EQ(s.FooterFont, s.Font);
    // The options copied at every print leave the chosen font alone.
    printing.SetPrintOptions();
    EXPECT_EQ(printing.Print().PrintSettings.Font.Size, 12);

    OnNextModal([](QWidget* w) {
        if (w) static_cast<QDialog*>(w)->reject();
    });
    page.Button8->click();
    EXPECT_EQ(printing.Print().PrintSettings.Font.Size, 12); // Cancel changes nothing
}

TEST(PagePreview, CaptionPageLabelAndPaging) {
    TReportGrid grid = results(120);
    TGridPrint print;
    TPagePreview preview(grid, print);
    EXPECT_EQ(preview.windowTitle(), "Print preview");
    EXPECT_EQ(preview.size(), QSize(674, 584));
    EXPECT_EQ(preview.PrevButton->text(), "Prev");
    EXPECT_EQ(preview.NextButton->text(), "Next");
    EXPECT_EQ(preview.PageLabel->text(), "Page : 1");
    preview.show();
    preview.PageArea->grab(); // a repaint counts the pages
    ASSERT_GT(print.PageCount, 2);
    EXPECT_EQ(print.PrintSettings.HeaderSize, 150);

    preview.PrevButton->click();
    EXPECT_EQ(preview.PageLabel->text(), "Page : 1");
    preview.NextButton->click();
    EXPECT_EQ(preview.PageLabel->text(), "Page : 2");
    EXPECT_EQ(print.FromPage, 2);
    for (int i = 0; i < print.PageCount + 3; ++i)
        preview.NextButton->click();
    EXPECT_EQ(preview.PageLabel->text(), QString("Page : %1").arg(print.PageCount));
    preview.PrevButton->click();
    EXPECT_EQ(preview.PageLabel->text(), QString("Page : %1").arg(print.PageCount - 1));
    // The page drawn is the page shown: a grab paints without failing on the last pages too.
    EXPECT_FALSE(preview.PageArea->grab().isNull());
}

TEST(PrintCommands, PreviewAlwaysOpensOnPageOneAndSetupShowsThePageDialog) {
    TReportGrid grid = results(120);
    PrintOptionsPage page;
    GridPrinting printing(grid, page);
    printing.Print().FromPage = printing.Print().ToPage = 3;
    QString title, label;
    OnNextModal([&](QWidget* w) {
        auto* preview = qobject_cast<TPagePreview*>(w);
        ASSERT_NE(preview, nullptr);
        title = preview->windowTitle();
        label = preview->PageLabel->text();
        preview->PageArea->grab();
        preview->NextButton->click();
        preview->close();
    });
    printing.PrintPreview1Click(nullptr);
    EXPECT_EQ(title, "Print preview");
    EXPECT_EQ(label, "Page : 1");
    EXPECT_EQ(printing.Print().FromPage, 2);
    EXPECT_EQ(printing.Print().PrintSettings.HeaderSize, 150);

    bool pageSetup = false;
    OnNextModal([&](QWidget* w) {
        pageSetup = qobject_cast<QPageSetupDialog*>(w) != nullptr;
        if (w) static_cast<QDialog*>(w)->reject();
    });
    printing.PrintSetup1Click(nullptr);
    EXPECT_TRUE(pageSetup);
}

TEST(PrintCommands, WithoutAPrinterThePagesGoToLarkspanPdf) {
    InTempDir dir;
    TReportGrid grid = results(150);
    PrintOptionsPage page;
    page.PrintPageNumbersCheckBox->setChecked(true);
    GridPrinting printing(grid, page);
    printing.HasPrinter = [] { return false; };
    printing.Printer().setPageSize(QPageSize(QPageSize::A4));
    const std::string path = printing.FilePrintItemClick();
    EXPECT_EQ(QString::fromStdString(path), QDir(dir.path()).absoluteFilePath("Larkspan.pdf"));
    const QByteArray pdf = readFile(QString::fromStdString(path));
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_GT(printing.Print().PageCount, 1);
    EXPECT_EQ(pdfPages(pdf), printing.Print().PageCount);
    EXPECT_EQ(printing.Print().ToPage, printing.Print().PageCount);
    EXPECT_EQ(printing.Print().PrintSettings.PageNr, TPrintPosition::ppBottomCenter);
    EXPECT_EQ(firstMediaBox(pdf), QSizeF(595, 842)); // A4 on this test printer

    // The paper chosen in the page setup holds for the file too, the orientation does not.
    printing.Printer().setPageSize(QPageSize(QPageSize::Letter));
    printing.Printer().setPageOrientation(QPageLayout::Landscape);
    printing.FilePrintItemClick();
    EXPECT_EQ(firstMediaBox(readFile(QString::fromStdString(path))), QSizeF(612, 792));
}

TEST(PrintCommands, ThePrinterPrintsInPortraitWhateverTheSetupChose) {
    InTempDir dir;
    TReportGrid grid = results(40);
    PrintOptionsPage page;
    GridPrinting printing(grid, page);
    printing.HasPrinter = [] { return true; };
    // A printer that writes a file stands in for a real one.
    const QString file = QDir(dir.path()).absoluteFilePath("printer.pdf");
    printing.Printer().setOutputFormat(QPrinter::PdfFormat);
    printing.Printer().setOutputFileName(file);
    printing.Printer().setPageOrientation(QPageLayout::Landscape);
    EXPECT_EQ(printing.FilePrintItemClick(), "");
    const QSizeF media = firstMediaBox(readFile(file));
    ASSERT_TRUE(media.isValid());
    EXPECT_LT(media.width(), media.height());
    EXPECT_FALSE(QFile::exists(QDir(dir.path()).absoluteFilePath("Larkspan.pdf")));
}

TEST(HeadlessPdf, StartStatesAndUnwritableFiles) {
    InTempDir dir;
    TReportGrid grid = results(300);
    const std::string path = PrintGridToPdf(grid);
    EXPECT_EQ(QString::fromStdString(path), QDir(dir.path()).absoluteFilePath("Larkspan.pdf"));
    const QByteArray pdf = readFile(QString::fromStdString(path));
    ASSERT_TRUE(pdf.startsWith("%PDF-"));
    EXPECT_GE(pdfPages(pdf), 4);
    try {
        PrintGridToPdf(grid, "no-such-dir/Larkspan.pdf");
        FAIL() << "no error";
    } catch (const EReportGridError& e) {
        EXPECT_STREQ(e.what(), "Cannot create no-such-dir/Larkspan.pdf");
    }
}

TEST(PagePreview, TheLabelNamesThePageDrawnAfterThePagesGrewFewer) {
    TReportGrid grid = results(120);
    TGridPrint print;
    TPagePreview preview(grid, print);
    preview.show();
    preview.PageArea->grab();
    const int before = print.PageCount;
    for (int i = 0; i < before; ++i)
        preview.NextButton->click();
    ASSERT_EQ(preview.PageLabel->text(), QString("Page : %1").arg(before));
    preview.resize(674, 2000); // a taller page holds more rows
    preview.PageArea->grab();
    ASSERT_LT(print.PageCount, before);
    EXPECT_EQ(print.FromPage, print.PageCount);
    EXPECT_EQ(preview.PageLabel->text(), QString("Page : %1").arg(print.FromPage));
}
