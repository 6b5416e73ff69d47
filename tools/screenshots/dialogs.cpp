// Makes PNG screenshots of the program's dialogs for the README, on Qt's offscreen
// platform: dialogs PROFILE_DIR OUTPUT_DIR
#include "core/catalogue/EngineCatalog.h"
#include "grid/PrintLayout.h"
#include "platform/EventLoopQt.h"
#include "tools/screenshots/SaveGrab.h"
#include "ui/help/AboutBox.h"
#include "ui/FindDialogs.h"
#include "ui/channels/GoogleTab.h"
#include "ui/help/HelpCommands.h"
#include "ui/help/HelpWindow.h"
#include "ui/channels/LiveChannelsDialog.h"
#include "ui/MainWindow.h"
#include "ui/print/PagePreview.h"
#include "ui/print/PrintCommands.h"

#include <memory>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <cstdio>

namespace {

// Dialogs are grabbed once they have been shown and laid out.
bool save(QWidget& w, const QString& dir, const char* name) {
    w.show();
    QApplication::processEvents();
    return saveGrab(w, dir, name);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    EventLoop::install(std::make_unique<EventLoopQt>());
    if (argc != 3) {
        std::fprintf(stderr, "usage: dialogs PROFILE_DIR OUTPUT_DIR\n");
        return 2;
    }
    const QString out = argv[2];
    QDir().mkpath(out);
    MainWindow window(argv[1], "");

    // A results table like the one a run of two profiles leaves, for the preview.
    TReportGrid& grid = window.Grid();
    int row = 1;
    for (const char* site : {"Example Garden Supplies", "Fjord Kayak Tours"})
        for (const EngineEntry& entry : engineCatalog(window.config())) {
            grid.SetRowCount(row + 1);
            grid.SetCellText(0, row, entry.DisplayName);
            grid.SetCellText(1, row++, site);
        }
    grid.SortColumn = 0;
    grid.SortDirection = TSortDirection::sdAscending;
    grid.SortRows();
    grid.FitColumns(TReportGrid::FitFixed::Include, 1);

    bool ok = save(*window.aboutBox(), out, "about-box");
    Tfinddlg find(&window);
    ok = save(find, out, "find") && ok;
    Tfindhlp findHelp(&window);
    ok = save(findHelp, out, "find-help") && ok;
    window.printing().SetPrintOptions();
    TPagePreview preview(grid, window.printing().Print(), &window);
    preview.resize(520, 640);
    ok = save(preview, out, "print-preview") && ok;
    window.helpCommands().Contents1Click();
    window.helpWindow()->resize(640, 460);
    ok = save(*window.helpWindow(), out, "help-window") && ok;
    // The Live Channels dialog on its Google Search Console tab, with a key file named.
    LiveChannelsDialog& live = *window.liveChannels();
    for (LiveChannelTab* tab : live.tabs())
        if (auto* google = qobject_cast<GoogleTab*>(tab)) {
            google->KeyFileEdit->setText("/home/jane/.config/larkspan/garden-search-console.json");
            google->KeyFileEdit->setCursorPosition(0);
            live.findChild<QTabWidget*>()->setCurrentWidget(google);
        }
    live.resize(560, 330);
    ok = save(live, out, "live-channels-google") && ok;
    return ok ? 0 : 1;
}
