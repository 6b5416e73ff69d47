// The run driven through the main window's buttons and timer, against the engine simulator.
#include "core/Config.h"
#include "tests/common/TempDir.h"
#include "tests/core/support/RunTestSupport.h"
#include "tools/simulator/EngineSimulator.h"
#include "ui/Gauge.h"
#include "ui/MainWindow.h"
#include "ui/ProfileEditorPage.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/WindowRunHost.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>

#include <memory>

namespace {

const QString GoogleLabel = "Submitting http://www.example.com/ to Google";

class WindowRunTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<EngineSimulator> simulator;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowRun> run;
    std::vector<std::string> boxes;
    Config config;

    void open(const std::vector<std::string>& rules, const std::vector<std::string>& titles) {
        simulator = std::make_unique<EngineSimulator>(rules);
        ProfileFiles store(dir.str());
        for (const std::string& title : titles)
            store.save(completeProfile(title));
        config.proxy = simulator->address();
        window = std::make_unique<MainWindow>(dir.str(), "");
        run = std::make_unique<WindowRun>(*window, config);
        run->host().showInformation = [this](const std::string& message) {
            boxes.push_back(message);
            // What the user sees while the box is up.
            goHiddenAtBox =
                window->runButtons().GoButton->isHidden() && window->runButtons().GoImage->isHidden();
            pauseShownAtBox = !window->runButtons().PauseButton->isHidden() &&
                              !window->runButtons().StopButton->isHidden() &&
                              !window->runButtons().PauseImage->isHidden() &&
                              !window->runButtons().StopImage->isHidden();
            liveChannelsEnabledAtBox = window->editor().LiveChannelsButton->isEnabled();
        };
        window->show();
        window->SubmitListGrid().SetSelection({0, 1, 0, static_cast<int>(titles.size())});
    }
    bool goHiddenAtBox = false;
    bool pauseShownAtBox = false;
    bool liveChannelsEnabledAtBox = true;
};

TEST_F(WindowRunTest, GoRunsTheSelectionAndTheWindowShowsTheOutcome) {
    open({"/submit=refuse"}, {"Garden"});
    EXPECT_FALSE(window->runButtons().GoButton->isHidden());
    EXPECT_TRUE(window->runButtons().PauseButton->isHidden());
    EXPECT_EQ(window->pages()->currentIndex(), MainWindow::SubmitListPage);
    window->runButtons().GoButton->click();

    EXPECT_EQ(window->pages()->currentIndex(), MainWindow::ProgressPage);
    EXPECT_EQ(boxes, std::vector<std::string>{"Done!"});
    EXPECT_TRUE(goHiddenAtBox);
    EXPECT_TRUE(pauseShownAtBox);
    // The live channels' settings wait for the run's end: it loads each profile into the editor.
    EXPECT_FALSE(liveChannelsEnabledAtBox);
    EXPECT_TRUE(window->editor().LiveChannelsButton->isEnabled());
    EXPECT_FALSE(window->runButtons().GoButton->isHidden());
    EXPECT_FALSE(window->runButtons().GoImage->isHidden());
    EXPECT_TRUE(window->runButtons().PauseButton->isHidden());
    EXPECT_TRUE(window->runButtons().StopImage->isHidden());
    EXPECT_EQ(window->progress().Label6->text(), "Finished!");
    EXPECT_TRUE(window->progress().Gauge1->isHidden());
    EXPECT_EQ(window->statusText(), "");
    EXPECT_EQ(window->currentSelection(), "Garden");
    EXPECT_EQ(window->progress().Memo1->toPlainText(),
              "Failed to contact Alexa (method 2). Site might be down.");
    EXPECT_TRUE(window->progress().Memo1->isHidden());
    // The fifteen entries of the shared service were not answered and are not listed.
    EXPECT_EQ(run->run().ResultCount(), 17);
    expectFooter(window->Grid(), 17, config.footerAddress());
    EXPECT_EQ(window->fieldText(fPhone), "5551234567");
    // The run leaves the animation idle; the timer's next tick hides a frame that a tick during
    // the run showed (on a busy machine the run is long enough for one).
    auto anyShown = [&] {
        return std::any_of(window->progress().Images.begin(), window->progress().Images.end(),
                           [](QLabel* i) { return !i->isHidden(); });
    };
    for (int waited = 0; anyShown() && waited < 2000; waited += 20)
        QTest::qWait(20);
    for (QLabel* image : window->progress().Images)
        EXPECT_TRUE(image->isHidden());
}

TEST_F(WindowRunTest, TheTimerKeepsAnimatingWhileARequestWaits) {
    open({"www.google.com=delay:1000"}, {"Garden"});
    std::vector<int> framesDuringGoogle;
    QObject::connect(window->Timer1, &QTimer::timeout, window.get(), [&] {
        if (window->progress().Label6->text() != GoogleLabel) return;
        int shown = -1;
        for (int i = 0; i < 10; ++i)
            if (!window->progress().Images[static_cast<std::size_t>(i)]->isHidden()) shown = i;
        framesDuringGoogle.push_back(shown);
    });
    window->runButtons().GoButton->click();
    // A second of waiting is five ticks of 200 ms, each showing the next frame.
    ASSERT_GE(framesDuringGoogle.size(), 3u);
    for (std::size_t i = 1; i < framesDuringGoogle.size(); ++i) {
        EXPECT_GE(framesDuringGoogle[i], 0);
        EXPECT_EQ(framesDuringGoogle[i], (framesDuringGoogle[i - 1] + 1) % 9);
    }
}

TEST_F(WindowRunTest, PauseAndStopButtonsWorkWhileARequestWaits) {
    open({"www.google.com=delay:600"}, {"Garden"});
    int pausedTicks = 0;
    std::size_t requestsWhilePaused = 0;
    QObject::connect(window->Timer1, &QTimer::timeout, window.get(), [&] {
        if (window->progress().Label6->text() != GoogleLabel) return;
        if (window->runButtons().PauseButton->text() == "Pause" && pausedTicks == 0) {
            window->runButtons().PauseButton->click();
            EXPECT_EQ(window->runButtons().PauseButton->text(), "Resume");
            pausedTicks = 1;
        } else if (++pausedTicks == 8) {
            // Google has long answered; the run waits before the next request.
            requestsWhilePaused = simulator->requests().size();
            window->runButtons().StopButton->click();
        }
    });
    window->runButtons().GoButton->click();
    EXPECT_EQ(requestsWhilePaused, 12u);
    EXPECT_EQ(simulator->requests().size(), 12u);
    EXPECT_EQ(run->run().ResultCount(), 12);
    EXPECT_EQ(boxes, std::vector<std::string>{"Done!"});
    EXPECT_EQ(window->runButtons().PauseButton->text(), "Resume");
    EXPECT_FALSE(window->runButtons().GoButton->isHidden());
    EXPECT_EQ(window->progress().Memo1->toPlainText(), "");
}

TEST_F(WindowRunTest, ClosingTheWindowDuringARunEndsItWithoutABox) {
    open({"www.google.com=delay:3000"}, {"Garden"});
    QElapsedTimer elapsed;
    QObject::connect(window->Timer1, &QTimer::timeout, window.get(), [&] {
        if (window->progress().Label6->text() == GoogleLabel && !elapsed.isValid()) {
            elapsed.start();
            window->close();
        }
    });
    window->runButtons().GoButton->click();
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(run->run().ResultCount(), 11); // Google, stopped, was not answered
    EXPECT_FALSE(run->run().running());
}

} // namespace
