#include "tests/ui/ModalHelper.h"

#include "grid/ReportGrid.h"
#include "ui/FindCommands.h"
#include "ui/FindDialogs.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

TReportGrid results() {
    TReportGrid g(2, 5, 1, 1);
    const char* cells[][2] = {{"Engine", "URLs Submitted"},
                              {"AltaVista", "Velloway"},
                              {"Google", "Tessaly"},
                              {"Lycos", "Velloway"},
                              {"", ""}};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 2; ++c)
            g.SetCellText(c, r, cells[r][c]);
    return g;
}

QStringList labelTexts(QWidget* w) {
    QStringList out;
    for (QLabel* l : w->findChildren<QLabel*>())
        out << l->text();
    return out;
}

// Fills in the find dialog that the command opens and presses OK (or Cancel).
void answerFindDialog(const QString& text, std::function<void(Tfinddlg*)> set, bool ok = true) {
    OnNextModal([=](QWidget* w) {
        auto* dlg = qobject_cast<Tfinddlg*>(w);
        ASSERT_NE(dlg, nullptr);
        dlg->findtext->setText(text);
        if (set) set(dlg);
        ok ? dlg->accept() : dlg->reject();
    });
}

// Closes the next message box and hands back its text.
void expectMessage(QString* text) {
    OnNextModal([text](QWidget* w) {
        *text = MessageText(w);
        if (w) w->close();
    });
}

} // namespace

TEST(FindDialog, CaptionSizeDefaultsAndOptions) {
    Tfinddlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Find");
    EXPECT_EQ(dlg.size(), QSize(360, 174));
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_TRUE(labelTexts(&dlg).contains("Text to find :"));
    EXPECT_EQ(dlg.chkcase->text(), "Case sensitive");
    EXPECT_EQ(dlg.chkfull->text(), "Whole words only");
    EXPECT_EQ(dlg.chkregular->text(), "Regular expressions");
    EXPECT_EQ(dlg.findChild<QGroupBox*>("where")->title(), "Where ");
    EXPECT_EQ(dlg.findChild<QGroupBox*>("dir")->title(), "Direction");
    EXPECT_EQ(dlg.whereCurrentColumn->text(), "In current column");
    EXPECT_EQ(dlg.dirLeftRight->text(), "Left - right");
    EXPECT_TRUE(dlg.findtext->text().isEmpty());
    EXPECT_TRUE(dlg.whereEntireGrid->isChecked());
    EXPECT_TRUE(dlg.dirTopDown->isChecked());
    EXPECT_EQ(dlg.Options(), 0u);

    dlg.chkcase->setChecked(true);
    dlg.chkregular->setChecked(true);
    dlg.whereCurrentColumn->setChecked(true);
    dlg.dirLeftRight->setChecked(true);
    EXPECT_EQ(dlg.Options(), MatchCase | MatchPattern | CurrentColumnOnly | LeftToRight);
    EXPECT_FALSE(dlg.whereEntireGrid->isChecked());
    dlg.whereCurrentRow->setChecked(true);
    dlg.chkfull->setChecked(true);
    EXPECT_EQ(dlg.Options(), MatchCase | MatchWholeCell | MatchPattern | CurrentRowOnly | LeftToRight);
}

TEST(FindDialog, HelpOpensOverTheFindDialog) {
    Tfindhlp help;
    EXPECT_EQ(help.windowTitle(), "Find help");
    EXPECT_EQ(help.size(), QSize(360, 147));
    EXPECT_EQ(help.minimumSize(), help.maximumSize());
    EXPECT_EQ(help.palette().color(QPalette::Window), help.palette().color(QPalette::ToolTipBase));
    const QStringList texts = labelTexts(&help);
    for (const char* t : {"Regular expressions can consist of :", "* or ?",
                          "meaning any or single character can be substituted on position", "> or <",
                          "meaning text must be alphabetically larger or less ", "!",
                          "negation of the condition", "& or ^", "and or or function of two conditions"})
        EXPECT_TRUE(texts.contains(t)) << t;
    ASSERT_EQ(help.findChildren<QPushButton*>().size(), 1);
    EXPECT_EQ(help.findChildren<QPushButton*>().front()->text(), "OK");

    Tfinddlg dlg;
    dlg.show();
    QString title;
    QWidget* parent = nullptr;
    OnNextModal(
        [&](QWidget* w) {
            title = w ? w->windowTitle() : QString();
            parent = w ? w->parentWidget() : nullptr;
            if (w) w->close();
        },
        &dlg);
    dlg.findChild<QPushButton*>("helpButton")->click();
    EXPECT_EQ(title, "Find help");
    EXPECT_EQ(parent, &dlg);
}

TEST(FindCommands, FindFirstMovesTheCurrentCellOrSaysTextNotFound) {
    TReportGrid grid = results();
    TFindState find;
    answerFindDialog("velloway", nullptr);
    auto found = FindFirst1Click(nullptr, grid, find);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, (GridCell{1, 1}));
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 1);

    EXPECT_EQ(FindNextF31Click(nullptr, grid, find), (GridCell{1, 3}));
    EXPECT_EQ(grid.Row(), 3);
    EXPECT_TRUE(grid.InSelection(1, 3));

    QString message;
    expectMessage(&message);
    EXPECT_EQ(FindNextF31Click(nullptr, grid, find), (GridCell{-1, -1}));
    EXPECT_EQ(message, "Text not found");
    EXPECT_EQ(grid.Row(), 3); // the current cell stays where it was

    // A search that ignores case would find "Velloway"; with case it misses.
    message.clear();
    answerFindDialog("velloway", [](Tfinddlg* d) { d->chkcase->setChecked(true); });
    expectMessage(&message);
    EXPECT_EQ(FindFirst1Click(nullptr, grid, find), GridCell{});
    EXPECT_EQ(message, "Text not found");
    EXPECT_EQ(find.Options(), MatchCase);
}

TEST(FindCommands, EveryFindFirstStartsFromTheDefaultsAndCancelDoesNothing) {
    TReportGrid grid = results();
    TFindState find;
    answerFindDialog("Tessaly", [](Tfinddlg* d) { d->dirLeftRight->setChecked(true); });
    EXPECT_EQ(FindFirst1Click(nullptr, grid, find), (GridCell{1, 2}));
    bool defaults = false;
    OnNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<Tfinddlg*>(w);
        defaults =
            dlg && dlg->findtext->text().isEmpty() && dlg->dirTopDown->isChecked() && dlg->Options() == 0;
        if (dlg) dlg->reject();
    });
    EXPECT_FALSE(FindFirst1Click(nullptr, grid, find).has_value());
    EXPECT_TRUE(defaults);
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_EQ(find.Text(), "Tessaly"); // a cancelled dialog keeps the last search
}

TEST(FindCommands, FindNextBeforeFindFirstAndTheWrapToTheHeader) {
    TReportGrid grid = results();
    TFindState find;
    QString message;
    expectMessage(&message);
    EXPECT_EQ(FindNextF31Click(nullptr, grid, find), GridCell{});
    EXPECT_EQ(message, "Text not found");

    answerFindDialog("Engine", nullptr);
    expectMessage(&message);
    EXPECT_EQ(FindFirst1Click(nullptr, grid, find), GridCell{});
    // The miss keeps the start of the area; the next F3 continues below it and misses too.
    expectMessage(&message);
    EXPECT_EQ(FindNextF31Click(nullptr, grid, find), GridCell{});
    EXPECT_EQ(FindNextF31Click(nullptr, grid, find), (GridCell{0, 0}));
    EXPECT_EQ(grid.Col(), 0);
    EXPECT_EQ(grid.Row(), 0);
}
