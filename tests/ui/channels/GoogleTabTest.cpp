// The Google Search Console tab of the Live Channels dialog: what it loads, refuses and saves.
#include "ui/channels/GoogleTab.h"

#include "core/channels/ChannelTable.h"
#include "core/google/SearchConsoleChannel.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "ui/channels/ChannelTabs.h"
#include "ui/channels/LiveChannelsDialog.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(GoogleTab, LoadsChecksAndSavesTheKeyFileAndTheProperty) {
    TempDir dir;
    ProfileFiles store(dir.str());
    dir.write("key.json", "{}");
    store.save(completeProfile("Garden", "https://WWW.Example.com/shop/"),
               {{GoogleServiceAccountKey, "key.json"}, {SearchConsolePropertyKey, "sc-domain:example.com"}});
    store.save(completeProfile("Plain", "http://plain.example/"));

    GoogleTab tab;
    tab.load(store, "Garden");
    EXPECT_EQ(tab.KeyFileEdit->text(), "key.json");
    EXPECT_EQ(tab.PropertyEdit->text(), "sc-domain:example.com");
    EXPECT_EQ(tab.PropertyEdit->placeholderText(), "https://www.example.com/ (from the URL)");
    EXPECT_EQ(tab.check(), std::nullopt);
    EXPECT_EQ(tab.extras(), (ProfileExtras{{"GoogleServiceAccount", "key.json"},
                                           {"SearchConsoleProperty", "sc-domain:example.com"}}));

    // What the run could not use is refused before it is saved.
    tab.PropertyEdit->setText("https://www.example.com");
    EXPECT_EQ(tab.check(),
              "The Search Console property is a URL prefix ending in \"/\" (https://www.example.com/) "
              "or sc-domain: and a domain.");
    tab.PropertyEdit->setText("  ");
    tab.KeyFileEdit->setText("missing.json");
    EXPECT_EQ(tab.check(), "The service account key file " + dir.file("missing.json") + " cannot be read.");
    tab.KeyFileEdit->setText("");
    tab.PropertyEdit->setText("sc-domain:example.org");
    EXPECT_EQ(tab.check(), "A Search Console property needs the service account's key file.");

    // A profile without the keys shows empty lines and keeps its file as it was.
    tab.load(store, "Plain");
    EXPECT_EQ(tab.KeyFileEdit->text(), "");
    EXPECT_EQ(tab.PropertyEdit->text(), "");
    EXPECT_EQ(tab.PropertyEdit->placeholderText(), "http://plain.example/ (from the URL)");
    EXPECT_EQ(tab.check(), std::nullopt);
    const std::string before = dir.read("Plain.ini");
    store.save(store.load("Plain"), tab.extras());
    EXPECT_EQ(dir.read("Plain.ini"), before);

    // The dialog lists the tab.
    std::vector<std::unique_ptr<LiveChannelTab>> tabs;
    for (LiveChannelTab* t : LiveChannelsDialog::channelTabs())
        tabs.emplace_back(t);
    EXPECT_EQ(std::count_if(tabs.begin(), tabs.end(),
                            [](const auto& t) { return t->title() == "Google Search Console"; }),
              1);
}

// A channel that declares only plain keys, and its rule for them.
std::optional<std::string> siteNeedsToken(const ProfileExtras& values, const ChannelKeyContext& context) {
    if (channelValue(values, "XyzToken").empty() && !channelValue(values, "XyzSite").empty())
        return "A site needs a token (" + context.profileDirectory + ")";
    return std::nullopt;
}

TEST(GeneratedChannelTab, ShowsLoadsChecksAndSavesTheDeclaredKeys) {
    const ChannelDeclaration xyz{
        "xyz",
        "Xyz",
        "Go! tells Xyz.",
        {{"XyzToken", "Token", "Token|The token"}, {"XyzSite", "Site", "Site|The site"}},
        siteNeedsToken,
        {},
        nullptr,
        "xyz.md"};
    TempDir dir;
    ProfileFiles store(dir.str());
    store.save(completeProfile("Garden"), {{"XyzSite", "garden"}, {"XyzToken", "t1"}});
    store.save(completeProfile("Plain"));

    GeneratedChannelTab tab(xyz);
    EXPECT_EQ(tab.title(), "Xyz");
    ASSERT_EQ(tab.edits().size(), 2u);
    tab.load(store, "Garden");
    EXPECT_EQ(tab.edits()[0]->text(), "t1");
    EXPECT_EQ(tab.edits()[1]->text(), "garden");
    EXPECT_EQ(tab.check(), std::nullopt);
    // The channel's own rule refuses what it cannot use, with the profiles' directory to hand.
    tab.edits()[0]->setText("  ");
    EXPECT_EQ(tab.check(), "A site needs a token (" + dir.str() + ")");
    tab.edits()[1]->setText(" shop ");
    EXPECT_EQ(tab.extras(), (ProfileExtras{{"XyzToken", ""}, {"XyzSite", "shop"}}));

    // A profile without the keys shows empty lines and keeps its file as it was.
    tab.load(store, "Plain");
    EXPECT_EQ(tab.edits()[1]->text(), "");
    const std::string before = dir.read("Plain.ini");
    store.save(store.load("Plain"), tab.extras());
    EXPECT_EQ(dir.read("Plain.ini"), before);
}

} // namespace
