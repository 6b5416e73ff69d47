#include "ui/ReportGridWidget.h"
#include "ui/FindCommands.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

struct SubmitList {
    TReportGrid grid{1, 5, 0, 1};
    ReportGridWidget widget{grid, ReportGridWidget::Selection::WholeRows};
    std::vector<std::string> opened;
    SubmitList() {
        grid.DisjunctRowSelect = true;
        grid.SetCellText(0, 0, "Title");
        for (int r = 1; r < 5; ++r)
            grid.SetCellText(0, r, "site " + std::to_string(r));
        widget.resize(300, 200);
        widget.openLink = [this](const std::string& t) { opened.push_back(t); };
        widget.show();
    }
    void click(int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(widget.viewport(), Qt::LeftButton, mods, widget.cellRect(0, row).center());
    }
};

} // namespace

TEST(ReportGridWidget, ClicksCtrlClicksAndShiftClicksSelectAndMarkRows) {
    SubmitList s;
    s.click(1);
    s.click(3, Qt::ControlModifier);
    EXPECT_TRUE(s.grid.RowMarked(1));
    EXPECT_TRUE(s.grid.RowMarked(3));
    EXPECT_TRUE(s.grid.InSelection(0, 3));
    EXPECT_FALSE(s.grid.InSelection(0, 1));
    s.click(2);
    EXPECT_FALSE(s.grid.RowMarked(1));
    EXPECT_TRUE(s.grid.RowMarked(2));
    s.click(4, Qt::ShiftModifier);
    for (int r = 2; r <= 4; ++r)
        EXPECT_TRUE(s.grid.InSelection(0, r) && s.grid.RowMarked(r)) << r;
    // The keyboard moves the rectangle and leaves the marks alone.
    QTest::keyClick(&s.widget, Qt::Key_Up);
    EXPECT_EQ(s.grid.Selection().Top, 3);
    EXPECT_TRUE(s.grid.RowMarked(2));
}

TEST(ReportGridWidget, HeaderClicksDoNothingAndLinkCellsOpen) {
    TReportGrid g(2, 3, 1, 1);
    g.SetCellText(0, 0, "Engine");
    g.SetCellText(1, 2, "http://www.example.com/Larkspan/Default.htm");
    g.SetCellText(0, 1, "b");
    g.SetCellText(0, 2, "a");
    ReportGridWidget w(g, ReportGridWidget::Selection::Cells);
    std::vector<std::string> opened;
    w.openLink = [&](const std::string& t) { opened.push_back(t); };
    w.resize(700, 200);
    w.show();
    GridRect before = g.Selection();
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, w.cellRect(0, 0).center());
    EXPECT_EQ(g.CellText(0, 1), "b");
    EXPECT_EQ(g.Selection().Top, before.Top);
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, w.cellRect(1, 2).center());
    EXPECT_EQ(opened, std::vector<std::string>{"http://www.example.com/Larkspan/Default.htm"});
    EXPECT_TRUE(g.InSelection(1, 2));
}

TEST(ReportGridWidget, ShiftExtendsFromTheCellThatFindMovedTo) {
    TReportGrid g(2, 8, 1, 1);
    for (int r = 1; r < 8; ++r)
        g.SetCellText(1, r, "site " + std::to_string(r));
    ReportGridWidget w(g, ReportGridWidget::Selection::Cells);
    w.resize(700, 300);
    w.show();
    QTest::mouseClick(w.viewport(), Qt::LeftButton, {}, w.cellRect(1, 1).center());
    MoveToCell(g, {1, 4});
    QTest::keyClick(&w, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(g.Selection().Top, 4);
    EXPECT_EQ(g.Selection().Bottom, 5);
    MoveToCell(g, {1, 6});
    QTest::mouseClick(w.viewport(), Qt::LeftButton, Qt::ShiftModifier, w.cellRect(1, 3).center());
    EXPECT_EQ(g.Selection().Top, 3);
    EXPECT_EQ(g.Selection().Bottom, 6);
}
