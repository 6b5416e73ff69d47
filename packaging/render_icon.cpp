// Writes the program icon as PNG files for the desktop's icon theme, at build time, so that
// the icon installed with the program is the one its windows show.
//   larkspan_render_icon OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/larkspan.png
#include "ui/Pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    // The build may run without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "%s: bad size %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString dir = QString("%1/%2x%2").arg(outDir).arg(size);
        const QString file = dir + "/larkspan.png";
        if (!QDir().mkpath(dir) || !Pictures::programIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
