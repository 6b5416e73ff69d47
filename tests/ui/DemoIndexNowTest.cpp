// The demo of tools/run.sh in the window: its profiles, its sites and its certificates, with
// the simulator playing api.indexnow.org through its tunnel. The first "Go!" of the profile
// with a key shows an accepted IndexNow submission.
#include "core/Config.h"
#include "tests/common/TempDir.h"
#include "tools/simulator/EngineSimulator.h"
#include "ui/MainWindow.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/WindowRunHost.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

TEST(Demo, TheFirstGoShowsAnAcceptedIndexNowSubmission) {
    TempDir dir;
    const std::string demo = LARKSPAN_SOURCE_DIR "/tools/demo";
    std::filesystem::create_directories(dir / "profiles");
    for (const auto& entry : std::filesystem::directory_iterator(demo + "/profiles"))
        std::filesystem::copy_file(entry.path(), dir / "profiles" / entry.path().filename());
    const std::string make =
        std::string("'" LARKSPAN_SOURCE_DIR "/tools/make-demo-certs.sh' '") + dir.file("tls") + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    EngineSimulator simulator({}, EngineSimulator::defaultScript(),
                              {dir.file("tls/server.pem"), dir.file("tls/server.key")},
                              {"--sites", demo + "/sites"});

    Config config;
    config.proxy = simulator.address();
    config.caFile = dir.file("tls/ca.pem");
    MainWindow window(dir.file("profiles"), "");
    WindowRun run(window, config);
    run.host().showInformation = [](const std::string&) {};
    window.show();
    int row = 0;
    for (int r = 1; r < window.SubmitListGrid().RowCount(); ++r)
        if (window.SubmitListGrid().CellText(0, r) == "Fjord Kayak Tours") row = r;
    ASSERT_GT(row, 0);
    window.SubmitListGrid().SetSelection({0, row, 0, row});
    window.runButtons().GoButton->click();

    int found = 0;
    for (int r = 1; r < window.Grid().RowCount(); ++r)
        if (window.Grid().CellText(0, r) == "IndexNow (api.indexnow.org)") found = r;
    ASSERT_GT(found, 0) << window.progress().Memo1->toPlainText().toStdString();
    EXPECT_EQ(window.Grid().CellText(1, found), "Fjord Kayak Tours");
    EXPECT_EQ(run.run().ResultCount(), 33);
    EXPECT_FALSE(run.run().liveRefused());
}
