// Makes PNG screenshots of the main window's pages for the README, on Qt's offscreen
// platform: screenshots PROFILE_DIR OUTPUT_DIR
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshots PROFILE_DIR OUTPUT_DIR\n");
        return 2;
    }
    QDir().mkpath(argv[2]);
    MainWindow window(argv[1], "");
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
        QString file = QString("%1/%2.png").arg(argv[2], names[i]);
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
