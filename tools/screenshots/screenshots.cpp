// Makes PNG screenshots of the main window's pages for the README, on Qt's offscreen
// platform: screenshots PROFILE_DIR OUTPUT_DIR
// The "Track Progress" page is taken twice more, during and after a run of two profiles
// against the engine simulator, and the Request Log window once, after that run.
#include "core/Config.h"
#include "tools/screenshots/SaveGrab.h"
#include "tools/simulator/EngineSimulator.h"
#include "ui/Gauge.h"
#include "ui/MainWindow.h"
#include "ui/ReportGridWidget.h"
#include "ui/status/RequestLogWindow.h"
#include "ui/RunButtons.h"
#include "ui/TrackProgressPage.h"
#include "ui/WindowRunHost.h"

#include "platform/EventLoopQt.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshots PROFILE_DIR OUTPUT_DIR\n");
        return 2;
    }
    QDir().mkpath(argv[2]);
    // The demo run keeps its records like any other; they go to a directory of their own, not
    // among the user's kept runs.
    QTemporaryDir state;
    if (!state.isValid()) return 1;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    // Lycos answers slowly, so the run can be caught with its gauge half-way; the shared
    // service fails, so the finished page shows the skipped entries among the rest.
    EngineSimulator simulator({"www.lycos.com=slow:250,nolength", "/submit=refuse"});
    Config config;
    config.proxy = simulator.address();
    MainWindow window(argv[1], "");
    WindowRun run(window, config);
    run.host().showInformation = [](const std::string&) {};
    window.show();
    const char* names[] = {"select-url-to-edit", "create-edit-url-information", "prepare-submission-list",
                           "track-progress", "options"};
    // Highlight two profiles so the submission list shows what a user would see.
    window.SubmitListGrid().SetRowMarked(1, true);
    window.SubmitListGrid().SetRowMarked(2, true);
    window.SubmitListGrid().SetSelection({0, 1, 0, 2});
    for (int i = 0; i < window.pages()->count(); ++i) {
        window.pages()->setCurrentIndex(i);
        QApplication::processEvents();
        if (!saveGrab(window, argv[2], names[i])) return 1;
    }

    // A run of the two complete profiles after the first, watched from the progress page.
    window.SubmitListGrid().SetSelection({0, 2, 0, 3});
    window.pages()->setCurrentIndex(3);
    bool saved = true;
    bool taken = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (taken || !window.progress().Label6->text().endsWith(" to Lycos") ||
            window.progress().Gauge1->isHidden() || window.progress().Gauge1->progress() < 40)
            return;
        taken = true;
        saved = saveGrab(window, argv[2], "track-progress-running");
    });
    watch.start(20);
    window.runButtons().GoButton->click();
    watch.stop();
    // The next tick of the animation timer hides the last frame; the table is scrolled to its
    // end, where the footer is.
    window.gridWidget()->scrollToRow(window.Grid().RowCount() - 1);
    QEventLoop settle;
    QTimer::singleShot(300, &settle, &QEventLoop::quit);
    settle.exec();
    if (!taken) std::fprintf(stderr, "the run was not caught while it was running\n");
    if (!saved || !taken || !saveGrab(window, argv[2], "track-progress-done")) return 1;

    // The request log of that run, opened from the button beside the results table.
    // Its top shows the first profile's failure and the skipped entries after it.
    window.progress().RequestLogButton->click();
    window.requestLog()->table()->scrollToTop();
    QApplication::processEvents();
    if (!saveGrab(*window.requestLog(), argv[2], "request-log")) return 1;
    return 0;
}
