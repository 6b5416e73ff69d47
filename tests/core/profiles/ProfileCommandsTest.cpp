#include "core/profiles/ProfileCommands.h"
#include "grid/ReportGrid.h"
#include "platform/Error.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

namespace {

// The editor page as plain values; the live channels hold one key, refused while `problem` is set.
class FakeEditor : public ProfileEditor {
public:
    std::string fieldText(std::size_t field) const override { return fields[field]; }
    void setFieldText(std::size_t field, const std::string& text) override { fields[field] = text; }
    std::string sitemap() const override { return sitemapLine; }
    void setSitemap(const std::string& text) override { sitemapLine = text; }
    void loadLiveChannels(const ProfileFiles& store, const std::string& name) override {
        liveKey = store.loadExtra(name, "IndexNowKey");
    }
    ProfileExtras liveChannelValues() const override { return {{"IndexNowKey", liveKey}}; }
    std::optional<std::string> liveChannelProblem() const override { return problem; }

    SiteProfile fields{};
    std::string sitemapLine;
    std::string liveKey;
    std::optional<std::string> problem;
};

struct Commands {
    explicit Commands(const std::string& dir)
        : commands(dir, list, submission, editor, [this](const std::string& t) { status = t; }) {}
    TReportGrid list{1, 0, 0, 0};
    TReportGrid submission{1, 2, 0, 1};
    FakeEditor editor;
    std::string status;
    ProfileCommands commands;
};

} // namespace

TEST(ProfileCommands, ListLoadSaveAndDeleteKeepTheListsTheEditorAndTheSelectionTogether) {
    TempDir dir;
    dir.write("Alpha.ini", "[Settings]\nSite Title=Alpha\nName=Ann\nSitemap=http://a.example/s.xml\n"
                           "IndexNowKey=k1\n");
    Commands c(dir.str());
    c.commands.listProfiles();
    EXPECT_EQ(c.list.RowCount(), 1);
    EXPECT_EQ(c.submission.CellText(0, 1), "Alpha");
    EXPECT_EQ(c.commands.currentSelection(), "Alpha");
    EXPECT_EQ(c.status, "Current Selection: Alpha");
    EXPECT_EQ(c.editor.fields[fName], "Ann");
    EXPECT_EQ(c.editor.sitemapLine, "http://a.example/s.xml");
    EXPECT_EQ(c.editor.liveKey, "k1");

    // A refused live channel value keeps the whole profile from being written.
    c.editor.fields[fSiteTitle] = "Beta";
    c.editor.problem = "The IndexNow key is too short";
    EXPECT_THROW(c.commands.save(), LarkspanError);
    EXPECT_FALSE(std::filesystem::exists(dir / "Beta.ini"));
    c.editor.problem.reset();
    c.commands.save();
    const std::string beta = dir.read("Beta.ini");
    EXPECT_LT(beta.find("Sitemap=http://a.example/s.xml"), beta.find("IndexNowKey=k1")) << beta;

    c.commands.listProfiles();
    int betaRow = c.list.CellText(0, 0) == "Beta" ? 0 : 1;
    c.commands.selectRow(betaRow);
    EXPECT_EQ(c.commands.currentSelection(), "Beta");
    EXPECT_EQ(c.commands.deleteQuestion(), "Do you wish to delete the information for Beta?");
    c.commands.deleteCurrent();
    EXPECT_FALSE(std::filesystem::exists(dir / "Beta.ini"));
    EXPECT_EQ(c.list.RowCount(), 1);
    EXPECT_EQ(c.commands.currentSelection(), "Alpha");
}

TEST(ProfileCommands, AnUnreadableDirectoryEmptiesTheListsAndSaysWhy) {
    TempDir dir;
    Commands c(dir.str() + "/gone");
    c.editor.fields[fName] = "left over";
    EXPECT_THROW(c.commands.listProfiles(), LarkspanError);
    EXPECT_NE(c.status.find("cannot be read"), std::string::npos) << c.status;
    EXPECT_EQ(c.list.RowCount(), 0);
    EXPECT_EQ(c.editor.fields[fName], "");
}
