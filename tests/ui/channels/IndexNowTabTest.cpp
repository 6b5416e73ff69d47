// The IndexNow tab of "Live Channels" inside the window: its values are saved with the profile
// and checked before, and its key file commands.
#include "ui/channels/IndexNowTab.h"
#include "core/indexnow/IndexNowSubmission.h"
#include "platform/Error.h"
#include "tests/common/TempDir.h"
#include "ui/channels/LiveChannelsDialog.h"
#include "ui/MainWindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <gtest/gtest.h>

TEST(IndexNowTab, KeyAndLocationAreCheckedSavedAndWrittenAsAKeyFile) {
    TempDir dir;
    dir.write("Alpha.ini", "[Settings]\nURL=http://alpha.example/\nSite Title=Alpha\n");
    dir.write("Beta.ini", "[Settings]\nURL=http://beta.example/\nSite Title=Beta\nIndexNowKey=beta-key-1\n");
    MainWindow w(dir.str(), "");
    IndexNowTab* tab = nullptr;
    for (LiveChannelTab* t : w.liveChannels()->tabs())
        if (auto* found = qobject_cast<IndexNowTab*>(t)) tab = found;
    ASSERT_NE(tab, nullptr);
    w.loadProfileIntoEditor("Beta");
    EXPECT_EQ(tab->keyEdit()->text(), "beta-key-1");
    w.loadProfileIntoEditor("Alpha");
    EXPECT_EQ(tab->keyEdit()->text(), "");
    const std::string before = dir.read("Alpha.ini");

    // A key of the wrong form, or a location on another host, keeps the profile from being saved.
    tab->keyEdit()->setText("short");
    try {
        w.SaveSettingsClick();
        ADD_FAILURE() << "saved a key of the wrong form";
    } catch (const LarkspanError& e) {
        EXPECT_EQ(std::string(e.what()), indexNowKeyProblem("short"));
    }
    tab->confirmReplace = [] { return true; };
    tab->GenerateClick();
    const std::string key = tab->keyEdit()->text().toStdString();
    EXPECT_EQ(indexNowKeyProblem(key), "");
    tab->locationEdit()->setText("https://cdn.example/key.txt");
    EXPECT_THROW(w.SaveSettingsClick(), LarkspanError);
    EXPECT_EQ(dir.read("Alpha.ini"), before);
    tab->locationEdit()->clear();
    w.SaveSettingsClick();
    EXPECT_NE(dir.read("Alpha.ini").find("IndexNowKey=" + key + "\n"), std::string::npos);
    EXPECT_EQ(dir.read("Alpha.ini").find("IndexNowKeyLocation"), std::string::npos);
    // "Announce every page on the first run" is the profile's own, saved and loaded with it.
    EXPECT_EQ(dir.read("Alpha.ini").find("IndexNowFirstRun"), std::string::npos);
    tab->firstRunCheck()->setChecked(true);
    w.SaveSettingsClick();
    EXPECT_NE(dir.read("Alpha.ini").find("IndexNowFirstRun=all\n"), std::string::npos);
    w.loadProfileIntoEditor("Beta");
    EXPECT_FALSE(tab->firstRunCheck()->isChecked());
    w.loadProfileIntoEditor("Alpha");
    EXPECT_TRUE(tab->firstRunCheck()->isChecked());
    tab->firstRunCheck()->setChecked(false);
    w.SaveSettingsClick();
    EXPECT_NE(dir.read("Alpha.ini").find("IndexNowFirstRun=\n"), std::string::npos);

    TempDir upload;
    tab->chooseFolder = [&] { return QString::fromStdString(upload.str()); };
    tab->SaveKeyFileClick();
    EXPECT_EQ(upload.read(key + ".txt"), key);
    // The key file lies on the site's origin, with its scheme.
    EXPECT_NE(tab->result().toStdString().find("http://alpha.example/" + key + ".txt"), std::string::npos);

    tab->keyEdit()->clear();
    tab->CheckKeyFileClick();
    EXPECT_EQ(tab->result(), "There is no key to check: type one or press Generate.");
}
